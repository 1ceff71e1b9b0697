#include "core/interfaces.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <strings.h>

#include <gtest/gtest.h>

namespace {

uint32_t Ip(const char* text) {
    return inet_addr(text);
}

TEST(Interfaces, SelectionRule) {
    using namespace Net;
    EXPECT_TRUE(ifconfig_selects(ifconfig_all, "lo", Ip("127.0.0.1")));
    EXPECT_FALSE(ifconfig_selects(ifconfig_no_loopback, "lo", Ip("127.0.0.1")));
    EXPECT_FALSE(ifconfig_selects(ifconfig_no_loopback, "LO", Ip("127.0.0.1")));
    EXPECT_TRUE(ifconfig_selects(ifconfig_no_loopback, "lo0", Ip("127.0.0.1")));
    EXPECT_TRUE(ifconfig_selects(ifconfig_no_loopback, "eth0", Ip("8.8.8.8")));

    ifconfig_mode_t local = ifconfig_link_local | ifconfig_private;
    EXPECT_TRUE(ifconfig_selects(local, "eth0", Ip("169.254.3.4")));
    EXPECT_FALSE(ifconfig_selects(local, "eth0", Ip("169.253.3.4")));
    EXPECT_TRUE(ifconfig_selects(local, "eth0", Ip("192.168.200.1")));
    EXPECT_FALSE(ifconfig_selects(local, "eth0", Ip("192.169.0.1")));
    EXPECT_TRUE(ifconfig_selects(local, "eth0", Ip("172.16.0.1")));
    EXPECT_TRUE(ifconfig_selects(local, "eth0", Ip("172.31.255.255")));
    EXPECT_FALSE(ifconfig_selects(local, "eth0", Ip("172.32.0.1")));
    EXPECT_TRUE(ifconfig_selects(local, "eth0", Ip("10.200.0.1")));
    EXPECT_FALSE(ifconfig_selects(local, "eth0", Ip("11.0.0.1")));
    EXPECT_FALSE(ifconfig_selects(local, "lo", Ip("127.0.0.1")));
    EXPECT_FALSE(ifconfig_selects(ifconfig_private, "eth0", Ip("169.254.3.4")));
}

TEST(Interfaces, ListIncludesLoopbackOnlyWhenAsked) {
    std::list<INet4::Addr> all;
    int n = Net::ifconfig(all, Net::ifconfig_all);
    ASSERT_GE(n, 1);
    EXPECT_EQ(static_cast<size_t>(n), all.size());
    bool loopback = false;
    for (const auto& a : all) loopback |= a.GetStrAddr() == "127.0.0.1";
    EXPECT_TRUE(loopback);

    std::list<INet4::Addr> outside;
    outside.push_back(INet4::Addr());  // appended to, never cleared
    int m = Net::ifconfig(outside, Net::ifconfig_no_loopback);
    ASSERT_GE(m, 0);
    EXPECT_EQ(outside.size(), static_cast<size_t>(m) + 1);
    for (const auto& a : outside) EXPECT_NE(a.GetStrAddr(), "127.0.0.1");

    std::list<INet4::Addr> local;
    ASSERT_GE(Net::ifconfig(local, Net::ifconfig_link_local | Net::ifconfig_private), 0);
    for (const auto& a : local)
        EXPECT_TRUE(Net::ifconfig_selects(Net::ifconfig_link_local | Net::ifconfig_private, "x",
                                          a.raw().sin_addr.s_addr));
}

TEST(Interfaces, NamesByFlags) {
    std::list<std::string> up;
    int n = Net::ifconfig(up, Net::ifconfig_all, IFF_UP | IFF_LOOPBACK);
    ASSERT_GE(n, 1);
    bool lo = false;
    for (const auto& name : up) lo |= name == "lo";
    EXPECT_TRUE(lo);

    std::list<std::string> none;
    EXPECT_EQ(Net::ifconfig(none, Net::ifconfig_no_loopback, IFF_LOOPBACK), 0);
    EXPECT_TRUE(none.empty());
}

TEST(Interfaces, HostName) {
    EXPECT_FALSE(Net::hostname().empty());
}

}  // namespace
