// The write request frame of a gate: the value checks of each memory type and
// the frame that carries the value, the time synchronisation frame included.
#include "transactions/build_write_request.h"

#include <cstdio>
#include <cstring>

#include "host/log.h"
#include "transactions/exchange.h"
#include "transactions/request_fields.h"
#include "transactions/value_encodings.h"
#include "transactions/write_codes.h"

namespace telmor {

namespace {

constexpr size_t kSecondWord = 2;  // 16-bit values stand in the area's second word
constexpr int16_t kAnalogLimit = 4000;
constexpr uint16_t kLargestFourDigits = 9999;
constexpr uint32_t kEightDigitLimit = 100000000;
constexpr uint32_t kGroupSplit = 10000;
constexpr uint16_t kLargestByte = 255;
constexpr uint16_t kLargestEventCommand = 3;
constexpr uint16_t kWeekdayOverrideBase = 100;

struct WriteInput {
    const GateRequest& request;
    char* frame;
    size_t frameSize;
    const std::tm* localNow;
};

// The host's area may lie at any alignment, hence the byte copies.
uint16_t ValueWord(const GateRequest& request) {
    uint16_t word = 0;
    std::memcpy(&word, static_cast<const unsigned char*>(request.value) + kSecondWord, sizeof word);
    return word;
}

int16_t SignedValueWord(const GateRequest& request) {
    return static_cast<int16_t>(ValueWord(request));
}

uint32_t ValueLong(const GateRequest& request) {
    uint32_t value = 0;
    std::memcpy(&value, request.value, sizeof value);
    return value;
}

// A refused 16-bit value is shown as the 16-bit number widened with its sign.
uint32_t ShownWord(uint16_t word) {
    return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(word)));
}

int RefuseValue(const GateRequest& request, uint32_t shown) {
    TELMOR_LOG(kLevelTrace, "TELMOR> BuildWriteRequest() value %u out of range, gate '%s'", shown,
               AddressOf(request.addressText));
    return 1;
}

// An empty frame, so that no earlier request is sent in its place.
int RefuseLength(const WriteInput& in) {
    if (in.frameSize > 0) in.frame[0] = '\0';
    const size_t room = in.frameSize > 0 ? in.frameSize - 1 : 0;
    TELMOR_LOG(kLevelTrace, "TELMOR> BuildWriteRequest() error, frame longer than %u characters, gate '%s'",
               static_cast<unsigned>(room), AddressOf(in.request.addressText));
    return 1;
}

int RefuseFields(const GateRequest& request) {
    TELMOR_LOG(kLevelMajor,
               "TELMOR> BuildWriteRequest() error, station %u or address %u out of range, gate '%s'",
               request.station, request.address, AddressOf(request.addressText));
    return 1;
}

// A station or address wider than its field would shift the whole frame.
bool FieldsFit(const GateRequest& request, uint32_t addressField) {
    if (FieldsFitFrame(request.station, addressField)) return true;
    RefuseFields(request);
    return false;
}

// What snprintf reports decides whether the frame is whole.
int FinishFrame(const WriteInput& in, int written) {
    if (written < 0 || static_cast<size_t>(written) >= in.frameSize) return RefuseLength(in);
    return 0;
}

char MemoryLetter(const GateRequest& request) {
    return static_cast<char>(request.memoryType);
}

int BuildCommandText(const WriteInput& in) {
    const auto* text = static_cast<const char*>(in.request.value);
    const size_t length = strnlen(text, in.frameSize);
    if (length >= in.frameSize) return RefuseLength(in);
    std::memcpy(in.frame, text, length + 1);
    return 0;
}

int BuildDigitalCommand(const WriteInput& in) {
    const uint16_t value = ValueWord(in.request);
    const char* code = DigitalCommandCode(value);
    if (code == nullptr) return RefuseValue(in.request, ShownWord(value));
    if (!FieldsFit(in.request, in.request.address)) return 1;
    return FinishFrame(in, std::snprintf(in.frame, in.frameSize, "P%03u%02uH @%s", in.request.station,
                                         in.request.address, code));
}

