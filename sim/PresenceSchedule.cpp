#include "sim/PresenceSchedule.h"

PresenceSchedule::PresenceSchedule(int units, uint32_t presentMs, uint32_t absentMs,
                                   uint64_t startMs, uint32_t absentMaxMs)
    : units_(units),
      presentMs_(presentMs),
      absentMs_(absentMs),
      absentMaxMs_(absentMaxMs > absentMs ? absentMaxMs : absentMs) {
    if (units_ > 0) due_ = startMs;
}

std::vector<PresenceSchedule::Change> PresenceSchedule::AdvanceTo(uint64_t nowMs) {
    std::vector<Change> changes;
    // Each change is timed from the one before, not from when it was seen: a late look
    // shortens nobody's presence.
    while (due_ && *due_ <= nowMs) {
        if (onLine_ < 0) {
            onLine_ = next_++;
            due_.reset();
            changes.push_back({onLine_, true});
            continue;
        }
        changes.push_back({onLine_, false});
        onLine_ = -1;
        leaving_ = false;
        if (next_ < units_) {
            draw_ = draw_ * 1103515245u + 12345u;  // the C standard's example generator
            due_ = *due_ + absentMs_ + (draw_ >> 8) % (absentMaxMs_ - absentMs_ + 1);
        } else
            due_.reset();
    }
    return changes;
}

void PresenceSchedule::ConversationEnded(uint64_t nowMs) {
    if (onLine_ < 0 || leaving_) return;
    leaving_ = true;
    due_ = nowMs + presentMs_;
}
