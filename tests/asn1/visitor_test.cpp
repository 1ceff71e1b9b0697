// The visitor bases and the two SEQUENCE walks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "tests/asn1/test_module.h"

namespace {

using namespace TestModule;

// Records every hook of the changing walk as "name:index:id".
class RecordingVisitor : public ASN1::Visitor {
public:
    ASN1::VisitSeqResult roots = ASN1::CONTINUE;
    ASN1::VisitSeqResult extensions = ASN1::CONTINUE;
    std::vector<std::string> calls;

private:
    bool do_visit(ASN1::Null&) override { return true; }
    bool do_visit(ASN1::BOOLEAN&) override { return true; }
    bool do_visit(ASN1::INTEGER&) override {
        calls.push_back("integer");
        return true;
    }
    bool do_visit(ASN1::ENUMERATED&) override { return true; }
    bool do_visit(ASN1::OBJECT_IDENTIFIER&) override { return true; }
    bool do_visit(ASN1::OCTET_STRING&) override { return true; }
    bool do_visit(ASN1::BIT_STRING&) override { return true; }
    bool do_visit(ASN1::AbstractString&) override { return true; }
    bool do_visit(ASN1::BMPString&) override { return true; }
    bool do_visit(ASN1::CHOICE&) override { return true; }
    bool do_visit(ASN1::SEQUENCE_OF_Base&) override { return true; }
    bool do_visit(ASN1::OpenData&) override { return true; }
    bool do_visit(ASN1::TypeConstrainedOpenData&) override { return true; }
    bool do_visit(ASN1::GeneralizedTime&) override { return true; }
    ASN1::VisitSeqResult preVisitExtensionRoots(ASN1::SEQUENCE&) override { return roots; }
    ASN1::VisitSeqResult visitExtensionRoot(ASN1::SEQUENCE&, int index, int id) override {
        calls.push_back("root:" + std::to_string(index) + ":" + std::to_string(id));
        return ASN1::CONTINUE;
    }
    ASN1::VisitSeqResult preVisitExtensions(ASN1::SEQUENCE&) override {
        calls.push_back("extensions");
        return extensions;
    }
    ASN1::VisitSeqResult visitKnownExtension(ASN1::SEQUENCE&, int index, int id) override {
        calls.push_back("ext:" + std::to_string(index) + ":" + std::to_string(id));
        return ASN1::CONTINUE;
    }
    bool visitUnknownExtensions(ASN1::SEQUENCE&) override {
        calls.push_back("unknown");
        return true;
    }
};

class RecordingConstVisitor : public ASN1::ConstVisitor {
public:
    std::vector<std::string> calls;

private:
    bool visitExtensionRoot(const ASN1::SEQUENCE&, int index) override {
        calls.push_back("root:" + std::to_string(index));
        return true;
    }
    bool preVisitExtensions(const ASN1::SEQUENCE&) override {
        calls.push_back("extensions");
        return true;
    }
    bool visitKnownExtension(const ASN1::SEQUENCE&, int index) override {
        calls.push_back("ext:" + std::to_string(index));
        return true;
    }
    bool afterVisitSequence(const ASN1::SEQUENCE&) override {
        calls.push_back("after");
        return true;
    }
};

using Calls = std::vector<std::string>;

TEST(VisitorWalk, VisitsEveryRootFieldWithItsId) {
    Message m;
    RecordingVisitor v;
    EXPECT_TRUE(m.accept(v));
    EXPECT_EQ(v.calls, (Calls{"root:0:0", "root:1:1", "root:2:-1", "extensions", "unknown"}));
}

TEST(VisitorWalk, NoExtensionSkipsTheExtensionHooks) {
    Params p;
    RecordingVisitor v;
    v.roots = ASN1::NO_EXTENSION;
    EXPECT_TRUE(p.accept(v));
    EXPECT_EQ(v.calls, (Calls{"root:0:0", "root:1:-1", "root:2:1", "root:3:-1"}));
}

TEST(VisitorWalk, ExtensionAdditionsAfterTheRoot) {
    Params p;
    RecordingVisitor v;
    EXPECT_TRUE(p.accept(v));
    EXPECT_EQ(v.calls, (Calls{"root:0:0", "root:1:-1", "root:2:1", "root:3:-1", "extensions", "ext:4:2",
                              "ext:5:3", "unknown"}));

    RecordingVisitor stop;
    stop.extensions = ASN1::STOP;
    EXPECT_TRUE(p.accept(stop));
    EXPECT_EQ(stop.calls.back(), "extensions");

    RecordingVisitor fail;
    fail.roots = ASN1::FAIL;
    EXPECT_FALSE(p.accept(fail));
    EXPECT_TRUE(fail.calls.empty());
}

TEST(VisitorWalk, NamedNumberIntegersReachTheIntegerEntry) {
    static constexpr ASN1::IntegerWithNamedNumber::NameEntry names[] = {{1, "one"}};
    static constexpr ASN1::IntegerWithNamedNumber::InfoType info{
        {{&ASN1::IntegerWithNamedNumber::create, 2}, ASN1::Unconstrained, 0, 0xFFFFFFFFu}, names, 1};
    ASN1::IntegerWithNamedNumber n(1, &info);
    RecordingVisitor v;
    EXPECT_TRUE(n.accept(v));
    EXPECT_EQ(v.calls, Calls{"integer"});

    // The read-only walk does the same: an encoder that writes integers must see it.
    struct IntegerCounting : ASN1::ConstVisitor {
        int integers = 0;
        int others = 0;
        bool do_visit(const ASN1::AbstractData&) override {
            ++others;
            return true;
        }
        bool do_visit(const ASN1::INTEGER&) override {
            ++integers;
            return true;
        }
    } counting;
    EXPECT_TRUE(n.accept(counting));
    EXPECT_EQ(counting.integers, 1);
    EXPECT_EQ(counting.others, 0);
}

TEST(ConstVisitorWalk, SkipsAbsentFields) {
    Message m;
    RecordingConstVisitor v;
    EXPECT_TRUE(m.accept(v));
    EXPECT_EQ(v.calls, (Calls{"root:2", "after"}));

    m.set_slot(3);
    v.calls.clear();
    EXPECT_TRUE(m.accept(v));
    EXPECT_EQ(v.calls, (Calls{"root:1", "root:2", "after"}));
}

TEST(ConstVisitorWalk, PresentExtensionsAfterTheRoot) {
    Params p;
    p.set_level(-3);
    p.set_standby(StandbyState::listen);
    RecordingConstVisitor v;
    EXPECT_TRUE(p.accept(v));
    EXPECT_EQ(v.calls, (Calls{"root:1", "root:2", "root:3", "extensions", "ext:5", "after"}));

    p.omit_standby();  // the map keeps its bits: the extension step runs, visits nothing
    v.calls.clear();
    EXPECT_TRUE(p.accept(v));
    EXPECT_EQ(v.calls, (Calls{"root:1", "root:2", "root:3", "extensions", "after"}));
}

TEST(ConstVisitorWalk, DefaultsSeeEveryValue) {
    struct Counting : ASN1::ConstVisitor {
        int seen = 0;
        bool do_visit(const ASN1::AbstractData&) override {
            ++seen;
            return true;
        }
    } counting;
    EXPECT_TRUE(ASN1::INTEGER().accept(counting));
    EXPECT_TRUE(ASN1::IA5String("x").accept(counting));
    EXPECT_TRUE(Response().accept(counting));
    EXPECT_TRUE(DualTones().accept(counting));
    EXPECT_TRUE(ASN1::GeneralizedTime().accept(counting));
    EXPECT_EQ(counting.seen, 5);

    struct Plain : ASN1::ConstVisitor {
    } plain;
    EXPECT_TRUE(ASN1::BOOLEAN().accept(plain));
    EXPECT_FALSE(Message().accept(plain));  // pdu must be visited, the default refuses
    DualTone tone;                          // freq1 mandatory
    EXPECT_FALSE(tone.accept(plain));
    struct AllOptional : ASN1::ConstVisitor {
    } allOptional;
    Params p;
    p.omit_level();
    EXPECT_FALSE(p.accept(allOptional));  // tones and mode are mandatory
}

TEST(PrimitiveChecker, FormOfEachKind) {
    ASN1::PrimitiveChecker checker;
    EXPECT_TRUE(ASN1::INTEGER().accept(checker));
    EXPECT_FALSE(Message().accept(checker));
    EXPECT_FALSE(DualTones().accept(checker));
    PDU pdu;
    pdu.select_command().select_create();
    EXPECT_FALSE(pdu.accept(checker));
    Response r;
    r.select_count();
    EXPECT_TRUE(r.accept(checker));
    ASN1::OpenData open(new Params, &ASN1::OpenData::theInfo);
    EXPECT_FALSE(open.accept(checker));
}

}  // namespace
