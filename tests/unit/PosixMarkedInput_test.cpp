// Linux's marks of the bytes received in error (PARMRK) undone, byte table by byte table:
// what the tty delivers, in the reads it came in, and the bytes the link is given.
#include "platform/posix/PosixMarkedInput.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "platform/SerialLine.h"

// A byte as a failing case shows it: its value and errors in hexadecimal.
void PrintTo(const PosixMarkedInput::Byte& byte, std::ostream* os) {
    *os << std::hex << "{0x" << +byte.value << ", errors 0x" << byte.errors << "}" << std::dec;
}

namespace {

using Byte = PosixMarkedInput::Byte;
using Bytes = std::vector<uint8_t>;
constexpr uint32_t kMarked = kLineErrorParity | kLineErrorFrame;

TEST(PosixMarkedInputTest, MarksAreUndoneAcrossReads) {
    const struct {
        const char* name;
        bool marked;
        std::vector<Bytes> reads;
        std::vector<Byte> given;
        size_t pending;  // the count left once every whole byte is taken
    } cases[] = {
        {"plain bytes", true, {{0x30, 0x81}}, {{0x30, 0}, {0x81, 0}}, 0},
        {"a real 0xFF", true, {{0xFF, 0xFF}}, {{0xFF, 0}}, 0},
        {"a parity error",
         true,
         {{0x30, 0xFF, 0x00, 0x37, 0x31}},
         {{0x30, 0}, {0x37, kMarked}, {0x31, 0}},
         0},
        {"a break", true, {{0xFF, 0x00, 0x00}}, {{0x00, kMarked}}, 0},
        {"a 0xFF in error after a real one",
         true,
         {{0xFF, 0xFF, 0xFF, 0x00, 0xFF}},
         {{0xFF, 0}, {0xFF, kMarked}},
         0},
        {"a mark split over three reads", true, {{0xFF}, {0x00}, {0x46}}, {{0x46, kMarked}}, 0},
        {"a mark not ended yet", true, {{0x34, 0xFF, 0x00}}, {{0x34, 0}}, 1},
        {"bytes from before the marks", true, {{0xFF, 0x41}}, {{0xFF, 0}, {0x41, 0}}, 0},
        {"a tty that does not mark",
         false,
         {{0xFF, 0x00, 0x37, 0xFF}},
         {{0xFF, 0}, {0x00, 0}, {0x37, 0}, {0xFF, 0}},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PosixMarkedInput input;
        input.SetMarked(c.marked);
        for (const Bytes& r : c.reads) input.Add(r.data(), r.size());
        EXPECT_EQ(input.Count(), c.given.size() + c.pending);
        std::vector<Byte> given;
        for (Byte b; input.Take(b);) given.push_back(b);
        EXPECT_EQ(given, c.given);
        EXPECT_EQ(input.Count(), c.pending);
    }
}

}  // namespace
