// Controller frames into the control server with the daemon's services bound (heartbeat,
// slots on the daemon's factory chain over the simulated board, monitoring) and no
// connection: answers go nowhere. The input is a row of frames, each a length byte
// and that many body bytes, handed over from an exact-size heap copy, so that slots
// made by one frame are used by the next. Whatever arrives, the commands must end
// without a crash, and the controller leaving must take every slot, timer and board
// descriptor the frames made.
#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "config/ini_file.h"
#include "core/multiplexer.h"
#include "fuzz/quiet_logs.h"
#include "hardware/sim/board.h"
#include "server/ctrl_server.h"
#include "server/main/components.h"
#include "slots/slots.h"

namespace {

constexpr unsigned kSpareDescriptors = 64;

void NoPause(unsigned) {}

unsigned OpenDescriptors() {
    unsigned n = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr) ++n;
        ::closedir(dir);
    }
    return n;
}

struct Setup {
    Setup() {
        fuzz::QuietLogs();
        Slots::SetPause(&NoPause);
        // The switch is refreshed on every loop pass: a long board log only slows the run.
        Sim::board().SetLogLimit(16);
        IniFile::File none;
        CreateComponents(none);
        BindServices(server);
        Reset();
        timers = multiplexer.timer_count();
        descriptors = OpenDescriptors();
    }
    // The controller leaves: every slot is released and deleted, and the deferred
    // calls run as the loop would run them next.
    void Reset() {
        server.OnDisconnect();
        multiplexer.execute_dpc();
    }
    CtrlSrv::Server server;
    unsigned timers = 0;
    unsigned descriptors = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Setup setup;
    static unsigned runs = 0;
    size_t i = 0;
    while (i < size) {
        const size_t n = std::min<size_t>(data[i], size - i - 1);
        ++i;
        std::unique_ptr<char[]> frame(new char[n == 0 ? 1 : n]);
        std::memcpy(frame.get(), data + i, n);
        setup.server.OnMessage(frame.get(), static_cast<int>(n));
        i += n;
    }
    setup.Reset();
    if (Slots::instance().Count() != 0) std::abort();
    if (multiplexer.timer_count() != setup.timers) std::abort();
    // Reading the descriptor table costs; now and then is enough to see a leak. A
    // factory may keep a device open once it has been used, and the fuzzer opens files
    // of its own: only growth past those shows a leak.
    if (++runs % 64 == 0 && OpenDescriptors() > setup.descriptors + kSpareDescriptors) std::abort();
    return 0;
}
