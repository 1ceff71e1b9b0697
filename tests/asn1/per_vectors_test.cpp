// Aligned PER byte vectors: each value encodes to exactly its octets, the octets decode back to an
// equal value, and every shorter prefix of them fails to decode.
#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <memory>
#include <vector>

#include "asn1/asn1.h"
#include "asn1/coder_env.h"

using namespace ASN1;

namespace {

// Shapes of the control messages, small enough to work the bits out by hand:
//   Cause ::= ENUMERATED { invalidParams, ..., destroyInProgress(12), ... }
//   Command ::= CHOICE { ping NULL, userData OCTET STRING, setLevel INTEGER (0..255), ...,
//                        reset NULL, label IA5String }
//   Response ::= CHOICE { success NULL, error Cause }
//   Signal ::= SEQUENCE { level INTEGER (0..7), note IA5String OPTIONAL, ...,
//                         count INTEGER (0..65535), flag BOOLEAN, extra NULL }
//   PDU ::= CHOICE { command Command, response Response, signal Signal }
//   Message ::= SEQUENCE { seq INTEGER OPTIONAL, slot INTEGER (0..1023) OPTIONAL, pdu PDU }
//   Pair ::= SEQUENCE { cmd Command, level INTEGER (0..255) }
using Slot = Constrained_INTEGER<FixedConstraint, 0, 1023>;
using Octet = Constrained_INTEGER<FixedConstraint, 0, 255>;
using Level = Constrained_INTEGER<FixedConstraint, 0, 7>;
using Count = Constrained_INTEGER<FixedConstraint, 0, 65535>;

const char* const kCauseNames[] = {"invalidParams",     "insufficientResources",
                                   "invalidSlot",       "slotNotExists",
                                   "unexpectedMsgType", "internal",
                                   "unsupported",       "reconnectionFail",
                                   "disconnectFail",    "connectFail",
                                   "busError",          "slotIdBusy",
                                   "destroyInProgress"};
const ENUMERATED::InfoType kCause{{&ENUMERATED::create, 10}, true, 12, kCauseNames, 0};

const void* const kCommandInfos[] = {&Null::theInfo, &OCTET_STRING::theInfo, &Octet::theInfo, &Null::theInfo,
                                     &IA5String::theInfo};
const char* const kCommandNames[] = {"ping", "userData", "setLevel", "reset", "label"};
const CHOICE::InfoType kCommand{{&CHOICE::create, 0}, true, kCommandInfos, 3, 5, nullptr, kCommandNames};

const void* const kResponseInfos[] = {&Null::theInfo, &kCause};
const char* const kResponseNames[] = {"success", "error"};
const CHOICE::InfoType kResponse{{&CHOICE::create, 0}, false, kResponseInfos, 2, 2, nullptr, kResponseNames};

const void* const kSignalInfos[] = {&Level::theInfo, &IA5String::theInfo, &Count::theInfo, &BOOLEAN::theInfo,
                                    &Null::theInfo};
const int kSignalIds[] = {-1, 0, 0, 0, 0};
const char* const kSignalNames[] = {"level", "note", "count", "flag", "extra"};
const SEQUENCE::InfoType kSignal{
    {&SEQUENCE::create, 16}, true, kSignalInfos, kSignalIds, 2, 3, 1, nullptr, nullptr, kSignalNames};

const void* const kPduInfos[] = {&kCommand, &kResponse, &kSignal};
const char* const kPduNames[] = {"command", "response", "signal"};
const CHOICE::InfoType kPdu{{&CHOICE::create, 0}, false, kPduInfos, 3, 3, nullptr, kPduNames};

const void* const kMessageInfos[] = {&INTEGER::theInfo, &Slot::theInfo, &kPdu};
const int kMessageIds[] = {0, 1, -1};
const char* const kMessageNames[] = {"seq", "slot", "pdu"};
const SEQUENCE::InfoType kMessage{
    {&SEQUENCE::create, 16}, false, kMessageInfos, kMessageIds, 3, 0, 2, nullptr, nullptr, kMessageNames};

const void* const kPairInfos[] = {&kCommand, &Octet::theInfo};
const int kPairIds[] = {-1, -1};
const char* const kPairNames[] = {"cmd", "level"};
const SEQUENCE::InfoType kPair{
    {&SEQUENCE::create, 16}, false, kPairInfos, kPairIds, 2, 0, 0, nullptr, nullptr, kPairNames};

const SEQUENCE_OF_Base::InfoType kOctetList{{{&SEQUENCE_OF_Base::create, 16}, Unconstrained, 0, 0xFFFFFFFFu},
                                            &Octet::theInfo};
const AbstractString::InfoType kName{
    {{&AbstractString::create, 22}, FixedConstraint, 1, 64}, IA5StringSet, 128, 7, 7, 8};
const ConstrainedObject::InfoType kShortOctets{{&OCTET_STRING::create, 4}, FixedConstraint, 1, 8};
const ConstrainedObject::InfoType kFourOctets{{&OCTET_STRING::create, 4}, FixedConstraint, 4, 4};
const ConstrainedObject::InfoType kBigOctets{{&OCTET_STRING::create, 4}, FixedConstraint, 0, 20000};
const TypeConstrainedOpenData::InfoType kOpenSlot{{&TypeConstrainedOpenData::create, 0}, &Slot::theInfo};

using Bytes = std::vector<char>;

Bytes B(std::initializer_list<int> octets) {
    Bytes bytes;
    for (int o : octets) bytes.push_back(static_cast<char>(o));
    return bytes;
}

bool Encode(const AbstractData& value, Bytes& out) {
    CoderEnv env;
    env.set_encodingRule(CoderEnv::per_Aligned);
    return encode(value, &env, std::back_inserter(out));
}

// Decodes from an exact-size heap copy, so that reading one octet too far shows under ASan.
bool Decode(const Bytes& in, AbstractData& value, DecodeFailure* failure = nullptr) {
    std::unique_ptr<char[]> copy(new char[in.size() + 1]);
    std::copy(in.begin(), in.end(), copy.get());
    CoderEnv env;
    env.set_encodingRule(CoderEnv::per_Aligned);
    bool ok = decode(copy.get(), copy.get() + in.size(), &env, value, true);
    if (failure != nullptr) *failure = env.get_decodeFailure();
    return ok;
}

std::unique_ptr<AbstractData> Fresh(const AbstractData& like) {
    return std::unique_ptr<AbstractData>(AbstractData::create(like.info()));
}

// The whole vector round trip: exact octets, equal value back, every prefix refused.
void ExpectVector(const AbstractData& value, const Bytes& expected) {
    Bytes out;
    ASSERT_TRUE(Encode(value, out));
    EXPECT_EQ(out, expected);
    auto back = Fresh(value);
    ASSERT_TRUE(Decode(expected, *back));
    EXPECT_TRUE(*back == value);
    for (std::size_t n = 0; n < expected.size(); ++n) {
        auto partial = Fresh(value);
        EXPECT_FALSE(Decode(Bytes(expected.begin(), expected.begin() + n), *partial)) << "prefix of " << n;
    }
}

template <class Int>
void ExpectInteger(int value, const Bytes& expected) {
    Int number;
    number.setValue(value);
    ExpectVector(number, expected);
}

struct Msg {
    SEQUENCE value{&kMessage};
    CHOICE& pdu() { return *static_cast<CHOICE*>(value.getField(2)); }
    void seq(int n) { static_cast<INTEGER*>(value.includeOptionalField(0, 0))->setValue(n); }
    void slot(int n) { static_cast<INTEGER*>(value.includeOptionalField(1, 1))->setValue(n); }
    CHOICE& command() {
        pdu().select(0);
        return *static_cast<CHOICE*>(pdu().getSelection());
    }
    SEQUENCE& signal() {
        pdu().select(2);
        return *static_cast<SEQUENCE*>(pdu().getSelection());
    }
    void error(int cause) {
        pdu().select(1);
        auto& response = *static_cast<CHOICE*>(pdu().getSelection());
        response.select(1);
        static_cast<ENUMERATED*>(response.getSelection())->setFromInt(cause);
    }
};

void SetLevel(SEQUENCE& signal, int level) {
    static_cast<INTEGER*>(signal.getField(0))->setValue(level);
}

}  // namespace

