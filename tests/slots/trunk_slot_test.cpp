// Trunk slots through the slots service on the simulated TDM switch: which
// factory takes which create, the time slot ranges, the replacement of a trunk
// slot by a second create for its time slot, and the switch both ways.
#include "slots/trunk_slot.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "hardware/hal_requests.h"
#include "hardware/hw_mux.h"
#include "hardware/line_channels.h"
#include "hardware/sim/board.h"
#include "radio/factory_chain.h"
#include "slots/line_holders.h"
#include "slots/slots.h"
#include "tests/slots/commands.h"
#include "tests/slots/fake_server.h"

namespace {

using Words = std::vector<std::int32_t>;
using Requests = std::vector<std::pair<unsigned long, Words>>;
namespace Hal = Hardware::Hal;
constexpr int kSuccess = -1;
constexpr int kNoResources = LGCP::ErrorCause::insufficientResources;

using slot_test::Connect;
using slot_test::Create;
LGCP::Command Trunk(unsigned trunk, unsigned timeslot, bool bri = false) {
    return Create(slot_test::TrunkParams(trunk, timeslot, bri));
}
LGCP::Command Map(int tx, int rx) {
    LGCP::CreateParams p;
    LGCP::MapParams& m = p.select_map();
    m.set_transmitter().set_bus(0);
    m.ref_transmitter().set_channel(static_cast<unsigned>(tx));
    m.set_receiver().set_bus(0);
    m.ref_receiver().set_channel(static_cast<unsigned>(rx));
    return Create(p);
}
LGCP::Command Destroy() {
    LGCP::Command c;
    c.select_destroy();
    return c;
}

class TrunkSlots : public ::testing::Test {
protected:
    void SetUp() override {
        // In start-up order: the trunk factories first, at the tail of the chain.
        TrunkFactory::CreateAll();
        CreateSlotFactories();
        HwMux::instance().IsOpened();
        board.ClearRequests();
        fake::server = fake::Server{};
        fake::server.Bind(slots);
        saved_ = std::clog.rdbuf(log_.rdbuf());
    }
    void TearDown() override {
        std::clog.rdbuf(saved_);
        if (HasFailure()) std::cout << log_.str();
    }

    // Every answer and signal of one command on `slot`.
    std::vector<fake::Sent> Run(int slot, const LGCP::Command& command) {
        fake::server.Begin(slot, 7);
        EXPECT_TRUE(slots.OnCommand(command));
        fake::server.End();
        return fake::server.Take();
    }
    // The one answer of a command: -1 success, else the error cause.
    int Answer(int slot, const LGCP::Command& command) {
        auto sent = Run(slot, command);
        EXPECT_EQ(sent.size(), 1u);
        return sent.empty() || sent[0].kind == fake::Sent::signal ? -100 : sent[0].cause;
    }
    Requests Switch() {
        Requests out;
        for (const auto& r : board.Requests(Sim::Request::Kind::ioctl))
            out.emplace_back(r.number, r.InWords());
        board.ClearRequests();
        return out;
    }
    std::string TakeLog() {
        std::string s = log_.str();
        log_.str("");
        return s;
    }

