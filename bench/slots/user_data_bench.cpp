// User-data messages per second from the controller through the simulation
// daemon onto a trunk and back: a primary-rate user side on trunk 0 and a
// network side on trunk 1, the trunks joined by a cable. Each message is a
// userData command to the first slot, an I frame on the cable, and a userData
// signal of the second slot; up to `window` messages are under way at once.
#include <benchmark/benchmark.h>

#include <memory>

#include "tests/slots/daemon_session.h"

namespace {

using namespace DaemonSession;

struct Setup {
    std::unique_ptr<Daemon> daemon;
    Controller controller;
    bool ready = false;
};

Setup* Start() {
    // Destroyed at exit, which stops the daemon.
    static std::unique_ptr<Setup> setup = [] {
        auto s = std::make_unique<Setup>();
        if (!NamespaceAllowed()) return s;
        s->daemon = std::make_unique<Daemon>(TAMBORIL_SIM, std::map<std::string, std::string>{
                                                               {"TAMBORIL_TRUNK_CABLE", "0-1"},
                                                               {"TAMBORIL_TRUNK_PORTS", "e1-3-16"}});
        if (!s->daemon->WaitStarted() || !s->controller.Connect(s->daemon->port)) return s;
        for (int slot = 1; slot <= 2; ++slot) {
            int answer = s->controller.Command(static_cast<unsigned>(slot), [slot](LGCP::Command& c) {
                LGCP::IsdnParams& i = c.select_create().select_pstn().select_isdn();
                i.set_type(LGCP::IsdnType::pri);
                i.set_trunk(slot - 1);
                i.set_log(0);
                if (slot == 1)
                    i.set_side().select_user();
                else
                    i.set_side().select_network();
            });
            if (answer != -1) return s;
        }
        if (s->controller.Command(1, [](LGCP::Command& c) { c.select_activate().select_empty(); }) != -1) return s;
        for (auto end = Clock::now() + std::chrono::seconds(5); Clock::now() < end && !s->ready;) {
            s->controller.Pump(20);
            for (const auto& m : s->controller.signals)
                if (ServerTest::HasSlot(m, 2) && m.get_pdu().get_signal().activated_isSelected()) s->ready = true;
        }
        s->controller.signals.clear();
        return s;
    }();
    return setup.get();
}

void BM_UserDataThroughTrunk(benchmark::State& state) {
    Setup* s = Start();
    if (!s->ready) {
        state.SkipWithError("no daemon with linked slots (private mount namespace needed)");
        return;
    }
    const auto window = static_cast<std::size_t>(state.range(0));
    const std::vector<char> setup{0x08, 0x01, 0x01, 0x05, 0x04, 0x03, char(0x80), char(0x90), char(0xA3)};
    std::size_t messages = 0;
    for (auto _ : state) {
        const std::size_t batch = 256;
        std::size_t sent = 0, received = 0;
        while (received < batch) {
            while (sent < batch && sent - received < window) {
                s->controller.Send(1, [&](LGCP::Command& c) { c.select_userData(setup); });
                ++sent;
            }
            s->controller.Pump(1000);
            for (const auto& m : s->controller.signals)
                if (m.get_pdu().get_signal().userData_isSelected()) ++received;
            s->controller.signals.clear();
            s->controller.responses.clear();
        }
        messages += batch;
    }
    state.counters["messages/s"] = benchmark::Counter(static_cast<double>(messages), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_UserDataThroughTrunk)->Arg(1)->Arg(7)->Arg(64)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
