// The slots service's dispatch, answers and slot life cycle, with map and ext slots
// on the simulated TDM switch and a scripted slot kind for the hooks and for late
// releases.
#include "slots/slots.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "hardware/hal_requests.h"
#include "hardware/hw_mux.h"
#include "hardware/sim/board.h"
#include "slots/ext_slot.h"
#include "slots/map_slot.h"
#include "tests/slots/commands.h"
#include "tests/slots/fake_server.h"

namespace {

using Words = std::vector<std::int32_t>;
namespace Hal = Hardware::Hal;

// A slot whose hooks answer as the test says and whose release may complete later.
class ScriptedSlot : public Slot {
public:
    using Slot::Slot;
    const char* GetName() const override { return "scripted"; }
    int GetTransmitChannel() const override { return 8300; }
    bool IActivate(const TERM::TermActivateParams&) override { return accept; }
    bool IDeactivate() override { return accept; }
    bool IUserData(const ASN1::OCTET_STRING&) override { return accept; }
    bool Ioctl(const LGCP::IoctlParams&) override { return accept; }
    void IAfterCreate() override { afterCreateAnswers = fake::server.sent.size(); }
    bool IDestroy() override {
        ++destroys;
        ++totalDestroys;
        if (releaseInsideHook) Released();
        return !lateRelease;
    }
    void Finish() { Released(); }
    ~ScriptedSlot() override { ++deleted; }

    bool accept = true;
    bool lateRelease = false;
    bool releaseInsideHook = false;
    int destroys = 0;
    std::size_t afterCreateAnswers = 0;
    static int deleted;
    static int totalDestroys;
};
int ScriptedSlot::deleted = 0;
int ScriptedSlot::totalDestroys = 0;

// Builds scripted slots from the `spi-tdm` parameters, which no board factory reads.
class ScriptedFactory : public SlotFactory {
public:
    void PutHeader(std::ostream& os) const override { os << "scripted: "; }
    ScriptedSlot* last = nullptr;
    bool lateRelease = false;

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override {
        if (!params.spi_tdm_isSelected()) return nullptr;
        last = new ScriptedSlot(this);
        last->lateRelease = lateRelease;
        return last;
    }
};

using slot_test::Connect;
using slot_test::Create;
LGCP::Command Scripted() {
    LGCP::CreateParams p;
    p.select_spi_tdm();
    return Create(p);
}
LGCP::Command Map(std::optional<std::pair<int, int>> tx, std::optional<std::pair<int, int>> rx) {
    LGCP::CreateParams p;
    LGCP::MapParams& m = p.select_map();
    if (tx) {
        m.set_transmitter().set_bus(tx->first);
        m.ref_transmitter().set_channel(tx->second);
    }
    if (rx) {
        m.set_receiver().set_bus(rx->first);
        m.ref_receiver().set_channel(rx->second);
    }
    return Create(p);
}
LGCP::Command Ext(int tx, int rx) {
    LGCP::CreateParams p;
    p.select_ext().set_transmitter(tx);
    p.select_ext();
    LGCP::ExtParams& e = p.select_ext();
    e.set_transmitter(tx);
    e.set_receiver(rx);
    return Create(p);
}
#define SIMPLE_COMMAND(name) \
    LGCP::Command name() {   \
        LGCP::Command c;     \
        c.select_##name();   \
        return c;            \
    }
SIMPLE_COMMAND(query)
SIMPLE_COMMAND(destroy)
SIMPLE_COMMAND(disconnect)
SIMPLE_COMMAND(deactivate)
SIMPLE_COMMAND(ping)
SIMPLE_COMMAND(display)
#undef SIMPLE_COMMAND

class SlotsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The switch singleton keeps its open across tests: no board reset here.
        MapFactory::instance();
        ExtFactory::instance();
        HwMux::instance().IsOpened();
        board.ClearRequests();
        fake::server = fake::Server{};
        fake::server.Bind(slots);
        ScriptedSlot::deleted = 0;
        saved_ = std::clog.rdbuf(log_.rdbuf());
    }
    void TearDown() override {
        std::clog.rdbuf(saved_);
        Slots::SetPause(nullptr);
    }

    // Runs one command on `slot` (-1: none) and returns what went out.
    std::vector<fake::Sent> Run(int slot, const LGCP::Command& command, std::optional<int> seq = 7,
                                bool* claimed = nullptr) {
        fake::server.Begin(slot, seq);
        bool owned = slots.OnCommand(command);
        if (claimed != nullptr) *claimed = owned;
        fake::server.End();
        return fake::server.Take();
    }
    // The single answer of a command: -1 success, else the error cause.
    int Answer(int slot, const LGCP::Command& command, std::optional<int> seq = 7) {
        auto sent = Run(slot, command, seq);
        EXPECT_EQ(sent.size(), 1u);
        if (sent.empty()) return -100;
        EXPECT_NE(sent[0].kind, fake::Sent::signal);
        return sent[0].cause;
    }
    std::vector<std::pair<unsigned long, Words>> Switch() {
        std::vector<std::pair<unsigned long, Words>> out;
        for (const auto& r : board.Requests(Sim::Request::Kind::ioctl))
            out.emplace_back(r.number, r.InWords());
        board.ClearRequests();
        return out;
    }

    Sim::Board& board = Sim::board();
    ScriptedFactory scripted;  // head of the chain while the test runs
    Slots slots;
    std::ostringstream log_;
    std::streambuf* saved_ = nullptr;
};

