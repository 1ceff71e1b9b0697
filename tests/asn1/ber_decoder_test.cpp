// BER decoder: byte vectors, leniency the encoder relies on, and refusal of every cut input.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "asn1/asn1.h"
#include "asn1/codecs/ber_decoder.h"
#include "asn1/codecs/ber_encoder.h"
#include "tests/asn1/test_module.h"

using namespace ASN1;

namespace {

bool Decode(std::vector<unsigned char> bytes, AbstractData& value, DecodeFailure* failure = nullptr) {
    // Exact-size heap copy, so that an over-read shows under the sanitizers.
    std::vector<char> exact(bytes.begin(), bytes.end());
    const char* begin = exact.empty() ? nullptr : exact.data();
    return decodeBER(begin, begin + exact.size(), value, nullptr, failure);
}

TEST(BerDecoder, Scalars) {
    Null null;
    EXPECT_TRUE(Decode({0x05, 0x00}, null));
    BOOLEAN b;
    EXPECT_TRUE(Decode({0x01, 0x01, 0xFF}, b));
    EXPECT_TRUE(b);
    b = false;
    EXPECT_TRUE(Decode({0x01, 0x02, 0x00, 0x01}, b));
    EXPECT_TRUE(b);
    EXPECT_TRUE(Decode({0x01, 0x00}, b));
    EXPECT_TRUE(b);
    INTEGER i;
    EXPECT_TRUE(Decode({0x02, 0x02, 0xFF, 0x7F}, i));
    EXPECT_EQ(i.getValue(), -129);
    EXPECT_FALSE(Decode({0x02, 0x80, 0x01}, i));
    EXPECT_FALSE(Decode({0x02, 0x06, 0, 0, 0, 0, 0, 1}, i)) << "does not fit 32 bits";
    TestModule::MccType e;
    const ENUMERATED::InfoType wide{{&ENUMERATED::create, 10}, true, 300, nullptr, 0};
    ENUMERATED en(&wide);
    EXPECT_TRUE(Decode({0x0A, 0x01, 0xFF}, en));
    EXPECT_EQ(en.asInt(), 255);
    EXPECT_FALSE(Decode({0x02, 0x01, 0x01}, e)) << "INTEGER tag where ENUMERATED is expected";
    EXPECT_FALSE(Decode({}, null));
}

TEST(BerDecoder, Strings) {
    BIT_STRING bits;
    EXPECT_TRUE(Decode({0x03, 0x01, 0x00}, bits));
    EXPECT_EQ(bits.size(), 0u);
    EXPECT_TRUE(Decode({0x03, 0x02, 0x03, 0xA0}, bits));
    EXPECT_EQ(bits.size(), 5u);
    EXPECT_TRUE(bits[0]);
    EXPECT_TRUE(bits[2]);
    EXPECT_FALSE(Decode({0x03, 0x02, 0x08, 0xA0}, bits));
    EXPECT_FALSE(Decode({0x03, 0x01, 0x03}, bits));
    OBJECT_IDENTIFIER oid;
    EXPECT_TRUE(Decode({0x06, 0x03, 0x2B, 0x06, 0x01}, oid));
    EXPECT_EQ(oid.levels(), 4u);
    BMPString bmp;
    EXPECT_TRUE(Decode({0x1E, 0x04, 0x01, 0x41, 0x00, 0x41}, bmp));
    EXPECT_EQ(static_cast<std::wstring&>(bmp), std::wstring(L"\u0141A"));
}

TEST(BerDecoder, GeneralizedTimeWithANulOctetIsRefused) {
    GeneralizedTime time;
    std::vector<unsigned char> bytes = {0x18, 0x0F};
    for (char c : std::string("20240229130509Z")) bytes.push_back(static_cast<unsigned char>(c));
    ASSERT_TRUE(Decode(bytes, time));
    EXPECT_EQ(time.get(), "20240229130509Z");
    bytes[2 + 14] = 0;  // "20240229130509" NUL: the same time without its Z
    GeneralizedTime cut;
    EXPECT_FALSE(Decode(bytes, cut));
}

TEST(BerDecoder, LengthsBeyondTheInputAreRefusedBeforeAllocating) {
    OCTET_STRING octets;
    DecodeFailure failure;
    EXPECT_FALSE(Decode({0x04, 0x84, 0x7F, 0xFF, 0xFF, 0xFF, 0x00}, octets, &failure));
    EXPECT_STREQ(failure.reason, "length beyond end of input");
    EXPECT_TRUE(octets.empty());
    TestModule::DualTones tones;
    EXPECT_FALSE(Decode({0x30, 0x10, 0x30, 0x03, 0x80, 0x01, 0x05}, tones));
}

const void* const kOptInfos[] = {&INTEGER::theInfo, &INTEGER::theInfo};
const int kOptIds[] = {0, 1};
const char* const kOptNames[] = {"a", "b"};
const SEQUENCE::InfoType kOpt{
    {&SEQUENCE::create, 16}, false, kOptInfos, kOptIds, 2, 0, 2, nullptr, nullptr, kOptNames};

TEST(BerDecoder, SequenceLeniency) {
    SEQUENCE opt(&kOpt);
    EXPECT_TRUE(Decode({0x30, 0x00}, opt)) << "optional fields only, at the very end";
    EXPECT_FALSE(opt.hasOptionalField(0) || opt.hasOptionalField(1));
    TestModule::DualTone tone;
    // Mandatory freq1 missing while freq2 follows: skipped, freq1 keeps its created value.
    EXPECT_TRUE(Decode({0x30, 0x03, 0x81, 0x01, 0x09}, tone));
    EXPECT_EQ(tone.get_freq1().getValue(), 0u);
    EXPECT_EQ(tone.get_freq2().getValue(), 9u);
    // An unknown extension is skipped.
    EXPECT_TRUE(Decode({0x30, 0x06, 0x80, 0x01, 0x05, 0x85, 0x01, 0x01}, tone));
    EXPECT_EQ(tone.get_freq1().getValue(), 5u);
}

TEST(BerDecoder, ChoiceSelectsByTag) {
    TestModule::Response response;
    EXPECT_TRUE(Decode({0x83, 0x02, 0x00, 0xC8}, response));
    ASSERT_TRUE(response.count_isSelected());
    EXPECT_EQ(response.get_count().getValue(), 200u);
    TestModule::Command command;
    EXPECT_FALSE(Decode({0x94, 0x00}, command)) << "context tag 20 names no alternative";
    EXPECT_EQ(command.currentSelection(), CHOICE::unselected_);
}

TEST(BerDecoder, TruncatedOpenTypeFails) {
    OpenData open;
    EXPECT_FALSE(Decode({0x04, 0x05, 0x01}, open));
    EXPECT_TRUE(Decode({0x04, 0x01, 0x01}, open));
    EXPECT_EQ(open.get_buf().size(), 3u);
    open.set_data(new OCTET_STRING);
    BERDecoder decoder(open.get_buf().data(), open.get_buf().data() + 3);
    EXPECT_TRUE(decoder.revisit(open));
    EXPECT_EQ(static_cast<const OCTET_STRING&>(open.get_data()).size(), 1u);
}

TEST(BerDecoder, MessageRoundTripAndEveryPrefixFails) {
    TestModule::Message msg;
    msg.set_seq(-5);
    msg.set_slot(1000);
    TestModule::Params& p = msg.set_pdu().select_command().select_create();
    p.set_name("tone");
    TestModule::DualTone tone;
    tone.set_freq1(350);
    tone.set_freq2(440);
    p.ref_tones().push_back(tone);
    p.set_level(-20);
    p.set_mode(TestModule::MccType::bri);
    p.set_standby(TestModule::StandbyState::active);
    std::vector<char> out;
    ASSERT_TRUE(encodeBER(msg, std::back_inserter(out)));
    std::vector<unsigned char> bytes(out.begin(), out.end());
    TestModule::Message back;
    ASSERT_TRUE(Decode(bytes, back));
    EXPECT_TRUE(back == msg);
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        TestModule::Message cut;
        DecodeFailure failure;
        EXPECT_FALSE(Decode({bytes.begin(), bytes.begin() + static_cast<long>(n)}, cut, &failure)) << n;
    }
    TestModule::Message cut;
    DecodeFailure failure;
    EXPECT_FALSE(Decode({bytes.begin(), bytes.begin() + 20}, cut, &failure));
    EXPECT_STREQ(failure.reason, "length beyond end of input");
    EXPECT_EQ(failure.offset, 2u);
}

