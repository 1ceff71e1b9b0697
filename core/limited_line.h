// A log line that a limiter admitted or held back, and the record the limiter keeps
// of the lines it wrote, for a count written later that names the last of them.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>

// Where a limiter's lines go: the stream its first admitted line named (null until
// then), and the first text line of the last line written.
struct LineLog {
    std::ostream* os = nullptr;
    std::string last_line;
};

// What is streamed into an admitted line is written as it goes out of scope, followed
// by the count of the repeats left out before it and what the limiter adds to that
// count. A line held back is false and writes nothing.
class LimitedLine {
public:
    LimitedLine() = default;  // held back
    LimitedLine(LineLog& log, uint32_t carried, std::string more = {});
    LimitedLine(const LimitedLine&) = delete;
    LimitedLine& operator=(const LimitedLine&) = delete;
    ~LimitedLine();

    explicit operator bool() const { return log_ != nullptr; }
    // Only for an admitted line.
    std::ostream& stream() { return *text_; }

private:
    LineLog* log_ = nullptr;
    uint32_t carried_ = 0;
    std::string more_;
    std::optional<std::ostringstream> text_;
};

template <class T>
std::ostream& operator<<(LimitedLine& line, const T& value) {
    return line.stream() << value;
}
