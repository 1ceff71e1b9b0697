#include "core/repeated_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/packet_shortage.h"
#include "tests/core/multiplexer_test.h"

namespace {

constexpr uint64_t kDay = 24 * 3600 * 1000ULL;

// A limited line as a link layer writes it, and what reached the log since the last look.
struct Reporter {
    void Bad(const char* text = "bad") {
        if (auto l = line.Admit(log)) l << text;
    }
    std::string Taken() { return std::exchange(log, std::ostringstream{}).str(); }

    std::ostringstream log;
    RepeatedLine line;
};

TEST(RepeatedLine, OneLineASecondCarriesTheCountOfTheRestAcrossTheClockWrap) {
    Mux::ManualClock clock((uint64_t(1) << 32) - 500);
    Reporter r;
    r.Bad();
    EXPECT_EQ(r.Taken(), "bad\n");
    for (int i = 0; i < 1000; ++i) r.Bad();
    EXPECT_EQ(r.line.pending(), 1000u);
    clock.advance_ms(999);
    r.Bad();
    EXPECT_EQ(r.Taken(), "");
    clock.advance_ms(1);  // past the wrap
    r.Bad("again");
    EXPECT_EQ(r.Taken(), "again (1001 more like it suppressed)\n");
    EXPECT_EQ(r.line.pending(), 0u);
}

TEST(RepeatedLine, TheFirstLineAfterAQuietSecondIsWrittenHoweverLongTheQuiet) {
    Mux::ManualClock clock(1000);
    Reporter r;
    r.Bad();
    EXPECT_EQ(r.Taken(), "bad\n");
    for (uint64_t days : {25, 60}) {
        clock.advance_ms(days * kDay);
        r.Bad();
        EXPECT_EQ(r.Taken(), "bad\n") << days << " days";
    }
}

TEST(RepeatedLine, ALimiterThatGoesWritesTheCountItHolds) {
    Mux::ManualClock clock(1000);
    std::ostringstream log;
    {
        RepeatedLine line;
        for (int i = 0; i < 5; ++i)
            if (auto l = line.Admit(log)) l << "link lost\nits dump";
    }
    EXPECT_EQ(log.str(),
              "link lost\nits dump\nlink lost (4 more like it suppressed in the second after it)\n");
    log.str("");
    {
        RepeatedLine line;
        if (auto l = line.Admit(log)) l << "alone";
    }
    EXPECT_EQ(log.str(), "alone\n");
}

TEST(PacketShortage, OneLineAnEpisodeAndAtMostOneEpisodeLineASecond) {
    Mux::ManualClock clock(1000);
    std::ostringstream log;
    PacketShortage shortage;
    auto refused = [&] {
        if (auto line = shortage.Refused(log)) line << "dry";
        return std::exchange(log, std::ostringstream{}).str();
    };
    EXPECT_EQ(refused(), "dry\n");
    EXPECT_EQ(refused(), "");
    // A pool that recovers for a frame and runs dry again opens no line of its own.
    shortage.Served();
    EXPECT_EQ(refused(), "");
    clock.advance_ms(1000);
    EXPECT_EQ(refused(), "");  // still the same episode
    shortage.Served();
    EXPECT_EQ(refused(), "dry (1 more like it suppressed)\n");
    EXPECT_EQ(shortage.refused(), 5u);
}

class RepeatedLineLoop : public LoopTest {
protected:
    // Runs the loop for ms of the manual clock; returns the poll time-outs it took.
    std::vector<int> Advance(unsigned ms) {
        timeouts.clear();
        Timer stop;
        stop.set(
            ms, +[] { multiplexer.terminate(); });
        run();
        return timeouts;
    }
};

TEST_F(RepeatedLineLoop, ARunThatStopsHasItsCountWrittenOnceNamingItsFirstLine) {
    Reporter r;
    r.Bad("bad frame 1\nits dump");
    Advance(300);
    for (int i = 0; i < 999; ++i) r.Bad("bad frame 2");
    EXPECT_EQ(r.Taken(), "bad frame 1\nits dump\n");
    Advance(1199);  // half a second after the second, for a next line to carry the count
    EXPECT_EQ(r.Taken(), "");
    Advance(2);
    EXPECT_EQ(r.Taken(), "bad frame 1 (999 more like it suppressed in the second after it)\n");
    // Once, and nothing runs while nothing is pending.
    EXPECT_EQ(Advance(5000), std::vector<int>{5000});
    EXPECT_EQ(r.Taken(), "");

    // A run that goes on carries its count on the next line instead.
    r.Bad("bad 3");
    r.Bad("bad 4");
    Advance(1000);
    r.Bad("bad 5");
    EXPECT_EQ(Advance(3000), std::vector<int>{3000});
    EXPECT_EQ(r.Taken(), "bad 3\nbad 5 (1 more like it suppressed)\n");
}

TEST_F(RepeatedLineLoop, WallClockStepsMoveNeitherTheSecondNorItsCount) {
    Reporter r;
    r.Bad();
    clock.step_wall_ms(3600 * 1000);
    r.Bad();
    clock.step_wall_ms(-600 * 1000);
    r.Bad();
    EXPECT_EQ(r.Taken(), "bad\n");
    Advance(1499);
    EXPECT_EQ(r.Taken(), "");
    Advance(1);
    EXPECT_EQ(r.Taken(), "bad (2 more like it suppressed in the second after it)\n");
}

TEST_F(RepeatedLineLoop, EachKindHoldsBackOnlyItsOwnRepeats) {
    std::ostringstream log;  // outlives the limiters, which write what they hold as they go
    RepeatedLineKinds kinds;
    auto write = [&](const std::string& kind) {
        if (auto line = kinds[kind].Admit(log)) line << kind;
    };
    for (int i = 0; i < 20; ++i) write("UA (F = 0)");
    write("UA (F = 1)");
    Advance(2000);
    EXPECT_EQ(log.str(),
              "UA (F = 0)\nUA (F = 1)\nUA (F = 0) (19 more like it suppressed in the second after it)\n");
    // Kinds past the bound share one limiter instead of growing without end.
    log.str("");
    for (std::size_t i = 0; i < RepeatedLineKinds::kMaxKinds + 5; ++i) write("kind " + std::to_string(i));
    EXPECT_EQ(&kinds["kind 99"], &kinds["kind 20"]);
    EXPECT_NE(&kinds["kind 13"], &kinds["kind 20"]);
}

}  // namespace
