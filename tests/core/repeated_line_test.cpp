#include "core/repeated_line.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/clock.h"
#include "core/packet_shortage.h"

namespace {

// Writes "bad" the way a link layer does, and returns what reached the log.
std::string Report(RepeatedLine& line) {
    std::ostringstream log;
    if (line.Admit()) log << "bad" << line.suppressed();
    return log.str();
}

TEST(RepeatedLine, OneLineASecondCarriesTheCountOfTheRestAcrossTheClockWrap) {
    Mux::ManualClock clock((uint64_t(1) << 32) - 500);
    RepeatedLine line;
    EXPECT_EQ(Report(line), "bad");
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(Report(line), "");
    EXPECT_EQ(line.pending(), 1000u);
    clock.advance_ms(999);
    EXPECT_EQ(Report(line), "");
    clock.advance_ms(1);  // past the wrap
    EXPECT_EQ(Report(line), "bad (1001 more like it suppressed)");
    EXPECT_EQ(line.pending(), 0u);
    clock.advance_ms(5000);
    EXPECT_EQ(Report(line), "bad");
}

TEST(PacketShortage, OneLineAnEpisodeAndAtMostOneEpisodeLineASecond) {
    Mux::ManualClock clock(1000);
    PacketShortage shortage;
    EXPECT_TRUE(shortage.Refused());
    EXPECT_FALSE(shortage.Refused());
    // A pool that recovers for a frame and runs dry again opens no line of its own.
    shortage.Served();
    EXPECT_FALSE(shortage.Refused());
    clock.advance_ms(1000);
    EXPECT_FALSE(shortage.Refused());  // still the same episode
    shortage.Served();
    EXPECT_TRUE(shortage.Refused());
    EXPECT_EQ(shortage.refused(), 5u);
}

}  // namespace
