// What the substation network answers to each frame, and the values it keeps.
#include "ultsim/network.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "ultsim/line_format.h"
#include "ultsim/simulator.h"

namespace ultsim {
namespace {

constexpr unsigned kGroupSize = 16;  // time programs per request letter
constexpr unsigned kBlockFields = 32;
constexpr std::string_view kAck = kLineEnd;

bool IsPointAddress(unsigned a) {
    return a <= 31 || (a >= 40 && a <= 55);
}

// The driver's memory-type letters and the value store each one names. A
// digital command is read with the dig. signal's request letter, so both name
// the same stored byte.
char StoreKey(char memType) {
    static constexpr std::string_view kOwnKey = "AIjklmnopqrstuvwGVHKLDZE";
    if (memType == 'C') return 'H';
    return kOwnKey.find(memType) == std::string_view::npos ? 0 : memType;
}

enum class Encoding { None, Offset, Plain, NibbleFirst, NibbleSecond, CounterPair, CounterHigh, CounterLow };

struct ReadLetter {
    char letter;
    char key;
    Encoding single;
    Encoding block;
    unsigned maxAddress;
};

// Measurements and setpoints that travel as offset four-digit values, each with
// its own letter on the line.
constexpr std::string_view kOffsetLetters = "AIjklmnopqrstuvw";

constexpr ReadLetter kReadLetters[] = {
    {'G', 'G', Encoding::Plain, Encoding::Plain, 55},
    {'C', 'V', Encoding::Plain, Encoding::Plain, 55},
    {'H', 'H', Encoding::NibbleFirst, Encoding::NibbleFirst, 55},
    {'h', 'K', Encoding::NibbleFirst, Encoding::NibbleFirst, 31},
    // A single setpoint byte travels in the second byte of the field, a block's
    // in the first.
    {'b', 'L', Encoding::NibbleSecond, Encoding::NibbleFirst, 55},
    {'N', 'D', Encoding::CounterPair, Encoding::None, 55},
    {'D', 'D', Encoding::None, Encoding::CounterHigh, 55},
    {'E', 'D', Encoding::None, Encoding::CounterLow, 55},
};

std::optional<ReadLetter> FindReadLetter(char letter) {
    if (kOffsetLetters.find(letter) != std::string_view::npos)
        return ReadLetter{letter, letter, Encoding::Offset, Encoding::Offset, 55};
    for (const ReadLetter& entry : kReadLetters)
        if (entry.letter == letter) return entry;
    return std::nullopt;
}

std::string EncodeField(Encoding encoding, uint32_t raw) {
    const auto byte = static_cast<uint8_t>(raw & 0xFFu);
    switch (encoding) {
        case Encoding::Offset:
            return OffsetField(static_cast<int16_t>(raw & 0xFFFFu));
        case Encoding::Plain:
            return PlainField(raw);
        case Encoding::NibbleFirst:
            return NibbleByte(byte) + "@@";
        case Encoding::NibbleSecond:
            return "@@" + NibbleByte(byte);
        case Encoding::CounterHigh:
            return Digits(std::min<uint32_t>(raw, 99999999) / 10000, 4);
        case Encoding::CounterLow:
            return Digits(raw % 10000, 4);
        case Encoding::CounterPair:
        case Encoding::None:
            break;
    }
    return {};
}

// "U", positions 1-6 of the request, one character that nobody examines.
std::string ReplyHead(const Frame& frame) {
    return "U" + frame.text.substr(1, 6) + "0";
}

// The digital command codes: each value has one command byte.
constexpr std::pair<std::string_view, uint8_t> kCommandCodes[] = {
    {"D@", 0x04}, {"H@", 0x08}, {"B@", 0x02}, {"@A", 0x10}, {"@B", 0x20},
    {"@H", 0x80}, {"@D", 0x40}, {"A@", 0x01}, {"J@", 0x0A},
};

// The time program a frame names: always marked, letter "h".."o" for the group,
// address field 40 + 2 x (place in the group). 0 when the frame has no such shape.
unsigned TimeProgram(const Frame& frame) {
    if (!frame.block || frame.letter < 'h' || frame.letter > 'o') return 0;
    if (frame.field < 40 || frame.field > 70 || frame.field % 2 != 0) return 0;
    return static_cast<unsigned>(frame.letter - 'h') * kGroupSize + (frame.field - 40) / 2 + 1;
}

int NibblePair(std::string_view two) {
    const int low = NibbleValue(two[0]);
    const int high = NibbleValue(two[1]);
    return low < 0 || high < 0 ? -1 : high * 16 + low;
}

int ParseUnsigned(std::string_view digits) {
    return IsDigits(digits) && !digits.empty() ? std::stoi(std::string(digits)) : -1;
}

}  // namespace

Network::Network() : modemStatuses_{{61, '4'}} {}

void Network::SetModemStatuses(std::vector<std::pair<int, char>> sequence) {
    modemStatuses_ = std::move(sequence);
    nextModemStatus_ = 0;
}

void Network::SetStations(std::vector<Station> stations) {
    stations_ = std::move(stations);
}

void Network::SetStationAnswers(unsigned station, bool answers) {
    for (Station& known : stations_) {
        if (known.number == station) {
            known.answers = answers;
            return;
        }
    }
    stations_.push_back(Station{station, answers});
}

bool Network::Answers(unsigned station) const {
    return std::any_of(stations_.begin(), stations_.end(),
                       [station](const Station& s) { return s.number == station && s.answers; });
}

void Network::SetValue(unsigned station, char memType, unsigned address, uint32_t raw) {
    const char key = StoreKey(memType);
    if (key == 0) throw std::invalid_argument(std::string("no stored values for memory type ") + memType);
    Store(station, key, address, raw);
}

uint32_t Network::GetValue(unsigned station, char memType, unsigned address) const {
    const char key = StoreKey(memType);
    if (key == 0) throw std::invalid_argument(std::string("no stored values for memory type ") + memType);
    return Stored(station, key, address);
}

uint32_t Network::Stored(unsigned station, char key, unsigned address) const {
    const auto it = values_.find(Key{station, key, address});
    return it == values_.end() ? 0 : it->second;
}

void Network::Store(unsigned station, char key, unsigned address, uint32_t value) {
    // Offset types keep their value sign-extended, so that GetValue of -5 reads
    // back as static_cast<uint32_t>(-5) whichever way the caller widened it.
    if (kOffsetLetters.find(key) != std::string_view::npos)
        value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(value & 0xFFFFu)));
    values_[Key{station, key, address}] = value;
}

