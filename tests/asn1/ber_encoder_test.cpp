// BER encoder byte vectors, grouped by kind of value.
#include <gtest/gtest.h>

#include <vector>

#include "asn1/asn1.h"
#include "asn1/codecs/ber_encoder.h"
#include "tests/asn1/test_module.h"

using namespace ASN1;

namespace {

std::vector<unsigned char> Ber(const AbstractData& value) {
    std::vector<char> out;
    EXPECT_TRUE(encodeBER(value, std::back_inserter(out)));
    return {out.begin(), out.end()};
}
using Bytes = std::vector<unsigned char>;

TEST(BerEncoder, ScalarsTakeTheirMinimalForm) {
    EXPECT_EQ(Ber(BOOLEAN(true, &BOOLEAN::theInfo)), (Bytes{0x01, 0x01, 0xFF}));
    EXPECT_EQ(Ber(Null()), (Bytes{0x05, 0x00}));
    EXPECT_EQ(Ber(INTEGER(0, &INTEGER::theInfo)), (Bytes{0x02, 0x01, 0x00}));
    EXPECT_EQ(Ber(INTEGER(128, &INTEGER::theInfo)), (Bytes{0x02, 0x02, 0x00, 0x80}));
    EXPECT_EQ(Ber(INTEGER(-129, &INTEGER::theInfo)), (Bytes{0x02, 0x02, 0xFF, 0x7F}));
    EXPECT_EQ(getIntegerDataLength(127), 1u);
    EXPECT_EQ(getIntegerDataLength(-128), 1u);
    EXPECT_EQ(getIntegerDataLength(0x7FFFFFFF), 4u);
}

TEST(BerEncoder, UnsignedTypeAboveTwoToThe31KeepsItsValue) {
    using U32 = Constrained_INTEGER<FixedConstraint, 0, 0xFFFFFFFFu>;
    U32 big;
    big = 0xFFFFFFFFu;
    EXPECT_EQ(Ber(big), (Bytes{0x02, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(BerEncoder, BitStringsCountUnusedBits) {
    BIT_STRING bits;
    EXPECT_EQ(Ber(bits), (Bytes{0x03, 0x01, 0x00}));
    bits.resize(3);
    bits.set(0, true);
    bits.set(2, true);
    EXPECT_EQ(Ber(bits), (Bytes{0x03, 0x02, 0x05, 0xA0}));
    bits.resize(8);
    EXPECT_EQ(Ber(bits)[2], 0x00);
}

TEST(BerEncoder, LongLengthsUseTheFewestOctets) {
    EXPECT_EQ(Ber(OCTET_STRING(127, 'x', &OCTET_STRING::theInfo))[1], 0x7F);
    Bytes b200 = Ber(OCTET_STRING(200, 'x', &OCTET_STRING::theInfo));
    EXPECT_EQ(Bytes(b200.begin(), b200.begin() + 3), (Bytes{0x04, 0x81, 0xC8}));
    Bytes b256 = Ber(OCTET_STRING(256, 'x', &OCTET_STRING::theInfo));
    EXPECT_EQ(Bytes(b256.begin(), b256.begin() + 4), (Bytes{0x04, 0x82, 0x01, 0x00}));
    EXPECT_EQ(b256.size(), 260u);
}

TEST(BerEncoder, HighTagNumbersUseBase128) {
    const ConstrainedObject::InfoType tag31{
        {&INTEGER::create, ContextTag(31)}, Unconstrained, 0, 0xFFFFFFFFu};
    const ConstrainedObject::InfoType tag200{
        {&INTEGER::create, ContextTag(200)}, Unconstrained, 0, 0xFFFFFFFFu};
    EXPECT_EQ(Ber(INTEGER(1, &tag31)), (Bytes{0x9F, 0x1F, 0x01, 0x01}));
    EXPECT_EQ(Ber(INTEGER(1, &tag200)), (Bytes{0x9F, 0x81, 0x48, 0x01, 0x01}));
}

TEST(BerEncoder, AutomaticTagsAndChoiceWrappers) {
    TestModule::DualTone tone;
    tone.set_freq1(5);
    EXPECT_EQ(Ber(tone), (Bytes{0x30, 0x03, 0x80, 0x01, 0x05}));

    // A CHOICE field is an explicit, constructed wrapper around its alternative.
    TestModule::Message msg;
    msg.set_seq(7);
    msg.set_pdu().select_command().select_ping();
    EXPECT_EQ(Ber(msg), (Bytes{0x30, 0x09, 0x80, 0x01, 0x07, 0xA2, 0x04, 0xA0, 0x02, 0x82, 0x00}));

    // An untagged CHOICE at the top is written as its alternative alone.
    TestModule::Response response;
    response.select_count() = 200u;
    EXPECT_EQ(Ber(response), (Bytes{0x83, 0x02, 0x00, 0xC8}));
}

TEST(BerEncoder, UnselectedChoiceFailsAndLeavesTheOutput) {
    TestModule::Message msg;
    std::vector<char> out{'k'};
    EXPECT_FALSE(encodeBER(msg, std::back_inserter(out)));
    EXPECT_EQ(out, std::vector<char>{'k'});
    OpenData empty;
    EXPECT_FALSE(encodeBER(empty, std::back_inserter(out)));
}

TEST(BerEncoder, OpenTypesCarryTheirValueOrBuffer) {
    OpenData open(new INTEGER(5, &INTEGER::theInfo), &OpenData::theInfo);
    EXPECT_EQ(Ber(open), (Bytes{0x02, 0x01, 0x05}));
    OpenData raw;
    raw.grab(new OpenData::Buffer{0x05, 0x00});
    EXPECT_EQ(Ber(raw), (Bytes{0x05, 0x00}));
}

}  // namespace
