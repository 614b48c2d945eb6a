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

// What an entry of the alias folder is. The one rule, shared by the port table and the
// serial line: an alias is named COM1 to COM100 and leads to a character device; any other
// entry is neither listed nor opened.
enum class AliasVerdict { Port, NotComName, NumberOutOfRange, Dangling, NotCharacterDevice };
AliasVerdict JudgeAlias(const std::string& aliasDir, const std::string& fileName);
// Why an entry is no port, for a diagnostic ("leads to nothing"); empty for a port.
const char* AliasVerdictText(AliasVerdict verdict);

// The file to open for a Win32 device path: <aliasDir>/COM<n> when that alias is a port by
// the rule above, else /dev/<kernel name> from the numbering rule when there is no entry
// COM<n>; empty when the path names no port or its alias leads to none, so that the open
// fails as for a missing one (never another device of that number). A path of the system
// ("/dev/pts/3") stands as it is.
std::string ResolveDevicePath(const std::string& devicePath, const std::string& aliasDir);