constexpr int kSuccess = -1;

TEST_F(SlotsTest, ClaimsSlotCommandsOnlyWithASlotAndQueryOnlyWithout) {
    bool claimed = true;
    Run(-1, Connect(3), 1, &claimed);
    EXPECT_FALSE(claimed);
    Run(-1, destroy(), 1, &claimed);
    EXPECT_FALSE(claimed);
    Run(4, query(), 1, &claimed);
    EXPECT_FALSE(claimed);
    Run(4, ping(), 1, &claimed);
    EXPECT_FALSE(claimed);
    LGCP::Command test;
    test.select_testBpc();
    Run(4, test, 1, &claimed);
    EXPECT_FALSE(claimed);
    Run(4, display(), 1, &claimed);
    EXPECT_FALSE(claimed);
}

TEST_F(SlotsTest, QueryAnswersSuccessThenTheResourcesSignalWithoutSlot) {
    auto sent = Run(-1, query(), 9);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].kind, fake::Sent::success);
    EXPECT_EQ(sent[0].seq, 9);
    EXPECT_EQ(sent[1].kind, fake::Sent::signal);
    EXPECT_FALSE(sent[1].slot.has_value());
    ASSERT_TRUE(sent[1].value.query_isSelected());
    const LGCP::Resources& r = sent[1].value.get_query();
    EXPECT_TRUE(r.get_mux());
    EXPECT_FALSE(r.drvVersion_isPresent());
    EXPECT_EQ(r.get_boardMajor().getValue(), 0);
    EXPECT_EQ(r.get_rtp_g729().getValue(), 0);
    EXPECT_EQ(r.get_universal().getValue(), 0);
    EXPECT_TRUE(r.get_mixer().empty());
    EXPECT_TRUE(r.get_echoBus().empty());
}

TEST_F(SlotsTest, CreateDestroyAndDestroyAgain) {
    EXPECT_EQ(Answer(5, Scripted()), kSuccess);
    ASSERT_NE(slots.Find(5), nullptr);
    EXPECT_EQ(slots.Find(5)->GetNumber(), 5);
    // The create was answered before the slot's after-create hook ran.
    EXPECT_EQ(scripted.last->afterCreateAnswers, 1u);
    EXPECT_EQ(Answer(5, destroy()), kSuccess);
    EXPECT_EQ(slots.Find(5), nullptr);
    EXPECT_EQ(ScriptedSlot::deleted, 1);
    EXPECT_EQ(Answer(5, destroy()), LGCP::ErrorCause::slotNotExists);
}

TEST_F(SlotsTest, CreateThatNoFactoryBuildsIsInsufficientResources) {
    LGCP::CreateParams p;
    p.select_rtpOnMixer();
    EXPECT_EQ(Answer(3, Create(p)), LGCP::ErrorCause::insufficientResources);
    p.select_mcc();
    EXPECT_EQ(Answer(3, Create(p)), LGCP::ErrorCause::insufficientResources);
    EXPECT_EQ(slots.Count(), 0u);
}

TEST_F(SlotsTest, CreateOnAnExistingSlotReplacesItWithOneAnswer) {
    ASSERT_EQ(Answer(6, Scripted()), kSuccess);
    ScriptedSlot* first = scripted.last;
    EXPECT_EQ(Answer(6, Scripted()), kSuccess);
    (void)first;
    EXPECT_EQ(scripted.GetSlots().size(), 1u);
    EXPECT_EQ(scripted.GetSlots().front(), slots.Find(6));
    EXPECT_EQ(ScriptedSlot::deleted, 1);
}

