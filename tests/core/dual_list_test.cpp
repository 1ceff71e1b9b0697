#include "core/dual_list.h"

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Item : F_dual_list_item<Item> {
    explicit Item(int k = 0) : key(k) {}
    int key;
    friend int compare(const Item& a, const Item& b) { return a.key - b.key; }
};

std::vector<Item*> Walk(const F_dual_list<Item>& list) {
    std::vector<Item*> out;
    for (auto it = list.begin(); it != list.end(); ++it) out.push_back(*it);
    return out;
}

// Checks the links both ways against the expected order.
void ExpectOrder(const F_dual_list<Item>& list, const std::vector<Item*>& want) {
    EXPECT_EQ(Walk(list), want);
    EXPECT_EQ(list.count(), want.size());
    std::vector<Item*> back;
    for (Item* p = list.tail(); p; p = p->get_prev()) back.push_back(p);
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, want);
    if (want.empty()) {
        EXPECT_EQ(list.head(), nullptr);
        EXPECT_EQ(list.tail(), nullptr);
    } else {
        EXPECT_EQ(list.head()->get_prev(), nullptr);
        EXPECT_EQ(list.tail()->get_next(), nullptr);
    }
}

TEST(DualList, InsertAtBothEndsAndAfter) {
    Item a, b, c, d;
    F_dual_list<Item> list;
    list.insert_to_tail(&b);
    list.insert_to_head(&a);
    list.push_back(&d);
    list.insert_after(&b, &c);
    ExpectOrder(list, {&a, &b, &c, &d});
    Item e;
    list.insert_after(&d, &e);
    ExpectOrder(list, {&a, &b, &c, &d, &e});
    EXPECT_EQ(*list.last(), &e);
}

TEST(DualList, RemoveAnywhereAndFromEmpty) {
    F_dual_list<Item> list;
    EXPECT_EQ(list.remove_from_head(), nullptr);
    EXPECT_EQ(list.remove_from_tail(), nullptr);
    EXPECT_EQ(list.count(), 0u);

    Item a, b, c;
    list.push_back(&a);
    list.push_back(&b);
    list.push_back(&c);
    EXPECT_EQ(list.remove(&b), &b);
    ExpectOrder(list, {&a, &c});
    EXPECT_EQ(list.remove_from_tail(), &c);
    ExpectOrder(list, {&a});
    EXPECT_EQ(list.remove(&a), &a);
    ExpectOrder(list, {});

    list.push_back(&a);
    EXPECT_EQ(list.remove_from_head(), &a);
    ExpectOrder(list, {});
}

TEST(DualList, IteratorStepsPastRemovedElement) {
    Item a, b, c;
    F_dual_list<Item> list;
    list.push_back(&a);
    list.push_back(&b);
    list.push_back(&c);
    auto it = list.begin();
    ++it;
    list.remove(&b);
    ++it;
    EXPECT_EQ(*it, &c);
    EXPECT_TRUE(it.good());
    ++it;
    EXPECT_TRUE(!it);
}

TEST(DualList, MergeSwapsContents) {
    Item x, y;
    F_dual_list<Item> first, second;
    first.push_back(&x);
    first.push_back(&y);
    first.merge(second);
    ExpectOrder(first, {});
    ExpectOrder(second, {&x, &y});
}

TEST(DualList, ArrayConstructorThreadsInOrder) {
    Item items[4];
    F_dual_list<Item> list(items, 4);
    ExpectOrder(list, {&items[0], &items[1], &items[2], &items[3]});
    EXPECT_EQ(list.remove_from_head(), &items[0]);
    list.insert_to_tail(&items[0]);
    ExpectOrder(list, {&items[1], &items[2], &items[3], &items[0]});
}

TEST(DualList, FindWalksTheList) {
    Item a, b, outside;
    F_dual_list<Item> list;
    list.push_back(&a);
    list.push_back(&b);
    EXPECT_EQ(*std::find(list.begin(), list.end(), &b), &b);
    EXPECT_TRUE(std::find(list.begin(), list.end(), &outside) == list.end());
}

TEST(SortedList, EqualKeysKeepInsertionOrder) {
    Item first5(5), three(3), second5(5), nine(9);
    F_sorted_list<Item> list;
    for (Item* p : {&first5, &three, &second5, &nine}) list.insert_to_tail_by_grown(p);
    ExpectOrder(list, {&three, &first5, &second5, &nine});

    Item one(1), seven(7);
    list.insert_to_tail_by_grown(&one);
    list.insert_to_tail_by_grown(&seven);
    ExpectOrder(list, {&one, &three, &first5, &second5, &seven, &nine});
}

}  // namespace
