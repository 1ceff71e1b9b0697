// The control envelope on the wire: the exact aligned-PER octets of commands, responses and
// signals, and how the generated accessors behave on values built here and values decoded.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "protocol/LGCP.h"
#include "protocol/MON.h"

namespace {

std::vector<unsigned char> Encode(const ASN1::AbstractData& value) {
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    std::vector<char> out;
    EXPECT_TRUE(ASN1::encode(value, env, std::back_inserter(out)));
    return std::vector<unsigned char>(out.begin(), out.end());
}

bool Decode(const std::vector<unsigned char>& bytes, ASN1::AbstractData& value) {
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    std::vector<char> in(bytes.begin(), bytes.end());
    return ASN1::decode(in.data(), in.data() + in.size(), &env, value, true);
}

LGCP::Message Command(int seq, LGCP::Command::ping::Id) {
    LGCP::Message m;
    m.set_seq(seq);
    m.set_pdu().select_command().select_ping();
    return m;
}

struct Vector {
    const char* what;
    LGCP::Message message;
    std::vector<unsigned char> bytes;
};

std::vector<Vector> EnvelopeVectors() {
    std::vector<Vector> v;
    v.push_back({"ping seq 7", Command(7, LGCP::Command::ping::id), {0x80, 0x01, 0x07, 0x18}});
    v.push_back({"ping seq 1", Command(1, LGCP::Command::ping::id), {0x80, 0x01, 0x01, 0x18}});

    LGCP::Message success;
    success.set_seq(7);
    success.set_pdu().select_response().select_success();
    v.push_back({"success seq 7", success, {0x80, 0x01, 0x07, 0x40}});
    success.set_seq(1);
    v.push_back({"success seq 1", success, {0x80, 0x01, 0x01, 0x40}});

    LGCP::Message error;
    error.set_seq(5);
    error.set_slot(12);
    error.set_pdu().select_response().select_error(LGCP::ErrorCause::slotNotExists);
    v.push_back({"slotNotExists slot 12 seq 5", error, {0xC0, 0x01, 0x05, 0x00, 0x0C, 0x63}});

    LGCP::Message unexpected;
    unexpected.set_seq(1);
    unexpected.set_pdu().select_response().select_error() = LGCP::ErrorCause::unexpectedMsgType;
    v.push_back({"unexpectedMsgType seq 1", unexpected, {0x80, 0x01, 0x01, 0x64}});

    LGCP::Message activated;
    activated.set_slot(5);
    activated.set_pdu().select_signal(LGCP::Signal(LGCP::Signal::activated::id, ASN1::Null()));
    v.push_back({"activated slot 5", activated, {0x40, 0x00, 0x05, 0x85}});
    return v;
}

TEST(Envelope, ByteExamplesEncodeAndDecodeExactly) {
    for (const auto& v : EnvelopeVectors()) {
        SCOPED_TRACE(v.what);
        EXPECT_EQ(Encode(v.message), v.bytes);
        LGCP::Message decoded;
        ASSERT_TRUE(Decode(v.bytes, decoded));
        EXPECT_TRUE(decoded == v.message);
        EXPECT_EQ(decoded.seq_isPresent(), v.message.seq_isPresent());
        EXPECT_EQ(decoded.slot_isPresent(), v.message.slot_isPresent());
        // Every prefix is refused.
        for (std::size_t n = 0; n < v.bytes.size(); ++n) {
            LGCP::Message cut;
            EXPECT_FALSE(Decode(std::vector<unsigned char>(v.bytes.begin(), v.bytes.begin() + n), cut))
                << n << " octets";
        }
    }
}

TEST(Envelope, DecodedCommandAnswersTheAccessors) {
    LGCP::Message m;
    ASSERT_TRUE(Decode({0xC0, 0x01, 0x05, 0x00, 0x0C, 0x63}, m));
    ASSERT_TRUE(m.seq_isPresent());
    EXPECT_EQ(m.get_seq().getValue(), 5);
    ASSERT_TRUE(m.slot_isPresent());
    EXPECT_EQ(m.get_slot().getValue(), 12u);
    ASSERT_TRUE(m.get_pdu().response_isSelected());
    EXPECT_FALSE(m.get_pdu().command_isSelected());
    EXPECT_TRUE(m.get_pdu().get_response().error_isSelected());
    EXPECT_TRUE(m.get_pdu().get_response().get_error().is_slotNotExists());
    EXPECT_EQ(m.get_pdu().get_response().get_error(), LGCP::ErrorCause::slotNotExists);

    LGCP::Message ping;
    ASSERT_TRUE(Decode({0x80, 0x01, 0x07, 0x18}, ping));
    const LGCP::Command& cmd = ping.get_pdu().get_command();
    EXPECT_TRUE(cmd.ping_isSelected());
    EXPECT_EQ(cmd.currentSelection(), 12);
    EXPECT_FALSE(cmd.query_isSelected());
}

TEST(Envelope, MessageWithoutSeqAndSlotAndExtremes) {
    LGCP::Message bare;
    bare.set_pdu().select_command().select_ping();
    LGCP::Message back;
    ASSERT_TRUE(Decode(Encode(bare), back));
    EXPECT_FALSE(back.seq_isPresent());
    EXPECT_FALSE(back.slot_isPresent());
    EXPECT_TRUE(back.get_pdu().get_command().ping_isSelected());

    LGCP::Message full;
    full.set_seq(-1);
    full.set_slot(1023);
    full.set_pdu().select_command().select_ping();
    LGCP::Message back2;
    ASSERT_TRUE(Decode(Encode(full), back2));
    EXPECT_EQ(back2.get_seq().getValue(), -1);
    EXPECT_EQ(back2.get_slot().getValue(), 1023u);

    // A response to a command without seq or slot holds only the pdu: two clear presence bits,
    // the response index 01 and success 0.
    LGCP::Message response;
    response.set_pdu().select_response().select_success();
    EXPECT_EQ(Encode(response), (std::vector<unsigned char>{0x10}));
}

TEST(Envelope, CommandWithConnectAndUserData) {
    LGCP::Message m;
    m.set_seq(3);
    m.set_slot(2);
    m.set_pdu().select_command().select_connect(1000);
    LGCP::Message back;
    ASSERT_TRUE(Decode(Encode(m), back));
    ASSERT_TRUE(back.get_pdu().get_command().connect_isSelected());
    EXPECT_EQ(back.get_pdu().get_command().get_connect().getValue(), 1000u);

    LGCP::Signal data(LGCP::Signal::userData::id, std::vector<char>{'\x01', '\x00', '\xFF'});
    LGCP::Signal data2;
    ASSERT_TRUE(Decode(Encode(data), data2));
    ASSERT_TRUE(data2.userData_isSelected());
    EXPECT_EQ(static_cast<const std::vector<char>&>(data2.get_userData()),
              (std::vector<char>{'\x01', '\x00', '\xFF'}));
}

// Edge cases of the generated accessors.
TEST(GeneratedAccessors, DefaultChoiceSelectsNothing) {
    LGCP::Signal s;
    EXPECT_EQ(s.currentSelection(), -1);
    EXPECT_EQ(s.getSelection(), nullptr);
    EXPECT_FALSE(s.query_isSelected());
    EXPECT_FALSE(s.activated_isSelected());
    EXPECT_FALSE(s.selcal_isSelected());
    LGCP::PDU pdu;
    EXPECT_FALSE(pdu.command_isSelected() || pdu.response_isSelected() || pdu.signal_isSelected());
}

TEST(GeneratedAccessors, OmitThenSetReusesTheFieldObject) {
    LGCP::Message m;
    EXPECT_FALSE(m.seq_isPresent());
    EXPECT_EQ(m.getField(0), nullptr);
    m.set_seq(10);
    EXPECT_TRUE(m.seq_isPresent());
    const ASN1::AbstractData* object = m.getField(0);
    m.omit_seq();
    EXPECT_FALSE(m.seq_isPresent());
    EXPECT_EQ(m.getField(0), object);
    m.set_seq(11);
    EXPECT_TRUE(m.seq_isPresent());
    EXPECT_EQ(m.getField(0), object);
    EXPECT_EQ(m.get_seq().getValue(), 11);
    // Omitted fields are not encoded.
    m.omit_seq();
    m.set_pdu().select_command().select_ping();
    EXPECT_EQ(Encode(m), (std::vector<unsigned char>{0x06, 0x00}));
}

TEST(GeneratedAccessors, SelectReplacesTheAlternativeWithADefault) {
    LGCP::Signal s(LGCP::Signal::abort::id, 77);
    EXPECT_TRUE(s.abort_isSelected());
    EXPECT_EQ(s.get_abort().getValue(), 77);
    ASN1::INTEGER& again = s.select_abort();
    EXPECT_EQ(again.getValue(), 0);
    ASN1::IA5String& number = s.select_number();
    EXPECT_TRUE(number.empty());
    EXPECT_TRUE(s.number_isSelected());
    EXPECT_FALSE(s.abort_isSelected());
    LGCP::PDU pdu;
    pdu.select_signal(s);
    LGCP::Response& fresh = pdu.select_response();
    EXPECT_EQ(fresh.currentSelection(), -1);
    LGCP::Signal& sig = pdu.select_signal();
    EXPECT_EQ(sig.currentSelection(), -1);
    EXPECT_FALSE(sig.power_isSelected());
    EXPECT_FALSE(sig.select_power().is_both());
    EXPECT_TRUE(sig.get_power().is_unknown());
}

TEST(GeneratedAccessors, EnumeratedNamesAndValues) {
    LGCP::POWERStatus p;
    EXPECT_TRUE(p.is_unknown());
    for (int v = 0; v < 6; ++v) {
        p.setFromInt(v);
        EXPECT_EQ(p.is_both(), v == 3) << v;
    }
    p.set_both();
    EXPECT_EQ(p.asInt(), 3);
    p.set_unknown();
    EXPECT_EQ(p.asInt(), 0);
    p = LGCP::POWERStatus::main;
    EXPECT_EQ(static_cast<LGCP::POWERStatus::NamedNumber>(p), LGCP::POWERStatus::main);
    EXPECT_EQ(LGCP::POWERStatus(LGCP::POWERStatus::standby).asInt(), 1);
    EXPECT_EQ(ASN1::asValueNotation(LGCP::ErrorCause(LGCP::ErrorCause::destroyInProgress)),
              "destroyInProgress");
    LGCP::ErrorCause cause = LGCP::ErrorCause::internal;
    LGCP::ErrorCause other(LGCP::ErrorCause::busError);
    EXPECT_TRUE(cause == LGCP::ErrorCause::internal);
    EXPECT_TRUE(LGCP::ErrorCause::busError == other);
    EXPECT_TRUE(cause != other);
    EXPECT_FALSE(cause == other);
    other = LGCP::ErrorCause::internal;
    EXPECT_TRUE(cause == other);
    EXPECT_EQ(LGCP::ErrorCause::theInfo.maximum, 12);
    EXPECT_TRUE(LGCP::ErrorCause::theInfo.extendable);
}

TEST(GeneratedAccessors, RefOfAnAbsentFieldOrOtherAlternativeIsALiveObject) {
    LGCP::Message m;
    ASN1::INTEGER& seq = m.ref_seq();
    EXPECT_FALSE(m.seq_isPresent());
    seq = 4;
    m.set_seq(9);
    EXPECT_EQ(&seq, &m.get_seq());

    LGCP::Signal s(LGCP::Signal::abort::id, 5);
    LGCP::Stream& stream = s.ref_receiver();
    EXPECT_TRUE(s.receiver_isSelected());
    EXPECT_EQ(&stream, &s.get_receiver());
}

TEST(GeneratedAccessors, DecodedUnknownAlternativeHasNoObject) {
    // The first extension alternative of Command: extension bit, small index 0, an open type of
    // one octet. No alternative of ours answers to it.
    LGCP::Command c;
    ASSERT_TRUE(Decode({0x80, 0x01, 0x00}, c));
    EXPECT_EQ(c.currentSelection(), ASN1::CHOICE::unknownSelection_);
    EXPECT_EQ(c.getSelection(), nullptr);
    EXPECT_FALSE(c.query_isSelected());
    EXPECT_FALSE(c.ping_isSelected());
    EXPECT_FALSE(c.protoLemz_isSelected());
}

#ifndef NDEBUG
TEST(GeneratedAccessorsDeathTest, GettersAssertPresenceAndSelection) {
    LGCP::Message m;
    EXPECT_DEATH((void)m.get_seq(), "hasOptionalField");
    LGCP::Command unknown;
    ASSERT_TRUE(Decode({0x80, 0x01, 0x00}, unknown));
    EXPECT_DEATH((void)unknown.get_ping(), "currentSelection");
    LGCP::Signal s(LGCP::Signal::abort::id, 1);
    EXPECT_DEATH((void)s.get_query(), "currentSelection");
}
#endif

TEST(GeneratedAccessors, CopiesAreDeepAndKeepTheirClass) {
    LGCP::Message m;
    m.set_seq(1);
    m.set_pdu().select_signal(
        LGCP::Signal(LGCP::Signal::deactivated::id, LGCP::DeactivateCause::NamedNumber(0)));
    LGCP::Message copy(m);
    EXPECT_TRUE(copy == m);
    EXPECT_NE(&copy.get_pdu(), &m.get_pdu());
    copy.set_seq(2);
    EXPECT_FALSE(copy == m);
    std::unique_ptr<ASN1::AbstractData> clone(m.get_pdu().get_signal().clone());
    EXPECT_NE(dynamic_cast<LGCP::Signal*>(clone.get()), nullptr);
}

TEST(GeneratedAccessors, NegativeEnumeratedValueIsRefusedByTheEncoder) {
    // Enumerations go on the wire by number in 0..maximum, so not-use (-1) has no encoding.
    TERM::RadioStandby standby(TERM::RadioStandby::not_use);
    EXPECT_EQ(standby.asInt(), -1);
    EXPECT_EQ(ASN1::asValueNotation(standby), "not-use");
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    std::vector<char> out;
    EXPECT_FALSE(ASN1::encode(standby, env, std::back_inserter(out)));
    EXPECT_TRUE(out.empty());
    standby.set_standby();
    EXPECT_EQ(Encode(standby), (std::vector<unsigned char>{0x80}));
}

TEST(GeneratedRecords, SequenceOfCreateWordsAreSetBeforeMain) {
    EXPECT_NE(ASN1::SET_OF<LGCP::TonecMask>::theInfo.create, nullptr);
    EXPECT_NE((ASN1::SEQUENCE_OF<MON::SnmpTrapsink>::theInfo.create), nullptr);
    EXPECT_NE((ASN1::SEQUENCE_OF<ASN1::IA5String>::theInfo.create), nullptr);
    EXPECT_EQ(ASN1::SET_OF<LGCP::TonecMask>::theInfo.tag, 17u);
    EXPECT_EQ(LGCP::Message::theInfo.numOptional, 2u);
    EXPECT_EQ(LGCP::Message::fieldIds[2], -1);
    EXPECT_STREQ(LGCP::Command::selectionNames[12], "ping");
    EXPECT_EQ(LGCP::Signal::theInfo.numChoices, 23u);
}

}  // namespace