bool Network::HasTimeProgramIn(unsigned station, unsigned group) const {
    const auto first = values_.lower_bound(Key{station, 'Z', group * kGroupSize + 1});
    return first != values_.end() && std::get<0>(first->first) == station &&
           std::get<1>(first->first) == 'Z' && std::get<2>(first->first) <= (group + 1) * kGroupSize;
}

Answer Network::Serve(const Frame& frame) {
    if (frame.kind == FrameKind::CommandText) {
        return Answer{AnswerKind::CommandText, true, {Reply{0, commandReply_ + std::string(kLineEnd)}}};
    }
    if (frame.kind == FrameKind::Read && frame.letter == 'Q') return ServeNetworkCommand(frame);
    return ServeRequest(frame);
}

Answer Network::ServeNetworkCommand(const Frame& frame) {
    Answer answer{AnswerKind::NetworkCommand, true, {}};
    if (frame.text == "P00000Q/") {
        if (modemStatuses_.empty()) return answer;
        const auto [number, status] = modemStatuses_[nextModemStatus_];
        nextModemStatus_ = std::min(nextModemStatus_ + 1, modemStatuses_.size() - 1);
        answer.replies.push_back(Reply{0, ModemStatusLine(number, status)});
    } else if (frame.text == "P00001Q/") {
        for (const Station& station : stations_)
            answer.replies.push_back(Reply{0, StationResponseLine(station.number, station.answers)});
        answer.replies.push_back(Reply{scanDelayMs_, EndOfScanLine()});
    } else {
        answer.served = false;
        answer.replies.push_back(Reply{0, ErrorLine(65, frame.text)});
    }
    return answer;
}

Answer Network::ServeRequest(const Frame& frame) {
    Answer answer{AnswerKind::Request, false, {}};
    std::string line;
    WriteOp write;
    if (frame.kind == FrameKind::Read) {
        line = ServeRead(frame);
    } else if (frame.kind == FrameKind::Write) {
        write = DecodeWrite(frame);
        if (write.key != 0) line = std::string(kAck);
    } else if (frame.kind == FrameKind::TimeSync) {
        if (IsValidTimeSync(frame)) line = std::string(kAck);
    }
    // Refusing a request needs no answer from the station, so the line unit
    // does that before it looks at whether the station is there.
    if (line.empty()) {
        answer.replies.push_back(Reply{0, ErrorLine(65, frame.text)});
        return answer;
    }
    if (!Answers(frame.station)) {
        answer.replies.push_back(Reply{0, ErrorLine(67, frame.text)});
        return answer;
    }
    answer.served = true;
    if (write.key != 0) {
        Store(frame.station, write.key, write.address, write.value);
        if (!acknowledgeByteWrites_ && (write.key == 'K' || write.key == 'L')) return answer;
    }
    answer.replies.push_back(Reply{0, std::move(line)});
    return answer;
}

bool Network::IsTimeProgramRead(const Frame& frame) const {
    if (TimeProgram(frame) == 0) return false;
    // Blocks of the analog letters j..o at address 40 look exactly like the first
    // time program of a group; the station answers with what it has.
    if (frame.letter >= 'j' && frame.field == 40)
        return HasTimeProgramIn(frame.station, static_cast<unsigned>(frame.letter - 'h'));
    return true;
}

