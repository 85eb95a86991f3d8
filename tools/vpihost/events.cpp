// Callbacks from the host library, queued for the main thread.
#include "vpihost/events.h"

#include <cstring>

#include "veldan_host.h"

namespace vpihost {
namespace {

// The receiver thread logs this, after kStarting, at the end of each scan;
// commState alone cannot tell, since a modem status of 4 sets it before the scan.
constexpr const char kScanDone[] = "UnsolThread() info, E069 received, scan array done";

}  // namespace

EventSink& EventSink::Instance() {
    static EventSink* sink = [] {
        auto* created = new EventSink;
        VeldanSetLogCallback(&EventSink::OnLog, created);
        VeldanSetPutCallback(&EventSink::OnPut, created);
        VeldanSetCommStatusCallback(&EventSink::OnCommStatus, created);
        return created;
    }();
    return *sink;
}

void EventSink::OnLog(void* user, int level, const char* text) {
    auto* sink = static_cast<EventSink*>(user);
    if (std::strstr(text, kStarting) != nullptr) sink->scanned_ = false;
    if (std::strstr(text, kScanDone) != nullptr) sink->scanned_ = true;
    Event event;
    event.kind = Event::Kind::Log;
    event.timeNs = RealTimeNs();
    event.level = level;
    event.text = text;
    sink->Push(std::move(event));
}

void EventSink::OnPut(void* user, uint32_t gateId, const char*, double value, uint32_t raw) {
    Event event;
    event.kind = Event::Kind::Put;
    event.timeNs = RealTimeNs();
    event.gateId = gateId;
    event.value = value;
    event.raw = raw;
    static_cast<EventSink*>(user)->Push(std::move(event));
}

// The driver reports a station that stopped answering (the only report it
// makes) to the host's communication status.
void EventSink::OnCommStatus(void* user, int, uint32_t station, int, int) {
    Event event;
    event.kind = Event::Kind::StationLost;
    event.timeNs = RealTimeNs();
    event.station = station;
    static_cast<EventSink*>(user)->Push(std::move(event));
}

void EventSink::Push(Event event) {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(event));
}

std::vector<Event> EventSink::Drain() {
    std::lock_guard lock(mutex_);
    std::vector<Event> events;
    events.swap(pending_);
    return events;
}

}  // namespace vpihost
