// p06-sim's units coming and going, at explicit times.
#include "sim/PresenceSchedule.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Moment {
    uint64_t ms;
    bool conversationEnded;  // the host ends a conversation at that time
    const char* changes;     // what AdvanceTo then returns: "+1" appears, "-1" goes
    int onLine;
    int64_t nextMs;  // -1: no change due
};

TEST(PresenceScheduleTest, UnitsComeAndGoOnTime) {
    // Three units, each present 300 ms after its first conversation, 100 ms apart.
    PresenceSchedule schedule(3, 300, 100, 1000);
    const Moment moments[] = {
        {999, false, "", -1, 1000}, {1000, false, "+0", 0, -1},  {5000, true, "", 0, 5300},
        {5200, true, "", 0, 5300},  {5299, false, "", 0, 5300},  {5300, false, "-0", -1, 5400},
        {5400, false, "+1", 1, -1}, {6000, true, "", 1, 6300},   {7000, false, "-1+2", 2, -1},
        {7000, true, "", 2, 7300},  {9000, false, "-2", -1, -1}, {9500, true, "", -1, -1},
    };
    for (const Moment& m : moments) {
        SCOPED_TRACE("at " + std::to_string(m.ms) + " ms");
        if (m.conversationEnded) schedule.ConversationEnded(m.ms);
        std::string changes;
        for (const auto& c : schedule.AdvanceTo(m.ms))
            changes += (c.present ? "+" : "-") + std::to_string(c.unit);
        EXPECT_EQ(changes, m.changes);
        EXPECT_EQ(schedule.UnitOnLine(), m.onLine);
        EXPECT_EQ(schedule.NextChangeMs().value_or(uint64_t(-1)), uint64_t(m.nextMs));
    }
}

}  // namespace