    Sim::Board& board = Sim::board();
    Slots slots;
    std::ostringstream log_;
    std::streambuf* saved_ = nullptr;
};

TEST_F(TrunkSlots, TheFactoriesStandAtTheTailOfTheChainOnePerTrunkAndLine) {
    std::vector<std::string> tail;
    for (SlotFactory* f = SlotFactory::First(); f != nullptr; f = f->Next()) {
        std::ostringstream os;
        f->PutHeader(os);
        if (dynamic_cast<TrunkFactory*>(f) != nullptr)
            tail.push_back(os.str());
        else
            EXPECT_TRUE(tail.empty()) << os.str() << " after a trunk factory";
    }
    EXPECT_EQ(tail, (std::vector<std::string>{
                        "trunk_bri[7]: ", "trunk_bri[6]: ", "trunk_bri[5]: ", "trunk_bri[4]: ",
                        "trunk_bri[3]: ", "trunk_bri[2]: ", "trunk_bri[1]: ", "trunk_bri[0]: ", "trunk[3]: ",
                        "trunk[2]: ", "trunk[1]: ", "trunk[0]: "}));
    TrunkFactory::CreateAll();
    std::size_t n = 0;
    for (SlotFactory* f = SlotFactory::First(); f != nullptr; f = f->Next())
        n += dynamic_cast<TrunkFactory*>(f) != nullptr;
    EXPECT_EQ(n, 12u);
}

TEST_F(TrunkSlots, EachFactoryTakesItsOwnTrunkOrLineWithinRange) {
    ASSERT_EQ(Answer(1, Trunk(0, 5)), kSuccess);
    ASSERT_EQ(Answer(2, Trunk(3, 31)), kSuccess);
    ASSERT_EQ(Answer(3, Trunk(7, 2, true)), kSuccess);
    ASSERT_EQ(Answer(4, Trunk(0, 1, true)), kSuccess);  // line 0 is not trunk 0
    const struct {
        int slot;
        TrunkFactory* factory;
        int channel;
        const char* name;
    } made[] = {{1, TrunkFactory::Of(TrunkFactory::Kind::e1, 0), 261, "trunk"},
                {2, TrunkFactory::Of(TrunkFactory::Kind::e1, 3), 383, "trunk"},
                {3, TrunkFactory::Of(TrunkFactory::Kind::bri, 7), 542, "trunk_bri"},
                {4, TrunkFactory::Of(TrunkFactory::Kind::bri, 0), 512 + 1, "trunk_bri"}};
    for (const auto& m : made) {
        SCOPED_TRACE(m.slot);
        const Slot* slot = slots.Find(m.slot);
        ASSERT_NE(slot, nullptr);
        ASSERT_NE(m.factory, nullptr);
        EXPECT_EQ(slot->GetFactory(), m.factory);
        EXPECT_EQ(slot->GetTransmitChannel(), m.channel);
        EXPECT_EQ(slot->GetReceiveChannel(), m.channel);
        EXPECT_STREQ(slot->GetName(), m.name);
        EXPECT_EQ(LineHolders::instance().Holder(m.channel), slot);
    }
    EXPECT_TRUE(board.Requests(Sim::Request::Kind::ioctl).empty());  // creating switches nothing
    EXPECT_EQ(TakeLog(), "");

    EXPECT_EQ(Answer(5, Trunk(4, 0)), kNoResources);
    EXPECT_EQ(Answer(5, Trunk(8, 0, true)), kNoResources);
    EXPECT_EQ(Answer(5, Trunk(255, 1)), kNoResources);
    EXPECT_EQ(TakeLog(), "");
    EXPECT_EQ(Answer(5, Trunk(2, 32)), kNoResources);
    EXPECT_EQ(TakeLog(), "trunk[2]: time slot 32 out of range\n");
    EXPECT_EQ(Answer(5, Trunk(1, 4, true)), kNoResources);
    EXPECT_EQ(TakeLog(), "trunk_bri[1]: time slot 4 out of range\n");
    EXPECT_EQ(Answer(5, Trunk(1, 3, true)), kNoResources);
    EXPECT_EQ(TakeLog(), "trunk_bri[1]: time slot 3 is no channel of the line\n");
    EXPECT_EQ(slots.Count(), 4u);
}

TEST_F(TrunkSlots, ASecondCreateForTheTimeSlotReplacesTheOlderSlotWithoutAnAnswer) {
    ASSERT_EQ(Answer(1, Trunk(0, 5)), kSuccess);
    ASSERT_EQ(Answer(2, Map(1, 2)), kSuccess);
    ASSERT_EQ(Answer(2, Connect(1)), kSuccess);  // the map slot hears the time slot
    Switch();
    TakeLog();

    auto sent = Run(3, Trunk(0, 5));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].kind, fake::Sent::success);
    EXPECT_EQ(sent[0].slot, 3u);
    EXPECT_EQ(TakeLog(),
              "trunk-slot: two slots require the same timeslot, remove old.\n old slot 01:trunk\n");
    EXPECT_EQ(slots.Find(1), nullptr);
    EXPECT_EQ(LineHolders::instance().Holder(261), slots.Find(3));
    EXPECT_EQ(TrunkFactory::Of(TrunkFactory::Kind::e1, 0)->GetSlots().size(), 1u);
    // Its sink went idle and its time slot was disabled, before the new slot took it.
    EXPECT_EQ(Switch(), (Requests{{Hal::MUX_WRITE, {8194, 0xD5}}, {Hal::MUX_DISABLE, {261}}}));
    EXPECT_EQ(slots.Find(2)->GetSource(), nullptr);
    EXPECT_EQ(Answer(1, Destroy()), LGCP::ErrorCause::slotNotExists);

    // A create on the slot's own number replaces it by the number, without the lines.
    EXPECT_EQ(Answer(3, Trunk(0, 5)), kSuccess);
    EXPECT_EQ(TakeLog(), "");
    EXPECT_EQ(slots.Count(), 2u);
}

TEST_F(TrunkSlots, ConnectWithAMapSlotSwitchesBothWaysAndDestroyDisablesTheTimeSlot) {
    // Trunk 1 time slot 7 is channel 295; the map slot sends on 8193 and hears 8194.
    ASSERT_EQ(Answer(1, Trunk(1, 7)), kSuccess);
    ASSERT_EQ(Answer(2, Map(1, 2)), kSuccess);
    EXPECT_EQ(Answer(1, Connect(2)), kSuccess);
    EXPECT_EQ(Answer(2, Connect(1)), kSuccess);
    EXPECT_EQ(Switch(), (Requests{{Hal::MUX_CONNECT, {295, 8193}}, {Hal::MUX_CONNECT, {8194, 295}}}));
    // A basic-rate B channel to the E1 time slot.
    ASSERT_EQ(Answer(3, Trunk(2, 1, true)), kSuccess);
    EXPECT_EQ(Answer(3, Connect(1)), kSuccess);
    EXPECT_EQ(Switch(), (Requests{{Hal::MUX_CONNECT, {521, 295}}}));

    EXPECT_EQ(Answer(1, Destroy()), kSuccess);
    EXPECT_EQ(Switch(), (Requests{{Hal::MUX_WRITE, {295, 0xD5}},
                                  {Hal::MUX_WRITE, {8194, 0xD5}},
                                  {Hal::MUX_WRITE, {521, 0xD5}},
                                  {Hal::MUX_DISABLE, {295}}}));
    EXPECT_EQ(LineHolders::instance().Holder(295), nullptr);
    EXPECT_TRUE(slots.Find(2)->GetSinks().empty());
    // The time slot is free for the next slot.
    EXPECT_EQ(Answer(1, Trunk(1, 7)), kSuccess);
    EXPECT_EQ(TakeLog(), "");
}

}  // namespace
