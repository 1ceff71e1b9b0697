// The layer framework: activation order, status paths, head room and ownership.
#include "core/protocol.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> trace;

class Layer : public Protocol {
public:
    Layer(std::string tag, unsigned head) : tag_(std::move(tag)), head_(head) {}
    ~Layer() override { trace.push_back(tag_ + ".~"); }
    void local_prepare_head(Packet& p) override { p.reserve_head(head_); }
    void local_activate() override {
        trace.push_back(tag_ + ".local_activate");
        Protocol::local_activate();
    }
    void local_deactivate() override {
        trace.push_back(tag_ + ".local_deactivate");
        Protocol::local_deactivate();
    }
    void message(Packet& p) override {
        p.push8(static_cast<unsigned char>(tag_[0]));
        transmit(p);
    }
    void receive(Packet& p) override {
        trace.push_back(tag_ + ".receive " + std::string(1, static_cast<char>(p.pull8())));
        on_message(p);
    }
    void fail(const std::string& text) { on_deactivate(new Protocol_status_error(this, text)); }

private:
    std::string tag_;
    unsigned head_;
};

class Family : public ProtocolsFamily {
public:
    void on_activated(Protocol* p) override {
        trace.push_back("F.on_activated " + who(p));
        ProtocolsFamily::on_activated(p);
    }
    void on_deactivated(Protocol* p, Protocol_status st) override {
        trace.push_back("F.on_deactivated " + who(p) + " " + (st->success() ? "ok " : "error ") +
                        st->message());
        last_source = st->source;
    }
    void transmit(Packet& p) override { sent = p.text(); }
    void on_message(Packet& p) override { trace.push_back("F.on_message " + std::to_string(p.length())); }
    std::string who(Protocol* p) const { return p == bottom() ? "S" : p == top() ? "T" : "?"; }

    std::string sent;
    const Protocol_info* last_source = nullptr;
};

class FrameworkTest : public testing::Test {
protected:
    void SetUp() override {
        trace.clear();
        s = static_cast<Layer*>(family.add_protocol_tail(new Layer("S", 0)));
        t = static_cast<Layer*>(family.add_protocol_tail(new Layer("T", 4)));
    }
    Family family;
    Layer* s;
    Layer* t;
};

TEST_F(FrameworkTest, ActivationRunsBottomUpAndDeactivationTopDown) {
    family.activate();
    EXPECT_EQ((std::vector<std::string>{"S.local_activate", "T.local_activate", "F.on_activated T"}), trace);
    trace.clear();
    family.deactivate();
    EXPECT_EQ((std::vector<std::string>{"T.local_deactivate", "S.local_deactivate",
                                        "F.on_deactivated S ok success"}),
              trace);
}

TEST_F(FrameworkTest, ErrorStatusGoesUpWithoutStoppingTheLayersAbove) {
    s->fail("broken");
    EXPECT_EQ((std::vector<std::string>{"F.on_deactivated T error broken"}), trace);
    EXPECT_EQ(s, family.last_source);
}

TEST_F(FrameworkTest, DeactivatingTheBottomStopsOnlyIt) {
    s->deactivate();
    EXPECT_EQ((std::vector<std::string>{"S.local_deactivate", "F.on_deactivated S ok success"}), trace);
}

TEST_F(FrameworkTest, PrepareHeadReservesEveryLayersRoomBottomFirst) {
    Packet p;
    family.prepare_head(p);
    ASSERT_FALSE(p.null());
    EXPECT_EQ(4u, p._headroom());
    EXPECT_EQ(packet_max_size - 4, p.tailroom());

    Family empty;
    Packet q;
    empty.prepare_head(q);
    EXPECT_TRUE(q.null());
}

TEST_F(FrameworkTest, PacketsTravelThroughEveryLayer) {
    Packet p;
    family.prepare_head(p);
    p.put8('x');
    family.message(p);
    EXPECT_EQ(3u, p.length());
    EXPECT_EQ('S', p[0]);
    EXPECT_EQ('T', p[1]);

    Packet in;
    in.reserve_head(0);
    in.put8('a');
    in.put8('b');
    in.put8('c');
    family.receive(in);
    EXPECT_EQ((std::vector<std::string>{"S.receive a", "T.receive b", "F.on_message 1"}), trace);
}