TEST_F(SlotsTest, CreateOnASlotThatReleasesLaterIsSlotIdBusyThenDestroyInProgress) {
    scripted.lateRelease = true;
    ASSERT_EQ(Answer(6, Scripted()), kSuccess);
    ScriptedSlot* first = scripted.last;
    EXPECT_EQ(Answer(6, Scripted()), LGCP::ErrorCause::slotIdBusy);
    EXPECT_EQ(first->destroys, 1);
    EXPECT_EQ(Answer(6, Scripted()), LGCP::ErrorCause::destroyInProgress);
    EXPECT_EQ(Answer(6, destroy()), LGCP::ErrorCause::destroyInProgress);
    // Its release was not asked for by a destroy: no answer when it completes.
    first->Finish();
    EXPECT_TRUE(fake::server.Take().empty());
    EXPECT_EQ(slots.Find(6), nullptr);
}

TEST_F(SlotsTest, LateReleaseAnswersLaterWithTheDestroySeq) {
    scripted.lateRelease = true;
    ASSERT_EQ(Answer(12, Scripted()), kSuccess);
    ScriptedSlot* slot = scripted.last;
    auto now = Run(12, destroy(), 40);
    EXPECT_TRUE(now.empty());
    EXPECT_EQ(fake::server.ackState, 1);  // put off, not forgotten
    // Another command in between keeps its own state.
    fake::server.Begin(3, 99);
    slot->Finish();
    auto later = fake::server.Take();
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].kind, fake::Sent::success);
    EXPECT_EQ(later[0].slot, 12u);
    EXPECT_EQ(later[0].seq, 40);
    EXPECT_EQ(fake::server.ackState, 0);
    fake::server.End();
    // Deleted from the loop, not inside its own call.
    EXPECT_EQ(ScriptedSlot::deleted, 0);
    EXPECT_EQ(slots.Find(12), nullptr);
    slot->Finish();  // a second report changes nothing
    EXPECT_TRUE(fake::server.Take().empty());
}

TEST_F(SlotsTest, LateReleaseOfADestroyWithoutSeqAnswersWithoutSeq) {
    scripted.lateRelease = true;
    ASSERT_EQ(Answer(12, Scripted()), kSuccess);
    ScriptedSlot* slot = scripted.last;
    EXPECT_TRUE(Run(12, destroy(), std::nullopt).empty());
    slot->Finish();
    auto later = fake::server.Take();
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].slot, 12u);
    EXPECT_FALSE(later[0].seq.has_value());
}

TEST_F(SlotsTest, ReleaseReportedInsideTheHookIsAnsweredAtOnce) {
    ASSERT_EQ(Answer(2, Scripted()), kSuccess);
    scripted.last->lateRelease = true;
    scripted.last->releaseInsideHook = true;
    auto sent = Run(2, destroy(), 5);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].kind, fake::Sent::success);
    EXPECT_EQ(sent[0].seq, 5);
    EXPECT_EQ(slots.Find(2), nullptr);
}

TEST_F(SlotsTest, HooksAnswerSuccessUnsupportedOrSlotNotExists) {
    const LGCP::Command commands[] = {
        [] {
            LGCP::Command c;
            c.select_activate().select_empty();
            return c;
        }(),
        deactivate(),
        [] {
            LGCP::Command c;
            c.select_userData(std::vector<char>{1, 2});
            return c;
        }(),
        [] {
            LGCP::Command c;
            c.select_ioctl().select_mute_disable();
            return c;
        }(),
    };
    ASSERT_EQ(Answer(8, Scripted()), kSuccess);
    ScriptedSlot* slot = scripted.last;
    for (const auto& c : commands) {
        SCOPED_TRACE(c.currentSelection());
        slot->accept = true;
        EXPECT_EQ(Answer(8, c), kSuccess);
        slot->accept = false;
        EXPECT_EQ(Answer(8, c), LGCP::ErrorCause::unsupported);
        EXPECT_EQ(Answer(9, c), LGCP::ErrorCause::slotNotExists);
    }
    // Map slots keep the base hooks: everything is refused.
    ASSERT_EQ(Answer(10, Map({}, {})), kSuccess);
    for (const auto& c : commands) EXPECT_EQ(Answer(10, c), LGCP::ErrorCause::unsupported);
}

