// The fourteen factory singletons in the daemon's start-up order: chain order, which
// creates they recognise and decline, their log prefixes, and the trunk-status
// signals and resource report that pass along the chain.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "radio/factory_chain.h"
#include "radio/rtp_ext_factories.h"
#include "slots/pending_factories.h"
#include "slots/rtp_factory.h"
#include "slots/slots.h"
#include "tests/slots/fake_server.h"

namespace {

std::string Header(const SlotFactory* f) {
    std::ostringstream os;
    f->PutHeader(os);
    return os.str();
}

std::vector<std::string> Chain() {
    std::vector<std::string> names;
    for (SlotFactory* f = SlotFactory::First(); f != nullptr; f = f->Next()) names.push_back(Header(f));
    return names;
}

// Records what reaches it along the chain.
class Recorder : public SlotFactory {
public:
    explicit Recorder(std::vector<std::string>* seen, std::string name)
        : seen_(seen), name_(std::move(name)) {}
    void PutHeader(std::ostream& os) const override { os << name_; }
    void SelfSignal(const LGCP::Signal&) override { seen_->push_back(name_); }
    void Query(LGCP::Resources& r) override { r.set_modem(r.get_modem().getValue() + 2); }

protected:
    Slot* INewSlot(const LGCP::CreateParams&) override { return nullptr; }

private:
    std::vector<std::string>* seen_;
    std::string name_;
};

LGCP::CreateParams Rtp(TERM::Payload::NamedNumber payload, int radio) {
    LGCP::CreateParams p;
    LGCP::CreateRtpParams& rtp = p.select_rtp();
    rtp.set_codecRTP().set_payload(payload);
    rtp.set_txPayload(payload);
    rtp.set_rxPayload(payload);
    if (radio == 1) rtp.ref_codecRTP().set_radio().set_status().select_lemz();
    if (radio == 2) rtp.ref_codecRTP().set_radio().set_status().select_ed_137();
    return p;
}

class FactoryChain : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CreateSlotFactories(); }
    void SetUp() override { saved_ = std::clog.rdbuf(log_.rdbuf()); }
    void TearDown() override { std::clog.rdbuf(saved_); }
    std::string TakeLog() {
        std::string s = log_.str();
        log_.str("");
        return s;
    }
    std::ostringstream log_;
    std::streambuf* saved_ = nullptr;
};

TEST_F(FactoryChain, EachJoinsTheHeadSoTheLastMadeIsTriedFirst) {
    EXPECT_EQ(Chain(), (std::vector<std::string>{
                           "hdlc: ", "rtp ext ED137[0,0,0,0]: ", "rtp ext LEMZ[0,0,0,0]: ", "mcc/isdn: ",
                           "t38soft: ", "voice/mcc[0]: ", "echo: ", "mcc: ", "ext: ", "mixer: ",
                           "modem[0,0]: ", "rtp[0,0,0,0]: ", "pstn: ", "map: "}));
    // A second instance() call makes nothing new.
    CreateSlotFactories();
    EXPECT_EQ(Chain().size(), 14u);
}

TEST_F(FactoryChain, RadioFactoriesRecogniseTheirRadioAndDecline) {
    auto& lemz = RtpLEMZFactory::instance();
    auto& ed = RtpED137Factory::instance();
    auto& rtp = RtpFactory::instance();
    unsigned l0 = lemz.requests(), e0 = ed.requests(), r0 = rtp.requests();
    EXPECT_EQ(lemz.NewSlot(Rtp(TERM::Payload::ptG729, 1)), nullptr);
    EXPECT_EQ(ed.NewSlot(Rtp(TERM::Payload::ptG729, 1)), nullptr);
    EXPECT_EQ(rtp.NewSlot(Rtp(TERM::Payload::ptG729, 1)), nullptr);
    EXPECT_EQ(lemz.requests(), l0 + 1);
    EXPECT_EQ(ed.requests(), e0);
    EXPECT_EQ(rtp.requests(), r0);
    EXPECT_EQ(ed.NewSlot(Rtp(TERM::Payload::ptR2S, 2)), nullptr);
    EXPECT_EQ(lemz.NewSlot(Rtp(TERM::Payload::ptR2S, 2)), nullptr);
    EXPECT_EQ(ed.requests(), e0 + 1);
    EXPECT_EQ(lemz.requests(), l0 + 1);
    EXPECT_EQ(RadioKindOf(Rtp(TERM::Payload::ptG729, 0)), RadioKind::none);
    std::ostringstream os;
    lemz.PutHeader(os);
    EXPECT_EQ(os.str(), "rtp ext LEMZ[1,0,0,1]: ");
}

