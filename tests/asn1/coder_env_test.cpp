// The coder environment and the two entry points, over the test message module.
#include <gtest/gtest.h>

#include <vector>

#include "asn1/coder_env.h"
#include "tests/asn1/test_module.h"

using namespace ASN1;
using TestModule::Message;

namespace {

Message CreateMessage() {
    Message msg;
    msg.set_seq(7);
    msg.set_slot(12);
    TestModule::Params& params = msg.set_pdu().select_command().select_create();
    params.set_name("rtp");
    TestModule::DualTone tone;
    tone.set_freq1(697);
    tone.set_freq2(1209);
    params.ref_tones().push_back(tone);
    params.set_level(-3);
    params.set_mode(TestModule::MccType::bri);
    params.set_gain(200);
    params.set_standby(TestModule::StandbyState::speak);
    return msg;
}

CoderEnv PerEnv() {
    CoderEnv env;
    env.set_encodingRule(CoderEnv::per_Aligned);
    return env;
}

}  // namespace

TEST(CoderEnvTest, RuleStartsInvalid) {
    CoderEnv env;
    EXPECT_EQ(env.get_encodingRule(), CoderEnv::invalidRule);
    Message msg = CreateMessage();
    std::vector<char> out{'k'};
    EXPECT_FALSE(encode(msg, &env, std::back_inserter(out)));
    EXPECT_EQ(out, std::vector<char>{'k'});
    const char octet = 0;
    Message back;
    EXPECT_FALSE(decode(&octet, &octet + 1, &env, back, true));
}

TEST(CoderEnvTest, UnknownAndUnbuiltRulesFail) {
    Message msg = CreateMessage();
    CoderEnv env;
    env.set_encodingRule(static_cast<CoderEnv::EncodingRules>(7));
    std::vector<char> out;
    EXPECT_FALSE(encode(msg, &env, std::back_inserter(out)));
    EXPECT_TRUE(out.empty());
    env.set_encodingRule(CoderEnv::ber);
    EXPECT_FALSE(encode(msg, &env, std::back_inserter(out)));
    EXPECT_TRUE(out.empty());
    const char octets[] = {0, 0};
    Message back;
    EXPECT_FALSE(decode(octets, octets + 2, &env, back, true));
    EXPECT_FALSE(decode(octets, octets + 2, nullptr, back, true));
}

TEST(CoderEnvTest, RoundTripAppendsAndIgnoresTrailingOctets) {
    Message msg = CreateMessage();
    std::vector<char> first{'\x03', '\x00'};  // what a TPKT header would be
    CoderEnv env = PerEnv();
    ASSERT_TRUE(encode(msg, env, std::back_inserter(first)));
    std::vector<char> second;
    CoderEnv other = PerEnv();
    ASSERT_TRUE(encode(msg, &other, std::back_inserter(second)));
    EXPECT_EQ(std::vector<char>(first.begin() + 2, first.end()), second);

    second.push_back('\x55');
    second.push_back('\x66');
    Message back;
    ASSERT_TRUE(decode(second.data(), second.data() + second.size(), &env, back, false));
    EXPECT_TRUE(back == msg);
    EXPECT_EQ(back.get_pdu().get_command().get_create().get_standby(), TestModule::StandbyState::speak);
    EXPECT_EQ(back.get_pdu().get_command().get_create().get_level().getValue(), -3);
}

TEST(CoderEnvTest, EveryTruncationFailsAndSaysWhere) {
    Message msg = CreateMessage();
    std::vector<char> octets;
    CoderEnv env = PerEnv();
    ASSERT_TRUE(encode(msg, &env, std::back_inserter(octets)));
    for (std::size_t n = 0; n < octets.size(); ++n) {
        std::vector<char> cut(octets.begin(), octets.begin() + n);
        Message back;
        EXPECT_FALSE(decode(cut.data(), cut.data() + n, &env, back, true)) << n;
        const DecodeFailure& failure = env.get_decodeFailure();
        EXPECT_TRUE(failure.failed());
        EXPECT_LE(failure.offset, n);
    }
    // A list element is named by its position.
    Message two = CreateMessage();
    TestModule::DualTone tone;
    tone.set_freq1(941);
    TestModule::Params& params = two.set_pdu().select_command().select_create();
    params.set_name("rtp");
    params.ref_tones().push_back(tone);
    params.ref_tones().push_back(tone);
    std::vector<char> longer;
    ASSERT_TRUE(encode(two, &env, std::back_inserter(longer)));
    bool named = false;
    for (std::size_t n = 0; n < longer.size() && !named; ++n) {
        Message back;
        EXPECT_FALSE(decode(longer.data(), longer.data() + n, &env, back, true));
        named = env.get_decodeFailure().path == "pdu.command.create.tones[1].freq1";
    }
    EXPECT_TRUE(named);

    // The last octet carries the standby addition of the create parameters.
    Message back;
    EXPECT_FALSE(decode(octets.data(), octets.data() + octets.size() - 1, &env, back, true));
    EXPECT_EQ(env.get_decodeFailure().path, "pdu.command.create.standby");
}
