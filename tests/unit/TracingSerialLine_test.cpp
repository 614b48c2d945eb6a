// The wire trace: every byte with its direction and time, each time-out and each failure,
// while the line underneath sees exactly what it would see without the trace.
#include "cli/TracingSerialLine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/ReadingStep.h"
#include "link/Com_p06.h"
#include "sim/DeviceModel.h"
#include "tests/support/ExpectedReading.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeSerialLine.h"

namespace {

class TracingSerialLineTest : public ::testing::Test {
protected:
    // Outlives the link, whose teardown still talks to the unit.
    DeviceModel model;
    FakeClock clock;
    FakeSerialLine line{clock};
    std::ostringstream trace;
    TracingSerialLine tracer{line, clock, &trace, 0};
    CP06 link{tracer, clock};
};

TEST_F(TracingSerialLineTest, AcceptedPollShowsBothBytesAfterTheOneSecondPurge) {
    line.Queue({kAccept});
    ASSERT_EQ(link.Connect(1), kStatusOk);
    EXPECT_EQ(trace.str(),
              "   1000 ms  > 80\n"
              "   1000 ms  < 81\n");
}

TEST_F(TracingSerialLineTest, SilentUnitShowsTheTimeOutWhenTheReadGivesUp) {
    line.QueueSilence();
    ASSERT_EQ(link.Connect(1), kStatusNothingReceived);
    EXPECT_EQ(trace.str(),
              "   1000 ms  > 80\n"
              "   2100 ms  < (time-out)\n");
}

TEST_F(TracingSerialLineTest, FailedCallsShowTheSystemErrorCode) {
    const struct {
        int32_t writeError;
        int32_t readError;
        const char* expected;
    } cases[] = {
        {5, 0, "   1000 ms  > 80 (error 5)\n"},
        {0, 13, "   1000 ms  > 80\n   1000 ms  < (error 13)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        FakeClock clock;
        FakeSerialLine line{clock};
        line.writeError = c.writeError;
        line.readError = c.readError;
        std::ostringstream trace;
        TracingSerialLine tracer{line, clock, &trace, 0};
        CP06 link{tracer, clock};
        EXPECT_NE(link.Connect(1), kStatusOk);
        // Only the poll cycle: what closing the port sends after it is traced too but is
        // the link's business.
        EXPECT_EQ(trace.str().substr(0, std::string(c.expected).size()), c.expected);
        EXPECT_EQ(tracer.LastError(), line.LastError());
    }
}

// The errors come after their byte; a poll reply the line spoiled is no reply, neither a
// refusal nor an echo.
TEST_F(TracingSerialLineTest, LineErrorsFollowTheirByteAndSpoilThePollReply) {
    line.Queue({kGiveUp});
    line.lineErrorsAt[0] = kLineErrorParity | kLineErrorFrame;
    ASSERT_EQ(link.Connect(1), kStatusNothingReceived);
    EXPECT_EQ(trace.str(),
              "   1000 ms  > 80\n"
              "   1000 ms  < 85\n"
              "   1000 ms  < (line error: parity, framing)\n");
    EXPECT_EQ(tracer.LastPollReply(), -1);
}

TEST_F(TracingSerialLineTest, TimesCountFromTheStartTickAcrossTheCounterWrap) {
    FakeClock wrapping(0xFFFFFE00u);  // 512 ms before the wrap
    FakeSerialLine wrapLine{wrapping};
    std::ostringstream wrapTrace;
    TracingSerialLine wrapTracer{wrapLine, wrapping, &wrapTrace, 0xFFFFFE00u};
    CP06 wrapLink{wrapTracer, wrapping};
    wrapLine.Queue({kAccept});
    ASSERT_EQ(wrapLink.Connect(1), kStatusOk);
    EXPECT_EQ(wrapTrace.str(),
              "   1000 ms  > 80\n"
              "   1000 ms  < 81\n");
}

TEST_F(TracingSerialLineTest, WholeReadingShowsTheExchangeByteForByte) {
    line.AttachModel(&model);
    std::vector<std::string> lines;
    ReadingStep step(link, [&](const std::string& text) { lines.push_back(text); });
    for (int32_t state = kStateConnect; state <= kStateFinish; ++state)
        step.Tick(static_cast<ReadingState>(state), Language::French);

    // Every line is "<time> ms  <direction> <byte>"; keep direction and byte.
    std::istringstream in(trace.str());
    std::string traced;
    for (std::string row; std::getline(in, row);) {
        ASSERT_GE(row.size(), 15u) << row;
        EXPECT_EQ(row.substr(7, 5), " ms  ") << row;
        traced += row.substr(12) + ",";
    }
    // Then the unit's byte after the rate change, and the end of the conversation.
    EXPECT_EQ(traced, std::string(kReadingExchange) + "< 00,> 04,< 04,");
}

TEST_F(TracingSerialLineTest, LineUnderneathSeesTheSameCallsAsWithoutTheTrace) {
    const auto read = [](SerialLine& outer, FakeClock& clock) {
        CP06 link{outer, clock};
        ReadingStep step(link, [](const std::string&) {});
        for (int32_t state = kStateConnect; state <= kStateFinish; ++state)
            step.Tick(static_cast<ReadingState>(state), Language::English);
    };
    DeviceModel plainModel;
    FakeClock plainClock;
    FakeSerialLine plain{plainClock};
    plain.AttachModel(&plainModel);
    read(plain, plainClock);

    DeviceModel tracedModel;
    FakeClock tracedClock;
    FakeSerialLine traced{tracedClock};
    traced.AttachModel(&tracedModel);
    std::ostringstream sink;
    TracingSerialLine wrapper{traced, tracedClock, &sink, 0};
    read(wrapper, tracedClock);

    EXPECT_EQ(traced.calls, plain.calls);
    EXPECT_EQ(traced.statesSet, plain.statesSet);
    EXPECT_EQ(traced.timeoutsSet, plain.timeoutsSet);
    EXPECT_EQ(tracedClock.now, plainClock.now);
}

}  // namespace
