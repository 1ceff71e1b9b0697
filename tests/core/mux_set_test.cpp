#include "core/mux_set.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "core/fd.h"

namespace {

TEST(MuxSet, RefusesDescriptorsOutsideTheSet) {
    Mux::Set s;
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(s.get(), nullptr);
    EXPECT_FALSE(s.set(FD_SETSIZE));
    EXPECT_FALSE(s.set(FD_SETSIZE + 5000));
    EXPECT_FALSE(s.set(-1));
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(s.max(), -1);
    EXPECT_FALSE(s.isset(FD_SETSIZE));
    s.clr(FD_SETSIZE);  // harmless

    EXPECT_TRUE(s.set(FD_SETSIZE - 1));
    EXPECT_TRUE(s.isset(FD_SETSIZE - 1));
    EXPECT_EQ(s.max(), FD_SETSIZE - 1);
}

TEST(MuxSet, HighestDescriptorFollowsSetAndClear) {
    Mux::Set s;
    s.set(3);
    s.set(9);
    s.set(5);
    EXPECT_EQ(s.max(), 9);
    EXPECT_NE(s.get(), nullptr);
    s.clr(9);
    EXPECT_EQ(s.max(), 5);
    s.clr(3);
    EXPECT_EQ(s.max(), 5);
    s.clr(5);
    EXPECT_EQ(s.max(), -1);
    EXPECT_EQ(s.get(), nullptr);

    Mux::Set a, b, c;
    a.set(4);
    b.set(7);
    EXPECT_EQ(Mux::max_fd(a, b), 7);
    c.set(11);
    EXPECT_EQ(Mux::max_fd(a, b, c), 11);
}

TEST(MuxSet, SelectReportsTheReadyDescriptor) {
    int raw[2];
    ASSERT_EQ(::pipe(raw), 0);
    Fd r(raw[0]), w(raw[1]);

    Mux::Set rd;
    rd.set(r.lowlevel_fd());
    EXPECT_EQ(Mux::select_rd(rd, Mux::timeval{0, 0}), 0);  // nothing yet

    ASSERT_EQ(write(w, "x", 1), 1);
    rd.set(r.lowlevel_fd());
    Mux::Set wr;
    wr.set(w.lowlevel_fd());
    EXPECT_EQ(Mux::select(rd, wr), 2);
    EXPECT_TRUE(rd.isset(r.lowlevel_fd()));
    EXPECT_TRUE(wr.isset(w.lowlevel_fd()));

    Mux::Set wr2, empty;
    wr2.set(w.lowlevel_fd());
    EXPECT_EQ(Mux::select_wr(wr2, Mux::timeval{0, 0}), 1);
    EXPECT_EQ(Mux::select(empty, wr2, empty, Mux::timeval{0, 1000}), 1);
}

}  // namespace
