// A whole reading against a unit that answers anything at all. The input is what the line
// delivers, silences included, and which line calls fail with which system error; the
// reading runs tick by tick as the main window runs it (a bounded number of connect ticks,
// then the five steps after a successful connect, then the report), on the fake line and
// the fake clock. Whatever the unit says, the reading must:
//  - never crash and never hang: each tick stays within the bounds below;
//  - follow the reading rules from state to state;
//  - only ever report 0, 100001, 100002, 100003, 100016, 100020, 100021, 100022, 100023 or a
//    system error code
//    that the input injected.
//
// Input layout:
//   byte 0      connect ticks before giving up: 1 + (byte % 4)
//   byte 1      bit 0: language; bit 1: the tick counter starts 5 s before it wraps
//   byte 2      number of injected faults, byte % 4; then for each fault 4 bytes:
//               the index of the first line call that fails (every call counts), how many
//               calls in a row fail (1 + byte % 4), and the system error code (16 bits,
//               big-endian, 0 read as 1)
//   the rest    the bytes the unit sends, in order. 0xFF is an escape: 0xFF 0xFF is one
//               byte 0xFF; 0xFF n (n < 0xFF) is n + 1 reads that time out. Past the end
//               the unit is silent.
//
// Bounds per tick, from the waits of the link: a read waits at most 1100 ms (100 x 1 +
// 1000), a purge 1000 ms, the end of a conversation pauses 500 ms. Counting every byte each
// operation can move when every read times out and the link believes it is connected:
//   Disconnect          rate change 0x9E + 2 digits, 0x84 and one more byte; then 0x04
//                       and its answer: 4 writes, 3 reads, 500 + 3 x 1100 = 3800 ms
//   Connect(1)          purge, 0x80, answer; on 0x85 or a read error purge, Disconnect and
//                       Close (whose Disconnect is another 3800 ms): 9 writes, 7 reads,
//                       1000 + 1100 + 1000 + 3800 + 3800 = 10700 ms. The deadline is taken
//                       before the first purge, so there is only ever one poll.
//   CheckType           0x86, then 3 digit pairs each acknowledged: 7 writes, 6 reads, 6600 ms
//   ReadSerialNumber    4 memory bytes of 0x89 + 2 address digits, 2 digits, 2 acks:
//                       20 writes, 8 reads, 8800 ms
//   ReadCircuitVersion  3 writes, 2 reads, 2200 ms
//   ReadSoftwareVersion 2 memory bytes: 10 writes, 4 reads, 4400 ms
//   finish              Disconnect: 4 writes, 3 reads, 3800 ms
// Each byte read is followed by a look at its receive errors, one more call per read.
// Other line calls (open 6: open, settings read and written twice, time-outs read and
// written; close 3; 2 purges) add at most 11 per tick.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/ReadingStep.h"
#include "link/Com_p06.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeSerialLine.h"

namespace {

struct TickBound {
    int writes;
    int reads;
    uint32_t ms;
};

// Indexed by reading state; [0] is the link's own teardown, two Disconnects. The steps
// from the type on may wait for the line to stay quiet after their answer.
constexpr uint32_t kQuiet = kQuietWaitCeilingMs;
constexpr TickBound kBounds[7] = {
    {8, 6, 7600},          {9, 7, 10700},          {7, 6, 6600 + kQuiet}, {20, 8, 8800 + kQuiet},
    {3, 2, 2200 + kQuiet}, {10, 4, 4400 + kQuiet}, {4, 3, 3800 + kQuiet},
};
constexpr int kOtherCallsPerTick = 11;
constexpr uint8_t kEscape = 0xFF;
constexpr uint32_t kNearWrap = 0xFFFFFFFFu - 5000;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "link_fuzz: %s\n", what);
        std::abort();
    }
}

struct Fault {
    int firstCall;
    int calls;
    int32_t code;
};

// Passes every call to the fake line, except the calls the input makes fail; counts reads,
// writes and calls so each tick can be held to its bounds.
class FaultingLine : public SerialLine {
public:
    FaultingLine(FakeSerialLine& line, std::vector<Fault> faults)
        : line_(line), faults_(std::move(faults)) {}

