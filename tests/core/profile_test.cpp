#include "core/profile.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/clock.h"

namespace {

TEST(Profile, SamplesKeepMinMaxLastAndCount) {
    Mux::ManualClock clock((uint64_t(1) << 32) / 1000);  // near the microsecond wrap
    Profile::Point p("probe");
    std::ostringstream before;
    before << p;
    EXPECT_EQ(before.str(), "[probe]: min=0 max=0 avg=0 counter=0");

    clock.set_us((uint64_t(1) << 32) - 30);
    p.begin();
    clock.advance_us(50);  // crosses the 32-bit wrap
    p.end();
    std::ostringstream first;
    first << p;
    EXPECT_EQ(first.str(), "[probe]: min=50 max=50 avg=50 counter=1");

    p.begin();
    clock.advance_us(10);
    p.end();
    p.begin();
    clock.advance_us(300);
    p.end();
    p.begin();
    clock.advance_us(20);
    p.end();
    std::ostringstream os;
    os << std::hex << p;
    EXPECT_EQ(os.str(), "[probe]: min=10 max=300 avg=20 counter=4");

    p.begin();  // begin without end records nothing
    clock.advance_us(5);
    EXPECT_EQ(p.counter(), 4u);
}

TEST(Profile, DumpListsNewestFirstAndDestructionUnlinks) {
    Profile::Point* root_before = Profile::mRoot;
    std::ostringstream os;
    {
        Profile::Point a("a");
        {
            Profile::Point b("b");
            EXPECT_EQ(Profile::mRoot, &b);
            Profile::dump(os);
        }
        EXPECT_EQ(Profile::mRoot, &a);
    }
    EXPECT_EQ(Profile::mRoot, root_before);
    EXPECT_EQ(os.str(),
              "[b]: min=0 max=0 avg=0 counter=0\n"
              "[a]: min=0 max=0 avg=0 counter=0\n");
}

TEST(Profile, UnlinksAPointFromTheMiddle) {
    Profile::Point* a = new Profile::Point("a");
    Profile::Point* b = new Profile::Point("b");
    Profile::Point* c = new Profile::Point("c");
    delete b;
    EXPECT_EQ(Profile::mRoot, c);
    EXPECT_EQ(c->next(), a);
    delete c;
    delete a;
    EXPECT_EQ(Profile::mRoot, nullptr);
}

}  // namespace
