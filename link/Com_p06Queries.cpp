// CP06's device information queries: the type identifier, the circuit version and the
// memory reads behind the serial number and the software version, each over the link's
// conversation (a command byte, then hexadecimal digit pairs acknowledged one by one).
#include <cstring>

#include "link/Com_p06.h"

int32_t CP06::ReadTypeId(char (&text)[4]) {
    if (!connected_) return Store(kStatusNotConnected);
    int32_t status = ExpectQuietLine();
    if (status == kStatusOk) status = SendByte(kReadType);
    if (status != kStatusOk) return status;
    for (int i = 0; i < 3 && status == kStatusOk; ++i) {
        int32_t character = 0;
        status = ReceiveHexByte(character, true);
        if (status == kStatusOk) text[i] = static_cast<char>(character & 0xFF);
    }
    text[3] = '\0';
    std::memcpy(lastTypeId_, text, sizeof lastTypeId_);
    return Store(status);
}

int32_t CP06::CheckType() {
    if (!connected_) return Store(kStatusNotConnected);
    char text[4] = {};
    const int32_t status = ReadTypeId(text);
    if (status != kStatusOk) return status;
    return Store(std::memcmp(text, "P06", 4) == 0 ? kStatusOk : kStatusWrongType);
}

int32_t CP06::ReadCircuitVersion(int32_t& value) {
    if (!connected_) return Store(kStatusNotConnected);
    int32_t status = ExpectQuietLine();
    if (status == kStatusOk) status = SendByte(kReadCircuitVersion);
    if (status != kStatusOk) return status;
    return ReceiveHexByte(value, true);
}

int32_t CP06::ReadMemoryByte(int32_t address, int32_t& value) {
    if (!connected_) return Store(kStatusNotConnected);
    int32_t status = ExpectQuietLine();
    if (status == kStatusOk) status = SendByte(kReadMemory);
    if (status == kStatusOk) status = SendHexByte(static_cast<uint32_t>(address));
    if (status != kStatusOk) return status;
    return ReceiveHexByte(value, true);
}

int32_t CP06::ReadMemoryWord(int32_t address, int32_t& value) {
    if (!connected_) return Store(kStatusNotConnected);
    int32_t low = 0;
    int32_t status = ReadMemoryByte(address, low);
    if (status != kStatusOk) return status;
    value = low;
    int32_t high = 0;
    status = ReadMemoryByte(address + 1, high);
    // Unsigned arithmetic: the digits come unchecked from the unit and must not overflow.
    if (status == kStatusOk)
        value =
            static_cast<int32_t>(static_cast<uint32_t>(low) + 256u * static_cast<uint32_t>(high));
    return status;
}

int32_t CP06::ReadSerialNumber(uint32_t& value) {
    if (!connected_) return Store(kStatusNotConnected);
    int32_t lowWord = 0;
    int32_t status = ReadMemoryWord(kSerialNumberAddress, lowWord);
    if (status != kStatusOk) return status;
    value = static_cast<uint32_t>(lowWord);
    int32_t highWord = 0;
    status = ReadMemoryWord(kSerialNumberAddress + 2, highWord);
    if (status == kStatusOk) value += 65536u * static_cast<uint32_t>(highWord);
    return status;
}

int32_t CP06::ReadSoftwareVersion(int32_t& first, int32_t& second) {
    if (!connected_) return Store(kStatusNotConnected);
    const int32_t status = ReadMemoryByte(kSoftwareVersionAddress, first);
    if (status != kStatusOk) return status;
    return ReadMemoryByte(kSoftwareVersionAddress + 1, second);
}

std::string CP06::DeviceName() { return "Emetteur Radio TALVERN8"; }
