// The line between the unit and the host, spoiling one step's answer: the state machine
// answers as the protocol says and marks where each step opens and ends; this layer turns
// the first answer of a step that has a fault into what a bad line or adapter would deliver.
#include <utility>

#include "sim/DeviceModel.h"

namespace {

constexpr uint8_t kNoise[] = {0x55, 0x00, 0xFF};
constexpr uint8_t kBadDigit = 'G';
constexpr uint8_t kExtraDigit = '0';  // sent twice: one more digit pair, unasked

void ToLowerCase(std::vector<uint8_t>& bytes) {
    for (uint8_t& b : bytes)
        if (b >= 'A' && b <= 'F') b = static_cast<uint8_t>(b - 'A' + 'a');
}

}  // namespace

Reply DeviceModel::SpoilLine(uint8_t byte) {
    if (loopback_) return {{byte}};
    const bool startsOver = StartsOver(byte);
    if (echoing_ && !startsOver) return {{byte}};
    if (startsOver) {
        echoing_ = false;
        mute_ = false;
    }
    const bool wasMute = mute_;
    opened_ = false;
    finished_ = false;
    Reply reply{Answer(byte)};

    // A fault spoils its step until another step opens, or the host starts over; every poll
    // is a step of its own, so a unit silent to one poll answers the next.
    const bool sameStep = opened_ && openedStep_ == spoiledStep_ && spoiledStep_ != LineStep::Poll;
    if ((opened_ || startsOver) && !sameStep) spoiling_ = LineFault::None;
    if (wasMute) return {};
    if (opened_ && openedStep_ && spoiling_ == LineFault::None) {
        const auto step = static_cast<size_t>(*openedStep_);
        if (!spent_[step] && faults_.lineFaults[step] != LineFault::None) {
            spent_[step] = true;
            spoiling_ = faults_.lineFaults[step];
            spoiledStep_ = *openedStep_;
            Strike(spoiling_, reply, byte);
        }
    }
    switch (spoiling_) {
        case LineFault::LowerCase:
            ToLowerCase(reply.bytes);
            break;
        case LineFault::Silent:
            reply.bytes.clear();
            break;
        case LineFault::ExtraDigits:
            if (finished_) reply.bytes.insert(reply.bytes.end(), {kExtraDigit, kExtraDigit});
            break;
        default:
            break;
    }
    return reply;
}

// The fault's effect on the step's first answer; the lasting ones act in SpoilLine.
void DeviceModel::Strike(LineFault fault, Reply& reply, uint8_t byte) {
    std::vector<uint8_t>& bytes = reply.bytes;
    if (bytes.empty()) return;
    switch (fault) {
        case LineFault::Late:
            reply.delayMs = kLateAnswerMs;
            break;
        case LineFault::Noise:
            bytes.insert(bytes.begin(), std::begin(kNoise), std::end(kNoise));
            break;
        case LineFault::Truncated:
            bytes.resize(1);
            mute_ = true;
            break;
        case LineFault::Doubled:
            bytes.insert(bytes.begin(), bytes.front());
            break;
        case LineFault::BadDigit:
            bytes.front() = kBadDigit;
            break;
        case LineFault::Unplug:
            // The conversation went with the port: the unit waits for a poll on the new one.
            bytes.clear();
            reply.unplug = true;
            state_ = State::Idle;
            pendingDigits_.clear();
            spoiling_ = LineFault::None;
            break;
        case LineFault::Echo:
            // An adapter looped back at the poll never lets the unit answer at all.
            bytes = {byte};
            echoing_ = true;
            if (spoiledStep_ == LineStep::Poll) {
                loopback_ = true;
                state_ = State::Idle;
                pendingDigits_.clear();
            }
            break;
        default:
            break;
    }
}
