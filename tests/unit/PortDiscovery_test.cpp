// Port discovery against fake port tables: the labels, their order, the adapter mark, the
// choice of port, every failure of the table, and the key closed on every path.
#include "dialogs/PortDiscovery.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/FakePortTable.h"

namespace {

using namespace std::string_literals;
using Labels = std::vector<std::string>;

FakePortValue Port(const std::string& name, const std::string& data, uint32_t type = kRegSz) {
    return {name, type, data};
}
// A port of the Silicon Labs adapter's driver.
FakePortValue Adapter(const std::string& data, int k = 0) {
    return Port("\\Device\\Silabser" + std::to_string(k), data);
}
FakePortValue Serial(const std::string& data, int k = 0) {
    return Port("\\Device\\Serial" + std::to_string(k), data);
}

// A discovery reading its own fake table; the fake stays reachable through table.
struct Bench {
    explicit Bench(std::vector<FakePortValue> values, int previousPortNumber = 0) {
        auto fake = std::make_unique<FakePortTable>(std::move(values));
        table = fake.get();
        discovery = std::make_unique<PortDiscovery>(std::move(fake));
        discovery->PortNumber = previousPortNumber;
        discovery->SelectedIndex = kUntouched;
    }
    static constexpr int kUntouched = 7;  // a selection a scan that finds nothing leaves alone
    FakePortTable* table;
    std::unique_ptr<PortDiscovery> discovery;
};

enum class Failure { kNone, kKeyAbsent, kOpenFails, kInfoFails, kTypeQueryFails, kDataQueryFails };

void Apply(Failure failure, FakePortTable& table) {
    table.keyAbsent = failure == Failure::kKeyAbsent;
    table.openFails = failure == Failure::kOpenFails;
    table.infoFails = failure == Failure::kInfoFails;
    table.typeQueryFails = failure == Failure::kTypeQueryFails;
    table.dataQueryFails = failure == Failure::kDataQueryFails;
}

struct ScanCase {
    const char* what;
    std::vector<FakePortValue> values;
    int previous;
    Failure failure;
    Labels labels;
    int selectedIndex;
    int portNumber;
    bool scanResult;
    bool changed;  // what PortsChanged says for the same table and previous number
};

// clang-format off
const ScanCase kScanCases[] = {
    {"COM1 and COM3, previous 0",
     {Serial("COM1", 0), Serial("COM3", 1)}, 0, Failure::kNone,
     {"COM1", "COM3"}, 0, 1, true, true},
    {"COM1 and COM3, previous 3",
     {Serial("COM1", 0), Serial("COM3", 1)}, 3, Failure::kNone,
     {"COM1", "COM3"}, 1, 3, true, false},
    {"COM3 listed before COM1, previous 3",
     {Serial("COM3", 1), Serial("COM1", 0)}, 3, Failure::kNone,
     {"COM1", "COM3"}, 1, 3, true, false},
    {"previous port gone: the first label",
     {Serial("COM1", 0), Serial("COM3", 1)}, 2, Failure::kNone,
     {"COM1", "COM3"}, 0, 1, true, true},
    {"adapter COM4 listed last, previous 1",
     {Serial("COM1"), Adapter("COM4")}, 1, Failure::kNone,
     {"COM1", "COM4 : ORVANEX"}, 1, 4, true, true},
    {"adapter COM4 listed first, previous 1",
     {Adapter("COM4"), Serial("COM1")}, 1, Failure::kNone,
     {"COM1", "COM4 : ORVANEX"}, 1, 4, true, true},
    {"two marked labels: the second",
     {Adapter("COM1", 0), Adapter("COM3", 1)}, 0, Failure::kNone,
     {"COM1 : ORVANEX", "COM3 : ORVANEX"}, 1, 3, true, true},
    {"three marked labels: the second",
     {Adapter("COM5", 2), Adapter("COM1", 0), Adapter("COM3", 1)}, 5, Failure::kNone,
     {"COM1 : ORVANEX", "COM3 : ORVANEX", "COM5 : ORVANEX"}, 1, 3, true, true},
    {"marked COM1 first wins over the previous COM3",
     {Adapter("COM1"), Serial("COM3")}, 3, Failure::kNone,
     {"COM1 : ORVANEX", "COM3"}, 0, 1, true, true},
    {"marked first, then the previous port, then a marked one",
     {Adapter("COM1", 0), Serial("COM2"), Adapter("COM3", 1)}, 2, Failure::kNone,
     {"COM1 : ORVANEX", "COM2", "COM3 : ORVANEX"}, 2, 3, true, true},
    {"COM1, COM2, COM10 sort as text, previous 0",
     {Serial("COM2", 0), Serial("COM10", 1), Serial("COM1", 2)}, 0, Failure::kNone,
     {"COM1", "COM10", "COM2"}, 0, 1, true, true},
    {"COM1, COM2, COM10, previous 2",
     {Serial("COM2", 0), Serial("COM10", 1), Serial("COM1", 2)}, 2, Failure::kNone,
     {"COM1", "COM10", "COM2"}, 2, 2, true, false},
    {"driver word in lower case gives no mark",
     {Serial("COM1"), Port("\\Device\\silabser0", "COM4")}, 0, Failure::kNone,
     {"COM1", "COM4"}, 0, 1, true, true},
    {"driver word anywhere in the name",
     {Serial("COM1"), Port("USBSilabserPort", "COM4")}, 0, Failure::kNone,
     {"COM1", "COM4 : ORVANEX"}, 1, 4, true, true},
    {"the mark in the data counts as the mark",
     {Serial("COM1", 0), Serial("COM9 ORVANEX", 1)}, 1, Failure::kNone,
     {"COM1", "COM9 ORVANEX"}, 1, 9, true, true},
    {"a REG_DWORD value is ignored",
     {Port("\\Device\\Serial0", "\x03\0\0\0"s, kRegDword), Serial("COM2", 1)}, 0, Failure::kNone,
     {"COM2"}, 0, 2, true, true},
    {"only REG_DWORD values",
     {Port("\\Device\\Silabser0", "\x03\0\0\0"s, kRegDword)}, 3, Failure::kNone,
     {}, Bench::kUntouched, 0, true, true},
    {"REG_EXPAND_SZ counts as a string",
     {Port("\\Device\\Serial0", "COM6", kRegExpandSz), Serial("COM2", 1)}, 6, Failure::kNone,
     {"COM2", "COM6"}, 1, 6, true, false},
    {"REG_EXPAND_SZ taken as stored, not expanded",
     {Port("\\Device\\Serial0", "%PORT%", kRegExpandSz)}, 0, Failure::kNone,
     {"%PORT%"}, 0, 0, true, false},
    {"a value of another string-like type is ignored",
     {Port("\\Device\\Serial0", "COM1\0COM2\0\0"s, 7)}, 0, Failure::kNone,
     {}, Bench::kUntouched, 0, true, false},
    {"two values with the same data give one label",
     {Serial("COM1", 0), Port("\\Device\\VCP0", "COM1")}, 0, Failure::kNone,
     {"COM1"}, 0, 1, true, true},
    {"the same data with and without the mark give two labels",
     {Serial("COM4"), Adapter("COM4")}, 0, Failure::kNone,
     {"COM4", "COM4 : ORVANEX"}, 1, 4, true, true},
    {"data cut at its first NUL",
     {Serial("COM5\0COM6"s), Adapter("COM4\0"s)}, 0, Failure::kNone,
     {"COM4 : ORVANEX", "COM5"}, 0, 4, true, true},
    {"empty data gives an empty label",
     {Serial("", 0), Serial("COM2", 1)}, 2, Failure::kNone,
     {"", "COM2"}, 1, 2, true, false},
    {"a label with number 0 matches the previous 0",
     {Serial("COM3", 0), Serial("COMA", 1)}, 0, Failure::kNone,
     {"COM3", "COMA"}, 1, 0, true, false},
    {"of two labels with the previous number, the last",
     {Serial("COM3", 0), Serial("COM3 ", 1), Serial("COM1", 2)}, 3, Failure::kNone,
     {"COM1", "COM3", "COM3 "}, 2, 3, true, false},
    {"no values",
     {}, 4, Failure::kNone,
     {}, Bench::kUntouched, 0, true, true},
    {"key absent",
     {Serial("COM1")}, 4, Failure::kKeyAbsent,
     {}, Bench::kUntouched, 0, true, true},
    {"key absent, no port before",
     {Serial("COM1")}, 0, Failure::kKeyAbsent,
     {}, Bench::kUntouched, 0, true, false},
    {"key information cannot be queried",
     {Serial("COM1")}, 4, Failure::kInfoFails,
     {}, Bench::kUntouched, 0, false, false},
    {"key cannot be opened after the existence test",
     {Serial("COM1")}, 4, Failure::kOpenFails,
     {}, Bench::kUntouched, 0, false, false},
    {"every type query fails",
     {Serial("COM1"), Adapter("COM4")}, 4, Failure::kTypeQueryFails,
     {}, Bench::kUntouched, 0, true, true},
    {"every data query fails",
     {Serial("COM1"), Adapter("COM4")}, 4, Failure::kDataQueryFails,
     {}, Bench::kUntouched, 0, true, true},
};
// clang-format on

TEST(PortDiscoveryScan, BuildsLabelsAndChoosesThePort) {
    for (const ScanCase& c : kScanCases) {
        SCOPED_TRACE(c.what);
        Bench bench(c.values, c.previous);
        Apply(c.failure, *bench.table);
        EXPECT_EQ(bench.discovery->ScanPorts(), c.scanResult);
        EXPECT_EQ(bench.discovery->PortLabels, c.labels);
        EXPECT_EQ(bench.discovery->SelectedIndex, c.selectedIndex);
        EXPECT_EQ(bench.discovery->PortNumber, c.portNumber);
        EXPECT_EQ(bench.table->keyExistsCount, 1);
        EXPECT_EQ(bench.table->closeCount, bench.table->openCount) << "the key was left open";

        Bench again(c.values, c.previous);
        Apply(c.failure, *again.table);
        EXPECT_EQ(again.discovery->PortsChanged(), c.changed);
        EXPECT_EQ(again.discovery->PortNumber, c.portNumber);
        EXPECT_EQ(again.table->closeCount, again.table->openCount) << "the key was left open";
    }
}

TEST(PortDiscoveryScan, EveryScanStartsFromAnEmptyList) {
    Bench bench({Serial("COM1", 0), Serial("COM2", 1)});
    ASSERT_TRUE(bench.discovery->ScanPorts());
    ASSERT_EQ(bench.discovery->PortLabels, (Labels{"COM1", "COM2"}));

    bench.table->values = {Serial("COM3")};
    EXPECT_TRUE(bench.discovery->ScanPorts());
    EXPECT_EQ(bench.discovery->PortLabels, (Labels{"COM3"}));
    EXPECT_EQ(bench.discovery->PortNumber, 3);

    bench.table->keyAbsent = true;
    EXPECT_TRUE(bench.discovery->ScanPorts());
    EXPECT_EQ(bench.discovery->PortLabels, Labels{});
    EXPECT_EQ(bench.discovery->PortNumber, 0);
    EXPECT_EQ(bench.table->openCount, 2);
    EXPECT_EQ(bench.table->closeCount, 2);
}

TEST(PortDiscoveryScan, ChosenPortFollowsTheAdapter) {
    // The user chose COM2; the adapter plugged in later takes over at the next scan, and
    // when it goes the choice falls back to the first label, not to COM2.
    Bench bench({Serial("COM1", 0), Serial("COM2", 1)}, 2);
    EXPECT_FALSE(bench.discovery->PortsChanged());
    EXPECT_EQ(bench.discovery->PortNumber, 2);

    bench.table->values.push_back(Adapter("COM33"));
    EXPECT_TRUE(bench.discovery->PortsChanged());
    EXPECT_EQ(bench.discovery->PortNumber, 33);
    EXPECT_TRUE(bench.discovery->IsAdapterPort());

    bench.table->values.pop_back();
    EXPECT_TRUE(bench.discovery->PortsChanged());
    EXPECT_EQ(bench.discovery->PortNumber, 1);
    EXPECT_FALSE(bench.discovery->IsAdapterPort());
}

TEST(PortDiscoveryQueries, AfterAScanWithoutKey) {
    Bench bench({}, 0);
    bench.table->keyAbsent = true;
    ASSERT_TRUE(bench.discovery->ScanPorts());
    ASSERT_EQ(bench.table->keyExistsCount, 1);

    EXPECT_FALSE(bench.discovery->HasPort());
    EXPECT_EQ(bench.table->keyExistsCount, 1) << "HasPort scanned";
    EXPECT_FALSE(bench.discovery->IsAdapterPort());
    EXPECT_EQ(bench.table->keyExistsCount, 2) << "IsAdapterPort did not scan again";
    EXPECT_EQ(bench.discovery->GetPortNumber(), 0);
    EXPECT_EQ(bench.table->keyExistsCount, 3) << "GetPortNumber did not scan again";
}

TEST(PortDiscoveryQueries, WithoutAPortTheyScanAgain) {
    Bench bench({Adapter("COM4")}, 0);
    EXPECT_FALSE(bench.discovery->HasPort());
    EXPECT_TRUE(bench.discovery->IsAdapterPort());
    EXPECT_EQ(bench.discovery->PortNumber, 4);

    Bench other({Serial("COM5")}, 0);
    EXPECT_EQ(other.discovery->GetPortNumber(), 5);
    EXPECT_TRUE(other.discovery->HasPort());
    EXPECT_FALSE(other.discovery->IsAdapterPort());
    EXPECT_EQ(other.table->keyExistsCount, 1);
}

TEST(PortDiscoveryQueries, WithAPortTheyDoNotScan) {
    Bench bench({Serial("COM1", 0), Adapter("COM4")}, 0);
    ASSERT_TRUE(bench.discovery->ScanPorts());
    bench.table->values = {Serial("COM9")};

    EXPECT_EQ(bench.discovery->GetPortNumber(), 4);
    EXPECT_TRUE(bench.discovery->IsAdapterPort());
    EXPECT_TRUE(bench.discovery->HasPort());
    EXPECT_EQ(bench.table->keyExistsCount, 1);
}

TEST(PortDiscoveryQueries, AdapterPortReadsTheChosenLabel) {
    // A choice made in the dialog: the unmarked COM1 although COM4 carries the mark.
    Bench bench({Serial("COM1", 0), Adapter("COM4")}, 0);
    ASSERT_TRUE(bench.discovery->ScanPorts());
    bench.discovery->SelectedIndex = 0;
    bench.discovery->PortNumber = 1;
    EXPECT_FALSE(bench.discovery->IsAdapterPort());
}

TEST(PortDiscoveryQueries, InformationFailureLeavesNoPort) {
    Bench bench({Adapter("COM4")}, 0);
    ASSERT_TRUE(bench.discovery->ScanPorts());
    ASSERT_EQ(bench.discovery->PortNumber, 4);

    bench.table->infoFails = true;
    // The port is gone, yet PortsChanged says nothing changed: only a successful scan counts.
    EXPECT_FALSE(bench.discovery->PortsChanged());
    EXPECT_EQ(bench.discovery->PortNumber, 0);
    EXPECT_EQ(bench.discovery->PortLabels, Labels{});
    EXPECT_FALSE(bench.discovery->HasPort());

    bench.table->infoFails = false;
    EXPECT_TRUE(bench.discovery->PortsChanged());
    EXPECT_EQ(bench.discovery->PortNumber, 4);
    EXPECT_EQ(bench.table->closeCount, bench.table->openCount);
}

TEST(ParsePortNumber, ReadsTheNumberAfterCom) {
    struct Case {
        std::string label;
        int number;
    };
    const Case cases[] = {
        {"COM9", 9},
        {"COM10", 10},
        {"COM99", 99},
        {"COM100", 100},
        {"COM12 : ORVANEX", 12},
        {"com7", 7},
        {"cOm8", 8},
        {"  COM5  ", 5},
        {"\t\r\nCOM5\x01", 5},
        {"COM", 0},
        {"", 0},
        {"   ", 0},
        {"AB12", 12},
        {"CNCA0", 0},
        {"AB", 0},
        {"ABC", 0},
        {"  AB12  ", 12},
        {"COM99999999999", 0},
        {"COM2147483647", 2147483647},
        {"COM2147483648", 0},
        {"COM0", 0},
        {"COM007", 7},
        {"COM5a", 5},
        {"COM 5", 0},
        {"COM-5", 0},
        {"xCOM3", 3},
        {"12COM4", 4},
        {"COMCOM4", 0},
        {"COM3 (ttyUSB0)", 3},
        {"COM33 (ttyUSB0) : ORVANEX", 33},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("label \"" + c.label + "\"");
        EXPECT_EQ(PortDiscovery::ParsePortNumber(c.label), c.number);
    }
}

}  // namespace