TEST(PerIntegerTest, ConstrainedRangeClasses) {
    ExpectInteger<Level>(5, B({0xA0}));                                         // 3 bits
    ExpectInteger<Constrained_INTEGER<FixedConstraint, 1, 21>>(21, B({0xA0}));  // offset 20 in 5 bits
    ExpectInteger<Octet>(200, B({0xC8}));                                       // range 256: one octet
    ExpectInteger<Constrained_INTEGER<FixedConstraint, -128, 127>>(-128, B({0x00}));
    ExpectInteger<Constrained_INTEGER<FixedConstraint, -128, 127>>(127, B({0xFF}));
    ExpectInteger<Slot>(5, B({0x00, 0x05}));  // range 1024: two octets
    ExpectInteger<Count>(300, B({0x01, 0x2C}));
    ExpectInteger<Count>(65535, B({0xFF, 0xFF}));
}

TEST(PerIntegerTest, LargeRangesCarryTheirOctetCount) {
    using Full = Constrained_INTEGER<FixedConstraint, 0, 4294967295u>;
    ExpectInteger<Full>(0, B({0x00, 0x00}));
    ExpectInteger<Full>(70000, B({0x80, 0x01, 0x11, 0x70}));
    ExpectInteger<Full>(-1, B({0xC0, 0xFF, 0xFF, 0xFF, 0xFF}));
    using Wide = Constrained_INTEGER<FixedConstraint, 112000, 399975>;  // 19 bits: count in 2 bits, 1..3
    ExpectInteger<Wide>(112000, B({0x00, 0x00}));
    ExpectInteger<Wide>(399975, B({0x80, 0x04, 0x64, 0xE7}));
}

TEST(PerIntegerTest, SinglePermittedValueTakesNoBits) {
    Constrained_INTEGER<FixedConstraint, 5, 5> single;
    single.setValue(5);
    Bytes out;
    ASSERT_TRUE(Encode(single, out));
    EXPECT_TRUE(out.empty());
    Constrained_INTEGER<FixedConstraint, 5, 5> back;
    EXPECT_TRUE(Decode(Bytes(), back));
    EXPECT_EQ(back.getValue(), 5u);
}

TEST(PerIntegerTest, UnconstrainedIsMinimalTwosComplement) {
    ExpectInteger<INTEGER>(0, B({0x01, 0x00}));
    ExpectInteger<INTEGER>(127, B({0x01, 0x7F}));
    ExpectInteger<INTEGER>(128, B({0x02, 0x00, 0x80}));
    ExpectInteger<INTEGER>(-1, B({0x01, 0xFF}));
    ExpectInteger<INTEGER>(-128, B({0x01, 0x80}));
    ExpectInteger<INTEGER>(-129, B({0x02, 0xFF, 0x7F}));
    ExpectInteger<INTEGER>(INT_MAX, B({0x04, 0x7F, 0xFF, 0xFF, 0xFF}));
    ExpectInteger<INTEGER>(INT_MIN, B({0x04, 0x80, 0x00, 0x00, 0x00}));
}

