// The Q.931 trace decoder and our LAPD frames against an independent
// protocol analyser: tshark reads the same bytes from a pcapng file.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "hardware/sim/pcapng_writer.h"
#include "signalling/dlogframe.h"
#include "tests/signalling/lapd_harness.h"
#include "tests/signalling/support/capture_file.h"
#include "tests/signalling/support/command_output.h"

namespace {

// The numbers both readings must agree on, in one comparable line.
struct Facts {
    int type = -1;
    long callref = -1;
    int flag = -1;
    std::vector<int> elements;
    std::vector<int> causes;
    std::vector<std::string> digits;

    std::string text() const {
        std::ostringstream os;
        os << "type=" << type << " cr=" << callref << " flag=" << flag << " ies=";
        for (int e : elements) os << e << ',';
        os << " causes=";
        for (int c : causes) os << c << ',';
        os << " digits=";
        for (const std::string& d : digits) os << d << ',';
        return os.str();
    }
};

int NameToCode(const std::string& name, const char* (*table)(unsigned char)) {
    for (int c = 0; c < 128; ++c)
        if (const char* n = table(static_cast<unsigned char>(c)); n != nullptr && name == n) return c;
    return -2;
}

Facts FromDecoder(const Bytes& frame) {
    char text[ISDN::kLogBufSize];
    ISDN::dlogframe(frame.data(), static_cast<int>(frame.size()), 0, text);
    Facts f;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        char word[8], rest[128];
        long value;
        unsigned hex;
        if (std::sscanf(line.c_str(), "callref %ld %7s size %*d message type %127[^\n]", &value, word, rest) == 3) {
            f.callref = value;
            f.flag = std::strcmp(word, "called") == 0;
            f.type = std::strncmp(rest, "unknown", 7) == 0 ? std::stoi(rest + 21, nullptr, 16)
                                                           : NameToCode(rest, ISDN::q931_message_name);
        } else if (std::sscanf(line.c_str(), "  cause value %x", &hex) == 1) {
            f.causes.push_back(static_cast<int>(hex));
        } else if (line.rfind("    number digits ", 0) == 0) {
            f.digits.push_back(line.substr(18));
        } else if (std::sscanf(line.c_str(), "  attribute %x attribute size", &hex) == 1) {
            f.elements.push_back(static_cast<int>(hex));
        } else if (line.size() > 2 && line.compare(0, 2, "  ") == 0 && line[2] != ' ') {
            const int id = NameToCode(line.substr(2), ISDN::q931_element_name);
            if (id >= 0) f.elements.push_back(id);
        }
    }
    return f;
}

std::vector<std::string> Split(const std::string& s, char by) {
    std::vector<std::string> parts;
    std::istringstream in(s);
    for (std::string p; std::getline(in, p, by);) parts.push_back(p);
    return parts;
}

// One packet of tshark's PDML, its fields in document order.
Facts FromTshark(const std::string& packet) {
    Facts f;
    for (size_t at = 0; (at = packet.find("<field name=\"", at)) != std::string::npos; ++at) {
        const size_t name_end = packet.find('"', at + 13);
        const std::string name = packet.substr(at + 13, name_end - at - 13);
        const size_t show_at = packet.find(" show=\"", name_end);
        const size_t tag_end = packet.find('>', name_end);
        if (show_at == std::string::npos || show_at > tag_end) continue;
        std::string show = packet.substr(show_at + 7, packet.find('"', show_at + 7) - show_at - 7);
        if (name == "q931.message_type") {
            f.type = std::stoi(show, nullptr, 0);
        } else if (name == "q931.call_ref") {
            show.erase(std::remove(show.begin(), show.end(), ':'), show.end());
            f.callref = std::stol(show, nullptr, 16);  // the value octets, flag cleared
        } else if (name == "q931.call_ref_flag") {
            f.flag = show == "1";
        } else if (name == "q931.information_element" || name == "q932.ie.type") {
            const int id = std::stoi(show, nullptr, 0);
            if (id < 0x80) f.elements.push_back(id);  // single-octet elements are not compared
        } else if (name == "q931.cause_value") {
            f.causes.push_back(std::stoi(show));
        } else if (name == "q931.called_party_number.digits" || name == "q931.calling_party_number.digits") {
            f.digits.push_back(show);
        }
    }
    return f;
}