int BuildEventCommand(const WriteInput& in) {
    const uint16_t value = ValueWord(in.request);
    if (value > kLargestEventCommand) {
        TELMOR_LOG(kLevelTrace, "TELMOR> BuildWriteRequest() value %u out of range (0..3), gate '%s'",
                   unsigned{value}, AddressOf(in.request.addressText));
        return 1;
    }
    if (!FieldsFit(in.request, in.request.address)) return 1;
    return FinishFrame(in, std::snprintf(in.frame, in.frameSize, "P%03u%02u@ @---%u/", in.request.station,
                                         in.request.address, unsigned{value}));
}

// Four decimal digits carry 0..9999; anything else would widen the group.
int BuildFourDigits(const WriteInput& in, char letter, int32_t shownValue, int32_t groupValue) {
    if (groupValue < 0 || groupValue > kLargestFourDigits) {
        return RefuseValue(in.request, static_cast<uint32_t>(shownValue));
    }
    if (!FieldsFit(in.request, in.request.address)) return 1;
    return FinishFrame(in, std::snprintf(in.frame, in.frameSize, "P%03u%02u%c @%04u/", in.request.station,
                                         in.request.address, letter, static_cast<unsigned>(groupValue)));
}

int BuildPlainSetpoint(const WriteInput& in) {
    const int16_t value = SignedValueWord(in.request);
    return BuildFourDigits(in, MemoryLetter(in.request), value, value);
}

int BuildSetpointV(const WriteInput& in) {
    const int16_t value = SignedValueWord(in.request);
    return BuildFourDigits(in, 'C', value, value);
}

int BuildOffsetSetpoint(const WriteInput& in) {
    const int16_t value = SignedValueWord(in.request);
    if (value < -kAnalogLimit || value > kAnalogLimit)
        return RefuseValue(in.request, ShownWord(ValueWord(in.request)));
    return BuildFourDigits(in, MemoryLetter(in.request), value, value + kAnalogLimit);
}

int BuildNibbleSetpoint(const WriteInput& in) {
    const uint16_t value = ValueWord(in.request);
    if (value > kLargestByte) return RefuseValue(in.request, ShownWord(value));
    if (!FieldsFit(in.request, in.request.address)) return 1;
    const char low = NibbleLetter(value);
    const char high = NibbleLetter(value >> 4u);
    const GateRequest& r = in.request;
    const int written =
        r.memoryType == 'K'
            ? std::snprintf(in.frame, in.frameSize, "P%03u%02uh @%c%c--/", r.station, r.address, low, high)
            : std::snprintf(in.frame, in.frameSize, "P%03u%02ub @--%c%c/", r.station, r.address, low, high);
    return FinishFrame(in, written);
}

int BuildEightDigits(const WriteInput& in, uint32_t addressField, char letter) {
    const uint32_t value = ValueLong(in.request);
    if (value >= kEightDigitLimit) return RefuseValue(in.request, value);
    if (!FieldsFit(in.request, addressField)) return 1;
    return FinishFrame(in,
                       std::snprintf(in.frame, in.frameSize, "P%03u%02u%c @%04u @%04u/", in.request.station,
                                     addressField, letter, value / kGroupSplit, value % kGroupSplit));
}

int BuildCounter(const WriteInput& in) {
    return BuildEightDigits(in, in.request.address, 'D');
}

int BuildTimeProgram(const WriteInput& in) {
    uint32_t addressField = 0;
    char letter = 0;
    if (!TimeProgramField(in.request.address, &addressField, &letter)) return RefuseFields(in.request);
    const int result = BuildEightDigits(in, addressField, letter);
    if (result == 0) ApplyBlockMarker(in.frame);
    return result;
}

