// The reading as JSON: exact text for each outcome, and strings that stay valid JSON
// whatever bytes the unit sent.
#include "cli/JsonReport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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
    EXPECT_EQ(ReadingJson(7, outcome),
              "{\"port\": 7, \"type\": \"P06\", \"serialNumber\": 4294967295, "
              "\"circuitVersion\": 3, \"softwareVersion\": \"2.15\", \"status\": {\"connect\": 0, "
              "\"type\": 0, \"serialNumber\": 0, \"circuitVersion\": 0, \"softwareVersion\": 0, "
              "\"disconnect\": 0}, \"elapsedMs\": 3000, \"result\": \"read\"}");
}

TEST(JsonReport, StepsThatNeverRanAreNull) {
    const struct {
        ReadingResult result;
        int32_t port;
        int32_t connectStatus;
        const char* json;
    } cases[] = {
        {ReadingResult::NoAnswer, 3, kStatusNothingReceived,
         "{\"port\": 3, \"type\": null, \"serialNumber\": null, \"circuitVersion\": null, "
         "\"softwareVersion\": null, \"status\": {\"connect\": 100002, \"type\": null, "
         "\"serialNumber\": null, \"circuitVersion\": null, \"softwareVersion\": null, "
         "\"disconnect\": null}, \"elapsedMs\": 12, \"result\": \"no-answer\"}"},
        {ReadingResult::PortError, 0, -1,
         "{\"port\": null, \"type\": null, \"serialNumber\": null, \"circuitVersion\": null, "
         "\"softwareVersion\": null, \"status\": {\"connect\": null, \"type\": null, "
         "\"serialNumber\": null, \"circuitVersion\": null, \"softwareVersion\": null, "
         "\"disconnect\": null}, \"elapsedMs\": 12, \"result\": \"port-error\"}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ResultName(c.result));
        ReadingOutcome outcome;
        outcome.result = c.result;
        outcome.elapsedMs = 12;
        outcome.record.connectStatus = c.connectStatus;
        EXPECT_EQ(ReadingJson(c.port, outcome), c.json);
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
    EXPECT_EQ(ReadingJson(5, outcome),
              "{\"port\": 5, \"type\": \"p\\\"\\u00e9\", \"serialNumber\": null, "
              "\"circuitVersion\": null, \"softwareVersion\": null, \"status\": {\"connect\": 0, "
              "\"type\": 100020, \"serialNumber\": null, \"circuitVersion\": null, "
              "\"softwareVersion\": null, \"disconnect\": 0}, \"elapsedMs\": 2500, "
              "\"result\": \"wrong-type\"}");
}

}  // namespace
