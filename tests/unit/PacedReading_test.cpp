// A whole reading as the reader runs it: the connect step retried within the wait, the
// pacing between ticks, and how each ending is told apart.
#include "cli/PacedReading.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/JsonReport.h"
#include "cli/ReaderMessages.h"
#include "sim/DeviceModel.h"
#include "tests/support/ExpectedReading.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeSerialLine.h"
#include "tests/support/LineFaultCases.h"
#include "tests/support/ReaderLines.h"

namespace {

ReadingPlan Plan(int32_t language, uint32_t waitMs = 10000, bool paced = true) {
    ReadingPlan plan;
    plan.language = *LanguageFromIndex(language);
    plan.waitMs = waitMs;
    plan.paced = paced;
    return plan;
}

struct Bench {
    explicit Bench(UnitConfig unit = {}, FaultConfig faults = {}) : model(unit, faults) {
        line.AttachModel(&model);
    }

    ReadingOutcome Read(ReadingPlan plan) {
        plan.startTick = clock.now;
        return RunReading(link, clock, plan, [this](const std::string& l) { lines.push_back(l); });
    }

    long Polls() const { return std::count(line.sent.begin(), line.sent.end(), kPoll); }
    long Pauses() const {
        return std::count(clock.sleeps.begin(), clock.sleeps.end(), kTickIntervalMs);
    }

    DeviceModel model;
    FakeClock clock{5000};
    FakeSerialLine line{clock};
    CP06 link{line, clock};
    TextLines lines;
};

TEST(PacedReading, CompleteReadingWritesTheWindowsLinesAndRecordsTheUnit) {
    Bench bench;
    const ReadingOutcome outcome = bench.Read(Plan(1));
    EXPECT_EQ(outcome.result, ReadingResult::Read);
    EXPECT_EQ(bench.lines, ReaderReading(kEnglish));
    EXPECT_EQ(outcome.record.type, "P06");
    EXPECT_EQ(outcome.record.serialNumber, 4660u);
    EXPECT_EQ(outcome.record.circuitVersion, 3u);
    EXPECT_EQ(outcome.record.softwareFirst, 2u);
    EXPECT_EQ(outcome.record.softwareSecond, 5u);
    EXPECT_EQ(outcome.record.disconnectStatus, kStatusOk);
    EXPECT_FALSE(bench.model.InConversation());
}

// The reader's side of the line faults: "read" only with the unit's own values, else each
// value that came right or nothing, the failed step named, and the next reading good.
TEST(PacedReading, LineFaultNeverRecordsAWrongValue) {
    const RecordValues unit = {"P06", "2882343476", "171", "205.239"};
    const ReadingResult results[] = {ReadingResult::Read, ReadingResult::Incomplete,
                                     ReadingResult::NoAnswer};
    for (const LineFaultCase& c : kLineFaultCases) {
        SCOPED_TRACE(CaseName(c));
        const FaultConfig faults = FaultsOf(c);
        Bench bench(HexDigitUnit(), faults);
        const ReadingOutcome outcome = bench.Read(Plan(kEnglish, 10000, false));
        EXPECT_EQ(outcome.result, results[static_cast<int>(c.reader)]);
        EXPECT_EQ(FailedSteps(outcome.record), FailedStepsText(c, 5));
        const RecordValues values = ValuesOf(outcome.record);
        for (const auto& [got, want] : {std::pair{values.type, unit.type},
                                        {values.serialNumber, unit.serialNumber},
                                        {values.circuitVersion, unit.circuitVersion},
                                        {values.softwareVersion, unit.softwareVersion}}) {
            if (!got.empty()) {
                EXPECT_EQ(got, want);
            }
        }
        ReadingPlan next = Plan(kEnglish, 10000, false);
        next.waitThroughPortErrors = true;
        const ReadingOutcome again = bench.Read(next);
        if (c.reader != FaultEnd::NoAnswer) {
            EXPECT_EQ(again.result, ReadingResult::Read);
            EXPECT_EQ(ValuesOf(again.record).serialNumber, unit.serialNumber);
        }
    }
}

// Good units on slow lines, each reading at another phase of the adapter's timer or with
// other answer times: the quiet waits grow with the line and never fail a good unit.
TEST(PacedReading, SlowLinesReadEveryGoodUnit) {
    const RecordValues unit = {"P06", "2882343476", "171", "205.239"};
    for (const SlowLine& slow : {SlowLine{50, 0, 0, false}, SlowLine{0, 50, 300, false}}) {
        for (uint32_t run = 1; run <= 200; ++run) {
            SCOPED_TRACE(std::to_string(slow.latencyTimerMs) + " ms timer, run " +
                         std::to_string(run));
            FaultConfig faults = OnLine(slow);
            faults.seed = run;
            Bench bench(HexDigitUnit(), faults);
            bench.clock.now += run * 7;
            const ReadingOutcome outcome = bench.Read(Plan(kEnglish, 10000, false));
            ASSERT_EQ(outcome.result, ReadingResult::Read) << FailedSteps(outcome.record);
            const RecordValues values = ValuesOf(outcome.record);
            EXPECT_EQ(
                values.serialNumber + " " + values.circuitVersion + " " + values.softwareVersion,
                unit.serialNumber + " " + unit.circuitVersion + " " + unit.softwareVersion);
        }
    }
}

TEST(PacedReading, TicksAre300MsApartUnlessFast) {
    const struct {
        bool paced;
        long pauses;
        uint32_t elapsedMs;  // the purge's 1000 ms, the end pause's 500 ms, the quiet after
                             // four answers, the pacing
    } cases[] = {{true, 5, 3072}, {false, 0, 1572}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.paced);
        Bench bench;
        const ReadingOutcome outcome = bench.Read(Plan(0, 10000, c.paced));
        EXPECT_EQ(outcome.result, ReadingResult::Read);
        EXPECT_EQ(bench.Pauses(), c.pauses);
        EXPECT_EQ(outcome.elapsedMs, c.elapsedMs);
    }
}