// Whatever decodes must encode to octets that decode to the same value and encode the same again.
void ExpectRoundTrip(const std::vector<unsigned char>& bytes) {
    TestModule::Message msg;
    ASSERT_TRUE(Decode(bytes, msg));
    std::vector<char> octets;
    ASSERT_TRUE(encodeBER(msg, std::back_inserter(octets)));
    TestModule::Message again;
    ASSERT_TRUE(Decode({octets.begin(), octets.end()}, again));
    EXPECT_TRUE(again == msg);
    std::vector<char> second;
    ASSERT_TRUE(encodeBER(again, std::back_inserter(second)));
    EXPECT_EQ(second, octets);
}

TEST(BerDecoder, ComponentsStayWithinTheirConstructedValue) {
    TestModule::Message msg;
    DecodeFailure failure;
    // The SEQUENCE holds 5 octets but its pdu announces 8 (found by the fuzzer).
    const std::vector<unsigned char> fuzzed{0x30, 0x05, 0xA2, 0x08, 0x00, 0x04, 0x00, 0x02, 0x85,
                                            0x04, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02, 0x00, 0xFA};
    EXPECT_FALSE(Decode(fuzzed, msg, &failure));
    EXPECT_STREQ(failure.reason, "length beyond end of input");
    EXPECT_EQ(failure.path, "pdu");
    EXPECT_EQ(failure.offset, 4u);

    // Params is 2 octets long, its standby field 6: the field may not borrow from the wrappers.
    TestModule::Message params;
    EXPECT_FALSE(Decode({0x30, 0x0C, 0xA2, 0x0A, 0xA0, 0x08, 0xA0, 0x02, 0x85, 0x04, 0x00, 0x00, 0x00, 0x01},
                        params, &failure));
    EXPECT_EQ(failure.path, "pdu.command.create.standby");

    // A DualTone of 3 octets in a list of 2, inside a Params long enough for both.
    TestModule::Params tones;
    EXPECT_FALSE(Decode({0x30, 0x07, 0xA1, 0x02, 0x30, 0x03, 0x80, 0x01, 0x05}, tones, &failure));
    EXPECT_EQ(failure.path, "tones[0]");

    // The alternative of a wrapped CHOICE may not run past the wrapper.
    TestModule::Message wrapped;
    EXPECT_FALSE(Decode({0x30, 0x07, 0xA2, 0x02, 0xA1, 0x03, 0x81, 0x01, 0x01}, wrapped, &failure));

    // The same values with consistent lengths decode and survive the round trip.
    ExpectRoundTrip({0x30, 0x0C, 0xA2, 0x0A, 0xA0, 0x08, 0xA0, 0x06, 0x85, 0x04, 0x00, 0x00, 0x00, 0x01});
    ExpectRoundTrip({0x30, 0x07, 0xA2, 0x05, 0xA1, 0x03, 0x81, 0x01, 0x01});
}

