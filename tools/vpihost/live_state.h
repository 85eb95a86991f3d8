// What `vpihost run` knows about the network while it runs: the network
// state, the stations, every gate's value, the progress of the initial read
// and the statistics per station. Fed on the main thread from the driver's
// events and status gates; tells the output what happened as notes.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "vpihost/events.h"
#include "vpihost/gate_file.h"
#include "vpihost/json.h"
#include "vpihost/trace_line.h"

namespace vpihost {

struct Note {
    enum class Kind { Log, Gate, Network, Station, Progress, Info, Trace };
    Kind kind = Kind::Info;
    int64_t timeNs = 0;
    std::string text;        // the plain line, without the time
    bool quiet = false;      // left out of the plain lines (JSON and CSV keep gate notes)
    bool plainOnly = false;  // only for the plain lines
    JsonObject json;         // the event for --json, without time and kind
    // Gate notes, for CSV:
    std::string gate;
    double value = 0;
    int64_t raw = 0;
    std::string unit;
};

struct GateRow {
    GateSpec spec;
    uint32_t id = 0;
    unsigned station = 0;
    char letter = 0;
    bool bit = false;          // H with a bit number
    bool folded = false;       // a bit gate whose byte gate is defined too: shown with it
    bool initialRead = false;  // H, A, D: values the initial read fills
    bool hasValue = false;
    double value = 0;
    int64_t raw = 0;
    uint32_t puts = 0;
    int64_t lastPutNs = 0;
    bool putSinceScan = false;
};

struct StationRow {
    unsigned number = 0;
    int status = -1;            // the status gate: 1 answers, 0 does not, -1 not known yet
    bool reportedLost = false;  // the driver told the host it stopped answering
    uint64_t puts = 0;
    uint64_t updates = 0;  // puts after the initial read, bit gates not counted
    uint64_t timeouts = 0;
    uint64_t failed = 0;            // transactions that failed after all attempts
    uint64_t errorReplies[4] = {};  // E064..E067
    uint64_t requests = 0;          // frames the simulated network received for it
    int64_t lastPutNs = 0;
};

class LiveState {
public:
    explicit LiveState(std::vector<GateRow> gates);

    void OnEvent(const Event& event);
    void OnCommState(int commState, int64_t nowNs);
    void OnStationStatus(unsigned station, int status, int64_t nowNs);
    void OnLostReport(unsigned station, int64_t nowNs);
    // Frames the simulator received since the last call, counted per station.
    void CountRequests(const std::vector<std::string>& frames);
    void OnTrace(const TraceLine& line);
    std::vector<Note> TakeNotes();

    int CommState() const { return commState_; }
    const std::vector<GateRow>& Gates() const { return gates_; }
    const std::map<unsigned, StationRow>& Stations() const { return stations_; }
    size_t ProgressDone() const;
    size_t ProgressExpected() const;
    const std::deque<std::string>& RecentLog() const { return recentLog_; }
    uint64_t LogCount(int level) const { return level == 32 ? majorLines_ : traceLines_; }

    static std::string ValueText(const GateRow& gate);  // "21.2 °C", "37 bits 00100101", "-"
    static const char* StationStateText(const StationRow& station, int commState);

private:
    void OnLog(const Event& event);
    void OnPut(const Event& event);
    void CountLogLine(const std::string& text);
    void Add(Note note);
    StationRow& Station(unsigned number);

    std::vector<GateRow> gates_;
    std::unordered_map<uint32_t, size_t> byId_;
    std::map<unsigned, StationRow> stations_;
    std::vector<Note> notes_;
    std::deque<std::string> recentLog_;
    uint64_t majorLines_ = 0;
    uint64_t traceLines_ = 0;
    int commState_ = -1;
    int64_t initialReadStartNs_ = 0;
    int64_t lastProgressNs_ = 0;
    size_t lastProgressDone_ = 0;
};

}  // namespace vpihost
