// Value notation as it appears in the daemon's log lines, to the character.
#include <gtest/gtest.h>

#include <climits>
#include <sstream>

#include "asn1/asn1.h"
#include "asn1/coder_env.h"
#include "asn1/printer.h"
#include "tests/asn1/test_module.h"

using namespace ASN1;

namespace {

// Message ::= SEQUENCE { seq INTEGER OPTIONAL, slot INTEGER (0..1023) OPTIONAL, pdu PDU }
// PDU ::= CHOICE { command Command, response Response }
// Command ::= CHOICE { ping NULL, userData OCTET STRING }
// Response ::= CHOICE { success NULL, error Cause }
// PlayerParams-file ::= SEQUENCE { name SEQUENCE OF IA5String, repeat INTEGER }
using Slot = Constrained_INTEGER<FixedConstraint, 0, 1023>;

const char* const kCauseNames[] = {"invalidParams", "insufficientResources", "invalidSlot", "slotNotExists"};
const ENUMERATED::InfoType kCause{{&ENUMERATED::create, 10}, true, 3, kCauseNames, 0};

const void* const kCommandInfos[] = {&Null::theInfo, &OCTET_STRING::theInfo};
const char* const kCommandNames[] = {"ping", "userData"};
const CHOICE::InfoType kCommand{{&CHOICE::create, 0}, true, kCommandInfos, 2, 2, nullptr, kCommandNames};

const void* const kResponseInfos[] = {&Null::theInfo, &kCause};
const char* const kResponseNames[] = {"success", "error"};
const CHOICE::InfoType kResponse{{&CHOICE::create, 0}, false, kResponseInfos, 2, 2, nullptr, kResponseNames};

const void* const kPduInfos[] = {&kCommand, &kResponse};
const char* const kPduNames[] = {"command", "response"};
const CHOICE::InfoType kPdu{{&CHOICE::create, 0}, false, kPduInfos, 2, 2, nullptr, kPduNames};

const void* const kMessageInfos[] = {&INTEGER::theInfo, &Slot::theInfo, &kPdu};
const int kMessageIds[] = {0, 1, -1};
const char* const kMessageNames[] = {"seq", "slot", "pdu"};
const SEQUENCE::InfoType kMessage{
    {&SEQUENCE::create, 16}, false, kMessageInfos, kMessageIds, 3, 0, 2, nullptr, nullptr, kMessageNames};

const SEQUENCE_OF_Base::InfoType kNames{{{&SEQUENCE_OF_Base::create, 16}, Unconstrained, 0, 0xFFFFFFFFu},
                                        &IA5String::theInfo};
const SEQUENCE_OF_Base::InfoType kNumbers{{{&SEQUENCE_OF_Base::create, 16}, Unconstrained, 0, 0xFFFFFFFFu},
                                          &INTEGER::theInfo};
const void* const kFileInfos[] = {&kNames, &INTEGER::theInfo};
const int kFileIds[] = {-1, -1};
const char* const kFileNames[] = {"name", "repeat"};
const SEQUENCE::InfoType kFile{
    {&SEQUENCE::create, 16}, false, kFileInfos, kFileIds, 2, 0, 0, nullptr, nullptr, kFileNames};

const int kOptionalIds[] = {0, 1};
const SEQUENCE::InfoType kAllOptional{
    {&SEQUENCE::create, 16}, false, kMessageInfos, kOptionalIds, 2, 0, 2, nullptr, nullptr, kMessageNames};

std::string Print(const AbstractData& value) {
    return asValueNotation(value);
}

CHOICE& Pdu(SEQUENCE& msg) {
    return *static_cast<CHOICE*>(msg.getField(2));
}

template <class T>
T& Select(CHOICE& choice, int index) {
    choice.select(index);
    return *static_cast<T*>(choice.getSelection());
}

}  // namespace

