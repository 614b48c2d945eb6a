// Serial port discovery: lists the machine's serial ports as port labels, marks the
// adapter's port and chooses the port the device link is to open. Plain C++, no Qt:
// the port dialog takes it on as its own members.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/PortTable.h"

class PortDiscovery {
public:
    // Reads the machine's own port table.
    PortDiscovery();
    // Reads the given table (tests, other platforms).
    explicit PortDiscovery(std::unique_ptr<PortTable> table);
    virtual ~PortDiscovery();

    bool ScanPorts();
    bool PortsChanged();
    int GetPortNumber();
    bool HasPort() const;
    bool IsAdapterPort();
    static int ParsePortNumber(const std::string& label);
    // Whether a port label carries the adapter mark.
    static bool HasAdapterMark(const std::string& label);

    // The port labels of the last scan, in ascending order, without duplicates.
    std::vector<std::string> PortLabels;
    // The device file of each label, at the same index; empty where the system shows none.
    std::vector<std::string> PortDevices;
    // What the last scan's table left out, one line each with why (Linux aliases).
    std::vector<std::string> LeftOutPorts;
    // Position in PortLabels of the chosen port.
    int SelectedIndex = -1;
    // COM number of the chosen port; 0 means no port; never negative.
    int PortNumber = 0;

protected:
    // Releases the labels (the dialog's destroy event).
    void ReleaseLabels();

private:
    std::unique_ptr<PortTable> table_;
};