Bytes Message(unsigned char type, const Bytes& callref, const Bytes& elements) {
    Bytes m = {0x00, 0x01, 0x00, 0x00, 0x08, static_cast<unsigned char>(callref.size())};
    m.insert(m.end(), callref.begin(), callref.end());
    m.push_back(type);
    m.insert(m.end(), elements.begin(), elements.end());
    return m;
}

std::vector<std::string> Tshark(const std::string& path, const std::string& fields) {
    const std::string command = "tshark -r " + path + " -T fields -E aggregator=, " + fields + " 2>/dev/null";
    return Split(CommandOutput(command), '\n');
}

TEST(LapdTshark, DecoderAgreesWithTsharkOnQ931Fixtures) {
    if (!HaveTshark()) GTEST_SKIP() << "tshark not installed";
    const Bytes bearer = {0x04, 0x03, 0x80, 0x90, 0xA3};
    const Bytes channel = {0x18, 0x03, 0xA9, 0x83, 0x81};
    const Bytes called = {0x70, 0x05, 0x81, '5', '5', '0', '1'};
    const Bytes calling = {0x6C, 0x05, 0x21, 0x80, '7', '7', '2'};
    std::vector<Bytes> frames;
    // Every message type, with one- and two-octet call references and both flags.
    const unsigned char types[] = {0x01, 0x02, 0x07, 0x0F, 0x03, 0x05, 0x0D, 0x24, 0x28, 0x30, 0x31,
                                   0x33, 0x37, 0x26, 0x2E, 0x22, 0x25, 0x2D, 0x21, 0x20, 0x45, 0x4D,
                                   0x5A, 0x46, 0x4E, 0x60, 0x79, 0x7B, 0x62, 0x6E, 0x7D, 0x75};
    for (unsigned i = 0; i < sizeof types; ++i) {
        const unsigned char flag = i % 2 ? 0x80 : 0x00;
        const Bytes cr = i % 3 ? Bytes{static_cast<unsigned char>(flag | i)}
                               : Bytes{static_cast<unsigned char>(flag | (i >> 1)), static_cast<unsigned char>(i * 7)};
        frames.push_back(Message(types[i], cr, {}));
    }
    // The element kinds: a SETUP with the decoded ones, then the general ones one by one.
    Bytes setup_ies = bearer;
    setup_ies.insert(setup_ies.end(), channel.begin(), channel.end());
    setup_ies.insert(setup_ies.end(), called.begin(), called.end());
    setup_ies.insert(setup_ies.end(), calling.begin(), calling.end());
    setup_ies.push_back(0xA1);
    frames.push_back(Message(0x05, {0x81, 0x02}, setup_ies));
    frames.push_back(Message(0x05, {0x03}, {0x04, 0x03, 0x80, 0x90, 0xA3, 0x70, 0x03, 0x80, '4', '2'}));
    frames.push_back(Message(0x07, {0x83}, {0x28, 0x05, 'h', 'e', 'l', 'l', 'o'}));
    frames.push_back(Message(0x62, {0x83}, {0x1C, 0x06, 0x91, 0xA1, 0x03, 0x02, 0x01, 0x01}));
    for (int id = 0; id < 0x80; ++id)
        if (ISDN::q931_element_name(static_cast<unsigned char>(id)) != nullptr)
            frames.push_back(Message(0x01, {0x84}, {static_cast<unsigned char>(id), 0x02, 0x80,
                                                    static_cast<unsigned char>(id == 0x6C || id == 0x70 ? '9' : 0x82)}));
    frames.push_back(Message(0x01, {0x84}, {0x3B, 0x02, 0x80, 0x82}));  // not in the table
    // Every cause value, in RELEASE COMPLETE with a two-octet call reference.
    for (int cause = 1; cause < 128; ++cause)
        if (ISDN::q931_cause_text(static_cast<unsigned char>(cause)) != nullptr)
            frames.push_back(
                Message(0x5A, {0x80, static_cast<unsigned char>(cause)}, {0x08, 0x02, 0x80, static_cast<unsigned char>(0x80 | cause)}));

    const std::string path = TempCapture("lapd_tshark");
    {
        Sim::PcapngWriter writer;
        ASSERT_TRUE(writer.Open(path, Sim::PcapngWriter::kLinkLapd));
        for (const Bytes& f : frames) writer.Write(f.data(), f.size(), Sim::PcapngWriter::Direction::outbound);
    }
    FILE* out = ::popen(("tshark -r " + path + " -T pdml 2>/dev/null").c_str(), "r");
    ASSERT_NE(nullptr, out);
    std::string pdml;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;) pdml.append(buffer, n);
    ::pclose(out);
    std::vector<std::string> packets;
    for (size_t at = 0; (at = pdml.find("<packet>", at)) != std::string::npos; ++at)
        packets.push_back(pdml.substr(at, pdml.find("</packet>", at) - at));
    ASSERT_EQ(frames.size(), packets.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        const Facts ours = FromDecoder(frames[i]), theirs = FromTshark(packets[i]);
        EXPECT_EQ(theirs.text(), ours.text()) << "frame " << i + 1;
    }
    std::remove(path.c_str());
}

