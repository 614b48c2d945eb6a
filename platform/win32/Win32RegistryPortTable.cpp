// The port table on Windows: the registry key HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, where each
// serial driver lists its ports (value name: the driver's device name, data: the port name).
// Read only, through the ANSI registry calls, so names and data arrive in the ANSI code page.
#include <vector>

#include "platform/PortTable.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS.
constexpr REGSAM kQueryAndEnumerate = 0x20009;
static_assert(kQueryAndEnumerate ==
              (STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS));
static_assert(KEY_READ == 0x20019);

class Win32RegistryPortTable : public PortTable {
public:
    ~Win32RegistryPortTable() override { Close(); }

    bool KeyExists() override {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, kQueryAndEnumerate, &key) !=
            ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    bool Open() override {
        Close();
        // Each weaker access is tried in turn, for machines whose policy refuses full reading.
        for (REGSAM access : {REGSAM{KEY_READ}, kQueryAndEnumerate, REGSAM{KEY_QUERY_VALUE}}) {
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, access, &key_) ==
                ERROR_SUCCESS) {
                open_ = true;
                return true;
            }
        }
        key_ = nullptr;
        return false;
    }

    bool QueryInfo(uint32_t& valueCount, uint32_t& maxNameLength) override {
        if (!open_) return false;
        DWORD values = 0;
        DWORD longestName = 0;
        if (RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             &longestName, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        valueCount = values;
        maxNameLength = longestName;
        return true;
    }

    bool EnumValueName(uint32_t index, uint32_t nameBufferSize, std::string& name) override {
        if (!open_ || nameBufferSize == 0) return false;
        std::vector<char> buffer(nameBufferSize);
        DWORD length = nameBufferSize;
        if (RegEnumValueA(key_, index, buffer.data(), &length, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            return false;
        name.assign(buffer.data(), length);
        return true;
    }

    bool QueryValueType(const std::string& name, uint32_t& type) override {
        if (!open_) return false;
        DWORD valueType = 0;
        if (RegQueryValueExA(key_, name.c_str(), nullptr, &valueType, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return false;
        type = valueType;
        return true;
    }

    bool QueryValueData(const std::string& name, std::string& data) override {
        if (!open_) return false;
        DWORD size = 0;
        if (RegQueryValueExA(key_, name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
            return false;
        std::vector<BYTE> buffer(size);
        // A value that grew since its size was asked fails here (ERROR_MORE_DATA) and is skipped.
        if (size > 0 && RegQueryValueExA(key_, name.c_str(), nullptr, nullptr, buffer.data(),
                                         &size) != ERROR_SUCCESS)
            return false;
        data.assign(reinterpret_cast<const char*>(buffer.data()), size);
        return true;
    }

    void Close() override {
        if (open_) RegCloseKey(key_);
        open_ = false;
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
    bool open_ = false;
};

}  // namespace

std::unique_ptr<PortTable> MakeSystemPortTable() {
    return std::make_unique<Win32RegistryPortTable>();
}
