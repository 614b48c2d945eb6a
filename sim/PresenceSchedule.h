// Which of p06-sim's units is on the line as time goes by, as on a production line: a unit
// stays from its appearance until presentMs after the host first ended a conversation with
// it, then the line is silent for absentMs, then the next unit appears. After the last one
// the line stays silent. Pure: the caller passes the time, in milliseconds of any clock
// that never goes back.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

class PresenceSchedule {
public:
    // The first unit appears at startMs. Each silence lasts from absentMs to absentMaxMs,
    // drawn from a fixed sequence, so a run can be played again.
    PresenceSchedule(int units, uint32_t presentMs, uint32_t absentMs, uint64_t startMs,
                     uint32_t absentMaxMs = 0);

    struct Change {
        int unit;  // 0 for the first
        bool present;
    };
    // Moves on to nowMs; returns the appearances and departures on the way, in order.
    std::vector<Change> AdvanceTo(uint64_t nowMs);
    // The host ended a conversation with the unit on the line; the first time starts the
    // unit's present time.
    void ConversationEnded(uint64_t nowMs);

    // The unit on the line, or -1 while the line is silent.
    int UnitOnLine() const { return onLine_; }
    // When the next change is due; none while a unit waits for its first conversation to
    // end, nor after the last unit has gone.
    std::optional<uint64_t> NextChangeMs() const { return due_; }

private:
    int units_;
    uint32_t presentMs_;
    uint32_t absentMs_;
    uint32_t absentMaxMs_;
    uint32_t draw_ = 12345;  // the state of the silences' sequence
    int onLine_ = -1;
    int next_ = 0;  // the unit that appears next
    bool leaving_ = false;
    std::optional<uint64_t> due_;
};
