// Pseudo-terminals, told apart from ports with a line behind them: they take no modem
// lines and no parity, and a p06-sim port is one.
#pragma once

#include <string>

// True when the open descriptor is a pseudo-terminal's port side.
bool IsPseudoTerminal(int fd);
// True when the path leads to a pseudo-terminal's port side (or the multiplexer).
bool IsPseudoTerminalPath(const std::string& path);
