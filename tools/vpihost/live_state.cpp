// Turning the driver's events into the run view's state and notes.
#include "vpihost/live_state.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

#include "ultsim/printable.h"
#include "veldan_host.h"
#include "vpihost/session.h"

namespace vpihost {
namespace {

constexpr size_t kRecentLogLines = 50;
constexpr int64_t kProgressEveryNs = 1'000'000'000;
constexpr const char kInitialReadStarts[] = "ReadStations() info, reading/initialising all values";
constexpr const char kNoResponseDuringScan[] = "UnsolThread() warning, station ";

// Log lines that tell of a transaction's trouble, and the counter each adds to.
struct LogCounter {
    const char* text;
    uint64_t StationRow::*counter;
};
constexpr LogCounter kLogCounters[] = {
    {"time-out waiting for answer", &StationRow::timeouts},
    {"time-out waiting for acknowledge", &StationRow::timeouts},
    {"ret val is", &StationRow::failed},
};

// The station of the first gate address quoted in a log line ('012A05' gives 12).
int QuotedStation(const std::string& text) {
    for (size_t quote = text.find('\''); quote != std::string::npos; quote = text.find('\'', quote + 1)) {
        if (quote + 4 < text.size() && std::isdigit(static_cast<unsigned char>(text[quote + 1])) &&
            std::isdigit(static_cast<unsigned char>(text[quote + 2])) &&
            std::isdigit(static_cast<unsigned char>(text[quote + 3])) &&
            std::isalpha(static_cast<unsigned char>(text[quote + 4])))
            return std::atoi(text.substr(quote + 1, 3).c_str());
    }
    return -1;
}

int Decimals(double scale) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", std::fabs(scale));
    const char* point = std::strchr(text, '.');
    if (std::strchr(text, 'e') != nullptr) return 6;
    return point == nullptr ? 0 : static_cast<int>(std::strlen(point + 1));
}

int64_t ShownRaw(const GateRow& gate, uint32_t raw) {
    if (gate.bit) return raw;
    if (gate.spec.gateType == 4 || gate.spec.gateType == 5) return raw;
    if (gate.spec.gateType == 1) return static_cast<int16_t>(raw >> 16);
    return raw >> 16;
}

std::string Bits(int64_t byte) {
    std::string bits;
    for (int bit = 7; bit >= 0; --bit) bits += (byte >> bit) & 1 ? '1' : '0';
    return bits;
}

}  // namespace

LiveState::LiveState(std::vector<GateRow> gates) : gates_(std::move(gates)) {
    std::set<std::string> defined;
    for (const GateRow& gate : gates_) defined.insert(gate.spec.address);
    for (size_t i = 0; i < gates_.size(); ++i) {
        GateRow& gate = gates_[i];
        byId_[gate.id] = i;
        const std::string& address = gate.spec.address;
        if (address.size() >= 6 && std::isdigit(static_cast<unsigned char>(address[0]))) {
            gate.station = static_cast<unsigned>(std::atoi(address.substr(0, 3).c_str()));
            gate.letter = address[3];
            gate.bit = gate.letter == 'H' && address.size() == 7;
            gate.folded = gate.bit && defined.count(address.substr(0, 6)) != 0;
            gate.initialRead = std::strchr("HAD", gate.letter) != nullptr;
            Station(gate.station);
        }
    }
}

StationRow& LiveState::Station(unsigned number) {
    StationRow& row = stations_[number];
    row.number = number;
    return row;
}

void LiveState::Add(Note note) {
    notes_.push_back(std::move(note));
}

std::vector<Note> LiveState::TakeNotes() {
    std::vector<Note> notes;
    notes.swap(notes_);
    // The line traffic is collected apart from the driver's log lines; in
    // time order a frame comes before what the driver logs about its reply.
    std::stable_sort(notes.begin(), notes.end(),
                     [](const Note& a, const Note& b) { return a.timeNs < b.timeNs; });
    return notes;
}

void LiveState::OnEvent(const Event& event) {
    switch (event.kind) {
        case Event::Kind::Log:
            OnLog(event);
            break;
        case Event::Kind::Put:
            OnPut(event);
            break;
        case Event::Kind::StationLost:
            OnLostReport(event.station, event.timeNs);
            break;
    }
}

