#include "core/inet4_addr.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace {

using INet4::Addr;

TEST(INet4Addr, ResetPrintsZeroAndIsAllZeroBytesButTheFamily) {
    Addr a;
    EXPECT_EQ(a.GetString(), "0.0.0.0:0");
    sockaddr_in expected;
    std::memset(&expected, 0, sizeof(expected));
    expected.sin_family = AF_INET;
    EXPECT_EQ(std::memcmp(&a.raw(), &expected, sizeof(expected)), 0);
    EXPECT_EQ(a.size(), sizeof(sockaddr_in));
}

TEST(INet4Addr, DottedQuadWithPort) {
    Addr a;
    int port = 0;
    EXPECT_TRUE(a.Assign("10.0.0.1:20001", &port));
    EXPECT_EQ(port, 20001);
    EXPECT_EQ(a.port(), 20001);
    EXPECT_EQ(a.GetStrAddr(), "10.0.0.1");
    EXPECT_EQ(a.GetString(), "10.0.0.1:20001");
    EXPECT_EQ(a.raw().sin_addr.s_addr, inet_addr("10.0.0.1"));
    EXPECT_EQ(a.raw().sin_port, htons(20001));
    EXPECT_EQ(a.GetVector(), (std::vector<unsigned char>{10, 0, 0, 1}));
}

TEST(INet4Addr, TextWithoutPortKeepsThePreviousPort) {
    Addr a;
    ASSERT_TRUE(a.Assign("192.168.1.2:5060"));
    int port = 0;
    EXPECT_TRUE(a.Assign("10.0.0.1", &port));
    EXPECT_EQ(port, -1);
    EXPECT_EQ(a.GetString(), "10.0.0.1:5060");

    a = std::string("172.16.0.9");
    EXPECT_EQ(a.GetString(), "172.16.0.9:5060");
    Addr fresh(std::string("172.16.0.9"));
    EXPECT_EQ(fresh.GetString(), "172.16.0.9:0");
}

TEST(INet4Addr, PortTextIsNeverRejected) {
    Addr a;
    int port = 7;
    EXPECT_TRUE(a.Assign("10.0.0.1:abc", &port));
    EXPECT_EQ(port, 0);
    EXPECT_EQ(a.port(), 0);

    EXPECT_TRUE(a.Assign("10.0.0.1:70000", &port));
    EXPECT_EQ(port, 70000);
    EXPECT_EQ(a.port(), 4464);  // cut to 16 bits

    EXPECT_TRUE(a.Assign("10.0.0.1: 80x", &port));
    EXPECT_EQ(port, 80);

    // Far beyond int: saturates instead of overflowing.
    EXPECT_TRUE(a.Assign("10.0.0.1:99999999999999999999999", &port));
    EXPECT_EQ(port, 2147483647);
    EXPECT_TRUE(a.Assign("10.0.0.1:-99999999999999999999999", &port));
    EXPECT_EQ(port, -2147483647 - 1);
}

TEST(INet4Addr, BadAddressTextFailsAfterThePortIsSet) {
    Addr a;
    ASSERT_TRUE(a.Assign("10.1.2.3:1"));
    int port = 0;
    EXPECT_FALSE(a.Assign("host:80", &port));
    EXPECT_EQ(port, 80);
    EXPECT_EQ(a.GetString(), "10.1.2.3:80");  // address untouched

    EXPECT_FALSE(a.Assign(""));
    EXPECT_FALSE(a.Assign("1.2.3.256"));
    EXPECT_FALSE(a.Assign("1.2.3.4.5"));
    EXPECT_FALSE(a.Assign(":80"));
    EXPECT_FALSE(a.Assign(static_cast<const char*>(nullptr)));
    EXPECT_EQ(a.GetStrAddr(), "10.1.2.3");
}

TEST(INet4Addr, ShortAndNumericFormsAsInetAtonTakesThem) {
    Addr a;
    EXPECT_TRUE(a.Assign("127.1"));
    EXPECT_EQ(a.GetStrAddr(), "127.0.0.1");
    EXPECT_TRUE(a.Assign("0x0a.010.0.1"));
    EXPECT_EQ(a.GetStrAddr(), "10.8.0.1");
}

TEST(INet4Addr, EqualityIgnoresTheFamily) {
    Addr a, b;
    ASSERT_TRUE(a.Assign("10.0.0.1:20001"));
    b = a;
    EXPECT_TRUE(a == b);
    reinterpret_cast<sockaddr_in*>(static_cast<sockaddr*>(b))->sin_family = AF_UNSPEC;
    EXPECT_TRUE(a == b);
    b.port(20002);
    EXPECT_FALSE(a.IsEqual(b));
    b.port(20001);
    b.Assign(inet_addr("10.0.0.2"));
    EXPECT_FALSE(a == b);
}

TEST(INet4Addr, StreamForcesADecimalPort) {
    Addr a;
    ASSERT_TRUE(a.Assign("1.2.3.4:255"));
    std::ostringstream os;
    os << std::hex << a;
    EXPECT_EQ(os.str(), "1.2.3.4:255");
}

}  // namespace
