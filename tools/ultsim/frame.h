// Splits what the driver sends into frames and recognises their layout: read
// requests, write requests, the time synchronisation, the two network commands
// and free command texts. Layout only; whether a frame can be served is the
// network's decision (network.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ultsim {

enum class FrameKind {
    Read,         // "Psssaal/"
    Write,        // "Psssaal @vvvv/" or "Psssaal @vvvv @vvvv/"
    TimeSync,     // "Psss40B @ddmm @yyyy @sswd @hhmm/"
    Malformed,    // begins like a request ("P" and a station) but has no known layout
    CommandText,  // anything else up to "/"
};

struct Frame {
    FrameKind kind = FrameKind::CommandText;
    std::string text;  // the frame as received, "/" included
    unsigned station = 0;
    bool block = false;               // the address field carries the block marker
    unsigned field = 0;               // the address field without the marker, 0..79
    char letter = 0;                  // request letter, position 6
    std::vector<std::string> groups;  // four-character value groups of a write
};

Frame ParseFrame(std::string_view text);

// Collects bytes into frames: every frame ends with "/". Text that grows past
// `kMaxFrame` without one is handed out as it stands, so a runaway sender
// cannot make the buffer grow without bound.
class Framer {
public:
    static constexpr size_t kMaxFrame = 512;
    std::vector<std::string> Feed(std::string_view bytes);

private:
    std::string pending_;
};

}  // namespace ultsim
