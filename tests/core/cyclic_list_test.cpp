#include "core/cyclic_list.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

using Containers::CyclicList;

struct Receiver {
    virtual ~Receiver() = default;
    int timeslot = 0;
    CyclicList link;
};

std::vector<CyclicList*> Walk(CyclicList& head) {
    std::vector<CyclicList*> out;
    for (auto it = head.begin(); it != head.end(); ++it) out.push_back(*it);
    return out;
}

TEST(CyclicList, NewHeadIsEmpty) {
    CyclicList head;
    EXPECT_TRUE(head.begin() == head.end());
    EXPECT_TRUE(head.empty());
}

TEST(CyclicList, AddToTailMovesAndDestructorUnlinks) {
    CyclicList head;
    CyclicList y;
    {
        CyclicList x;
        head.AddToTail(&x);
        head.AddToTail(&y);
        EXPECT_EQ(Walk(head), (std::vector<CyclicList*>{&x, &y}));
        head.AddToTail(&x);
        EXPECT_EQ(Walk(head), (std::vector<CyclicList*>{&y, &x}));
        EXPECT_EQ(head.prev, &x);
    }
    EXPECT_EQ(Walk(head), (std::vector<CyclicList*>{&y}));
    EXPECT_EQ(y.next, &head);
    EXPECT_EQ(y.prev, &head);
}

TEST(CyclicList, AddToTailTakesNodeFromOtherList) {
    CyclicList first, second, x, y;
    first.AddToTail(&x);
    first.AddToTail(&y);
    second.AddToTail(&x);
    EXPECT_EQ(Walk(first), (std::vector<CyclicList*>{&y}));
    EXPECT_EQ(Walk(second), (std::vector<CyclicList*>{&x}));
}

TEST(CyclicList, OffsetFindsTheOwner) {
    Receiver a, b;
    a.timeslot = 3;
    b.timeslot = 9;
    CyclicList head;
    head.AddToTail(&a.link);
    head.AddToTail(&b.link);
    std::vector<int> slots;
    for (auto it = head.begin(); it != head.end(); ++it)
        slots.push_back(Containers::offset<Receiver>(*it, &Receiver::link)->timeslot);
    EXPECT_EQ(slots, (std::vector<int>{3, 9}));
    EXPECT_EQ(Containers::offset<Receiver>(&a.link, &Receiver::link), &a);
}

}  // namespace
