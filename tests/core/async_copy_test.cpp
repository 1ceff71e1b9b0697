#include "core/async_copy.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/fd.h"
#include "tests/core/multiplexer_test.h"

namespace {

// The owner of a copy: keeps every completion and stops the loop.
struct Owner {
    void OnComplete(ASync::Copy::Status::Type s) {
        statuses.push_back(s);
        multiplexer.terminate();
    }
    std::vector<int> statuses;
};

}  // namespace

TEST_F(LoopTest, CopiesThreeThousandBytesInPiecesOfTheBufferSize) {
    int in[2], out[2];
    ASSERT_EQ(0, ::pipe(in));
    // A packet socket keeps each write apart, so the pieces show at the far end.
    ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0, out));
    std::string data(3000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    ASSERT_EQ(3000, ::write(in[1], data.data(), data.size()));
    ::close(in[1]);
    Owner owner;
    ASync::Copy copy;
    copy.Bind(&Owner::OnComplete, &owner);
    copy.set_events({POLLIN, POLLOUT, 0});
    copy.Start(Fd(in[0]), Fd(out[0]));
    EXPECT_EQ((std::vector<int>{ASync::Copy::Status::done}), owner.statuses);
    EXPECT_EQ(3000u, copy.written());
    EXPECT_EQ(1024u, copy.bufsize());
    // One 1024-byte buffer carried them all in order: each piece was written before the
    // next read refilled it.
    std::vector<size_t> pieces;
    std::string received;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(out[1], buffer, sizeof(buffer), MSG_DONTWAIT)) > 0) {
        pieces.push_back(static_cast<size_t>(n));
        received.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ((std::vector<size_t>{1024, 1024, 952}), pieces);
    EXPECT_EQ(data, received);
    ::close(out[1]);
}

TEST_F(LoopTest, CopyWaitsForTheSourceAndTheFlushEvent) {
    SocketPair src, dst;
    ::fcntl(src.fd[0], F_SETFL, O_NONBLOCK);
    Owner owner;
    ASync::Copy copy;
    copy.Bind(&Owner::OnComplete, &owner);
    copy.Start(Fd(::dup(src.fd[0])), Fd(::dup(dst.fd[0])));
    EXPECT_EQ(ASync::Copy::Status::running, copy.status());
    ASSERT_EQ(5, ::write(src.fd[1], "hello", 5));
    src.close(1);
    run();
    EXPECT_EQ((std::vector<int>{ASync::Copy::Status::done}), owner.statuses);
    char buffer[16] = {};
    EXPECT_EQ(5, ::read(dst.fd[1], buffer, sizeof(buffer)));
    EXPECT_STREQ("hello", buffer);
    EXPECT_EQ(0u, multiplexer.handler_count());
}

TEST_F(LoopTest, EmptySourceCompletesAtOnceWithoutFlushWait) {
    int in[2], out[2];
    ASSERT_EQ(0, ::pipe(in));
    ASSERT_EQ(0, ::pipe(out));
    ::close(in[1]);
    Owner owner;
    ASync::Copy copy;
    copy.Bind(&Owner::OnComplete, &owner);
    copy.set_events({POLLIN, POLLOUT, 0});
    copy.Start(Fd(in[0]), Fd(out[1]));
    EXPECT_EQ((std::vector<int>{ASync::Copy::Status::done}), owner.statuses);
    EXPECT_EQ(0u, copy.written());
    ::close(out[0]);
}

TEST_F(LoopTest, EmptySourceWithAFlushMaskWaitsForTheDestination) {
    SocketPair dst;
    Owner owner;
    ASync::Copy copy;
    copy.Bind(&Owner::OnComplete, &owner);
    copy.Start(Fd(::open("/dev/null", O_RDONLY)), Fd(::dup(dst.fd[0])));
    EXPECT_TRUE(owner.statuses.empty());
    EXPECT_EQ(ASync::Copy::Status::flushing, copy.status());
    run();
    EXPECT_EQ((std::vector<int>{ASync::Copy::Status::done}), owner.statuses);
    EXPECT_EQ(0u, copy.written());
    EXPECT_EQ(0u, multiplexer.handler_count());
}

TEST_F(LoopTest, DestinationHangUpFailsTheCopyWithWriteErrorZero) {
    SocketPair src, dst;
    ::fcntl(src.fd[0], F_SETFL, O_NONBLOCK);
    ::fcntl(dst.fd[0], F_SETFL, O_NONBLOCK);
    Owner owner;
    ASync::Copy copy;
    copy.Bind(&Owner::OnComplete, &owner);
    copy.Start(Fd(::dup(src.fd[0])), Fd(::dup(dst.fd[0])));
    dst.close(1);
    run();
    EXPECT_EQ((std::vector<int>{ASync::Copy::Status::failed}), owner.statuses);
    EXPECT_EQ(0, copy.write_error());
}

