#include "platform/posix/LinuxPortTable.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string_view>
#include <system_error>
#include <tuple>

#include "platform/FileError.h"
#include "platform/posix/LinuxDevicePath.h"
#include "platform/posix/PosixPseudoTerminal.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kDevicePrefix = "\\Device\\";
// The Silicon Labs adapter's driver: cp210x on Linux, Silabser on Windows.
constexpr std::string_view kAdapterDriver = "cp210x";
constexpr std::string_view kAdapterDeviceName = "Silabser";
constexpr std::string_view kPtyDeviceName = "pty";

struct Port {
    int comNumber;
    std::string device;  // as the user knows it: "ttyUSB0", "pts/3"
    std::string name;    // the driver's device name
    std::string path;    // the device file: "/dev/ttyUSB0", "/dev/pts/3"
};

// Kernel names in the order the kernel numbers them: ttyUSB2 before ttyUSB10.
bool KernelNameLess(const std::string& a, const std::string& b) {
    auto split = [](const std::string& text) {
        size_t digits = text.find_last_not_of("0123456789") + 1;
        std::string number = text.substr(digits);
        number.erase(0, std::min(number.find_first_not_of('0'), number.size()));
        return std::make_tuple(text.substr(0, digits), number.size(), number, text);
    };
    return split(a) < split(b);
}

std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string value;
    std::getline(in, value);
    return in || in.eof() ? value : std::string();
}

// Serial core lists a node for every UART the driver might drive; those it found no chip
// for have type 0 (PORT_UNKNOWN), and on ttyS* the attribute must be there at all.
bool HasUart(const fs::path& node, const std::string& kernelName) {
    std::error_code error;
    fs::path type = node / "type";
    if (!fs::exists(type, error)) return !kernelName.starts_with("ttyS");
    std::string value = ReadAttribute(type);
    value.erase(value.find_last_not_of(" \t\r\n") + 1);
    return !value.empty() && value != "0";
}

std::string DeviceNameFor(const std::string& driver, int index) {
    std::string_view word = driver == kAdapterDriver ? kAdapterDeviceName : driver;
    return std::string(kDevicePrefix) + std::string(word) + std::to_string(index);
}

// The kernel's serial devices with hardware behind them: a device with a bound driver
// (pseudo-terminals and virtual consoles have none), and for UARTs a chip. The index in
// the device name counts the devices of the same driver in kernel order.
std::vector<Port> KernelPorts(const fs::path& sysRoot) {
    std::vector<std::pair<std::string, std::string>> found;  // kernel name, driver
    std::error_code error;
    for (fs::directory_iterator it(sysRoot / "class" / "tty", error), end; !error && it != end;
         it.increment(error)) {
        std::string kernelName = it->path().filename().string();
        fs::path driver = fs::canonical(it->path() / "device" / "driver", error);
        if (error) {
            error.clear();
            continue;
        }
        if (HasUart(it->path(), kernelName))
            found.emplace_back(kernelName, driver.filename().string());
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return KernelNameLess(a.first, b.first); });

    std::map<std::string, int> perDriver;
    std::vector<Port> ports;
    for (const auto& [kernelName, driver] : found) {
        int index = perDriver[driver]++;
        ports.push_back({ComNumberForKernelName(kernelName), kernelName,
                         DeviceNameFor(driver, index), "/dev/" + kernelName});
    }
    return ports;
}

// How the user knows a device: its path under /dev ("pts/3"), else its file name.
std::string DeviceLabel(const fs::path& target) {
    std::string path = target.string();
    return path.starts_with("/dev/") ? path.substr(5) : target.filename().string();
}

// The aliases that are ports by the alias rule; the other entries go to leftOut. claimed
// receives the numbers of the aliases that lead to no port: theirs all the same.
std::vector<Port> AliasPorts(const fs::path& aliasDir, const std::vector<Port>& kernelPorts,
                             std::vector<std::string>& leftOut, std::set<int>& claimed) {
    struct Alias {
        int comNumber;
        fs::path target;
    };
    std::vector<Alias> aliases;
    std::error_code error;
    for (fs::directory_iterator it(aliasDir, error), end; !error && it != end;
         it.increment(error)) {
        std::string fileName = it->path().filename().string();
        if (fileName.front() == '.') continue;  // hidden: p06-sim's locks, an editor's files
        AliasVerdict verdict = JudgeAlias(aliasDir.string(), fileName);
        std::error_code linkError;
        fs::path target = fs::canonical(it->path(), linkError);
        if (verdict == AliasVerdict::Port && !linkError) {
            aliases.push_back({ComNumberOfDevicePath(fileName), target});
        } else {
            leftOut.push_back(it->path().string() + ": " + AliasVerdictText(verdict));
            if (verdict == AliasVerdict::Dangling || verdict == AliasVerdict::NotCharacterDevice)
                claimed.insert(ComNumberOfDevicePath(fileName));
        }
    }

    // Pseudo-terminals are numbered among themselves, in kernel order.
    std::set<std::string, decltype(&KernelNameLess)> ptys(&KernelNameLess);
    for (const Alias& alias : aliases)
        if (IsPseudoTerminalPath(alias.target.string())) ptys.insert(DeviceLabel(alias.target));

    std::vector<Port> ports;
    for (const Alias& alias : aliases) {
        std::string device = DeviceLabel(alias.target);
        std::string name;
        if (ptys.count(device) != 0) {
            auto index = std::distance(ptys.begin(), ptys.find(device));
            name = std::string(kDevicePrefix) + std::string(kPtyDeviceName) + std::to_string(index);
        } else {
            device = alias.target.filename().string();
            auto kernel = std::find_if(kernelPorts.begin(), kernelPorts.end(),
                                       [&](const Port& port) { return port.device == device; });
            // A node without hardware behind it (a virtual console, say) keeps its own name.
            name = kernel != kernelPorts.end() ? kernel->name : std::string(kDevicePrefix) + device;
        }
        ports.push_back({alias.comNumber, device, name, alias.target.string()});
    }
    return ports;
}

