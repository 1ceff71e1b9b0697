// The signalling and raw HDLC slots through the slots service, on the simulated
// board and the loop's manual clock: two slots on trunks joined by a cable talk
// to each other, and a far end on a trunk time slot sees the frames.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "core/timer.h"
#include "hardware/hal_requests.h"
#include "hardware/hw_mux.h"
#include "hardware/line_channels.h"
#include "hardware/mcc_requests.h"
#include "hardware/sim/board.h"
#include "hardware/sim/mcc_device.h"
#include "signalling/ss7_slc.h"
#include "slots/hdlc_slot.h"
#include "slots/pstn_factory.h"
#include "slots/pstn_slot.h"
#include "slots/slots.h"
#include "slots/trunk_slot.h"
#include "tests/core/multiplexer_test.h"
#include "tests/core/text_count.h"
#include "tests/hardware/line_test_util.h"
#include "tests/server/server_test_util.h"
#include "tests/slots/commands.h"
#include "tests/slots/fake_server.h"

namespace {

using line_test::Bytes;
namespace Hal = Hardware::Hal;

using FarEnd = line_test::RecordingFarEnd;

// Emergency proving: a link aligns in 0.5 s.
LGCP::CreateParams Ss7(int trunk, int opc, int dpc) {
    return slot_test::Ss7(trunk, opc, dpc, true);
}

using slot_test::Hdlc;
using slot_test::Isdn;
using slot_test::TrunkParams;

LGCP::Signal TrunkStatus(int trunk, ACP::TrunkType::NamedNumber type, ACP::TrunkState::NamedNumber state) {
    LGCP::Signal signal;
    ACP::TrunkStatus& s = signal.select_trunkStatus();
    s.set_trunk(trunk);
    s.set_state(state);
    s.set_type(type);
    return signal;
}

class SignallingSlots : public LoopTest {
protected:
    void SetUp() override {
        LoopTest::SetUp();
        // Time moves only while nothing is ready, so that frames on the wire
        // take no time.
        multiplexer.set_poll([this](pollfd* fds, nfds_t count, int timeout) {
            int ready = ::poll(fds, count, 0);
            if (ready == 0 && timeout > 0) clock.advance_ms(timeout);
            return ready != 0 ? ready : ::poll(fds, count, 0);
        });
        TrunkFactory::CreateAll();
        PstnFactory::instance();
        HdlcSlotFactory::instance();
        HwMux::instance();
        trunks.Reset();
        fake::server = fake::Server{};
        fake::server.Bind(slots);
        saved_log_ = std::clog.rdbuf(log_.rdbuf());
        saved_err_ = std::cerr.rdbuf(log_.rdbuf());
        Slots::SetPause([](unsigned) {});
    }
    void TearDown() override {
        slots.OnDisconnect();
        trunks.Reset();
        std::clog.rdbuf(saved_log_);
        std::cerr.rdbuf(saved_err_);
        if (HasFailure()) std::cout << log_.str();
        LoopTest::TearDown();
    }

    // The answer of one command on `slot`: -1 for success, else the error cause.
    int Run(int slot, const std::function<void(LGCP::Command&)>& select) {
        LGCP::Command c;
        select(c);
        fake::server.Begin(slot);
        EXPECT_TRUE(slots.OnCommand(c));
        fake::server.End();
        for (auto it = fake::server.sent.begin(); it != fake::server.sent.end(); ++it)
            if (it->kind != fake::Sent::signal) {
                int cause = it->kind == fake::Sent::success ? -1 : it->cause;
                fake::server.sent.erase(it);
                return cause;
            }
        return -2;
    }
    int Create(int slot, const LGCP::CreateParams& p) {
        return Run(slot, [&](LGCP::Command& c) { c.select_create(p); });
    }
    int Activate(int slot) {
        return Run(slot, [](LGCP::Command& c) { c.select_activate(); });
    }
    int Deactivate(int slot) {
        return Run(slot, [](LGCP::Command& c) { c.select_deactivate(); });
    }
    int UserData(int slot, const Bytes& bytes) {
        return Run(slot, [&](LGCP::Command& c) { c.select_userData(std::vector<char>(bytes.begin(), bytes.end())); });
    }
    int Ioctl(int slot, const std::function<void(LGCP::IoctlParams&)>& select) {
        return Run(slot, [&](LGCP::Command& c) { select(c.select_ioctl()); });
    }
    int Destroy(int slot) {
        return Run(slot, [](LGCP::Command& c) { c.select_destroy(); });
    }

