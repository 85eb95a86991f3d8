// The memory-type letters of gate addresses and, for each group of letters,
// what the address grammar reads after the letter and how it names the group.
#pragma once

#include <cstdint>

namespace telmor {

// In this order the letters form the character set of an address's fourth position.
inline constexpr char kMemoryTypeLetters[] = "HCAIDZTSREVGKLjknorswvlmpqtu";

// What follows the letter in an address of the group.
enum class AddressField {
    kPoint,          // two-digit point address (a bit digit may follow for H)
    kTimeProgram,    // three-digit time program number 1..128
    kResetGate,      // nothing; the gate belongs to the network, not a station
    kStationStatus,  // nothing; the three digits name the station whose status it is
    kTimeSync,       // nothing
};

struct MemoryGroup {
    const char* letters;
    const char* words;  // how the address messages name the group
    AddressField field;
    int32_t dataWidth;
    bool upperPoints;  // point addresses 40..55 exist besides 0..31
    bool bitDigit;     // a seventh character may pick one bit of the point
};

// The group of a memory-type code, or nullptr when it is none of the letters.
const MemoryGroup* FindMemoryGroup(int32_t memoryType);

// True when `code` is the character code of one of the characters of `set`.
bool IsOneOf(const char* set, int32_t code);

}  // namespace telmor
