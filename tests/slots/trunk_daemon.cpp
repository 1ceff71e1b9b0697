// Trunk slots of the built simulation daemon, driven by a controller over TCP.
#include <gtest/gtest.h>

#include "tests/slots/commands.h"
#include "tests/slots/daemon_session.h"

namespace {

using namespace DaemonSession;

constexpr int kSuccess = -1;

std::function<void(LGCP::Command&)> Trunk(unsigned trunk, unsigned timeslot, bool bri = false) {
    return [=](LGCP::Command& c) { c.select_create(slot_test::TrunkParams(trunk, timeslot, bri)); };
}

TEST(TrunkDaemon, TrunkSlotsAreMadeReplacedAndConnected) {
    if (!NamespaceAllowed()) GTEST_SKIP() << "no private mount namespace here";
    Daemon daemon(TAMBORIL_SIM, {});
    ASSERT_TRUE(daemon.WaitStarted()) << daemon.Err();
    Controller controller;
    ASSERT_TRUE(controller.Connect(daemon.port));

    EXPECT_EQ(controller.Command(1, Trunk(0, 5)), kSuccess);
    EXPECT_EQ(controller.Command(2, Trunk(2, 31)), kSuccess);
    EXPECT_EQ(controller.Command(3, Trunk(4, 0)), LGCP::ErrorCause::insufficientResources);
    EXPECT_EQ(controller.Command(3, Trunk(7, 1, true)), kSuccess);
    // The second create for trunk 0 time slot 5 takes it from slot 1, which
    // gets no answer of its own and is gone.
    EXPECT_EQ(controller.Command(4, Trunk(0, 5)), kSuccess);
    EXPECT_EQ(controller.Command(1, [](LGCP::Command& c) { c.select_destroy(); }),
              LGCP::ErrorCause::slotNotExists);
    EXPECT_EQ(controller.Command(5,
                                 [](LGCP::Command& c) {
                                     LGCP::MapParams& m = c.select_create().select_map();
                                     m.set_transmitter().set_bus(0);
                                     m.ref_transmitter().set_channel(1);
                                     m.set_receiver().set_bus(0);
                                     m.ref_receiver().set_channel(2);
                                 }),
              kSuccess);
    EXPECT_EQ(controller.Command(4, [](LGCP::Command& c) { c.select_connect(5); }), kSuccess);
    EXPECT_EQ(controller.Command(5, [](LGCP::Command& c) { c.select_connect(4); }), kSuccess);

    // Time slot 16 held by an SS7 link is no trunk slot's.
    EXPECT_EQ(
        controller.Command(6, [](LGCP::Command& c) { c.select_create(slot_test::Ss7(1, 1, 2, false)); }),
        kSuccess);
    EXPECT_EQ(controller.Command(7, Trunk(1, 16)), LGCP::ErrorCause::insufficientResources);
    EXPECT_TRUE(controller.responses.empty());  // one answer per command, none for slot 1

    controller.Close();
    std::string err = daemon.Out() + daemon.Err();
    EXPECT_NE(err.find("trunk-slot: two slots require the same timeslot, remove old.\n old slot 01:trunk\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("line: trunk 1 time slot 16 is held by 06:pstn, new trunk slot refused\n"),
              std::string::npos)
        << err;
}

}  // namespace
