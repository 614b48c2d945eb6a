// The port table seam: the stand-in for the registry key HKLM\HARDWARE\DEVICEMAP\SERIALCOMM,
// one value per serial port (name: the driver's device name, data: the port name).
// The calls follow the registry calls discovery makes, so a table can fail the same ways.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Registry value types that matter to discovery.
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegDword = 4;

class PortTable {
public:
    virtual ~PortTable() = default;
    // Existence test: opens the key and closes it at once.
    virtual bool KeyExists() = 0;
    // Opens the key for reading; the result is not tested on its own (QueryInfo then fails).
    virtual bool Open() = 0;
    // Number of values and length of the longest value name.
    virtual bool QueryInfo(uint32_t& valueCount, uint32_t& maxNameLength) = 0;
    virtual bool EnumValueName(uint32_t index, uint32_t nameBufferSize, std::string& name) = 0;
    virtual bool QueryValueType(const std::string& name, uint32_t& type) = 0;
    // The value's data as stored (may hold a NUL; the caller cuts it there).
    virtual bool QueryValueData(const std::string& name, std::string& data) = 0;
    // Closes the key when open; harmless otherwise.
    virtual void Close() = 0;

    // Beyond the registry, for the user's eyes. The device file a value of the open table
    // stands for ("/dev/ttyUSB0"); empty where the system shows none (Windows).
    virtual std::string ValueDevice(const std::string& name) {
        (void)name;
        return {};
    }
    // What the last Open left out, one line each: the entry, a colon and why.
    virtual std::vector<std::string> LeftOut() const { return {}; }
};

// The machine's own table: the registry on Windows, sysfs and the port aliases on Linux.
std::unique_ptr<PortTable> MakeSystemPortTable();
