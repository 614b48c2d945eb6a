// The port table on Linux, standing in for the registry key SERIALCOMM: one value per
// serial port, named after its driver's device as Windows writes it ("\Device\Silabser0"
// for the Silicon Labs adapter), holding "COM<n>" as the registry does, so that the labels
// sort alike in every locale; the device file is told apart (ValueDevice). The ports are
// the kernel's serial devices with hardware behind them and the user's aliases COM<n>;
// everything is read from sysfs and the alias folder, no device is ever opened (that would
// raise DTR).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/PortTable.h"
#include "platform/SettingsDirectory.h"

class LinuxPortTable : public PortTable {
public:
    explicit LinuxPortTable(std::string sysRoot = "/sys",
                            std::string aliasDir = PortAliasDirectory());

    // There is always a list of ports on Linux.
    bool KeyExists() override;
    // Takes the list of ports as it stands; the later calls read that snapshot.
    bool Open() override;
    bool QueryInfo(uint32_t& valueCount, uint32_t& maxNameLength) override;
    bool EnumValueName(uint32_t index, uint32_t nameBufferSize, std::string& name) override;
    bool QueryValueType(const std::string& name, uint32_t& type) override;
    bool QueryValueData(const std::string& name, std::string& data) override;
    void Close() override;
    std::string ValueDevice(const std::string& name) override;
    std::vector<std::string> LeftOut() const override { return leftOut_; }

    struct Value {
        std::string name;
        std::string data;
        std::string device;  // the device file: "/dev/ttyUSB0", "/dev/pts/3"
    };
    // The ports as they stand, in COM number order; what was left out goes to leftOut.
    std::vector<Value> ListPorts(std::vector<std::string>* leftOut = nullptr) const;

private:
    const Value* Find(const std::string& name) const;

    std::string sysRoot_;
    std::string aliasDir_;
    std::vector<Value> values_;
    std::vector<std::string> leftOut_;
    bool open_ = false;
};
