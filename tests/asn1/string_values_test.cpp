// OCTET STRING, BIT STRING, character strings, OBJECT IDENTIFIER and GeneralizedTime.
#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "asn1/asn1.h"

namespace {

std::vector<char> Bytes(std::initializer_list<int> values) {
    std::vector<char> out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

TEST(OctetString, VectorValueAndOrdering) {
    ASN1::OCTET_STRING a(Bytes({1, 2}), &ASN1::OCTET_STRING::theInfo);
    ASN1::OCTET_STRING longer(Bytes({1, 2, 0}), &ASN1::OCTET_STRING::theInfo);
    ASN1::OCTET_STRING lower(Bytes({1, 1, 0xFF}), &ASN1::OCTET_STRING::theInfo);
    EXPECT_LT(a.compare(longer), 0);
    EXPECT_GT(a.compare(lower), 0);
    ASN1::OCTET_STRING filled(3, 'x', &ASN1::OCTET_STRING::theInfo);
    EXPECT_EQ(filled.size(), 3u);
    filled = Bytes({1, 2});
    EXPECT_TRUE(filled == a);
    std::unique_ptr<ASN1::AbstractData> copy(a.clone());
    EXPECT_EQ(static_cast<ASN1::OCTET_STRING&>(*copy), Bytes({1, 2}));
    EXPECT_EQ(copy->getTag(), 4u);
}

TEST(BitString, BitsAreMostSignificantFirst) {
    ASN1::BIT_STRING bits;
    bits.resize(9);
    EXPECT_EQ(bits.size(), 9u);
    ASSERT_EQ(bits.getData().size(), 2u);
    bits.set(8, true);
    EXPECT_EQ(static_cast<unsigned char>(bits.getData()[1]), 0x80);
    EXPECT_TRUE(bits[8]);
    EXPECT_FALSE(bits[9]);
    bits.set(0, true);
    bits.resize(4);
    EXPECT_EQ(bits.getData().size(), 1u);
    EXPECT_TRUE(bits[0]);

    ASN1::BIT_STRING other;
    other.resize(4);
    other.set(0, true);
    EXPECT_EQ(bits.compare(other), 0);
    other.resize(5);
    EXPECT_EQ(bits.compare(other), -1);  // same bytes, fewer bits
}

TEST(CharacterStrings, IA5AndAbstract) {
    ASN1::IA5String name("trunk-1");
    EXPECT_EQ(static_cast<const std::string&>(name), "trunk-1");
    EXPECT_EQ(name.getTag(), 22u);
    EXPECT_EQ(name.getNumBits(true), 8u);
    EXPECT_EQ(name.getNumBits(false), 7u);
    name = std::string("trunk-2");
    ASN1::IA5String other("trunk-10");
    EXPECT_GT(name.compare(other), 0);
    std::unique_ptr<ASN1::AbstractData> copy(name.clone());
    EXPECT_NE(dynamic_cast<ASN1::IA5String*>(copy.get()), nullptr);
    EXPECT_TRUE(*copy == name);

    std::unique_ptr<ASN1::AbstractData> printable(
        ASN1::AbstractData::create(&ASN1::PrintableString::theInfo));
    auto& text = static_cast<ASN1::AbstractString&>(*printable);
    text.assign("ABC");
    EXPECT_EQ(text.getTag(), 19u);
    EXPECT_EQ(text.getCharacterSetSize(), 74u);
    EXPECT_EQ(text.getCanonicalSetBits(), 7u);
}

TEST(CharacterStrings, BmpRange) {
    ASN1::BMPString s(L"ab", &ASN1::BMPString::theInfo);
    EXPECT_EQ(s.first_illegal_at(), 2u);
    s.push_back(static_cast<wchar_t>(0x10000));
    EXPECT_EQ(s.first_illegal_at(), 2u);
    EXPECT_FALSE(s.legalCharacter(static_cast<wchar_t>(0x10000)));
    ASN1::BMPString t;
    const wchar_t chars[] = L"abz";
    t.assign(chars, 2);
    EXPECT_EQ(t, L"ab");
    EXPECT_GT(s.compare(t), 0);
}

TEST(ObjectIdentifier, EncodesContentsOctets) {
    ASN1::OBJECT_IDENTIFIER oid;
    for (unsigned arc : {1u, 2u, 840u, 113549u}) oid.append(arc);
    std::vector<char> out;
    oid.encodeCommon(out);
    EXPECT_EQ(out, Bytes({0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D}));

    ASN1::OBJECT_IDENTIFIER big;
    for (unsigned arc : {1u, 2u, 0xFFFFFFFFu}) big.append(arc);
    out.clear();
    big.encodeCommon(out);
    EXPECT_EQ(out, Bytes({0x2A, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}));

    ASN1::OBJECT_IDENTIFIER single;
    single.append(1);
    out = Bytes({9});
    single.encodeCommon(out);
    EXPECT_TRUE(out.empty());
}

TEST(ObjectIdentifier, DecodesContentsOctets) {
    ASN1::OBJECT_IDENTIFIER oid;
    const auto rsa = Bytes({0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D});
    ASSERT_TRUE(oid.decodeCommon(rsa.data(), 6));
    ASSERT_EQ(oid.levels(), 4u);
    EXPECT_EQ(oid[0], 1u);
    EXPECT_EQ(oid[1], 2u);
    EXPECT_EQ(oid[2], 840u);
    EXPECT_EQ(oid[3], 113549u);

    const auto six = Bytes({0x06});
    ASSERT_TRUE(oid.decodeCommon(six.data(), 1));
    EXPECT_EQ(oid.levels(), 2u);
    EXPECT_EQ(oid[0], 0u);
    EXPECT_EQ(oid[1], 6u);

    const auto first85 = Bytes({0x55});
    ASSERT_TRUE(oid.decodeCommon(first85.data(), 1));
    EXPECT_EQ(oid[0], 2u);
    EXPECT_EQ(oid[1], 5u);

    const auto cut = Bytes({0x81});
    EXPECT_FALSE(oid.decodeCommon(cut.data(), 1));
    EXPECT_TRUE(oid.decodeCommon(nullptr, 0));
    EXPECT_EQ(oid.levels(), 0u);
}

TEST(ObjectIdentifier, OverLongSubidentifierFails) {
    ASN1::OBJECT_IDENTIFIER oid;
    // 2^32 as the third arc: one more than fits.
    const auto tooBig = Bytes({0x2A, 0x90, 0x80, 0x80, 0x80, 0x00});
    EXPECT_FALSE(oid.decodeCommon(tooBig.data(), 6));
    const auto max = Bytes({0x2A, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F});
    ASSERT_TRUE(oid.decodeCommon(max.data(), 6));
    EXPECT_EQ(oid[2], 0xFFFFFFFFu);
    // Many continuation octets never wrap back into range.
    const auto endless = Bytes({0x2A, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F});
    EXPECT_FALSE(oid.decodeCommon(endless.data(), static_cast<unsigned>(endless.size())));
}

TEST(ObjectIdentifier, Ordering) {
    ASN1::OBJECT_IDENTIFIER a, b;
    for (unsigned arc : {1u, 2u, 3u}) a.append(arc);
    for (unsigned arc : {1u, 2u}) b.append(arc);
    EXPECT_EQ(a.compare(b), 1);
    b.append(5);
    EXPECT_EQ(a.compare(b), -2);
}

TEST(GeneralizedTime, TextForm) {
    ASN1::GeneralizedTime utc(2024, 2, 29, 13, 5, 9, 0, 0, true);
    EXPECT_EQ(utc.get(), "20240229130509Z");
    ASN1::GeneralizedTime local(2024, 2, 29, 13, 5, 9, 250, 0, false);
    EXPECT_EQ(local.get(), "20240229130509.250");
    EXPECT_EQ(ASN1::GeneralizedTime().get(), "00010101000000");

    ASN1::GeneralizedTime read("20240229130509.250Z");
    EXPECT_EQ(read.getYear(), 2024);
    EXPECT_EQ(read.getSecond(), 9);
    EXPECT_EQ(read.getMillisec(), 250);
    EXPECT_TRUE(read.getUTC());
    ASN1::GeneralizedTime oneMs("20240229130509.001");
    EXPECT_EQ(oneMs.getMillisec(), 1);
}

TEST(GeneralizedTime, FractionWithAnExponentIsIgnored) {
    // Text from a peer: a "fraction" that scales far beyond a millisecond count leaves it alone.
    ASN1::GeneralizedTime time(2024, 2, 29, 13, 5, 9, 250, 0, false);
    time.set("20240229130510.5e99Z");
    EXPECT_EQ(time.getSecond(), 10);
    EXPECT_EQ(time.getMillisec(), 250);
    EXPECT_TRUE(time.getUTC());
    time.set("20240229130510.5e-1");
    EXPECT_EQ(time.getMillisec(), 50);
    time.set("20240229130510.inf");
    EXPECT_EQ(time.getMillisec(), 50);
}

TEST(GeneralizedTime, OffsetIsSignAndHhmmBothWays) {
    ASN1::GeneralizedTime west(2024, 1, 2, 3, 4, 5, 0, -90, false);
    EXPECT_EQ(west.get(), "20240102030405-0130");
    ASN1::GeneralizedTime east(2024, 1, 2, 3, 4, 5, 0, 330, false);
    EXPECT_EQ(east.get(), "20240102030405+0530");

    ASN1::GeneralizedTime read("20240102030405-0130");
    EXPECT_EQ(read.getMinDiff(), -90);
    EXPECT_FALSE(read.getUTC());
    read.set("20240102030405+0045");
    EXPECT_EQ(read.getMinDiff(), 45);
    EXPECT_EQ(read.get(), "20240102030405+0045");
    read.set("20240102030405+0x45");  // not digits: offset untouched
    EXPECT_EQ(read.getMinDiff(), 45);
}

TEST(GeneralizedTime, ComparisonIgnoresOffset) {
    ASN1::GeneralizedTime a(2024, 1, 2, 3, 4, 5, 0, 60, false), b(2024, 1, 2, 3, 4, 5, 0, -60, false);
    EXPECT_EQ(a.compare(b), 0);
    ASN1::GeneralizedTime later(2024, 1, 2, 3, 4, 7);
    EXPECT_EQ(a.compare(later), -2);
    ASN1::GeneralizedTime z(2024, 1, 2, 3, 4, 5, 0, 0, true);
    EXPECT_EQ(z.compare(a), 1);
    // Differences wrap in 32 bits like every other comparison, whatever the fields hold.
    ASN1::GeneralizedTime far(INT_MAX, 1, 1, 0, 0, 0), before(-1, 1, 1, 0, 0, 0);
    EXPECT_EQ(far.compare(before), INT_MIN);
    a.swap(later);
    EXPECT_EQ(a.getSecond(), 7);
    EXPECT_EQ(later.getMinDiff(), 60);
}

}  // namespace
