#include "platform/posix/PosixMarkedInput.h"

#include "platform/SerialLine.h"

namespace {

constexpr uint8_t kMark = 0xFF;
// Linux marks parity errors, framing errors and breaks alike, so a marked byte carries both:
// either way the line spoiled it.
constexpr uint32_t kMarkedErrors = kLineErrorParity | kLineErrorFrame;

}  // namespace

void PosixMarkedInput::SetMarked(bool marked) {
    // A mark begun when the tty stops marking was plain bytes after all.
    if (!marked && state_ != State::Plain) {
        bytes_.push_back({kMark, 0});
        if (state_ == State::MarkZero) bytes_.push_back({0x00, 0});
        state_ = State::Plain;
    }
    marked_ = marked;
}

void PosixMarkedInput::Add(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        if (!marked_) {
            bytes_.push_back({byte, 0});
            continue;
        }
        switch (state_) {
            case State::Plain:
                if (byte == kMark)
                    state_ = State::Mark;
                else
                    bytes_.push_back({byte, 0});
                break;
            case State::Mark:
                if (byte == 0x00) {
                    state_ = State::MarkZero;
                    break;
                }
                // 0xFF 0xFF is a real 0xFF. Anything else after 0xFF was received before the
                // tty marked (the parity was just turned on): both bytes are as they came.
                bytes_.push_back({kMark, 0});
                if (byte != kMark) bytes_.push_back({byte, 0});
                state_ = State::Plain;
                break;
            case State::MarkZero:
                bytes_.push_back({byte, kMarkedErrors});
                state_ = State::Plain;
                break;
        }
    }
}

bool PosixMarkedInput::Take(Byte& byte) {
    if (bytes_.empty()) return false;
    byte = bytes_.front();
    bytes_.pop_front();
    return true;
}

void PosixMarkedInput::Clear() {
    bytes_.clear();
    state_ = State::Plain;
}
