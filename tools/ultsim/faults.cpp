// Fault injection on answers to requests.
#include "ultsim/faults.h"

#include "ultsim/line_format.h"

namespace ultsim {
namespace {

// Neither a digit nor a nibble letter, so every character test refuses it.
constexpr char kGarbage = '?';

int ErrorCode(Fault fault) {
    switch (fault) {
        case Fault::Error064:
            return 64;
        case Fault::Error065:
            return 65;
        case Fault::Error066:
            return 66;
        case Fault::Error067:
            return 67;
        default:
            return 0;
    }
}

void ChangeLine(Fault fault, std::string& line, const Frame& frame) {
    const size_t end = line.size() - kLineEnd.size();  // where LF CR begins
    switch (fault) {
        case Fault::WrongLength:
            // A bare acknowledgement has nothing to lose, so it gains a character.
            if (end == 0) {
                line.insert(0, "0");
            } else {
                line.erase(end - 1, 1);
            }
            break;
        case Fault::ExtraChar:
            line.insert(end, " ");
            break;
        case Fault::GarbleByte:
            // The first value character of a reply; of any other line its first.
            line[line[0] == 'U' && end > 8 ? 8 : 0] = kGarbage;
            break;
        case Fault::MissingCr:
            line.back() = 'x';
            break;
        case Fault::OtherStation: {
            const size_t at = line[0] == 'U' ? 1 : (line[0] == 'E' && end == 16 ? 9 : std::string::npos);
            if (at != std::string::npos) line.replace(at, 3, Digits((frame.station + 1) % 1000, 3));
            break;
        }
        default:
            break;
    }
}

}  // namespace

std::vector<Reply> ApplyFault(Fault fault, std::vector<Reply> replies, const Frame& frame, unsigned lateMs) {
    if (fault == Fault::None) return replies;
    if (fault == Fault::NoAnswer) return {};
    if (const int code = ErrorCode(fault); code != 0) return {Reply{0, ErrorLine(code, frame.text)}};
    for (Reply& reply : replies) {
        if (fault == Fault::LateAnswer) {
            reply.delayMs += lateMs;
        } else if (reply.line.size() >= kLineEnd.size()) {
            ChangeLine(fault, reply.line, frame);
        }
    }
    return replies;
}

}  // namespace ultsim
