// A port table for tests: a list of values, and switches that make it fail the ways the
// registry fails. Counts opens and closes so tests can check the key is always closed.
#pragma once

#include <string>
#include <vector>

#include "platform/PortTable.h"

struct FakePortValue {
    std::string name;
    uint32_t type = kRegSz;
    std::string data;
    std::string device = {};  // what ValueDevice tells: the device file, empty as on Windows
};

class FakePortTable : public PortTable {
public:
    FakePortTable() = default;
    explicit FakePortTable(std::vector<FakePortValue> values) : values(std::move(values)) {}

    bool KeyExists() override;
    bool Open() override;
    bool QueryInfo(uint32_t& valueCount, uint32_t& maxNameLength) override;
    bool EnumValueName(uint32_t index, uint32_t nameBufferSize, std::string& name) override;
    bool QueryValueType(const std::string& name, uint32_t& type) override;
    bool QueryValueData(const std::string& name, std::string& data) override;
    void Close() override;
    std::string ValueDevice(const std::string& name) override;

    std::vector<FakePortValue> values;
    bool keyAbsent = false;       // the key does not exist
    bool openFails = false;       // the key exists but cannot be opened for reading
    bool infoFails = false;       // the key's information cannot be queried
    bool typeQueryFails = false;  // every type query fails
    bool dataQueryFails = false;  // every data query fails
    int keyExistsCount = 0;       // existence tests: one per scan
    int openCount = 0;            // opens for reading that succeeded
    int closeCount = 0;           // closes of an open key

private:
    const FakePortValue* Find(const std::string& name) const;
    bool open_ = false;
};
