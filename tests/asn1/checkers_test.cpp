// Validity checkers and the tracer's report.
#include <gtest/gtest.h>

#include <sstream>

#include "asn1/asn1.h"
#include "asn1/codecs/checkers.h"
#include "tests/asn1/test_module.h"

using namespace ASN1;
using namespace TestModule;

namespace {

std::string Trace(const AbstractData& value) {
    std::ostringstream os;
    trace_invalid(os, "bad:", value);
    return os.str();
}

TEST(Checkers, ChoiceSelection) {
    Response response;
    EXPECT_FALSE(isValid(response));
    EXPECT_FALSE(isStrictlyValid(response));
    EXPECT_EQ(Trace(response), "bad: This CHOICE is not selected\n");
    response.select_count() = 3u;
    EXPECT_TRUE(isValid(response)) << "an extension alternative of an extensible CHOICE";
    EXPECT_FALSE(isStrictlyValid(response));
    EXPECT_EQ(Trace(response), "");
}

TEST(Checkers, IntegersByOffsetFromTheLowerBound) {
    S8 level;
    level.setValue(-5);
    EXPECT_TRUE(isStrictlyValid(level));
    level.setValue(-129);
    EXPECT_FALSE(isValid(level));
    EXPECT_EQ(Trace(level), "bad: The INTEGER value -129 is smaller than lower bound -128\n");
    SlotNumber slot;
    slot = 2000u;
    EXPECT_EQ(Trace(slot), "bad: The INTEGER value 2000 is greater than upper bound 1023\n");
    Constrained_INTEGER<ExtendableConstraint, 0, 7> ext;
    ext = 9u;
    EXPECT_TRUE(isValid(ext));
    EXPECT_FALSE(isStrictlyValid(ext));
}

TEST(Checkers, Enumerations) {
    StandbyState state;
    state.setFromInt(3);  // a gap of the numbered table
    EXPECT_TRUE(isValid(state)) << "extensible";
    EXPECT_FALSE(isStrictlyValid(state));
    EXPECT_EQ(Trace(state), "bad: This ENUMERATED has invalid value 3\n");
    MccType mode;
    mode.setFromInt(-1);
    EXPECT_FALSE(isValid(mode));
}

TEST(Checkers, SizesAndCharacters) {
    OCTET_STRING any(100000, 'x', &OCTET_STRING::theInfo);
    EXPECT_TRUE(isValid(any));
    EXPECT_TRUE(isStrictlyValid(any));
    const AbstractString::InfoType digits{
        {{&AbstractString::create, 18}, FixedConstraint, 1, 3}, NumericStringSet, 11, 4, 4, 4};
    AbstractString number(&digits, "12a");
    EXPECT_EQ(find_first_invalid(number), 2);
    EXPECT_EQ(Trace(number), "bad: The character 'a' is not valid for the string\n");
    AbstractString longer(&digits, "1234");
    EXPECT_EQ(Trace(longer), "bad: This AbstractString has size 4 greater than its upper bound 3\n");
    AbstractString none(&digits, "");
    EXPECT_EQ(Trace(none), "bad: This AbstractString has size 0 smaller than its lower bound 1\n");
    OBJECT_IDENTIFIER oid;
    EXPECT_EQ(Trace(oid), "bad: This OBJECT IDENTIFIER is not assigned\n");
}

TEST(Checkers, Times) {
    GeneralizedTime good(2024, 12, 31, 24, 0, 0);
    EXPECT_TRUE(isStrictlyValid(good));
    EXPECT_EQ(Trace(good), "");
    GeneralizedTime month13(2024, 13, 1, 0, 0, 0);
    EXPECT_EQ(Trace(month13), "bad: This GeneralizedTime is not valid\n");
    GeneralizedTime offset(2024, 1, 1, 0, 0, 0, 0, 721);
    EXPECT_FALSE(isValid(offset));
}

TEST(Checkers, ReportShowsThePath) {
    Message msg;
    Params& p = msg.set_pdu().select_command().select_create();
    DualTone tone;
    tone.set_freq1(1);
    p.ref_tones().push_back(tone);
    p.ref_tones().push_back(tone);
    EXPECT_TRUE(isStrictlyValid(msg));
    p.set_level(300);
    EXPECT_FALSE(isValid(msg));
    EXPECT_EQ(Trace(msg),
              "bad:.pdu.command.create.level The INTEGER value 300 is greater than upper bound 127\n");
    p.omit_level();
    static_cast<U16&>(*p.ref_tones()[1].getField(0)).setValue(-1);
    EXPECT_EQ(
        Trace(msg),
        "bad:.pdu.command.create.tones[1].freq1 The INTEGER value 4294967295 is greater than upper bound "
        "65535\n");
    OpenData open;
    EXPECT_FALSE(isValid(open));
    EXPECT_EQ(Trace(open), "bad: This Open Type does not contain any valid data\n");
}

}  // namespace
