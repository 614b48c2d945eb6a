// The simulated unit's side of the conversation, exchange by exchange: what it answers to
// each host byte, and what it leaves unanswered.
#include "sim/DeviceModel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Step {
    uint8_t host;
    Bytes unit;  // what the unit answers to that byte
    uint32_t delayMs = 0;
    bool unplug = false;
};

struct ExchangeCase {
    const char* name;
    UnitConfig unit;
    FaultConfig faults;
    std::vector<Step> steps;
    bool inConversationAfter;
    uint32_t rateAfter;
};

std::string HexList(const Bytes& bytes) {
    std::string text;
    for (uint8_t b : bytes) {
        char item[6];
        std::snprintf(item, sizeof item, "%s%02X", text.empty() ? "" : " ", b);
        text += item;
    }
    return "[" + text + "]";
}

FaultConfig Faults(void (*set)(FaultConfig&)) {
    FaultConfig faults;
    set(faults);
    return faults;
}

UnitConfig Unit(void (*set)(UnitConfig&)) {
    UnitConfig unit;
    set(unit);
    return unit;
}

// One line fault on one step.
FaultConfig Line(LineStep step, LineFault fault) {
    FaultConfig faults;
    faults.lineFaults[static_cast<size_t>(step)] = fault;
    return faults;
}

// The poll and its acceptance, the opening of every conversation below.
const Step kAccepted{0x80, {0x81}};