    void Advance(unsigned ms) {
        Timer stop;
        stop.set(ms, +[] { multiplexer.terminate(); });
        run();
    }

    // The signals sent so far for `slot` with that alternative, taken out.
    std::vector<LGCP::Signal> Take(unsigned slot, int alternative, int ioctl = -1) {
        std::vector<LGCP::Signal> out;
        auto& sent = fake::server.sent;
        for (auto it = sent.begin(); it != sent.end();) {
            bool match = it->kind == fake::Sent::signal && it->slot == slot &&
                         it->value.currentSelection() == alternative &&
                         (ioctl < 0 || it->value.get_ioctl().currentSelection() == ioctl);
            if (match) {
                out.push_back(it->value);
                it = sent.erase(it);
            } else {
                ++it;
            }
        }
        return out;
    }

    std::size_t OpenChannels() { return board.OpenCount(Hardware::Mcc::kPath); }
    std::string TakeLog() {
        std::string s = log_.str();
        log_.str("");
        return s;
    }

    Slots slots;
    Sim::Board& board = Sim::board();
    Sim::MccDevice& mcc = board.device<Sim::MccDevice>(Hardware::Mcc::kPath);
    Sim::Trunks& trunks = Sim::trunks();
    std::ostringstream log_;

private:
    std::streambuf* saved_log_ = nullptr;
    std::streambuf* saved_err_ = nullptr;
};

constexpr int kActivated = LGCP::Signal::activated::id;
constexpr int kDeactivated = LGCP::Signal::deactivated::id;
constexpr int kUserData = LGCP::Signal::userData::id;
constexpr int kIoctl = LGCP::Signal::ioctl::id;

TEST_F(SignallingSlots, Ss7LinksAlignExchangeMsusReportAndFallWithTheirTrunk) {
    ASSERT_TRUE(trunks.Cable(0, 1));
    ASSERT_EQ(Create(5, Ss7(0, 1, 2)), -1);
    ASSERT_EQ(Create(6, Ss7(1, 2, 1)), -1);
    EXPECT_EQ(OpenChannels(), 2u);
    EXPECT_EQ(Activate(5), -1);
    EXPECT_EQ(Activate(6), -1);
    Advance(2000);  // emergency proving: 0.5 s
    EXPECT_EQ(Take(5, kActivated).size(), 1u);
    EXPECT_EQ(Take(6, kActivated).size(), 1u);

    const Bytes msu{0x81, 0x02, 0x00, 0x00, 0x00, 0x11, 0x10, 0xAA};
    EXPECT_EQ(UserData(5, msu), -1);
    Advance(100);
    auto data = Take(6, kUserData);
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(Bytes(data[0].get_userData().begin(), data[0].get_userData().end()), msu);
    EXPECT_EQ(UserData(5, Bytes(PstnSlot::kMaxSs7Message + 1, 0x81)), LGCP::ErrorCause::unsupported);
    EXPECT_EQ(UserData(5, Bytes()), LGCP::ErrorCause::unsupported);

    // The backward sequence number is that of the MSU received.
    EXPECT_EQ(Ioctl(6, [](LGCP::IoctlParams& p) { p.select_ss7RqBSN(); }), -1);
    auto bsn = Take(6, kIoctl, LGCP::IoctlResponse::ss7BSN::id);
    ASSERT_EQ(bsn.size(), 1u);
    EXPECT_EQ(bsn[0].get_ioctl().get_ss7BSN().getValue(),
              static_cast<int>(static_cast<PstnSlot*>(slots.Find(6))->ss7()->get_bsn()));
    EXPECT_EQ(Ioctl(6, [](LGCP::IoctlParams& p) { p.select_ss7Log().set_timers(true); }), -1);
    EXPECT_TRUE(static_cast<PstnSlot*>(slots.Find(6))->ss7()->trace.timers);
    EXPECT_FALSE(static_cast<PstnSlot*>(slots.Find(6))->ss7()->trace.state);
    EXPECT_EQ(Ioctl(6, [](LGCP::IoctlParams& p) { p.select_hdlcPackages(); }), LGCP::ErrorCause::unsupported);

    // Statistics every 3000 ms from creation, with the state worked.
    Advance(1000);
    auto info = Take(5, kIoctl, LGCP::IoctlResponse::ss7LinkInfo::id);
    ASSERT_EQ(info.size(), 1u);
    const ACP::SS7LinkInfo& i = info[0].get_ioctl().get_ss7LinkInfo();
    EXPECT_EQ(i.get_ss7state(), ACP::SS7State::worked);
    EXPECT_EQ(i.get_speedRx().getValue(), 0);
    EXPECT_GE(i.get_msuTxCount().getValue(), 1);
    EXPECT_EQ(Take(5, kIoctl, LGCP::IoctlResponse::hdlcLinkInfo::id).size(), 1u);

    // A basic-rate line of the same number is not this trunk.
    slots.OnSignal(TrunkStatus(0, ACP::TrunkType::bri, ACP::TrunkState::lossCarrier));
    Advance(10);
    EXPECT_TRUE(Take(5, kDeactivated).empty());
    slots.OnSignal(TrunkStatus(0, ACP::TrunkType::e1, ACP::TrunkState::normal));
    slots.OnSignal(TrunkStatus(0, ACP::TrunkType::e1, ACP::TrunkState::lossCarrier));
    Advance(10);
    auto down = Take(5, kDeactivated);
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(down[0].get_deactivated(), LGCP::DeactivateCause::networkError);
    EXPECT_EQ(static_cast<PstnSlot*>(slots.Find(5))->ss7()->get_state_id(), 0u);

    // Destroyed: the channel is closed and the time slot carries idle.
    board.ClearRequests();
    EXPECT_EQ(Destroy(5), -1);
    EXPECT_EQ(OpenChannels(), 1u);
    bool idle = false;
    for (const auto& r : board.Requests(Sim::Request::Kind::ioctl))
        if (r.number == Hal::MUX_WRITE && r.InWord(0) == Tdm::TrunkTimeSlot(0, 16)) idle = true;
    EXPECT_TRUE(idle);
    // The controller leaving takes the other one.
    slots.OnDisconnect();
    EXPECT_EQ(OpenChannels(), 0u);
    EXPECT_EQ(slots.Count(), 0u);
}

TEST_F(SignallingSlots, IsdnPrimaryRateUserAndNetworkSidesEstablishAndCarryMessages) {
    ASSERT_TRUE(trunks.Cable(0, 1));
    ASSERT_EQ(Create(10, Isdn(0, false, false)), -1);
    ASSERT_EQ(Create(11, Isdn(1, false, true)), -1);
    EXPECT_EQ(static_cast<PstnSlot*>(slots.Find(11))->link(), PstnSlot::Link::isdn);
    EXPECT_EQ(Activate(10), -1);
    Advance(100);
    EXPECT_EQ(Take(10, kActivated).size(), 1u);
    EXPECT_EQ(Take(11, kActivated).size(), 1u);

    const Bytes setup{0x08, 0x01, 0x01, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3};
    EXPECT_EQ(UserData(10, setup), -1);
    Advance(100);
    auto data = Take(11, kUserData);
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(Bytes(data[0].get_userData().begin(), data[0].get_userData().end()), setup);
    EXPECT_EQ(Ioctl(10, [](LGCP::IoctlParams& p) { p.select_ss7RqBSN(); }), LGCP::ErrorCause::unsupported);

    Advance(3000);
    auto info = Take(10, kIoctl, LGCP::IoctlResponse::isdnLinkInfo::id);
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].get_ioctl().get_isdnLinkInfo().get_lapdState(), ACP::LAPDState::multiple_frame_established);
    // Unchanged since: no second report.
    Advance(3000);
    EXPECT_TRUE(Take(10, kIoctl, LGCP::IoctlResponse::isdnLinkInfo::id).empty());

    // The far side gone, unacknowledged messages pile up: congested, then the
    // link fails and the queue empties.
    EXPECT_EQ(Destroy(11), -1);
    for (int n = 0; n < 100; ++n) EXPECT_EQ(UserData(10, setup), -1);
    auto status = Take(10, kIoctl, LGCP::IoctlResponse::isdnLinkStatus::id);
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].get_ioctl().get_isdnLinkStatus(), LGCP::IsdnLinkStatus::congested);
    Advance(5000);
    EXPECT_EQ(Take(10, kDeactivated).size(), 1u);
    status = Take(10, kIoctl, LGCP::IoctlResponse::isdnLinkStatus::id);
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].get_ioctl().get_isdnLinkStatus(), LGCP::IsdnLinkStatus::normal);
}

