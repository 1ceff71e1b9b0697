#include "core/child_wait.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/dpc.h"
#include "core/timer.h"
#include "tests/core/multiplexer_test.h"

namespace {

pid_t Spawn(int exit_code) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(exit_code);
    return pid;
}

pid_t SpawnSleeper() {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::pause();
        ::_exit(0);
    }
    return pid;
}

struct Slot {
    Slot() { watch.Bind(this, &Slot::on_terminate); }
    void on_terminate(int status) {
        statuses.push_back(status);
        if (stop_after != 0 && statuses.size() >= stop_after) multiplexer.terminate();
        if (destroy_self) self.reset();
    }
    ChildWait watch;
    std::vector<int> statuses;
    size_t stop_after = 0;
    bool destroy_self = false;
    std::unique_ptr<Slot> self;
};

struct Stopper {
    void Stop() { multiplexer.terminate(); }
};

// Runs the loop until done() holds, checked twice a pass.
void RunWhile(std::function<bool()> done) {
    struct Check {
        void On() {
            if (done()) multiplexer.terminate();
        }
        std::function<bool()> done;
    } check{std::move(done)};
    Dpc dpc;
    dpc.Bind(&check, &Check::On);
    dpc.Activate();
    multiplexer.run(false, true);
}

// Runs the loop until every slot has its exit.
void RunUntil(const std::vector<Slot*>& slots) {
    RunWhile([slots] {
        for (Slot* s : slots)
            if (s->statuses.empty()) return false;
        return true;
    });
}

bool NoZombies() {
    int status;
    errno = 0;
    return ::waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

class ChildWaitTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ChildWait::Activate(); }
    void SetUp() override { multiplexer.set_poll({}); }
};

}  // namespace

TEST_F(ChildWaitTest, ServiceExistsBeforeMainAndIsPolled) {
    ASSERT_NE(nullptr, ChildWaitService::childWaitService);
    EXPECT_TRUE(ChildWaitService::childWaitService->IsActive());
    EXPECT_EQ("ChildWaitService::OnChildEvent", ChildWaitService::childWaitService->event_name());
    ChildWait::Activate();  // a second activation changes nothing
    EXPECT_EQ(1u, multiplexer.handler_count());
}

TEST_F(ChildWaitTest, ExitStatusesReachTheirOwnersInTheLoop) {
    Slot first, second;
    pid_t a = Spawn(3);
    first.watch.Attach(a);
    pid_t b = SpawnSleeper();
    second.watch.Attach(b);
    EXPECT_EQ(2u, ChildWaitService::childWaitService->watch_count());
    ::kill(b, SIGKILL);
    std::ostringstream log;
    std::streambuf* old = std::clog.rdbuf(log.rdbuf());
    RunUntil({&first, &second});
    std::clog.rdbuf(old);
    ASSERT_EQ(1u, first.statuses.size());
    ASSERT_EQ(1u, second.statuses.size());
    EXPECT_TRUE(WIFEXITED(first.statuses[0]));
    EXPECT_EQ(3, WEXITSTATUS(first.statuses[0]));
    EXPECT_TRUE(WIFSIGNALED(second.statuses[0]));
    EXPECT_EQ(SIGKILL, WTERMSIG(second.statuses[0]));
    EXPECT_NE(std::string::npos,
              log.str().find("terminate child process, pid=" + std::to_string(a) + " status=768\n"));
    EXPECT_EQ(0u, ChildWaitService::childWaitService->watch_count());
    EXPECT_TRUE(NoZombies());
}

TEST_F(ChildWaitTest, UnclaimedExitIsLoggedAndDroppedAndOthersStayListed) {
    Slot waiting;
    pid_t sleeper = SpawnSleeper();
    waiting.watch.Attach(sleeper);
    Slot gone;
    pid_t unclaimed = 0;
    {
        Slot early;
        unclaimed = Spawn(0);
        early.watch.Attach(unclaimed);
    }
    Slot plain;
    plain.watch.Attach(Spawn(0));
    std::ostringstream log;
    std::streambuf* old = std::clog.rdbuf(log.rdbuf());
    // The unclaimed child may exit after the watched one: wait for both.
    const std::string unclaimed_line = "terminate child process, pid=" + std::to_string(unclaimed) + " ";
    RunWhile([&] { return !plain.statuses.empty() && log.str().find(unclaimed_line) != std::string::npos; });
    std::clog.rdbuf(old);
    EXPECT_EQ((std::vector<int>{0}), plain.statuses);
    EXPECT_EQ(1u, ChildWaitService::childWaitService->watch_count());
    EXPECT_TRUE(waiting.watch.listed());
    ::kill(sleeper, SIGTERM);
    RunUntil({&waiting});
    EXPECT_EQ(1u, waiting.statuses.size());
    EXPECT_TRUE(NoZombies());
}

