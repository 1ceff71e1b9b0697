// The units two of our links exchange, captured and read back by tshark's
// MTP2 dissector: nothing malformed, and every field agrees with the units
// our link logged as sent and received.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "hardware/sim/pcapng_writer.h"
#include "signalling/ss7_slc.h"
#include "tests/core/multiplexer_test.h"
#include "tests/signalling/support/capture_file.h"
#include "tests/signalling/support/command_output.h"
#include "tests/signalling/support/frame_socket.h"
#include "tests/signalling/support/mtp2_user.h"

namespace {

struct Fields {
    int dir, bsn, bib, fsn, fib, li, sf;
    bool operator==(const Fields&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Fields& f) {
    return os << "dir=" << f.dir << " bsn=" << f.bsn << " bib=" << f.bib << " fsn=" << f.fsn
              << " fib=" << f.fib << " li=" << f.li << " sf=" << f.sf;
}

// The units in the " tx raw" or " rx raw" lines of the log; dir as pcapng has it (1 in, 2 out).
std::vector<Fields> Logged(const std::string& log, const std::string& marker, int dir) {
    std::vector<Fields> units;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const auto at = line.find(marker);
        if (at == std::string::npos) continue;
        std::vector<unsigned> o;
        std::istringstream octets(line.substr(at + marker.size()));
        for (std::string h; octets >> h;)
            o.push_back(static_cast<unsigned>(std::strtoul(h.c_str(), nullptr, 16)));
        if (o.size() < 3) continue;
        const int li = static_cast<int>(o[2] & 0x3F);
        units.push_back({dir, int(o[0] & 0x7F), int(o[0] >> 7), int(o[1] & 0x7F), int(o[1] >> 7), li,
                         (li == 1 || li == 2) && o.size() > 3 ? int(o[3]) : -1});
    }
    return units;
}

class Mtp2TsharkTest : public LoopTest {
protected:
    void SetUp() override {
        if (!HaveTshark()) GTEST_SKIP() << "tshark is not installed";
        LoopTest::SetUp();
        path = TempCapture("mtp2_tshark");
        ASSERT_FALSE(path.empty());
        ASSERT_TRUE(tap.Open(path, Sim::PcapngWriter::kLinkMtp2));
        int fds[2];
        ASSERT_TRUE(FrameSocket::Pair(fds));
        a = std::make_unique<FrameSocket>(fds[0]);
        b = std::make_unique<FrameSocket>(fds[1]);
        a->tap(&tap);
        for (auto [channel, stack] : {std::pair{a.get(), &sa}, std::pair{b.get(), &sb}}) {
            stack->link->hdlc(channel);
            channel->bind(stack->link);
        }
        sa.link->trace.raw_transmit = sa.link->trace.raw_receive = true;
        saved = std::clog.rdbuf(log.rdbuf());
    }
    void TearDown() override {
        if (saved != nullptr) std::clog.rdbuf(saved);
        if (!path.empty()) ::unlink(path.c_str());
        LoopTest::TearDown();
    }
    // n passes of the loop, the clock moving 1 ms a pass so that neither
    // link's timer jumps ahead of units still in the socket.
    void Passes(size_t n) {
        timeouts.clear();
        max_passes = n;
        tick.set<Mtp2TsharkTest>(1, &Mtp2TsharkTest::OnTick, this);
        run();
        tick.reset();
        max_passes = 0;
    }
    void OnTick() { tick.set<Mtp2TsharkTest>(1, &Mtp2TsharkTest::OnTick, this); }

    std::string path;
    Sim::PcapngWriter tap;
    std::unique_ptr<FrameSocket> a, b;
    Mtp2Stack sa, sb;
    std::ostringstream log;
    std::streambuf* saved = nullptr;
    Timer tick;
};

// A signalling link test message with a pattern of n octets.
std::vector<unsigned char> LinkTest(unsigned n) {
    std::vector<unsigned char> msu{0x81, 0x02, 0x40, 0x00, 0x00, 0x11, static_cast<unsigned char>(n << 4)};
    for (unsigned i = 0; i < n; ++i) msu.push_back(static_cast<unsigned char>(0xA0 + i));
    return msu;
}

TEST_F(Mtp2TsharkTest, CapturedUnitsDissectAsLogged) {
    sa.user->activate();
    Passes(9000);  // T4n and a little
    ASSERT_EQ(5u, sa.link->get_state_id());
    ASSERT_EQ(5u, sb.link->get_state_id());
    // One of B's MSUs is lost: A answers with a NACK and B retransmits.
    int msus = 0;
    b->drop_tx = [&](const Packet& u) { return u.length() > 4 && ++msus == 2; };
    for (unsigned n = 1; n <= 15; n += 2) {
        sa.user->Send(LinkTest(n));
        sb.user->Send(LinkTest(n));
    }
    std::vector<unsigned char> long_msu(90, 0x5A);
    long_msu[0] = 0x8F;  // a spare service indicator: carried as data
    sa.user->Send(long_msu);
    Passes(50);
    EXPECT_EQ(9u, sb.user->received.size());
    EXPECT_EQ(8u, sa.user->received.size());
    EXPECT_GT(sa.link->statistics()[7], 0u);
    EXPECT_GT(sb.link->statistics()[6], 0u);
    sa.link->local_deactivate();
    Passes(5);
    tap.Close();

    const std::string out =
        CommandOutput("tshark -r " + path +
                      " -o mtp2.use_extended_sequence_numbers:FALSE"
                      " -o mtp2.capture_contains_frame_check_sequence:FALSE"
                      " -T fields -E separator=, -E occurrence=f"
                      " -e frame.packet_flags_direction -e mtp2.bsn -e mtp2.bib -e mtp2.fsn -e mtp2.fib"
                      " -e mtp2.li -e mtp2.sf -e _ws.malformed -e _ws.expert.severity 2>/dev/null");
    std::vector<Fields> tx, rx, lssu_tx;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> f;
        std::istringstream cells(line);
        for (std::string c; std::getline(cells, c, ',');) f.push_back(c);
        f.resize(9);
        ASSERT_TRUE(f[7].empty()) << "malformed: " << line;
        const auto num = [](const std::string& s) {
            return s.empty() ? -1 : int(std::strtol(s.c_str(), nullptr, 0));
        };
        Fields u{num(f[0]), num(f[1]), num(f[2]), num(f[3]), num(f[4]), num(f[5]), num(f[6])};
        if (u.dir == 1)
            rx.push_back(u);
        else if (u.li == 1 || u.li == 2)
            lssu_tx.push_back(u);
        else
            tx.push_back(u);
    }
    const std::string text = log.str();
    EXPECT_EQ(Logged(text, " tx raw", 2), tx) << out;
    EXPECT_EQ(Logged(text, " rx raw", 1), rx) << out;
    EXPECT_GT(tx.size(), 20u);
    EXPECT_GT(rx.size(), 20u);
    // LSSUs are not logged: A sent SIO, SIN, and SIOS at the end.
    ASSERT_EQ(3u, lssu_tx.size()) << out;
    EXPECT_EQ((Fields{2, 127, 1, 127, 1, 1, 0}), lssu_tx[0]);
    EXPECT_EQ(1, lssu_tx[1].sf);
    EXPECT_EQ(3, lssu_tx[2].sf);
}

}  // namespace
