// Frames from a far end into the daemon's line side: through a trunk port of the
// simulated board, the switch and an HDLC channel, into a signalling link or a raw
// HDLC slot, and up to the controller's signal, which the control server encodes
// (there is no controller to send it to). The first input octet picks the slot:
// SS7, primary-rate ISDN user or network side, basic-rate network or user side,
// raw HDLC. Then a row of records, each an operation octet:
//   0x00..0x7F  a frame of that many octets that follow
//   0x80..0xFB  the clock moves on by (op & 0x7F) × 100 ms, so the timers fire
//   0xFC        a frame of 256 × a + b octets (two octets a, b), the rest of the
//               input repeated, which may be too long for the controller
//   0xFD        the trunk status of the slot's trunk turns normal or lost
//   0xFE        the controller sends user data: a length octet and that many
//   0xFF        the slot is deactivated and activated again
// After each input the controller leaves, which takes the slot: every packet
// buffer must be back in the pool, and no timer may stay behind.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "config/ini_file.h"
#include "core/clock.h"
#include "core/multiplexer.h"
#include "core/packet.h"
#include "fuzz/quiet_logs.h"
#include "hardware/line_channels.h"
#include "hardware/sim/board.h"
#include "hardware/sim/mcc_device.h"
#include "hardware/sim/trunk_ports.h"
#include "server/ctrl_server.h"
#include "server/main/components.h"
#include "slots/slots.h"

namespace {

constexpr unsigned kSlot = 1;
constexpr int kTrunk = 0;
constexpr int kBriLine = 0;
// Loop passes after each record: the port's read, the channel's read and what the
// link sends back cross the loop in fewer.
constexpr int kPassesPerRecord = 4;
// What one input may do, so that no input runs long: records, clock moves (a few
// of each link's longest timers) and octets of long frames.
constexpr int kMaxRecords = 256;
constexpr std::uint64_t kMaxAdvanceMs = 600000;
constexpr std::size_t kMaxLongOctets = 256 * 1024;

void NoPause(unsigned) {}

enum Kind { ss7, priUser, priNetwork, briNetwork, briUser, rawHdlc, kKinds };

bool IsBri(Kind kind) {
    return kind == briNetwork || kind == briUser;
}

LGCP::CreateParams CreateFor(Kind kind) {
    LGCP::CreateParams p;
    if (kind == rawHdlc) {
        LGCP::HdlcParams& h = p.select_hdlcParams();
        h.set_trunk(kTrunk);
        h.set_log(0);
        h.set_address(3);
        return p;
    }
    if (kind == ss7) {
        LGCP::SS7Params& s = p.select_pstn().select_ss7();
        s.set_trunk(kTrunk);
        s.set_slc(0);
        s.set_opc(1);
        s.set_dpc(2);
        s.set_emergency(true);
        return p;
    }
    const bool bri = IsBri(kind);
    LGCP::IsdnParams& i = p.select_pstn().select_isdn();
    i.set_type(bri ? LGCP::IsdnType::bri : LGCP::IsdnType::pri);
    i.set_trunk(bri ? kBriLine : kTrunk);
    i.set_log(0);
    if (kind == priNetwork || kind == briNetwork)
        i.set_side().select_network();
    else
        i.set_side().select_user();
    return p;
}

int ConnectTo(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::strncpy(sa.sun_path, path.c_str(), sizeof sa.sun_path - 1);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) std::abort();
    return fd;
}

struct Setup {
    Setup() : ports(Sim::trunks()) {
        fuzz::QuietLogs();
        Slots::SetPause(&NoPause);
        // The switch is refreshed on every pass: no board log, so requests take the short way.
        Sim::board().SetLogLimit(0);
        // Time moves only by the input's clock records; a pass never waits.
        multiplexer.set_poll([this](pollfd* fds, nfds_t count, int) {
            if (++passes >= kPassesPerRecord) multiplexer.terminate();
            return ::poll(fds, count, 0);
        });
        IniFile::File none;
        CreateComponents(none);
        BindServices(server);

        char pattern[] = "/tmp/tmb-line-fuzz-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) std::abort();
        dir = pattern;
        const int e1 = Tdm::TrunkTimeSlot(kTrunk, 16);
        const int bri = Tdm::BriLineChannel(kBriLine, Tdm::kBriD);
        if (!ports.Open(dir, e1) || !ports.Open(dir, bri)) std::abort();
        peers[0] = ConnectTo(dir + "/" + Sim::TrunkPorts::Name(e1));
        peers[1] = ConnectTo(dir + "/" + Sim::TrunkPorts::Name(bri));
        Passes();
        for (int ch : {e1, bri})
            if (!ports.connected(ch)) std::abort();
        Reset();
        timers = multiplexer.timer_count();
        buffers = Packet_pool::available();
    }

