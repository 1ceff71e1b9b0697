#include "core/lasting_condition.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/timer.h"
#include "tests/core/lasting_lines.h"
#include "tests/core/line_capture.h"
#include "tests/core/multiplexer_test.h"

namespace {

constexpr uint64_t kSecond = 1000;
constexpr uint64_t kMinute = 60 * kSecond;
constexpr uint64_t kHour = 60 * kMinute;

// What reached the log since the last look.
std::vector<std::string> Taken(const testing_core::LineCapture& log, std::size_t& seen) {
    const std::vector<std::string> all = log.texts();
    std::vector<std::string> taken(all.begin() + static_cast<long>(seen), all.end());
    seen = all.size();
    return taken;
}

class ConditionLoop : public LoopTest {
protected:
    using Lines = std::vector<std::string>;

    void Advance(uint64_t ms) {
        Timer stop;
        stop.set(
            static_cast<unsigned>(ms), +[] { multiplexer.terminate(); });
        run();
    }
    void Occur(const std::string& text = "peer down") {
        ++occurrences;
        if (auto line = condition.Occurred(log)) line << text;
    }

    std::ostream log{nullptr};  // outlives the condition, which writes what it holds as it goes
    testing_core::LineCapture sink{log};
    std::size_t seen = 0;
    LastingCondition condition;
    uint64_t occurrences = 0;
};

TEST_F(ConditionLoop, ALastingOneWritesItsStartAReminderEveryTenMinutesAndItsEndWithTheTotals) {
    clock.set_ms((uint64_t(1) << 32) - 1000);  // the 32-bit clock wraps on the way
    Occur();
    EXPECT_EQ(Taken(sink, seen), Lines{"peer down"});
    for (int s = 1; s <= 3600; ++s) {
        clock.advance_ms(kSecond);
        Occur(s == 600 ? "peer down, reminded" : "peer down");
        const Lines written = Taken(sink, seen);
        if (s % 600 != 0) {
            ASSERT_EQ(written, Lines{}) << s;
            continue;
        }
        EXPECT_EQ(written, Lines{s == 600 ? "peer down, reminded (599 more like it suppressed)"
                                          : "peer down (599 more like it suppressed)"});
    }
    clock.advance_ms(10 * kMinute - 1);
    Occur();
    Occur();
    EXPECT_EQ(condition.pending(), 2u);
    condition.End();
    EXPECT_EQ(Taken(sink, seen),
              Lines{"peer down (ended; 2 more like it suppressed since the last line; it lasted "
                    "4199 s, 3603 in all)"});
    condition.End();
    EXPECT_EQ(Taken(sink, seen), Lines{});

    // Back and away again within ten minutes of that line: only counted, then written
    // by the timer ten minutes after the line, as the condition stays away.
    clock.advance_ms(kMinute);
    Occur();
    clock.advance_ms(2 * kSecond);
    condition.End();
    EXPECT_EQ(condition.cycles(), 1u);
    Advance(10 * kMinute - 62 * kSecond - 1);
    EXPECT_EQ(Taken(sink, seen), Lines{});
    Advance(1);
    EXPECT_EQ(Taken(sink, seen),
              Lines{"peer down (ended; 1 more like it suppressed since the last line, when it came "
                    "and went once; it lasted 2.0 s, 1 in all)"});
    // An hour without it: its next start is news again, and so is the end of that.
    Advance(kHour);
    Occur("down again");
    condition.End();
    EXPECT_EQ(Taken(sink, seen), (Lines{"down again",
                                        "down again (ended; 0 more like it suppressed since the last "
                                        "line; it lasted 0.0 s, 1 in all)"}));
}

TEST_F(ConditionLoop, OneThatComesAndGoesEveryOtherSecondWritesEightLinesAnHourAndCountsEveryOccurrence) {
    for (int s = 0; s < 3600; ++s) {
        if (s % 2 == 0)
            Occur();
        else
            condition.End();
        Advance(kSecond);
    }
    const Lines hour = Taken(sink, seen);
    ASSERT_EQ(hour.size(), 7u);
    EXPECT_EQ(hour[1],
              "peer down (ended; 0 more like it suppressed since the last line; it lasted 1.0 s, 1 in all)");
    EXPECT_EQ(hour[2],
              "peer down (still on; 300 more like it suppressed since the last line, when it came and went "
              "299 times)");
    Advance(10 * kMinute);
    const Lines rest = Taken(sink, seen);
    ASSERT_EQ(rest.size(), 1u);
    const ConditionLines c = Account(sink.texts(), "peer down");
    EXPECT_EQ(c.counted, 1800u);
    EXPECT_TRUE(c.ended);
}

// What an owner holds back is counted with the line that comes; a line of detail beside
// a start that was news makes its end wait its turn.
TEST_F(ConditionLoop, CountedOccurrencesWaitForTheNextLineAndADetailDefersTheEnd) {
    EXPECT_TRUE(condition.quiet());
    if (auto line = condition.Counted(log)) line << "peer down";  // no line yet to count it with
    EXPECT_EQ(Taken(sink, seen), Lines{"peer down"});
    EXPECT_FALSE(condition.quiet());
    Advance(kHour);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(condition.Counted(log)) << "due, yet held";
    EXPECT_EQ(condition.pending(), 3u);
    condition.End();
    EXPECT_EQ(Taken(sink, seen), (Lines{"peer down (ended; 3 more like it suppressed since the last line; "
                                        "it lasted 3600 s, 4 in all)"}));

    // After an hour away it is news: a detail beside its start sends its end to the
    // timer, ten minutes after the start.
    Advance(kHour);
    EXPECT_TRUE(condition.quiet());
    Occur();
    condition.DetailWritten();
    Advance(kSecond);
    condition.End();
    EXPECT_EQ(Taken(sink, seen), Lines{"peer down"});
    EXPECT_FALSE(condition.quiet());
    Advance(10 * kMinute);
    EXPECT_EQ(Taken(sink, seen), (Lines{"peer down (ended; 0 more like it suppressed since the last line, "
                                        "when it came and went once; it lasted 1.0 s, 1 in all)"}));
}

// Counts are written in their turn, ten minutes after the last line, whether or not
// the condition occurs again: while it is on, as a reminder.
TEST_F(ConditionLoop, CountsHeldWhileItIsOnAreRemindedInTheirTurnWithoutAnotherOccurrence) {
    Occur();
    Advance(kSecond);
    condition.End();
    EXPECT_EQ(Taken(sink, seen).size(), 2u) << "a start that was news and its end";
    // Back within ten minutes of that end, away and back again, then nothing more.
    Advance(kMinute);
    Occur();
    Advance(kSecond);
    condition.End();
    Advance(kSecond);
    Occur();
    Advance(10 * kMinute - 62 * kSecond - 1);
    EXPECT_EQ(Taken(sink, seen), Lines{});
    Advance(1);
    EXPECT_EQ(Taken(sink, seen), Lines{"peer down (still on; 2 more like it suppressed since the last line, when it "
                    "came and went once)"});
    Advance(15 * kMinute);
    EXPECT_EQ(Taken(sink, seen), Lines{}) << "nothing held, nothing written";

    // What the owner only counts is reminded alike: overdue, in the next pass.
    EXPECT_FALSE(condition.Counted(log));
    Advance(1);
    EXPECT_EQ(Taken(sink, seen), Lines{"peer down (still on; 1 more like it suppressed since the last line)"});
    for (int i = 0; i < 2; ++i) {
        Advance(kMinute);
        EXPECT_FALSE(condition.Counted(log));
    }
    Advance(8 * kMinute - 2);
    EXPECT_EQ(Taken(sink, seen), Lines{});
    Advance(1);
    EXPECT_EQ(Taken(sink, seen), Lines{"peer down (still on; 2 more like it suppressed since the last line)"});
}

// Episodes of one to three occurrences, on and away for spans that straddle the
// ten-minute and hour marks: periodic rhythms of each pair, then a random mix.
TEST_F(ConditionLoop, WhateverTheRhythmNoHourHoldsMoreThanEightLinesAndEveryOccurrenceIsCounted) {
    const uint64_t spans[] = {kSecond,      599 * kSecond,  600 * kSecond,  601 * kSecond,  602 * kSecond,
                              20 * kMinute, 1199 * kSecond, 3599 * kSecond, kHour + kSecond};
    std::mt19937 random(45);
    auto rhythm = [&](auto on, auto away, int episodes) {
        std::ostream log(nullptr);
        testing_core::LineCapture sink(log);
        uint64_t occurrences = 0;
        {
            LastingCondition condition;
            auto occur = [&] {
                ++occurrences;
                if (auto line = condition.Occurred(log)) line << "peer down";
            };
            for (int episode = 0; episode < episodes; ++episode) {
                occur();
                for (unsigned again = random() % 3; again > 0; --again) {
                    Advance(kSecond);
                    occur();
                }
                Advance(on());
                condition.End();
                Advance(away());
            }
            Advance(10 * kMinute);
            EXPECT_EQ(condition.pending() + condition.cycles(), 0u);
        }
        EXPECT_EQ(Account(sink.texts(), "peer down").counted, occurrences);
        std::vector<uint32_t> at;
        for (const testing_core::LineCapture::Line& line : sink.lines()) at.push_back(line.ms);
        EXPECT_LE(MostInAnHour(at), 8u);
    };
    for (uint64_t on : {kSecond, 599 * kSecond, 601 * kSecond})
        for (uint64_t away : spans) {
            SCOPED_TRACE(std::to_string(on) + " ms on, " + std::to_string(away) + " ms away");
            rhythm([on] { return on; }, [away] { return away; }, 12);
        }
    auto any = [&] { return spans[random() % std::size(spans)]; };
    rhythm(any, any, 400);
}

// At the stop a condition that is on says so; only one that ended says "ended".
TEST(LastingCondition, OneThatGoesWritesWhatItHoldsAndNothingOtherwise) {
    Mux::ManualClock clock(1000);
    std::ostringstream log;
    std::optional<LastingCondition> on(std::in_place), away(std::in_place), never(std::in_place);
    for (int i = 0; i < 3; ++i)
        if (auto line = on->Occurred(log)) line << "no device\nits detail";
    on.reset();
    if (auto line = away->Occurred(log)) line << "refused";
    away->End();
    if (auto line = away->Occurred(log)) line << "refused";
    away->End();
    away.reset();
    never.reset();
    EXPECT_EQ(
        log.str(),
        "no device\nits detail\n"
        "no device (still on at the stop; 2 more like it suppressed since the last line; it has lasted 0.0 s, "
        "3 in all)\n"
        "refused\nrefused (ended; 0 more like it suppressed since the last line; it lasted 0.0 s, 1 in all)\n"
        "refused (ended; 1 more like it suppressed since the last line, when it came and went once; it "
        "lasted 0.0 s, 1 in all)\n");
}

TEST(LastingConditions, EachKindStartsWithItsOwnLineAndACauseThatOccursAloneEndsTheOthers) {
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
    EXPECT_EQ(
        log.str(),
        "unreachable (ended; 0 more like it suppressed since the last line; it lasted 0.0 s, 1 in all)\n");
    log.str("");
    kinds.EndAll();
    EXPECT_EQ(log.str(),
              "refused (ended; 1 more like it suppressed since the last line; it lasted 0.0 s, 2 in all)\n");

    // One failure, one cause at a time: a new cause is written at once and ends the last.
    LastingConditions<> causes;
    log.str("");
    for (const char* cause : {"EIO", "EIO", "ETIMEDOUT"})
        if (auto line = causes.OccurredAlone(cause, log)) line << "read fail: " << cause;
    EXPECT_EQ(
        log.str(),
        "read fail: EIO\n"
        "read fail: EIO (ended; 1 more like it suppressed since the last line; it lasted 0.0 s, 2 in all)\n"
        "read fail: ETIMEDOUT\n");
    EXPECT_TRUE(causes["ETIMEDOUT"].on());
    EXPECT_FALSE(causes["EIO"].on());
}

}  // namespace