std::string Network::ServeRead(const Frame& frame) const {
    if (IsTimeProgramRead(frame)) return ServeTimePrograms(frame);
    const std::optional<ReadLetter> entry = FindReadLetter(frame.letter);
    if (!entry) return {};
    const unsigned address = frame.field;
    if (!frame.block) {
        if (entry->single == Encoding::None || !IsPointAddress(address) || address > entry->maxAddress)
            return {};
        const uint32_t raw = Stored(frame.station, entry->key, address);
        if (entry->single == Encoding::CounterPair)
            return ReplyHead(frame) + "0000 0000 " + LongField(raw) + " " + std::string(kLineEnd);
        return ReplyHead(frame) + EncodeField(entry->single, raw) + " " + std::string(kLineEnd);
    }
    if (entry->block == Encoding::None || (address != 0 && address != 40) || address > entry->maxAddress)
        return {};
    std::string line = ReplyHead(frame);
    for (unsigned i = 0; i < kBlockFields; ++i)
        line += EncodeField(entry->block, Stored(frame.station, entry->key, address + i)) + " ";
    return line + std::string(kLineEnd);
}

// One long field for each program from the requested one to the end of its group.
std::string Network::ServeTimePrograms(const Frame& frame) const {
    const unsigned first = TimeProgram(frame);
    const unsigned last = (first - 1) / kGroupSize * kGroupSize + kGroupSize;
    std::string line = ReplyHead(frame);
    for (unsigned program = first; program <= last; ++program)
        line += LongField(Stored(frame.station, 'Z', program)) + " ";
    return line + std::string(kLineEnd);
}

Network::WriteOp Network::DecodeWrite(const Frame& frame) const {
    const unsigned address = frame.field;
    const std::string& group = frame.groups[0];
    const char letter = frame.letter;
    if (frame.groups.size() == 2) {
        const int high = ParseUnsigned(group);
        const int low = ParseUnsigned(frame.groups[1]);
        if (high < 0 || low < 0) return {};
        const auto value = static_cast<uint32_t>(high) * 10000 + static_cast<uint32_t>(low);
        if (!frame.block && letter == 'D' && IsPointAddress(address)) return {'D', address, value};
        if (const unsigned program = TimeProgram(frame); program != 0) return {'Z', program, value};
        return {};
    }
    if (frame.block || !IsPointAddress(address)) return {};
    static constexpr std::string_view kOffsetWritable = "Ijknorsvw";
    if (kOffsetWritable.find(letter) != std::string_view::npos) {
        const int coded = ParseUnsigned(group);
        if (coded < 0 || coded > 8000) return {};
        return {letter, address, static_cast<uint32_t>(coded - 4000)};
    }
    if (letter == 'G' || letter == 'C') {
        const int value = ParseUnsigned(group);
        if (value < 0) return {};
        return {letter == 'G' ? 'G' : 'V', address, static_cast<uint32_t>(value)};
    }
    if (letter == 'H') {
        if (group.substr(2) != "--") return {};
        for (const auto& [code, byte] : kCommandCodes)
            if (group.substr(0, 2) == code) return {'H', address, byte};
        return {};
    }
    if (letter == '@') {
        if (group.substr(0, 3) != "---" || group[3] < '0' || group[3] > '3') return {};
        return {'E', address, static_cast<uint32_t>(group[3] - '0')};
    }
    if (letter == 'h' && address <= 31 && group.substr(2) == "--") {
        const int byte = NibblePair(group.substr(0, 2));
        if (byte >= 0) return {'K', address, static_cast<uint32_t>(byte)};
    }
    if (letter == 'b' && group.substr(0, 2) == "--") {
        const int byte = NibblePair(group.substr(2));
        if (byte >= 0) return {'L', address, static_cast<uint32_t>(byte)};
    }
    return {};
}

// "Psss40B @ddmm @yyyy @sswd @hhmm/": a plausible date and time, and the
// weekday twice.
bool Network::IsValidTimeSync(const Frame& frame) const {
    const auto& g = frame.groups;
    if (g.size() != 4 || !std::all_of(g.begin(), g.end(), [](const std::string& x) { return IsDigits(x); }))
        return false;
    const int day = std::stoi(g[0].substr(0, 2));
    const int month = std::stoi(g[0].substr(2, 2));
    const int seconds = std::stoi(g[2].substr(0, 2));
    const char weekday = g[2][2];
    const int hour = std::stoi(g[3].substr(0, 2));
    const int minute = std::stoi(g[3].substr(2, 2));
    return day >= 1 && day <= 31 && month >= 1 && month <= 12 && seconds <= 60 && weekday >= '1' &&
           weekday <= '7' && g[2][3] == weekday && hour <= 23 && minute <= 59;
}

}  // namespace ultsim
