// A production line played from a file, for soaks of p06-read --repeat: one presence a line,
//   FROM_MS TO_MS SERIAL [TYPE] [refuse]
// times in milliseconds from the simulator's start, in order and not overlapping; '#'
// starts a comment. A presence is a new unit each time, even with a serial number seen
// before (the same unit back). Pure: the caller passes the time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/DeviceModel.h"

class BenchScript {
public:
    struct Presence {
        uint64_t fromMs, toMs;
        UnitConfig unit;
        bool refuses = false;
    };

    // Empty error: the text was understood; else "line N: what is wrong".
    static BenchScript Parse(const std::string& text, std::string& error);

    // The presence on the line at sinceStartMs, or -1 while the line is silent.
    int PresenceAt(uint64_t sinceStartMs) const;
    // When the line changes next after sinceStartMs; none after the last presence.
    std::optional<uint64_t> NextChangeMs(uint64_t sinceStartMs) const;

    const std::vector<Presence>& Presences() const { return presences_; }

private:
    std::vector<Presence> presences_;
};