    Handle Open(const std::string& path) override {
        return Inject() ? kInvalidHandle : line_.Open(path);
    }
    bool GetState(Handle h, SerialSettings& s) override {
        return !Inject() && line_.GetState(h, s);
    }
    bool SetState(Handle h, const SerialSettings& s) override {
        return !Inject() && line_.SetState(h, s);
    }
    bool GetTimeouts(Handle h, SerialTimeouts& t) override {
        return !Inject() && line_.GetTimeouts(h, t);
    }
    bool SetTimeouts(Handle h, const SerialTimeouts& t) override {
        return !Inject() && line_.SetTimeouts(h, t);
    }
    bool Purge(Handle h, uint32_t flags) override { return !Inject() && line_.Purge(h, flags); }
    bool WriteByte(Handle h, uint8_t value, uint32_t& written) override {
        ++writes;
        return !Inject() && line_.WriteByte(h, value, written);
    }
    bool ReadByte(Handle h, uint8_t& value, uint32_t& count) override {
        ++reads;
        return !Inject() && line_.ReadByte(h, value, count);
    }
    bool InputWaiting(Handle h, uint32_t& count) override {
        return !Inject() && line_.InputWaiting(h, count);
    }
    bool TakeLineErrors(Handle h, uint32_t& errors) override {
        return !Inject() && line_.TakeLineErrors(h, errors);
    }
    bool Close(Handle h) override { return !Inject() && line_.Close(h); }
    int32_t LastError() const override { return injected_ ? injectedCode_ : line_.LastError(); }

    // The codes the input may make the link report.
    std::set<int32_t> Codes() const {
        std::set<int32_t> codes;
        for (const Fault& f : faults_) codes.insert(f.code);
        return codes;
    }

    int calls = 0;
    int reads = 0;
    int writes = 0;

private:
    bool Inject() {
        const int index = calls++;
        injected_ = false;
        for (const Fault& f : faults_) {
            if (index >= f.firstCall && index < f.firstCall + f.calls) {
                injected_ = true;
                injectedCode_ = f.code;
            }
        }
        return injected_;
    }

    FakeSerialLine& line_;
    std::vector<Fault> faults_;
    bool injected_ = false;
    int32_t injectedCode_ = 0;
};

class Reading {
public:
    Reading(FakeClock& clock, FaultingLine& line) : clock_(clock), line_(line) {}

    // Runs what `run` does on the link and holds it to the bounds of `bound`.
    template <typename Run>
    auto Measured(const TickBound& bound, Run run) {
        const uint32_t start = clock_.now;
        const int reads = line_.reads;
        const int writes = line_.writes;
        const int calls = line_.calls;
        auto result = run();
        Require(clock_.now - start <= bound.ms, "a tick waited longer than its bound");
        Require(line_.reads - reads <= bound.reads, "a tick read more bytes than its bound");
        Require(line_.writes - writes <= bound.writes, "a tick wrote more bytes than its bound");
        Require(line_.calls - calls <= 2 * bound.reads + bound.writes + kOtherCallsPerTick,
                "a tick made more line calls than its bound");
        return result;
    }

private:
    FakeClock& clock_;
    FaultingLine& line_;
};

bool Allowed(int32_t status, const std::set<int32_t>& injected) {
    switch (status) {
        case kStatusOk:
        case kStatusNotConnected:
        case kStatusNothingReceived:
        case kStatusRateRefused:
        case kStatusNoPort:
        case kStatusWrongType:
        case kStatusNotADigit:
        case kStatusOutOfStep:
        case kStatusLineError:
            return true;
        default:
            return injected.count(status) != 0;
    }
}