TEST(PrinterTest, MessageExamples) {
    SEQUENCE msg(&kMessage);
    static_cast<INTEGER*>(msg.includeOptionalField(0, 0))->setValue(5);
    static_cast<INTEGER*>(msg.includeOptionalField(1, 1))->setValue(12);
    auto& command = Select<CHOICE>(Pdu(msg), 0);
    Select<OCTET_STRING>(command, 1).assign({'\x01', '\x0A', '\xFF'});
    EXPECT_EQ(Print(msg), "{\n  seq 5,\n  slot 12,\n  pdu command : userData : '01 0a ff'H\n}");

    msg.removeOptionalField(0);
    auto& response = Select<CHOICE>(Pdu(msg), 1);
    Select<ENUMERATED>(response, 1).setFromInt(3);
    EXPECT_EQ(Print(msg), "{\n  slot 12,\n  pdu response : error : slotNotExists\n}");

    msg.removeOptionalField(1);
    Select<CHOICE>(Pdu(msg), 0).select(0);
    EXPECT_EQ(Print(msg), "{\n  pdu command : ping : NULL\n}");
}

TEST(PrinterTest, NestedListsIndentTwoMoreSpaces) {
    SEQUENCE file(&kFile);
    auto& names = *static_cast<SEQUENCE_OF_Base*>(file.getField(0));
    names.resize(2);
    static_cast<AbstractString*>(*names.begin())->assign("a.raw");
    static_cast<AbstractString*>(*(names.begin() + 1))->assign("b.raw");
    static_cast<INTEGER*>(file.getField(1))->setValue(2);
    EXPECT_EQ(Print(file), "{\n  name {\n    \"a.raw\",\n    \"b.raw\"\n  },\n  repeat 2\n}");

    SEQUENCE_OF_Base numbers(&kNumbers);
    EXPECT_EQ(Print(numbers), "{\n}");
    numbers.resize(2);
    static_cast<INTEGER*>(*numbers.begin())->setValue(1);
    static_cast<INTEGER*>(*(numbers.begin() + 1))->setValue(2);
    EXPECT_EQ(Print(numbers), "{\n  1,\n  2\n}");

    SEQUENCE empty(&kAllOptional);
    EXPECT_EQ(Print(empty), "{\n}");
}

TEST(PrinterTest, NestedSequencesAndKnownExtensions) {
    TestModule::Message msg;
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
    params.set_standby(TestModule::StandbyState::speak);  // an addition, printed like a root field
    EXPECT_EQ(Print(msg),
              "{\n"
              "  seq 7,\n"
              "  slot 12,\n"
              "  pdu command : create : {\n"
              "    name \"rtp\",\n"
              "    tones {\n"
              "      {\n"
              "        freq1 697,\n"
              "        freq2 1209\n"
              "      }\n"
              "    },\n"
              "    level -3,\n"
              "    mode bri,\n"
              "    standby speak\n"
              "  }\n"
              "}");
    // A number the numbered table does not name is its number.
    static_cast<ENUMERATED&>(*params.getField(5)).setFromInt(3);
    EXPECT_NE(Print(msg).find("    standby 3\n"), std::string::npos);
}

TEST(PrinterTest, NamedNumbersAndTimes) {
    static constexpr IntegerWithNamedNumber::NameEntry names[] = {{-1, "minus-one"}, {7, "seven"}};
    static constexpr IntegerWithNamedNumber::InfoType info{
        {{&IntegerWithNamedNumber::create, 2}, Unconstrained, 0, 0xFFFFFFFFu}, names, 2};
    IntegerWithNamedNumber number(7, &info);
    EXPECT_EQ(Print(number), "seven");
    number.setValue(-1);
    EXPECT_EQ(Print(number), "minus-one");
    number.setValue(3);
    EXPECT_EQ(Print(number), "3");

    GeneralizedTime local(2024, 1, 2, 3, 4, 5, 250, -90, false);
    EXPECT_EQ(Print(local), "\"20240102030405.250-0130\"");
    GeneralizedTime plain(2024, 1, 2, 3, 4, 5);
    EXPECT_EQ(Print(plain), "\"20240102030405\"");
}

TEST(PrinterTest, Integers) {
    INTEGER number(-7, &INTEGER::theInfo);
    EXPECT_EQ(Print(number), "-7");
    number.setValue(-1);
    EXPECT_EQ(Print(number), "-1");
    Slot slot;
    slot = 12u;
    EXPECT_EQ(Print(slot), "12");
    slot.setValue(-1);
    EXPECT_EQ(Print(slot), "4294967295");
    Constrained_INTEGER<FixedConstraint, -128, 127> small;
    small.setValue(-5);
    EXPECT_EQ(Print(small), "-5");
}

