#include "core/fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

bool IsCloexec(int fd) {
    return (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0;
}
bool IsOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

bool SameFile(int a, int b) {
    struct stat sa, sb;
    return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

TEST(Fd, AdoptingMarksCloseOnExec) {
    int raw[2];
    ASSERT_EQ(::pipe(raw), 0);
    ASSERT_FALSE(IsCloexec(raw[0]));
    Fd r(raw[0]), w(raw[1]);
    EXPECT_TRUE(IsCloexec(r.lowlevel_fd()));
    EXPECT_TRUE(r.is_valid());
    EXPECT_TRUE(r);
}

TEST(Fd, CopyIsAnIndependentCloseOnExecDuplicate) {
    int raw[2];
    ASSERT_EQ(::pipe(raw), 0);
    Fd w(raw[1]);
    Fd r(raw[0]);
    int original = r.lowlevel_fd();
    {
        Fd copy(r);
        ASSERT_TRUE(copy.is_valid());
        EXPECT_NE(copy.lowlevel_fd(), original);
        EXPECT_TRUE(SameFile(copy.lowlevel_fd(), original));
        EXPECT_TRUE(IsCloexec(copy.lowlevel_fd()));

        // Data written once is readable through either number: one open file.
        ASSERT_EQ(write(w, "x", 1), 1);
        char c = 0;
        ASSERT_EQ(read(copy, &c, 1), 1);
        EXPECT_EQ(c, 'x');

        int copied = copy.lowlevel_fd();
        EXPECT_EQ(copy.close(), 0);
        EXPECT_FALSE(IsOpen(copied));
    }
    EXPECT_TRUE(IsOpen(original));  // closing the copy left ours alone
}

TEST(Fd, AssignmentDuplicatesAndClosesTheOldDescriptor) {
    int raw[2];
    ASSERT_EQ(::pipe(raw), 0);
    Fd r(raw[0]), w(raw[1]);
    w = r;  // the pipe's only write end is closed now
    EXPECT_NE(w.lowlevel_fd(), r.lowlevel_fd());
    EXPECT_TRUE(SameFile(r.lowlevel_fd(), w.lowlevel_fd()));
    EXPECT_TRUE(IsCloexec(w.lowlevel_fd()));
    ASSERT_TRUE(r.NonBlock());
    char c;
    EXPECT_EQ(read(r, &c, 1), 0);  // end of file, not EAGAIN
}

TEST(Fd, SelfAssignmentKeepsTheDescriptor) {
    int raw[2];
    ASSERT_EQ(::pipe(raw), 0);
    Fd a(raw[0]), w(raw[1]);
    int before = a.lowlevel_fd();
    Fd& alias = a;
    a = alias;
    EXPECT_EQ(a.lowlevel_fd(), before);
    EXPECT_TRUE(IsOpen(before));
}

TEST(Fd, MoveTransfersWithoutDuplicating) {
    int raw[2];
    ASSERT_EQ(::pipe(raw), 0);
    Fd a(raw[0]), w(raw[1]);
    Fd b(std::move(a));
    EXPECT_EQ(b.lowlevel_fd(), raw[0]);
    EXPECT_FALSE(a.is_valid());
}

TEST(Fd, CloseOnEmptyGivesEbadf) {
    Fd empty;
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty.lowlevel_fd(), -1);
    errno = 0;
    EXPECT_EQ(empty.close(), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(empty.dup(), -1);
    EXPECT_FALSE(empty.NonBlock());

    Fd copy(empty);
    EXPECT_FALSE(copy.is_valid());

    int raw[2];
    ASSERT_EQ(::pipe(raw), 0);
    Fd r(raw[0]), w(raw[1]);
    EXPECT_EQ(close(r), 0);
    errno = 0;
    EXPECT_EQ(r.close(), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST(Fd, OpenMarksCloseOnExecAndReplaces) {
    Fd f;
    ASSERT_TRUE(f.open("/dev/null", O_RDONLY));
    EXPECT_TRUE(IsCloexec(f.lowlevel_fd()));
    int first = f.lowlevel_fd();
    ASSERT_TRUE(f.open("/dev/null", O_WRONLY));
    EXPECT_TRUE(IsOpen(f.lowlevel_fd()));
    EXPECT_EQ(::fcntl(f.lowlevel_fd(), F_GETFL) & O_ACCMODE, O_WRONLY);
    (void)first;
    EXPECT_FALSE(f.open("/nonexistent/file", O_RDONLY));
    EXPECT_FALSE(f.is_valid());
}

TEST(Fd, NonBlockAndBlockModes) {
    int raw[2];
    ASSERT_EQ(::pipe(raw), 0);
    Fd r(raw[0]), w(raw[1]);
    ASSERT_TRUE(r.NonBlock());
    EXPECT_TRUE(::fcntl(r.lowlevel_fd(), F_GETFL) & O_NONBLOCK);
    char c;
    errno = 0;
    EXPECT_EQ(read(r, &c, 1), -1);
    EXPECT_EQ(errno, EAGAIN);
    ASSERT_TRUE(BlockMode(r.lowlevel_fd()));
    EXPECT_FALSE(::fcntl(r.lowlevel_fd(), F_GETFL) & O_NONBLOCK);
    ASSERT_TRUE(NonBlockMode(r.lowlevel_fd()));
    EXPECT_TRUE(::fcntl(r.lowlevel_fd(), F_GETFL) & O_NONBLOCK);
    EXPECT_FALSE(NonBlockMode(-1));

    SetCloexec(r.lowlevel_fd(), false);
    EXPECT_FALSE(IsCloexec(r.lowlevel_fd()));
    SetCloexec(r.lowlevel_fd(), true);
    EXPECT_TRUE(IsCloexec(r.lowlevel_fd()));
    errno = 0;
    EXPECT_FALSE(SetCloexec(-1, true));
    EXPECT_EQ(EBADF, errno);
}

// True when a child shell finds the descriptor open.
bool ChildSees(int fd) {
    std::string cmd = "/bin/sh -c '[ -e /proc/$$/fd/" + std::to_string(fd) + " ]'";
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A child program sees none of the descriptors an Fd holds.
TEST(Fd, ChildProgramDoesNotInheritDescriptors) {
    int raw[2];
    ASSERT_EQ(::pipe(raw), 0);
    EXPECT_TRUE(ChildSees(raw[0]));  // the probe itself works
    Fd r(raw[0]), w(raw[1]);
    Fd copy(w);
    EXPECT_FALSE(ChildSees(r.lowlevel_fd()));
    EXPECT_FALSE(ChildSees(w.lowlevel_fd()));
    EXPECT_FALSE(ChildSees(copy.lowlevel_fd()));
}

}  // namespace
