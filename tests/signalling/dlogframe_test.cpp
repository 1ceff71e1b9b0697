#include "signalling/dlogframe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Exact-size copy on the heap, so a read past the end shows under the sanitizers.
std::string Decode(const Bytes& frame, int direction = 0) {
    std::vector<unsigned char> copy(frame);
    char out[ISDN::kLogBufSize];
    std::memset(out, 'x', sizeof out);
    ISDN::dlogframe(copy.data(), static_cast<int>(copy.size()), direction, out);
    return out;
}

// The text after the hex dump line.
std::string Body(const Bytes& frame) {
    const std::string text = Decode(frame);
    return text.substr(text.find('\n') + 1);
}

// An I frame from the user carrying the message octets.
Bytes I(Bytes message) {
    message.insert(message.begin(), {0x00, 0x01, 0x00, 0x00});
    return message;
}

TEST(Dlogframe, FrameHeaders) {
    EXPECT_EQ("", Decode({0x02, 0x01}));
    EXPECT_EQ(" 02 01 01 05\nframe network->user SFrame tei = 0 (01 05 )\n", Decode({0x02, 0x01, 0x01, 0x05}, 1));
    EXPECT_EQ("frame user->network broadcast\nframe too short\n", Body({0x00, 0xFF, 0x03}));
    EXPECT_EQ("frame user->network no UI broadcast\n", Body({0x00, 0xFF, 0x7F}));
    EXPECT_EQ("frame user->network tei management:\n", Body({0xFC, 0xFF, 0x03, 0x0F, 1, 2, 1, 0xFF}));
    EXPECT_EQ("frame user->network unknown sapi 16 broadcast\n", Body({0x40, 0xFF, 0x03}));
    EXPECT_EQ("frame user->network unknown sapi = 16; tei = 64\n", Body({0x40, 0x81, 0x03}));
    EXPECT_EQ("frame user->network IFrame tei = 0\nframe too short\n", Body({0x00, 0x01, 0x00, 0x00}));
    EXPECT_EQ("frame user->network IFrame tei = 0\nUnknown protocol 41!", Body(I({0x41, 0x01, 0x01, 0x05})));
}

TEST(Dlogframe, CallReferenceAndMessageType) {
    EXPECT_EQ("frame user->network IFrame tei = 0\ncallref 1 called size 4 message type SETUP\n",
              Body(I({0x08, 0x01, 0x81, 0x05})));
    EXPECT_EQ("frame user->network IFrame tei = 0\ncallref 1 caller size 4 message type SETUP\n",
              Body(I({0x08, 0x01, 0x01, 0x05})));
    // Primary rate: two octets of call reference value.
    EXPECT_EQ("frame user->network IFrame tei = 0\ncallref 258 called size 5 message type RELEASE COMPLETE\n",
              Body(I({0x08, 0x02, 0x81, 0x02, 0x5A})));
    EXPECT_EQ("frame user->network broadcast\ncallref 0 caller size 3 unknown message type 7f!\n",
              Body({0x00, 0xFF, 0x03, 0x08, 0x00, 0x7F}));
    EXPECT_EQ("frame user->network IFrame tei = 0\nframe too short\n", Body(I({0x08, 0x02, 0x81})));
}

TEST(Dlogframe, InformationElements) {
    const Bytes head = {0x08, 0x01, 0x81, 0x5A};
    auto elements = [&](const Bytes& ies) {
        Bytes m = head;
        m.insert(m.end(), ies.begin(), ies.end());
        const std::string body = Body(I(m));
        return body.substr(body.find("COMPLETE\n") + 9);
    };
    EXPECT_EQ("  Cause\n    coding 00 location 0001\n  cause value 10 : Normal call clearing \n",
              elements({0x08, 0x02, 0x81, 0x90}));
    EXPECT_EQ("  Cause\n    coding 11 location 0000\nUnknown cause type 7e!\n", elements({0x08, 0x02, 0xE0, 0xFE}));
    EXPECT_EQ("  Shift 6\n  Shift 0\n  Reserved 85\n  Sending complete\n  More data\n",
              elements({0x96, 0x90, 0xA5, 0x85, 0xA1, 0xA0}));
    EXPECT_EQ("  attribute 3b attribute size 2\n  Congestion level 1\n", elements({0x3B, 0x02, 0x01, 0x02, 0xB1}));
    EXPECT_EQ("  Called party number\n    octet 3 10000001\n    number digits 123\n",
              elements({0x70, 0x04, 0x81, '1', '2', '3'}));
    EXPECT_EQ("  Calling party number\n    octet 3 00000001\n    octet 3a 10000011\n    number digits 45\n",
              elements({0x6C, 0x04, 0x01, 0x83, '4', '5'}));
    EXPECT_EQ("  Display\n   \"hi.\"\n", elements({0x28, 0x03, 'h', 'i', 0x00}));
    EXPECT_EQ("  Channel identification\n    octet 3 10101001\n", elements({0x18, 0x01, 0xA9}));
    EXPECT_EQ(
        "  Bearer capability\n    octet 3  10000000\n    octet 4  10010000\n    octet 5  10100011\n",
        elements({0x04, 0x03, 0x80, 0x90, 0xA3}));
    EXPECT_EQ("  Progress indicator\n    octet 3  10000010\n    octet 4  10001000\n",
              elements({0x1E, 0x02, 0x82, 0x88}));
    EXPECT_EQ("  Facility\n    octet 3 10010001\n   octet 4 10100001\n   octet 5 2\n   contents  2  1 \n",
              elements({0x1C, 0x05, 0x91, 0xA1, 0x02, 0x02, 0x01}));
}

TEST(Dlogframe, NeverReadsOrWritesPastItsLimits) {
    // An element whose length runs past the frame, and one cut before its length octet.
    EXPECT_EQ("frame user->network IFrame tei = 0\ncallref 1 called size 8 message type SETUP\n"
              "  Called party number\n    octet 3 10000001\n    number digits 1\n",
              Body(I({0x08, 0x01, 0x81, 0x05, 0x70, 0x20, 0x81, '1'})));
    EXPECT_EQ("frame user->network IFrame tei = 0\ncallref 1 called size 5 message type SETUP\n"
              "  attribute 70 cut off\n",
              Body(I({0x08, 0x01, 0x81, 0x05, 0x70})));
    EXPECT_EQ("frame user->network IFrame tei = 0\ncallref 1 called size 9 message type SETUP\n"
              "  Cause\n    coding 00 location 0000\n  cause value 10 : Normal call clearing \n    diag attribute 5 \n",
              Body(I({0x08, 0x01, 0x81, 0x05, 0x08, 0x03, 0x80, 0x90, 0x05})));

    Bytes big(2000, 0x96);
    big[0] = 0x00;
    big[1] = 0x01;
    const std::string text = Decode(big);
    EXPECT_EQ(ISDN::kLogBufSize - 1, text.size());
    EXPECT_EQ("...\n", text.substr(text.size() - 4));
}

}  // namespace