TEST_F(SignallingSlots, BasicRateSlotsUseTheLineDChannel) {
    FarEnd far;
    const int d = Tdm::BriLineChannel(3, Tdm::kBriD);
    trunks.Attach(d, &far);
    ASSERT_EQ(Create(20, Isdn(3, true, true)), -1);
    auto* nt = static_cast<PstnSlot*>(slots.Find(20));
    EXPECT_EQ(nt->link(), PstnSlot::Link::bri_network);
    EXPECT_EQ(nt->line().channel().params().mode, 2);
    EXPECT_EQ(Activate(20), -1);
    EXPECT_EQ(Take(20, kActivated).size(), 1u);
    // A terminal asks for a TEI (Ri 0x1234): the network assigns 64 on the bus
    // and establishes the data link to it.
    const unsigned char request[] = {0xFC, 0xFF, 0x03, 0x0F, 0x12, 0x34, 0x01, 0xFF};
    trunks.Arrive(d, request, sizeof request);
    Advance(50);
    ASSERT_EQ(far.frames.size(), 3u);  // after the identity check of activation
    EXPECT_EQ(far.frames[1], (Bytes{0xFE, 0xFF, 0x03, 0x0F, 0x12, 0x34, 0x02, 0x81}));
    EXPECT_EQ(far.frames[2], (Bytes{0x02, 0x81, 0x7F}));
    trunks.Attach(d, nullptr);

    // The user side of a basic-rate line asks for its TEI itself.
    ASSERT_EQ(Create(21, Isdn(4, true, false)), -1);
    EXPECT_TRUE(static_cast<PstnSlot*>(slots.Find(21))->lapd() != nullptr);
    // No such line: declined.
    EXPECT_EQ(Create(22, Isdn(8, true, false)), LGCP::ErrorCause::insufficientResources);
    LGCP::CreateParams cas;
    cas.select_pstn().select_cas().set_trunk(0);
    EXPECT_EQ(Create(22, cas), LGCP::ErrorCause::insufficientResources);
    EXPECT_EQ(Create(22, Ss7(4, 1, 2)), LGCP::ErrorCause::insufficientResources);
}

