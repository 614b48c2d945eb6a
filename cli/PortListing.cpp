#include "cli/PortListing.h"

#include "cli/JsonReport.h"
#include "dialogs/PortDiscovery.h"

std::string PortListing(std::unique_ptr<PortTable> table, int32_t port, bool json,
                        std::vector<std::string>* leftOut) {
    PortDiscovery discovery(std::move(table));
    discovery.ScanPorts();
    if (leftOut != nullptr) *leftOut = discovery.LeftOutPorts;
    std::string text;
    for (size_t i = 0; i < discovery.PortLabels.size(); ++i) {
        const std::string& label = discovery.PortLabels[i];
        const int32_t number = PortDiscovery::ParsePortNumber(label);
        const bool marked =
            port != 0 ? number == port
                      : discovery.PortNumber != 0 && static_cast<int>(i) == discovery.SelectedIndex;
        // The device file the port dialog shows as the tooltip; the port's name where the
        // system shows none.
        const std::string& file = discovery.PortDevices[i];
        const std::string device = file.empty() ? "COM" + std::to_string(number) : file;
        if (json) {
            text += std::string(text.empty() ? "[" : ", ") +
                    "{\"port\": " + std::to_string(number) + ", \"label\": " + JsonString(label) +
                    ", \"device\": " + JsonString(device) +
                    ", \"chosen\": " + (marked ? "true" : "false") + "}";
            continue;
        }
        text += (marked ? "* " : "  ") + label;
        if (device != "COM" + std::to_string(number)) text += "  " + device;
        text += '\n';
    }
    if (json) text = (text.empty() ? "[" : text) + "]\n";
    return text;
}
