// What a new thread is started with, handed over without allocating: a
// starter fills a free record, the new thread copies it out and frees it
// before running the routine, so only starts in flight hold one. Shared by
// the backends; each waits for a free record with its own clock.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/thread.h"

namespace telmor::platform {

struct StartRecord {
    std::atomic<bool> busy{false};
    ThreadEntry entry = nullptr;
    void* arg = nullptr;
    uint32_t value = 0;
};

// How long a starter waits for a free record, in real ms: a burst of starts
// (a station read for every station that reports back) can find every record
// in flight, and each is freed as soon as its thread runs.
constexpr uint32_t kStartRecordWaitMs = 2000;

// A free record, filled and marked busy; null when all are in flight.
StartRecord* TryTakeStartRecord(ThreadEntry entry, void* arg, uint32_t value);

// The new thread's first step: the start, and the record freed.
struct ThreadStart {
    ThreadEntry entry;
    void* arg;
    uint32_t value;
};
ThreadStart TakeOverStartRecord(StartRecord* record);

// For a thread that could not be created.
void FreeStartRecord(StartRecord* record);

}  // namespace telmor::platform
