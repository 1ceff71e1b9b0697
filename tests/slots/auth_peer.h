// Records as the PPP authentication peer writes them: 32-bit words in this
// machine's own order, built with memcpy rather than the daemon's codec.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

namespace AuthPeer {

inline std::string Words(std::initializer_list<uint32_t> words) {
    std::string s;
    for (uint32_t w : words) {
        char b[4];
        std::memcpy(b, &w, sizeof b);
        s.append(b, sizeof b);
    }
    return s;
}

// A text in its 64-byte field, NUL-padded (none when it fills the field).
inline std::string Field(const std::string& text) {
    std::string f = text;
    f.resize(64, '\0');
    return f;
}

inline std::string Login(uint32_t session, const std::string& user, const std::string& password) {
    return Words({140, 1, session}) + Field(user) + Field(password);
}

}  // namespace AuthPeer