    void Passes() {
        passes = 0;
        multiplexer.run(false, true);
        // What the link sent back is only read to keep the sockets from filling.
        static unsigned char scratch[packet_max_size];
        for (int fd : peers)
            while (::recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) >= 0) {
            }
    }

    void Command(const std::function<void(LGCP::Command&)>& select) {
        LGCP::Message message;
        message.set_slot(kSlot);
        select(message.set_pdu().select_command());
        std::vector<char> body;
        ASN1::CoderEnv env;
        env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
        if (!ASN1::encode(message, env, std::back_inserter(body))) std::abort();
        server.OnMessage(body.data(), static_cast<int>(body.size()));
    }

    void TrunkStatus(Kind kind, bool normal) {
        LGCP::Signal signal;
        ACP::TrunkStatus& s = signal.select_trunkStatus();
        const bool bri = IsBri(kind);
        s.set_trunk(bri ? kBriLine : kTrunk);
        s.set_state(normal ? ACP::TrunkState::normal : ACP::TrunkState::lossCarrier);
        s.set_type(bri ? ACP::TrunkType::bri : ACP::TrunkType::e1);
        server.OfferSignal(nullptr, signal);
    }

    // The controller leaves: the slot is released and deleted by the deferred
    // calls, and its channel's descriptor goes with it.
    void Reset() {
        server.OnDisconnect();
        multiplexer.execute_dpc();
        Passes();
    }

    Mux::ManualClock clock{1000000};
    CtrlSrv::Server server;
    Sim::TrunkPorts ports;
    std::string dir;
    int peers[2] = {-1, -1};
    int passes = 0;
    unsigned timers = 0;
    unsigned buffers = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Setup setup;
    if (size == 0) return 0;
    const Kind kind = static_cast<Kind>(data[0] % kKinds);
    const int peer = setup.peers[IsBri(kind) ? 1 : 0];
    setup.Command([kind](LGCP::Command& c) { c.select_create(CreateFor(kind)); });
    setup.Command([](LGCP::Command& c) { c.select_activate().select_empty(); });
    setup.Passes();

    std::uint64_t advanced = 0;
    std::size_t longOctets = 0;
    bool normal = true;
    std::vector<unsigned char> frame;
    std::size_t i = 1;
    for (int records = 0; i < size && records < kMaxRecords; ++records) {
        const std::uint8_t op = data[i++];
        frame.clear();
        if (op < 0x80) {
            const std::size_t n = op < size - i ? op : size - i;
            frame.assign(data + i, data + i + n);
            i += n;
        } else if (op == 0xFC) {
            if (size - i < 2) break;
            const std::size_t n = static_cast<std::size_t>(data[i]) << 8 | data[i + 1];
            i += 2;
            if (longOctets + n > kMaxLongOctets) continue;
            longOctets += n;
            for (std::size_t k = 0; k < n; ++k) frame.push_back(i < size ? data[i + k % (size - i)] : 0);
        } else if (op == 0xFD) {
            normal = !normal;
            setup.TrunkStatus(kind, normal);
        } else if (op == 0xFE) {
            if (i >= size) break;
            const std::size_t n = data[i] < size - i - 1 ? data[i] : size - i - 1;
            std::vector<char> bytes(data + i + 1, data + i + 1 + n);
            i += 1 + n;
            setup.Command([&bytes](LGCP::Command& c) { c.select_userData(bytes); });
        } else if (op == 0xFF) {
            setup.Command([](LGCP::Command& c) { c.select_deactivate(); });
            setup.Command([](LGCP::Command& c) { c.select_activate().select_empty(); });
        } else {
            const std::uint64_t ms = (op & 0x7Fu) * 100u;
            if (advanced + ms > kMaxAdvanceMs) continue;
            advanced += ms;
            setup.clock.advance_ms(ms);
        }
        if (!frame.empty() || op == 0)
            ::send(peer, frame.data(), frame.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        setup.Passes();
    }

    setup.Reset();
    if (Slots::instance().Count() != 0) std::abort();
    if (Packet_pool::available() != setup.buffers) std::abort();
    if (multiplexer.timer_count() != setup.timers) std::abort();
    // Nothing of the slot may stay on the controller's side of the board.
    if (!Sim::board().device<Sim::MccDevice>("/dev/mcc/ctl").channels().empty()) std::abort();
    return 0;
}
