// The generated info records: the numbers the coders read, the name tables the printer shows,
// and extension fields that only a single presence bit distinguishes.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/printer.h"
#include "protocol/ACP.h"
#include "protocol/HSP.h"
#include "protocol/LEMZGW.h"
#include "protocol/LGCP.h"
#include "protocol/TERM.h"

namespace {

std::vector<char> Encode(const ASN1::AbstractData& value) {
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    std::vector<char> out;
    EXPECT_TRUE(ASN1::encode(value, env, std::back_inserter(out)));
    return out;
}

template <class T>
T Decode(const std::vector<char>& bytes) {
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    T value;
    EXPECT_TRUE(ASN1::decode(bytes.data(), bytes.data() + bytes.size(), &env, value, true));
    return value;
}

TEST(GeneratedRecords, SequenceCountsAndOptionalBits) {
    const auto& rtp = TERM::RtpParams::theInfo;
    EXPECT_TRUE(rtp.extendable);
    EXPECT_EQ(rtp.numFields, 14u);
    EXPECT_EQ(rtp.knownExtensions, 0u);
    EXPECT_EQ(rtp.numOptional, 12u);
    EXPECT_EQ(rtp.fieldIds[0], -1);   // payload
    EXPECT_EQ(rtp.fieldIds[2], 0);    // shost
    EXPECT_EQ(rtp.fieldIds[13], 11);  // qos-dscp
    EXPECT_STREQ(rtp.fieldNames[10], "rtp-e2m");
    EXPECT_EQ(rtp.tags, nullptr);
    EXPECT_EQ(rtp.nonOptionalExtensions, nullptr);

    const auto& term = TERM::TermParams::theInfo;
    EXPECT_EQ(term.numFields, 6u);
    EXPECT_EQ(term.knownExtensions, 13u);
    EXPECT_EQ(term.numOptional, 6u);
    for (unsigned i = 6; i < 19; ++i) EXPECT_EQ(term.fieldIds[i], 0) << i;
    EXPECT_EQ(term.fieldInfos[18], &TERM::RadioCommand::theInfo);

    EXPECT_EQ(LGCP::Message::theInfo.tag, 16u);
}

TEST(GeneratedRecords, ChoiceCountsAndNames) {
    EXPECT_EQ(ACP::AcpCommand::theInfo.numChoices, 6u);
    EXPECT_EQ(ACP::AcpCommand::theInfo.totalChoices, 17u);
    EXPECT_TRUE(ACP::AcpCommand::theInfo.extendable);
    EXPECT_STREQ(ACP::AcpCommand::selectionNames[1], "state-first");
    EXPECT_EQ(LGCP::Signal::theInfo.totalChoices, 23u);
    EXPECT_EQ(LGCP::Signal::selectionInfos[2], &ASN1::IA5String::theInfo);
    EXPECT_EQ(LGCP::Command::selectionInfos[2],
              (&ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 1023u>::theInfo));
    EXPECT_FALSE(LGCP::PDU::theInfo.extendable);
}

TEST(GeneratedRecords, EnumeratedTablesWithNumbers) {
    const auto& standby = HSP::StandbyState::theInfo;
    EXPECT_EQ(standby.maximum, 16);
    std::vector<std::string> names(standby.names, standby.names + 6);
    EXPECT_EQ(names,
              (std::vector<std::string>{"initial", "learn", "listen", "speak=4", "standby=8", "active=16"}));
    HSP::StandbyState s(HSP::StandbyState::standby);
    EXPECT_EQ(s.asInt(), 8);
    EXPECT_EQ(ASN1::asValueNotation(s), "standby");
    EXPECT_EQ(LEMZGW::ProtoLemzPacketP1ClientCommand::theInfo.maximum, 4103);
    EXPECT_STREQ(LEMZGW::ProtoLemzPacketP1ClientCommand::theInfo.names[1], "p1-cln-load-start=4097");
    EXPECT_EQ(TERM::RadioStandby::theInfo.maximum, 1);
    EXPECT_STREQ(TERM::RadioStandby::theInfo.names[0], "not-use=-1");
    EXPECT_EQ(TERM::IpQoSDSCP::theInfo.maximum, 56);
}

TEST(GeneratedRecords, SizeConstrainedStringHasItsOwnRecord) {
    using Name = TERM::RtpParams::dname::value_type;
    EXPECT_EQ(Name::theInfo.lowerLimit, 1);
    EXPECT_EQ(Name::theInfo.upperLimit, 64u);
    EXPECT_EQ(Name::theInfo.constraint, ASN1::FixedConstraint);
    EXPECT_EQ(TERM::RtpParams::theInfo.fieldInfos[3], &Name::theInfo);
    TERM::RtpParams p;
    p.set_dname("gw-7");
    EXPECT_TRUE(p.dname_isPresent());
    EXPECT_EQ(static_cast<const std::string&>(p.get_dname()), "gw-7");
    EXPECT_NE(dynamic_cast<const Name*>(&p.get_dname()), nullptr);
}

TEST(GeneratedRecords, ExtensionFieldsTravelAndKeepTheirBits) {
    TERM::TermParams params;
    params.set_echo(true);
    params.set_pd(-3);  // the 12th extension addition
    EXPECT_TRUE(params.pd_isPresent());
    EXPECT_FALSE(params.traceLevel_isPresent());
    auto back = Decode<TERM::TermParams>(Encode(params));
    EXPECT_TRUE(back == params);
    ASSERT_TRUE(back.pd_isPresent());
    EXPECT_EQ(back.get_pd().getValue(), -3);
    EXPECT_FALSE(back.sd_isPresent());
    EXPECT_TRUE(back.echo_isPresent());
    EXPECT_FALSE(back.type_isPresent());

    TERM::ISDN_NumberType number;
    number.set_type(TERM::ISDN_NumberType_type::national);
    number.set_plan(9);
    auto plain = Decode<TERM::ISDN_NumberType>(Encode(number));
    EXPECT_FALSE(plain.screeningInd_isPresent());
    number.set_screeningInd(TERM::ISDN_NumberType_screeningInd::network);
    auto screened = Decode<TERM::ISDN_NumberType>(Encode(number));
    ASSERT_TRUE(screened.screeningInd_isPresent());
    EXPECT_TRUE(screened.get_screeningInd().is_network());
    EXPECT_EQ(screened.get_plan().getValue(), 9u);
}

TEST(GeneratedRecords, SetOfTonecMaskIsASet) {
    EXPECT_EQ((ASN1::SET_OF<LGCP::TonecMask>::theInfo.tag), 17u);
    EXPECT_EQ((ASN1::SET_OF<LGCP::TonecMask>::theInfo.elementInfo), &LGCP::TonecMask::theInfo);
    EXPECT_EQ((ASN1::SEQUENCE_OF<LGCP::MixerResources_subtype>::theInfo.elementInfo),
              &LGCP::MixerResources_subtype::theInfo);
}

}  // namespace