TEST(PacedReading, SilentUnitIsPolledUntilTheWaitHasPassed) {
    // Each attempt: the one-second purge and an 1100 ms silence.
    const struct {
        uint32_t waitMs;
        bool paced;
        long polls;
        uint32_t elapsedMs;
    } cases[] = {
        // No poll goes out once the wait is over: the whole wait ends within the wait
        // and one byte's time-out (1100 ms).
        {0, true, 1, 2100},       {1000, true, 1, 2100},    {3400, true, 1, 2100},
        {3401, true, 2, 4500},    {10000, true, 4, 9300},   {10000, false, 5, 10500},
        {10500, false, 5, 10500}, {11501, false, 6, 12600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.waitMs << (c.paced ? " paced" : " fast"));
        FaultConfig faults;
        faults.silent = true;
        Bench bench({}, faults);
        const ReadingOutcome outcome = bench.Read(Plan(0, c.waitMs, c.paced));
        EXPECT_EQ(outcome.result, ReadingResult::NoAnswer);
        EXPECT_EQ(bench.Polls(), c.polls);
        EXPECT_EQ(outcome.elapsedMs, c.elapsedMs);
        EXPECT_EQ(outcome.record.connectStatus, kStatusNothingReceived);
        EXPECT_TRUE(bench.lines.empty());
    }
}

TEST(PacedReading, UnitThatAcceptsLateIsReadOnALaterTick) {
    FaultConfig faults;
    faults.acceptAfterPolls = 2;
    Bench bench({}, faults);
    const ReadingOutcome outcome = bench.Read(Plan(1));
    EXPECT_EQ(outcome.result, ReadingResult::Read);
    EXPECT_EQ(bench.Polls(), 3);
    EXPECT_EQ(bench.lines, ReaderReading(kEnglish));
}

TEST(PacedReading, WrongTypeEndsWithTheFailureReportAndTheBoxMessage) {
    UnitConfig unit;
    unit.type = "P07";
    Bench bench(unit);
    const ReadingOutcome outcome = bench.Read(Plan(0));
    EXPECT_EQ(outcome.result, ReadingResult::WrongType);
    EXPECT_EQ(bench.lines, WrongTypeReading(kFrench));
    EXPECT_EQ(outcome.wrongTypeMessage, ReadingStep::WrongTypeMessage(Language::French));
    EXPECT_EQ(outcome.record.type, "P07");
    EXPECT_EQ(outcome.record.typeStatus, kStatusWrongType);
    EXPECT_FALSE(bench.model.InConversation());
}

TEST(PacedReading, PortFailureEndsAtOnceWithTheSystemCode) {
    const struct {
        const char* name;
        int32_t openError;
        int32_t writeError;
        int32_t expected;
        long polls;
    } cases[] = {
        {"open refused", 2, 0, 2, 0},
        {"poll not written", 0, 5, 5, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        bench.line.openError = c.openError;
        bench.line.writeError = c.writeError;
        const ReadingOutcome outcome = bench.Read(Plan(0, 60000));
        EXPECT_EQ(outcome.result, ReadingResult::PortError);
        EXPECT_EQ(outcome.portError, c.expected);
        EXPECT_EQ(bench.Polls(), c.polls);
        // One attempt only, however long the wait.
        EXPECT_EQ(std::count(bench.line.calls.begin(), bench.line.calls.end(),
                             std::string("open \\\\.\\COM2")),
                  1);
        EXPECT_EQ(bench.Pauses(), 0);
        EXPECT_TRUE(bench.lines.empty());
    }
}

TEST(PacedReading, OnlyTheSystemsOwnCodesCountAsPortErrors) {
    const struct {
        int32_t status;
        bool system;
    } cases[] = {{0, false},      {2, true},       {5, true},       {100000, true},
                 {100001, false}, {100002, false}, {100016, false}, {100020, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        EXPECT_EQ(IsSystemError(c.status), c.system);
    }
}

}  // namespace
