// The character checks of value fields: digits, nibble letters, and the
// position of a nibble letter.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "transactions/chars.h"

namespace telmor {
namespace {

struct CheckCase {
    std::string text;
    uint16_t count;
    bool digits;
    bool expected;
};

TEST(CheckChars, AcceptsOnlyItsAlphabetWithinCount) {
    const CheckCase cases[] = {
        {"0123456789", 10, true, true},
        {"@ABCDEFGHIJKLMNO", 16, false, true},
        // The neighbours of each alphabet are outside it.
        {"/", 1, true, false},
        {":", 1, true, false},
        {"?", 1, false, false},
        {"P", 1, false, false},
        // Digits are not nibble letters and the other way round.
        {"1234", 4, false, false},
        {"@@@@", 4, true, false},
        {"12a4", 4, true, false},
        {"DA1@", 4, false, false},
        // Only the first `count` characters count.
        {"12x", 2, true, true},
        {"DAxx", 2, false, true},
        {"xyz", 0, true, true},
        {"xyz", 0, false, true},
    };
    for (const CheckCase& c : cases) {
        EXPECT_EQ(CheckChars(c.text.c_str(), c.count, c.digits), c.expected)
            << "'" << c.text << "' count " << c.count << (c.digits ? " digits" : " nibbles");
    }
}

TEST(CheckChars, LooksAtNoTerminator) {
    // A terminator inside the count is a character like any other; no
    // terminator at the end is needed.
    const char withNul[] = {'1', '\0', '2'};
    EXPECT_FALSE(CheckChars(withNul, 3, true));
    const char unterminated[] = {'A', 'O'};
    EXPECT_TRUE(CheckChars(unterminated, 2, false));
}

TEST(NibbleIndex, PositionInAlphabetOrZero) {
    const char* alphabet = "@ABCDEFGHIJKLMNO";
    for (uint16_t i = 0; i < 16; ++i) EXPECT_EQ(NibbleIndex(alphabet[i]), i) << alphabet[i];
    for (char c : {'P', '?', '0', 'o', 'a', '\0', '\x80'}) EXPECT_EQ(NibbleIndex(c), 0) << int{c};
}

}  // namespace
}  // namespace telmor