TEST_F(SignallingSlots, HdlcSlotSendsPackagesBehindItsAddressAndReportsFramesForIt) {
    FarEnd far;
    const int ts16 = Tdm::TrunkTimeSlot(2, 16);
    trunks.Attach(ts16, &far);
    EXPECT_EQ(Create(30, Hdlc(2, 256)), LGCP::ErrorCause::insufficientResources);
    ASSERT_EQ(Create(30, Hdlc(2, 0x21)), -1);
    EXPECT_EQ(Ioctl(30,
                    [](LGCP::IoctlParams& p) {
                        auto& list = p.select_hdlcPackages();
                        LGCP::HdlcPackage a, b;
                        a.set_body(std::vector<char>{1, 2, 3});
                        b.set_body(std::vector<char>{});
                        list.push_back(a);
                        list.push_back(b);
                    }),
              -1);
    ASSERT_EQ(far.frames.size(), 2u);
    EXPECT_EQ(far.frames[0], (Bytes{0x21, 1, 2, 3}));
    EXPECT_EQ(far.frames[1], (Bytes{0x21}));
    EXPECT_EQ(Ioctl(30, [](LGCP::IoctlParams& p) { p.select_ss7RqBSN(); }), LGCP::ErrorCause::unsupported);

    const unsigned char ours[] = {0x21, 0xAB, 0xCD}, other[] = {0x22, 0x01}, second[] = {0x21};
    trunks.Arrive(ts16, ours, sizeof ours);
    trunks.Arrive(ts16, other, sizeof other);
    trunks.Arrive(ts16, second, sizeof second);
    Advance(HdlcSlot::kFlushDelay + 5);
    auto got = Take(30, kIoctl, LGCP::IoctlResponse::hdlcPackages::id);
    ASSERT_EQ(got.size(), 1u);
    const auto& list = got[0].get_ioctl().get_hdlcPackages();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].get_body(), ASN1::OCTET_STRING(std::vector<char>{char(0xAB), char(0xCD)}, nullptr));
    EXPECT_TRUE(list[1].get_body().empty());
    EXPECT_EQ(static_cast<HdlcSlot*>(slots.Find(30))->foreign(), 1u);

    Advance(3000);
    auto info = Take(30, kIoctl, LGCP::IoctlResponse::hdlcLinkInfo::id);
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].get_ioctl().get_hdlcLinkInfo().get_txSU().getValue(), 2);
    EXPECT_EQ(info[0].get_ioctl().get_hdlcLinkInfo().get_rxSU().getValue(), 3);

    // Frames that arrive after the destroy find no channel.
    EXPECT_EQ(Destroy(30), -1);
    EXPECT_EQ(OpenChannels(), 0u);
    trunks.Arrive(ts16, ours, sizeof ours);
    Advance(100);
    EXPECT_TRUE(fake::server.sent.empty());
    trunks.Attach(ts16, nullptr);
}

