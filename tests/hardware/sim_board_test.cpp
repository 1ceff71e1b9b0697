#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include "hardware/board_record.h"
#include "hardware/e1_requests.h"
#include "hardware/hal_requests.h"
#include "hardware/sim/board.h"
#include "hardware/sim/cas_device.h"
#include "hardware/sim/hal_device.h"

namespace {

using Hardware::BoardRecord;
using Sim::HalDevice;
using Sim::Request;
namespace Hal = Hardware::Hal;

class SimBoardTest : public ::testing::Test {
protected:
    void SetUp() override { board.Reset(); }
    void TearDown() override { board.Reset(); }

    int OpenHal() {
        int fd = board.open("/dev/hal", O_RDWR);
        EXPECT_GE(fd, 0);
        return fd;
    }

    Sim::Board& board = Sim::board();
    HalDevice& hal = board.device<HalDevice>("/dev/hal");
};

TEST(BoardRecordTest, WordsAreBigEndianWhateverTheHost) {
    BoardRecord<2> r{8575, -2};
    const unsigned char* b = r.data();
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[1], 0x00);
    EXPECT_EQ(b[2], 0x21);
    EXPECT_EQ(b[3], 0x7F);
    EXPECT_EQ(b[4], 0xFF);
    EXPECT_EQ(b[7], 0xFE);
    EXPECT_EQ(r.get(0), 8575);
    EXPECT_EQ(r.get(1), -2);
}

TEST(RequestNumberTest, PowerPcFieldsOfTheSwitchRequests) {
    EXPECT_EQ(Sim::RequestSize(Hal::MUX_CONNECT), 8u);
    EXPECT_EQ(Sim::RequestSize(Hal::MUX_DISABLE), 4u);
    EXPECT_EQ(Sim::RequestSize(Hal::MUX_READ), 8u);
    EXPECT_EQ(Sim::RequestDirection(Hal::MUX_CONNECT), 4u);  // write
    EXPECT_EQ(Sim::RequestDirection(Hal::MUX_WRITE), 6u);    // read/write
}

