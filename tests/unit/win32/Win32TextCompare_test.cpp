// Port labels sort and upper-case by the user's locale, as the system's own lists do.
#include <gtest/gtest.h>

#include <string>

#include "platform/TextCompare.h"

namespace {

TEST(Win32TextCompareTest, ComparesCharacterByCharacterAndCaseSensitively) {
    struct Case {
        std::string a;
        std::string b;
        int expected;
    };
    const Case cases[] = {
        {"COM1", "COM1", 0},
        {"COM1", "COM10", -1},  // a prefix sorts first
        {"COM10", "COM2", -1},  // digits compare one by one, not as numbers
        {"COM2", "COM10", 1},
        {"COM3", "COM4 : ORVANEX", -1},
        {"COM4", "COM4 : ORVANEX", -1},
        {"", "COM1", -1},
        {"com1", "COM1", -1},  // same letters: the case still tells them apart
        {"COM1", "com1", 1},
        {"com2", "COM1", 1},  // letters first, case only when they tie
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.a + "\" vs \"" + c.b + "\"");
        EXPECT_EQ(CompareLocaleText(c.a, c.b), c.expected);
    }
}

TEST(Win32TextCompareTest, UpperCasesLettersOnly) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"com7", "COM7"},
        {"Com12 : orvanex", "COM12 : ORVANEX"},
        {"COM3", "COM3"},
        {"", ""},
        {" \tcom 5 ", " \tCOM 5 "},
        {std::string("co\0m", 4), std::string("CO\0M", 4)},  // the whole text, past a NUL
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.text + "\"");
        EXPECT_EQ(UpperCaseLocaleText(c.text), c.expected);
    }
}

}  // namespace
