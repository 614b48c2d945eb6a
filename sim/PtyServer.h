// Serves the simulated units on a pseudo-terminal registered as a COM port alias, so that
// the program's own serial line opens it like any other port.
#pragma once

#include <csignal>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "sim/BenchScript.h"
#include "sim/DeviceModel.h"
#include "sim/PresenceSchedule.h"
#include "sim/SimOptions.h"

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

    // Serves the units the options describe until stop becomes non-zero: feeds every byte
    // from the port to the unit on the line and sends back its answers, each when it is
    // due, unplugs and plugs the port again when the unit says so, and says on stderr when
    // a unit comes and goes. The caller blocks the stopping signals; they are let through
    // only while waiting, with waitMask, so none is lost between a test of stop and the
    // wait. Returns false with a message in error when the port fails.
    bool Serve(const SimOptions& options, const sigset_t& waitMask,
               const volatile sig_atomic_t& stop, std::string& error);

    // Plays this production line instead of the units of the options, from Serve's start.
    void PlayBench(BenchScript bench) { bench_ = std::move(bench); }

    const std::string& DevicePath() const { return devicePath_; }
    const std::string& AliasPath() const { return aliasPath_; }

private:
    struct OutgoingByte {
        uint64_t dueMs;
        uint8_t byte;
    };

    bool Plug(std::string& error);
    void Unplug();
    void RemoveAlias();
    void ClosePort();
    bool LockComNumber(int comNumber, const std::string& aliasDir, std::string& error);
    bool Hear(uint8_t byte, const SimOptions& options, uint64_t nowMs);
    void Present(const PresenceSchedule::Change& change, const SimOptions& options);
    void FollowBench(uint64_t nowMs, const SimOptions& options);
    std::optional<uint64_t> BenchChangeMs(uint64_t nowMs) const;
    void Queue(const Reply& reply, uint64_t nowMs);
    bool SendDue(uint64_t nowMs, bool log);

    int master_ = -1;
    int device_ = -1;  // the port side, held open so the host's closing never hangs up
    int aliasFd_ = -1;
    int comNumber_ = 0;
    std::string devicePath_;
    std::string aliasPath_;
    std::string aliasTarget_;  // what the alias points at
    int lock_ = -1;            // held while serving: the COM number is taken

    std::optional<DeviceModel> unit_;        // the unit on the line; none while it is silent
    std::optional<PresenceSchedule> units_;  // with --units
    std::optional<BenchScript> bench_;       // with --bench
    uint64_t benchStartMs_ = 0;
    int benchOnLine_ = -1;                // the bench's presence on the line
    std::deque<OutgoingByte> outgoing_;   // in line order, each not before its time
    std::optional<uint64_t> replugAtMs_;  // while unplugged
};
