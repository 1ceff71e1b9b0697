#include "core/packet.h"

#include <new>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/core/held_blocks.h"

namespace {

// The exact text as a death-test pattern.
std::string Exact(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

std::string Failure(const std::string& message, const std::string& report) {
    return Exact("PACKET ASSERTION FAILED!\n" + message + "\n" + report + "\n");
}

Packet Make(std::vector<unsigned char> bytes, unsigned headroom = 16) {
    Packet p;
    p.reserve_head(headroom);
    for (unsigned char b : bytes) p.put8(b);
    return p;
}

std::vector<unsigned char> Bytes(const Packet& p) {
    std::vector<unsigned char> out;
    for (unsigned i = 0; i < p.length(); ++i) out.push_back(p[static_cast<int>(i)]);
    return out;
}

class PacketTest : public ::testing::Test {
protected:
    void SetUp() override { available_ = Packet_pool::available(); }
    // Every test gives back what it took.
    void TearDown() override { EXPECT_EQ(Packet_pool::available(), available_); }
    unsigned available_ = 0;
};

using PacketDeathTest = PacketTest;

TEST_F(PacketTest, NewPacketIsNull) {
    Packet p;
    EXPECT_TRUE(p.null());
    EXPECT_EQ(p.length(), 0u);
    EXPECT_TRUE(p.empty());
    EXPECT_TRUE(p < 1);
    EXPECT_EQ(p.text(), "(null)");
    std::ostringstream os;
    EXPECT_FALSE(p.dump(os));
    EXPECT_FALSE(p.dump_context(os));
    EXPECT_EQ(os.str(), "");
}

TEST_F(PacketDeathTest, NullPacketOperationsEndTheProcess) {
    const std::string null_report = Failure("null packet", "(null)\n");
    Packet p;
    EXPECT_DEATH(p.data(), null_report);
    EXPECT_DEATH(p.put(1), null_report);
    EXPECT_DEATH(p.put8(1), null_report);
    EXPECT_DEATH(p.pull8(), null_report);
    EXPECT_DEATH(p.push8(1), null_report);
    EXPECT_DEATH(p.trim(0), null_report);
    EXPECT_DEATH(p.tailroom(), null_report);
    EXPECT_DEATH(p.sub(0, 0), null_report);
    EXPECT_DEATH(p.pull_string(), null_report);
    EXPECT_DEATH(p._length(), Exact("SMART POINTER ASSERTION!\n"));
}

TEST_F(PacketTest, ReserveOnNullPacketSetsTheRoom) {
    Packet p;
    p.reserve_head(0);
    EXPECT_FALSE(p.null());
    EXPECT_TRUE(p.empty());
    EXPECT_EQ(p.text(), "");
    EXPECT_EQ(p._headroom(), 0u);
    EXPECT_EQ(p.tailroom(), 65536u);
    p.reserve_head(4);
    EXPECT_EQ(p._headroom(), 4u);
    EXPECT_EQ(p.tailroom(), 65536u - 4);

    Packet full;
    full.reserve_head(65536);
    EXPECT_EQ(full._headroom(), 65536u);
    EXPECT_EQ(full.tailroom(), 0u);

    Packet t;
    t.reserve_tail(100);
    EXPECT_EQ(t._headroom(), 65536u - 100);
    EXPECT_EQ(t.tailroom(), 100u);
    t.reserve_tail(20);
    EXPECT_EQ(t.tailroom(), 120u);
}

TEST_F(PacketDeathTest, ReserveBeyondTheBlockFails) {
    Packet p;
    EXPECT_DEATH(p.reserve_head(65537), Failure("length>packet_max_size", "(null)\n"));
    EXPECT_DEATH(p.reserve_tail(65537), Failure("len>packet_max_size", "(null)\n"));
    p.reserve_head(65536);
    EXPECT_DEATH(p.reserve_head(1), Failure("new_len>packet_max_size", "head=65536, data=0, tail=0\n"));
}

TEST_F(PacketTest, ReserveSlidesDataWithinTheBlock) {
    Packet p = Make({1, 2, 3}, 0);
    p.reserve_head(65533);
    EXPECT_EQ(p._headroom(), 65533u);
    EXPECT_EQ(p.tailroom(), 0u);
    EXPECT_EQ(p.length(), 3u);
    p.reserve_tail(65533);
    EXPECT_EQ(p._headroom(), 0u);
    EXPECT_EQ(p.tailroom(), 65533u);
}

TEST_F(PacketDeathTest, ReserveOnPacketWithDataNeverLeavesTheBlock) {
    // Head room plus n fits in 64 KiB, but the data behind it would not.
    Packet p = Make({0xAB, 0xCD}, 0);
    EXPECT_DEATH(p.reserve_head(65535),
                 Failure("new_len>packet_max_size", "head=0, data=2, tail=65534\ndump:\n ab cd\n"));
    Packet q = Make({0xAB, 0xCD}, 65534);
    EXPECT_DEATH(q.reserve_tail(65535), Failure("_tailroom()+len <= packet_max_size",
                                                "head=65534, data=2, tail=0\ndump:\n ab cd\n"));
}

TEST_F(PacketDeathTest, PutUpToTheTailRoomOnly) {
    Packet p;
    p.reserve_tail(3);
    unsigned char* w = p.put(3);
    w[0] = 0x0A;
    w[1] = 0xFF;
    w[2] = 0x10;
    EXPECT_EQ(p.tailroom(), 0u);
    EXPECT_EQ(p.text(), "0A FF 10");
    EXPECT_DEATH(p.put8(0), Failure("len<=_tailroom()", "head=65533, data=3, tail=0\ndump:\n a ff 10\n"));
}

TEST_F(PacketDeathTest, PushPullAndTrimBounds) {
    Packet p = Make({1, 2, 3}, 1);
    EXPECT_DEATH(p.push(2), Failure("len<=_headroom()", "head=1, data=3, tail=65532\ndump:\n 1 2 3\n"));
    EXPECT_DEATH(p.pull(4), Failure("len<=_length()", "head=1, data=3, tail=65532\ndump:\n 1 2 3\n"));
    EXPECT_DEATH(p.trim(4), Failure("len<=_length()", "head=1, data=3, tail=65532\ndump:\n 1 2 3\n"));
    EXPECT_DEATH(p[3], Failure("index out of range", "head=1, data=3, tail=65532\ndump:\n 1 2 3\n"));
    EXPECT_DEATH(p[-1], Failure("index out of range", "head=1, data=3, tail=65532\ndump:\n 1 2 3\n"));
    const Packet& c = p;
    EXPECT_DEATH((void)c[3], Failure("index out of range", "head=1, data=3, tail=65532\ndump:\n 1 2 3\n"));

    EXPECT_EQ(*p.trim(2), 2);
    EXPECT_EQ(Bytes(p), (std::vector<unsigned char>{1}));
}

TEST_F(PacketTest, ByteOrders) {
    Packet p = Make({});
    p.put16(0x1234);
    p.put16_b(0x1234);
    EXPECT_EQ(p.text(), "34 12 12 34");
    EXPECT_EQ(p.pull16(), 0x1234);
    EXPECT_EQ(p.pull16_b(), 0x1234);
    EXPECT_TRUE(p.empty());

    Packet q = Make({0xAA});
    unsigned char* first = q.push16_b(0x1234);
    EXPECT_EQ(first, q.data());
    EXPECT_EQ(q.text(), "12 34 AA");
    EXPECT_EQ(q.pull16_l(), 0x3412);

    Packet one = Make({0x12});
    Packet other = one;
    EXPECT_EQ(one.pull16(), 0x0012);
    EXPECT_EQ(other.pull16_b(), 0x1200);

    Packet empty = Make({});
    EXPECT_EQ(empty.pull8(), 0);
    EXPECT_EQ(empty._headroom(), 16u);
    EXPECT_EQ(empty.tailroom(), 65536u - 16);
}

TEST_F(PacketTest, PullLeavesRemovedBytesReadable) {
    Packet p = Make({5, 6, 7});
    unsigned char* removed = p.pull(2);
    EXPECT_EQ(removed[0], 5);
    EXPECT_EQ(removed[1], 6);
    EXPECT_EQ(p.text(), "07");
    EXPECT_EQ(p._headroom(), 18u);
}

TEST_F(PacketTest, CopiesNeverSeeEachOthersChanges) {
    Packet a = Make({1, 2, 3});
    const unsigned before = Packet_pool::available();
    Packet b = a;
    EXPECT_EQ(Packet_pool::available(), before);
    EXPECT_EQ(b.get(), a.get());

    EXPECT_EQ(b.pull8(), 1);
    EXPECT_EQ(Packet_pool::available(), before - 1);
    EXPECT_EQ(a.text(), "01 02 03");
    EXPECT_EQ(b.text(), "02 03");
    EXPECT_EQ(b._headroom(), 17u);

    Packet c = a;
    c[0] = 9;
    EXPECT_EQ(a.text(), "01 02 03");
    EXPECT_EQ(c.text(), "09 02 03");

    Packet d = a;
    d.data()[1] = 8;
    d.put8(4);
    d.push8(0);
    EXPECT_EQ(a.text(), "01 02 03");
    EXPECT_EQ(d.text(), "00 01 08 03 04");

    // The last holder changes in place.
    Packet e = Make({1});
    const _Packet* block = e.get();
    e.put8(2);
    EXPECT_EQ(e.get(), block);

    // Reading a shared packet copies nothing.
    Packet f = a;
    const Packet& cf = f;
    EXPECT_EQ(cf.data()[0], 1);
    EXPECT_EQ(cf[2], 3);
    EXPECT_EQ(f.get(), a.get());
}

TEST_F(PacketTest, ClearAndAssignmentRelease) {
    const unsigned before = Packet_pool::available();
    Packet a = Make({1});
    Packet b = Make({2});
    EXPECT_EQ(Packet_pool::available(), before - 2);
    b = a;
    EXPECT_EQ(Packet_pool::available(), before - 1);
    Packet& alias = a;
    a = alias;
    EXPECT_EQ(a.text(), "01");
    a.clear();
    EXPECT_TRUE(a.null());
    EXPECT_EQ(b.text(), "01");
    b.clear();
    EXPECT_EQ(Packet_pool::available(), before);
}

TEST_F(PacketDeathTest, SubCopiesARangeAtTheSameOffsets) {
    Packet p = Make({1, 2, 3, 4}, 10);
    Packet s = p.sub(2, 1);
    EXPECT_EQ(s.text(), "02 03");
    EXPECT_NE(s.get(), p.get());
    EXPECT_EQ(s._headroom(), 11u);
    EXPECT_EQ(s.tailroom(), 65536u - 13);
    EXPECT_TRUE(p.sub(0, 4).empty());

    const std::string report = "head=10, data=4, tail=65522\ndump:\n 1 2 3 4\n";
    EXPECT_DEATH(p.sub(2, 3), Failure("start+len<=_length()", report));
    EXPECT_DEATH(p.sub(0, 5), Failure("start<=_length()", report));
    EXPECT_DEATH(p.sub(0xFFFFFFFFu, 1), Failure("start+len<=_length()", report));
}

TEST_F(PacketTest, PutAppendsAnotherPacket) {
    Packet p = Make({1});
    p.put(Make({2, 3}));
    p.put(Packet());
    p.put(Make({}));
    EXPECT_EQ(p.text(), "01 02 03");
    Packet keep = p;
    p.put(p);
    EXPECT_EQ(p.text(), "01 02 03 01 02 03");
    EXPECT_EQ(keep.text(), "01 02 03");
}

TEST_F(PacketDeathTest, StringsCarryALengthByte) {
    Packet p = Make({});
    p.put(std::string("abc"));
    p.put(std::string());
    EXPECT_EQ(p.text(), "03 61 62 63 00");
    EXPECT_EQ(p.pull_string(), "abc");
    EXPECT_EQ(p.pull_string(), "");
    EXPECT_TRUE(p.empty());

    Packet cut = Make({5, 'x', 'y'});
    EXPECT_EQ(cut.pull_string(), std::string("xy\0\0\0", 5));

    Packet q = Make({});
    const std::string longest(255, 'z');
    q.put(longest);
    EXPECT_EQ(q.length(), 256u);
    EXPECT_EQ(q.pull_string(), longest);
    EXPECT_DEATH(q.put(std::string(256, 'z')), Failure("len<=255", "head=272, data=0, tail=65264\n"));
}

TEST_F(PacketTest, TextAndDumps) {
    Packet p = Make({0x00, 0x0A, 0xFF}, 2);
    EXPECT_EQ(p.text(), "00 0A FF");
    std::ostringstream os;
    os << p;
    EXPECT_EQ(os.str(), "00 0A FF");

    std::ostringstream d;
    EXPECT_TRUE(p.dump(d));
    EXPECT_EQ(d.str(), "head=2, data=3, tail=65531");

    std::ostringstream c;
    EXPECT_TRUE(p.dump_context(c));
    c << ' ' << 255;
    EXPECT_EQ(c.str(), "dump: 0 a ff 255");

    std::ostringstream e;
    EXPECT_TRUE(Make({}).dump_context(e));
    EXPECT_EQ(e.str(), "");

    std::ostringstream info;
    info << PacketInfo(p) << PacketInfo(Packet()) << PacketInfo(Make({}, 0));
    EXPECT_EQ(info.str(), "head=2, data=3, tail=65531\ndump:\n 0 a ff\n(null)\nhead=0, data=0, tail=65536\n");
}

TEST_F(PacketDeathTest, BrokenPointersAreReported) {
    Packet p = Make({1, 2}, 4);
    _Packet* b = p.get();
    unsigned char* const data = b->fdata;
    b->fdata = b->ftail + 1;
    EXPECT_EQ(p.text(), "(bad)");
    std::ostringstream os;
    EXPECT_FALSE(p.dump_context(os));
    EXPECT_EQ(PacketInfo(p).bad, true);
    std::ostringstream info;
    info << PacketInfo(p);
    EXPECT_EQ(info.str(), "head=7, data=4294967295, tail=65530\ncan't dump packet: wrong pointers\n");
    EXPECT_DEATH(p.put(0), Exact("packet check fail\nafter \"put\" fdata>ftail\nterminate.\n"));
    b->fdata = data;
}

TEST_F(PacketTest, PoolExhaustionRaisesAndLeavesHandlesAlone) {
    std::vector<Packet> held = HoldEveryBlock();
    Packet extra;
    EXPECT_THROW(extra.reserve_head(0), std::bad_alloc);
    EXPECT_TRUE(extra.null());
    EXPECT_THROW(extra.reserve_tail(8), std::bad_alloc);
    EXPECT_TRUE(extra.null());

    held[0].put8(0x55);
    Packet shared = held[0];
    EXPECT_THROW(shared.put8(1), std::bad_alloc);
    EXPECT_EQ(shared.get(), held[0].get());
    EXPECT_EQ(shared.text(), "55");
    EXPECT_EQ(held[0].text(), "55");
    EXPECT_THROW(held[1].sub(0, 0), std::bad_alloc);

    held.clear();
    shared.clear();
    EXPECT_EQ(Packet_pool::available(), Packet_pool::capacity());
    extra.reserve_head(0);
    EXPECT_FALSE(extra.null());
}

TEST_F(PacketTest, ReservedBlocksGoOnlyToAnOpenReserve) {
    std::vector<Packet> held = HoldEveryBlock();
    EXPECT_EQ(Packet_pool::available(), packet_reserve);
    const std::uint32_t refused = Packet::refused();
    Packet extra;
    EXPECT_THROW(extra.reserve_head(0), std::bad_alloc);
    {
        const PacketReserve closed(false);
        EXPECT_EQ(Packet::available(), 0u);
        EXPECT_THROW(extra.reserve_tail(0), std::bad_alloc);
    }
    EXPECT_EQ(Packet::refused(), refused + 2);
    {
        const PacketReserve reserve;
        EXPECT_EQ(Packet::available(), packet_reserve);
        for (unsigned i = 0; i < packet_reserve; ++i) {
            held.emplace_back();
            held.back().reserve_head(0);
        }
        EXPECT_THROW(extra.reserve_head(0), std::bad_alloc);
    }
    EXPECT_EQ(Packet_pool::available(), 0u);
    // A block given back refills the reserve before anyone else sees it.
    held.pop_back();
    EXPECT_EQ(Packet::available(), 0u);
    held.clear();
    EXPECT_EQ(Packet::available(), Packet_pool::capacity() - packet_reserve);
}

TEST_F(PacketTest, FreedBlocksComeBackFirstInFirstOut) {
    const PacketReserve reserve;
    std::vector<Packet> held = HoldEveryBlock();
    const _Packet* a = held[5].get();
    const _Packet* b = held[9].get();
    held[5].clear();
    held[9].clear();
    Packet first, second;
    first.reserve_head(0);
    second.reserve_head(0);
    EXPECT_EQ(first.get(), a);
    EXPECT_EQ(second.get(), b);
}

}  // namespace
