// Gathering the authentication peer's records from reads of any size.
#include "slots/auth_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/slots/auth_peer.h"

namespace {

// Hands the bytes to the stream a read at a time, each as large as the room asked
// before the space, and returns the user names of the login records delivered.
std::vector<std::string> Feed(AuthRecord::Stream& stream, const std::string& bytes) {
    std::vector<std::string> users;
    for (size_t at = 0; at < bytes.size();) {
        const size_t room = stream.room();
        EXPECT_GT(room, 0u) << "at " << at;
        if (room == 0) break;
        const size_t n = std::min(room, bytes.size() - at);
        std::memcpy(stream.space(), bytes.data() + at, n);
        stream.Filled(n);
        at += n;
        const uint8_t* record = nullptr;
        uint32_t length = 0;
        while (stream.Next(record, length) == AuthRecord::Stream::kRecord) {
            AuthRecord::Login login;
            if (AuthRecord::DecodeLogin(record, length, login)) users.push_back(login.user);
        }
    }
    return users;
}

TEST(AuthRecordStream, AFullBufferEndingInsideARecordHasRoomForTheRest) {
    // 29 records fill all but 36 bytes of the buffer; the 30th straddles its end.
    std::string bytes;
    for (int i = 0; i < 30; ++i) bytes += AuthPeer::Login(1, "u" + std::to_string(i), "");
    AuthRecord::Stream stream;
    const std::vector<std::string> users = Feed(stream, bytes);
    ASSERT_EQ(30u, users.size());
    EXPECT_EQ("u29", users.back());
}

}  // namespace
