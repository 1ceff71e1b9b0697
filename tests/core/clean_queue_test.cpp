#include "core/clean_queue.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/packet.h"

namespace {

Packet Frame(unsigned char id) {
    Packet p;
    p.reserve_head(4);
    p.put8(id);
    return p;
}

unsigned char Id(const Packet& p) {
    return p[0];
}

class CleanQueueTest : public ::testing::Test {
protected:
    void SetUp() override { available_ = Packet_pool::available(); }
    void TearDown() override { EXPECT_EQ(Packet_pool::available(), available_); }
    unsigned InUse() const { return available_ - Packet_pool::available(); }
    unsigned available_ = 0;
};

TEST_F(CleanQueueTest, FullAndEmpty) {
    CleanQueue<Packet, 7> q;
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(q.size(), 7u);
    Packet out;
    EXPECT_FALSE(q.get(&out));
    EXPECT_FALSE(q.get_last(&out));
    EXPECT_FALSE(q.preview(&out));
    EXPECT_TRUE(out.null());

    for (unsigned char i = 0; i < 7; ++i) EXPECT_TRUE(q.put(Frame(i)));
    EXPECT_EQ(q.count(), 7u);
    EXPECT_FALSE(q.put(Frame(7)));
    EXPECT_FALSE(q.append(Frame(8)));
    EXPECT_EQ(q.count(), 7u);
    EXPECT_EQ(InUse(), 7u);
    for (unsigned char i = 0; i < 7; ++i) {
        ASSERT_TRUE(q.get(out));
        EXPECT_EQ(Id(out), i);
    }
    EXPECT_TRUE(q.empty());
    out.clear();
    EXPECT_EQ(InUse(), 0u);
}

TEST_F(CleanQueueTest, TakesFromBothEnds) {
    CleanQueue<Packet, 7> q;
    q.put(Frame('X'));
    q.put(Frame('Y'));
    q.put(Frame('Z'));
    Packet out;
    ASSERT_TRUE(q.get_last(&out));
    EXPECT_EQ(Id(out), 'Z');
    ASSERT_TRUE(q.get(&out));
    EXPECT_EQ(Id(out), 'X');
    EXPECT_EQ(q.count(), 1u);
    ASSERT_TRUE(q.get(&out));
    EXPECT_EQ(Id(out), 'Y');
}

TEST_F(CleanQueueTest, AppendQueuesAtTheFront) {
    CleanQueue<Packet, 327> q;
    q.put(Frame('X'));
    q.append(Frame('Y'));
    Packet out;
    ASSERT_TRUE(q.get(out));
    EXPECT_EQ(Id(out), 'Y');
    ASSERT_TRUE(q.get(out));
    EXPECT_EQ(Id(out), 'X');
    EXPECT_TRUE(q.empty());
}

TEST_F(CleanQueueTest, HandedOutPacketsAreNoLongerHeld) {
    CleanQueue<Packet, 7> q;
    Packet sent = Frame(1);
    q.put(sent);
    EXPECT_EQ(sent.get()->ref_count, 2u);
    Packet out;
    q.get(&out);
    EXPECT_EQ(sent.get()->ref_count, 2u);
    out.clear();
    EXPECT_EQ(sent.get()->ref_count, 1u);
    q.put(sent);
    q.get_last(&out);
    out.clear();
    EXPECT_EQ(sent.get()->ref_count, 1u);
}

TEST_F(CleanQueueTest, PreviewSharesTheFront) {
    CleanQueue<Packet, 120> q;
    q.put(Frame(1));
    q.put(Frame(2));
    EXPECT_TRUE(q.preview(nullptr));
    EXPECT_EQ(q.count(), 2u);
    Packet front;
    ASSERT_TRUE(q.preview(&front));
    EXPECT_EQ(q.count(), 2u);
    EXPECT_EQ(front.get()->ref_count, 2u);
    // A change to the previewed copy leaves the queued frame as it was.
    front.put8(9);
    Packet out;
    q.get(&out);
    EXPECT_EQ(out.text(), "01");
    EXPECT_EQ(front.text(), "01 09");
}

TEST_F(CleanQueueTest, ClearReleasesEveryBlock) {
    CleanQueue<Packet, 135> q;
    for (unsigned char i = 0; i < 10; ++i) q.put(Frame(i));
    Packet out;
    q.get(&out);
    q.append(out);
    out.clear();
    EXPECT_EQ(InUse(), 10u);
    q.clear();
    EXPECT_EQ(q.count(), 0u);
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(InUse(), 0u);
    EXPECT_FALSE(q.get(&out));
    // Usable as new afterwards.
    q.put(Frame(5));
    q.get(&out);
    EXPECT_EQ(Id(out), 5);
}

TEST_F(CleanQueueTest, DestructorReleasesEveryBlock) {
    {
        CleanQueue<Packet, 7> q;
        for (unsigned char i = 0; i < 5; ++i) q.put(Frame(i));
        EXPECT_EQ(InUse(), 5u);
    }
    EXPECT_EQ(InUse(), 0u);
}

TEST_F(CleanQueueTest, IndicesWrapAroundTheRing) {
    CleanQueue<Packet, 7> q;
    Packet out;
    unsigned char next_in = 0, next_out = 0;
    for (int round = 0; round < 40; ++round) {
        while (q.put(Frame(next_in))) ++next_in;
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(q.get(&out));
            EXPECT_EQ(Id(out), next_out++);
        }
    }
    while (q.get(&out)) EXPECT_EQ(Id(out), next_out++);
    EXPECT_EQ(next_in, next_out);
}

TEST_F(CleanQueueTest, MovingUnacknowledgedFramesKeepsTheirOrder) {
    CleanQueue<Packet, 7> sent;
    CleanQueue<Packet, 135> waiting;
    for (unsigned char i = 1; i <= 3; ++i) sent.put(Frame(i));
    waiting.put(Frame(10));
    Packet p;
    while (sent.get_last(&p)) waiting.append(p);
    std::vector<int> order;
    while (waiting.get(&p)) order.push_back(Id(p));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 10}));
}

}  // namespace