const ExchangeCase kExchanges[] = {
    {"poll accepted", {}, {}, {kAccepted}, true, 9600},
    {"idle ignores everything but the poll and the end byte",
     {},
     {},
     {{0x86, {}}, {0x84, {}}, {0x04, {0x04}}, {0x9E, {}}, {0x00, {}}, {0x81, {}}, kAccepted},
     true,
     9600},
    {"refusing unit answers every poll with 0x85",
     {},
     Faults([](FaultConfig& f) { f.refuses = true; }),
     {{0x80, {0x85}}, {0x80, {0x85}}, {0x86, {}}},
     false,
     9600},
    {"accepts on the third poll",
     {},
     Faults([](FaultConfig& f) { f.acceptAfterPolls = 2; }),
     {{0x80, {0x00}}, {0x80, {0x00}}, kAccepted},
     true,
     9600},
    {"poll within a conversation is accepted again",
     {},
     {},
     {kAccepted, kAccepted, {0x86, {'5'}}, kAccepted, {0x84, {}}},
     true,
     9600},
    {"type P06 digit by digit, each after an acknowledgement",
     {},
     {},
     {kAccepted,
      {0x86, {'5'}},
      {0x84, {'0'}},
      {0x84, {'3'}},
      {0x84, {'0'}},
      {0x84, {'3'}},
      {0x84, {'6'}},
      {0x84, {}},
      {0x84, {}}},
     true,
     9600},
    {"digits wait for the acknowledgement, other bytes are ignored",
     {},
     {},
     {kAccepted, {0x86, {'5'}}, {0x86, {}}, {'0', {}}, {0x89, {}}, {0x84, {'0'}}},
     true,
     9600},
    {"wrong type P07",
     Unit([](UnitConfig& u) { u.type = "P07"; }),
     {},
     {kAccepted,
      {0x86, {'5'}},
      {0x84, {'0'}},
      {0x84, {'3'}},
      {0x84, {'0'}},
      {0x84, {'3'}},
      {0x84, {'7'}},
      {0x84, {}}},
     true,
     9600},
    {"circuit version 0x3C as two digits",
     Unit([](UnitConfig& u) { u.circuitVersion = 0x3C; }),
     {},
     {kAccepted, {0x87, {'3'}}, {0x84, {'C'}}, {0x84, {}}},
     true,
     9600},
    {"lower-case digits",
     Unit([](UnitConfig& u) { u.circuitVersion = 0xAB; }),
     Faults([](FaultConfig& f) { f.lowerCaseDigits = true; }),
     {kAccepted, {0x87, {'a'}}, {0x84, {'b'}}, {0x84, {}}},
     true,
     9600},
    {"serial number low byte at 0x78",
     Unit([](UnitConfig& u) { u.serialNumber = 0xA1B2C3D4; }),
     {},
     {kAccepted, {0x89, {}}, {'7', {}}, {'8', {'D'}}, {0x84, {'4'}}, {0x84, {}}},
     true,
     9600},
    {"serial number high byte at 0x7B",
     Unit([](UnitConfig& u) { u.serialNumber = 0xA1B2C3D4; }),
     {},
     {kAccepted, {0x89, {}}, {'7', {}}, {'B', {'A'}}, {0x84, {'1'}}, {0x84, {}}},
     true,
     9600},
    {"software version at 0x7E and 0x7F",
     Unit([](UnitConfig& u) {
         u.softwareFirst = 2;
         u.softwareSecond = 0x1F;
     }),
     {},
     {kAccepted,
      {0x89, {}},
      {'7', {}},
      {'E', {'0'}},
      {0x84, {'2'}},
      {0x84, {}},
      {0x89, {}},
      {'7', {}},
      {'F', {'1'}},
      {0x84, {'F'}},
      {0x84, {}}},
     true,
     9600},
    {"memory elsewhere reads 0",
     {},
     {},
     {kAccepted, {0x89, {}}, {'0', {}}, {'0', {'0'}}, {0x84, {'0'}}, {0x84, {}}},
     true,
     9600},
    {"address digits in lower case are understood",
     Unit([](UnitConfig& u) { u.softwareFirst = 0x42; }),
     {},
     {kAccepted, {0x89, {}}, {'7', {}}, {'e', {'4'}}, {0x84, {'2'}}, {0x84, {}}},
     true,
     9600},
    {"non-digits in an address are ignored",
     Unit([](UnitConfig& u) { u.softwareFirst = 0x42; }),
     {},
     {kAccepted, {0x89, {}}, {0x84, {}}, {'7', {}}, {'G', {}}, {'E', {'4'}}},
     true,
     9600},
    {"rate change to 19200 accepted",
     {},
     {},
     {kAccepted, {0x9E, {}}, {'4', {}}, {'0', {0x84, 0x00}}},
     true,
     19200},
    {"rate change to 4800 accepted",
     {},
     {},
     {kAccepted, {0x9E, {}}, {'F', {}}, {'F', {0x84, 0x00}}},
     true,
     4800},
    {"rate change back to 9600",
     {},
     {},
     {kAccepted,
      {0x9E, {}},
      {'0', {}},
      {'A', {0x84, 0x00}},
      {0x9E, {}},
      {'8', {}},
      {'1', {0x84, 0x00}}},
     true,
     9600},
    {"refused rate change keeps the rate",
     {},
     Faults([](FaultConfig& f) { f.refusesRateChange = true; }),
     {kAccepted, {0x9E, {}}, {'4', {}}, {'0', {0x00}}},
     true,
     9600},
    {"unknown rate code refused",
     {},
     {},
     {kAccepted, {0x9E, {}}, {'1', {}}, {'2', {0x00}}},
     true,
     9600},
    {"end byte closes the conversation",
     {},
     {},
     {kAccepted, {0x04, {0x04}}, {0x86, {}}, {0x04, {0x04}}},
     false,
     9600},
    {"end byte in the middle of the digits",
     {},
     {},
     {kAccepted, {0x86, {'5'}}, {0x04, {0x04}}, {0x84, {}}},
     false,
     9600},
    {"stops after three bytes",
     {},
     Faults([](FaultConfig& f) { f.stopAfterBytes = 3; }),
     {kAccepted, {0x86, {'5'}}, {0x84, {'0'}}, {0x84, {}}, {0x84, {}}, {0x80, {}}},
     true,
     9600},
    {"stop cuts an answer of two bytes",
     {},
     Faults([](FaultConfig& f) { f.stopAfterBytes = 2; }),
     {kAccepted, {0x9E, {}}, {'4', {}}, {'0', {0x84}}, {0x04, {}}},
     false,
     19200},
    {"silent unit never answers",
     {},
     Faults([](FaultConfig& f) { f.silent = true; }),
     {{0x80, {}}, {0x80, {}}, {0x86, {}}, {0x04, {}}},
     false,
     9600},
    // Line faults: the step's first answer spoiled, later ones clean.
    {"late type digit",
     {},
     Line(LineStep::Type, LineFault::Late),
     {kAccepted, {0x86, {'5'}, kLateAnswerMs}, {0x84, {'0'}}, kAccepted, {0x86, {'5'}}},
     true,
     9600},
    {"noise before the circuit version",
     {},
     Line(LineStep::Circuit, LineFault::Noise),
     {kAccepted, {0x87, {0x55, 0x00, 0xFF, '0'}}, {0x84, {'3'}}, {0x84, {}}, {0x87, {'0'}}},
     true,
     9600},
    {"truncated type, then the end and a poll are answered",
     {},
     Line(LineStep::Type, LineFault::Truncated),
     {kAccepted, {0x86, {'5'}}, {0x84, {}}, {0x04, {0x04}}, kAccepted, {0x86, {'5'}}},
     true,
     9600},
    {"doubled rate change back",
     {},
     Line(LineStep::End, LineFault::Doubled),
     {kAccepted, {0x9E, {}}, {'8', {}}, {'1', {0x84, 0x84, 0x00}}, {0x04, {0x04}}},
     false,
     9600},
    {"extra digits after the circuit version's last digit",
     {},
     Line(LineStep::Circuit, LineFault::ExtraDigits),
     {kAccepted, {0x87, {'0'}}, {0x84, {'3'}}, {0x84, {'0', '0'}}},
     true,
     9600},
    {"bad digit instead of the acceptance, the unit accepting all the same",
     {},
     Line(LineStep::Poll, LineFault::BadDigit),
     {{0x80, {'G'}}, {0x86, {'5'}}},
     true,
     9600},
    {"lower-case circuit version once",
     Unit([](UnitConfig& u) { u.circuitVersion = 0xAB; }),
     Line(LineStep::Circuit, LineFault::LowerCase),
     {kAccepted, {0x87, {'a'}}, {0x84, {'b'}}, {0x84, {}}, kAccepted, {0x87, {'A'}}},
     true,
     9600},
    {"silent circuit version",
     {},
     Line(LineStep::Circuit, LineFault::Silent),
     {kAccepted, {0x87, {}}, {0x84, {}}, kAccepted, {0x87, {'0'}}},
     true,
     9600},
    {"unplug at the type",
     {},
     Line(LineStep::Type, LineFault::Unplug),
     {kAccepted, {0x86, {}, 0, true}, {0x84, {}}, kAccepted, {0x86, {'5'}}},
     true,
     9600},
    {"echo during the type until the end byte",
     {},
     Line(LineStep::Type, LineFault::Echo),
     {kAccepted, {0x86, {0x86}}, {0x84, {0x84}}, {0x87, {0x87}}, {0x04, {0x04}}, kAccepted},
     true,
     9600},
    {"echo from the poll on, for good",
     {},
     Line(LineStep::Poll, LineFault::Echo),
     {{0x80, {0x80}}, {0x86, {0x86}}, {0x04, {0x04}}, {0x80, {0x80}}},
     false,
     9600},
    {"a slow unit: each answer after its delay, nothing for what it leaves unanswered",
     {},
     Faults([](FaultConfig& f) { f.answerDelayMinMs = f.answerDelayMaxMs = 20; }),
     {{0x80, {0x81}, 20}, {0x87, {'0'}, 20}, {0x84, {'3'}, 20}, {0x84, {}}},
     true,
     9600},
    {"the rate change accepted with 0x84 alone",
     {},
     Faults([](FaultConfig& f) { f.rateAcknowledgeAlone = true; }),
     {kAccepted, {0x9E, {}}, {'8', {}}, {'1', {0x84}}, {0x04, {0x04}}},
     false,
     9600},
    {"unknown commands are ignored",
     {},
     {},
     {kAccepted, {0x88, {}}, {0x84, {}}, {'5', {}}, {0xFF, {}}, {0x87, {'0'}}},
     true,
     9600},
};

