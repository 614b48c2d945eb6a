// The line settings between the Win32 record and termios, without a tty: every framing,
// flow control and rate, both ways.
#include "platform/posix/PosixTermiosTranslation.h"

#include <gtest/gtest.h>

#include "link/Com_p06.h"

namespace {

constexpr speed_t kBaudOther = 0010000;  // the kernel's BOTHER: a rate set apart

// The termios the link's settings turn into, flag by flag (a pseudo-terminal cannot show
// parity, so this is where even parity is checked).
TEST(SettingsToTermiosTest, FramingFlowAndRate) {
    const tcflag_t framing = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    const struct {
        const char* name;
        uint8_t byteSize;
        uint8_t parity;
        uint8_t stopBits;
        uint32_t rate;
        tcflag_t cflag;  // within framing
        speed_t speed;
        bool freeRate;
    } cases[] = {
        {"8E1 at 9600", 8, kEvenParity, kOneStopBit, 9600, CS8 | PARENB, B9600, false},
        {"8N1 at 115200", 8, kNoParity, kOneStopBit, 115200, CS8, B115200, false},
        {"7O2 at 1200", 7, kOddParity, kTwoStopBits, 1200, CS7 | PARENB | PARODD | CSTOPB, B1200,
         false},
        {"8 mark 1", 8, 3, kOneStopBit, 4800, CS8 | PARENB | CMSPAR | PARODD, B4800, false},
        {"8 space 1", 8, 4, kOneStopBit, 4800, CS8 | PARENB | CMSPAR, B4800, false},
        {"5N1.5", 5, kNoParity, 1, 110, CS5 | CSTOPB, B110, false},
        {"8E1 at 14400", 8, kEvenParity, kOneStopBit, 14400, CS8 | PARENB, B38400, true},
        {"8E1 at 256000", 8, kEvenParity, kOneStopBit, 256000, CS8 | PARENB, B38400, true},
        // A port found hung up at rate 0 is given back hung up.
        {"8N1 at 0", 8, kNoParity, kOneStopBit, 0, CS8, B0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        termios line{};
        // Start from a cooked terminal with every flag the link must clear.
        line.c_iflag = ICRNL | IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR | ISTRIP;
        line.c_oflag = OPOST | ONLCR;
        line.c_cflag = CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL;
        line.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
        SerialSettings settings = CP06::DefaultSettings();
        settings.ByteSize = c.byteSize;
        settings.Parity = c.parity;
        settings.StopBits = c.stopBits;
        settings.BaudRate = c.rate;
        bool freeRate = !c.freeRate;
        ASSERT_TRUE(SettingsToTermios(settings, line, freeRate));
        EXPECT_EQ(line.c_cflag & framing, c.cflag);
        EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        // Parity is checked and errors marked whenever there is parity; never dropped or
        // stripped.
        const tcflag_t checks = c.parity != kNoParity ? INPCK | PARMRK : 0;
        EXPECT_EQ(line.c_iflag & (INPCK | PARMRK), checks);
        EXPECT_EQ(line.c_iflag & (IGNPAR | ISTRIP), 0u);
        EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY | ICRNL), 0u);
        EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(line.c_oflag & OPOST, 0u);
        EXPECT_EQ(cfgetospeed(&line), c.speed);
        EXPECT_EQ(cfgetispeed(&line), c.speed);
        EXPECT_EQ(freeRate, c.freeRate);
    }
}

// Windows checks parity only with fParity, and so does the line here.
TEST(SettingsToTermiosTest, ParityWithoutItsCheckIsNotChecked) {
    SerialSettings settings = CP06::DefaultSettings();
    settings.fParity = 0;
    termios line{};
    line.c_iflag = INPCK | PARMRK;
    bool freeRate = true;
    ASSERT_TRUE(SettingsToTermios(settings, line, freeRate));
    EXPECT_EQ(line.c_iflag & (INPCK | PARMRK), 0u);
    EXPECT_NE(line.c_cflag & PARENB, 0u);
}

TEST(SettingsToTermiosTest, FlowControlWhenAsked) {
    SerialSettings settings = CP06::DefaultSettings();
    settings.fOutxCtsFlow = 1;
    settings.fOutX = 1;
    settings.fInX = 1;
    termios line{};
    bool freeRate = true;
    ASSERT_TRUE(SettingsToTermios(settings, line, freeRate));
    EXPECT_NE(line.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(line.c_cc[VSTART], 0x01);
    EXPECT_EQ(line.c_cc[VSTOP], 0x02);
}

TEST(SettingsToTermiosTest, ValuesWithoutMeaningAreRefused) {
    const struct {
        const char* name;
        void (*spoil)(SerialSettings&);
    } cases[] = {
        {"byte size 9", [](SerialSettings& s) { s.ByteSize = 9; }},
        {"byte size 4", [](SerialSettings& s) { s.ByteSize = 4; }},
        {"parity 5", [](SerialSettings& s) { s.Parity = 5; }},
        {"stop bits 3", [](SerialSettings& s) { s.StopBits = 3; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SerialSettings settings = CP06::DefaultSettings();
        c.spoil(settings);
        termios line{};
        bool freeRate = false;
        EXPECT_FALSE(SettingsToTermios(settings, line, freeRate));
    }
}

// What GetState reads from a port must go back through SetState unchanged, whatever state
// the port was found in: a line hung up at rate 0 included.
TEST(TermiosToSettingsTest, WhatIsReadGoesBackUnchanged) {
    const struct {
        const char* name;
        tcflag_t cflag;
        tcflag_t iflag;
        speed_t speed;
        uint32_t freeRate;  // the kernel's rate, for a rate termios has no name for
        uint32_t rate;
    } cases[] = {
        {"8N1 at 9600", CS8 | CREAD, 0, B9600, 0, 9600},
        {"hung up at rate 0", CS8 | CREAD | HUPCL, 0, B0, 0, 0},
        {"7E2 at 1200", CS7 | PARENB | CSTOPB, 0, B1200, 0, 1200},
        {"8 mark 1 with handshake", CS8 | PARENB | CMSPAR | PARODD | CRTSCTS, 0, B4800, 0, 4800},
        {"free rate 14400", CS8 | PARENB, 0, kBaudOther, 14400, 14400},
        {"XON/XOFF", CS8, IXON | IXOFF, B19200, 0, 19200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        termios found{};
        found.c_cflag = c.cflag;
        found.c_iflag = c.iflag;
        found.c_cc[VSTART] = 0x11;
        found.c_cc[VSTOP] = 0x13;
        found.c_cflag |= c.speed;
        const SerialSettings read = TermiosToSettings(found, c.freeRate);
        EXPECT_EQ(read.BaudRate, c.rate);

        termios back = found;  // SetState starts from the port's own termios
        bool freeRate = false;
        ASSERT_TRUE(SettingsToTermios(read, back, freeRate));
        const tcflag_t framing = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
        EXPECT_EQ(back.c_cflag & framing, found.c_cflag & framing);
        EXPECT_EQ(back.c_iflag & (IXON | IXOFF), found.c_iflag & (IXON | IXOFF));
        EXPECT_EQ(freeRate, c.freeRate != 0);
        // A free rate goes back through the kernel's own call, not termios.
        if (!freeRate) {
            EXPECT_EQ(cfgetospeed(&back), cfgetospeed(&found));
            EXPECT_EQ(TermiosToSettings(back, c.freeRate), read);
        }
    }
}

}  // namespace
