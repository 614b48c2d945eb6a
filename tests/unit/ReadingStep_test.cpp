// A whole reading, tick by tick, against the device model through the fake line: the exact
// lines in both languages and the steps that follow each tick.
#include "core/ReadingStep.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/DeviceModel.h"
#include "tests/support/ExpectedReading.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeSerialLine.h"
#include "tests/support/LineFaultCases.h"

namespace {

struct Reader {
    explicit Reader(UnitConfig unit = {}, FaultConfig faults = {}) : model(unit, faults) {
        line.AttachModel(&model);
    }

    // Runs ticks from the connect step until a report is due (or maxTicks pass), then the
    // report itself, as the main window does; returns the report.
    ReadingStep::Report Read(int32_t index, int maxTicks = 20) {
        const Language language = *LanguageFromIndex(index);
        ReadingState state = kStateConnect;
        for (int tick = 0; tick < maxTicks; ++tick) {
            const ReadingStep::Result result = step.Tick(state, language);
            state = result.nextState;
            if (result.report == ReadingStep::Report::ReadDone) {
                step.ReportDone(language);
                return result.report;
            }
            if (result.report == ReadingStep::Report::ReadFailed) {
                failedStep = state;
                message = result.failure == ReadingStep::kTransmissionFailure
                              ? step.ReportTransmissionFailure(language)
                              : step.ReportWrongType(language);
                return result.report;
            }
        }
        finalState = state;
        return ReadingStep::Report::None;
    }