TEST(PerIntegerTest, NamedNumbersAreWrittenAsTheirInteger) {
    static constexpr IntegerWithNamedNumber::NameEntry names[] = {{1, "one"}, {300, "many"}};
    static constexpr IntegerWithNamedNumber::InfoType plain{
        {{&IntegerWithNamedNumber::create, 2}, Unconstrained, 0, 0xFFFFFFFFu}, names, 2};
    static constexpr IntegerWithNamedNumber::InfoType ranged{
        {{&IntegerWithNamedNumber::create, 2}, FixedConstraint, 0, 1023}, names, 2};
    ExpectVector(IntegerWithNamedNumber(300, &plain), B({0x02, 0x01, 0x2C}));
    ExpectVector(IntegerWithNamedNumber(-2, &plain), B({0x01, 0xFE}));
    ExpectVector(IntegerWithNamedNumber(300, &ranged), B({0x01, 0x2C}));
    IntegerWithNamedNumber outside(1024, &ranged);
    Bytes out;
    EXPECT_FALSE(Encode(outside, out));
}

TEST(PerIntegerTest, ExtensibleRangeHasExtensionBit) {
    using Ext = Constrained_INTEGER<ExtendableConstraint, 0, 7>;
    ExpectInteger<Ext>(5, B({0x50}));
    ExpectInteger<Ext>(9, B({0x80, 0x01, 0x09}));
    // Outside the root a value is a two's complement number, negative ones included.
    ExpectInteger<Ext>(-1, B({0x80, 0x01, 0xFF}));
    ExpectInteger<Ext>(200, B({0x80, 0x02, 0x00, 0xC8}));
    ExpectInteger<Constrained_INTEGER<ExtendableConstraint, -10, 10>>(-100, B({0x80, 0x01, 0x9C}));
    ExpectInteger<Constrained_INTEGER<ExtendableConstraint, -10, 10>>(-10, B({0x00}));
    // Only a lower bound: written like an unconstrained number, read back the same way.
    ExpectInteger<Constrained_INTEGER<PartiallyConstrained, -5, 0xFFFFFFFFu>>(-3, B({0x01, 0xFD}));
}

TEST(PerIntegerTest, OutOfRangeValuesFailToEncodeButDecodeAsSent) {
    Slot slot;
    slot = 1024u;
    Bytes out = B({0x55});
    CoderEnv env;
    env.set_encodingRule(CoderEnv::per_Aligned);
    EXPECT_FALSE(encode(slot, &env, std::back_inserter(out)));
    EXPECT_EQ(out, B({0x55}));  // the caller's buffer is untouched

    // 1..21 in 5 bits: the pattern 31 decodes as 32, the range is not checked on receipt.
    Constrained_INTEGER<FixedConstraint, 1, 21> small;
    ASSERT_TRUE(Decode(B({0xF8}), small));
    EXPECT_EQ(small.getValue(), 32u);
    // 0..1023 carries 1023+ patterns too: the control server answers those itself.
    ASSERT_TRUE(Decode(B({0xFF, 0xFF}), slot));
    EXPECT_EQ(slot.getValue(), 65535u);
}

// Each range class after one leading bit, so that alignment (or its absence) shows.
TEST(PerIntegerTest, RangeClassBoundariesAfterOneBit) {
    struct Case {
        unsigned value, lower, upper;
        Bytes octets;
    };
    const Case cases[] = {
        {0xAB, 0, 254, B({0xD5, 0x80})},                      // range 255: 8 bits, not aligned
        {0xAB, 0, 255, B({0x80, 0xAB})},                      // range 256: one aligned octet
        {256, 0, 256, B({0x80, 0x01, 0x00})},                 // range 257: two aligned octets
        {0x1234, 0, 65535, B({0x80, 0x12, 0x34})},            // range 65536: two octets
        {5, 0, 65536, B({0x80, 0x05})},                       // range 65537: count 1 of 1..3
        {65536, 0, 65536, B({0xC0, 0x01, 0x00, 0x00})},       // count 3 of 1..3
        {0x01000000, 0, 0xFFFFFFFFu, B({0xE0, 1, 0, 0, 0})},  // full range: count 4 of 1..4
        {0xFFFFFFFFu, 0, 0xFFFFFFFFu, B({0xE0, 0xFF, 0xFF, 0xFF, 0xFF})},
        {7, 7, 7, B({0x80})},  // one value: only the leading bit
    };
    for (const Case& c : cases) {
        Bytes out;
        PEREncoder encoder(out, true);
        encoder.encodeSingleBit(true);
        ASSERT_TRUE(encoder.encodeUnsigned(c.value, c.lower, c.upper)) << c.upper;
        EXPECT_EQ(out, c.octets) << c.upper;
        PERDecoder decoder(c.octets.data(), c.octets.data() + c.octets.size(), nullptr, true);
        EXPECT_TRUE(decoder.decodeSingleBit());
        unsigned back = 0;
        ASSERT_EQ(decoder.decodeUnsigned(c.lower, c.upper, back), 0) << c.upper;
        EXPECT_EQ(back, c.value) << c.upper;
        EXPECT_LT(decoder.getBitsLeft(), 8u) << c.upper;  // only fill bits remain
        // One octet short is refused, never read as zeros.
        if (c.octets.size() > 1) {
            PERDecoder shorter(c.octets.data(), c.octets.data() + c.octets.size() - 1, nullptr, true);
            shorter.decodeSingleBit();
            EXPECT_EQ(shorter.decodeUnsigned(c.lower, c.upper, back), -1) << c.upper;
        }
    }
    Bytes out;
    PEREncoder encoder(out, true);
    EXPECT_FALSE(encoder.encodeUnsigned(65537, 0, 65536));
    EXPECT_FALSE(encoder.encodeUnsigned(4, 5, 10));
    EXPECT_TRUE(out.empty());
}

