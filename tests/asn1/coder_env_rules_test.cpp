// Rules 0 and 1 of the coder environment: they work once the codecs library has installed
// its coders, and fail cleanly before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "asn1/codecs/ber_encoder.h"
#include "asn1/codecs/install_codecs.h"
#include "asn1/coder_env.h"
#include "tests/asn1/test_module.h"

using namespace ASN1;
using TestModule::Message;

namespace {

Message CreateMessage() {
    Message msg;
    msg.set_seq(-300);
    msg.set_slot(1023);
    TestModule::Params& params = msg.set_pdu().select_command().select_create();
    params.set_name("rtp 8000");
    TestModule::DualTone tone;
    tone.set_freq1(697);
    tone.set_freq2(1209);
    params.ref_tones().push_back(tone);
    tone.omit_freq2();
    tone.set_freq1(941);
    params.ref_tones().push_back(tone);
    params.set_level(-3);
    params.set_mode(TestModule::MccType::bri);
    params.set_gain(200);
    params.set_standby(TestModule::StandbyState::speak);
    return msg;
}

CoderEnv Env(CoderEnv::EncodingRules rule) {
    CoderEnv env;
    env.set_encodingRule(rule);
    return env;
}

// Every test starts with no coders installed and leaves none behind.
class CoderEnvRules : public testing::Test {
protected:
    void SetUp() override { saved_ = CoderEnv::set_codecs(nullptr); }
    void TearDown() override { CoderEnv::set_codecs(saved_); }

private:
    const CodecTable* saved_ = nullptr;
};

TEST_F(CoderEnvRules, WithoutInstalledCodecsRulesZeroAndOneFailAndTouchNothing) {
    Message msg = CreateMessage();
    CoderEnv env = Env(CoderEnv::ber);
    std::vector<char> out{'x'};
    EXPECT_FALSE(encode(msg, &env, std::back_inserter(out)));
    EXPECT_EQ(out, std::vector<char>{'x'});
    // BER octets made directly, and printed text: neither rule can read them back.
    std::vector<char> ber;
    ASSERT_TRUE(encodeBER(msg, std::back_inserter(ber)));
    CoderEnv berEnv = Env(CoderEnv::ber);
    Message back;
    EXPECT_FALSE(decode(ber.data(), ber.data() + ber.size(), &berEnv, back, true));
    EXPECT_TRUE(berEnv.get_decodeFailure().failed());
    EXPECT_FALSE(back.seq_isPresent());

    const std::string text = asValueNotation(msg);
    CoderEnv avnEnv = Env(CoderEnv::avn);
    EXPECT_FALSE(decode(text.data(), text.data() + text.size(), &avnEnv, back, true));
    EXPECT_TRUE(avnEnv.get_decodeFailure().failed());
    EXPECT_FALSE(back.seq_isPresent());
}

TEST_F(CoderEnvRules, RuleOneRoundTripsThroughTheBerCoder) {
    EXPECT_EQ(installCodecs(), nullptr);
    Message msg = CreateMessage();
    CoderEnv env = Env(CoderEnv::ber);
    std::vector<char> out{'\x03', '\x00'};  // what was there before is kept
    ASSERT_TRUE(encode(msg, &env, std::back_inserter(out)));
    std::vector<char> direct;
    ASSERT_TRUE(encodeBER(msg, std::back_inserter(direct)));
    ASSERT_EQ(std::vector<char>(out.begin() + 2, out.end()), direct);
    // A SEQUENCE in BER: universal constructed tag 16, definite length of the rest.
    EXPECT_EQ(static_cast<unsigned char>(direct[0]), 0x30);
    EXPECT_EQ(static_cast<unsigned char>(direct[1]), direct.size() - 2);

    // Trailing octets after the value are ignored.
    direct.push_back('\x55');
    for (bool noEnvironment : {true, false}) {
        Message back;
        CoderEnv fresh = Env(CoderEnv::ber);
        ASSERT_TRUE(decode(direct.data(), direct.data() + direct.size(), &fresh, back, noEnvironment));
        EXPECT_TRUE(back == msg) << back;
        EXPECT_EQ(back.get_seq().getValue(), -300);
        EXPECT_EQ(back.get_pdu().get_command().get_create().get_tones().size(), 2u);
        EXPECT_EQ(back.get_pdu().get_command().get_create().get_standby(), TestModule::StandbyState::speak);
    }
}

TEST_F(CoderEnvRules, RuleOneFailuresLeaveOutputAloneAndSayWhere) {
    installCodecs();
    CoderEnv env = Env(CoderEnv::ber);
    Message unselected;  // a CHOICE without alternative cannot be written
    unselected.set_seq(1);
    std::vector<char> out{'k'};
    EXPECT_FALSE(encode(unselected, &env, std::back_inserter(out)));
    EXPECT_EQ(out, std::vector<char>{'k'});

    Message msg = CreateMessage();
    std::vector<char> octets;
    ASSERT_TRUE(encode(msg, &env, std::back_inserter(octets)));
    for (std::size_t n = 0; n < octets.size(); ++n) {
        Message back;
        EXPECT_FALSE(decode(octets.data(), octets.data() + n, &env, back, true)) << n;
        EXPECT_TRUE(env.get_decodeFailure().failed()) << n;
        EXPECT_LE(env.get_decodeFailure().offset, n);
    }
    // A success clears the last failure.
    Message back;
    ASSERT_TRUE(decode(octets.data(), octets.data() + octets.size(), &env, back, true));
    EXPECT_FALSE(env.get_decodeFailure().failed());
}

TEST_F(CoderEnvRules, RuleZeroReadsPrintedText) {
    installCodecs();
    // Without the additions after "mode": the printer writes an enumeration name directly
    // before a comma, which the reader takes as part of the name.
    Message msg = CreateMessage();
    TestModule::Params& params = msg.set_pdu().select_command().select_create();
    params.set_name("rtp 8000");
    TestModule::DualTone tone;
    tone.set_freq1(697);
    params.ref_tones().push_back(tone);
    params.set_level(-3);
    params.set_mode(TestModule::MccType::bri);
    CoderEnv env = Env(CoderEnv::avn);
    std::vector<char> text;
    ASSERT_TRUE(encode(msg, &env, std::back_inserter(text)));
    EXPECT_EQ(std::string(text.begin(), text.end()), asValueNotation(msg));

    Message back;
    ASSERT_TRUE(decode(text.data(), text.data() + text.size(), &env, back, false))
        << std::string(text.begin(), text.end());
    EXPECT_TRUE(back == msg) << back;

    const std::string typed = "{ seq 5, pdu response : info : \"ok\" }";
    Message typedBack;
    ASSERT_TRUE(decode(typed.data(), typed.data() + typed.size(), &env, typedBack, true));
    EXPECT_EQ(typedBack.get_seq().getValue(), 5);
    EXPECT_FALSE(typedBack.slot_isPresent());
    ASSERT_TRUE(typedBack.get_pdu().response_isSelected());
    EXPECT_EQ(std::string(typedBack.get_pdu().get_response().get_info()), "ok");

    const std::string broken = "{ seq 5, pdu nothing : NULL }";
    Message brokenBack;
    EXPECT_FALSE(decode(broken.data(), broken.data() + broken.size(), &env, brokenBack, true));
    EXPECT_TRUE(env.get_decodeFailure().failed());
}

// A table that records what the environment hands to the BER decoder.
CoderEnv* seenEnv = nullptr;
int decodeCalls = 0;
bool RecordingDecode(const char*, const char*, AbstractData&, CoderEnv* env, DecodeFailure*) {
    seenEnv = env;
    ++decodeCalls;
    return true;
}

TEST_F(CoderEnvRules, TheNoEnvironmentFlagDecidesWhatTheBerDecoderGets) {
    const CodecTable recording = {codecTable().encodeBER, &RecordingDecode, codecTable().decodeAVN};
    CoderEnv::set_codecs(&recording);
    CoderEnv env = Env(CoderEnv::ber);
    const char octet = 0;
    Message value;
    ASSERT_TRUE(decode(&octet, &octet + 1, &env, value, false));
    EXPECT_EQ(seenEnv, &env);
    ASSERT_TRUE(decode(&octet, &octet + 1, &env, value, true));
    EXPECT_EQ(seenEnv, nullptr);
    EXPECT_EQ(decodeCalls, 2);
    // A table with a missing coder fails that rule without calling anything.
    const CodecTable partial = {nullptr, nullptr, nullptr};
    CoderEnv::set_codecs(&partial);
    std::vector<char> out;
    EXPECT_FALSE(encode(value, &env, std::back_inserter(out)));
    EXPECT_FALSE(decode(&octet, &octet + 1, &env, value, false));
    EXPECT_EQ(decodeCalls, 2);
}

}  // namespace
