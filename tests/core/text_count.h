#pragma once

#include <cstddef>
#include <string>

// How many times part occurs in text, overlaps included.
inline std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}
