// The fixed table of start records.
#include "platform/start_records.h"

namespace telmor::platform {
namespace {

constexpr unsigned kStartRecordCount = 64;

StartRecord g_startRecords[kStartRecordCount];

}  // namespace

StartRecord* TryTakeStartRecord(ThreadEntry entry, void* arg, uint32_t value) {
    for (StartRecord& record : g_startRecords) {
        bool expected = false;
        if (record.busy.compare_exchange_strong(expected, true, std::memory_order_acquire)) {
            record.entry = entry;
            record.arg = arg;
            record.value = value;
            return &record;
        }
    }
    return nullptr;
}

ThreadStart TakeOverStartRecord(StartRecord* record) {
    const ThreadStart start{record->entry, record->arg, record->value};
    record->busy.store(false, std::memory_order_release);
    return start;
}

void FreeStartRecord(StartRecord* record) {
    record->busy.store(false, std::memory_order_release);
}

}  // namespace telmor::platform
