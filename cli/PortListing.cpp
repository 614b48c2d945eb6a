#include "cli/PortListing.h"

#include <algorithm>
#include <numeric>

#include "cli/JsonReport.h"
#include "dialogs/PortDiscovery.h"

std::string PortListing(std::unique_ptr<PortTable> table, int32_t port, bool json,
                        std::vector<std::string>* leftOut) {
    PortDiscovery discovery(std::move(table));
    discovery.ScanPorts();
    if (leftOut != nullptr) *leftOut = discovery.LeftOutPorts;
    // In COM-number order, which is not the labels' order as text (COM10 before COM2).
    std::vector<size_t> order(discovery.PortLabels.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return PortDiscovery::ParsePortNumber(discovery.PortLabels[a]) <
               PortDiscovery::ParsePortNumber(discovery.PortLabels[b]);
    });
    std::string text;
    for (const size_t i : order) {
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
                    ", \"device\": " + JsonText(device) +
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
