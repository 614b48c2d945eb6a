// The registry port table against the machine's own HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.
// Which ports a machine has differs, so only the values the test run put into the key are
// asserted: scripts/test-windows.sh adds them and sets QUENLOR_TEST_SERIALCOMM; without it
// these tests are skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "platform/PortTable.h"

namespace {

// The values the test run adds (see scripts/test-windows.sh).
const std::string kAdapterName = "\\Device\\Silabser0";
const std::string kAdapterData = "COM9";
const std::string kNumberName = "\\Device\\QuenlorTestNumber";
constexpr uint32_t kNumberData = 7;

class Win32RegistryPortTableTest : public testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("QUENLOR_TEST_SERIALCOMM") == nullptr) {
            GTEST_SKIP() << "needs the test values of scripts/test-windows.sh in SERIALCOMM";
        }
        ASSERT_TRUE(table_->KeyExists());
        ASSERT_TRUE(table_->Open());
        ASSERT_TRUE(table_->QueryInfo(valueCount_, maxNameLength_));
    }
    void TearDown() override { table_->Close(); }

    // Every value name, listed as discovery lists them, with the number of times it appears.
    std::map<std::string, int> ListNames() {
        std::map<std::string, int> names;
        for (uint32_t i = 0; i < valueCount_; ++i) {
            std::string name;
            EXPECT_TRUE(table_->EnumValueName(i, maxNameLength_ + 1, name)) << "value " << i;
            EXPECT_LE(name.size(), maxNameLength_) << name;
            ++names[name];
        }
        return names;
    }

    std::unique_ptr<PortTable> table_ = MakeSystemPortTable();
    uint32_t valueCount_ = 0;
    uint32_t maxNameLength_ = 0;
};

TEST_F(Win32RegistryPortTableTest, InfoCountsTheAddedValuesAndTheirNames) {
    EXPECT_GE(valueCount_, 2u);
    EXPECT_GE(maxNameLength_, kNumberName.size());
}

TEST_F(Win32RegistryPortTableTest, ListsEachAddedValueNameOnce) {
    std::map<std::string, int> names = ListNames();
    EXPECT_EQ(names[kAdapterName], 1);
    EXPECT_EQ(names[kNumberName], 1);
    EXPECT_EQ(names.size(), valueCount_) << "a value name was listed twice";
}

TEST_F(Win32RegistryPortTableTest, NameBufferWithoutRoomForTheZeroFails) {
    // The longest name needs maxNameLength + 1 bytes; find it and offer one byte less.
    for (uint32_t i = 0; i < valueCount_; ++i) {
        std::string name;
        ASSERT_TRUE(table_->EnumValueName(i, maxNameLength_ + 1, name));
        if (name.size() != maxNameLength_) continue;
        std::string shortName = "untouched";
        EXPECT_FALSE(table_->EnumValueName(i, maxNameLength_, shortName)) << name;
        return;
    }
    ADD_FAILURE() << "no value name is as long as the reported longest";
}

TEST_F(Win32RegistryPortTableTest, StringValueGivesItsTypeAndItsDataUpToTheZero) {
    uint32_t type = 0;
    ASSERT_TRUE(table_->QueryValueType(kAdapterName, type));
    EXPECT_EQ(type, kRegSz);
    std::string data;
    ASSERT_TRUE(table_->QueryValueData(kAdapterName, data));
    // The registry stores the terminating zero; discovery cuts the data there.
    EXPECT_EQ(std::string(data.c_str()), kAdapterData);
}

TEST_F(Win32RegistryPortTableTest, NumberValueGivesItsTypeAndRawData) {
    uint32_t type = 0;
    ASSERT_TRUE(table_->QueryValueType(kNumberName, type));
    EXPECT_EQ(type, kRegDword);
    std::string data;
    ASSERT_TRUE(table_->QueryValueData(kNumberName, data));
    ASSERT_EQ(data.size(), sizeof(uint32_t));
    uint32_t number = 0;
    std::memcpy(&number, data.data(), sizeof number);
    EXPECT_EQ(number, kNumberData);
}

TEST_F(Win32RegistryPortTableTest, MissingValueFailsBothQueries) {
    uint32_t type = 99;
    std::string data = "untouched";
    EXPECT_FALSE(table_->QueryValueType("\\Device\\QuenlorNoSuchValue", type));
    EXPECT_FALSE(table_->QueryValueData("\\Device\\QuenlorNoSuchValue", data));
    EXPECT_EQ(type, 99u);
    EXPECT_EQ(data, "untouched");
}

TEST_F(Win32RegistryPortTableTest, ClosedTableAnswersNothingAndReopens) {
    table_->Close();
    table_->Close();  // a second close is harmless
    uint32_t count = 0;
    uint32_t longest = 0;
    std::string name;
    uint32_t type = 0;
    EXPECT_FALSE(table_->QueryInfo(count, longest));
    EXPECT_FALSE(table_->EnumValueName(0, maxNameLength_ + 1, name));
    EXPECT_FALSE(table_->QueryValueType(kAdapterName, type));

    ASSERT_TRUE(table_->Open());
    EXPECT_TRUE(table_->QueryInfo(count, longest));
    EXPECT_EQ(count, valueCount_);
}

}  // namespace