TEST(LapdTshark, OurFramesAreWellFormedWithTheRightCommandBit) {
    if (!HaveTshark()) GTEST_SKIP() << "tshark not installed";
    // The user side and the network side each send a command, a response and I frames.
    std::vector<std::pair<Bytes, int>> frames;  // frame, expected C/R
    for (ISDN::Side::type side : {ISDN::Side::user, ISDN::Side::network}) {
        RecordingHdlc hdlc;
        RecordingStack stack;
        auto* lapd = new ISDN::LAPD(side, 0);
        stack.add_protocol_tail(lapd);
        lapd->hdlc(&hdlc);
        const unsigned char peer_response = side == ISDN::Side::user ? 0x00 : 0x02;
        lapd->local_activate();
        Packet ua = PacketOf({peer_response, 0x01, 0x73}, 0);
        lapd->receive(ua);
        for (unsigned char i = 0; i < 3; ++i) {
            Packet m = PacketOf({0x08, 0x01, 0x01, 0x7D, 0x08, 0x02, 0x80, 0x90});
            lapd->message(m);
        }
        Packet rej = PacketOf({peer_response, 0x01, 0x09, 0x02}, 0);
        lapd->receive(rej);
        const int command_cr = side == ISDN::Side::user ? 0 : 1;
        for (const Bytes& f : hdlc.frames) frames.push_back({f, (f[0] & 2) ? 1 : 0});
        EXPECT_EQ(command_cr, frames.back().second);  // I frames are commands
    }
    const std::string path = TempCapture("lapd_tshark");
    {
        Sim::PcapngWriter writer;
        ASSERT_TRUE(writer.Open(path, Sim::PcapngWriter::kLinkLapd));
        for (auto& [f, cr] : frames) writer.Write(f.data(), f.size(), Sim::PcapngWriter::Direction::outbound);
    }
    const std::vector<std::string> lines =
        Tshark(path, "-e lapd.cr -e lapd.control.n_s -e q931.cause_value -e _ws.malformed");
    ASSERT_EQ(frames.size(), lines.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        const std::vector<std::string> col = Split(lines[i] + "\t", '\t');
        EXPECT_EQ(std::to_string(frames[i].second), col[0]) << i;
        if (col.size() > 3) {
            EXPECT_EQ("", col[3]) << "malformed frame " << i + 1;
        }
        if ((frames[i].first[2] & 1) == 0) {
            EXPECT_EQ(std::to_string(frames[i].first[2] >> 1), col[1]) << i;
            EXPECT_EQ("16", col[2]) << i;
        }
    }
    std::remove(path.c_str());
}

}  // namespace