TEST_F(SimBoardTest, UnmodelledOrMissingDevicesFailToOpen) {
    errno = 0;
    EXPECT_EQ(board.open("/dev/no-such-device", O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);

    board.SetOpenError("/dev/hal", EACCES);
    EXPECT_EQ(board.open("/dev/hal", O_RDWR), -1);
    EXPECT_EQ(errno, EACCES);
    board.SetOpenError("/dev/hal", 0);
    int fd = OpenHal();
    board.close(fd);

    auto opens = board.Requests(Request::Kind::open);
    ASSERT_EQ(opens.size(), 3u);
    EXPECT_EQ(opens[1].error, EACCES);
    EXPECT_EQ(opens[2].result, fd);
}

TEST_F(SimBoardTest, DuplicatedDescriptorKeepsTheOpenUntilTheLastClose) {
    int fd = OpenHal();
    int copy = ::dup(fd);
    ASSERT_GE(copy, 0);
    EXPECT_EQ(board.OpenCount("/dev/hal"), 1u);

    ::close(fd);  // closed behind the driver's back, as an owning handle does
    BoardRecord<2> rec{100, 0x5A};
    EXPECT_EQ(board.ioctl(copy, Hal::MUX_WRITE, rec.data()), 0);
    EXPECT_EQ(board.OpenCount("/dev/hal"), 1u);

    board.close(copy);
    EXPECT_EQ(board.OpenCount("/dev/hal"), 0u);
}

// The board remembers which open a descriptor number belongs to; a number
// closed behind its back and handed out again is not taken for the old open.
TEST_F(SimBoardTest, ReusedDescriptorNumbersAreNotTakenForTheirOldOpen) {
    int fd = OpenHal();
    BoardRecord<2> rec{100, 0x5A};
    ASSERT_EQ(board.ioctl(fd, Hal::MUX_WRITE, rec.data()), 0);
    ::close(fd);
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ASSERT_EQ(pair[0], fd);  // the lowest free number comes back
    EXPECT_EQ(board.ioctl(pair[0], Hal::MUX_WRITE, rec.data()), -1);
    EXPECT_EQ(errno, ENOTTY);
    ::close(pair[0]);
    ::close(pair[1]);

    // A duplicate of another open on a number the board knew.
    int a = OpenHal();
    int b = OpenHal();
    ASSERT_EQ(board.ioctl(a, Hal::MUX_WRITE, rec.data()), 0);
    ::close(a);
    int copy = ::dup(b);
    ASSERT_EQ(copy, a);
    EXPECT_EQ(board.ioctl(copy, Hal::MUX_WRITE, rec.data()), 0);
    EXPECT_EQ(board.OpenCount("/dev/hal"), 1u);
    ::close(copy);
    board.close(b);
    EXPECT_EQ(board.OpenCount("/dev/hal"), 0u);
}

// A device that remembers its last open, so that the test can post to it.
struct ProbeDevice : Sim::Device {
    ProbeDevice() : Device("/dev/probe") {}
    void IOpen(Sim::OpenFile& file) override { opened = &file; }
    void IRelease(Sim::OpenFile&) override { opened = nullptr; }
    int IIoctl(Sim::OpenFile&, unsigned long, void*, std::size_t) override { return -ENOTTY; }
    Sim::OpenFile* opened = nullptr;
};

TEST_F(SimBoardTest, DescriptorsArePollableAndReadWhatTheDevicePosts) {
    if (board.Find("/dev/probe") == nullptr) board.Add(std::make_unique<ProbeDevice>());
    auto& probe = board.device<ProbeDevice>("/dev/probe");
    int fd = board.open("/dev/probe", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_NE(probe.opened, nullptr);
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0);

    const unsigned char record[] = {1, 2, 3};
    ASSERT_TRUE(probe.opened->Post(record, sizeof record));
    EXPECT_EQ(::poll(&p, 1, 0), 1);
    EXPECT_TRUE(p.revents & POLLIN);
    unsigned char got[16];
    EXPECT_EQ(board.read(fd, got, sizeof got), 3);  // one record per read
    EXPECT_EQ(board.read(fd, got, sizeof got), -1);
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(board.requests().back().kind, Request::Kind::read);

    board.Reset();  // the board goes away: the caller sees a hang-up
    EXPECT_EQ(probe.opened, nullptr);
    p.revents = 0;
    EXPECT_EQ(::poll(&p, 1, 0), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    ::close(fd);
}

TEST_F(SimBoardTest, IoctlOnForeignDescriptorsIsRefused) {
    BoardRecord<1> rec{8192};
    EXPECT_EQ(board.ioctl(-1, Hal::MUX_DISABLE, rec.data()), -1);
    EXPECT_EQ(errno, EBADF);
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EXPECT_EQ(board.ioctl(pair[0], Hal::MUX_DISABLE, rec.data()), -1);
    EXPECT_EQ(errno, ENOTTY);
    ::close(pair[0]);
    ::close(pair[1]);

    int fd = OpenHal();
    EXPECT_EQ(board.ioctl(fd, Hal::MUX_DISABLE, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
    EXPECT_EQ(board.ioctl(fd, 0x20004D7F, nullptr), -1);  // no such request
    EXPECT_EQ(errno, ENOTTY);
    board.close(fd);
}

TEST_F(SimBoardTest, SwitchMemoryCarriesBytesFromSourceToDestination) {
    int fd = OpenHal();
    BoardRecord<2> write{40, 0x3C};
    ASSERT_EQ(board.ioctl(fd, Hal::MUX_WRITE, write.data()), 0);
    BoardRecord<2> connect{8575, 40};
    ASSERT_EQ(board.ioctl(fd, Hal::MUX_CONNECT, connect.data()), 0);
    EXPECT_EQ(hal.mode(8575), HalDevice::Mode::source);
    EXPECT_EQ(hal.value(8575), 40);

    BoardRecord<2> read{8575, 255};
    ASSERT_EQ(board.ioctl(fd, Hal::MUX_READ, read.data()), 0);
    EXPECT_EQ(read.get(1), 0x3C);

    BoardRecord<1> disable{40};
    ASSERT_EQ(board.ioctl(fd, Hal::MUX_DISABLE, disable.data()), 0);
    EXPECT_EQ(hal.Carried(8575), 0xFF);  // the source went quiet

    // A loop of sources carries nothing rather than hanging the device.
    BoardRecord<2> back{40, 8575};
    ASSERT_EQ(board.ioctl(fd, Hal::MUX_CONNECT, back.data()), 0);
    EXPECT_EQ(hal.Carried(40), 0xFF);
    board.close(fd);
}

TEST_F(SimBoardTest, SwitchRefusesChannelsAndBytesOutOfRange) {
    int fd = OpenHal();
    BoardRecord<2> connect{10240, 5};
    EXPECT_EQ(board.ioctl(fd, Hal::MUX_CONNECT, connect.data()), -1);
    EXPECT_EQ(errno, EINVAL);
    BoardRecord<2> write{8192, 256};
    EXPECT_EQ(board.ioctl(fd, Hal::MUX_WRITE, write.data()), -1);
    EXPECT_EQ(errno, EINVAL);
    BoardRecord<1> disable{-1};
    EXPECT_EQ(board.ioctl(fd, Hal::MUX_DISABLE, disable.data()), -1);
    EXPECT_EQ(hal.mode(8192), HalDevice::Mode::disabled);
    board.close(fd);
}

TEST_F(SimBoardTest, LogHoldsRecordsBeforeAndAfterAndArrangedFaults) {
    int fd = OpenHal();
    hal.Drive(9000, 0x81);
    board.FailRequest("/dev/hal", Hal::MUX_READ, EIO);
    BoardRecord<2> read{9000, 255};
    EXPECT_EQ(board.ioctl(fd, Hal::MUX_READ, read.data()), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(board.ioctl(fd, Hal::MUX_READ, read.data()), 0);  // the fault was for one call

    auto ioctls = board.Requests(Request::Kind::ioctl);
    ASSERT_EQ(ioctls.size(), 2u);
    EXPECT_EQ(ioctls[0].device, "/dev/hal");
    EXPECT_EQ(ioctls[0].number, Hal::MUX_READ);
    EXPECT_EQ(ioctls[0].error, EIO);
    EXPECT_EQ(ioctls[0].InWords(), (std::vector<std::int32_t>{9000, 255}));
    EXPECT_EQ(ioctls[0].OutWord(1), 255);
    EXPECT_EQ(ioctls[1].result, 0);
    EXPECT_EQ(ioctls[1].OutWord(1), 0x81);
    EXPECT_EQ(ioctls[1].in, (std::vector<unsigned char>{0x00, 0x00, 0x23, 0x28, 0x00, 0x00, 0x00, 0xFF}));
    board.close(fd);
}

TEST_F(SimBoardTest, LogKeepsOnlyTheLatestRequests) {
    board.SetLogLimit(3);
    int fd = OpenHal();
    for (int ch = 8192; ch < 8197; ++ch) {
        BoardRecord<1> rec{ch};
        board.ioctl(fd, Hal::MUX_DISABLE, rec.data());
    }
    ASSERT_EQ(board.requests().size(), 3u);
    EXPECT_EQ(board.requests().front().InWord(0), 8194);
    EXPECT_EQ(board.requests().back().InWord(0), 8196);
    board.close(fd);
    EXPECT_EQ(board.requests().back().kind, Request::Kind::close);

    board.SetLogLimit(0);  // off, as in tamboril-sim: calls still work
    fd = OpenHal();
    BoardRecord<2> read{8192, 255};
    EXPECT_EQ(board.ioctl(fd, Hal::MUX_READ, read.data()), 0);
    EXPECT_EQ(read.get(1), 0xFF);
    EXPECT_EQ(board.ioctl(fd, Hal::MUX_READ, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
    EXPECT_TRUE(board.requests().empty());
    board.close(fd);
}

TEST_F(SimBoardTest, CasDeviceTakesTrunkNumbersByValueAndQueuesChangeRecords) {
    namespace Cas = Hardware::Cas;
    int fd = board.open(Cas::kPath, O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    unsigned char config[Cas::kConfigSize];
    Cas::PutConfig(config, Cas::Channel{2, 5, 0, 0x1C}, false);
    EXPECT_EQ(-1, board.ioctl(fd, Cas::CAS_CONFIGURE, config));
    EXPECT_EQ(ENODEV, errno) << "trunk not open";
    EXPECT_EQ(0, board.ioctl_value(fd, Cas::CAS_OPEN_TRUNK, 2));
    EXPECT_EQ(std::vector<std::int32_t>{2}, board.requests().back().InWords());
    EXPECT_EQ(0, board.ioctl(fd, Cas::CAS_CONFIGURE, config));
    Cas::PutConfig(config, Cas::Channel{2, 16, 0, 0}, false);
    EXPECT_EQ(-1, board.ioctl(fd, Cas::CAS_CONFIGURE, config));
    EXPECT_EQ(EINVAL, errno) << "time slot 16 carries the bits";

    auto& cas = board.device<Sim::CasDevice>(Cas::kPath);
    EXPECT_EQ(1, cas.FarEnd(2, 5, 0x3B));
    unsigned char record[16];
    ASSERT_EQ(12, board.read(fd, record, sizeof(record)));
    const unsigned char expected[12] = {0, 0, 0, 2, 0, 0, 0, 5, 0x0B, 0x0C, 0, 0};
    EXPECT_EQ(0, std::memcmp(expected, record, 12));
    EXPECT_EQ(-1, board.read(fd, record, sizeof(record)));
    EXPECT_EQ(EAGAIN, errno);

    EXPECT_EQ(0, board.ioctl_value(fd, Cas::CAS_CLOSE_TRUNK, 2));
    EXPECT_FALSE(cas.timeslot(2, 5).open) << "closing the trunk closes its time slots";
    EXPECT_EQ(0, cas.FarEnd(2, 5, 1));
    EXPECT_EQ(-1, board.ioctl_value(fd, Cas::CAS_CLOSE_TRUNK, 2));
    board.close(fd);
}

}  // namespace
