// Recognises the layout of frames from the driver.
#include "ultsim/frame.h"

#include "ultsim/line_format.h"

namespace ultsim {
namespace {

bool LooksLikeRequest(std::string_view text) {
    return text.size() >= 4 && text[0] == 'P' && IsDigits(text.substr(1, 3));
}

// Position 4 holds the tens digit of the address field, raised by 8 in a
// block request: "0".."7" plain, "8".."?" marked.
bool ReadAddressField(std::string_view text, Frame& frame) {
    const char tens = text[4];
    if (tens < '0' || tens > '?' || !IsDigits(text.substr(5, 1))) return false;
    frame.block = tens >= '8';
    frame.field = static_cast<unsigned>((tens - '0') % 8) * 10 + static_cast<unsigned>(text[5] - '0');
    frame.letter = text[6];
    return true;
}

// Value groups of a write: " @" and four characters, repeated, then "/".
bool ReadGroups(std::string_view text, size_t from, Frame& frame) {
    while (from + 6 <= text.size() - 1) {
        if (text.substr(from, 2) != " @") return false;
        frame.groups.emplace_back(text.substr(from + 2, 4));
        from += 6;
    }
    return from == text.size() - 1;
}

}  // namespace

Frame ParseFrame(std::string_view text) {
    Frame frame;
    frame.text = std::string(text);
    if (!LooksLikeRequest(text)) return frame;
    frame.kind = FrameKind::Malformed;
    frame.station = static_cast<unsigned>(std::stoul(std::string(text.substr(1, 3))));
    if (text.size() < 8 || text.back() != '/' || !ReadAddressField(text, frame)) return frame;
    if (text.size() == 8) {
        frame.kind = FrameKind::Read;
    } else if ((text.size() == 14 || text.size() == 20) && ReadGroups(text, 7, frame)) {
        frame.kind = FrameKind::Write;
    } else if (text.size() == 32 && text.substr(4, 3) == "40B" && ReadGroups(text, 7, frame)) {
        frame.kind = FrameKind::TimeSync;
    } else {
        frame.groups.clear();
    }
    return frame;
}

std::vector<std::string> Framer::Feed(std::string_view bytes) {
    std::vector<std::string> frames;
    for (const char c : bytes) {
        pending_ += c;
        if (c == '/' || pending_.size() >= kMaxFrame) {
            frames.push_back(std::move(pending_));
            pending_.clear();
        }
    }
    return frames;
}

}  // namespace ultsim
