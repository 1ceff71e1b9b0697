// Records, NULL, BOOLEAN, INTEGER and ENUMERATED values.
#include <gtest/gtest.h>

#include <memory>

#include "asn1/asn1.h"
#include "tests/asn1/test_module.h"

namespace {

using ASN1::AbstractData;
using ASN1::FixedConstraint;

TEST(InfoRecords, CreateFollowsTheRecord) {
    std::unique_ptr<AbstractData> null(AbstractData::create(&ASN1::Null::theInfo));
    ASSERT_NE(null, nullptr);
    EXPECT_EQ(null->getTag(), 5u);
    EXPECT_NE(dynamic_cast<ASN1::Null*>(null.get()), nullptr);
    EXPECT_EQ(AbstractData::create(nullptr), nullptr);

    std::unique_ptr<AbstractData> slot(AbstractData::create(&TestModule::SlotNumber::theInfo));
    EXPECT_NE(dynamic_cast<TestModule::SlotNumber*>(slot.get()), nullptr);
    EXPECT_EQ(slot->info(), &TestModule::SlotNumber::theInfo);
}

TEST(InfoRecords, RuntimeRecordsAreConstantData) {
    static_assert(TestModule::SlotNumber::theInfo.tag == 2);
    static_assert(TestModule::SlotNumber::theInfo.constraint == FixedConstraint);
    static_assert(TestModule::SlotNumber::theInfo.upperLimit == 1023u);
    static_assert(TestModule::DualTones::theInfo.tag == 16);
    static_assert(TestModule::DualTones::theInfo.elementInfo == &TestModule::DualTone::theInfo);
    static_assert(ASN1::SET_OF<TestModule::DualTone>::theInfo.tag == 17);
    EXPECT_EQ(ASN1::INTEGER::theInfo.tag, 2u);
    EXPECT_EQ(ASN1::INTEGER::theInfo.upperLimit, 0xFFFFFFFFu);
    EXPECT_EQ(ASN1::IA5String::theInfo.characterSetSize, 128u);
    EXPECT_EQ(ASN1::PrintableString::theInfo.characterSet[1], '\'');
    EXPECT_EQ(ASN1::PrintableString::theInfo.characterSet[73], 'z');
    EXPECT_EQ(ASN1::VisibleString::theInfo.characterSet[94], '~');
    EXPECT_EQ(static_cast<unsigned char>(ASN1::GeneralStringSet[255]), 0xFFu);
    EXPECT_EQ(ASN1::NumericString::theInfo.numBitsAligned, 4u);
    EXPECT_EQ(ASN1::BMPString::theInfo.lastChar, 0xFFFF);
}

TEST(Helpers, CountBits) {
    EXPECT_EQ(ASN1::CountBits(0), 32u);
    EXPECT_EQ(ASN1::CountBits(1), 0u);
    EXPECT_EQ(ASN1::CountBits(2), 1u);
    EXPECT_EQ(ASN1::CountBits(3), 2u);
    EXPECT_EQ(ASN1::CountBits(4), 2u);
    EXPECT_EQ(ASN1::CountBits(5), 3u);
    EXPECT_EQ(ASN1::CountBits(0x80000000u), 31u);
    EXPECT_EQ(ASN1::CountBits(0x80000001u), 32u);
}

TEST(Helpers, LexicographicCompareBytes) {
    const unsigned char ab[] = {0x61, 0x62}, abc[] = {0x61, 0x62, 0x63}, ff[] = {0xFF}, one[] = {0x01};
    EXPECT_EQ(ASN1::lexicographic_compare_bytes(ab, ab + 2, abc, abc + 3), -1);
    EXPECT_EQ(ASN1::lexicographic_compare_bytes(abc, abc + 3, ab, ab + 2), 1);
    EXPECT_EQ(ASN1::lexicographic_compare_bytes(ff, ff + 1, one, one + 1), 254);
    EXPECT_EQ(ASN1::lexicographic_compare_bytes(ab, ab + 2, ab, ab + 2), 0);
    EXPECT_TRUE(ASN1::is_space_or_newline(' '));
    EXPECT_TRUE(ASN1::is_space_or_newline('\n'));
    EXPECT_FALSE(ASN1::is_space_or_newline('\t'));
}

TEST(NullBoolean, DefaultsCompareAndClone) {
    ASN1::Null a, b;
    EXPECT_EQ(a.compare(b), 0);
    ASN1::BOOLEAN f;
    EXPECT_FALSE(f);
    ASN1::BOOLEAN t(true, &ASN1::BOOLEAN::theInfo);
    EXPECT_EQ(t.compare(f), 1);
    EXPECT_EQ(f.compare(t), -1);
    std::unique_ptr<AbstractData> copy(t.clone());
    EXPECT_TRUE(static_cast<ASN1::BOOLEAN&>(*copy));
    EXPECT_EQ(copy->getTag(), 1u);
    f = true;
    EXPECT_EQ(f.compare(t), 0);
}

TEST(Integer, ComparisonWrapsAndIgnoresRecords) {
    ASN1::INTEGER five(5, &ASN1::INTEGER::theInfo);
    ASN1::INTEGER seven(7, &TestModule::U16::theInfo);
    EXPECT_EQ(five.compare(seven), -2);
    ASN1::INTEGER big(0x7FFFFFFF, &ASN1::INTEGER::theInfo), minus(-1, &ASN1::INTEGER::theInfo);
    EXPECT_LT(big.compare(minus), 0);  // wrapped difference
    ASN1::INTEGER also5(5, &TestModule::SlotNumber::theInfo);
    EXPECT_TRUE(five == also5);
    EXPECT_EQ(five.compare(also5), 0);
    EXPECT_EQ(ASN1::INTEGER().getValue(), 0);
}

TEST(Integer, StrictValidityAsOffsetsFromTheLowerBound) {
    TestModule::U16 u16;
    u16 = 70000u;
    EXPECT_EQ(u16.getValue(), 70000u);  // stored without a check
    EXPECT_FALSE(u16.isStrictValid());
    u16 = 65535u;
    EXPECT_TRUE(u16.isStrictValid());
    u16.setValue(-1);
    EXPECT_FALSE(u16.isStrictValid());

    TestModule::S8 s8;
    s8.setValue(-5);
    EXPECT_TRUE(s8.isStrictValid());
    s8.setValue(-128);
    EXPECT_TRUE(s8.isStrictValid());
    s8.setValue(-129);
    EXPECT_FALSE(s8.isStrictValid());
    s8.setValue(200);
    EXPECT_FALSE(s8.isStrictValid());

    ASN1::Constrained_INTEGER<FixedConstraint, 0, 4294967295u> u32;
    u32 = 4000000000u;
    EXPECT_EQ(u32.getValue(), 4000000000u);
    EXPECT_TRUE(u32.isStrictValid());

    ASN1::Constrained_INTEGER<FixedConstraint, 112000, 399975u> rate;
    rate = 111999u;
    EXPECT_FALSE(rate.isStrictValid());
    rate = 399975u;
    EXPECT_TRUE(rate.isStrictValid());

    EXPECT_TRUE(ASN1::INTEGER(-7, &ASN1::INTEGER::theInfo).isStrictValid());

    ASN1::Constrained_INTEGER<FixedConstraint, 0, 127u> seven;
    seven = 7u;
    EXPECT_EQ(10u + seven, 17u);
}

TEST(Integer, CloneKeepsClassAndRecord) {
    TestModule::SlotNumber slot;
    slot = 1000u;
    std::unique_ptr<ASN1::INTEGER> copy(slot.clone());
    EXPECT_EQ(copy->info(), &TestModule::SlotNumber::theInfo);
    EXPECT_EQ(copy->getValue(), 1000);
    EXPECT_NE(dynamic_cast<TestModule::SlotNumber*>(copy.get()), nullptr);
}

constexpr ASN1::IntegerWithNamedNumber::NameEntry kCauseNames[] = {
    {-1, "none"}, {0, "ok"}, {5, "busy"}, {9, "down"}};
constexpr ASN1::IntegerWithNamedNumber::InfoType kCauseInfo{
    {{&ASN1::IntegerWithNamedNumber::create, 2}, ASN1::Unconstrained, 0, 0xFFFFFFFFu}, kCauseNames, 4};

TEST(Integer, NamedNumbers) {
    ASN1::IntegerWithNamedNumber cause(5, &kCauseInfo);
    std::string name = "unchanged";
    EXPECT_TRUE(cause.getName(name));
    EXPECT_EQ(name, "busy");
    cause.setValue(7);
    name = "unchanged";
    EXPECT_FALSE(cause.getName(name));
    EXPECT_EQ(name, "unchanged");
    cause.setValue(10);
    EXPECT_FALSE(cause.getName(name));
    EXPECT_TRUE(cause.setFromName("none"));
    EXPECT_EQ(cause.getValue(), -1);
    EXPECT_FALSE(cause.setFromName("Busy"));
    EXPECT_EQ(cause.getValue(), -1);
}

TEST(Enumerated, PlainNameTable) {
    TestModule::MccType mcc;
    EXPECT_EQ(mcc.asInt(), 0);
    EXPECT_EQ(mcc.getMaximum(), 2);
    EXPECT_FALSE(mcc.extendable());
    EXPECT_EQ(mcc.getName(), "data");
    EXPECT_FALSE(mcc.setFromName("isdn"));
    EXPECT_EQ(mcc.asInt(), 3);
    EXPECT_TRUE(mcc.getName().data() == nullptr);
    EXPECT_TRUE(mcc.setFromName("bri"));
    EXPECT_EQ(mcc.asInt(), 1);
    EXPECT_TRUE(mcc.is_bri());
    mcc.setFromInt(-1);
    EXPECT_TRUE(mcc.getName().data() == nullptr);
    mcc = TestModule::MccType::transparent;
    EXPECT_EQ(mcc.getName(), "transparent");
}

TEST(Enumerated, ExplicitNumbersNeverReadPastTheTable) {
    EXPECT_EQ(TestModule::StandbyState::theInfo.nameCount, 6u);
    EXPECT_EQ(TestModule::MccType::theInfo.nameCount, 0u);
    TestModule::StandbyState state;
    EXPECT_EQ(state.getMaximum(), 16);
    state = TestModule::StandbyState::speak;
    EXPECT_EQ(state.getName(), "speak");
    state = TestModule::StandbyState::active;
    EXPECT_EQ(state.getName(), "active");
    state.setFromInt(5);  // a gap between speak=4 and standby=8
    EXPECT_TRUE(state.getName().data() == nullptr);
    state.setFromInt(15);
    EXPECT_TRUE(state.getName().data() == nullptr);
    state.setFromInt(17);
    EXPECT_TRUE(state.getName().data() == nullptr);
    EXPECT_TRUE(state.setFromName("standby"));
    EXPECT_EQ(state.asInt(), 8);
    EXPECT_FALSE(state.setFromName("standby=8"));
    EXPECT_EQ(state.asInt(), 17);
    EXPECT_TRUE(state.setFromName("listen"));
    EXPECT_EQ(state.asInt(), 2);
}

TEST(Enumerated, NegativeExplicitNumber) {
    static constexpr const char* names[] = {"not-use=-1", "off", "on"};
    static constexpr auto info = ASN1::ENUMERATED::makeInfo(&ASN1::ENUMERATED::create, false, names);
    static_assert(info.maximum == 1 && info.nameCount == 3);
    ASN1::ENUMERATED e(&info);
    EXPECT_EQ(e.getName(), "off");
    e.setFromInt(-1);
    EXPECT_EQ(e.getName(), "not-use");
    EXPECT_TRUE(e.setFromName("on"));
    EXPECT_EQ(e.asInt(), 1);
}

TEST(Enumerated, CompareAssignAndClone) {
    TestModule::MccType a(TestModule::MccType::transparent), b(TestModule::MccType::data);
    EXPECT_EQ(a.compare(b), 2);
    ASN1::ENUMERATED plain(&TestModule::StandbyState::theInfo);
    plain = a;  // value only
    EXPECT_EQ(plain.asInt(), 2);
    EXPECT_EQ(plain.info(), &TestModule::StandbyState::theInfo);
    std::unique_ptr<AbstractData> copy(a.clone());
    ASSERT_NE(dynamic_cast<TestModule::MccType*>(copy.get()), nullptr);
    EXPECT_EQ(static_cast<TestModule::MccType&>(*copy), TestModule::MccType::transparent);
    EXPECT_EQ(copy->getTag(), 10u);
}

}  // namespace
