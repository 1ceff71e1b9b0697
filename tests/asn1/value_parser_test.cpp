// Value-notation parser: each kind's accepted text, its documented refusals, and the printer's
// text read back into an equal value that prints the same.
#include <gtest/gtest.h>

#include <sstream>

#include "asn1/asn1.h"
#include "asn1/codecs/value_parser.h"
#include "asn1/printer.h"
#include "tests/asn1/message_generator.h"
#include "tests/asn1/test_module.h"

using namespace ASN1;
using namespace TestModule;

namespace {

TEST(ValueParser, NullAndBoolean) {
    Null null;
    EXPECT_TRUE(setFromValueNotation(null, "  \n NULL"));
    EXPECT_FALSE(setFromValueNotation(null, "NULLX"));
    BOOLEAN b;
    EXPECT_TRUE(setFromValueNotation(b, "TRUE"));
    EXPECT_TRUE(b);
    EXPECT_TRUE(setFromValueNotation(b, "FALSE"));
    EXPECT_FALSE(b);
    EXPECT_FALSE(setFromValueNotation(b, "yes"));
}

TEST(ValueParser, IntegersFollowTheirTypesSign) {
    INTEGER i;
    EXPECT_TRUE(setFromValueNotation(i, "-7"));
    EXPECT_EQ(i.getValue(), -7);
    U16 u;
    EXPECT_TRUE(setFromValueNotation(u, "4294967295"));
    EXPECT_EQ(u.getValue(), 4294967295u);
    EXPECT_FALSE(setFromValueNotation(i, "x1"));
}

TEST(ValueParser, EnumeratedNamesAreWords) {
    MccType mode;
    EXPECT_TRUE(setFromValueNotation(mode, "transparent"));
    EXPECT_EQ(mode.asInt(), 2);
    EXPECT_FALSE(setFromValueNotation(mode, "nothing"));
    EXPECT_EQ(mode.asInt(), 3) << "left at maximum + 1";
    // A name glued to its separator is one word and names nothing.
    Params params;
    EXPECT_FALSE(setFromValueNotation(params, "{ tones { }, mode bri, gain 3 }"));
    EXPECT_TRUE(setFromValueNotation(params, "{ tones { }, mode bri , gain 3 }"));
    EXPECT_EQ(params.get_gain().getValue(), 3u);
}

TEST(ValueParser, Literals) {
    OCTET_STRING octets;
    EXPECT_TRUE(setFromValueNotation(octets, "''H"));
    EXPECT_TRUE(octets.empty());
    EXPECT_TRUE(setFromValueNotation(octets, "'01 0a ff'H"));
    EXPECT_EQ(octets,
              OCTET_STRING(std::vector<char>{0x01, 0x0A, static_cast<char>(0xFF)}, &OCTET_STRING::theInfo));
    EXPECT_FALSE(setFromValueNotation(octets, "'G0'H"));
    BIT_STRING bits;
    EXPECT_TRUE(setFromValueNotation(bits, "'1'B"));
    EXPECT_EQ(bits.size(), 1u);
    EXPECT_EQ(bits.getData(), std::vector<char>{static_cast<char>(0x80)});
    EXPECT_TRUE(setFromValueNotation(bits, "'101'B"));
    EXPECT_EQ(bits.getData(), std::vector<char>{static_cast<char>(0xA0)});
    EXPECT_TRUE(setFromValueNotation(bits, "'A5'H"));
    EXPECT_EQ(bits.size(), 8u);
    EXPECT_FALSE(setFromValueNotation(bits, "'12'B"));
}

TEST(ValueParser, ObjectIdentifiers) {
    OBJECT_IDENTIFIER oid;
    EXPECT_TRUE(setFromValueNotation(oid, "{ iso(1) 3 6 }"));
    ASSERT_EQ(oid.levels(), 3u);
    EXPECT_EQ(oid[0], 1u);
    EXPECT_EQ(oid[2], 6u);
    EXPECT_FALSE(setFromValueNotation(oid, "{ 1 3x }"));
    EXPECT_FALSE(setFromValueNotation(oid, "{ 1 3"));
}

TEST(ValueParser, StringsAndTimes) {
    IA5String text;
    EXPECT_TRUE(setFromValueNotation(text, "\"a b\""));
    EXPECT_EQ(static_cast<std::string&>(text), "a b");
    EXPECT_TRUE(setFromValueNotation(text, "\"open to the end"));
    EXPECT_EQ(static_cast<std::string&>(text), "open to the end");
    EXPECT_FALSE(setFromValueNotation(text, "\""));
    GeneralizedTime t;
    EXPECT_TRUE(setFromValueNotation(t, "\"20240131120000.250Z\""));
    EXPECT_EQ(t.getMillisec(), 250);
    EXPECT_TRUE(t.getUTC());
    OpenData open;
    EXPECT_FALSE(setFromValueNotation(open, "'00'H"));
}

TEST(ValueParser, ChoicesNeedTheSpacedColon) {
    PDU pdu;
    EXPECT_FALSE(setFromValueNotation(pdu, "command: ping : NULL"));
    EXPECT_TRUE(setFromValueNotation(pdu, "command : ping : NULL"));
    EXPECT_TRUE(pdu.get_command().ping_isSelected());
    EXPECT_FALSE(setFromValueNotation(pdu, "order : ping : NULL"));
}

TEST(ValueParser, SequencesInFieldOrder) {
    Message msg;
    EXPECT_TRUE(setFromValueNotation(msg, "{ }"));
    EXPECT_FALSE(msg.seq_isPresent());
    EXPECT_FALSE(setFromValueNotation(msg, "{ slot 1, seq 2, pdu command : ping : NULL }"));
    EXPECT_TRUE(setFromValueNotation(msg, "{ seq 2, pdu command : ping : NULL, }")) << "trailing comma";
    EXPECT_FALSE(setFromValueNotation(msg, "{ seq 2, pdu command : ping : NULL, extra 1 }"));
    std::istringstream is("{ seq -4, slot 9, pdu response : count : 7 } rest");
    Message read;
    is >> read;
    EXPECT_FALSE(is.fail());
    EXPECT_EQ(read.get_seq().getValue(), -4);
    std::string rest;
    is >> rest;
    EXPECT_EQ(rest, "rest");
    std::istringstream bad("{ seq x }");
    bad >> read;
    EXPECT_TRUE(bad.fail());
}

TEST(ValueParser, PrinterTextReadsBackAndPrintsTheSame) {
    TestModule::MessageGenerator values(8, TestModule::MessageGenerator::readable);
    for (int i = 0; i < 300; ++i) {
        const Message msg = values.Next();
        const std::string text = asValueNotation(msg);
        Message back;
        ASSERT_TRUE(setFromValueNotation(back, text)) << text;
        EXPECT_TRUE(back == msg) << text;
        EXPECT_EQ(asValueNotation(back), text);
    }
    // Every other kind the printer writes.
    OBJECT_IDENTIFIER oid;
    oid.append(1);
    oid.append(3);
    BIT_STRING bits;
    bits.resize(5);
    bits.set(0, true);
    bits.set(3, true);
    GeneralizedTime time(2024, 2, 29, 23, 59, 58, 7, -90);
    BMPString bmp(L"plain", &BMPString::theInfo);
    OCTET_STRING empty;
    const AbstractData* kinds[] = {&oid, &bits, &time, &bmp, &empty};
    for (const AbstractData* value : kinds) {
        std::unique_ptr<AbstractData> back(AbstractData::create(value->info()));
        const std::string text = asValueNotation(*value);
        ASSERT_TRUE(setFromValueNotation(*back, text)) << text;
        EXPECT_EQ(asValueNotation(*back), text);
    }
}

}  // namespace
