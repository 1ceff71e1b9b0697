// A log line that bad input from a line can repeat for every frame. The first of a
// run is written at once; repeats within the next second are only counted. Their
// count goes on the next line written after that second or, when none comes within
// half a second more, on a line of its own that names the run's first line, so a
// run that stops is still accounted for, also when the limiter goes first. A timer
// runs only while repeats are pending. The second is measured on the monotonic clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/timer.h"

class RepeatedLine {
public:
    static constexpr uint32_t kInterval = 1000;  // ms a written line holds its repeats back
    static constexpr uint32_t kGrace = 500;      // ms more for a next line to carry their count

    // One admitted line: what is streamed into it is written, followed by the count
    // of the repeats left out before it, when it goes out of scope. A line held
    // back is false and writes nothing.
    class Line {
    public:
        Line() = default;  // held back
        Line(const Line&) = delete;
        Line& operator=(const Line&) = delete;
        ~Line();

        explicit operator bool() const { return owner_ != nullptr; }
        // Only for an admitted line.
        std::ostream& stream() { return *text_; }

    private:
        friend class RepeatedLine;
        Line(RepeatedLine* owner, uint32_t carried);

        RepeatedLine* owner_ = nullptr;
        uint32_t carried_ = 0;
        std::optional<std::ostringstream> text_;
    };

    RepeatedLine() = default;
    ~RepeatedLine();
    RepeatedLine(const RepeatedLine&) = delete;
    RepeatedLine& operator=(const RepeatedLine&) = delete;

    // The line to write to os now, or a held-back one. os is kept for a count
    // written later, so it must outlive the limiter.
    Line Admit(std::ostream& os = std::clog);

    // Repeats counted but not yet reported.
    uint32_t pending() const { return pending_; }

private:
    // The run ended with repeats that no line carried: their count, alone.
    void OnFlush();

    Mux::timeval last_;  // monotonic time of the last written line
    uint32_t pending_ = 0;
    std::ostream* os_ = nullptr;  // null until a line is written
    std::string first_line_;  // of the last written line, for the count that follows it
    Timer flush_;
};

// One limiter per kind of a family of lines (a status text, a cause), so that a
// kind that floods holds back only its own repeats. The kinds come from a fixed set
// in the code; should more than kMaxKinds turn up, the rest share one limiter.
class RepeatedLineKinds {
public:
    static constexpr std::size_t kMaxKinds = 16;

    RepeatedLine& operator[](const std::string& kind);

private:
    std::vector<std::pair<std::string, std::unique_ptr<RepeatedLine>>> kinds_;
    RepeatedLine others_;
};

template <class T>
std::ostream& operator<<(RepeatedLine::Line& line, const T& value) {
    return line.stream() << value;
}