TEST_F(ChildWaitTest, OwnerMayDestroyItselfFromItsHandler) {
    auto slot = std::make_unique<Slot>();
    Slot* raw = slot.get();
    raw->destroy_self = true;
    raw->stop_after = 1;
    raw->self = std::move(slot);
    raw->watch.Attach(Spawn(7));
    Stopper stopper;
    Timer guard;
    guard.set(10000, &Stopper::Stop, &stopper);
    multiplexer.run(false, true);
    EXPECT_TRUE(NoZombies());
}

TEST_F(ChildWaitTest, AttachingTwiceKeepsOneEntryAndRebindingUsesNoHeap) {
    Slot s;
    s.watch.Attach(123456);
    s.watch.Attach(123456);
    EXPECT_EQ(1u, ChildWaitService::childWaitService->watch_count());
    s.watch.Bind(&s, &Slot::on_terminate);
    s.watch.Detach();
    s.watch.Detach();
    EXPECT_EQ(0u, ChildWaitService::childWaitService->watch_count());
    ChildWait unbound;
    unbound.Attach(Spawn(1));
    RunWhile([&] { return !unbound.listed(); });
    EXPECT_TRUE(NoZombies());
}

// Fifty children end while the loop is busy elsewhere: the socket pair holds only a
// few records, the handler must neither block nor lose them, and errno survives it.
TEST_F(ChildWaitTest, BurstOfExitsWhileTheLoopStallsLeavesNoZombieAndNoHang) {
    constexpr int kChildren = 50;
    std::vector<std::unique_ptr<Slot>> slots;
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGCHLD);
    for (int i = 0; i < kChildren; ++i) {
        slots.push_back(std::make_unique<Slot>());
        slots.back()->watch.Attach(Spawn(i));
    }
    // Let every child end, then deliver SIGCHLD while errno holds a value of ours.
    ::sigprocmask(SIG_BLOCK, &block, &old);
    for (int i = 0; i < kChildren; ++i) {
        siginfo_t info;
        ::waitid(P_ALL, 0, &info, WEXITED | WNOWAIT);
        usleep(1000);
    }
    errno = EDOM;
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
    EXPECT_EQ(EDOM, errno);
    std::ostringstream log;
    std::streambuf* saved = std::clog.rdbuf(log.rdbuf());
    std::vector<Slot*> raw;
    for (auto& s : slots) raw.push_back(s.get());
    RunUntil(raw);
    std::clog.rdbuf(saved);
    for (int i = 0; i < kChildren; ++i) {
        ASSERT_EQ(1u, slots[i]->statuses.size()) << i;
        EXPECT_EQ(i, WEXITSTATUS(slots[i]->statuses[0]));
    }
    EXPECT_TRUE(NoZombies());
}

// Activates a second service with room for one more descriptor only (the pair needs
// two); exits 0 when it stayed idle and attached nothing.
static void ActivateWithoutRoomForAPair() {
    const int lowest = ::dup(0);
    ::close(lowest);
    rlimit limit;
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(lowest + 1);
    ::setrlimit(RLIMIT_NOFILE, &limit);
    ChildWaitService service;
    const unsigned handlers = multiplexer.handler_count();
    service.Activate();
    std::exit(!service.IsActive() && multiplexer.handler_count() == handlers ? 0 : 1);
}

// Without a socket pair there is no supervision: one line, and nothing is polled.
TEST(ChildWaitDeathTest, SocketPairFailureIsReportedAndLeavesTheServiceIdle) {
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
    // The sanitizers' own checks need descriptors that this test takes away.
    GTEST_SKIP() << "needs free descriptors under the sanitizers";
#endif
#endif
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(ActivateWithoutRoomForAPair(), testing::ExitedWithCode(0),
                "^ChildWaitService: initialize fails\n$");
}