void LiveState::OnLog(const Event& event) {
    (event.level == 32 ? majorLines_ : traceLines_)++;
    recentLog_.push_back(ClockText(event.timeNs) + " " + event.text);
    if (recentLog_.size() > kRecentLogLines) recentLog_.pop_front();
    CountLogLine(event.text);
    if (event.text.find(kStarting) != std::string::npos) {
        lastProgressDone_ = 0;
        for (GateRow& gate : gates_) gate.putSinceScan = false;
    }
    if (event.text.find(kInitialReadStarts) != std::string::npos) initialReadStartNs_ = event.timeNs;
    // "station %u, no response from UTL during scan"
    if (const size_t at = event.text.find(kNoResponseDuringScan); at != std::string::npos) {
        const int station = std::atoi(event.text.c_str() + at + std::strlen(kNoResponseDuringScan));
        if (station >= 0 && station < 1000) Station(static_cast<unsigned>(station)).status = 0;
    }
    Note note;
    note.kind = Note::Kind::Log;
    note.timeNs = event.timeNs;
    note.text = event.text;
    note.json.Int("level", event.level).Str("text", event.text);
    Add(std::move(note));
}

void LiveState::CountLogLine(const std::string& text) {
    const int station = QuotedStation(text);
    if (station < 0) return;
    StationRow& row = Station(static_cast<unsigned>(station));
    for (const LogCounter& counter : kLogCounters)
        if (text.find(counter.text) != std::string::npos) ++(row.*counter.counter);
    // "error msg 'COMMUNICATION OVERFLOW (64)' received" and its three siblings
    if (const size_t at = text.find("error msg '"); at != std::string::npos) {
        const size_t code = text.find(" (6", at);
        if (code != std::string::npos && code + 4 < text.size() && text[code + 3] >= '4' &&
            text[code + 3] <= '7')
            ++row.errorReplies[text[code + 3] - '4'];
    }
}

void LiveState::OnPut(const Event& event) {
    const auto found = byId_.find(event.gateId);
    if (found == byId_.end()) return;
    GateRow& gate = gates_[found->second];
    const bool changed = !gate.hasValue || gate.value != event.value;
    // Only a gate's first value since the scan moves the initial read on.
    const bool progressed = gate.initialRead && !gate.putSinceScan;
    gate.hasValue = true;
    gate.value = event.value;
    gate.raw = ShownRaw(gate, event.raw);
    ++gate.puts;
    gate.lastPutNs = event.timeNs;
    gate.putSinceScan = true;

    StationRow& station = Station(gate.station);
    ++station.puts;
    station.lastPutNs = event.timeNs;
    const bool initialReadRunning = commState_ < 5;
    if (!initialReadRunning && !gate.bit) ++station.updates;

    Note note;
    note.kind = Note::Kind::Gate;
    note.timeNs = event.timeNs;
    note.text = gate.spec.address + " = " + ValueText(gate) + " (raw " + std::to_string(gate.raw) + ")";
    note.quiet = initialReadRunning || !changed || gate.folded;
    note.json.Str("gate", gate.spec.address).Num("value", gate.value).Int("raw", gate.raw);
    if (!gate.spec.unit.empty()) note.json.Str("unit", gate.spec.unit);
    note.gate = gate.spec.address;
    note.value = gate.value;
    note.raw = gate.raw;
    note.unit = gate.spec.unit;
    Add(std::move(note));

    if (commState_ != 4 || !progressed) return;
    // Counted over all gates, so only while the initial read runs.
    const size_t done = ProgressDone();
    const size_t expected = ProgressExpected();
    if (done != lastProgressDone_ &&
        (event.timeNs - lastProgressNs_ >= kProgressEveryNs || done == expected)) {
        lastProgressNs_ = event.timeNs;
        lastProgressDone_ = done;
        Note progress;
        progress.kind = Note::Kind::Progress;
        progress.timeNs = event.timeNs;
        progress.text =
            "initial read: " + std::to_string(done) + " of " + std::to_string(expected) + " gates";
        progress.json.Int("done", static_cast<int64_t>(done)).Int("expected", static_cast<int64_t>(expected));
        Add(std::move(progress));
    }
}

