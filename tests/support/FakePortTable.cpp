#include "tests/support/FakePortTable.h"

bool FakePortTable::KeyExists() {
    ++keyExistsCount;
    return !keyAbsent;
}

bool FakePortTable::Open() {
    if (keyAbsent || openFails) return false;
    open_ = true;
    ++openCount;
    return true;
}

bool FakePortTable::QueryInfo(uint32_t& valueCount, uint32_t& maxNameLength) {
    if (!open_ || infoFails) return false;
    valueCount = static_cast<uint32_t>(values.size());
    maxNameLength = 0;
    for (const auto& v : values)
        if (v.name.size() > maxNameLength) maxNameLength = static_cast<uint32_t>(v.name.size());
    return true;
}

bool FakePortTable::EnumValueName(uint32_t index, uint32_t nameBufferSize, std::string& name) {
    if (!open_ || index >= values.size()) return false;
    if (values[index].name.size() + 1 > nameBufferSize) return false;
    name = values[index].name;
    return true;
}

const FakePortValue* FakePortTable::Find(const std::string& name) const {
    for (const auto& v : values)
        if (v.name == name) return &v;
    return nullptr;
}

bool FakePortTable::QueryValueType(const std::string& name, uint32_t& type) {
    const FakePortValue* value = Find(name);
    if (!open_ || typeQueryFails || value == nullptr) return false;
    type = value->type;
    return true;
}

std::string FakePortTable::ValueDevice(const std::string& name) {
    const FakePortValue* value = Find(name);
    return open_ && value != nullptr ? value->device : std::string();
}

bool FakePortTable::QueryValueData(const std::string& name, std::string& data) {
    const FakePortValue* value = Find(name);
    if (!open_ || dataQueryFails || value == nullptr) return false;
    data = value->data;
    return true;
}

void FakePortTable::Close() {
    if (open_) ++closeCount;
    open_ = false;
}
