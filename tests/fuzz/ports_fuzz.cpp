// Port discovery on arbitrary port tables. The registry (or sysfs and the alias folder) can
// hold any names and data, of any type, and can fail part-way; the main window scans it every
// 2000 ms while idle. Whatever it finds, discovery must keep its three members consistent:
//  - PortNumber is never negative;
//  - when there are labels, SelectedIndex points into them and PortNumber is the number of
//    the label it points at, chosen by the bench's rule (the adapter's port first, then the
//    port chosen before, then the first);
//  - the labels are in ascending order of the user's collation, without duplicates;
//  - every scan closes the table as many times as it opened it.
// The input first gives a label for ParsePortNumber, then a table, then a sequence of calls
// with changes to the table between them (ports plugged in or out, the table failing).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/PortDiscovery.h"
#include "platform/TextCompare.h"
#include "tests/support/FakePortTable.h"

namespace {

constexpr size_t kMaxValues = 24;
constexpr int kMaxCalls = 16;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "ports_fuzz: %s\n", what);
        std::abort();
    }
}

bool Contains(const std::string& text, const char* word) {
    return text.find(word) != std::string::npos;
}

// Words the input can pick from, so that the interesting names and data come up often.
const char* const kFragments[] = {"\\Device\\Silabser", "\\Device\\Serial", "COM", "com",
                                  " : ORVANEX",         "ORVANEX",          " ",   "silabser",
                                  "Silabser",           "\\Device\\pty"};

std::string TableText(FuzzedDataProvider& input) {
    std::string text;
    const int parts = input.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < parts; ++i) {
        if (input.ConsumeBool())
            text += input.PickValueInArray(kFragments);
        else
            text += input.ConsumeRandomLengthString(24);
    }
    return text;
}

FakePortValue Value(FuzzedDataProvider& input) {
    FakePortValue value;
    value.name = TableText(input);
    const uint32_t types[] = {kRegSz, kRegExpandSz, kRegDword, 0, 3, 7};
    value.type = input.ConsumeBool() ? kRegSz : input.PickValueInArray(types);
    value.data = TableText(input);
    return value;
}

void ChangeTable(FuzzedDataProvider& input, FakePortTable& table) {
    switch (input.ConsumeIntegralInRange(0, 5)) {
        case 0:
            if (table.values.size() < kMaxValues) table.values.push_back(Value(input));
            break;
        case 1:
            if (!table.values.empty())
                table.values.erase(table.values.begin() + input.ConsumeIntegralInRange<size_t>(
                                                              0, table.values.size() - 1));
            break;
        case 2:
            table.keyAbsent = input.ConsumeBool();
            break;
        case 3:
            table.openFails = input.ConsumeBool();
            table.infoFails = input.ConsumeBool();
            break;
        case 4:
            table.typeQueryFails = input.ConsumeBool();
            table.dataQueryFails = input.ConsumeBool();
            break;
        default:
            break;
    }
}

// The label the bench's rule chooses, written as the rule reads rather than as the scan's
// loop runs: a marked label past the first, else a marked first label, else the last label
// numbered as the port chosen before, else the first.
size_t ExpectedChoice(const std::vector<std::string>& labels, int previousPortNumber) {
    for (size_t i = 1; i < labels.size(); ++i)
        if (Contains(labels[i], "ORVANEX")) return i;
    if (Contains(labels[0], "ORVANEX")) return 0;
    for (size_t i = labels.size(); i-- > 0;)
        if (PortDiscovery::ParsePortNumber(labels[i]) == previousPortNumber) return i;
    return 0;
}

void CheckMembers(const PortDiscovery& discovery, const FakePortTable& table) {
    Require(discovery.PortNumber >= 0, "negative PortNumber");
    Require(table.openCount == table.closeCount, "the table was left open");
    const std::vector<std::string>& labels = discovery.PortLabels;
    for (size_t i = 1; i < labels.size(); ++i)
        Require(CompareLocaleText(labels[i - 1], labels[i]) < 0, "labels unsorted or repeated");
    if (labels.empty()) return;
    Require(
        discovery.SelectedIndex >= 0 && discovery.SelectedIndex < static_cast<int>(labels.size()),
        "SelectedIndex outside PortLabels");
    Require(discovery.PortNumber == PortDiscovery::ParsePortNumber(labels[discovery.SelectedIndex]),
            "PortNumber is not the chosen label's number");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);

    const std::string label = input.ConsumeRandomLengthString(64);
    Require(PortDiscovery::ParsePortNumber(label) >= 0, "negative port number from a label");

    auto owned = std::make_unique<FakePortTable>();
    FakePortTable& table = *owned;
    const size_t valueCount = input.ConsumeIntegralInRange<size_t>(0, kMaxValues);
    for (size_t i = 0; i < valueCount; ++i) table.values.push_back(Value(input));
    table.keyAbsent = input.ConsumeProbability<float>() < 0.1f;
    table.openFails = input.ConsumeProbability<float>() < 0.1f;
    table.infoFails = input.ConsumeProbability<float>() < 0.1f;
    table.typeQueryFails = input.ConsumeProbability<float>() < 0.1f;
    table.dataQueryFails = input.ConsumeProbability<float>() < 0.1f;

    PortDiscovery discovery(std::move(owned));
    // A port chosen before: by the dialog, or by an earlier scan.
    discovery.PortNumber = input.ConsumeIntegralInRange<int>(0, 200);

    for (int call = 0; call < kMaxCalls && input.remaining_bytes() > 0; ++call) {
        const int previous = discovery.PortNumber;
        switch (input.ConsumeIntegralInRange(0, 5)) {
            case 0: {
                const bool found = discovery.ScanPorts();
                if (found && !discovery.PortLabels.empty()) {
                    Require(static_cast<size_t>(discovery.SelectedIndex) ==
                                ExpectedChoice(discovery.PortLabels, previous),
                            "the scan chose another port than the rule gives");
                }
                if (!found) Require(discovery.PortNumber == 0, "a failed scan kept a port");
                break;
            }
            case 1: {
                const bool changed = discovery.PortsChanged();
                if (changed) Require(discovery.PortNumber != previous, "a change without change");
                break;
            }
            case 2:
                Require(discovery.GetPortNumber() == discovery.PortNumber, "GetPortNumber differs");
                break;
            case 3: {
                const bool adapter = discovery.IsAdapterPort();
                if (adapter)
                    Require(discovery.HasPort() &&
                                Contains(discovery.PortLabels[discovery.SelectedIndex], "ORVANEX"),
                            "an adapter port without the mark");
                break;
            }
            case 4:
                Require(discovery.HasPort() == (discovery.PortNumber != 0), "HasPort differs");
                break;
            default:
                ChangeTable(input, table);
                break;
        }
        CheckMembers(discovery, table);
    }
    return 0;
}
