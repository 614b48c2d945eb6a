// How the system names the serial ports and what its port errors mean, for the reader's
// records and messages. One file per system, chosen by the build.
#pragma once

#include <cstdint>
#include <string>

// The system's path of COM<port>: "/dev/ttyUSB0" (an alias followed to its device), "COM5".
std::string DevicePathOfPort(int32_t port);

// The COM number whose port is this device path or port name; 0 when none is.
int32_t PortOfDevicePath(const std::string& path);

// The port's open failed because there is no such device (yet): nothing is plugged in.
bool IsNoSuchPort(int32_t systemCode);

// The port's open failed because another program holds it.
bool IsPortInUse(int32_t systemCode);

// The user may not open the port: on Linux, not in the group that owns it.
bool IsNoAccess(int32_t systemCode);

// What gives the user access to the ports; empty when nothing does.
std::string AccessHint();
