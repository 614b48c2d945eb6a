#include "dialogs/PortDiscovery.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

#include "platform/TextCompare.h"

namespace {

// The registry names the Silicon Labs adapter's ports after its driver; their labels carry
// the bench's adapter mark.
constexpr std::string_view kAdapterDriverWord = "Silabser";
constexpr std::string_view kAdapterMark = " : ORVANEX";
constexpr std::string_view kAdapterMarkWord = "ORVANEX";
constexpr std::string_view kComWord = "COM";

bool Contains(std::string_view text, std::string_view word) {
    return text.find(word) != std::string_view::npos;
}

// Closes the port table however the scan ends.
class OpenTable {
public:
    explicit OpenTable(PortTable& table) : table_(table) { table_.Open(); }
    ~OpenTable() { table_.Close(); }
    OpenTable(const OpenTable&) = delete;
    OpenTable& operator=(const OpenTable&) = delete;

private:
    PortTable& table_;
};

bool IsStringType(uint32_t type) { return type == kRegSz || type == kRegExpandSz; }

// Sorted insertion in the user's collation, the device at the same index; a label equal to
// one listed adds nothing.
void InsertLabel(std::vector<std::string>& labels, std::vector<std::string>& devices,
                 const std::string& label, const std::string& device) {
    auto at = std::lower_bound(
        labels.begin(), labels.end(), label,
        [](const std::string& a, const std::string& b) { return CompareLocaleText(a, b) < 0; });
    if (at != labels.end() && CompareLocaleText(*at, label) == 0) return;
    devices.insert(devices.begin() + (at - labels.begin()), device);
    labels.insert(at, label);
}

}  // namespace

PortDiscovery::PortDiscovery() : PortDiscovery(MakeSystemPortTable()) {}

PortDiscovery::PortDiscovery(std::unique_ptr<PortTable> table) : table_(std::move(table)) {}

PortDiscovery::~PortDiscovery() = default;

bool PortDiscovery::ScanPorts() {
    const int previousPortNumber = PortNumber;
    PortLabels.clear();
    PortDevices.clear();
    LeftOutPorts.clear();
    if (!table_->KeyExists()) {
        PortNumber = 0;
        return true;
    }

    OpenTable open(*table_);
    uint32_t valueCount = 0;
    uint32_t maxNameLength = 0;
    if (!table_->QueryInfo(valueCount, maxNameLength)) {
        PortNumber = 0;
        return false;
    }
    std::vector<std::string> names;
    for (uint32_t index = 0; index < valueCount; ++index) {
        std::string name;
        if (table_->EnumValueName(index, maxNameLength + 1, name)) names.push_back(name);
    }

    for (const std::string& name : names) {
        uint32_t type = 0;
        if (!table_->QueryValueType(name, type) || !IsStringType(type)) continue;
        std::string data;
        // A value removed or changed since its type was read (a USB adapter unplugged
        // mid-scan) is skipped: the next scan, 2000 ms later, sees the table as it is.
        if (!table_->QueryValueData(name, data)) continue;
        std::string label = data.substr(0, data.find('\0'));
        if (Contains(name, kAdapterDriverWord)) label += kAdapterMark;
        InsertLabel(PortLabels, PortDevices, label, table_->ValueDevice(name));
    }
    LeftOutPorts = table_->LeftOut();
    if (PortLabels.empty()) {
        PortNumber = 0;
        return true;
    }

    // The loop goes on while the choice is the first label, so a marked label further down
    // wins over a marked first one.
    SelectedIndex = -1;
    int match = -1;
    const int labelCount = static_cast<int>(PortLabels.size());
    for (int i = 0; i < labelCount && SelectedIndex <= 0; ++i) {
        if (Contains(PortLabels[i], kAdapterMarkWord)) SelectedIndex = i;
        if (ParsePortNumber(PortLabels[i]) == previousPortNumber) match = i;
    }
    if (SelectedIndex < 0) SelectedIndex = match >= 0 ? match : 0;
    PortNumber = ParsePortNumber(PortLabels[SelectedIndex]);
    return true;
}

bool PortDiscovery::PortsChanged() {
    const int old = PortNumber;
    if (!ScanPorts()) return false;
    return PortNumber != old;
}

int PortDiscovery::GetPortNumber() {
    if (PortNumber <= 0) ScanPorts();
    return PortNumber;
}

bool PortDiscovery::HasPort() const { return PortNumber != 0; }

bool PortDiscovery::IsAdapterPort() {
    if (PortNumber <= 0) ScanPorts();
    if (PortNumber == 0) return false;
    if (SelectedIndex < 0 || SelectedIndex >= static_cast<int>(PortLabels.size())) return false;
    return Contains(PortLabels[SelectedIndex], kAdapterMarkWord);
}

bool PortDiscovery::HasAdapterMark(const std::string& label) {
    return Contains(label, kAdapterMarkWord);
}

int PortDiscovery::ParsePortNumber(const std::string& label) {
    const std::string text = UpperCaseLocaleText(std::string(TrimBlanks(label)));

    // Without "COM" the number is looked for where it would follow a three-letter word.
    size_t com = text.find(kComWord);
    size_t start = com == std::string::npos ? 2 : com + kComWord.size();
    int64_t number = 0;
    for (size_t i = start; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        number = number * 10 + (text[i] - '0');
        if (number > std::numeric_limits<int32_t>::max()) return 0;
    }
    return static_cast<int>(number);
}

void PortDiscovery::ReleaseLabels() {
    PortLabels.clear();
    PortLabels.shrink_to_fit();
    PortDevices.clear();
    PortDevices.shrink_to_fit();
}
