#include "tests/support/FakeSerialLine.h"

#include <cstdio>

namespace {
std::string Hex(uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}
}  // namespace

void FakeSerialLine::Queue(std::initializer_list<int> bytes) {
    for (int b : bytes) {
        if (b < 0)
            incoming.push_back(std::nullopt);
        else
            incoming.push_back(static_cast<uint8_t>(b));
    }
}

namespace {
constexpr int32_t kUnpluggedError = 5;  // EIO, as a hung-up line reports
}  // namespace

bool FakeSerialLine::Fail(int32_t code) {
    lastError_ = code;
    return false;
}

SerialLine::Handle FakeSerialLine::Open(const std::string& devicePath) {
    calls.push_back("open " + devicePath);
    if (openError != 0) {
        lastError_ = openError;
        return kInvalidHandle;
    }
    isOpen = true;
    return kFakeHandle;
}

bool FakeSerialLine::GetState(Handle, SerialSettings& settings) {
    calls.push_back("getstate");
    if (getStateError != 0) return Fail(getStateError);
    settings = portState;
    return true;
}

bool FakeSerialLine::SetState(Handle, const SerialSettings& settings) {
    calls.push_back("state " + std::to_string(settings.BaudRate));
    if (setStateError != 0) return Fail(setStateError);
    statesSet.push_back(settings);
    return true;
}

bool FakeSerialLine::GetTimeouts(Handle, SerialTimeouts& timeouts) {
    calls.push_back("gettimeouts");
    if (getTimeoutsError != 0) return Fail(getTimeoutsError);
    timeouts = portTimeouts;
    return true;
}

bool FakeSerialLine::SetTimeouts(Handle, const SerialTimeouts& timeouts) {
    calls.push_back("timeouts");
    if (setTimeoutsError != 0) return Fail(setTimeoutsError);
    timeoutsSet.push_back(timeouts);
    current_ = timeouts;
    return true;
}

bool FakeSerialLine::Purge(Handle, uint32_t flags) {
    calls.push_back("purge " + std::to_string(flags));
    if (purgeError != 0) return Fail(purgeError);
    lineErrors_ = 0;  // as a real port's: they went with the bytes discarded
    // A model's answers are pending input; a script stands for the unit's future answers.
    if (model_ != nullptr)
        std::erase_if(answers_, [this](const Answer& a) {
            return static_cast<int32_t>(a.due - clock_.now) <= 0;
        });
    return true;
}

void FakeSerialLine::FollowBench() {
    if (!unitAt_) return;
    DeviceModel* const unit = unitAt_(clock_.now);
    if (unit != model_) answers_.clear();
    model_ = unit;
}

bool FakeSerialLine::WriteByte(Handle, uint8_t value, uint32_t& written) {
    FollowBench();
    calls.push_back("write " + Hex(value));
    if (unplugged) {
        written = 0;
        return Fail(kUnpluggedError);
    }
    if (writeError != 0 && (writesBeforeFailure < 0 || writes_ >= writesBeforeFailure)) {
        written = 0;
        return Fail(writeError);
    }
    ++writes_;
    clock_.Advance(writeTimeMs);
    sent.push_back(value);
    written = 1;
    if (model_ != nullptr) {
        const Reply reply = model_->ReplyTo(value);
        unplugged = reply.unplug;
        if (unplugged) answers_.clear();
        // Nothing overtakes a late byte.
        uint32_t due = clock_.now + reply.delayMs;
        if (!answers_.empty() && static_cast<int32_t>(answers_.back().due - due) > 0)
            due = answers_.back().due;
        due = static_cast<uint32_t>(ThroughLatencyTimer(due, model_->Faults().latencyTimerMs));
        for (uint8_t byte : reply.bytes) answers_.push_back({byte, due});
    }
    return true;
}

uint32_t FakeSerialLine::ReadTimeoutMs() const {
    return current_.ReadTotalTimeoutMultiplier + current_.ReadTotalTimeoutConstant;
}

bool FakeSerialLine::ReadByte(Handle, uint8_t& value, uint32_t& count) {
    FollowBench();
    if (unplugged) {
        calls.push_back("read error");
        count = 0;
        return Fail(kUnpluggedError);
    }
    if (model_ != nullptr) return ReadAnswer(value, count);
    if (readError != 0) {
        calls.push_back("read error");
        count = 0;
        return Fail(readError);
    }
    std::optional<uint8_t> next;
    if (!incoming.empty()) {
        next = incoming.front();
        incoming.pop_front();
    }
    if (!next) {
        calls.push_back("read timeout");
        clock_.Advance(ReadTimeoutMs());
        count = 0;
        return true;
    }
    calls.push_back("read " + Hex(*next));
    value = *next;
    Delivered(count);
    return true;
}

// Counts a byte delivered, and notes the errors it comes with.
void FakeSerialLine::Delivered(uint32_t& count) {
    const auto spoiled = lineErrorsAt.find(bytesRead++);
    if (spoiled != lineErrorsAt.end()) lineErrors_ |= spoiled->second;
    count = 1;
}

bool FakeSerialLine::ReadAnswer(uint8_t& value, uint32_t& count) {
    if (readError != 0) {
        calls.push_back("read error");
        count = 0;
        return Fail(readError);
    }
    const uint32_t timeout = ReadTimeoutMs();
    if (answers_.empty() ||
        static_cast<int32_t>(answers_.front().due - clock_.now) > int32_t(timeout)) {
        calls.push_back("read timeout");
        clock_.Advance(timeout);
        count = 0;
        return true;
    }
    if (static_cast<int32_t>(answers_.front().due - clock_.now) > 0)
        clock_.now = answers_.front().due;
    value = answers_.front().byte;
    answers_.pop_front();
    calls.push_back("read " + Hex(value));
    Delivered(count);
    return true;
}

bool FakeSerialLine::InputWaiting(Handle, uint32_t& count) {
    ++looks;
    FollowBench();
    if (inputWaitingError != 0) return Fail(inputWaitingError);
    count = 0;
    if (model_ == nullptr) {
        count = waitingBytes;
        return true;
    }
    for (const Answer& answer : answers_)
        if (static_cast<int32_t>(answer.due - clock_.now) <= 0) ++count;
    return true;
}

bool FakeSerialLine::TakeLineErrors(Handle, uint32_t& errors) {
    ++takes;
    if (takeLineErrorsError != 0) return Fail(takeLineErrorsError);
    errors = lineErrors_;
    lineErrors_ = 0;
    return true;
}

bool FakeSerialLine::Close(Handle) {
    calls.push_back("close");
    if (closeError != 0) return Fail(closeError);
    isOpen = false;
    unplugged = false;
    return true;
}
