// SEQUENCE, CHOICE, SEQUENCE OF and open values, through the test module's typed accessors.
#include <gtest/gtest.h>

#include <memory>

#include "asn1/asn1.h"
#include "tests/asn1/test_module.h"

namespace {

using namespace TestModule;

Message CreateMessage(int seq, unsigned slot) {
    Message m;
    m.set_seq(seq);
    m.set_slot(slot);
    Params& p = m.set_pdu().select_command().select_create();
    p.set_name("rtp");
    p.set_mode(MccType::bri);
    DualTone tone;
    tone.set_freq1(697);
    tone.set_freq2(1209);
    p.ref_tones().push_back(tone);
    return m;
}

TEST(Sequence, DefaultHasMandatoryFieldsOnly) {
    Message m;
    EXPECT_FALSE(m.seq_isPresent());
    EXPECT_FALSE(m.slot_isPresent());
    EXPECT_EQ(m.getField(0), nullptr);
    EXPECT_EQ(m.getField(1), nullptr);
    ASSERT_NE(m.getField(2), nullptr);
    EXPECT_EQ(m.get_pdu().currentSelection(), -1);
    EXPECT_EQ(m.getTag(), 16u);
    EXPECT_EQ(m.getFieldTag(2), 0x800002u);
    EXPECT_EQ(m.tagMode(), 0);
    EXPECT_STREQ(m.getFieldName(1), "slot");
    EXPECT_FALSE(m.hasOptionalField(7));  // beyond both maps
}

TEST(Sequence, OptionalFieldSetOmitSetReusesTheObject) {
    Message m;
    m.set_slot(5);
    ASSERT_TRUE(m.slot_isPresent());
    const ASN1::AbstractData* object = m.getField(1);
    m.omit_slot();
    EXPECT_FALSE(m.slot_isPresent());
    ASSERT_EQ(m.getField(1), object);
    EXPECT_EQ(m.get_slot().getValue(), 5u);  // held while absent
    m.set_slot(6);
    EXPECT_TRUE(m.slot_isPresent());
    EXPECT_EQ(m.getField(1), object);
    EXPECT_EQ(m.get_slot().getValue(), 6u);
    m.removeOptionalField(40);  // beyond the maps: no effect
    EXPECT_TRUE(m.slot_isPresent());
}

TEST(Sequence, ExtensionFieldsGrowTheExtensionMap) {
    Params p;
    EXPECT_EQ(p.extensionMap().size(), 0u);
    EXPECT_FALSE(p.standby_isPresent());
    p.set_standby(StandbyState::speak);  // extension field 1: id 3, index 5
    EXPECT_EQ(p.extensionMap().size(), 2u);
    EXPECT_FALSE(p.gain_isPresent());
    EXPECT_TRUE(p.standby_isPresent());
    EXPECT_EQ(static_cast<unsigned char>(p.extensionMap().bytes()[0]), 0x40);
    EXPECT_EQ(p.get_standby().getName(), "speak");
    p.set_gain(12);
    EXPECT_EQ(p.extensionMap().size(), 2u);
    EXPECT_TRUE(p.gain_isPresent());
    p.omit_standby();
    EXPECT_FALSE(p.standby_isPresent());
    EXPECT_EQ(p.get_standby(), StandbyState::speak);
}

TEST(Sequence, DeepCopyAndAssignment) {
    Message original = CreateMessage(7, 12);
    Message copy(original);
    EXPECT_TRUE(copy == original);
    EXPECT_NE(copy.getField(2), original.getField(2));
    const Params& copied = copy.get_pdu().get_command().get_create();
    EXPECT_EQ(copied.get_name(), "rtp");
    EXPECT_EQ(copied.get_tones()[0].get_freq2().getValue(), 1209u);

    Message other;
    other = original;
    EXPECT_EQ(other.compare(original), 0);
    other.set_slot(13);
    EXPECT_EQ(original.get_slot().getValue(), 12u);
    EXPECT_LT(original.compare(other), 0);

    std::unique_ptr<Message> clone(original.clone());
    ASSERT_NE(dynamic_cast<Message*>(static_cast<ASN1::AbstractData*>(clone.get())), nullptr);
    EXPECT_TRUE(*clone == original);
    EXPECT_EQ(clone->info(), &Message::theInfo);
    EXPECT_EQ(clone->getTag(), 16u);

    original.swap(other);
    EXPECT_EQ(original.get_slot().getValue(), 13u);
}

TEST(Sequence, ComparisonFollowsFieldOrder) {
    Message a, b;
    a.set_seq(1);
    EXPECT_EQ(a.compare(b), 1);
    EXPECT_EQ(b.compare(a), -1);
    b.set_pdu().select_response();  // a pdu difference comes later than seq's
    EXPECT_EQ(a.compare(b), 1);
    b.set_seq(1);
    a.set_pdu().select_command();
    EXPECT_EQ(a.compare(b), -1);  // command (0) before response (1)

    Params x, y;
    x.set_gain(5);
    y.set_gain(9);
    x.set_standby(StandbyState::active);
    y.set_standby(StandbyState::active);
    EXPECT_LT(x.compare(y), 0);
    y.set_gain(5);
    EXPECT_EQ(x.compare(y), 0);
    y.omit_standby();
    EXPECT_EQ(x.compare(y), 1);
}

TEST(Choice, SelectionStates) {
    Response r;
    EXPECT_EQ(r.currentSelection(), -1);
    EXPECT_EQ(r.getSelection(), nullptr);
    EXPECT_FALSE(r.success_isSelected());
    EXPECT_FALSE(r.isUnknownSelection());

    EXPECT_FALSE(r.select(4));  // equal to the total count
    EXPECT_EQ(r.currentSelection(), -2);
    EXPECT_TRUE(r.isUnknownSelection());
    EXPECT_EQ(r.getSelection(), nullptr);

    EXPECT_TRUE(r.select(3));  // the known extension alternative
    EXPECT_TRUE(r.count_isSelected());
    EXPECT_EQ(r.getNumChoices(), 3u);
    EXPECT_EQ(r.getTotalChoices(), 4u);
    EXPECT_STREQ(r.getSelectionName(), "count");
    EXPECT_EQ(r.getSelectionTag(), 0x800003u);

    Response unknown, nothing;
    unknown.select(-2);
    EXPECT_LT(unknown.compare(nothing), 0);
    EXPECT_EQ(Response().compare(nothing), 0);
}

TEST(Choice, SelectReplacesOrKeeps) {
    Response r;
    r.select_info("first");
    const ASN1::AbstractData* info = r.getSelection();
    EXPECT_TRUE(r.select(Response::info));  // same index: kept
    EXPECT_EQ(r.getSelection(), info);
    EXPECT_EQ(r.get_info(), "first");

    r.select_error(MccType::transparent);
    EXPECT_TRUE(r.error_isSelected());
    EXPECT_EQ(r.get_error(), MccType::transparent);
    r.select_error();  // a new default value replaces the old one
    EXPECT_EQ(r.get_error().asInt(), 0);

    Response other;
    other.select_error(MccType::bri);
    EXPECT_LT(r.compare(other), 0);
    other = r;
    EXPECT_EQ(other.compare(r), 0);
    EXPECT_NE(other.getSelection(), r.getSelection());

    Command c;
    c.select_create().set_level(-5);
    std::unique_ptr<ASN1::AbstractData> clone(c.clone());
    auto& cloned = dynamic_cast<Command&>(*clone);
    EXPECT_EQ(cloned.get_create().get_level().getValue(), static_cast<unsigned>(-5));
    EXPECT_TRUE(cloned.get_create().get_level().isStrictValid());
}

TEST(SequenceOf, PushResizeErase) {
    DualTones tones;
    EXPECT_TRUE(tones.empty());
    for (unsigned f : {697u, 770u, 852u}) {
        DualTone t;
        t.set_freq1(f);
        tones.push_back(t);
    }
    ASSERT_EQ(tones.size(), 3u);
    EXPECT_EQ(tones[1].get_freq1().getValue(), 770u);

    auto next = tones.erase(tones.begin());
    EXPECT_EQ((*next).get_freq1().getValue(), 770u);
    ASSERT_EQ(tones.size(), 2u);

    tones.resize(1);
    ASSERT_EQ(tones.size(), 1u);
    EXPECT_EQ(tones[0].get_freq1().getValue(), 770u);
    tones.resize(4);
    ASSERT_EQ(tones.size(), 4u);
    EXPECT_EQ(tones[3].get_freq1().getValue(), 0u);
    EXPECT_FALSE(tones[3].freq2_isPresent());

    unsigned sum = 0;
    for (const DualTone& t : static_cast<const DualTones&>(tones)) sum += t.get_freq1().getValue();
    EXPECT_EQ(sum, 770u);

    DualTones copy(tones);
    EXPECT_EQ(copy.compare(tones), 0);
    EXPECT_NE(&copy[0], &tones[0]);
    tones.clear();
    EXPECT_TRUE(tones.empty());
    EXPECT_EQ(copy.size(), 4u);
}

TEST(SequenceOf, InsertAndOrdering) {
    using Ints = ASN1::SEQUENCE_OF<ASN1::INTEGER>;
    auto make = [](std::initializer_list<int> values) {
        Ints list;
        for (int v : values) list.push_back(ASN1::INTEGER(v, &ASN1::INTEGER::theInfo));
        return list;
    };
    Ints a = make({1, 2});
    EXPECT_LT(a.compare(make({1, 2, 0})), 0);
    EXPECT_GT(a.compare(make({1, 1, 9})), 0);

    a.insert(a.SEQUENCE_OF_Base::begin() + 1, 2, ASN1::INTEGER(7, &ASN1::INTEGER::theInfo));
    Ints expected = make({1, 7, 7, 2});
    EXPECT_EQ(a.compare(expected), 0);
    const Ints tail = make({8, 9});
    a.insert(a.SEQUENCE_OF_Base::end(), tail.SEQUENCE_OF_Base::begin(), tail.SEQUENCE_OF_Base::end());
    EXPECT_EQ(a.compare(make({1, 7, 7, 2, 8, 9})), 0);

    Ints assigned;
    assigned = a;
    EXPECT_EQ(assigned.size(), 6u);
    EXPECT_EQ(assigned[5].getValue(), 9);
}

TEST(SequenceOf, ElementsOfAnyOriginAnswerTypedAccessors) {
    // Built from records alone, as a decoder builds them.
    std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(&Params::theInfo));
    auto& params = dynamic_cast<Params&>(*value);
    params.ref_tones().resize(2);
    EXPECT_NE(dynamic_cast<DualTone*>(&params.ref_tones()[1]), nullptr);
    EXPECT_EQ(params.get_tones()[1].get_freq1().getValue(), 0u);
    EXPECT_EQ(params.get_mode(), MccType::data);
}

