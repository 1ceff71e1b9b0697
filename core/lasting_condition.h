// A condition that a periodic tick or a retry finds again and again while nothing
// new happens: no controller to send to, a peer that does not answer, a device
// request that keeps failing. Its first occurrence is written at once; the rest are
// only counted, with at most one line every kReminder ms that carries the counts
// since the last line. A condition that comes and goes is held to the same pace: a
// start or an end within kReminder of the condition's last line is only counted.
// Counts are never held past their turn: kReminder after the last line a timer
// writes them, whether or not it occurs again: its end once it is off, and while it
// is on "<last line> (still on; N more like it suppressed since the last line[, when
// it came and went M times])", which, unlike an occurrence's own line, stands for
// the N alone. Only a start after kQuiet without the condition is news: it and its
// end are written at once. So whatever its rhythm, one condition writes at most
// 2 + 6 lines an hour, and the last line about it says what is happening now.
#pragma once

#include <cstdint>
#include <iostream>
#include <string>

#include "core/clock.h"
#include "core/limited_line.h"
#include "core/limiter_kinds.h"
#include "core/timer.h"

class LastingCondition {
public:
    static constexpr uint64_t kReminder = 10 * 60 * 1000;  // ms between two lines
    static constexpr uint64_t kQuiet = 60 * 60 * 1000;     // ms away that make a start news

    LastingCondition() = default;
    ~LastingCondition() { Close(); }
    LastingCondition(const LastingCondition&) = delete;
    LastingCondition& operator=(const LastingCondition&) = delete;

    // One more occurrence, which starts the condition when it is off: the line to
    // write to os now, or a held-back one. os must outlive the condition.
    LimitedLine Occurred(std::ostream& os = std::clog) { return Occur(os, false); }
    // One more occurrence of something the owner holds back (a session it only
    // counts): counted with the condition's next line, at the latest a reminder in its
    // turn, never written now, unless the condition has no line yet to count it with.
    LimitedLine Counted(std::ostream& os = std::clog) { return Occur(os, true); }
    // The condition is over (nothing when it was off). Written at once as "<last line>
    // (ended; N more like it suppressed since the last line[, when it came and went M
    // times]; it lasted D s, T in all)" after a start that was news, or kReminder after
    // the last line; otherwise counted, and written by the timer in its turn. A run that
    // came back after it went reads "it was on and off over D s": its span, gaps included.
    void End();
    // The owner wrote a line of detail beside a start that was news: the end waits its
    // turn like any other line, so that the hour still holds 2 + 6 lines.
    void DetailWritten() { news_ = false; }
    // The owner stops (the daemon stops) and what it holds is written now. One that is
    // on did not end: "<last line> (still on at the stop; N more like it suppressed
    // since the last line[, when it came and went M times]; it has lasted D s, T in
    // all)", or "it has been on and off over D s".
    void Close();

    bool on() const { return on_; }
    // A start now would be news, written at once: off, and nothing of it for kQuiet.
    bool quiet() const { return Quiet(Now()); }
    // Occurrences counted since the last line.
    uint32_t pending() const { return pending_; }
    // Times it came and went since the last line, without a line of their own.
    uint32_t cycles() const { return cycles_; }
    // Lines written so far, and whether the last of them said the condition is on (its
    // start or a reminder) rather than that it ended or was still on at the stop.
    uint32_t lines() const { return lines_; }
    bool last_line_on() const { return last_line_on_; }

private:
    static Mux::timeval Now();
    LimitedLine Occur(std::ostream& os, bool counted);
    bool Due(const Mux::timeval& now) const;
    bool Quiet(const Mux::timeval& now) const;
    // Arms the timer that writes the counts held kReminder after the last line.
    void Hold(const Mux::timeval& now);
    // A line went out now, saying the condition is on or not, with the counts held.
    void Wrote(const Mux::timeval& now, bool on);
    // What a line of counts says: the condition is on, ended (at `ended`), or was still
    // on at the stop.
    enum class Counts { On, Ended, AtStop };
    void WriteCounts(Counts counts, const Mux::timeval& now, const Mux::timeval& ended);
    // The counts held are due.
    void OnFlush();

    LineLog log_;
    Mux::timeval last_line_;  // monotonic times: of the last line written,
    Mux::timeval last_seen_;  // of its last start, occurrence or end (while off, its end),
    Mux::timeval run_start_;  // and of the first start after its last end line
    uint64_t run_total_ = 0;  // occurrences since run_start_
    uint32_t pending_ = 0;
    uint32_t cycles_ = 0;
    uint32_t lines_ = 0;
    bool last_line_on_ = false;
    bool on_ = false;
    bool news_ = false;  // this start was news: its end is written at once
    bool run_open_ = false;
    bool run_came_back_ = false;  // it started again within the run
    Timer flush_;
};

// One condition per kind (an address and text, a trunk, a register).
template <class Kind = std::string>
class LastingConditions : public LimiterKinds<LastingCondition, Kind> {
public:
    void EndAll() {
        this->for_each([](LastingCondition& c) { c.End(); });
    }
    void CloseAll() {
        this->for_each([](LastingCondition& c) { c.Close(); });
    }
    bool AnyOn() {
        bool on = false;
        this->for_each([&on](LastingCondition& c) { on = on || c.on(); });
        return on;
    }
    void End(const Kind& kind) {
        if (LastingCondition* c = this->find(kind)) c->End();
    }
    // A failure has one cause at a time: the kind that occurs ends the others.
    LimitedLine OccurredAlone(const Kind& kind, std::ostream& os = std::clog) {
        LastingCondition& cause = (*this)[kind];
        this->for_each([&cause](LastingCondition& c) {
            if (&c != &cause) c.End();
        });
        return cause.Occurred(os);
    }
};