// The fields of a calendar time that the frame's fixed-width groups can carry.
bool TimeFitsFrame(const std::tm& t) {
    return t.tm_mday >= 1 && t.tm_mday <= 31 && t.tm_mon >= 0 && t.tm_mon <= 11 && t.tm_year >= -1900 &&
           t.tm_year <= 9999 - 1900 && t.tm_sec >= 0 && t.tm_sec <= 60 && t.tm_wday >= 0 && t.tm_wday <= 6 &&
           t.tm_hour >= 0 && t.tm_hour <= 23 && t.tm_min >= 0 && t.tm_min <= 59;
}

// 1 = Monday .. 7 = Sunday; a gate value of 101..107 names the day instead.
unsigned Weekday(const std::tm& t, uint16_t gateValue) {
    if (gateValue > kWeekdayOverrideBase && gateValue <= kWeekdayOverrideBase + 7) {
        return gateValue - kWeekdayOverrideBase;
    }
    return t.tm_wday == 0 ? 7u : static_cast<unsigned>(t.tm_wday);
}

int BuildTimeSync(const WriteInput& in) {
    const uint16_t value = ValueWord(in.request);
    if (in.localNow == nullptr || !TimeFitsFrame(*in.localNow))
        return RefuseValue(in.request, ShownWord(value));
    if (!FieldsFit(in.request, 0)) return 1;
    const std::tm& t = *in.localNow;
    const unsigned weekday = Weekday(t, value);
    return FinishFrame(
        in, std::snprintf(in.frame, in.frameSize, "P%03u40B @%02u%02u @%04u @%02u%1u%1u @%02u%02u/",
                          in.request.station, static_cast<unsigned>(t.tm_mday),
                          static_cast<unsigned>(t.tm_mon + 1), static_cast<unsigned>(t.tm_year + 1900),
                          static_cast<unsigned>(t.tm_sec), weekday, weekday, static_cast<unsigned>(t.tm_hour),
                          static_cast<unsigned>(t.tm_min)));
}

using Builder = int (*)(const WriteInput&);

struct WriteRule {
    int32_t memoryType;
    Builder build;
};

constexpr WriteRule kWriteRules[] = {
    {VPI_MEM_COMMAND_TEXT, BuildCommandText},
    {'C', BuildDigitalCommand},
    {'D', BuildCounter},
    {'E', BuildEventCommand},
    {'G', BuildPlainSetpoint},
    {'V', BuildSetpointV},
    {'I', BuildOffsetSetpoint},
    {'j', BuildOffsetSetpoint},
    {'k', BuildOffsetSetpoint},
    {'n', BuildOffsetSetpoint},
    {'o', BuildOffsetSetpoint},
    {'r', BuildOffsetSetpoint},
    {'s', BuildOffsetSetpoint},
    {'v', BuildOffsetSetpoint},
    {'w', BuildOffsetSetpoint},
    {'K', BuildNibbleSetpoint},
    {'L', BuildNibbleSetpoint},
    {'T', BuildTimeSync},
    {'Z', BuildTimeProgram},
};

const WriteRule* FindWriteRule(int32_t memoryType) {
    for (const WriteRule& rule : kWriteRules) {
        if (rule.memoryType == memoryType) return &rule;
    }
    return nullptr;
}

}  // namespace

int BuildWriteRequestAt(const GateRequest& request, char* frame, size_t frameSize, const std::tm* localNow) {
    const WriteRule* rule = FindWriteRule(request.memoryType);
    if (rule == nullptr) {
        TELMOR_LOG(kLevelMajor, "TELMOR> BuildWriteRequest() internal error file SAUWRITE line %u", 435u);
        return 2;
    }
    const WriteInput in{request, frame, frameSize, localNow};
    if (frameSize == 0) return RefuseLength(in);
    return rule->build(in);
}

int BuildWriteRequest(const GateRequest& request, char* frame, size_t frameSize) {
    if (request.memoryType != 'T') return BuildWriteRequestAt(request, frame, frameSize, nullptr);
    std::tm local{};
    const std::time_t now = std::time(nullptr);
    const bool known = now != static_cast<std::time_t>(-1) && localtime_r(&now, &local) != nullptr;
    return BuildWriteRequestAt(request, frame, frameSize, known ? &local : nullptr);
}

}  // namespace telmor