void LiveState::OnCommState(int commState, int64_t nowNs) {
    if (commState == commState_) return;
    const int before = commState_;
    commState_ = commState;
    Note note;
    note.kind = Note::Kind::Network;
    note.timeNs = nowNs;
    note.text = "commState " + std::to_string(commState) + ": " + CommStateName(commState);
    note.json.Int("commState", commState).Str("state", CommStateName(commState));
    Add(std::move(note));
    if (commState != 5 || before != 4) return;

    char text[96];
    std::snprintf(text, sizeof text, "initial read done: %zu of %zu gates in %.1f s", ProgressDone(),
                  ProgressExpected(), static_cast<double>(nowNs - initialReadStartNs_) / 1e9);
    Note done;
    done.kind = Note::Kind::Progress;
    done.timeNs = nowNs;
    done.text = text;
    done.json.Int("done", static_cast<int64_t>(ProgressDone()))
        .Int("expected", static_cast<int64_t>(ProgressExpected()))
        .Bool("finished", true);
    Add(std::move(done));
    // The plain lines show each gate's first value once, here, instead of one line a put.
    for (const GateRow& gate : gates_) {
        if (gate.folded || !gate.hasValue) continue;
        Note value;
        value.kind = Note::Kind::Gate;
        value.timeNs = nowNs;
        value.plainOnly = true;
        value.text = gate.spec.address + " = " + ValueText(gate) + " (raw " + std::to_string(gate.raw) + ")";
        Add(std::move(value));
    }
}

void LiveState::OnStationStatus(unsigned station, int status, int64_t nowNs) {
    const auto found = stations_.find(station);
    if (found == stations_.end() && status != 1) return;
    StationRow& row = Station(station);
    if (row.status == status) return;
    // While the receiver thread starts over, every station reads 0 until the next scan.
    const bool lost = status == 0 && row.status == 1 && commState_ >= 4;
    const bool answers = status == 1;
    row.status = status;
    if (answers) row.reportedLost = false;
    if (!answers && !lost) return;
    Note note;
    note.kind = Note::Kind::Station;
    note.timeNs = nowNs;
    note.text = "station " + std::to_string(station) + (answers ? " answering" : " lost");
    note.json.Int("station", station).Str("state", answers ? "answering" : "lost");
    Add(std::move(note));
}

void LiveState::OnLostReport(unsigned station, int64_t nowNs) {
    StationRow& row = Station(station);
    row.reportedLost = true;
    Note note;
    note.kind = Note::Kind::Station;
    note.timeNs = nowNs;
    note.text = "station " + std::to_string(station) + " does not answer (reported to the host)";
    note.json.Int("station", station).Str("state", "no response");
    Add(std::move(note));
}

void LiveState::OnTrace(const TraceLine& line) {
    Note note;
    note.kind = Note::Kind::Trace;
    note.timeNs = line.realTimeNs;
    note.text = line.Text();
    recentLog_.push_back(ClockText(line.realTimeNs) + " " + note.text);
    if (recentLog_.size() > kRecentLogLines) recentLog_.pop_front();
    note.json.Str("direction", line.fromDriver ? "sent" : "received")
        .Str("line", ultsim::Printable(line.bytes));
    Add(std::move(note));
}

void LiveState::CountRequests(const std::vector<std::string>& frames) {
    for (const std::string& frame : frames) {
        if (frame.size() < 8 || frame[0] != 'P' || frame.compare(0, 4, "P000") == 0) continue;
        const std::string digits = frame.substr(1, 3);
        if (digits.find_first_not_of("0123456789") != std::string::npos) continue;
        ++Station(static_cast<unsigned>(std::atoi(digits.c_str()))).requests;
    }
}

size_t LiveState::ProgressExpected() const {
    size_t expected = 0;
    for (const GateRow& gate : gates_) {
        const auto station = stations_.find(gate.station);
        if (gate.initialRead && station != stations_.end() && station->second.status == 1) ++expected;
    }
    return expected;
}

size_t LiveState::ProgressDone() const {
    size_t done = 0;
    for (const GateRow& gate : gates_) {
        const auto station = stations_.find(gate.station);
        if (gate.initialRead && gate.putSinceScan && station != stations_.end() &&
            station->second.status == 1)
            ++done;
    }
    return done;
}

std::string LiveState::ValueText(const GateRow& gate) {
    if (!gate.hasValue) return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", Decimals(gate.spec.scale), gate.value);
    std::string shown = text;
    if (!gate.spec.unit.empty()) shown += " " + gate.spec.unit;
    if (gate.letter == 'H' && !gate.bit) shown += " bits " + Bits(gate.raw);
    return shown;
}

const char* LiveState::StationStateText(const StationRow& station, int commState) {
    if (station.status == 1) return "answering";
    if (station.reportedLost) return "no response";
    if (station.status == 0) return commState >= 4 ? "not found" : "scanning";
    return "unknown";
}

}  // namespace vpihost