TEST(OpenData, ComparisonAndCopies) {
    ASN1::OpenData withData(new ASN1::INTEGER(4, &ASN1::INTEGER::theInfo), &ASN1::OpenData::theInfo);
    ASN1::OpenData withBuf;
    withBuf.grab(new ASN1::OpenData::Buffer{1, 2});
    ASN1::OpenData empty;
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(withData.compare(withBuf), 1);
    EXPECT_EQ(withBuf.compare(withData), -1);
    EXPECT_EQ(empty.compare(ASN1::OpenData()), 0);

    ASN1::OpenData otherBuf;
    otherBuf.grab(new ASN1::OpenData::Buffer{1, 3});
    EXPECT_LT(withBuf.compare(otherBuf), 0);

    ASN1::OpenData copy(withData);
    EXPECT_EQ(copy.compare(withData), 0);
    EXPECT_NE(&copy.get_data(), &withData.get_data());
    copy.swap(withBuf);
    EXPECT_TRUE(copy.has_buf());
    EXPECT_FALSE(copy.has_data());
}

constexpr ASN1::TypeConstrainedOpenData::InfoType kCarriesMessage{{&ASN1::TypeConstrainedOpenData::create, 0},
                                                                  &Message::theInfo};

TEST(OpenData, TypeConstrainedCreatesTheCarriedValue) {
    std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(&kCarriesMessage));
    auto& open = dynamic_cast<ASN1::TypeConstrainedOpenData&>(*value);
    ASSERT_TRUE(open.has_data());
    EXPECT_NE(dynamic_cast<Message*>(&open.get_data()), nullptr);
    std::unique_ptr<ASN1::AbstractData> clone(open.clone());
    const ASN1::AbstractData& cloned = *clone;
    EXPECT_EQ(typeid(cloned), typeid(ASN1::OpenData));
    EXPECT_EQ(clone->info(), &kCarriesMessage);
    EXPECT_EQ(clone->compare(open), 0);
}

}  // namespace
