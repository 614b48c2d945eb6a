// Port discovery on the machine's own registry: the adapter's value added by the test run
// (\Device\Silabser0 = COM9, see scripts/test-windows.sh) becomes the marked, chosen port.
// Other ports the machine lists may come and go; only what the test run added is asserted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "dialogs/PortDiscovery.h"
#include "platform/TextCompare.h"

namespace {

class Win32PortDiscoveryTest : public testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("QUENLOR_TEST_SERIALCOMM") == nullptr) {
            GTEST_SKIP() << "needs the test values of scripts/test-windows.sh in SERIALCOMM";
        }
    }
};

TEST_F(Win32PortDiscoveryTest, AdapterValueIsListedMarkedAndChosen) {
    PortDiscovery discovery;
    ASSERT_TRUE(discovery.ScanPorts());

    const auto& labels = discovery.PortLabels;
    EXPECT_NE(std::find(labels.begin(), labels.end(), "COM9 : ORVANEX"), labels.end());
    for (size_t i = 1; i < labels.size(); ++i) {
        SCOPED_TRACE(labels[i - 1] + " before " + labels[i]);
        EXPECT_LT(CompareLocaleText(labels[i - 1], labels[i]), 0);
    }

    // With a marked label listed, a marked one is chosen; when it is the only one, it is ours.
    EXPECT_TRUE(discovery.IsAdapterPort());
    const auto marked = std::count_if(labels.begin(), labels.end(), [](const std::string& l) {
        return l.find("ORVANEX") != std::string::npos;
    });
    if (marked == 1) {
        EXPECT_EQ(discovery.PortNumber, 9);
        EXPECT_EQ(labels[discovery.SelectedIndex], "COM9 : ORVANEX");
    }
    // The scan read nothing new, so a second one reports no change.
    EXPECT_FALSE(discovery.PortsChanged());
}

}  // namespace