TEST_F(FrameworkTest, InitializeStopsAtTheFirstFailure) {
    EXPECT_TRUE(family.initialize()->success());
    Family empty;
    Protocol_status st = empty.initialize();
    EXPECT_FALSE(st->success());
    EXPECT_EQ("error", st->message());
    EXPECT_EQ(&empty, st->source);
}

TEST_F(FrameworkTest, SearchFindsNothing) {
    EXPECT_EQ(nullptr, family.search(Protocol_name_null()));
    EXPECT_EQ(nullptr, family.search(Protocol_name_str("TPKT")));
}

TEST_F(FrameworkTest, DeletingALayerKeepsTheListConsistentAndTheListDeletesTheRestTopDown) {
    {
        Family f;
        Layer* a = static_cast<Layer*>(f.add_protocol_tail(new Layer("A", 0)));
        Layer* b = static_cast<Layer*>(f.add_protocol_tail(new Layer("B", 0)));
        f.add_protocol_tail(new Layer("C", 0));
        delete b;
        EXPECT_EQ(2u, f.layers());
        EXPECT_EQ(a, f.bottom());
        EXPECT_EQ(a->above(), f.top());
        EXPECT_EQ(a, f.top()->below());
        trace.clear();
    }
    EXPECT_EQ((std::vector<std::string>{"C.~", "A.~"}), trace);
}

// A family is one layer of its own parent: its stack's activation, deactivation and
// statuses reach the parent through it.
TEST(NestedFamily, ReportsItsStackToItsParent) {
    struct Outer : ProtocolsFamily {
        void on_activated(Protocol* p) override {
            activated = p;
            ProtocolsFamily::on_activated(p);
        }
        void on_deactivated(Protocol* p, Protocol_status st) override {
            deactivated = p;
            reports.push_back((st->success() ? "ok " : "error ") + st->message());
        }
        void on_status(Protocol_status st) override { reports.push_back("status " + st->message()); }
        Protocol* activated = nullptr;
        Protocol* deactivated = nullptr;
        std::vector<std::string> reports;
    } outer;
    trace.clear();
    auto* inner = static_cast<ProtocolsFamily*>(outer.add_protocol_tail(new ProtocolsFamily));
    auto* s = static_cast<Layer*>(inner->add_protocol_tail(new Layer("S", 0)));
    inner->add_protocol_tail(new Layer("T", 4));

    outer.activate();
    EXPECT_EQ((std::vector<std::string>{"S.local_activate", "T.local_activate"}), trace);
    EXPECT_EQ(inner, outer.activated);

    s->on_status(new Protocol_status_error(s, "link down"));
    trace.clear();
    outer.deactivate();
    EXPECT_EQ((std::vector<std::string>{"T.local_deactivate", "S.local_deactivate"}), trace);
    EXPECT_EQ(inner, outer.deactivated);
    s->fail("gone");
    EXPECT_EQ((std::vector<std::string>{"status link down", "ok success", "error gone"}), outer.reports);
    trace.clear();
}

TEST(ProtocolNames, CompareAndPrint) {
    Protocol_name_str a("TPKT"), b("TPKT"), c("LAPD"), none(nullptr);
    Protocol_name_null n1, n2;
    EXPECT_TRUE(a.compare(b));
    EXPECT_FALSE(a.compare(c));
    EXPECT_FALSE(a.compare(n1));
    EXPECT_FALSE(n1.compare(a));
    EXPECT_TRUE(n1.compare(n2));
    EXPECT_STREQ("(no name)", none.name());
    std::ostringstream os;
    Layer layer("L", 0);
    os << layer << "|" << a;
    EXPECT_EQ("(no name)|TPKT", os.str());
}

TEST(ProtocolStatus, KindsAndSharing) {
    Protocol_status ok = new Protocol_status_success(nullptr, "fine");
    Protocol_status copy = ok;
    EXPECT_EQ(2u, ok->ref_count);
    EXPECT_TRUE(copy->success());
    Protocol_status bad = new Protocol_status_error(nullptr, "bad");
    std::ostringstream os;
    os << *bad;
    EXPECT_FALSE(bad->success());
    EXPECT_EQ("bad", os.str());
}

}  // namespace