TEST(PerLengthTest, ConstrainedBelow64KAndGeneralAbove) {
    Bytes out;
    PEREncoder encoder(out, true);
    encoder.encodeSingleBit(true);
    ASSERT_TRUE(encoder.encodeLength(300, 0, 65535));  // a constrained number: two aligned octets
    ASSERT_TRUE(encoder.encodeLength(300, 0, 65536));  // the general form
    ASSERT_TRUE(encoder.encodeLength(9, 9, 9));        // a fixed size has no length at all
    EXPECT_FALSE(encoder.encodeLength(8, 9, 12));
    EXPECT_FALSE(encoder.encodeLength(13, 9, 12));
    EXPECT_EQ(out, B({0x80, 0x01, 0x2C, 0x81, 0x2C}));

    PERDecoder decoder(out.data(), out.data() + out.size(), nullptr, true);
    decoder.decodeSingleBit();
    unsigned a = 0, b = 0, c = 0;
    EXPECT_EQ(decoder.decodeLength(0, 65535, a), 0);
    EXPECT_EQ(decoder.decodeLength(0, 65536, b), 0);
    EXPECT_EQ(decoder.decodeLength(9, 9, c), 0);
    EXPECT_EQ(a, 300u);
    EXPECT_EQ(b, 300u);
    EXPECT_EQ(c, 9u);
    EXPECT_TRUE(decoder.atEnd());
}

TEST(PerLengthTest, GeneralLengthForms) {
    for (auto [length, prefix] : {std::pair<unsigned, Bytes>{0, B({0x00})},
                                  {127, B({0x7F})},
                                  {128, B({0x80, 0x80})},
                                  {16383, B({0xBF, 0xFF})}}) {
        OCTET_STRING octets;
        octets.assign(length, '\x5A');
        Bytes expected = prefix;
        expected.insert(expected.end(), length, '\x5A');
        Bytes out;
        ASSERT_TRUE(Encode(octets, out)) << length;
        EXPECT_EQ(out, expected) << length;
        OCTET_STRING back;
        ASSERT_TRUE(Decode(expected, back)) << length;
        EXPECT_EQ(back.compare(octets), 0);
        for (std::size_t n = length < 200 ? 0 : expected.size() - 1; n < expected.size(); ++n) {
            OCTET_STRING partial;
            EXPECT_FALSE(Decode(Bytes(expected.begin(), expected.begin() + n), partial))
                << length << " " << n;
        }
    }
}

TEST(PerLengthTest, NoFragmentedForm) {
    OCTET_STRING octets;
    octets.assign(16384, 'x');
    Bytes out = B({1, 2});
    CoderEnv env;
    env.set_encodingRule(CoderEnv::per_Aligned);
    EXPECT_FALSE(encode(octets, &env, std::back_inserter(out)));
    EXPECT_EQ(out, B({1, 2}));

    Bytes fragmented = B({0xC1});
    fragmented.insert(fragmented.end(), 16384, 'x');
    EXPECT_FALSE(Decode(fragmented, octets));

    PEREncoder encoder(out, true);
    EXPECT_TRUE(encoder.encodeLength(16383, 0, 2147483647));
    EXPECT_FALSE(encoder.encodeLength(16384, 0, 2147483647));
}

TEST(PerLengthTest, ConstrainedSizesAndTheStringLimit) {
    // SIZE (0..20000) counts in 16 bits, so more than 16384 octets can be written, not read.
    OCTET_STRING big(&kBigOctets);
    big.assign(16384, 'y');
    Bytes out;
    ASSERT_TRUE(Encode(big, out));
    EXPECT_EQ(out.size(), 16386u);
    EXPECT_EQ(out[0], '\x40');
    EXPECT_EQ(out[1], '\x00');
    OCTET_STRING back(&kBigOctets);
    ASSERT_TRUE(Decode(out, back));
    EXPECT_EQ(back.compare(big), 0);

    big.push_back('y');
    out.clear();
    ASSERT_TRUE(Encode(big, out));
    DecodeFailure failure;
    EXPECT_FALSE(Decode(out, back, &failure));
    EXPECT_EQ(failure.offset, 2u);
}

TEST(PerStringTest, OctetStringSizes) {
    OCTET_STRING empty;
    ExpectVector(empty, B({0x00}));
    OCTET_STRING three;
    three.assign({'\x01', '\x0A', '\xFF'});
    ExpectVector(three, B({0x03, 0x01, 0x0A, 0xFF}));
    // SIZE (1..8): length - 1 in 3 bits, then the two octets without alignment.
    OCTET_STRING shortOctets(&kShortOctets);
    shortOctets.assign({'\xAB', '\xCD'});
    ExpectVector(shortOctets, B({0x35, 0x79, 0xA0}));
    // SIZE (4): no length at all.
    OCTET_STRING fixed(&kFourOctets);
    fixed.assign({'\x11', '\x22', '\x33', '\x44'});
    ExpectVector(fixed, B({0x11, 0x22, 0x33, 0x44}));
    OCTET_STRING wrongSize(&kFourOctets);
    wrongSize.assign(3, '\x01');
    Bytes out;
    EXPECT_FALSE(Encode(wrongSize, out));
}

