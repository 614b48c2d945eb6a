// The reading as JSON: exact text for each outcome, and strings that stay valid JSON
// whatever bytes the unit sent.
#include "cli/JsonReport.h"

#include <gtest/gtest.h>

#include <string>

#include "Version.h"
#include "cli/CsvReport.h"
#include "cli/UtcTime.h"

namespace {

RecordContext At(int32_t port) {
    RecordContext context;
    context.port = port;
    return context;
}

TEST(JsonReport, StringsEscapeEverythingOutsidePrintableAscii) {
    const struct {
        std::string bytes;
        const char* json;
    } cases[] = {
        {"P06", "\"P06\""},
        {"", "\"\""},
        {"a\"b", "\"a\\\"b\""},
        {"a\\b", "\"a\\\\b\""},
        {"/", "\"/\""},
        {std::string("\x01\n\x1f", 3), "\"\\u0001\\u000a\\u001f\""},
        {"\x7f", "\"\\u007f\""},
        {"\xe9", "\"\\u00e9\""},
        {"\xff\x80Z", "\"\\u00ff\\u0080Z\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(JsonString(c.bytes), c.json);
    }
}

TEST(JsonReport, CompleteReadingGivesEveryValue) {
    ReadingOutcome outcome;
    outcome.result = ReadingResult::Read;
    outcome.elapsedMs = 3000;
    ReadingRecord& r = outcome.record;
    r.connectStatus = r.typeStatus = r.serialStatus = r.circuitStatus = r.softwareStatus =
        r.disconnectStatus = 0;
    r.type = "P06";
    r.serialNumber = 4294967295u;
    r.circuitVersion = 3;
    r.softwareFirst = 2;
    r.softwareSecond = 15;
    EXPECT_EQ(ReadingJson(At(7), outcome),
              "{\"time\": \"1970-01-01T00:00:00Z\", \"port\": 7, \"device\": null, \"type\": "
              "\"P06\", \"serialNumber\": 4294967295, "
              "\"circuitVersion\": 3, \"softwareVersion\": \"2.15\", \"status\": {\"connect\": 0, "
              "\"type\": 0, \"serialNumber\": 0, \"circuitVersion\": 0, \"softwareVersion\": 0, "
              "\"disconnect\": 0}, \"elapsedMs\": 3000, \"result\": \"read\", \"error\": null, "
              "\"version\": \"" QUENLOR_VERSION "\"}");
}

TEST(JsonReport, StepsThatNeverRanAreNull) {
    const struct {
        ReadingResult result;
        int32_t port;
        int32_t connectStatus;
        const char* json;
    } cases[] = {
        {ReadingResult::NoAnswer, 3, kStatusNothingReceived,
         "{\"time\": \"1970-01-01T00:00:00Z\", \"port\": 3, \"device\": null, \"type\": null, "
         "\"serialNumber\": null, \"circuitVersion\": null, "
         "\"softwareVersion\": null, \"status\": {\"connect\": 100002, \"type\": null, "
         "\"serialNumber\": null, \"circuitVersion\": null, \"softwareVersion\": null, "
         "\"disconnect\": null}, \"elapsedMs\": 12, \"result\": \"no-answer\", \"error\": null, "
         "\"version\": \"" QUENLOR_VERSION "\"}"},
        {ReadingResult::PortError, 0, -1,
         "{\"time\": \"1970-01-01T00:00:00Z\", \"port\": null, \"device\": null, \"type\": null, "
         "\"serialNumber\": null, \"circuitVersion\": null, "
         "\"softwareVersion\": null, \"status\": {\"connect\": null, \"type\": null, "
         "\"serialNumber\": null, \"circuitVersion\": null, \"softwareVersion\": null, "
         "\"disconnect\": null}, \"elapsedMs\": 12, \"result\": \"port-error\", \"error\": null, "
         "\"version\": \"" QUENLOR_VERSION "\"}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ResultName(c.result));
        ReadingOutcome outcome;
        outcome.result = c.result;
        outcome.elapsedMs = 12;
        outcome.record.connectStatus = c.connectStatus;
        EXPECT_EQ(ReadingJson(At(c.port), outcome), c.json);
    }
}

TEST(JsonReport, WrongTypeKeepsTheTypeTheUnitSent) {
    ReadingOutcome outcome;
    outcome.result = ReadingResult::WrongType;
    outcome.elapsedMs = 2500;
    outcome.record.connectStatus = 0;
    outcome.record.typeStatus = kStatusWrongType;
    outcome.record.disconnectStatus = 0;
    outcome.record.type = "p\"\xe9";
    EXPECT_EQ(ReadingJson(At(5), outcome),
              "{\"time\": \"1970-01-01T00:00:00Z\", \"port\": 5, \"device\": null, \"type\": "
              "\"p\\\"\\u00e9\", \"serialNumber\": null, "
              "\"circuitVersion\": null, \"softwareVersion\": null, \"status\": {\"connect\": 0, "
              "\"type\": 100020, \"serialNumber\": null, \"circuitVersion\": null, "
              "\"softwareVersion\": null, \"disconnect\": 0}, \"elapsedMs\": 2500, "
              "\"result\": \"wrong-type\", \"error\": null, "
              "\"version\": \"" QUENLOR_VERSION "\"}");
}

TEST(JsonReport, FailedStepsGiveNullValuesAndTheErrorInBothFormats) {
    ReadingOutcome outcome;
    outcome.result = ReadingResult::Incomplete;
    outcome.elapsedMs = 9000;
    ReadingRecord& r = outcome.record;
    r.connectStatus = r.typeStatus = r.serialStatus = 0;
    r.circuitStatus = r.softwareStatus = r.disconnectStatus = kStatusNothingReceived;
    r.type = "P06";
    r.serialNumber = 77;
    r.circuitVersion = 9;  // whatever the failed step left: not the unit's
    RecordContext context = At(33);
    context.device = "/dev/ttyUSB0";
    context.unixTime = 1772353800;
    context.error = {kStatusNothingReceived, "incomplete, \"circuit\" failed"};
    EXPECT_EQ(ReadingJson(context, outcome),
              "{\"time\": \"2026-03-01T08:30:00Z\", \"port\": 33, \"device\": \"/dev/ttyUSB0\", "
              "\"type\": \"P06\", \"serialNumber\": 77, \"circuitVersion\": null, "
              "\"softwareVersion\": null, \"status\": {\"connect\": 0, \"type\": 0, "
              "\"serialNumber\": 0, \"circuitVersion\": 100002, \"softwareVersion\": 100002, "
              "\"disconnect\": 100002}, \"elapsedMs\": 9000, \"result\": \"incomplete\", "
              "\"error\": {\"code\": 100002, \"message\": \"incomplete, \\\"circuit\\\" "
              "failed\"}, \"version\": \"" QUENLOR_VERSION "\"}");
    EXPECT_EQ(CsvHeader(),
              "time,port,device,type,serialNumber,circuitVersion,softwareVersion,result,"
              "errorCode,errorMessage,version");
    EXPECT_EQ(ReadingCsv(context, outcome),
              "2026-03-01T08:30:00Z,33,/dev/ttyUSB0,P06,77,,,incomplete,100002,"
              "\"incomplete, \"\"circuit\"\" failed\"," QUENLOR_VERSION);
    // A comma alone is enough for the quotes.
    context.error.message = "incomplete, circuit failed";
    EXPECT_NE(ReadingCsv(context, outcome).find(",100002,\"incomplete, circuit failed\","),
              std::string::npos)
        << "a field with a comma must be quoted";
    r.type = std::string("P\n\xe9", 3);
    r.typeStatus = kStatusWrongType;
    EXPECT_EQ(ReadingCsv(At(0), outcome).substr(0, 36), "1970-01-01T00:00:00Z,,,P\\x0A\\xE9,77,");
}

TEST(JsonReport, MessagesStayUtf8TextOnOneLine) {
    ReadingOutcome outcome;
    outcome.result = ReadingResult::WrongType;
    RecordContext context = At(2);
    context.error = {kStatusWrongType, "ne correspond pas \xc3\xa0 un\nappareil\t!"};
    const std::string json = ReadingJson(context, outcome);
    EXPECT_NE(json.find("\"message\": \"ne correspond pas \xc3\xa0 un\\u000aappareil\\u0009!\""),
              std::string::npos)
        << json;
    EXPECT_NE(
        ReadingCsv(context, outcome).find(",100020,ne correspond pas \xc3\xa0 un appareil\\x09!,"),
        std::string::npos);
}

TEST(JsonReport, TextThatIsNotUtf8GetsTheReplacementCharacter) {
    const std::string fffd = "\xef\xbf\xbd";
    const struct {
        std::string text;
        std::string valid;
    } cases[] = {
        {"caf\xc3\xa9 \xf0\x9f\x98\x80", "caf\xc3\xa9 \xf0\x9f\x98\x80"},
        {"/dev/ttyUSB\xff", "/dev/ttyUSB" + fffd},
        {"cut \xc3", "cut " + fffd},
        {"\xc0\xaf", fffd + fffd},                        // overlong
        {"\xed\xa0\x80", fffd + fffd + fffd},             // a surrogate
        {"\xf4\x90\x80\x80", fffd + fffd + fffd + fffd},  // above U+10FFFF
        {"\xe2\x82"
         "A",
         fffd + fffd + "A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.valid);
        EXPECT_EQ(JsonText(c.text), "\"" + c.valid + "\"");
        RecordContext context = At(5);
        context.device = c.text;
        EXPECT_NE(ReadingJson(context, {}).find("\"device\": \"" + c.valid + "\""),
                  std::string::npos);
        EXPECT_EQ(ReadingCsv(context, {}).substr(0, 23 + c.valid.size() + 1),
                  "1970-01-01T00:00:00Z,5," + c.valid + ",");
    }
}

TEST(JsonReport, CsvTextASpreadsheetWouldTakeForAFormulaIsQuotedOff) {
    for (const std::string device : {"=cmd", "+cmd", "-cmd", "@cmd"}) {
        SCOPED_TRACE(device);
        RecordContext context = At(5);
        context.device = device;
        EXPECT_EQ(ReadingCsv(context, {}).substr(0, 29), "1970-01-01T00:00:00Z,5,'" + device + ",");
    }
}

TEST(JsonReport, TimesAreUtcToTheSecond) {
    const struct {
        int64_t seconds;
        const char* text;
    } cases[] = {{0, "1970-01-01T00:00:00Z"},
                 {951782400, "2000-02-29T00:00:00Z"},
                 {1772353800, "2026-03-01T08:30:00Z"},
                 {4102444799, "2099-12-31T23:59:59Z"},
                 {-1, "1969-12-31T23:59:59Z"}};
    for (const auto& c : cases) EXPECT_EQ(UtcTime(c.seconds), c.text);
}

}  // namespace
