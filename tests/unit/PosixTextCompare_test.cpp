// The POSIX text rules behind the port labels: their order, what counts as the same label,
// and upper-casing, in the C locale and in a full Unicode collation such as a French or
// American desktop uses.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/PortDiscovery.h"
#include "platform/TextCompare.h"
#include "tests/support/FakePortTable.h"
#include "tests/support/TempDir.h"

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

struct OrderCase {
    std::string a;
    std::string b;
    int order;  // -1, 0 or 1
};

// Orders that hold whatever the user's locale.
const OrderCase kOrderCases[] = {
    {"COM1", "COM10", -1},
    {"COM10", "COM2", -1},
    {"COM1", "COM2", -1},
    {"COM9", "COM10", 1},
    {"COM3", "COM3", 0},
    {"", "COM1", -1},
    {"COM4", "COM4 : ORVANEX", -1},
    // Blanks and punctuation count, as on Windows, so the marked COM1 stays before COM10.
    {"COM1 : ORVANEX", "COM10", -1},
    {"COM3 : ORVANEX", "COM33", -1},
    // Windows-1252 letters are no valid UTF-8: a UTF-8 collation may call them all equal.
    {"COM4 \xE9", "COM4 \xE8", 1},
    {"COM3", "COM3 ", -1},
    // A mark against a letter at the same place: the mark first, whatever follows either.
    {" COM3", "COM1", -1},
    {"COM1 :X", "COM1 X", -1},
    {"\x80", "\x81", -1},
};

void ExpectOrders() {
    for (const OrderCase& c : kOrderCases) {
        SCOPED_TRACE("\"" + c.a + "\" against \"" + c.b + "\"");
        EXPECT_EQ(Sign(CompareLocaleText(c.a, c.b)), c.order);
        EXPECT_EQ(Sign(CompareLocaleText(c.b, c.a)), -c.order);
    }
}

// Switches the process's collation to glibc's en_US.UTF-8 for one test. A machine without
// it installed gets one built by localedef, once for all tests, in a temporary folder.
class FullCollation {
public:
    FullCollation() {
        CompareLocaleText("", "");  // the program takes its own locale first
        saved_ = std::setlocale(LC_COLLATE, nullptr);
        active_ = std::setlocale(LC_COLLATE, kLocale) != nullptr ||
                  (BuiltLocales() != nullptr && UseBuilt());
    }
    ~FullCollation() { std::setlocale(LC_COLLATE, saved_.c_str()); }
    FullCollation(const FullCollation&) = delete;
    FullCollation& operator=(const FullCollation&) = delete;

    bool Active() const { return active_; }

private:
    static constexpr const char* kLocale = "en_US.UTF-8";

    static const TempDir* BuiltLocales() {
        static const std::unique_ptr<TempDir> dir = [] {
            auto built = std::make_unique<TempDir>();
            std::string command =
                "localedef -i en_US -f UTF-8 '" + (*built / kLocale) + "' >/dev/null 2>&1";
            if (std::system(command.c_str()) == -1 || !std::filesystem::exists(*built / kLocale))
                built.reset();
            return built;
        }();
        return dir.get();
    }

    // setlocale reads LOCPATH at each call; the variable is put back at once.
    static bool UseBuilt() {
        const char* old = std::getenv("LOCPATH");
        std::optional<std::string> oldPath = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("LOCPATH", BuiltLocales()->Path().c_str(), 1);
        bool taken = std::setlocale(LC_COLLATE, kLocale) != nullptr;
        if (oldPath)
            setenv("LOCPATH", oldPath->c_str(), 1);
        else
            unsetenv("LOCPATH");
        return taken;
    }

    std::string saved_;
    bool active_ = false;
};

TEST(PosixTextCompare, OrdersLabelsInTheCLocale) {
    CompareLocaleText("", "");
    std::string saved = std::setlocale(LC_COLLATE, nullptr);
    std::setlocale(LC_COLLATE, "C");
    ExpectOrders();
    std::setlocale(LC_COLLATE, saved.c_str());
}

TEST(PosixTextCompare, OrdersLabelsInAFullCollation) {
    FullCollation collation;
    if (!collation.Active()) GTEST_SKIP() << "no en_US.UTF-8 locale and no way to build one";
    // Here strcoll itself calls the two Windows-1252 labels equal.
    ASSERT_EQ(std::strcoll("COM4 \xE9", "COM4 \xE8"), 0);
    ExpectOrders();
}

TEST(PosixTextCompare, DiscoveryKeepsLabelsThatOnlyByteOrderTellsApart) {
    FullCollation collation;
    if (!collation.Active()) GTEST_SKIP() << "no en_US.UTF-8 locale and no way to build one";
    auto table = std::make_unique<FakePortTable>(std::vector<FakePortValue>{
        {"\\Device\\Serial0", kRegSz, "COM4 \xE9"},
        {"\\Device\\Serial1", kRegSz, "COM4 \xE8"},
        {"\\Device\\Serial2", kRegSz, "COM4 \xE9"},
    });
    PortDiscovery discovery(std::move(table));
    EXPECT_TRUE(discovery.ScanPorts());
    EXPECT_EQ(discovery.PortLabels, (std::vector<std::string>{"COM4 \xE8", "COM4 \xE9"}));
}

TEST(PosixTextCompare, UpperCasesAsciiWhateverTheLocale) {
    struct Case {
        std::string text;
        std::string upper;
    };
    const Case cases[] = {
        {"com7", "COM7"},
        {"cOm12 : orvanex", "COM12 : ORVANEX"},
        {"azAZ09 @[`{", "AZAZ09 @[`{"},
        {"", ""},
        {std::string("co\0m", 4), std::string("CO\0M", 4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(UpperCaseLocaleText(c.text), c.upper);
    }
}

TEST(PosixTextCompare, LeavesOtherBytesToTheLocale) {
    // In the C locale and in UTF-8 ones no byte above 127 is a lower-case letter of its own,
    // so UTF-8 text comes through whole.
    std::string saved = std::setlocale(LC_CTYPE, nullptr);
    for (const char* locale : {"C", "C.UTF-8"}) {
        if (std::setlocale(LC_CTYPE, locale) == nullptr) continue;
        SCOPED_TRACE(locale);
        EXPECT_EQ(UpperCaseLocaleText("port s\xC3\xA9rie \xE9"), "PORT S\xC3\xA9RIE \xE9");
    }
    std::setlocale(LC_CTYPE, saved.c_str());
}

}  // namespace
