#include "core/smart_pointer.h"

#include <gtest/gtest.h>

namespace {

struct Counted {
    explicit Counted(int* d) : deleted(d) {}
    ~Counted() { ++*deleted; }
    unsigned ref_count = 0;
    int* deleted;
    int value = 7;
};

TEST(SmartPointer, LastReferenceDeletes) {
    int deleted = 0;
    {
        Smart_pointer<Counted> a(new Counted(&deleted));
        EXPECT_EQ(a->ref_count, 1u);
        Smart_pointer<Counted> b = a;
        EXPECT_EQ(a->ref_count, 2u);
        b.clean();
        EXPECT_TRUE(b.null());
        EXPECT_TRUE(!b);
        EXPECT_EQ(a->ref_count, 1u);
        EXPECT_EQ(deleted, 0);
    }
    EXPECT_EQ(deleted, 1);
}

TEST(SmartPointer, AssignmentReleasesOldAndTakesNew) {
    int deleted_a = 0, deleted_b = 0;
    Smart_pointer<Counted> p(new Counted(&deleted_a));
    Counted* b = new Counted(&deleted_b);
    p = b;
    EXPECT_EQ(deleted_a, 1);
    EXPECT_EQ(b->ref_count, 1u);
    Smart_pointer<Counted> q;
    q = p;
    EXPECT_EQ(b->ref_count, 2u);
    p = nullptr;
    EXPECT_TRUE(p.null());
    EXPECT_EQ(deleted_b, 0);
    q.remove_current();
    EXPECT_EQ(deleted_b, 1);
    EXPECT_TRUE(q.null());
}

TEST(SmartPointer, SelfAssignmentKeepsTheObject) {
    int deleted = 0;
    Smart_pointer<Counted> p(new Counted(&deleted));
    Smart_pointer<Counted>& alias = p;
    p = alias;
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(p->ref_count, 1u);
    p = p.get();
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(p->value, 7);
}

TEST(SmartPointer, BoolTests) {
    int deleted = 0;
    Smart_pointer<Counted> empty;
    Smart_pointer<Counted> full(new Counted(&deleted));
    EXPECT_FALSE(static_cast<bool>(empty));
    EXPECT_TRUE(static_cast<bool>(full));
    EXPECT_FALSE(full.null());
}

TEST(SmartPointerDeathTest, NullDereferenceEndsTheProcess) {
    const Smart_pointer<Counted> cp;
    EXPECT_DEATH((void)cp->value, "^SMART POINTER ASSERTION!\n");
    Smart_pointer<Counted> p;
    EXPECT_DEATH(p->value = 1, "^SMART POINTER ASSERTION!\n");
}

}  // namespace
