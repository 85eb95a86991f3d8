// The letter-group table of the address grammar.
#include "addressing/memory_types.h"

namespace telmor {
namespace {

constexpr MemoryGroup kMemoryGroups[] = {
    {"Ajknorsvw", "analog measurement", AddressField::kPoint, 16, true, false},
    {"CE", "dig. command", AddressField::kPoint, 16, true, false},
    {"D", "counter value", AddressField::kPoint, 32, true, false},
    {"H", "dig. signal", AddressField::kPoint, 8, true, true},
    {"GILVlmpqtu", "analog setpoint", AddressField::kPoint, 16, true, false},
    {"K", "analog setpoint", AddressField::kPoint, 16, false, false},
    {"Z", "time program", AddressField::kTimeProgram, 32, false, false},
    {"R", "reset comms, reset gate", AddressField::kResetGate, 16, false, false},
    {"S", "substation status", AddressField::kStationStatus, 16, false, false},
    {"T", "time sync.", AddressField::kTimeSync, 16, false, false},
};

}  // namespace

bool IsOneOf(const char* set, int32_t code) {
    // A terminator or a code outside the character range never matches, so a
    // missing letter or a special gate's small code is no letter. Characters
    // compare as unsigned, so a byte above 0x7F is just another character.
    if (code <= 0 || code > 0xFF) return false;
    for (const char* member = set; *member != '\0'; ++member) {
        if (static_cast<unsigned char>(*member) == code) return true;
    }
    return false;
}

const MemoryGroup* FindMemoryGroup(int32_t memoryType) {
    for (const MemoryGroup& group : kMemoryGroups) {
        if (IsOneOf(group.letters, memoryType)) return &group;
    }
    return nullptr;
}

}  // namespace telmor
