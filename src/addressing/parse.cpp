// Parse: the gate address grammar. Checks the host's address text and fills
// the parsed fields of its GateRecord, or refuses it with one log line.
#include <cstddef>
#include <cstdint>

#include "addressing/memory_types.h"
#include "addressing/sauparse.h"
#include "host/log.h"

namespace telmor {
namespace {

// Working copy: 31 characters and a terminator. No valid address is longer
// than 7 characters, so a longer text only has to be refused, never read.
constexpr size_t kCopySize = 32;
constexpr size_t kTestedPositions = 7;
constexpr size_t kMemoryTypeIndex = 3;
constexpr size_t kPointIndex = 4;
constexpr size_t kBitIndex = 6;
constexpr size_t kPointLength = 6;
constexpr size_t kBitLength = 7;
constexpr size_t kTimeProgramLength = 7;
constexpr size_t kNetworkGateLength = 4;
constexpr uint32_t kNetworkStation = 1000;
constexpr uint32_t kLastLowerPoint = 31;
constexpr uint32_t kFirstUpperPoint = 40;
constexpr uint32_t kLastUpperPoint = 55;
constexpr uint32_t kLastTimeProgram = 128;
constexpr int32_t kLastBit = 7;

constexpr char kDigits[] = "0123456789";

// The characters each of the first seven positions may hold.
constexpr const char* kPositionSets[kTestedPositions] = {
    "!0123456789", "T0123456789", kDigits, kMemoryTypeLetters, kDigits, kDigits, kDigits};

struct SpecialGate {
    char second;  // the character after the "!"
    int32_t memoryType;
};

constexpr SpecialGate kSpecialGates[] = {
    {'T', VPI_MEM_COMMAND_TEXT}, {'1', VPI_MEM_TEXT1}, {'2', VPI_MEM_TEXT2}, {'3', VPI_MEM_TEXT3}};

struct WorkingCopy {
    char text[kCopySize];
    size_t length;
};

unsigned char At(const WorkingCopy& copy, size_t index) {
    return static_cast<unsigned char>(copy.text[index]);
}

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// Copies the host's text, which is never modified; false when it does not fit.
// The copy is zero beyond the text, so reading a position past its end finds a
// terminator rather than whatever an earlier address left.
bool CopyText(const char* addressText, WorkingCopy& copy) {
    copy = {};
    size_t i = 0;
    while (i + 1 < kCopySize && addressText[i] != '\0') {
        copy.text[i] = addressText[i];
        ++i;
    }
    copy.length = i;
    return addressText[i] == '\0';
}

// Position (from 1) of the first character outside its position's set, or 0.
int FirstIllegalPosition(const WorkingCopy& copy) {
    for (size_t i = 0; i < kTestedPositions && i < copy.length; ++i) {
        if (!IsOneOf(kPositionSets[i], At(copy, i))) return static_cast<int>(i + 1);
    }
    return 0;
}

// Reads at most maxDigits decimal digits from `from` on into `value`, which
// stays untouched when there is none; returns how many were read.
size_t ReadDigits(const WorkingCopy& copy, size_t from, size_t maxDigits, uint32_t& value) {
    uint32_t read = 0;
    size_t count = 0;
    while (count < maxDigits && IsDigit(At(copy, from + count))) {
        read = read * 10 + static_cast<uint32_t>(At(copy, from + count) - '0');
        ++count;
    }
    if (count > 0) value = read;
    return count;
}

int RefuseLength(const WorkingCopy& copy) {
    TELMOR_LOG(kLevelMajor, "TELMOR> Parse() error, illegal gate address string length '%s'", copy.text);
    return 1;
}

// The special gates "!T", "!1", "!2", "!3" and any other "!" text; -1 when
// the text is an ordinary address.
int ParseSpecial(GateRecord& gate, const WorkingCopy& copy) {
    if (copy.text[0] != '!') return -1;
    for (const SpecialGate& special : kSpecialGates) {
        if (copy.text[1] == special.second) {
            gate.memoryType = special.memoryType;
            return gate.gateType == VPI_GATE_TEXT ? 0 : 1;
        }
    }
    return 1;
}

bool PointInRange(const MemoryGroup& group, uint32_t point) {
    if (point <= kLastLowerPoint) return true;
    return group.upperPoints && point >= kFirstUpperPoint && point <= kLastUpperPoint;
}

// Checks run in the order address read, address range, bit number, length.
int ParsePoint(GateRecord& gate, const MemoryGroup& group, const WorkingCopy& copy) {
    if (ReadDigits(copy, kPointIndex, 2, gate.address) == 0) {
        TELMOR_LOG(kLevelMajor, "TELMOR> Parse() error, illegal %s address in '%s'", group.words, copy.text);
        return 1;
    }
    if (!PointInRange(group, gate.address)) {
        TELMOR_LOG(kLevelMajor, "TELMOR> Parse() error, %s address %u out of range in '%s'", group.words,
                   gate.address, copy.text);
        return 1;
    }
    if (group.bitDigit && copy.length == kBitLength) {
        // The character test has made the seventh character a digit.
        gate.bitNumber = At(copy, kBitIndex) - '0';
        if (gate.bitNumber > kLastBit) {
            TELMOR_LOG(kLevelMajor, "TELMOR> Parse() error, bit number %u dig. signal out of range in '%s'",
                       static_cast<unsigned>(gate.bitNumber), copy.text);
            return 1;
        }
        return 0;
    }
    return copy.length == kPointLength ? 0 : RefuseLength(copy);
}

int ParseTimeProgram(GateRecord& gate, const WorkingCopy& copy) {
    if (ReadDigits(copy, kPointIndex, 3, gate.address) == 0) {
        TELMOR_LOG(kLevelMajor, "TELMOR> Parse() error, illegal time program number in '%s'", copy.text);
        return 1;
    }
    if (gate.address < 1 || gate.address > kLastTimeProgram) {
        TELMOR_LOG(kLevelMajor, "TELMOR> Parse() error, time program number %u out of range in '%s'",
                   gate.address, copy.text);
        return 1;
    }
    return copy.length == kTimeProgramLength ? 0 : RefuseLength(copy);
}

// R, S and T carry nothing after the letter. R and S belong to the network as
// a whole, which the read and write paths know by the station number 1000.
int ParseNetworkGate(GateRecord& gate, const MemoryGroup& group, const WorkingCopy& copy) {
    if (copy.length != kNetworkGateLength) return RefuseLength(copy);
    if (group.field == AddressField::kResetGate) {
        gate.address = 0;
        gate.station = kNetworkStation;
    } else if (group.field == AddressField::kStationStatus) {
        gate.address = gate.station;
        gate.station = kNetworkStation;
    }
    return 0;
}

int RefuseMemoryType(const WorkingCopy& copy) {
    // Only a text that ends before the fourth position gets here (a letter
    // there passed the character test), so the "letter" is the terminator.
    // It is quoted as a text: a NUL through %c would cut the log line short.
    const char shown[2] = {copy.text[kMemoryTypeIndex], '\0'};
    TELMOR_LOG(kLevelMajor, "TELMOR> Parse() error, illegal memory type '%s' in '%s'", shown, copy.text);
    return 1;
}

int ParseMemoryType(GateRecord& gate, const WorkingCopy& copy) {
    gate.memoryType = At(copy, kMemoryTypeIndex);
    const MemoryGroup* group = FindMemoryGroup(gate.memoryType);
    if (group == nullptr) return RefuseMemoryType(copy);
    gate.dataWidth = group->dataWidth;
    switch (group->field) {
        case AddressField::kPoint:
            return ParsePoint(gate, *group, copy);
        case AddressField::kTimeProgram:
            return ParseTimeProgram(gate, copy);
        case AddressField::kResetGate:
        case AddressField::kStationStatus:
        case AddressField::kTimeSync:
            return ParseNetworkGate(gate, *group, copy);
    }
    return RefuseMemoryType(copy);
}

}  // namespace

int Parse(GateRecord& gate) {
    if (gate.addressText == nullptr) {
        TELMOR_LOG(kLevelMajor, "TELMOR> Parse() error, no gate address string");
        return 1;
    }
    WorkingCopy copy;
    if (!CopyText(gate.addressText, copy)) return RefuseLength(copy);  // quotes the first 31 characters

    if (const int position = FirstIllegalPosition(copy); position != 0) {
        TELMOR_LOG(kLevelMajor, "TELMOR> Parse() error, illegal character %d in '%s'", position, copy.text);
        return 1;
    }
    gate.bitNumber = -1;
    gate.dataWidth = 16;

    if (const int special = ParseSpecial(gate, copy); special >= 0) return special;

    if (ReadDigits(copy, 0, 3, gate.station) == 0) {
        TELMOR_LOG(kLevelMajor, "TELMOR> Parse() error, illegal station number in '%s'", copy.text);
        return 1;
    }
    return ParseMemoryType(gate, copy);
}

}  // namespace telmor