TEST_F(SignallingSlots, ALineChannelCarriesOneSlotAtATime) {
    ASSERT_TRUE(trunks.Cable(0, 1));
    ASSERT_EQ(Create(5, Ss7(0, 1, 2)), -1);
    ASSERT_EQ(Create(6, Ss7(1, 2, 1)), -1);
    EXPECT_EQ(Activate(5), -1);
    EXPECT_EQ(Activate(6), -1);
    Advance(2000);
    ASSERT_EQ(Take(5, kActivated).size(), 1u);
    TakeLog();

    // Nothing else on a time slot 16 that a link holds, and the refused create
    // leaves the link's channel as it was. Its one line names the holder.
    EXPECT_EQ(Create(7, Hdlc(0, 0x21)), LGCP::ErrorCause::insufficientResources);
    EXPECT_EQ(TakeLog(), "line: trunk 0 time slot 16 is held by 05:pstn, new hdlc slot refused\n");
    EXPECT_EQ(Create(7, TrunkParams(1, 16)), LGCP::ErrorCause::insufficientResources);
    EXPECT_EQ(TakeLog(), "line: trunk 1 time slot 16 is held by 06:pstn, new trunk slot refused\n");
    EXPECT_EQ(Create(7, Isdn(0, false, true)), LGCP::ErrorCause::insufficientResources);
    EXPECT_EQ(TakeLog(), "line: trunk 0 time slot 16 is held by 05:pstn, new pstn slot refused\n");
    EXPECT_EQ(Destroy(7), LGCP::ErrorCause::slotNotExists);
    // A trunk slot on a voice time slot of the same trunk comes and goes.
    ASSERT_EQ(Create(8, TrunkParams(0, 5)), -1);
    EXPECT_EQ(Destroy(8), -1);
    EXPECT_EQ(OpenChannels(), 2u);

    const Bytes msu{0x81, 0x02, 0x00, 0x00, 0x00, 0x11, 0x10, 0xAA};
    EXPECT_EQ(UserData(5, msu), -1);
    EXPECT_EQ(UserData(6, msu), -1);
    Advance(100);
    EXPECT_EQ(Take(6, kUserData).size(), 1u);
    EXPECT_EQ(Take(5, kUserData).size(), 1u);
    EXPECT_TRUE(Take(5, kDeactivated).empty());

    // A trunk slot holds its time slot against the signalling slots in turn.
    ASSERT_EQ(Create(9, TrunkParams(2, 16)), -1);
    ASSERT_EQ(Create(10, TrunkParams(3, 2, true)), -1);
    TakeLog();
    EXPECT_EQ(Create(11, Ss7(2, 1, 2)), LGCP::ErrorCause::insufficientResources);
    EXPECT_EQ(TakeLog(), "line: trunk 2 time slot 16 is held by 09:trunk, new pstn slot refused\n");
    EXPECT_EQ(Create(11, Hdlc(2, 0x21)), LGCP::ErrorCause::insufficientResources);
    EXPECT_EQ(TakeLog(), "line: trunk 2 time slot 16 is held by 09:trunk, new hdlc slot refused\n");
    EXPECT_EQ(Create(11, Isdn(3, true, false)), LGCP::ErrorCause::insufficientResources);
    EXPECT_EQ(TakeLog(),
              "line: basic-rate line 3 channel D is held by 10:trunk_bri, new pstn slot refused\n");
    // A trunk the board does not have is held by nobody: the slot's own line says so.
    EXPECT_EQ(Create(11, Ss7(4, 1, 2)), LGCP::ErrorCause::insufficientResources);
    EXPECT_EQ(TakeLog(), "pstn: no HDLC channel for SS7 on trunk 4\n");
    EXPECT_EQ(OpenChannels(), 2u);
    EXPECT_EQ(Destroy(9), -1);
    EXPECT_EQ(Create(11, Hdlc(2, 0x21)), -1);
}

