// A standard stream's lines as a test sees them.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "core/clock.h"

namespace testing_core {

// Takes over a standard stream and keeps its lines, each with the loop time at which
// it was ended.
class LineCapture : public std::streambuf {
public:
    explicit LineCapture(std::ostream& os) : os_(os), old_(os.rdbuf(this)) {}
    ~LineCapture() override { os_.rdbuf(old_); }
    LineCapture(const LineCapture&) = delete;
    LineCapture& operator=(const LineCapture&) = delete;

    struct Line {
        uint32_t ms;
        std::string text;
    };
    const std::vector<Line>& lines() const { return lines_; }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Line& l : lines_) out.push_back(l.text);
        return out;
    }
    // Without the loop's own "Mux: terminating..." lines.
    std::vector<std::string> own_texts() const {
        std::vector<std::string> out = texts();
        std::erase(out, "Mux: terminating...");
        return out;
    }
    size_t count(const std::string& text) const {
        size_t n = 0;
        for (const Line& l : lines_) n += l.text == text;
        return n;
    }
    size_t count_prefix(const std::string& prefix) const {
        size_t n = 0;
        for (const Line& l : lines_) n += l.text.compare(0, prefix.size(), prefix) == 0;
        return n;
    }
    // The first line that starts with prefix, empty when none does.
    std::string first_with(const std::string& prefix) const {
        for (const Line& l : lines_)
            if (l.text.compare(0, prefix.size(), prefix) == 0) return l.text;
        return std::string();
    }
    std::optional<uint32_t> time_of(const std::string& text, size_t nth = 0) const {
        for (const Line& l : lines_)
            if (l.text == text && nth-- == 0) return l.ms;
        return std::nullopt;
    }
    void clear() { lines_.clear(); }

protected:
    int overflow(int c) override {
        if (c == '\n') {
            lines_.push_back({Mux::milliseconds(), current_});
            current_.clear();
        } else if (c != traits_type::eof()) {
            current_ += static_cast<char>(c);
        }
        return c;
    }

private:
    std::ostream& os_;
    std::streambuf* old_;
    std::string current_;
    std::vector<Line> lines_;
};

}  // namespace testing_core