TEST_F(FactoryChain, RtpChecksThePayloadBeforeDeclining) {
    auto& rtp = RtpFactory::instance();
    unsigned refused = rtp.refused();
    EXPECT_EQ(rtp.NewSlot(Rtp(TERM::Payload::ptG729, 0)), nullptr);
    EXPECT_EQ(TakeLog(), "");
    EXPECT_EQ(rtp.NewSlot(Rtp(TERM::Payload::reserv_2, 0)), nullptr);
    EXPECT_EQ(rtp.refused(), refused + 1);
    std::string line = TakeLog();
    EXPECT_NE(line.find("rtp do not created: payload reserv-2not found\n"), std::string::npos) << line;
    EXPECT_EQ(line.rfind("rtp[", 0), 0u) << line;

    LGCP::CreateParams p = Rtp(TERM::Payload::ptG729, 0);
    int rx = 0, tx = 0;
    p.select_rtp().set_codecRTP().set_payload(TERM::Payload::ptG729);
    LGCP::CreateRtpParams params;
    params.set_codecRTP().set_payload(TERM::Payload::ptG729);
    params.set_rxPayload(TERM::Payload::ptG711_Ulaw);
    params.set_txPayload(TERM::Payload::ptG729);
    ASSERT_TRUE(rtp.TranslatePayloads(params, rx, tx));
    EXPECT_EQ(rx, 0);
    EXPECT_EQ(tx, 18);
    params.set_rxPayload(TERM::Payload::ptG723);
    params.set_txPayload(TERM::Payload::ptG711_Alaw);
    ASSERT_TRUE(rtp.TranslatePayloads(params, rx, tx));
    EXPECT_EQ(rx, 18);
    EXPECT_EQ(tx, 8);
}

TEST_F(FactoryChain, TrunkStatusReachesEveryFactoryInChainOrderOthersDoNot) {
    std::vector<std::string> seen;
    Recorder a(&seen, "a");
    Recorder b(&seen, "b");
    Slots slots;
    fake::server = fake::Server{};
    fake::server.Bind(slots);
    ACP::TrunkStatus status;
    status.set_trunk(1);
    slots.OnSignal(LGCP::Signal(LGCP::Signal::trunkStatus::id, status));
    EXPECT_EQ(seen, (std::vector<std::string>{"b", "a"}));
    seen.clear();
    slots.OnSignal(LGCP::Signal(LGCP::Signal::power::id, LGCP::POWERStatus(LGCP::POWERStatus::both)));
    EXPECT_TRUE(seen.empty());

    // The resource report passes along the same chain.
    LGCP::Resources r = slots.CollectResources();
    EXPECT_EQ(r.get_modem().getValue(), 4);
    EXPECT_TRUE(r.get_mux());
    slots.UpdateHardwareResources();
    auto sent = fake::server.Take();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_FALSE(sent[0].slot.has_value());
    ASSERT_TRUE(sent[0].value.query_isSelected());
    EXPECT_TRUE(sent[0].value.get_query() == r);
}

TEST_F(FactoryChain, DecliningFactoriesCountTheirOwnCreates) {
    LGCP::CreateParams p;
    p.select_mcc();
    unsigned before = MccFactory::instance().declined();
    EXPECT_EQ(MccFactory::instance().NewSlot(p), nullptr);
    EXPECT_EQ(IsdnFactory::instance().NewSlot(p), nullptr);
    EXPECT_EQ(MccFactory::instance().declined(), before + 1);
    p.select_ats_qsig_b();
    before = IsdnFactory::instance().declined();
    EXPECT_EQ(IsdnFactory::instance().NewSlot(p), nullptr);
    EXPECT_EQ(IsdnFactory::instance().declined(), before + 1);
}

}  // namespace