// A far end that repeats a fault holds back only that kind's lines on its link; a
// link down the controller asked for is always written and spends none of them.
TEST_F(SignallingSlots, LinkLinesAreHeldBackPerKindAndTheControllersOwnLinkDownIsAlwaysWritten) {
    const int d = Tdm::TrunkTimeSlot(1, 16);
    ASSERT_EQ(Create(11, Isdn(1, false, true)), -1);
    const unsigned char ua0[] = {0x02, 0x01, 0x63}, ua1[] = {0x02, 0x01, 0x73};
    for (int i = 0; i < 20; ++i) trunks.Arrive(d, ua0, sizeof ua0);
    trunks.Arrive(d, ua1, sizeof ua1);
    Advance(50);
    std::string log = TakeLog();
    EXPECT_EQ(Count(log, "11:pstn: link status: UA (F = 0)"), 1u) << log;
    EXPECT_EQ(Count(log, "11:pstn: link status: UA (F = 1)"), 1u) << log;
    Advance(2000);
    EXPECT_EQ(Count(TakeLog(),
                    "11:pstn: link status: UA (F = 0) (19 more like it suppressed in the second after it)\n"),
              1u);

    ASSERT_EQ(Create(5, Ss7(0, 1, 2)), -1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Activate(5), -1);
        EXPECT_EQ(Deactivate(5), -1);
    }
    EXPECT_EQ(Activate(5), -1);
    slots.OnSignal(TrunkStatus(0, ACP::TrunkType::e1, ACP::TrunkState::lossCarrier));
    Advance(10);
    EXPECT_EQ(Count(TakeLog(), "05:pstn: link down: impossible phasing\n"), 4u);
    EXPECT_EQ(Take(5, kDeactivated).size(), 4u);

    // A LAPD link's release ends later, with DM F=1, UA or T200 × N200: each end is
    // written and spends nothing of the far end's budget, which its refusals of
    // establishment before and after still share. An activate during the release is
    // ignored by the link; one asked while the link is down is answered at once.
    const unsigned char dm1[] = {0x02, 0x01, 0x1F};
    auto refused = [&] {
        EXPECT_EQ(Activate(11), -1);
        trunks.Arrive(d, dm1, sizeof dm1);
        Advance(10);
    };
    auto cycle = [&](const unsigned char* end, std::size_t size, unsigned ms, bool activate = false) {
        EXPECT_EQ(Activate(11), -1);
        trunks.Arrive(d, ua1, sizeof ua1);
        Advance(10);
        EXPECT_EQ(Deactivate(11), -1);
        if (activate) {
            EXPECT_EQ(Activate(11), -1);
        }
        if (end != nullptr) trunks.Arrive(d, end, size);
        Advance(ms);
    };
    refused();
    for (int i = 0; i < 3; ++i) cycle(dm1, sizeof dm1, 10, i == 1);
    EXPECT_EQ(Deactivate(11), -1);
    refused();
    log = TakeLog();
    EXPECT_EQ(Count(log, "11:pstn: link down: error (DM received)\n"), 4u) << log;
    EXPECT_EQ(Count(log, "11:pstn: link down: success (deactivated locally)\n"), 1u) << log;
    EXPECT_EQ(Take(11, kDeactivated).size(), 5u);
    cycle(ua1, sizeof ua1, 10);
    cycle(nullptr, 0, static_cast<unsigned>(ISDN::LAPD::N200 + 1) * ISDN::LAPD::T200 + 100);
    log = TakeLog();
    EXPECT_EQ(Count(log, "11:pstn: link down: success (UA received)\n"), 1u) << log;
    EXPECT_EQ(Count(log, "11:pstn: link down: link error (T200 expired N200 times)\n"), 1u) << log;
    EXPECT_EQ(Take(11, kActivated).size(), 5u);
    auto down = Take(11, kDeactivated);
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(down[0].get_deactivated(), LGCP::DeactivateCause::networkError);
}