TEST(PerStringTest, IA5StringSizes) {
    IA5String text("hi", &IA5String::theInfo);
    ExpectVector(text, B({0x02, 'h', 'i'}));
    IA5String none("", &IA5String::theInfo);
    ExpectVector(none, B({0x00}));
    // SIZE (1..64): length - 1 in 6 bits, then aligned characters.
    AbstractString name(&kName, "ab");
    ExpectVector(name, B({0x04, 'a', 'b'}));
    AbstractString tooLong(&kName, std::string(65, 'a'));
    Bytes out;
    EXPECT_FALSE(Encode(tooLong, out));
    // A character above 127 goes out as its own code.
    IA5String high("\xE9", &IA5String::theInfo);
    out.clear();
    ASSERT_TRUE(Encode(high, out));
    EXPECT_EQ(out, B({0x01, 0xE9}));
}

TEST(PerStringTest, BitStringsUnalignedUpTo16Bits) {
    const ConstrainedObject::InfoType upTo7{{&BIT_STRING::create, 3}, FixedConstraint, 0, 7};
    const ConstrainedObject::InfoType upTo16{{&BIT_STRING::create, 3}, FixedConstraint, 0, 16};
    const ConstrainedObject::InfoType upTo32{{&BIT_STRING::create, 3}, FixedConstraint, 0, 32};
    auto bits = [](const void* info, const std::string& text) {
        BIT_STRING value(info);
        value.resize(static_cast<unsigned>(text.size()));
        for (unsigned i = 0; i < text.size(); ++i) value.set(i, text[i] == '1');
        return value;
    };
    ExpectVector(bits(&BIT_STRING::theInfo, ""), B({0x00}));
    ExpectVector(bits(&BIT_STRING::theInfo, "10110"), B({0x05, 0xB0}));
    // Size in 3 bits, the five bits straight after it.
    ExpectVector(bits(&upTo7, "10110"), B({0xB6}));
    // Size in 5 bits, then 16 bits without alignment.
    ExpectVector(bits(&upTo16, "1010101111001101"), B({0x85, 0x5E, 0x68}));
    // 17 bits: size in 6 bits, then aligned octets.
    ExpectVector(bits(&upTo32, "10101011110011011"), B({0x44, 0xAB, 0xCD, 0x80}));
    Bytes out;
    EXPECT_FALSE(Encode(bits(&upTo7, "101101011"), out));
}

TEST(PerStringTest, BmpStringsAndObjectIdentifiers) {
    BMPString text(std::wstring(L"Ab"), &BMPString::theInfo);
    ExpectVector(text, B({0x02, 0x00, 0x41, 0x00, 0x62}));
    const BMPString::InfoType printable{
        {{&BMPString::create, 30}, Unconstrained, 0, 0xFFFFFFFFu}, 0x20, 0x7E, 7, 8};
    BMPString narrow(std::wstring(L"Ab"), &printable);
    ExpectVector(narrow, B({0x02, 0x21, 0x42}));  // offsets from the first permitted character
    BMPString outside(std::wstring(L"A\x10"), &printable);
    Bytes out;
    EXPECT_FALSE(Encode(outside, out));

    OBJECT_IDENTIFIER oid;
    for (unsigned arc : {1u, 2u, 840u, 113549u}) oid.append(arc);
    ExpectVector(oid, B({0x06, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D}));
    OBJECT_IDENTIFIER longest;
    longest.append(1);
    longest.append(2);
    for (int i = 0; i < 254; ++i) longest.append(1);
    out.clear();
    ASSERT_TRUE(Encode(longest, out));
    EXPECT_EQ(out.size(), 256u);
    EXPECT_EQ(out[0], '\xFF');
    longest.append(1);  // 256 contents octets: more than one count octet can say
    out.clear();
    EXPECT_FALSE(Encode(longest, out));
    EXPECT_TRUE(out.empty());
}

TEST(PerStringTest, DecodedSizesStopAt16384) {
    const AbstractString::InfoType bigText{
        {{&AbstractString::create, 22}, FixedConstraint, 0, 20000}, IA5StringSet, 128, 7, 7, 8};
    const ConstrainedObject::InfoType bigBits{{&BIT_STRING::create, 3}, FixedConstraint, 0, 20000};
    const BMPString::InfoType bigBmp{
        {{&BMPString::create, 30}, FixedConstraint, 0, 20000}, 0, 0xFFFF, 16, 16};
    for (unsigned size : {16384u, 16385u}) {
        AbstractString text(&bigText, std::string(size, 'q'));
        BIT_STRING bits(&bigBits);
        bits.resize(size);
        BMPString wide(std::wstring(size, L'q'), &bigBmp);
        for (const AbstractData* value :
             {static_cast<const AbstractData*>(&text), static_cast<const AbstractData*>(&bits),
              static_cast<const AbstractData*>(&wide)}) {
            Bytes out;
            ASSERT_TRUE(Encode(*value, out)) << size;
            auto back = Fresh(*value);
            EXPECT_EQ(Decode(out, *back), size == 16384u) << size;
        }
    }
    // Unconstrained, the longest length form carries 16383 characters, and they decode.
    IA5String longest(std::string(16383, 'z'));
    Bytes out;
    ASSERT_TRUE(Encode(longest, out));
    EXPECT_EQ(out.size(), 16385u);
    IA5String back;
    ASSERT_TRUE(Decode(out, back));
    EXPECT_EQ(back.size(), 16383u);
    out.pop_back();
    EXPECT_FALSE(Decode(out, back));
}

