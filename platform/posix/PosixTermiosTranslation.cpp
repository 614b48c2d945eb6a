#include "platform/posix/PosixTermiosTranslation.h"

namespace {

constexpr uint32_t kSettingsRecordSize = 28;  // DCBlength of the Win32 record
constexpr uint32_t kRtsControlHandshake = 2;
constexpr uint8_t kMarkParity = 3;
constexpr uint8_t kSpaceParity = 4;
constexpr uint8_t kOne5StopBits = 1;

struct RateCode {
    uint32_t rate;
    speed_t code;
};

// The rates termios names. Others (14400, 56000, 128000, 256000 of the Win32 list) go
// through the kernel's free rate setting. Rate 0 is B0: the line hung up.
constexpr RateCode kRates[] = {
    {0, B0},
    {50, B50},
    {75, B75},
    {110, B110},
    {134, B134},
    {150, B150},
    {200, B200},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {1800, B1800},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {500000, B500000},
    {576000, B576000},
    {921600, B921600},
    {1000000, B1000000},
    {1152000, B1152000},
    {1500000, B1500000},
    {2000000, B2000000},
    {2500000, B2500000},
    {3000000, B3000000},
    {3500000, B3500000},
    {4000000, B4000000},
};

const RateCode* FindRate(uint32_t rate) {
    for (const RateCode& entry : kRates)
        if (entry.rate == rate) return &entry;
    return nullptr;
}

const RateCode* FindCode(speed_t code) {
    for (const RateCode& entry : kRates)
        if (entry.code == code) return &entry;
    return nullptr;
}

bool SetByteSize(uint8_t byteSize, tcflag_t& cflag) {
    switch (byteSize) {
        case 5:
            cflag |= CS5;
            return true;
        case 6:
            cflag |= CS6;
            return true;
        case 7:
            cflag |= CS7;
            return true;
        case 8:
            cflag |= CS8;
            return true;
        default:
            return false;
    }
}

bool SetParity(uint8_t parity, tcflag_t& cflag) {
    switch (parity) {
        case kNoParity:
            return true;
        case kOddParity:
            cflag |= PARENB | PARODD;
            return true;
        case kEvenParity:
            cflag |= PARENB;
            return true;
        case kMarkParity:
            cflag |= PARENB | CMSPAR | PARODD;
            return true;
        case kSpaceParity:
            cflag |= PARENB | CMSPAR;
            return true;
        default:
            return false;
    }
}

uint8_t ByteSizeOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

uint8_t ParityOf(tcflag_t cflag) {
    if ((cflag & PARENB) == 0) return kNoParity;
    if ((cflag & CMSPAR) != 0) return (cflag & PARODD) != 0 ? kMarkParity : kSpaceParity;
    return (cflag & PARODD) != 0 ? kOddParity : kEvenParity;
}

}  // namespace

bool SettingsToTermios(const SerialSettings& settings, termios& line, bool& freeRate) {
    // Raw bytes: no line editing, echo, signals, translation or output processing.
    cfmakeraw(&line);
    line.c_iflag &= ~static_cast<tcflag_t>(INPCK | IGNPAR | PARMRK | IXON | IXOFF | IXANY);
    // With parity asked for, it is checked: a byte received with a parity or framing error
    // is kept and marked (0xFF 0x00 before it, a real 0xFF doubled), never dropped or
    // stripped, so the serial line can give it with its error as Windows does. Without,
    // bytes pass as they came.
    if (settings.fParity != 0 && settings.Parity != kNoParity) line.c_iflag |= INPCK | PARMRK;
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    line.c_cflag |= CLOCAL | CREAD;
    line.c_cc[VMIN] = 1;  // unused: reads wait in poll()
    line.c_cc[VTIME] = 0;

    if (!SetByteSize(settings.ByteSize, line.c_cflag)) return false;
    if (!SetParity(settings.Parity, line.c_cflag)) return false;
    switch (settings.StopBits) {
        case kOneStopBit:
            break;
        case kOne5StopBits:  // termios gives 1.5 stop bits for CSTOPB with 5 data bits
        case kTwoStopBits:
            line.c_cflag |= CSTOPB;
            break;
        default:
            return false;
    }
    if (settings.fOutxCtsFlow != 0 || settings.fRtsControl == kRtsControlHandshake) {
        line.c_cflag |= CRTSCTS;
    }
    if (settings.fOutX != 0) line.c_iflag |= IXON;
    if (settings.fInX != 0) line.c_iflag |= IXOFF;
    if (settings.fOutX != 0 || settings.fInX != 0) {
        line.c_cc[VSTART] = settings.XonChar;
        line.c_cc[VSTOP] = settings.XoffChar;
    }

    const RateCode* named = FindRate(settings.BaudRate);
    freeRate = named == nullptr;
    const speed_t code = freeRate ? B38400 : named->code;  // B38400 stands for a free rate
    return cfsetispeed(&line, code) == 0 && cfsetospeed(&line, code) == 0;
}

SerialSettings TermiosToSettings(const termios& line, uint32_t freeRate) {
    SerialSettings read{};
    read.DCBlength = kSettingsRecordSize;
    const RateCode* named = FindCode(cfgetospeed(&line));
    read.BaudRate = named != nullptr ? named->rate : freeRate;
    read.fBinary = 1;
    read.ByteSize = ByteSizeOf(line.c_cflag);
    read.Parity = ParityOf(line.c_cflag);
    read.fParity = read.Parity != kNoParity ? 1 : 0;
    read.StopBits = (line.c_cflag & CSTOPB) != 0 ? kTwoStopBits : kOneStopBit;
    const bool handshake = (line.c_cflag & CRTSCTS) != 0;
    read.fOutxCtsFlow = handshake ? 1 : 0;
    read.fRtsControl = handshake ? kRtsControlHandshake : kRtsControlEnable;
    read.fOutX = (line.c_iflag & IXON) != 0 ? 1 : 0;
    read.fInX = (line.c_iflag & IXOFF) != 0 ? 1 : 0;
    read.XonChar = line.c_cc[VSTART];
    read.XoffChar = line.c_cc[VSTOP];
    return read;
}

bool HasFreeRate(const termios& line) { return FindCode(cfgetospeed(&line)) == nullptr; }
