// This user's own copy of a file in the Windows directory, where Windows keeps the file of a
// program that it virtualizes: <Local AppData>\VirtualStore\Windows\<the rest of the path>.
// A standard user (or an administrator without elevation) may read the Windows directory but
// not write it, and Windows redirects such writes only for 32-bit programs without an
// execution level, so this program follows the same rule itself (Win32FileAccess.cpp).
#pragma once

#include <string>

#include "platform/PerUserCopyPath.h"

// PerUserCopyPath with this machine's Windows directory and this user's Local AppData folder; empty
// when either cannot be found.
std::wstring PerUserCopyOf(const std::wstring& path);

// How Windows would treat this process, from its token: elevated (TokenElevation), LocalSystem,
// or a token that may not be virtualized (TokenVirtualizationAllowed: UAC off, a service); else
// standard. Under Wine every process holds an elevated administrator's token while the Unix
// user's rights decide what it may write: there it counts as standard.
ProcessKind ThisProcessKind();