TEST_F(SlotsTest, ConnectChecksTargetAndSlots) {
    EXPECT_EQ(Answer(1, Connect(1024)), LGCP::ErrorCause::invalidSlot);
    EXPECT_EQ(Answer(1, Connect(2)), LGCP::ErrorCause::slotNotExists);
    ASSERT_EQ(Answer(1, Map(std::make_pair(0, 1), std::make_pair(0, 2))), kSuccess);
    EXPECT_EQ(Answer(1, Connect(2)), LGCP::ErrorCause::slotNotExists);
    EXPECT_EQ(Answer(2, Connect(1)), LGCP::ErrorCause::slotNotExists);
    // A map slot without a receiver cannot take a source.
    ASSERT_EQ(Answer(2, Map(std::make_pair(0, 3), std::nullopt)), kSuccess);
    board.ClearRequests();
    EXPECT_EQ(Answer(2, Connect(1)), LGCP::ErrorCause::connectFail);
    EXPECT_TRUE(Switch().empty());
    EXPECT_EQ(Answer(5, disconnect()), LGCP::ErrorCause::slotNotExists);
}

TEST_F(SlotsTest, MapSlotsSwitchTransmitOntoReceive) {
    // Slot 1 sends on bus 1 slot 5 (8325) and receives on bus 2 slot 7 (8455).
    ASSERT_EQ(Answer(1, Map(std::make_pair(1, 5), std::make_pair(2, 7))), kSuccess);
    ASSERT_EQ(Answer(2, Map(std::make_pair(3, 0), std::make_pair(3, 1))), kSuccess);
    EXPECT_TRUE(Switch().empty());  // creating connects nothing

    EXPECT_EQ(Answer(1, Connect(2)), kSuccess);
    EXPECT_EQ(Switch(), (std::vector<std::pair<unsigned long, Words>>{{Hal::MUX_CONNECT, {8455, 8576}}}));
    EXPECT_EQ(HwMux::instance().output(8455 - 8192), 8576);
    EXPECT_EQ(slots.Find(1)->GetSource(), slots.Find(2));

    EXPECT_EQ(Answer(1, disconnect()), kSuccess);
    EXPECT_EQ(Switch(), (std::vector<std::pair<unsigned long, Words>>{{Hal::MUX_WRITE, {8455, 0xD5}}}));
    EXPECT_EQ(slots.Find(1)->GetSource(), nullptr);
    EXPECT_TRUE(slots.Find(2)->GetSinks().empty());
    // Nothing left to take down.
    EXPECT_EQ(Answer(1, disconnect()), kSuccess);
    EXPECT_TRUE(Switch().empty());

    // Destroying a source idles its sinks, then its own bus time slots are disabled.
    ASSERT_EQ(Answer(1, Connect(2)), kSuccess);
    Switch();
    EXPECT_EQ(Answer(2, destroy()), kSuccess);
    EXPECT_EQ(Switch(),
              (std::vector<std::pair<unsigned long, Words>>{
                  {Hal::MUX_WRITE, {8455, 0xD5}}, {Hal::MUX_DISABLE, {8576}}, {Hal::MUX_DISABLE, {8577}}}));
    EXPECT_EQ(slots.Find(1)->GetSource(), nullptr);
}

TEST_F(SlotsTest, ExtSlotsUseTheSharedBusAddress) {
    ASSERT_EQ(Answer(20, Ext(10, 11)), kSuccess);
    ASSERT_EQ(Answer(21, Ext(300, 301)), kSuccess);
    EXPECT_EQ(Answer(21, Connect(20)), kSuccess);
    EXPECT_EQ(Switch(), (std::vector<std::pair<unsigned long, Words>>{{Hal::MUX_CONNECT, {8493, 8202}}}));
    // Reconnecting onto another source moves the sink.
    ASSERT_EQ(Answer(22, Ext(40, 41)), kSuccess);
    EXPECT_EQ(Answer(21, Connect(22)), kSuccess);
    EXPECT_EQ(Switch(), (std::vector<std::pair<unsigned long, Words>>{{Hal::MUX_CONNECT, {8493, 8232}}}));
    EXPECT_TRUE(slots.Find(20)->GetSinks().empty());
    EXPECT_EQ(slots.Find(22)->GetSinks().size(), 1u);

    EXPECT_EQ(Answer(21, destroy()), kSuccess);
    EXPECT_EQ(Switch(),
              (std::vector<std::pair<unsigned long, Words>>{
                  {Hal::MUX_WRITE, {8493, 0xD5}}, {Hal::MUX_DISABLE, {8492}}, {Hal::MUX_DISABLE, {8493}}}));
    EXPECT_TRUE(slots.Find(22)->GetSinks().empty());
}