TEST(BerDecoder, NumbersOutsideTheValuesFormAreRefused) {
    // An enumeration is read unsigned: 2^32 - 1 would be stored as -1 and written back as 255.
    TestModule::StandbyState state;
    DecodeFailure failure;
    EXPECT_FALSE(Decode({0x0A, 0x04, 0xFF, 0xFF, 0xFF, 0xFF}, state, &failure));
    EXPECT_STREQ(failure.reason, "number does not fit 32 bits");
    EXPECT_FALSE(Decode({0x0A, 0x05, 0x00, 0x80, 0x00, 0x00, 0x00}, state));
    EXPECT_TRUE(Decode({0x0A, 0x04, 0x7F, 0xFF, 0xFF, 0xFF}, state));
    EXPECT_EQ(state.asInt(), 0x7FFFFFFF);
    ExpectRoundTrip({0x30, 0x0C, 0xA2, 0x0A, 0xA0, 0x08, 0xA0, 0x06, 0x85, 0x04, 0x7F, 0xFF, 0xFF, 0xFF});
    TestModule::Message msg;
    EXPECT_FALSE(
        Decode({0x30, 0x0C, 0xA2, 0x0A, 0xA0, 0x08, 0xA0, 0x06, 0x85, 0x04, 0xFF, 0xFF, 0xFF, 0xFF}, msg));

    // A signed INTEGER holds -2^31 to 2^31 - 1; a type with a lower bound of 0 holds 0 to 2^32 - 1.
    INTEGER i;
    EXPECT_FALSE(Decode({0x02, 0x05, 0x00, 0x80, 0x00, 0x00, 0x00}, i));
    EXPECT_TRUE(Decode({0x02, 0x04, 0x80, 0x00, 0x00, 0x00}, i));
    EXPECT_EQ(i.getValue(), INT32_MIN);
    using U32 = Constrained_INTEGER<FixedConstraint, 0, 0xFFFFFFFFu>;
    U32 big;
    EXPECT_TRUE(Decode({0x02, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}, big));
    EXPECT_EQ(big.getValue(), 0xFFFFFFFFu);
    TestModule::U16 u16;
    EXPECT_FALSE(Decode({0x02, 0x01, 0xFF}, u16)) << "-1 would read back as 2^32 - 1";
    EXPECT_TRUE(Decode({0x02, 0x03, 0x01, 0x00, 0x00}, u16)) << "out of range, but kept as it is";
    EXPECT_EQ(u16.getValue(), 0x10000u);
}

TEST(BerDecoder, FailureTellsFieldPathAndOffset) {
    TestModule::Message msg;
    DecodeFailure failure;
    // level holds an empty number.
    EXPECT_FALSE(
        Decode({0x30, 0x0D, 0xA2, 0x0B, 0xA0, 0x09, 0xA0, 0x07, 0xA1, 0x00, 0x82, 0x00, 0x83, 0x01, 0x01},
               msg, &failure));
    EXPECT_EQ(failure.path, "pdu.command.create.level");
    EXPECT_EQ(failure.offset, 12u);
    EXPECT_STREQ(failure.reason, "empty number");
}

}  // namespace
