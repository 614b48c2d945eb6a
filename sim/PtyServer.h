// Serves a device model on a pseudo-terminal registered as a COM port alias, so that the
// program's own serial line opens it like any other port.
#pragma once

#include <csignal>
#include <string>

#include "sim/DeviceModel.h"

class PtyServer {
public:
    PtyServer() = default;
    // Closes the pseudo-terminal and removes the alias.
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Opens the pseudo-terminal and makes aliasDir/COM<comNumber> lead to its device
    // through /proc/<pid>/fd/<n>, which vanishes with this process. The COM number is locked
    // (aliasDir/.COM<n>.lock) while the simulator runs: a second one is refused.
    // On failure returns false with a message in error.
    bool Start(int comNumber, const std::string& aliasDir, std::string& error);

    // Feeds every byte from the port to the model and sends back its answers, until stop
    // becomes non-zero. The caller blocks the stopping signals; they are let through only
    // while waiting, with waitMask, so none is lost between a test of stop and the wait.
    // Returns false with a message in error when the port fails.
    bool Serve(DeviceModel& model, const sigset_t& waitMask, const volatile sig_atomic_t& stop,
               bool log, std::string& error);

    const std::string& DevicePath() const { return devicePath_; }
    const std::string& AliasPath() const { return aliasPath_; }

private:
    bool WriteAnswer(const std::vector<uint8_t>& bytes, bool log);
    bool LockComNumber(int comNumber, const std::string& aliasDir, std::string& error);

    int master_ = -1;
    int device_ = -1;  // the port side, held open so the host's closing never hangs up
    std::string devicePath_;
    std::string aliasPath_;
    std::string aliasTarget_;  // what the alias points at
    int lock_ = -1;            // held while serving: the COM number is taken
};
