#include "cli/PortListing.h"

#include <algorithm>
#include <numeric>

#include "cli/JsonReport.h"
#include "dialogs/PortDiscovery.h"

namespace {

// A CSV field, quoted as RFC 4180 says when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

}  // namespace

std::string PortListing(std::unique_ptr<PortTable> table, int32_t port, ListFormat format,
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
    // p06-read reads no port but the adapter's unless told which.
    const bool adapterChosen = discovery.IsAdapterPort();
    std::string text = format == ListFormat::Csv ? "com,device,adapter\r\n" : "";
    for (const size_t i : order) {
        const std::string& label = discovery.PortLabels[i];
        const int32_t number = PortDiscovery::ParsePortNumber(label);
        const bool adapter = PortDiscovery::HasAdapterMark(label);
        const bool marked = port != 0
                                ? number == port
                                : adapterChosen && static_cast<int>(i) == discovery.SelectedIndex;
        // The device file the port dialog shows as the tooltip; the port's name where the
        // system shows none.
        const std::string& file = discovery.PortDevices[i];
        const std::string device = file.empty() ? "COM" + std::to_string(number) : file;
        if (format == ListFormat::Json) {
            text += std::string(text.empty() ? "[" : ", ") +
                    "{\"port\": " + std::to_string(number) + ", \"label\": " + JsonString(label) +
                    ", \"device\": " + JsonText(device) +
                    ", \"adapter\": " + (adapter ? "true" : "false") +
                    ", \"chosen\": " + (marked ? "true" : "false") + "}";
        } else if (format == ListFormat::Csv) {
            text += std::to_string(number) + "," + CsvField(device) + "," +
                    (adapter ? "yes" : "no") + "\r\n";
        } else {
            text += (marked ? "* " : "  ") + label;
            if (device != "COM" + std::to_string(number)) text += "  " + device;
            text += '\n';
        }
    }
    if (format == ListFormat::Json) text = (text.empty() ? "[" : text) + "]\n";
    return text;
}