TEST(PerSmallNumberTest, SixBitsOrLengthAndOctets) {
    for (auto [n, expected] : {std::pair<unsigned, Bytes>{0, B({0x00})},
                               {63, B({0x7E})},
                               {64, B({0x80, 0x01, 0x40})},
                               {256, B({0x80, 0x02, 0x01, 0x00})},
                               {0xFFFFFFFFu, B({0x80, 0x04, 0xFF, 0xFF, 0xFF, 0xFF})}}) {
        Bytes out;
        PEREncoder encoder(out, true);
        encoder.encodeSmallUnsigned(n);
        EXPECT_EQ(out, expected) << n;
        PERDecoder decoder(expected.data(), expected.data() + expected.size(), nullptr, true);
        unsigned back = 0;
        ASSERT_TRUE(decoder.decodeSmallUnsigned(back)) << n;
        EXPECT_EQ(back, n);
    }
    Bytes five = B({0x80, 0x05, 1, 2, 3, 4, 5});
    PERDecoder decoder(five.data(), five.data() + five.size(), nullptr, true);
    unsigned value;
    EXPECT_FALSE(decoder.decodeSmallUnsigned(value));
}

TEST(PerSequenceTest, PresenceBitsThenFields) {
    Msg ping;
    ping.slot(12);
    ping.command().select(0);
    ExpectVector(ping.value, B({0x40, 0x00, 0x0C, 0x00}));

    Msg data;
    data.seq(5);
    data.slot(12);
    data.command().select(1);
    auto& octets = *static_cast<OCTET_STRING*>(data.command().getSelection());
    octets.assign({'\x01', '\x0A', '\xFF'});
    ExpectVector(data.value, B({0xC0, 0x01, 0x05, 0x00, 0x0C, 0x08, 0x03, 0x01, 0x0A, 0xFF}));
}

TEST(PerSequenceTest, ExtensionBitmapIsHighestIncludedPlusOne) {
    Msg plain;
    SetLevel(plain.signal(), 5);
    ExpectVector(plain.value, B({0x22, 0x80}));

    Msg flagged;
    SEQUENCE& signal = flagged.signal();
    SetLevel(signal, 5);
    static_cast<AbstractString*>(signal.includeOptionalField(0, 1))->assign("hi");
    *static_cast<BOOLEAN*>(signal.includeOptionalField(2, 3)) = true;
    // Bitmap of 2 bits (flag is addition 1), the BOOLEAN as an open type of one octet.
    ExpectVector(flagged.value, B({0x2E, 0x80, 0x02, 'h', 'i', 0x02, 0x80, 0x01, 0x80}));

    Msg counted;
    SetLevel(counted.signal(), 5);
    static_cast<INTEGER*>(counted.signal().includeOptionalField(1, 2))->setValue(300);
    ExpectVector(counted.value, B({0x2A, 0x80, 0x80, 0x02, 0x01, 0x2C}));

    // An addition whose encoding is empty travels as one octet 0.
    Msg extra;
    SetLevel(extra.signal(), 5);
    extra.signal().includeOptionalField(3, 4);
    ExpectVector(extra.value, B({0x2A, 0x82, 0x20, 0x01, 0x00}));
}

TEST(PerSequenceTest, OmittedAdditionLeavesNoExtensionBit) {
    Msg msg;
    SetLevel(msg.signal(), 5);
    msg.signal().includeOptionalField(2, 3);
    msg.signal().removeOptionalField(2);
    Bytes out;
    ASSERT_TRUE(Encode(msg.value, out));
    EXPECT_EQ(out, B({0x22, 0x80}));
}

TEST(PerSequenceTest, UnknownAdditionsAreSkippedAndNotWrittenAgain) {
    // Four presence bits: flag (known) and a fourth addition this version does not know, which
    // ends exactly at the end of the input.
    Bytes sent = B({0x2A, 0x83, 0x50, 0x01, 0x80, 0x02, 0xAB, 0xCD});
    Msg msg;
    ASSERT_TRUE(Decode(sent, msg.value));
    auto& signal = *static_cast<SEQUENCE*>(msg.pdu().getSelection());
    ASSERT_TRUE(signal.hasOptionalField(2));
    EXPECT_TRUE(static_cast<bool>(*static_cast<BOOLEAN*>(signal.getField(3))));
    Bytes again;
    ASSERT_TRUE(Encode(msg.value, again));
    // The three known positions go out again, the fourth and its octets do not.
    EXPECT_EQ(again, B({0x2A, 0x82, 0x40, 0x01, 0x80}));
    for (std::size_t n = 0; n < sent.size(); ++n) {
        Msg partial;
        EXPECT_FALSE(Decode(Bytes(sent.begin(), sent.begin() + n), partial.value)) << n;
    }
}

TEST(PerSequenceTest, DecodingAgainDropsAdditionsTheNewMessageLacks) {
    const Bytes flagged = B({0x2E, 0x80, 0x02, 'h', 'i', 0x02, 0x80, 0x01, 0x80});  // note, flag
    const Bytes plain = B({0x22, 0x80});                                            // no additions
    const Bytes counted = B({0x2A, 0x80, 0x80, 0x02, 0x01, 0x2C});                  // count only
    for (const Bytes* second : {&plain, &counted}) {
        Msg reused;
        ASSERT_TRUE(Decode(flagged, reused.value));
        ASSERT_TRUE(Decode(*second, reused.value));
        Msg fresh;
        ASSERT_TRUE(Decode(*second, fresh.value));
        auto& signal = *static_cast<SEQUENCE*>(reused.pdu().getSelection());
        EXPECT_FALSE(signal.hasOptionalField(0));  // note
        EXPECT_FALSE(signal.hasOptionalField(2));  // flag
        EXPECT_TRUE(reused.value == fresh.value);
        Bytes out;
        ASSERT_TRUE(Encode(reused.value, out));
        EXPECT_EQ(out, *second);
    }
    // A decoded value keeps the bitmap length it was sent: three positions, only the first set.
    const Bytes three = B({0x2A, 0x82, 0x80, 0x02, 0x01, 0x2C});
    Msg kept;
    ASSERT_TRUE(Decode(three, kept.value));
    EXPECT_EQ(static_cast<SEQUENCE*>(kept.pdu().getSelection())->extensionMap().size(), 3u);
    Bytes out;
    ASSERT_TRUE(Encode(kept.value, out));
    EXPECT_EQ(out, three);
}

