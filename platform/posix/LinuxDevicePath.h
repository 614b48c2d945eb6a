// How COM port numbers map to Linux devices: aliases COM<n> in the port alias folder first,
// then a fixed number per kernel device name (ttyS<k> is COM<k+1>, ttyUSB<k> is COM<k+33>,
// ttyACM<k> is COM<k+65>, k below 32), so a number always means the same device.
#pragma once

#include <string>

// The COM number of a kernel tty name ("ttyUSB0" gives 33); 0 when the rule gives none.
int ComNumberForKernelName(const std::string& kernelName);
// The kernel tty name for a COM number ("ttyUSB0" for 33); empty when none.
std::string KernelNameForComNumber(int comNumber);
// The COM number in a Win32 device path "\\.\COM<n>" (or "COM<n>"); 0 when there is none.
int ComNumberOfDevicePath(const std::string& devicePath);
// The file to open for a Win32 device path: <aliasDir>/COM<n> when that alias exists, else
// /dev/<kernel name> from the numbering rule; empty when the path names no known port.
std::string ResolveDevicePath(const std::string& devicePath, const std::string& aliasDir);