TEST(PrinterTest, EnumeratedWithoutNameIsItsNumber) {
    ENUMERATED cause(&kCause);
    cause.setFromInt(14);
    EXPECT_EQ(Print(cause), "14");
    cause.setFromInt(-1);
    EXPECT_EQ(Print(cause), "-1");
    cause.setFromInt(0);
    EXPECT_EQ(Print(cause), "invalidParams");
}

TEST(PrinterTest, StringsBitsAndIdentifiers) {
    OCTET_STRING zero;
    zero.push_back('\0');
    std::ostringstream os;
    os << zero << ' ' << 255 << ' ' << std::setw(4) << 7;
    EXPECT_EQ(os.str(), "'00'H 255    7");  // decimal again, fill back to blanks

    OCTET_STRING none;
    EXPECT_EQ(Print(none), "''H");
    BIT_STRING bits;
    EXPECT_EQ(Print(bits), "''B");
    bits.resize(5);
    bits.set(0, true);
    bits.set(2, true);
    bits.set(3, true);
    EXPECT_EQ(Print(bits), "'10110'B");

    OBJECT_IDENTIFIER oid;
    EXPECT_EQ(Print(oid), "{ }");
    oid.append(1);
    oid.append(3);
    oid.append(6);
    EXPECT_EQ(Print(oid), "{ 1 3 6 }");

    IA5String quoted(std::string("say \"hi\""));
    EXPECT_EQ(Print(quoted), "\"say \"hi\"\"");
    std::ostringstream plain;
    plain << static_cast<const AbstractString&>(quoted);
    EXPECT_EQ(plain.str(), "say \"hi\"");

    GeneralizedTime time(2024, 2, 29, 13, 5, 9, 0, 0, true);
    EXPECT_EQ(Print(time), "\"20240229130509Z\"");
    BOOLEAN flag(true, &BOOLEAN::theInfo);
    EXPECT_EQ(Print(flag), "TRUE");
}

TEST(PrinterTest, BmpStringOutsideAsciiAsQuadruples) {
    BMPString ascii(std::wstring(L"Ab"), &BMPString::theInfo);
    EXPECT_EQ(Print(ascii), "\"Ab\"");
    BMPString wide(std::wstring{wchar_t(0x0141), wchar_t(0x0041)}, &BMPString::theInfo);
    EXPECT_EQ(Print(wide), "{{ 0, 0, 1, 65}, { 0, 0, 0, 65}}");
}

TEST(PrinterTest, OpenValueShowsItsOctetsWhenNotDecoded) {
    OpenData open;
    EXPECT_EQ(print_on(std::cout, open), std::ios_base::failbit);
    open.grab(new std::vector<char>{'\x12', '\x34'});
    EXPECT_EQ(Print(open), "'12 34'H");
}

TEST(PrinterTest, UnprintableValueKeepsTheLogStreamUsable) {
    SEQUENCE msg(&kMessage);
    static_cast<INTEGER*>(msg.includeOptionalField(1, 1))->setValue(12);
    std::ostringstream log;
    EXPECT_EQ(print_on(log, msg), std::ios_base::failbit);
    EXPECT_EQ(log.str(), "{\n  slot 12,\n  pdu ");

    std::ostringstream line;
    line << "send fail: encode error!" << msg;
    EXPECT_TRUE(line.good());
    line << " next";
    EXPECT_EQ(line.str(), "send fail: encode error!{\n  slot 12,\n  pdu  next");
}

TEST(PrinterTest, StreamThatIsNotGoodIsLeftAlone) {
    INTEGER number(3, &INTEGER::theInfo);
    std::ostringstream os;
    os.setstate(std::ios_base::failbit);
    os << number;
    EXPECT_EQ(os.str(), "");
    EXPECT_TRUE(os.fail());
}

TEST(PrinterTest, AvnRuleOfTheCoderEnvironment) {
    INTEGER number(42, &INTEGER::theInfo);
    CoderEnv env;
    env.set_encodingRule(CoderEnv::avn);
    std::vector<char> out;
    ASSERT_TRUE(encode(number, &env, std::back_inserter(out)));
    EXPECT_EQ(std::string(out.begin(), out.end()), "42");
    SEQUENCE unprintable(&kMessage);
    out.assign({'x'});
    EXPECT_FALSE(encode(unprintable, &env, std::back_inserter(out)));
    EXPECT_EQ(out, std::vector<char>{'x'});
}
