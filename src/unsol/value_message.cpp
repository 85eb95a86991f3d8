// Spontaneous value messages: a substation's "U" line of 15, 20 or 30
// characters is checked whole, then its digital byte and bits, analog value
// and counter go into the gates named after its station and address.
#include "unsol/value_message.h"

#include "host/log.h"
#include "transactions/chars.h"
#include "transactions/value_encodings.h"
#include "unsol/gate_put.h"
#include "unsol/quote.h"

namespace telmor {

namespace {

constexpr const char* kRoutine = "UnsolThread";

constexpr uint16_t kShortestMessage = 15;
constexpr uint16_t kStationPos = 1;
constexpr uint16_t kAddressPos = 4;
constexpr uint16_t kDigitalPos = 8;
constexpr uint16_t kAnalogPos = 13;
constexpr uint16_t kCounterPos = 18;

// The value fields in the order they are checked. Each message length checks
// a leading part of this list: a digital message only the digital field, an
// analog one also the analog field, a combined one all four.
struct FieldCheck {
    uint16_t position;
    bool digits;
};
constexpr FieldCheck kFieldChecks[] = {
    {kDigitalPos, false}, {kAnalogPos, true}, {kCounterPos, true}, {kCounterPos + 5, true}};

struct MessageFormat {
    uint16_t length;
    uint16_t fieldsChecked;
    bool digital;
    bool analog;
    bool counter;
};
constexpr MessageFormat kFormats[] = {
    {15, 1, true, false, false},
    {20, 2, false, true, false},
    {30, 4, true, true, true},
};

const MessageFormat* FindFormat(uint16_t length) {
    for (const MessageFormat& format : kFormats) {
        if (format.length == length) return &format;
    }
    return nullptr;
}

uint16_t DecimalValue(const char* digits, uint16_t count) {
    uint16_t value = 0;
    for (uint16_t i = 0; i < count; ++i) value = static_cast<uint16_t>(value * 10u + (digits[i] - '0'));
    return value;
}

// Point addresses of the H, A and D memories; 32..39 do not exist.
bool AddressInRange(uint16_t address) {
    return address <= 31 || (address >= 40 && address <= 55);
}

// Steps that quote the line without its LF CR; a long line gets the cut quote
// and the "..." form. Each logs the first reason found and refuses the line.
bool CheckHead(const char* line, uint16_t length) {
    const QuotedLine quoted = QuoteLine(line, length);
    if (length < kShortestMessage) {
        TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, illegal message length, msg '%s'", quoted.text);
        return false;
    }
    if (!CheckChars(line + kStationPos, 3, true)) {
        TELMOR_LOG(kLevelTrace,
                   quoted.longForm ? "TELMOR> UnsolThread() error, illegal station address in msg '%s..."
                                   : "TELMOR> UnsolThread() error, illegal station address in msg '%s'",
                   quoted.text);
        return false;
    }
    if (!CheckChars(line + kAddressPos, 2, true)) {
        TELMOR_LOG(kLevelTrace,
                   quoted.longForm ? "TELMOR> UnsolThread() error, illegal address in msg '%s..."
                                   : "TELMOR> UnsolThread() error, illegal address in msg '%s'",
                   quoted.text);
        return false;
    }
    if (!AddressInRange(DecimalValue(line + kAddressPos, 2))) {
        TELMOR_LOG(kLevelTrace,
                   quoted.longForm ? "TELMOR> UnsolThread() error, address out of range in msg '%s..."
                                   : "TELMOR> UnsolThread() error, address out of range in msg '%s'",
                   quoted.text);
        return false;
    }
    if (FindFormat(length) == nullptr) {
        TELMOR_LOG(kLevelTrace,
                   quoted.longForm ? "TELMOR> UnsolThread() error, unknown message format, msg '%s..."
                                   : "TELMOR> UnsolThread() error, unknown message format, msg '%s'",
                   quoted.text);
        return false;
    }
    return true;
}

// All fields are checked before any gate is touched, so a bad line changes
// nothing. The line is quoted whole, LF CR included; it is not NUL-terminated.
bool CheckFields(const char* line, uint16_t length, const MessageFormat& format) {
    for (uint16_t i = 0; i < format.fieldsChecked; ++i) {
        const FieldCheck& field = kFieldChecks[i];
        if (!CheckChars(line + field.position, 4, field.digits)) {
            TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, illegal data '%.4s' in msg '%.*s'",
                       line + field.position, static_cast<int>(length), line);
            return false;
        }
    }
    return true;
}

}  // namespace

void HandleValueMessage(DriverContext& context, const char* line, uint16_t length) {
    if (!CheckHead(line, length)) return;
    const MessageFormat& format = *FindFormat(length);
    if (!CheckFields(line, length, format)) return;

    const uint16_t station = DecimalValue(line + kStationPos, 3);
    const uint16_t address = DecimalValue(line + kAddressPos, 2);
    if (format.digital) {
        PutDigitalByte(context, kRoutine, station, address, NibbleByteValue(line + kDigitalPos));
    }
    if (format.analog) {
        const GateAddress gate = MakeGateAddress(station, 'A', address);
        PutGateValue(context, kRoutine, gate.text,
                     RawFromWord(static_cast<uint16_t>(OffsetFourDigitValue(line + kAnalogPos))));
    }
    if (!format.counter) return;
    // Both runs are digits by now; what stands between them decides. Only
    // white space is a separator: a digit there would shift the second run and
    // put a counter the substation never sent.
    uint32_t counter = 0;
    if (!EightDigitValue(line + kCounterPos, &counter)) {
        // The gates put above keep their new values; only the counter is lost.
        TELMOR_LOG(kLevelTrace, "TELMOR> UnSolThread() error, reading data '%.9s' in msg '%.*s'",
                   line + kCounterPos, static_cast<int>(length), line);
        return;
    }
    const GateAddress gate = MakeGateAddress(station, 'D', address);
    PutGateValue(context, kRoutine, gate.text, counter);
}

}  // namespace telmor
