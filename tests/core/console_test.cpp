#include "core/console.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "core/fd.h"

namespace {

// Points standard input at another descriptor for the life of the object.
class StdinSwap {
public:
    explicit StdinSwap(int fd) : mSaved(::dup(STDIN_FILENO)) { ::dup2(fd, STDIN_FILENO); }
    ~StdinSwap() { ::dup2(mSaved.lowlevel_fd(), STDIN_FILENO); }

private:
    Fd mSaved;
};

TEST(Console, BinaryModeClearsLineEditingAndEchoButKeepsSignals) {
    Fd master(::posix_openpt(O_RDWR | O_NOCTTY));
    ASSERT_TRUE(master.is_valid());
    ASSERT_EQ(::grantpt(master.lowlevel_fd()), 0);
    ASSERT_EQ(::unlockpt(master.lowlevel_fd()), 0);
    Fd slave;
    ASSERT_TRUE(slave.open(::ptsname(master.lowlevel_fd()), O_RDWR | O_NOCTTY));

    termios before;
    ASSERT_EQ(::tcgetattr(slave.lowlevel_fd(), &before), 0);
    before.c_lflag |= ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN | ECHOKE;
    ASSERT_EQ(::tcsetattr(slave.lowlevel_fd(), TCSANOW, &before), 0);
    {
        StdinSwap swap(slave.lowlevel_fd());
        EXPECT_TRUE(Console::SwitchToBinaryMode());
        EXPECT_TRUE(Console::SwitchToNonBlockMode());
    }
    termios after;
    ASSERT_EQ(::tcgetattr(slave.lowlevel_fd(), &after), 0);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOPRT | ECHOCTL), 0u);
    EXPECT_EQ(after.c_lflag & (ISIG | IEXTEN | ECHOKE), static_cast<tcflag_t>(ISIG | IEXTEN | ECHOKE));
    EXPECT_TRUE(::fcntl(slave.lowlevel_fd(), F_GETFL) & O_NONBLOCK);
}

TEST(Console, NotATerminalIsReportedAndLeftAlone) {
    Fd null;
    ASSERT_TRUE(null.open("/dev/null", O_RDONLY));
    testing::internal::CaptureStderr();
    bool ok;
    {
        StdinSwap swap(null.lowlevel_fd());
        ok = Console::SwitchToBinaryMode();
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "can't obtain terminal attributes\n");
}

}  // namespace
