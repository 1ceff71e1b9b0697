#include "core/cyclic.h"

#include <gtest/gtest.h>

namespace {

using Seq = Cyclic<unsigned int, 127u>;

TEST(Cyclic, ValuesWrapModulo128) {
    EXPECT_EQ(static_cast<unsigned>(Seq(130)), 2u);
    EXPECT_EQ(static_cast<unsigned>(Seq()), 0u);
    EXPECT_EQ(static_cast<unsigned>(Seq(127) + Seq(1)), 0u);
    EXPECT_EQ(static_cast<unsigned>(Seq(0) - Seq(1)), 127u);
    EXPECT_EQ(static_cast<unsigned>(Seq(126) + 5), 3u);
    EXPECT_EQ(static_cast<unsigned>(Seq(2) - 5u), 125u);

    Seq s(127);
    EXPECT_EQ(static_cast<unsigned>(s++), 127u);
    EXPECT_EQ(static_cast<unsigned>(s), 0u);
    EXPECT_EQ(static_cast<unsigned>(++s), 1u);
    --s;
    EXPECT_EQ(static_cast<unsigned>(--s), 127u);
}

TEST(Cyclic, WindowAcrossTheWrap) {
    const Seq a(120);
    EXPECT_TRUE(a <= Seq(125) <= Seq(3));
    EXPECT_TRUE(a <= Seq(127) <= Seq(3));
    EXPECT_TRUE(a <= Seq(0) <= Seq(3));
    EXPECT_TRUE(a <= Seq(3) <= Seq(3));
    EXPECT_FALSE(a <= Seq(4) <= Seq(3));
    EXPECT_FALSE(a <= Seq(119) <= Seq(3));
    for (unsigned c = 0; c < 128; ++c) EXPECT_TRUE(a <= a <= Seq(c)) << c;
    EXPECT_TRUE(a <= a <= a);
    EXPECT_FALSE(a <= Seq(121) <= a);
    // Integral operands take the same modulo path.
    EXPECT_TRUE(a <= 125u <= 3u);
    EXPECT_FALSE(a <= 4 <= 3);
}

}  // namespace
