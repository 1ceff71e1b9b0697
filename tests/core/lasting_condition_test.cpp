#include "core/lasting_condition.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "core/clock.h"

namespace {

constexpr uint64_t kMinute = 60 * 1000;

// A condition as a periodic tick finds it, and what reached the log since the last look.
struct Ticker {
    void Tick(const std::string& text = "peer down") {
        if (auto line = condition.Occurred(log)) line << text;
    }
    std::string Taken() { return std::exchange(log, std::ostringstream{}).str(); }

    std::ostringstream log;  // outlives the condition, which writes as it goes
    LastingCondition condition;
};

TEST(LastingCondition, FirstLineAtOnceThenAReminderEveryTenMinutesAndTheCountAtItsEnd) {
    Mux::ManualClock clock((uint64_t(1) << 32) - 1000);  // the 32-bit clock wraps on the way
    Ticker t;
    t.Tick();
    EXPECT_EQ(t.Taken(), "peer down\n");
    // Ticks every second for an hour: the first line and six reminders.
    int lines = 1;
    for (int s = 1; s <= 3600; ++s) {
        clock.advance_ms(1000);
        t.Tick(s == 600 ? "peer down, reminded" : "peer down");
        const std::string written = t.Taken();
        if (s % 600 != 0) {
            ASSERT_EQ(written, "") << s;
            continue;
        }
        ++lines;
        EXPECT_EQ(written, s == 600 ? "peer down, reminded (599 more like it suppressed)\n"
                                    : "peer down (599 more like it suppressed)\n");
    }
    EXPECT_EQ(lines, 7);
    clock.advance_ms(10 * kMinute - 1);
    t.Tick();
    t.Tick();
    EXPECT_EQ(t.condition.pending(), 2u);
    t.condition.End();
    EXPECT_EQ(t.Taken(), "peer down (ended; 2 more like it suppressed since the last line)\n");
    t.condition.End();
    EXPECT_EQ(t.Taken(), "");
    EXPECT_FALSE(t.condition.on());
    // The next occurrence is a new condition, written at once.
    t.Tick("down again");
    EXPECT_EQ(t.Taken(), "down again\n");
}

TEST(LastingCondition, OneStillOnWhenItGoesWritesItsEndNoneOtherwise) {
    Mux::ManualClock clock(1000);
    std::ostringstream log;
    std::optional<LastingCondition> on(std::in_place), never(std::in_place);
    for (int i = 0; i < 3; ++i)
        if (auto line = on->Occurred(log)) line << "no device\nits detail";
    on.reset();
    never.reset();
    EXPECT_EQ(log.str(),
              "no device\nits detail\nno device (ended; 2 more like it suppressed since the last line)\n");
}

TEST(LastingConditions, EachKindStartsWithItsOwnLineAndEndAllEndsOnlyThoseOn) {
    Mux::ManualClock clock(1000);
    std::ostringstream log;
    LastingConditions<> kinds;
    auto occur = [&](const std::string& kind) {
        if (auto line = kinds[kind].Occurred(log)) line << kind;
    };
    occur("refused");
    occur("unreachable");
    occur("refused");
    kinds["idle"];
    EXPECT_EQ(log.str(), "refused\nunreachable\n");
    log.str("");
    kinds.End("unreachable");
    kinds.End("never seen");
    EXPECT_EQ(log.str(), "unreachable (ended; 0 more like it suppressed since the last line)\n");
    log.str("");
    kinds.EndAll();
    EXPECT_EQ(log.str(), "refused (ended; 1 more like it suppressed since the last line)\n");
}

}  // namespace