TEST(DeviceModelTest, AnswersEachHostByteAsTheProtocolSays) {
    for (const ExchangeCase& c : kExchanges) {
        SCOPED_TRACE(c.name);
        DeviceModel model(c.unit, c.faults);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            SCOPED_TRACE("step " + std::to_string(i) + ", host sends " + HexList({step.host}));
            const Reply reply = model.ReplyTo(step.host);
            EXPECT_EQ(HexList(reply.bytes), HexList(step.unit));
            EXPECT_EQ(reply.delayMs, step.delayMs);
            EXPECT_EQ(reply.unplug, step.unplug);
        }
        EXPECT_EQ(model.InConversation(), c.inConversationAfter);
        EXPECT_EQ(model.BaudRate(), c.rateAfter);
    }
}

// The whole type read of a reading: six digits that spell the configured type.
TEST(DeviceModelTest, TypeDigitsSpellTheConfiguredType) {
    const struct {
        std::string type;
        bool lowerCase;
        std::string digits;
    } cases[] = {
        {"P06", false, "503036"}, {"p06", false, "703036"}, {"Z:~", false, "5A3A7E"},
        {"Z:~", true, "5a3a7e"},  {"AB", false, "414220"},  // a short type is padded with a space
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        UnitConfig unit;
        unit.type = c.type;
        FaultConfig faults;
        faults.lowerCaseDigits = c.lowerCase;
        DeviceModel model(unit, faults);
        ASSERT_EQ(HexList(model.Receive(0x80)), HexList({0x81}));
        std::string digits;
        Bytes answer = model.Receive(0x86);
        while (!answer.empty()) {
            ASSERT_EQ(answer.size(), 1u);
            digits += static_cast<char>(answer[0]);
            answer = model.Receive(0x84);
        }
        EXPECT_EQ(digits, c.digits);
    }
}

TEST(DeviceModelTest, MemoryHoldsTheSerialNumberLowestByteFirst) {
    UnitConfig unit;
    unit.serialNumber = 0xFFFEFF00u;
    unit.softwareFirst = 7;
    unit.softwareSecond = 12;
    const DeviceModel model(unit);
    const struct {
        uint8_t address;
        uint8_t value;
    } cases[] = {{0x77, 0}, {0x78, 0x00}, {0x79, 0xFF}, {0x7A, 0xFE}, {0x7B, 0xFF}, {0x7C, 0},
                 {0x7D, 0}, {0x7E, 7},    {0x7F, 12},   {0x80, 0},    {0x00, 0},    {0xFF, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE("address " + HexList({c.address}));
        EXPECT_EQ(model.MemoryAt(c.address), c.value);
    }
}

// A unit that stopped answering stays silent for good, even for a new conversation.
TEST(DeviceModelTest, StoppedUnitStaysSilent) {
    FaultConfig faults;
    faults.stopAfterBytes = 1;
    DeviceModel model({}, faults);
    EXPECT_EQ(HexList(model.Receive(0x80)), HexList({0x81}));
    EXPECT_EQ(HexList(model.Receive(0x04)), HexList({}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(HexList(model.Receive(0x80)), HexList({}));
}

}  // namespace
