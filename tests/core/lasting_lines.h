// What the log lines of one lasting condition account for.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ConditionLines {
    std::size_t written = 0;    // the first line and the reminders, either kind
    std::uint64_t counted = 0;  // the occurrences they and the end line stand for
    bool ended = false;
    bool still_on = false;  // its last line came at the stop, while it was on
};

// The most lines any hour holds, given the loop times (ms) of lines in the order written.
inline std::size_t MostInAnHour(const std::vector<std::uint32_t>& ms) {
    std::size_t most = 0;
    for (std::size_t first = 0, end = 0; first < ms.size(); ++first) {
        while (end < ms.size() && ms[end] - ms[first] <= 60u * 60 * 1000) ++end;
        most = std::max(most, end - first);
    }
    return most;
}

// The lines that start with the condition's text, in order: an occurrence's line
// stands for itself and the "(N more like it suppressed)" before it; the timer's
// reminder, the end line and the stop's line for their N alone.
inline ConditionLines Account(const std::vector<std::string>& lines, const std::string& text) {
    ConditionLines c;
    for (const std::string& line : lines) {
        if (line.compare(0, text.size(), text) != 0) continue;
        const std::string rest = line.substr(text.size());
        const bool end = rest.rfind(" (ended; ", 0) == 0;
        const bool stop = rest.rfind(" (still on at the stop; ", 0) == 0;
        const bool reminder = rest.rfind(" (still on; ", 0) == 0;
        const std::size_t digits = rest.find_first_of("0123456789");
        const std::uint64_t n =
            rest.rfind(" (", 0) == 0 && digits != std::string::npos ? std::stoull(rest.substr(digits)) : 0;
        c.ended = c.ended || end;
        c.still_on = c.still_on || stop;
        c.written += end || stop ? 0 : 1;
        c.counted += n + (end || stop || reminder ? 0 : 1);
    }
    return c;
}