    DeviceModel model;
    FakeClock clock;
    FakeSerialLine line{clock};
    CP06 link{line, clock};
    TextLines lines;
    ReadingStep step{link, [this](const std::string& text) { lines.push_back(text); }};
    std::string message;
    int32_t finalState = -1;
    int32_t failedStep = -1;
};

TEST(ReadingStep, WholeReadingWritesTheFourteenLinesOfEachLanguage) {
    for (int32_t language : {kFrench, kEnglish}) {
        SCOPED_TRACE(language);
        Reader reader;
        EXPECT_EQ(reader.Read(language), ReadingStep::Report::ReadDone);
        EXPECT_EQ(reader.lines, SuccessfulReading(language));
        EXPECT_FALSE(reader.model.InConversation());
        const ReadingRecord& r = reader.step.Record();
        EXPECT_EQ(r.type, "P06");
        EXPECT_EQ(r.serialNumber, 4660u);
        EXPECT_EQ(r.softwareFirst, 2u);
        EXPECT_EQ(r.softwareSecond, 5u);
        EXPECT_EQ(r.disconnectStatus, kStatusOk);
    }
}

TEST(ReadingStep, EachTickRunsOneStepAndNamesTheNext) {
    Reader reader;
    const int32_t expectedNext[] = {2, 3, 4, 5, 6, 6};
    ReadingState state = kStateConnect;
    for (int32_t next : expectedNext) {
        SCOPED_TRACE(state);
        const ReadingStep::Result result = reader.step.Tick(state, Language::French);
        EXPECT_EQ(result.nextState, next);
        EXPECT_EQ(result.status, kStatusOk);
        EXPECT_EQ(result.report, state == kStateFinish ? ReadingStep::Report::ReadDone
                                                       : ReadingStep::Report::None);
        state = result.nextState;
    }
}

TEST(ReadingStep, SerialNumberIsShownOnTenDigits) {
    const struct {
        uint32_t serial;
        const char* french;
        const char* english;
    } cases[] = {
        {0, "Le numéro de série est : 0000000000.", "Serial number is : 0000000000."},
        {4294967295u, "Le numéro de série est : 4294967295.", "Serial number is : 4294967295."},
        {4660, "Le numéro de série est : 0000004660.", "Serial number is : 0000004660."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serial);
        UnitConfig unit;
        unit.serialNumber = c.serial;
        Reader french(unit);
        french.Read(0);
        ASSERT_GT(french.lines.size(), 5u);
        EXPECT_EQ(french.lines[5], c.french);
        Reader english(unit);
        english.Read(1);
        ASSERT_GT(english.lines.size(), 5u);
        EXPECT_EQ(english.lines[5], c.english);
    }
}

TEST(ReadingStep, WrongTypeStopsAfterTheCheckingLineAndReportsIt) {
    for (int32_t language : {kFrench, kEnglish}) {
        SCOPED_TRACE(language);
        UnitConfig unit;
        unit.type = "P07";
        Reader reader(unit);
        EXPECT_EQ(reader.Read(language), ReadingStep::Report::ReadFailed);
        EXPECT_EQ(reader.lines, WrongTypeReading(language));
        EXPECT_EQ(reader.message, WrongTypeMessage(language, "\n\n\r"));
        EXPECT_EQ(reader.step.Record().type, "P07");
        // The report ends the conversation.
        EXPECT_FALSE(reader.model.InConversation());
    }
}

TEST(ReadingStep, SilentUnitWritesNothingAndStaysInTheConnectStep) {
    FaultConfig faults;
    faults.silent = true;
    Reader reader({}, faults);
    EXPECT_EQ(reader.Read(0, 5), ReadingStep::Report::None);
    EXPECT_TRUE(reader.lines.empty());
    EXPECT_EQ(reader.finalState, kStateConnect);
    // One poll per tick, each after its one-second purge and an 1100 ms silence.
    EXPECT_EQ(reader.line.sent, std::vector<uint8_t>(5, 0x80));
    EXPECT_EQ(reader.clock.now, 5u * 2100u);
}

// A unit that goes quiet after some bytes: the reading ends at that step as a failure, with
// no line for it, and the conversation is ended.
TEST(ReadingStep, UnitThatStopsAnsweringEndsTheReadingAtThatStep) {
    const struct {
        int bytes;  // what the unit sends before it goes quiet
        ReadingState failedStep;
    } cases[] = {{1, kStateDeviceType},
                 {7, kStateSerialNumber},
                 {15, kStateCircuitVersion},
                 {17, kStateSoftwareVersion},
                 {21, kStateFinish}};
    for (const auto& c : cases) {
        for (int32_t language : {kFrench, kEnglish}) {
            SCOPED_TRACE(testing::Message() << c.bytes << " bytes, language " << language);
            FaultConfig faults;
            faults.stopAfterBytes = c.bytes;
            Reader reader({}, faults);
            EXPECT_EQ(reader.Read(language), ReadingStep::Report::ReadFailed);
            EXPECT_EQ(reader.failedStep, c.failedStep);
            EXPECT_EQ(reader.lines, FailedReading(language, c.failedStep));
            EXPECT_EQ(reader.message, TransmissionErrorMessage(language));
            EXPECT_EQ(reader.line.sent.back(), kEndOfConversation);
        }
    }
}

// The window's side of the line faults: the success report only with the unit's own values,
// else no line for the step that failed and the transmission error.
TEST(ReadingStep, LineFaultEndsTheReadingAtTheStepThatFailed) {
    const ReadUnit read = {2882343476u, 171, "205.239"};
    for (const LineFaultCase& c : kLineFaultCases) {
        SCOPED_TRACE(CaseName(c));
        const FaultConfig faults = FaultsOf(c);
        Reader reader(HexDigitUnit(), faults);
        const ReadingStep::Report report = reader.Read(kFrench);
        if (c.windowFailsAt == 0) {
            EXPECT_EQ(report, ReadingStep::Report::ReadDone);
            EXPECT_EQ(reader.lines, SuccessfulReading(kFrench, read));
        } else if (c.windowFailsAt == 1) {
            EXPECT_EQ(report, ReadingStep::Report::None);
            EXPECT_EQ(reader.lines, TextLines{});
        } else {
            EXPECT_EQ(report, ReadingStep::Report::ReadFailed);
            EXPECT_EQ(reader.failedStep, c.windowFailsAt);
            EXPECT_EQ(reader.lines, FailedReading(kFrench, c.windowFailsAt, read));
        }
    }
}

TEST(ReadingStep, TwoReadingsInARowAppendOneAfterTheOther) {
    Reader reader;
    EXPECT_EQ(reader.Read(0), ReadingStep::Report::ReadDone);
    EXPECT_EQ(reader.Read(0), ReadingStep::Report::ReadDone);
    TextLines expected = SuccessfulReading(kFrench);
    const TextLines second = SuccessfulReading(kFrench);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(reader.lines, expected);
}

}  // namespace