TEST(PerSequenceTest, ExtensionBitmapCountLimit) {
    // m = 127: 128 presence bits, none set, decodes.
    Bytes ok = B({0x2A, 0xC0, 0x01, 0x7F});
    ok.insert(ok.end(), 16, 0);
    Msg msg;
    EXPECT_TRUE(Decode(ok, msg.value));
    // m = 128 announces 129 additions: refused.
    Bytes tooMany = B({0x2A, 0xC0, 0x01, 0x80});
    tooMany.insert(tooMany.end(), 17, 0);
    Msg refused;
    EXPECT_FALSE(Decode(tooMany, refused.value));
}

TEST(PerSequenceTest, LateFailureLeavesTheCallersBufferAlone) {
    CoderEnv env;
    env.set_encodingRule(CoderEnv::per_Aligned);
    // The root field fails after the presence bits and both numbers were written.
    Msg badLevel;
    badLevel.seq(5);
    badLevel.slot(12);
    SetLevel(badLevel.signal(), 9);
    Bytes out = B({0x55, 0x66});
    EXPECT_FALSE(encode(badLevel.value, &env, std::back_inserter(out)));
    EXPECT_EQ(out, B({0x55, 0x66}));
    // An addition fails inside its open type.
    Msg badCount;
    badCount.seq(5);
    SetLevel(badCount.signal(), 5);
    static_cast<INTEGER*>(badCount.signal().includeOptionalField(1, 2))->setValue(70000);
    EXPECT_FALSE(encode(badCount.value, &env, std::back_inserter(out)));
    EXPECT_EQ(out, B({0x55, 0x66}));
    // The same message with a good count appends after what was there.
    static_cast<INTEGER*>(badCount.signal().getField(2))->setValue(7);
    ASSERT_TRUE(encode(badCount.value, &env, std::back_inserter(out)));
    EXPECT_EQ(out, B({0x55, 0x66, 0x80, 0x01, 0x05, 0xAA, 0x02, 0x02, 0x00, 0x07}));
}

TEST(PerChoiceTest, RootIndexes) {
    Msg error;
    error.error(3);
    ExpectVector(error.value, B({0x18, 0xC0}));
    // Index 3 of a three-alternative CHOICE names nothing.
    Msg msg;
    EXPECT_FALSE(Decode(B({0x30, 0x00}), msg.value));
}

TEST(PerChoiceTest, ExtensionAlternativesAreOpenTypes) {
    Msg reset;
    reset.command().select(3);
    ExpectVector(reset.value, B({0x08, 0x00, 0x01, 0x00}));

    Msg label;
    label.command().select(4);
    static_cast<AbstractString*>(label.command().getSelection())->assign("ab");
    ExpectVector(label.value, B({0x08, 0x10, 0x03, 0x02, 'a', 'b'}));
}

TEST(PerChoiceTest, UnknownAlternativeIsSkipped) {
    SEQUENCE pair(&kPair);
    ASSERT_TRUE(Decode(B({0x82, 0x02, 0xAA, 0xBB, 0x07}), pair));
    auto& cmd = *static_cast<CHOICE*>(pair.getField(0));
    EXPECT_TRUE(cmd.isUnknownSelection());
    EXPECT_EQ(static_cast<INTEGER*>(pair.getField(1))->getValue(), 7);
    Bytes out;
    EXPECT_FALSE(Encode(pair, out));  // an alternative we cannot write
}

TEST(PerChoiceTest, ExtensionIndexOverflowFails) {
    Msg msg;
    EXPECT_FALSE(Decode(B({0x0C, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00}), msg.value));
}

TEST(PerChoiceTest, UnselectedChoiceFailsToEncode) {
    Msg msg;
    Bytes out;
    EXPECT_FALSE(Encode(msg.value, out));
    EXPECT_TRUE(out.empty());
}

TEST(PerEnumeratedTest, RootAndExtensionValues) {
    Msg root;
    root.error(12);
    ExpectVector(root.value, B({0x1B, 0x00}));
    // 14 beyond the maximum 12: bit 1, then 15 as a small number, then 14 in 0..14.
    Msg extension;
    extension.error(14);
    ExpectVector(extension.value, B({0x1C, 0x7F, 0x00}));
    // An extension value announced with n = 0 is malformed.
    Msg zero;
    EXPECT_FALSE(Decode(B({0x1C, 0x00}), zero.value));
}

TEST(PerEnumeratedTest, NotExtensibleRefusesValuesBeyondMaximum) {
    const char* const names[] = {"data", "bri", "transparent"};
    const ENUMERATED::InfoType mcc{{&ENUMERATED::create, 10}, false, 2, names, 0};
    ENUMERATED value(&mcc);
    value.setFromInt(2);
    ExpectVector(value, B({0x80}));
    value.setFromInt(3);
    Bytes out;
    EXPECT_FALSE(Encode(value, out));
    value.setFromInt(-1);
    EXPECT_FALSE(Encode(value, out));
}