// A frame the control protocol cannot carry goes alone; its neighbours are reported
// in messages that each fit one frame to the controller.
TEST_F(SignallingSlots, FramesTooLongForTheControllerAreDroppedAloneAndReportsStayEncodable) {
    const int ts16 = Tdm::TrunkTimeSlot(2, 16);
    ASSERT_EQ(Create(30, Hdlc(2, 0x21)), -1);
    auto arrive = [&](std::size_t body, char fill) {
        std::vector<unsigned char> f(body + 1, static_cast<unsigned char>(fill));
        f[0] = 0x21;
        trunks.Arrive(ts16, f.data(), f.size());
    };
    for (char c = 'a'; c < 'f'; ++c) arrive(3, c);
    arrive(20000, 'X');
    for (char c = 'f'; c < 'k'; ++c) arrive(3, c);
    for (int i = 0; i < 4; ++i) arrive(16000, 'L');
    Advance(HdlcSlot::kFlushDelay + 5);
    std::vector<std::size_t> sizes;
    std::string small;
    for (const LGCP::Signal& s : Take(30, kIoctl, LGCP::IoctlResponse::hdlcPackages::id)) {
        LGCP::Message m;
        m.set_slot(30);
        m.set_pdu().select_signal(s);
        EXPECT_LE(ServerTest::Encode(m).size(), 65531u);
        for (const LGCP::HdlcPackage& p : s.get_ioctl().get_hdlcPackages()) {
            sizes.push_back(p.get_body().size());
            if (p.get_body().size() == 3) small += p.get_body()[0];
        }
    }
    EXPECT_EQ(small, "abcdefghij");
    EXPECT_EQ(sizes.size(), 14u);
    EXPECT_EQ(static_cast<HdlcSlot*>(slots.Find(30))->too_long(), 1u);
    EXPECT_NE(log_.str().find("HdlcSlot[30/*]: frame of 20000 octets too long for the controller: dropped\n"),
              std::string::npos);

    // The same for a message from a link: a primary-rate network side takes a
    // 20,004-octet I frame after SABME, and the next one still goes up.
    FarEnd far;
    const int d = Tdm::TrunkTimeSlot(1, 16);
    trunks.Attach(d, &far);
    ASSERT_EQ(Create(11, Isdn(1, false, true)), -1);
    const unsigned char sabme[] = {0x00, 0x01, 0x7F};
    trunks.Arrive(d, sabme, sizeof sabme);
    Advance(50);
    std::vector<unsigned char> big(20004 + 4, 0x08), next{0x00, 0x01, 0x02, 0x00, 0x08, 0x01, 0x01, 0x05};
    big[0] = 0x00, big[1] = 0x01, big[2] = 0x00, big[3] = 0x00;
    trunks.Arrive(d, big.data(), big.size());
    trunks.Arrive(d, next.data(), next.size());
    Advance(50);
    auto data = Take(11, kUserData);
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(Bytes(data[0].get_userData().begin(), data[0].get_userData().end()), (Bytes{0x08, 0x01, 0x01, 0x05}));
    EXPECT_EQ(static_cast<PstnSlot*>(slots.Find(11))->too_long(), 1u);
    trunks.Attach(d, nullptr);
}

}  // namespace
