#include "core/async_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <iostream>
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

std::string Drain(int fd) {
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof(buffer))) > 0) out.append(buffer, n);
    return out;
}

}  // namespace

TEST_F(LoopTest, CopiesThreeThousandBytesInPiecesOfTheBufferSize) {
    int in[2], out[2];
    ASSERT_EQ(0, ::pipe(in));
    ASSERT_EQ(0, ::pipe2(out, O_NONBLOCK));
    std::string data(3000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    ASSERT_EQ(3000, ::write(in[1], data.data(), data.size()));
    ::close(in[1]);
    Owner owner;
    ASync::Copy copy;
    copy.Bind(&Owner::OnComplete, &owner);
    copy.set_events({POLLIN, POLLOUT, 0});
    copy.Start(Fd(in[0]), Fd(out[1]));
    // The pipe holds it all: 1024, 1024 and 952 bytes, each written before the next read.
    EXPECT_EQ((std::vector<int>{ASync::Copy::Status::done}), owner.statuses);
    EXPECT_EQ(3000u, copy.written());
    EXPECT_EQ(1024u, copy.bufsize());
    ::close(out[1]);
    EXPECT_EQ(data, Drain(out[0]));
    ::close(out[0]);
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