std::deque<std::optional<uint8_t>> UnitBytes(const uint8_t* data, size_t size) {
    std::deque<std::optional<uint8_t>> bytes;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != kEscape) {
            bytes.push_back(data[i]);
        } else if (i + 1 < size && data[i + 1] == kEscape) {
            bytes.push_back(kEscape);
            ++i;
        } else {
            const int silences = i + 1 < size ? data[i + 1] + 1 : 1;
            for (int s = 0; s < silences; ++s) bytes.push_back(std::nullopt);
            ++i;
        }
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int connectTicks = 1 + data[0] % 4;
    const Language language = *LanguageFromIndex(data[1] & 1);
    const bool nearWrap = (data[1] & 2) != 0;
    const size_t faultCount = data[2] % 4;
    size_t at = 3;
    std::vector<Fault> faults;
    for (size_t f = 0; f < faultCount && at + 4 <= size; ++f, at += 4) {
        const int32_t code = (data[at + 2] << 8) | data[at + 3];
        faults.push_back({data[at], 1 + data[at + 1] % 4, code == 0 ? 1 : code});
    }

    FakeClock clock(nearWrap ? kNearWrap : 0);
    FakeSerialLine fake(clock);
    fake.incoming = UnitBytes(data + at, size - at);
    FaultingLine line(fake, faults);
    const std::set<int32_t> injected = line.Codes();
    Reading reading(clock, line);
    {
        std::optional<CP06> link;
        link.emplace(line, clock);
        link->SetPort(7);
        size_t lines = 0;
        ReadingStep step(*link, [&lines](const std::string&) { ++lines; });

        ReadingState state = kStateConnect;
        ReadingStep::Report report = ReadingStep::Report::None;
        for (int attempt = 0; attempt < connectTicks && state == kStateConnect; ++attempt) {
            const size_t before = lines;
            const auto result = reading.Measured(kBounds[kStateConnect],
                                                 [&] { return step.Tick(state, language); });
            Require(Allowed(result.status, injected), "connect gave an unknown status");
            Require(Allowed(link->Status(), injected), "the link holds an unknown status");
            if (result.status == kStatusOk) {
                Require(result.nextState == kStateDeviceType && link->IsConnected(),
                        "a connect that succeeded did not move on");
                Require(lines - before == 2, "a successful connect writes two lines");
            } else {
                Require(result.nextState == kStateConnect && !link->IsConnected(),
                        "a failed connect moved on");
                Require(lines == before, "a failed connect wrote something");
            }
            state = result.nextState;
        }

        // Once connected, one step per tick until a step fails or the reading ends.
        while (state != kStateConnect && report == ReadingStep::Report::None) {
            const auto result =
                reading.Measured(kBounds[state], [&] { return step.Tick(state, language); });
            Require(Allowed(result.status, injected), "a step gave an unknown status");
            Require(Allowed(link->Status(), injected), "the link holds an unknown status");
            if (state == kStateDeviceType && result.status == kStatusWrongType) {
                Require(result.report == ReadingStep::Report::ReadFailed &&
                            result.nextState == kStateDeviceType,
                        "a wrong type did not end the reading");
            } else if (result.status != kStatusOk) {
                Require(result.report == ReadingStep::Report::ReadFailed &&
                            result.failure == ReadingStep::kTransmissionFailure &&
                            result.nextState == state,
                        "a failed step did not end the reading as a failure");
            } else if (state == kStateFinish) {
                Require(result.report == ReadingStep::Report::ReadDone, "the finish did not end");
            } else {
                Require(result.report == ReadingStep::Report::None && result.nextState == state + 1,
                        "a step did not lead to the next");
            }
            state = result.nextState;
            report = result.report;
        }

        if (report == ReadingStep::Report::ReadFailed) {
            reading.Measured(kBounds[kStateFinish], [&] {
                if (step.Record().typeStatus == kStatusWrongType)
                    step.ReportWrongType(language);
                else
                    step.ReportTransmissionFailure(language);
                return 0;
            });
        } else if (report == ReadingStep::Report::ReadDone) {
            step.ReportDone(language);
        }
        for (int32_t status : {step.Record().connectStatus, step.Record().typeStatus,
                               step.Record().serialStatus, step.Record().circuitStatus,
                               step.Record().softwareStatus, step.Record().disconnectStatus}) {
            Require(status == -1 || Allowed(status, injected),
                    "the record holds an unknown status");
        }

        // The window's teardown: the link ends the conversation and closes the port.
        reading.Measured(kBounds[kStateIdle], [&] {
            link.reset();
            return 0;
        });
    }
    return 0;
}
