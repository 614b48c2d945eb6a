// The Win32 serial line. A missing port is tested everywhere; a live port only when the test
// run provides one: scripts/test-windows.sh serves a pseudo-terminal that echoes every byte
// and names its COM port in QUENLOR_TEST_ECHO_PORT.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/SerialLine.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

TEST(Win32SerialLineTest, MissingPortFailsWithFileNotFound) {
    auto line = MakeSystemSerialLine();
    for (const char* path : {"\\\\.\\COM250", "\\\\.\\COM0", "\\\\.\\COM-1"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(line->Open(path), SerialLine::kInvalidHandle);
        EXPECT_EQ(line->LastError(), ERROR_FILE_NOT_FOUND);
    }
}

// The link's line (9600 bit/s, no flow control, DTR off, RTS on), but without parity: a
// pseudo-terminal cannot keep parity, and the kernel then refuses (EINVAL, which Wine gives as
// ERROR_INVALID_PARAMETER) every later setting whose only change is that parity, so an 8E1
// line could be set only once per test run.
SerialSettings EchoLineSettings() {
    SerialSettings s;
    s.DCBlength = 28;
    s.BaudRate = 9600;
    s.fBinary = 1;
    s.fParity = 0;
    s.fDtrControl = kDtrControlDisable;
    s.fRtsControl = kRtsControlEnable;
    s.XonLim = 100;
    s.XoffLim = 100;
    s.ByteSize = 8;
    s.Parity = kNoParity;
    s.StopBits = kOneStopBit;
    s.XonChar = 0x01;
    s.XoffChar = 0x02;
    s.ErrorChar = 0x04;
    s.EvtChar = 0x03;
    return s;
}

class Win32SerialLineEchoTest : public testing::Test {
protected:
    void SetUp() override {
        const char* port = std::getenv("QUENLOR_TEST_ECHO_PORT");
        if (port == nullptr) {
            GTEST_SKIP() << "needs the echoing port of scripts/test-windows.sh";
        }
        path_ = std::string("\\\\.\\") + port;
        handle_ = line_->Open(path_);
        ASSERT_NE(handle_, SerialLine::kInvalidHandle) << path_ << ": error " << line_->LastError();
    }
    void TearDown() override {
        if (handle_ != SerialLine::kInvalidHandle) {
            EXPECT_TRUE(line_->Close(handle_));
        }
    }

    std::unique_ptr<SerialLine> line_ = MakeSystemSerialLine();
    std::string path_;
    SerialLine::Handle handle_ = SerialLine::kInvalidHandle;
};

TEST_F(Win32SerialLineEchoTest, SettingsReadBackAsSet) {
    SerialSettings before;
    ASSERT_TRUE(line_->GetState(handle_, before));
    EXPECT_EQ(before.DCBlength, 28u);

    SerialSettings echo = EchoLineSettings();
    ASSERT_TRUE(line_->SetState(handle_, echo)) << "error " << line_->LastError();
    SerialSettings after;
    ASSERT_TRUE(line_->GetState(handle_, after));
    EXPECT_EQ(after.BaudRate, 9600u);
    EXPECT_EQ(after.ByteSize, 8u);
    EXPECT_EQ(after.StopBits, kOneStopBit);
    EXPECT_EQ(after.fBinary, 1u);
    EXPECT_EQ(after.fOutxCtsFlow, 0u);
    EXPECT_EQ(after.fOutX, 0u);
    EXPECT_EQ(after.fInX, 0u);
    EXPECT_EQ(after.Parity, kNoParity);
    EXPECT_EQ(after.XonChar, 0x01);
    EXPECT_EQ(after.XoffChar, 0x02);

    echo.BaudRate = 19200;
    ASSERT_TRUE(line_->SetState(handle_, echo)) << "error " << line_->LastError();
    ASSERT_TRUE(line_->GetState(handle_, after));
    EXPECT_EQ(after.BaudRate, 19200u);

    EXPECT_TRUE(line_->SetState(handle_, before)) << "error " << line_->LastError();
}

TEST_F(Win32SerialLineEchoTest, TimeoutsReadBackAsSet) {
    SerialTimeouts before;
    ASSERT_TRUE(line_->GetTimeouts(handle_, before));
    const SerialTimeouts bench{500, 100, 1000, 100, 1000};
    ASSERT_TRUE(line_->SetTimeouts(handle_, bench));
    SerialTimeouts after;
    ASSERT_TRUE(line_->GetTimeouts(handle_, after));
    EXPECT_EQ(after, bench);
    EXPECT_TRUE(line_->SetTimeouts(handle_, before));
}

TEST_F(Win32SerialLineEchoTest, BytesComeBackAndASilentLineTimesOutWithNoByte) {
    ASSERT_TRUE(line_->SetState(handle_, EchoLineSettings()));
    ASSERT_TRUE(line_->SetTimeouts(handle_, SerialTimeouts{500, 100, 1000, 100, 1000}));
    ASSERT_TRUE(
        line_->Purge(handle_, kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear));

    // Protocol bytes on both sides of 0x80, and the zero byte.
    for (uint8_t value : {0x80, 0x81, 0x04, 0x00, 0x7F, 0xFF}) {
        SCOPED_TRACE(testing::Message() << "byte 0x" << std::hex << int(value));
        uint32_t written = 0;
        ASSERT_TRUE(line_->WriteByte(handle_, value, written));
        EXPECT_EQ(written, 1u);
        uint8_t echoed = 0xAA;
        uint32_t count = 0;
        ASSERT_TRUE(line_->ReadByte(handle_, echoed, count)) << "error " << line_->LastError();
        ASSERT_EQ(count, 1u);
        EXPECT_EQ(echoed, value);
    }

    // Nothing more comes: the read returns success with no byte after 100 x 1 + 1000 ms.
    uint8_t value = 0x5A;
    uint32_t count = 99;
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(line_->ReadByte(handle_, value, count));
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(value, 0x5A);
    EXPECT_GE(waited.count(), 1000);
    EXPECT_LT(waited.count(), 1600);
}

TEST_F(Win32SerialLineEchoTest, ClosedHandleIsRefused) {
    ASSERT_TRUE(line_->Close(handle_));
    SerialLine::Handle closed = handle_;
    handle_ = SerialLine::kInvalidHandle;
    SerialSettings settings;
    EXPECT_FALSE(line_->GetState(closed, settings));
    EXPECT_EQ(line_->LastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