bool ComNumberLess(const Port& a, const Port& b) { return a.comNumber < b.comNumber; }

}  // namespace

LinuxPortTable::LinuxPortTable(std::string sysRoot, std::string aliasDir)
    : sysRoot_(std::move(sysRoot)), aliasDir_(std::move(aliasDir)) {}

std::vector<LinuxPortTable::Value> LinuxPortTable::ListPorts(
    std::vector<std::string>* leftOut) const {
    std::vector<std::string> ignored;
    std::vector<std::string>& reasons = leftOut != nullptr ? *leftOut : ignored;
    std::vector<Port> kernelPorts = KernelPorts(sysRoot_);
    // Aliases come first: they take their number from a kernel device that claims it too,
    // also when they lead to no port (the serial line would not open that device either).
    std::set<int> aliasNumbers;
    std::vector<Port> candidates = aliasDir_.empty()
                                       ? std::vector<Port>()
                                       : AliasPorts(aliasDir_, kernelPorts, reasons, aliasNumbers);
    std::stable_sort(candidates.begin(), candidates.end(), ComNumberLess);
    for (const Port& alias : candidates) aliasNumbers.insert(alias.comNumber);
    for (const Port& port : kernelPorts)
        if (port.comNumber != 0 && aliasNumbers.count(port.comNumber) == 0)
            candidates.push_back(port);

    // The table is looked up by name, as the registry is, so a name stands for one port:
    // a device reached through an alias is not listed again under its kernel number, and of
    // two aliases to one device the lower number stays.
    std::set<std::string> names;
    std::vector<Port> ports;
    for (const Port& port : candidates) {
        if (names.insert(port.name).second)
            ports.push_back(port);
        else
            reasons.push_back("COM" + std::to_string(port.comNumber) + ": " + port.path +
                              " is already listed under another number");
    }
    std::stable_sort(ports.begin(), ports.end(), ComNumberLess);

    std::vector<Value> values;
    for (const Port& port : ports)
        values.push_back({port.name, "COM" + std::to_string(port.comNumber), port.path});
    return values;
}

bool LinuxPortTable::KeyExists() { return true; }

bool LinuxPortTable::Open() {
    leftOut_.clear();
    values_ = ListPorts(&leftOut_);
    open_ = true;
    return true;
}

bool LinuxPortTable::QueryInfo(uint32_t& valueCount, uint32_t& maxNameLength) {
    if (!open_) return false;
    valueCount = static_cast<uint32_t>(values_.size());
    maxNameLength = 0;
    for (const Value& value : values_)
        maxNameLength = std::max(maxNameLength, static_cast<uint32_t>(value.name.size()));
    return true;
}

bool LinuxPortTable::EnumValueName(uint32_t index, uint32_t nameBufferSize, std::string& name) {
    // As the registry does, a name must fit the buffer with its closing zero.
    if (!open_ || index >= values_.size() || values_[index].name.size() >= nameBufferSize)
        return false;
    name = values_[index].name;
    return true;
}

const LinuxPortTable::Value* LinuxPortTable::Find(const std::string& name) const {
    auto value = std::find_if(values_.begin(), values_.end(),
                              [&](const Value& v) { return v.name == name; });
    return value == values_.end() ? nullptr : &*value;
}

bool LinuxPortTable::QueryValueType(const std::string& name, uint32_t& type) {
    if (!open_ || Find(name) == nullptr) return false;
    type = kRegSz;
    return true;
}

bool LinuxPortTable::QueryValueData(const std::string& name, std::string& data) {
    const Value* value = open_ ? Find(name) : nullptr;
    if (value == nullptr) return false;
    data = value->data;
    return true;
}

std::string LinuxPortTable::ValueDevice(const std::string& name) {
    const Value* value = open_ ? Find(name) : nullptr;
    return value != nullptr ? value->device : std::string();
}

void LinuxPortTable::Close() {
    open_ = false;
    values_.clear();
}

std::unique_ptr<PortTable> MakeSystemPortTable() {
    // Without a settings directory (no HOME) there are no aliases; the kernel's ports remain.
    std::string aliasDir;
    try {
        aliasDir = PortAliasDirectory();
    } catch (const FileError&) {
    }
    return std::make_unique<LinuxPortTable>("/sys", aliasDir);
}