TEST_F(LoopTest, SettingsChangeCancelsARunningCopyOnly) {
    SocketPair src, dst;
    ::fcntl(src.fd[0], F_SETFL, O_NONBLOCK);
    Owner owner;
    ASync::Copy copy;
    copy.Bind(&Owner::OnComplete, &owner);
    EXPECT_TRUE(copy.set_bufsize(8192));
    EXPECT_TRUE(owner.statuses.empty());
    std::ostringstream err;
    std::streambuf* old = std::cerr.rdbuf(err.rdbuf());
    EXPECT_FALSE(copy.set_bufsize(0));
    std::cerr.rdbuf(old);
    EXPECT_EQ("ASync::Copy: buffer size 0 refused\n", err.str());
    EXPECT_EQ(8192u, copy.bufsize());
    copy.Start(Fd(::dup(src.fd[0])), Fd(::dup(dst.fd[0])));
    copy.set_events({POLLIN, POLLOUT, 0});
    EXPECT_EQ((std::vector<int>{ASync::Copy::Status::cancelled}), owner.statuses);
    copy.set_bufsize(100);
    EXPECT_EQ(1u, owner.statuses.size());
    EXPECT_EQ(0u, multiplexer.handler_count());
}

TEST_F(LoopTest, StopWritesWhatWasReadThenEnds) {
    SocketPair src, dst;
    ::fcntl(src.fd[0], F_SETFL, O_NONBLOCK);
    Owner owner;
    ASync::Copy copy;
    copy.Bind(&Owner::OnComplete, &owner);
    copy.set_events({POLLIN, POLLOUT, 0});
    copy.Start(Fd(::dup(src.fd[0])), Fd(::dup(dst.fd[0])));
    copy.Stop();
    EXPECT_EQ((std::vector<int>{ASync::Copy::Status::done}), owner.statuses);
}

TEST_F(LoopTest, ReadAndWriteErrorsFailTheCopy) {
    int out[2];
    ASSERT_EQ(0, ::pipe(out));
    Owner owner;
    ASync::Copy copy;
    copy.Bind(&Owner::OnComplete, &owner);
    copy.set_events({POLLIN, POLLOUT, 0});
    // Reading a directory fails before any byte went through.
    copy.Start(Fd(::open("/", O_RDONLY | O_DIRECTORY)), Fd(::dup(out[1])));
    EXPECT_EQ((std::vector<int>{ASync::Copy::Status::failed}), owner.statuses);
    EXPECT_EQ(0, copy.write_error());
    // A destination open for reading only refuses the write: its errno is kept.
    int in[2];
    ASSERT_EQ(0, ::pipe(in));
    ASSERT_EQ(3, ::write(in[1], "abc", 3));
    copy.Start(Fd(::dup(in[0])), Fd(::dup(out[0])));
    EXPECT_EQ((std::vector<int>{ASync::Copy::Status::failed, ASync::Copy::Status::failed}), owner.statuses);
    EXPECT_EQ(EBADF, copy.write_error());
    EXPECT_EQ(0u, copy.written());
    EXPECT_EQ(0u, multiplexer.handler_count());
    for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
}

// The handler runs after the engine let go of everything: it may start the engine
// again, or destroy it.
TEST_F(LoopTest, OwnerMayRestartOrDestroyTheCopyFromItsHandler) {
    struct Restarter {
        void OnComplete(ASync::Copy::Status::Type s) {
            statuses.push_back(s);
            if (statuses.size() == 1) copy->Start(Fd(::open("/dev/null", O_RDONLY)), Fd(::dup(sink)));
        }
        ASync::Copy* copy;
        int sink;
        std::vector<int> statuses;
    };
    int out[2];
    ASSERT_EQ(0, ::pipe(out));
    ASync::Copy copy;
    Restarter restarter{&copy, out[1], {}};
    copy.Bind(&Restarter::OnComplete, &restarter);
    copy.set_events({POLLIN, POLLOUT, 0});
    copy.Start(Fd(::open("/dev/null", O_RDONLY)), Fd(::dup(out[1])));
    EXPECT_EQ((std::vector<int>{ASync::Copy::Status::done, ASync::Copy::Status::done}), restarter.statuses);

    struct Destroyer {
        void OnComplete(ASync::Copy::Status::Type s) {
            status = s;
            copy.reset();
            multiplexer.terminate();
        }
        std::unique_ptr<ASync::Copy> copy = std::make_unique<ASync::Copy>();
        int status = -1;
    } destroyer;
    SocketPair src;
    ::fcntl(src.fd[0], F_SETFL, O_NONBLOCK);
    destroyer.copy->Bind(&Destroyer::OnComplete, &destroyer);
    destroyer.copy->Start(Fd(::dup(src.fd[0])), Fd(::dup(out[1])));
    ASSERT_EQ(2, ::write(src.fd[1], "hi", 2));
    src.close(1);
    // The flush event of the destination ends the copy; its handler frees the engine.
    run();
    EXPECT_EQ(ASync::Copy::Status::done, destroyer.status);
    EXPECT_FALSE(destroyer.copy);
    EXPECT_EQ(0u, multiplexer.handler_count());
    ::close(out[0]);
    ::close(out[1]);
}
