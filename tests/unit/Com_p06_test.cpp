// The device link against the scripted fake line and the fake clock: every byte the host
// sends, every status it returns, every wait.
#include "link/Com_p06.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/FakeClock.h"
#include "tests/support/FakeSerialLine.h"

namespace {

using Bytes = std::vector<uint8_t>;

class LinkTest : public ::testing::Test {
protected:
    // Opens the port and opens a conversation, then forgets what that sent.
    void ConnectQuietly() {
        line.Queue({kAccept});
        ASSERT_EQ(link.Connect(1), kStatusOk);
        line.sent.clear();
        line.calls.clear();
        clock.sleeps.clear();
    }

    FakeClock clock;
    FakeSerialLine line{clock};
    CP06 link{line, clock};
};

TEST_F(LinkTest, NewLinkUsesCom2WithNoPortOpen) {
    EXPECT_STREQ(link.DevicePath(), "\\\\.\\COM2");
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(link.IsConnected());
    EXPECT_EQ(link.Status(), kStatusOk);
    EXPECT_EQ(CP06::DeviceName(), "Emetteur Radio TALVERN8");
}

TEST_F(LinkTest, SetPortFormatsTheDevicePath) {
    const struct {
        int32_t port;
        const char* path;
    } cases[] = {{7, "\\\\.\\COM7"},
                 {100, "\\\\.\\COM100"},
                 {101, "\\\\.\\COM1"},
                 {0, "\\\\.\\COM0"},
                 {-5, "\\\\.\\COM-5"},
                 {2147483647, "\\\\.\\COM1"},
                 {-2147483647 - 1, "\\\\.\\COM-2147483648"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        link.SetPort(c.port);
        EXPECT_STREQ(link.DevicePath(), c.path);
    }
    EXPECT_TRUE(line.calls.empty());
}

TEST_F(LinkTest, SetBaudRateOnClosedPortOnlyKeepsTheRate) {
    const struct {
        int32_t requested, kept;
    } cases[] = {{12345, 9600}, {256000, 256000}, {14400, 14400}, {110, 110}, {-1, 9600}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requested);
        EXPECT_EQ(link.SetBaudRate(c.requested), kStatusOk);
        EXPECT_EQ(link.Settings().BaudRate, static_cast<uint32_t>(c.kept));
    }
    EXPECT_TRUE(line.calls.empty());
}

TEST_F(LinkTest, OperationsOnClosedPortReportNoPortWithoutTouchingTheLine) {
    int32_t value = 77;
    EXPECT_EQ(link.SendByte(0x80), kStatusNoPort);
    EXPECT_EQ(link.ReceiveByte(value), kStatusNoPort);
    EXPECT_EQ(link.Purge(), kStatusNoPort);
    EXPECT_EQ(link.Disconnect(), kStatusNoPort);
    EXPECT_EQ(link.Close(), kStatusOk);
    EXPECT_EQ(value, 77);
    EXPECT_TRUE(line.calls.empty());
    EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(LinkTest, OpenConfiguresThePortAt9600EvenParityAndSavesItsSettings) {
    link.SetBaudRate(19200);
    line.portState.BaudRate = 4800;
    line.portTimeouts.ReadIntervalTimeout = 9;
    ASSERT_EQ(link.Open(), kStatusOk);

    // The rate is set once on its own, then the whole configuration is applied.
    const std::vector<std::string> expected = {"open \\\\.\\COM2", "getstate",    "state 9600",
                                               "state 9600",       "gettimeouts", "timeouts"};
    EXPECT_EQ(line.calls, expected);
    ASSERT_EQ(line.statesSet.size(), 2u);
    const SerialSettings& s = line.statesSet[0];
    EXPECT_EQ(s, CP06::DefaultSettings());
    EXPECT_EQ(s.ByteSize, 8);
    EXPECT_EQ(s.Parity, kEvenParity);
    EXPECT_EQ(s.StopBits, kOneStopBit);
    EXPECT_EQ(s.fDtrControl, kDtrControlDisable);
    EXPECT_EQ(s.fRtsControl, kRtsControlEnable);
    EXPECT_EQ(s.fOutxCtsFlow + s.fOutxDsrFlow + s.fOutX + s.fInX, 0u);
    ASSERT_EQ(line.timeoutsSet.size(), 1u);
    EXPECT_EQ(line.timeoutsSet[0], (SerialTimeouts{500, 100, 1000, 100, 1000}));

    // Closing gives the port back its own settings and time-outs.
    line.calls.clear();
    line.Queue({0x04});
    ASSERT_EQ(link.Close(), kStatusOk);
    EXPECT_EQ(line.statesSet.back().BaudRate, 4800u);
    EXPECT_EQ(line.timeoutsSet.back().ReadIntervalTimeout, 9u);
    EXPECT_EQ(line.calls.back(), "close");
    EXPECT_FALSE(link.IsOpen());
}

TEST_F(LinkTest, OpenFailuresReportTheSystemCodeAndSayWhetherThePortStaysOpen) {
    const struct {
        const char* step;
        int32_t FakeSerialLine::* error;
        bool staysOpen;
    } cases[] = {{"open", &FakeSerialLine::openError, false},
                 {"getstate", &FakeSerialLine::getStateError, true},
                 {"setstate", &FakeSerialLine::setStateError, true},
                 {"gettimeouts", &FakeSerialLine::getTimeoutsError, true},
                 {"settimeouts", &FakeSerialLine::setTimeoutsError, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        FakeClock clock;
        FakeSerialLine line(clock);
        line.*(c.error) = 31;
        CP06 link(line, clock);
        EXPECT_EQ(link.Open(), 31);
        EXPECT_EQ(link.Status(), 31);
        EXPECT_EQ(link.IsOpen(), c.staysOpen);
        line.*(c.error) = 0;
        line.setStateError = 0;
    }
}

TEST_F(LinkTest, CloseAfterAFailedSaveClosesWithoutWritingBackUnreadSettings) {
    line.getStateError = 31;
    ASSERT_EQ(link.Open(), 31);
    line.getStateError = 0;
    line.statesSet.clear();
    EXPECT_EQ(link.Close(), kStatusOk);
    EXPECT_TRUE(line.statesSet.empty());
    EXPECT_FALSE(link.IsOpen());
}

// A port that cannot take its settings back (an adapter unplugged) is let go all the same;
// the first failure is the status, and the next open opens afresh.
TEST_F(LinkTest, FailedCloseLetsThePortGoAndReturnsTheFirstFailure) {
    const struct {
        const char* what;
        int32_t setState;
        int32_t setTimeouts;
        int32_t close;
        int32_t status;
    } cases[] = {
        {"close fails", 0, 0, 6, 6},
        {"settings restore fails", 31, 0, 0, 31},
        {"every step fails", 31, 87, 6, 31},
        {"time-outs restore and close fail", 0, 87, 6, 87},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(link.Open(), kStatusOk);
        line.calls.clear();
        line.setStateError = c.setState;
        line.setTimeoutsError = c.setTimeouts;
        line.closeError = c.close;
        EXPECT_EQ(link.Close(), c.status);
        EXPECT_FALSE(link.IsOpen());
        EXPECT_EQ(line.calls.back(), "close");
        line.setStateError = line.setTimeoutsError = line.closeError = 0;
        line.calls.clear();
        EXPECT_EQ(link.Open(), kStatusOk);
        EXPECT_EQ(line.calls.front(), "open \\\\.\\COM2");
        ASSERT_EQ(link.Close(), kStatusOk);
    }
}

TEST_F(LinkTest, ReceiveByteOnSilentLineTimesOutAfter1100MsAndKeepsTheValue) {
    ASSERT_EQ(link.Open(), kStatusOk);
    int32_t value = 42;
    const uint32_t before = clock.now;
    EXPECT_EQ(link.ReceiveByte(value), kStatusNothingReceived);
    EXPECT_EQ(clock.now - before, 1100u);
    EXPECT_EQ(value, 42);

    line.Queue({0xFE});
    EXPECT_EQ(link.ReceiveByte(value), kStatusOk);
    EXPECT_EQ(value, 0xFE);

    line.readError = 5;
    EXPECT_EQ(link.ReceiveByte(value), 5);
    EXPECT_EQ(value, 0xFE);
}

TEST_F(LinkTest, SendByteReportsWriteFailures) {
    ASSERT_EQ(link.Open(), kStatusOk);
    EXPECT_EQ(link.SendByte(0x55), kStatusOk);
    line.writeError = 995;
    EXPECT_EQ(link.SendByte(0x56), 995);
    EXPECT_EQ(line.sent, Bytes({0x55}));
}

TEST_F(LinkTest, BusyWaitLastsItsDurationAcrossTheCounterWrap) {
    const uint32_t starts[] = {0, 0xFFFFFF00u, 0xFFFFFFFFu};
    for (uint32_t start : starts) {
        SCOPED_TRACE(start);
        clock.now = start;
        link.BusyWait(1000);
        EXPECT_EQ(clock.now - start, 1000u);
    }
}

TEST_F(LinkTest, ConnectWithSilentLineSendsOnePollAfterThePurgeAndTimesOut) {
    EXPECT_EQ(link.Connect(1), kStatusNothingReceived);
    const std::vector<std::string> expected = {"open \\\\.\\COM2", "getstate",    "state 9600",
                                               "state 9600",       "gettimeouts", "timeouts",
                                               "purge 15",         "write 80",    "read timeout"};
    EXPECT_EQ(line.calls, expected);
    EXPECT_EQ(clock.sleeps, std::vector<uint32_t>({1000}));
    EXPECT_EQ(clock.now, 2100u);  // 1000 ms purge, then 1100 ms of silence
    EXPECT_TRUE(link.IsOpen());
    EXPECT_FALSE(link.IsConnected());
}

// A clock whose every reading jumps 10^9 ms, so a wait past the 32-bit counter's wrap costs
// a few polls; it stands for a key press after 50 readings, should the wait never end.
class LeapingClock : public FakeClock {
public:
    static constexpr uint32_t kLeapMs = 1000000000;
    uint32_t TickCount() override {
        now += kLeapMs;
        if (++readings_ == 50) keyPressed = true;
        return now;
    }

private:
    int readings_ = 0;
};

TEST(LinkDeadline, ConnectLongerThanTheCounterWrapEndsAtItsDeadline) {
    LeapingClock clock;
    FakeSerialLine line(clock);
    CP06 link(line, clock);
    // 4 294 968 s is past 2^32 ms. The purge's wait reads the clock twice (2 leaps), each
    // silent poll adds 1100 ms and two leaps (its sending is timed, and the deadline read):
    // after 2 polls 6 000 002 200 ms have passed.
    EXPECT_EQ(link.Connect(4294968), kStatusNothingReceived);
    EXPECT_FALSE(clock.keyPressed);
    EXPECT_EQ(std::count(line.calls.begin(), line.calls.end(), "write 80"), 2);
}

TEST_F(LinkTest, ConnectOutcomes) {
    const struct {
        const char* name;
        int32_t seconds;
        std::vector<int> replies;  // -1: a silence
        int32_t status;
        Bytes sent;
        bool connected, open;
        std::vector<uint32_t> spoiled = {};  // the replies that came with a parity error
    } cases[] = {
        {"accepts", 1, {0x81}, kStatusOk, {0x80}, true, true},
        {"gives up the line",
         1,
         {0x85, -1, -1},
         kStatusNothingReceived,
         {0x80, 0x04, 0x04},
         false,
         false},
        {"other byte then accepts", 2, {0x00, 0x81}, kStatusOk, {0x80, 0x80}, true, true},
        {"other byte only", 1, {0x00}, kStatusNothingReceived, {0x80}, false, true},
        {"gives up without deadline",
         0,
         {0x85, 0x00, 0x00},
         kStatusNoPort,
         {0x80, 0x04, 0x04},
         false,
         false},
        // A reply the line spoiled is no reply: the unit is polled again, the port kept.
        {"spoiled accept then accepts", 2, {0x81, 0x81}, kStatusOk, {0x80, 0x80}, true, true, {0}},
        {"spoiled give-up then accepts", 2, {0x85, 0x81}, kStatusOk, {0x80, 0x80}, true, true, {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clock;
        FakeSerialLine line(clock);
        for (int r : c.replies) line.Queue({r});
        for (uint32_t read : c.spoiled) line.lineErrorsAt[read] = kLineErrorParity;
        CP06 link(line, clock);
        EXPECT_EQ(link.Connect(c.seconds), c.status);
        EXPECT_EQ(line.sent, c.sent);
        EXPECT_EQ(link.IsConnected(), c.connected);
        EXPECT_EQ(link.IsOpen(), c.open);
        line.writeError = 1;  // keep the destructor from adding to the record
    }
}

TEST_F(LinkTest, ConnectOnAPortThatCannotBeOpenedSendsNothing) {
    line.openError = 2;
    EXPECT_EQ(link.Connect(1), 2);
    EXPECT_TRUE(line.sent.empty());
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(link.IsConnected());
}

TEST_F(LinkTest, ConnectWhosePollCannotBeWrittenLetsThePortGoForTheNextAttempt) {
    line.writeError = 1117;
    EXPECT_EQ(link.Connect(1), 1117);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(link.IsConnected());

    // The line is back (the adapter plugged in again): the next attempt reopens and connects.
    line.writeError = 0;
    line.calls.clear();
    line.Queue({kAccept});
    EXPECT_EQ(link.Connect(1), kStatusOk);
    EXPECT_EQ(line.calls.front(), "open \\\\.\\COM2");
}

TEST_F(LinkTest, ConnectWithReadErrorClosesThePort) {
    line.readError = 23;
    EXPECT_EQ(link.Connect(1), kStatusNothingReceived);
    EXPECT_FALSE(link.IsOpen());

    // A reply whose receive errors cannot be read is a port that fails the same way.
    line.readError = 0;
    line.takeLineErrorsError = 23;
    line.Queue({kAccept});
    EXPECT_EQ(link.Connect(1), kStatusNothingReceived);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(link.IsConnected());
}

TEST_F(LinkTest, ConnectStopsPollingOnAKeyPress) {
    clock.keyPressed = true;
    EXPECT_EQ(link.Connect(0), kStatusOk);
    EXPECT_EQ(line.sent, Bytes({0x80}));
    EXPECT_FALSE(link.IsConnected());
}

TEST_F(LinkTest, ConnectOnOpenPortReusesItWithoutReopening) {
    ASSERT_EQ(link.Open(), kStatusOk);
    link.SetPort(2);  // the port already open
    line.calls.clear();
    line.Queue({0x81});
    EXPECT_EQ(link.Connect(1), kStatusOk);
    EXPECT_EQ(line.calls.front(), "purge 15");
}

TEST_F(LinkTest, SetPortToAnotherPortLetsTheOpenOneGoAndKeepsTheStatus) {
    ConnectQuietly();
    const int32_t status = link.Status();
    line.calls.clear();
    link.SetPort(9);
    EXPECT_EQ(line.calls.back(), "close");
    EXPECT_EQ(link.Status(), status);
    line.Queue({0x81});
    EXPECT_EQ(link.Connect(1), kStatusOk);
    EXPECT_NE(std::find(line.calls.begin(), line.calls.end(), "open \\\\.\\COM9"),
              line.calls.end());
}

TEST_F(LinkTest, OpenOnOpenPortEndsTheConversationThenReopensAt9600) {
    ConnectQuietly();
    line.Queue({0x84, 0x00, 0x04});
    EXPECT_EQ(link.Open(), kStatusOk);
    EXPECT_EQ(line.sent, Bytes({0x9E, '8', '1', 0x04}));
    auto close = std::find(line.calls.begin(), line.calls.end(), "close");
    ASSERT_NE(close, line.calls.end());
    EXPECT_EQ(*(close + 1), "open \\\\.\\COM2");
    EXPECT_EQ(line.statesSet.back().BaudRate, 9600u);
}

TEST_F(LinkTest, DisconnectOnOpenLinkSendsOnlyTheEndByteAfterAPause) {
    ASSERT_EQ(link.Open(), kStatusOk);
    line.Queue({0x33});
    EXPECT_EQ(link.Disconnect(), kStatusOk);
    EXPECT_EQ(line.sent, Bytes({0x04}));
    EXPECT_EQ(clock.sleeps, std::vector<uint32_t>({500}));
}

TEST_F(LinkTest, DisconnectOnConnectedLinkRestores9600ThenEndsTheConversation) {
    ConnectQuietly();
    line.Queue({0x84, 0x00, 0x04});
    EXPECT_EQ(link.Disconnect(), kStatusOk);
    EXPECT_EQ(line.sent, Bytes({0x9E, '8', '1', 0x04}));
    EXPECT_EQ(clock.sleeps, std::vector<uint32_t>({500}));
    EXPECT_FALSE(link.IsConnected());
    EXPECT_TRUE(link.IsOpen());
}

TEST_F(LinkTest, DisconnectWithoutAnswerToTheEndByteStaysConnected) {
    ConnectQuietly();
    line.Queue({0x84, 0x00, -1});
    EXPECT_EQ(link.Disconnect(), kStatusNothingReceived);
    EXPECT_TRUE(link.IsConnected());
}

TEST_F(LinkTest, ChangeBaudRateSendsTheRateCodeAndSwitchesTheLine) {
    const struct {
        int32_t rate;
        uint8_t high, low;
        uint32_t local;
    } cases[] = {{4800, 'F', 'F', 4800},     {14400, '5', '6', 14400},   {19200, '4', '0', 19200},
                 {38400, '2', '0', 38400},   {56000, '1', '5', 56000},   {57600, '1', '4', 57600},
                 {115200, '0', 'A', 115200}, {128000, '0', '9', 128000}, {256000, '0', '4', 256000},
                 {9600, '8', '1', 9600},     {12345, '8', '1', 9600}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        FakeClock clock;
        FakeSerialLine line(clock);
        CP06 link(line, clock);
        line.Queue({0x81});
        ASSERT_EQ(link.Connect(1), kStatusOk);
        line.sent.clear();
        line.Queue({0x84, 0x5A});
        EXPECT_EQ(link.ChangeBaudRate(c.rate), kStatusOk);
        EXPECT_EQ(line.sent, Bytes({0x9E, c.high, c.low}));
        EXPECT_EQ(line.statesSet.back().BaudRate, c.local);
        EXPECT_EQ(link.Settings().BaudRate, c.local);
        line.writeError = 1;
    }
}

TEST_F(LinkTest, ChangeBaudRateRefusedOrUnansweredKeepsTheLocalRate) {
    ConnectQuietly();
    const size_t states = line.statesSet.size();
    line.Queue({0x00});
    EXPECT_EQ(link.ChangeBaudRate(19200), kStatusRateRefused);
    line.Queue({-1});
    EXPECT_EQ(link.ChangeBaudRate(19200), kStatusNothingReceived);
    EXPECT_EQ(line.statesSet.size(), states);
    EXPECT_EQ(link.Settings().BaudRate, 9600u);
}

TEST_F(LinkTest, SendHexByteSendsUpperCaseDigitsHighFirst) {
    const struct {
        uint32_t value;
        uint8_t high, low;
    } cases[] = {{0xA0, 'A', '0'}, {0x9F, '9', 'F'}, {0x0A, '0', 'A'},
                 {0x00, '0', '0'}, {0xFF, 'F', 'F'}, {0x78, '7', '8'}};
    ASSERT_EQ(link.Open(), kStatusOk);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        line.sent.clear();
        EXPECT_EQ(link.SendHexByte(c.value), kStatusOk);
        EXPECT_EQ(line.sent, Bytes({c.high, c.low}));
    }
    line.sent.clear();
    line.writeError = 4;
    EXPECT_EQ(link.SendHexByte(0x12), 4);
    EXPECT_TRUE(line.sent.empty());
}

TEST_F(LinkTest, HexPairToByteAppliesTheDigitRuleWithoutValidation) {
    const struct {
        uint32_t high, low;
        int32_t value;
    } cases[] = {{'7', 'E', 126}, {'F', 'F', 255}, {'0', '0', 0},        {'a', '0', 672},
                 {'/', '0', -16}, {'0', 'f', 47},  {0, 0, -16 * 48 - 48}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.high) + "," + std::to_string(c.low));
        EXPECT_EQ(CP06::HexPairToByte(c.high, c.low), c.value);
    }
}

TEST_F(LinkTest, ReceiveHexByteAcknowledgesEachDigit) {
    ConnectQuietly();
    line.Queue({'3', 'C'});
    int32_t value = -1;
    EXPECT_EQ(link.ReceiveHexByte(value, true), kStatusOk);
    EXPECT_EQ(value, 0x3C);
    EXPECT_EQ(line.sent, Bytes({0x84, 0x84}));

    line.sent.clear();
    line.Queue({-1});
    EXPECT_EQ(link.ReceiveHexByte(value, true), kStatusNothingReceived);
    EXPECT_TRUE(line.sent.empty());
    EXPECT_EQ(value, 0x3C);

    line.Queue({'3', -1});
    EXPECT_EQ(link.ReceiveHexByte(value, true), kStatusNothingReceived);
    EXPECT_EQ(line.sent, Bytes({0x84}));
    EXPECT_EQ(value, 0x3C);
}

TEST_F(LinkTest, EveryDeviceOperationNeedsAConversation) {
    ASSERT_EQ(link.Open(), kStatusOk);
    line.calls.clear();
    int32_t value = 9;
    int32_t second = 9;
    uint32_t serial = 9;
    char text[4] = {'x', 'y', 'z', 'w'};
    EXPECT_EQ(link.ChangeBaudRate(19200), kStatusNotConnected);
    EXPECT_EQ(link.ReceiveHexByte(value, true), kStatusNotConnected);
    EXPECT_EQ(link.ReadTypeId(text), kStatusNotConnected);
    EXPECT_EQ(link.CheckType(), kStatusNotConnected);
    EXPECT_EQ(link.ReadCircuitVersion(value), kStatusNotConnected);
    EXPECT_EQ(link.ReadMemoryByte(0x78, value), kStatusNotConnected);
    EXPECT_EQ(link.ReadMemoryWord(0x78, value), kStatusNotConnected);
    EXPECT_EQ(link.ReadSerialNumber(serial), kStatusNotConnected);
    EXPECT_EQ(link.ReadSoftwareVersion(value, second), kStatusNotConnected);
    EXPECT_TRUE(line.calls.empty());
    EXPECT_EQ(value, 9);
    EXPECT_EQ(second, 9);
    EXPECT_EQ(serial, 9u);
    EXPECT_EQ(text[0], 'x');
}

TEST_F(LinkTest, CheckTypeComparesTheThreeCharactersExactly) {
    const struct {
        const char* name;
        std::vector<int> digits;
        int32_t status;
    } cases[] = {{"P06", {'5', '0', '3', '0', '3', '6'}, kStatusOk},
                 {"P07", {'5', '0', '3', '0', '3', '7'}, kStatusWrongType},
                 {"p06", {'7', '0', '3', '0', '3', '6'}, kStatusWrongType},
                 {"silent after P", {'5', '0', -1}, kStatusNothingReceived}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clock;
        FakeSerialLine line(clock);
        CP06 link(line, clock);
        line.Queue({0x81});
        ASSERT_EQ(link.Connect(1), kStatusOk);
        line.sent.clear();
        for (int d : c.digits) line.Queue({d});
        EXPECT_EQ(link.CheckType(), c.status);
        EXPECT_EQ(line.sent.front(), kReadType);
        line.writeError = 1;
    }
}

TEST_F(LinkTest, ReadSerialNumberReadsFourBytesLowestFirst) {
    ConnectQuietly();
    // The digits at both ends of each range: '0', '9', 'A' and 'F'.
    line.Queue({'9', '4', '1', '2', '7', 'A', 'F', '0'});
    uint32_t serial = 0;
    EXPECT_EQ(link.ReadSerialNumber(serial), kStatusOk);
    EXPECT_EQ(serial, 0xF07A1294u);
    const Bytes expected = {0x89, '7', '8', 0x84, 0x84, 0x89, '7', '9', 0x84, 0x84,
                            0x89, '7', 'A', 0x84, 0x84, 0x89, '7', 'B', 0x84, 0x84};
    EXPECT_EQ(line.sent, expected);
}

TEST_F(LinkTest, PartialReadsKeepWhatArrived) {
    ConnectQuietly();
    int32_t word = 0;
    line.Queue({'3', '4', -1});
    EXPECT_EQ(link.ReadMemoryWord(0x78, word), kStatusNothingReceived);
    EXPECT_EQ(word, 0x34);

    uint32_t serial = 0;
    line.Queue({'3', '4', '1', '2', -1});
    EXPECT_EQ(link.ReadSerialNumber(serial), kStatusNothingReceived);
    EXPECT_EQ(serial, 0x1234u);

    int32_t first = -1, second = -1;
    line.Queue({'0', '2', -1});
    EXPECT_EQ(link.ReadSoftwareVersion(first, second), kStatusNothingReceived);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, -1);
}

TEST_F(LinkTest, ReadCircuitVersionSendsItsCommand) {
    ConnectQuietly();
    line.Queue({'0', '3'});
    int32_t version = 0;
    EXPECT_EQ(link.ReadCircuitVersion(version), kStatusOk);
    EXPECT_EQ(version, 3);
    EXPECT_EQ(line.sent, Bytes({0x87, 0x84, 0x84}));
}

// A byte that came with a receive error fails the exchange where it came, whatever its value,
// and is not acknowledged; the byte is kept for the message.
int32_t Circuit(CP06& l) {
    int32_t v = 0;
    return l.ReadCircuitVersion(v);
}
int32_t Rate(CP06& l) { return l.ChangeBaudRate(19200); }
int32_t End(CP06& l) { return l.Disconnect(); }

TEST(LinkLineErrors, ASpoiledByteFailsTheExchangeAtThatByte) {
    const struct {
        const char* name;
        std::vector<int> replies;
        uint32_t spoiled;  // of the replies, the one with a parity error
        int32_t (*exchange)(CP06&);
        int32_t status;
        Bytes sent;
        int32_t unexpected;  // the byte kept, -1: not looked at
        bool connectedAfter = true;
    } cases[] = {
        {"circuit version, first digit", {'0', '3'}, 0, Circuit, kStatusLineError, {0x87}, '0'},
        {"circuit version, second", {'0', '3'}, 1, Circuit, kStatusLineError, {0x87, 0x84}, '3'},
        {"rate change's reply", {0x84, 0x5A}, 0, Rate, kStatusLineError, {0x9E, '4', '0'}, 0x84},
        // The byte after the acknowledgement carries nothing the host uses.
        {"byte after the rate change", {0x84, 0x5A}, 1, Rate, kStatusOk, {0x9E, '4', '0'}, -1},
        {"end byte's answer", {0x84, 0, 4}, 2, End, kStatusLineError, {0x9E, '8', '1', 4}, 4},
        // At the end the conversation still ends, but the end was spoiled.
        {"rate change's reply at the end",
         {0x84, 4},
         0,
         End,
         kStatusLineError,
         {0x9E, '8', '1', 4},
         0x84,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clock;
        FakeSerialLine line(clock);
        CP06 link(line, clock);
        line.Queue({kAccept});
        ASSERT_EQ(link.Connect(1), kStatusOk);
        line.sent.clear();
        for (int r : c.replies) line.Queue({r});
        line.lineErrorsAt[line.bytesRead + c.spoiled] = kLineErrorParity;
        EXPECT_EQ(c.exchange(link), c.status);
        EXPECT_EQ(line.sent, c.sent);
        if (c.unexpected >= 0) {
            EXPECT_EQ(link.UnexpectedByte(), c.unexpected);
        }
        EXPECT_EQ(link.IsConnected(), c.connectedAfter);
        EXPECT_EQ(line.takes, static_cast<int>(line.bytesRead));  // one look per byte read
        line.writeError = 1;
    }
}

TEST(LinkDestructor, EndsTheConversationTwiceWithAPortOpen) {
    FakeClock clock;
    FakeSerialLine line(clock);
    {
        CP06 link(line, clock);
        line.Queue({0x81});
        ASSERT_EQ(link.Connect(1), kStatusOk);
        line.sent.clear();
        line.Queue({0x84, 0x00, 0x04, 0x04});
    }
    EXPECT_EQ(line.sent, Bytes({0x9E, '8', '1', 0x04, 0x04}));
    EXPECT_EQ(line.calls.back(), "close");
    EXPECT_FALSE(line.isOpen);
}

TEST(LinkDestructor, TouchesNothingWithNoPortOpen) {
    FakeClock clock;
    FakeSerialLine line(clock);
    {
        CP06 link(line, clock);
    }
    EXPECT_TRUE(line.calls.empty());
}

}  // namespace
