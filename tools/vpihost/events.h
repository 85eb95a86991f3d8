// What the driver tells the host, collected from the host library's callbacks:
// log lines and gate puts. The callbacks run on the driver's threads; the
// program's main thread takes the events in order.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "vpihost/wall_clock.h"

namespace vpihost {

// The receiver thread logs this at every start of the communication.
inline constexpr char kStarting[] = "UnsolThread() info, initialising communication";

struct Event {
    enum class Kind { Log, Put, StationLost };
    Kind kind = Kind::Log;
    int64_t timeNs = 0;    // CLOCK_REALTIME
    int level = 0;         // log: 32 or 64
    std::string text;      // log: the line
    uint32_t gateId = 0;   // put
    double value = 0;      // put
    uint32_t raw = 0;      // put: the raw value the put left
    uint32_t station = 0;  // station lost: the station the driver reported to the host
};

class EventSink {
public:
    // Registers the callbacks once; the sink is never destroyed, since driver
    // threads that end after main may still log.
    static EventSink& Instance();

    std::vector<Event> Drain();
    // Whether the receiver thread has finished its scan of the network since it
    // last (re)started, as its log lines tell.
    bool NetworkScanned() const { return scanned_.load(); }

private:
    EventSink() = default;
    static void OnLog(void* user, int level, const char* text);
    static void OnPut(void* user, uint32_t gateId, const char* address, double value, uint32_t raw);
    static void OnCommStatus(void* user, int instance, uint32_t station, int a, int b);
    void Push(Event event);

    std::mutex mutex_;
    std::vector<Event> pending_;
    std::atomic<bool> scanned_{false};
};

}  // namespace vpihost