TEST(PerOpenTypeTest, DecodedFromExactlyItsOctets) {
    // The label's open type says 1 octet, but the string inside needs 3.
    Msg msg;
    DecodeFailure failure;
    EXPECT_FALSE(Decode(B({0x08, 0x10, 0x01, 0x02, 'a', 'b'}), msg.value, &failure));
    EXPECT_EQ(failure.path, "pdu.command.label");
    EXPECT_EQ(failure.offset, 4u);
    // The open type's count runs past the end of the input.
    Msg past;
    EXPECT_FALSE(Decode(B({0x08, 0x10, 0x09, 0x02, 'a', 'b'}), past.value));
}

TEST(PerOpenTypeTest, TypeConstrainedAndPlainOpenValues) {
    std::unique_ptr<AbstractData> open(AbstractData::create(&kOpenSlot));
    auto& typed = static_cast<OpenData&>(*open);
    static_cast<INTEGER&>(typed.get_data()).setValue(12);
    Bytes out;
    ASSERT_TRUE(Encode(typed, out));
    EXPECT_EQ(out, B({0x02, 0x00, 0x0C}));
    std::unique_ptr<AbstractData> back(AbstractData::create(&kOpenSlot));
    ASSERT_TRUE(Decode(out, *back));
    EXPECT_EQ(static_cast<INTEGER&>(static_cast<OpenData&>(*back).get_data()).getValue(), 12);

    // A plain open value keeps the octets and writes them out again unchanged.
    OpenData plain;
    ASSERT_TRUE(Decode(B({0x02, 0x00, 0x0C}), plain));
    ASSERT_TRUE(plain.has_buf());
    EXPECT_EQ(plain.get_buf(), B({0x00, 0x0C}));
    out.clear();
    ASSERT_TRUE(Encode(plain, out));
    EXPECT_EQ(out, B({0x02, 0x00, 0x0C}));
    OpenData empty;
    out.clear();
    ASSERT_TRUE(Encode(empty, out));
    EXPECT_EQ(out, B({0x01, 0x00}));
}

TEST(PerSequenceOfTest, CountsUpTo128) {
    SEQUENCE_OF_Base list(&kOctetList);
    list.resize(2);
    static_cast<INTEGER*>(*list.begin())->setValue(1);
    static_cast<INTEGER*>(*(list.begin() + 1))->setValue(2);
    ExpectVector(list, B({0x02, 0x01, 0x02}));

    Bytes full = B({0x80, 0x80});
    full.insert(full.end(), 128, 0x11);
    SEQUENCE_OF_Base back(&kOctetList);
    ASSERT_TRUE(Decode(full, back));
    EXPECT_EQ(back.size(), 128u);

    Bytes over = B({0x80, 0x81});
    over.insert(over.end(), 129, 0x11);
    SEQUENCE_OF_Base refused(&kOctetList);
    EXPECT_FALSE(Decode(over, refused));
}

TEST(PerSequenceOfTest, FailingElementAndThoseAfterItAreRemoved) {
    SEQUENCE_OF_Base list(&kOctetList);
    DecodeFailure failure;
    EXPECT_FALSE(Decode(B({0x04, 0x01, 0x02}), list, &failure));
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(failure.path, "[2]");
    EXPECT_EQ(failure.offset, 3u);
}

TEST(PerMalformedTest, GeneralLengthElevenAndLongIntegers) {
    OCTET_STRING octets;
    EXPECT_FALSE(Decode(B({0xC0, 0x00}), octets));
    INTEGER number;
    EXPECT_FALSE(Decode(B({0x05, 1, 2, 3, 4, 5}), number));
    BOOLEAN flag;
    EXPECT_FALSE(Decode(Bytes(), flag));
    Null null;
    EXPECT_TRUE(Decode(Bytes(), null));
}

TEST(PerMalformedTest, GeneralizedTimeShorterThanItsLength) {
    GeneralizedTime time;
    EXPECT_FALSE(Decode(B({0x0F, '2', '0', '2', '4', '0'}), time));
    Bytes full = B({0x0F});
    for (char c : std::string("20240229130509Z")) full.push_back(c);
    ASSERT_TRUE(Decode(full, time));
    EXPECT_EQ(time.get(), "20240229130509Z");
    Bytes out;
    ASSERT_TRUE(Encode(time, out));
    EXPECT_EQ(out, full);

    Bytes nul = full;
    nul[1 + 14] = 0;  // "20240229130509" NUL would read as a local time
    GeneralizedTime cut;
    EXPECT_FALSE(Decode(nul, cut));

    Bytes huge = B({0x13});
    for (char c : std::string("20240229130509.9e99")) huge.push_back(c);
    GeneralizedTime odd;
    ASSERT_TRUE(Decode(huge, odd));
    EXPECT_EQ(odd.getSecond(), 9);
    EXPECT_EQ(odd.getMillisec(), 0);
}

TEST(PerUnalignedTest, NumbersInTheirBitsOnly) {
    Bytes out;
    PEREncoder encoder(out, false);
    ASSERT_TRUE(encoder.encodeUnsigned(5, 0, 1023));  // 10 bits, no octet rounding
    ASSERT_TRUE(encoder.encodeLength(3, 1, 8));       // 3 bits
    EXPECT_EQ(out, B({0x01, 0x50}));
    PERDecoder decoder(out.data(), out.data() + out.size(), nullptr, false);
    unsigned value = 0;
    unsigned length = 0;
    ASSERT_EQ(decoder.decodeUnsigned(0, 1023, value), 0);
    ASSERT_EQ(decoder.decodeLength(1, 8, length), 0);
    EXPECT_EQ(value, 5u);
    EXPECT_EQ(length, 3u);
}
