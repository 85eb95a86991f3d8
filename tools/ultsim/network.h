// The substation network as the line unit presents it: the stations and
// whether they answer, the modem status, and the values each station holds.
// Given one frame from the driver it says which lines go back and when. No I/O
// and no locking: the simulator serialises every call.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "ultsim/frame.h"

namespace ultsim {

struct Station;

// One line to send, `delayMs` after the frame that caused it.
struct Reply {
    unsigned delayMs = 0;
    std::string line;
};

enum class AnswerKind {
    NetworkCommand,  // status or scan: faults do not apply
    Request,         // read, write, time synchronisation, or a refused request
    CommandText,
};

struct Answer {
    AnswerKind kind = AnswerKind::Request;
    bool served = false;  // a request that was carried out (not refused with an error reply)
    std::vector<Reply> replies;
};

class Network {
public:
    Network();

    void SetModemStatuses(std::vector<std::pair<int, char>> sequence);
    void SetStations(std::vector<Station> stations);
    void SetStationAnswers(unsigned station, bool answers);
    const std::vector<Station>& Stations() const { return stations_; }
    void SetScanDelayMs(unsigned ms) { scanDelayMs_ = ms; }
    void SetCommandReply(std::string line) { commandReply_ = std::move(line); }
    void SetAcknowledgeByteWrites(bool on) { acknowledgeByteWrites_ = on; }

    // `memType` is the driver's memory-type letter (see Simulator::SetValue).
    // Both throw std::invalid_argument for a letter that names no stored value.
    void SetValue(unsigned station, char memType, unsigned address, uint32_t raw);
    uint32_t GetValue(unsigned station, char memType, unsigned address) const;

    Answer Serve(const Frame& frame);

private:
    using Key = std::tuple<unsigned, char, unsigned>;

    bool Answers(unsigned station) const;
    uint32_t Stored(unsigned station, char key, unsigned address) const;
    void Store(unsigned station, char key, unsigned address, uint32_t value);
    bool HasTimeProgramIn(unsigned station, unsigned group) const;

    Answer ServeNetworkCommand(const Frame& frame);
    Answer ServeRequest(const Frame& frame);
    // The reply to a read, or an empty string when the request cannot be served.
    std::string ServeRead(const Frame& frame) const;
    std::string ServeTimePrograms(const Frame& frame) const;
    bool IsTimeProgramRead(const Frame& frame) const;

    // A write decoded into the value it stores; `key` 0 = refused.
    struct WriteOp {
        char key = 0;
        unsigned address = 0;
        uint32_t value = 0;
    };
    WriteOp DecodeWrite(const Frame& frame) const;
    bool IsValidTimeSync(const Frame& frame) const;

    std::vector<std::pair<int, char>> modemStatuses_;
    size_t nextModemStatus_ = 0;
    std::vector<Station> stations_;
    unsigned scanDelayMs_ = 0;
    std::string commandReply_ = "OK";
    bool acknowledgeByteWrites_ = true;
    std::map<Key, uint32_t> values_;
};

}  // namespace ultsim
