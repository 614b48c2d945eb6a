#include "cli/TracingSerialLine.h"

#include <cerrno>
#include <cstdio>

namespace {

std::string Hex(uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

std::string Failure(int32_t code) { return "(error " + std::to_string(code) + ")"; }

// The receive errors by name: "(line error: parity, framing)".
std::string LineErrors(uint32_t errors) {
    const struct {
        uint32_t flag;
        const char* name;
    } kNames[] = {
        {kLineErrorParity, "parity"}, {kLineErrorFrame, "framing"}, {kLineErrorOverrun, "overrun"}};
    std::string names;
    for (const auto& n : kNames) {
        if ((errors & n.flag) == 0) continue;
        if (!names.empty()) names += ", ";
        names += n.name;
    }
    return "(line error: " + names + ")";
}

}  // namespace

TracingSerialLine::TracingSerialLine(SerialLine& line, Clock& clock, std::ostream* trace,
                                     uint32_t startTick)
    : line_(line), clock_(clock), trace_(trace), startTick_(startTick) {}

void TracingSerialLine::Trace(char direction, const std::string& what) {
    if (trace_ == nullptr || !trace_->good()) return;
    // Unsigned difference: right across the tick counter's wrap.
    const uint32_t ms = clock_.TickCount() - startTick_;
    char time[16];
    std::snprintf(time, sizeof time, "%7lu", static_cast<unsigned long>(ms));
    // Flushed line by line, so a trace of a run that was cut short still holds its end.
    errno = 0;
    *trace_ << time << " ms  " << direction << ' ' << what << std::endl;
    if (!trace_->good()) traceError_ = errno;
}

SerialLine::Handle TracingSerialLine::Open(const std::string& devicePath) {
    const Handle handle = line_.Open(instead_.empty() ? devicePath : instead_);
    if (handle != kInvalidHandle && lookup_) openedDevice_ = lookup_();
    return handle;
}

bool TracingSerialLine::GetState(Handle handle, SerialSettings& settings) {
    return line_.GetState(handle, settings);
}

bool TracingSerialLine::SetState(Handle handle, const SerialSettings& settings) {
    return line_.SetState(handle, settings);
}

bool TracingSerialLine::GetTimeouts(Handle handle, SerialTimeouts& timeouts) {
    return line_.GetTimeouts(handle, timeouts);
}

bool TracingSerialLine::SetTimeouts(Handle handle, const SerialTimeouts& timeouts) {
    return line_.SetTimeouts(handle, timeouts);
}

bool TracingSerialLine::Purge(Handle handle, uint32_t flags) { return line_.Purge(handle, flags); }

bool TracingSerialLine::WriteByte(Handle handle, uint8_t value, uint32_t& written) {
    const bool ok = line_.WriteByte(handle, value, written);
    pollSent_ = ok && value == kPoll;
    pollReplyRead_ = false;
    if (!ok) {
        Trace('>', Hex(value) + " " + Failure(line_.LastError()));
    } else if (written == 1) {
        Trace('>', Hex(value));
    } else {
        Trace('>', Hex(value) + " (not written)");
    }
    return ok;
}

bool TracingSerialLine::ReadByte(Handle handle, uint8_t& value, uint32_t& count) {
    const bool ok = line_.ReadByte(handle, value, count);
    if (pollSent_) lastPollReply_ = ok && count != 0 ? value : -1;
    pollReplyRead_ = pollSent_ && lastPollReply_ != -1;
    pollSent_ = false;
    if (!ok) {
        Trace('<', Failure(line_.LastError()));
    } else if (count == 0) {
        Trace('<', "(time-out)");
    } else {
        Trace('<', Hex(value));
    }
    return ok;
}

bool TracingSerialLine::TakeLineErrors(Handle handle, uint32_t& errors) {
    const bool ok = line_.TakeLineErrors(handle, errors);
    if (!ok) {
        Trace('<', Failure(line_.LastError()));
    } else if (errors != 0) {
        // A spoiled byte is no reply: the unit neither refused nor echoed.
        if (pollReplyRead_) lastPollReply_ = -1;
        Trace('<', LineErrors(errors));
    }
    pollReplyRead_ = false;
    return ok;
}

bool TracingSerialLine::Close(Handle handle) { return line_.Close(handle); }