TEST_F(SlotsTest, ExtValuesOutsideTheSwitchAreRefused) {
    EXPECT_EQ(Answer(1, Ext(-1, 0)), LGCP::ErrorCause::insufficientResources);
    EXPECT_EQ(Answer(1, Ext(0, 2048)), LGCP::ErrorCause::insufficientResources);
    EXPECT_EQ(Answer(1, Ext(2147483647, 0)), LGCP::ErrorCause::insufficientResources);
    EXPECT_EQ(Answer(1, Ext(2047, 0)), kSuccess);
}

TEST_F(SlotsTest, ConnectFailureOfTheSwitchIsConnectFail) {
    ASSERT_EQ(Answer(1, Ext(1, 2)), kSuccess);
    ASSERT_EQ(Answer(2, Ext(3, 4)), kSuccess);
    board.FailRequest(Hal::kPath, Hal::MUX_CONNECT, EIO);
    EXPECT_EQ(Answer(1, Connect(2)), LGCP::ErrorCause::connectFail);
    EXPECT_EQ(slots.Find(1)->GetSource(), nullptr);
    ASSERT_EQ(Answer(1, Connect(2)), kSuccess);
    board.FailRequest(Hal::kPath, Hal::MUX_WRITE, EIO);
    EXPECT_EQ(Answer(1, disconnect()), LGCP::ErrorCause::disconnectFail);
}

std::vector<unsigned> pauses;
int destroysAtPause = 0;
void RecordPause(unsigned ms) {
    pauses.push_back(ms);
    destroysAtPause = ScriptedSlot::totalDestroys;
}

TEST_F(SlotsTest, DisconnectDestroysAllPausesAndDeletesUnfinished) {
    pauses.clear();
    Slots::SetPause(&RecordPause);
    slots.OnDisconnect();
    EXPECT_EQ(pauses, std::vector<unsigned>{1000});  // also with no slot

    ASSERT_EQ(Answer(1, Ext(1, 2)), kSuccess);
    scripted.lateRelease = true;
    ASSERT_EQ(Answer(2, Scripted()), kSuccess);
    int destroys = ScriptedSlot::totalDestroys;
    ASSERT_EQ(Answer(1, Connect(2)), kSuccess);
    board.ClearRequests();
    slots.OnDisconnect();
    EXPECT_EQ(pauses.size(), 2u);
    EXPECT_EQ(destroysAtPause, destroys + 1) << "released before the pause";
    EXPECT_EQ(slots.Count(), 0u);
    EXPECT_EQ(ScriptedSlot::deleted, 1);
    EXPECT_TRUE(fake::server.Take().empty());  // no answers of their own
    auto requests = Switch();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0], (std::pair<unsigned long, Words>{Hal::MUX_WRITE, {8194, 0xD5}}));
}

TEST_F(SlotsTest, SlotSignalsCarryTheSlotNumber) {
    ASSERT_EQ(Answer(33, Scripted()), kSuccess);
    ScriptedSlot* slot = scripted.last;
    slot->OnChangeInputStream(Slot::Stream::active, 77);
    slot->OnChangeInputStream(Slot::Stream::active, 77);    // no change, no signal
    slot->OnChangeOutputStream(Slot::Stream::inactive, 0);  // already inactive
    LGCP::IoctlResponse r;
    r.select_ss7BSN(3);
    slot->OnIoctlResponse(r);
    auto sent = fake::server.Take();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].slot, 33u);
    ASSERT_TRUE(sent[0].value.receiver_isSelected());
    EXPECT_EQ(sent[0].value.get_receiver().get_active().getValue(), 77);
    EXPECT_EQ(sent[1].slot, 33u);
    EXPECT_TRUE(sent[1].value.ioctl_isSelected());
}

TEST(SlotPut, NumberAndName) {
    class Named : public Slot {
    public:
        Named() : Slot(nullptr) {}
        const char* GetName() const override { return "map"; }
    } slot;
    std::ostringstream os;
    os << slot;
    EXPECT_EQ(os.str(), "na:map");
    slot.Install(nullptr, 7);
    os.str("");
    os << slot;
    EXPECT_EQ(os.str(), "07:map");
    slot.Install(nullptr, 1023);
    os.str("");
    os << slot;
    EXPECT_EQ(os.str(), "1023:map");
    slot.Install(nullptr, 5000);
    os.str("");
    os << slot;
    EXPECT_EQ(os.str(), "i5000:map");
}

}  // namespace
