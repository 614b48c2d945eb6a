// The bytes received on a tty, as the line delivered them, waiting for the link. With parity
// checked, Linux marks in the byte stream (PARMRK) what Windows reports beside it: a byte
// received with a parity or framing error arrives as 0xFF 0x00 X, a break as 0xFF 0x00 0x00,
// and a real 0xFF as 0xFF 0xFF. This undoes the marks: each byte comes out once, with the
// errors it came with. Pure: no descriptor, so every sequence can be checked without a tty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

class PosixMarkedInput {
public:
    struct Byte {
        uint8_t value = 0;
        uint32_t errors = 0;  // kLineError* of the serial line seam

        bool operator==(const Byte&) const = default;
    };

    // Whether the tty marks its bytes (PARMRK); a tty that does not gives them as they are.
    void SetMarked(bool marked);
    // Adds bytes as read from the tty; a mark may end in a later read.
    void Add(const uint8_t* bytes, size_t count);
    // The oldest byte not yet taken; false when none is whole yet.
    bool Take(Byte& byte);
    // The bytes waiting, a mark begun counting as the one byte it will give.
    size_t Count() const { return bytes_.size() + (state_ != State::Plain ? 1 : 0); }
    // Forgets every byte and any mark begun (a purge).
    void Clear();

private:
    enum class State { Plain, Mark, MarkZero };  // after nothing, 0xFF, 0xFF 0x00

    std::deque<Byte> bytes_;
    State state_ = State::Plain;
    bool marked_ = false;
};
