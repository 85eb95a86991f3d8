// One direction of the line cut into the pieces a trace shows: frames from the
// driver end with "/", lines from the network with LF and CR. Bytes that never meet
// their end (a garbled line, a station cut off mid-line) are shown once the
// line has been quiet for a moment or the piece has grown too long, so the
// trace never hides what was on the line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vpihost {

struct TrafficPiece {
    std::string bytes;
    int64_t startNs;  // when its first byte passed
};

class TrafficPieces {
public:
    static constexpr size_t kMaxPiece = 512;
    static constexpr int64_t kQuietNs = 300'000'000;

    explicit TrafficPieces(std::string end) : end_(std::move(end)) {}

    // Bytes that passed at `nowNs`; returns the pieces they completed.
    std::vector<TrafficPiece> Feed(std::string_view bytes, int64_t nowNs);
    // The unfinished piece, when the line has been quiet since its last byte.
    std::vector<TrafficPiece> Idle(int64_t nowNs);
    // Whatever is unfinished, at the end.
    std::vector<TrafficPiece> Flush();

private:
    std::string end_;
    std::string pending_;
    int64_t startNs_ = 0;
    int64_t lastNs_ = 0;
};

}  // namespace vpihost
