#include "core/multiplexer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <string>

#include "core/dpc.h"
#include "core/event.h"
#include "core/fd.h"
#include "core/timer.h"
#include "tests/core/lasting_lines.h"
#include "tests/core/multiplexer_test.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct TempPath {
    TempPath() {
        char name[] = "/tmp/mux-test-XXXXXX";
        int fd = ::mkstemp(name);
        ::close(fd);
        path = name;
    }
    ~TempPath() { ::unlink(path.c_str()); }
    std::string path;
};

// A FIFO in a directory of its own, both gone with the object however the test ends.
struct TempFifo {
    TempFifo() {
        char name[] = "/tmp/mux-fifo-XXXXXX";
        if (::mkdtemp(name) == nullptr) return;
        dir = name;
        path = dir + "/watchdog";
        made = ::mkfifo(path.c_str(), 0600) == 0;
    }
    ~TempFifo() {
        ::unlink(path.c_str());
        ::rmdir(dir.c_str());
    }
    std::string dir, path;
    bool made = false;
};

// Captures one standard stream for the life of the object.
struct Capture {
    explicit Capture(std::ostream& os) : os(os), old(os.rdbuf(text.rdbuf())) {}
    ~Capture() { os.rdbuf(old); }
    std::string str() const { return text.str(); }
    std::ostream& os;
    std::stringstream text;
    std::streambuf* old;
};

struct Stopper {
    void Stop() { multiplexer.terminate(); }
};

}  // namespace

// ---- poll time-out, watchdog, hang detector ----

TEST_F(LoopTest, PollWaitsWithoutLimitWithoutTimersAndAtMostOneSecondWithWatchdog) {
    std::vector<std::string> log;
    SocketPair pair;
    Probe probe("probe", log);
    probe.event.Schedule(Fd(::dup(pair.fd[0])), POLLIN);
    max_passes = 1;
    run();
    ASSERT_EQ(1u, timeouts.size());
    EXPECT_EQ(-1, timeouts[0]);

    TempPath wd;
    multiplexer.set_watchdog_path(wd.path);
    timeouts.clear();
    run(true);
    ASSERT_EQ(1u, timeouts.size());
    EXPECT_EQ(1000, timeouts[0]);
    multiplexer.set_watchdog_path(Multiplexer::kWatchdogPath);
}

TEST_F(LoopTest, WatchdogSeesStartPingOncePerSecondAndStop) {
    TempPath wd;
    multiplexer.set_watchdog_path(wd.path);
    Stopper stopper;
    Timer stop;
    stop.set(5000, &Stopper::Stop, &stopper);
    run(true);
    multiplexer.set_watchdog_path(Multiplexer::kWatchdogPath);
    // Pings at 1 s .. 5 s; the timer stops the loop at 5 s before another poll.
    EXPECT_EQ("STARTPINGPINGPINGPINGPINGSTOP", ReadFile(wd.path));
    EXPECT_EQ((std::vector<int>{1000, 1000, 1000, 1000, 1000}), timeouts);
}

TEST_F(LoopTest, WatchdogOnAFifo) {
    TempFifo fifo;
    ASSERT_TRUE(fifo.made);
    const std::string& path = fifo.path;
    int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    multiplexer.set_watchdog_path(path);
    Stopper stopper;
    Timer stop;
    stop.set(2500, &Stopper::Stop, &stopper);
    run(true);
    multiplexer.set_watchdog_path(Multiplexer::kWatchdogPath);
    char buffer[64] = {};
    ssize_t n = ::read(reader, buffer, sizeof(buffer) - 1);
    ::close(reader);
    ASSERT_GT(n, 0);
    EXPECT_STREQ("STARTPINGPINGSTOP", buffer);
    EXPECT_EQ((std::vector<int>{1000, 1000, 500}), timeouts);
}

TEST_F(LoopTest, WatchdogThatRefusesStartIsDroppedAndTheCapWithIt) {
    multiplexer.set_watchdog_path("/dev/full");
    std::vector<std::string> log;
    SocketPair pair;
    Probe probe("probe", log);
    probe.event.Schedule(Fd(::dup(pair.fd[0])), POLLIN);
    max_passes = 1;
    Capture err(std::cerr);
    run(true);
    multiplexer.set_watchdog_path(Multiplexer::kWatchdogPath);
    EXPECT_EQ(0u, err.str().find("Mux: fail to activate watchdog: "));
    EXPECT_EQ((std::vector<int>{-1}), timeouts);
}

TEST_F(LoopTest, MissingWatchdogIsReported) {
    multiplexer.set_watchdog_path("/nonexistent/gw-wd");
    Stopper stopper;
    Timer stop;
    stop.set(10, &Stopper::Stop, &stopper);
    Capture err(std::cerr);
    run(true);
    multiplexer.set_watchdog_path(Multiplexer::kWatchdogPath);
    EXPECT_EQ("Mux: fail to open watchdog: No such file or directory\n", err.str());
}

// Runs the loop with the watchdog on a FIFO for `passes` one-second passes, and returns
// what reached the error stream: a ping fails with a broken pipe in a pass that
// `reading` says has no reader.
static std::string PingThroughFifo(std::vector<int>& timeouts, Mux::ManualClock& clock, size_t passes,
                                   const std::function<bool(size_t)>& reading) {
    TempFifo fifo;
    EXPECT_TRUE(fifo.made);
    int reader = ::open(fifo.path.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_GE(reader, 0);
    multiplexer.set_watchdog_path(fifo.path);
    void (*old_pipe)(int) = ::signal(SIGPIPE, SIG_IGN);
    multiplexer.set_poll([&](pollfd*, nfds_t, int timeout) {
        timeouts.push_back(timeout);
        const bool read = reading(timeouts.size());
        if (!read && reader >= 0) {
            ::close(reader);
            reader = -1;
        } else if (read && reader < 0) {
            reader = ::open(fifo.path.c_str(), O_RDONLY | O_NONBLOCK);
        }
        if (timeouts.size() == passes) multiplexer.terminate();
        clock.advance_ms(static_cast<uint64_t>(timeout));
        return 0;
    });
    struct Idle {
        void On() {}
    } idle;
    Timer far;
    far.set(7200000, &Idle::On, &idle);
    Capture err(std::cerr);
    Capture log(std::clog);
    multiplexer.run(true, true);
    ::signal(SIGPIPE, old_pipe);
    multiplexer.set_watchdog_path(Multiplexer::kWatchdogPath);
    if (reader >= 0) ::close(reader);
    return err.str();
}

TEST_F(LoopTest, FailedPingsAreOneConditionUntilAPingWorksAndAFailedStopIsReported) {
    // A reader only during the third poll.
    const std::string errors = PingThroughFifo(timeouts, clock, 4, [](size_t pass) { return pass == 3; });
    EXPECT_EQ((std::vector<int>{1000, 1000, 1000, 1000}), timeouts);
    EXPECT_EQ(
        "Mux: ping watchdog failed: Broken pipe\n"
        "Mux: ping watchdog failed: Broken pipe (ended; 1 more like it suppressed since the last line; it "
        "lasted "
        "2.0 s, 2 in all)\n"
        "Mux: ping watchdog failed: Broken pipe (still on at the stop; 1 more like it suppressed since the "
        "last line; it has lasted 0.0 s, 1 in all)\n"
        "Mux: stop watchdog failed: Broken pipe\n",
        errors);
}

TEST_F(LoopTest, APingThatFailsEveryOtherSecondForAnHourIsEightLinesThatCountEveryFailure) {
    std::istringstream errors(
        PingThroughFifo(timeouts, clock, 3600, [](size_t pass) { return pass % 2 == 0; }));
    std::vector<std::string> lines;
    for (std::string line; std::getline(errors, line);) lines.push_back(line);
    EXPECT_LE(lines.size(), 8u);
    const ConditionLines c = Account(lines, "Mux: ping watchdog failed: Broken pipe");
    EXPECT_EQ(c.counted, 1800u);
    EXPECT_TRUE(c.ended);
}

TEST_F(LoopTest, LoopClockGoingBackwardsAlsoPings) {
    TempPath wd;
    multiplexer.set_watchdog_path(wd.path);
    // Loop clock after each poll: +500 (first ping), back 100, +999, +1.
    multiplexer.set_poll([this](pollfd*, nfds_t, int timeout) {
        timeouts.push_back(timeout);
        switch (timeouts.size()) {
            case 1:
                clock.advance_ms(500);
                break;
            case 2:
                clock.set_ms(kStart + 400);
                break;
            case 3:
                clock.advance_ms(999);
                break;
            default:
                clock.advance_ms(1);
                multiplexer.terminate();
        }
        return 0;
    });
    struct Idle {
        void On() {}
    } idle;
    Timer far;
    far.set(60000, &Idle::On, &idle);
    run(true);
    multiplexer.set_watchdog_path(Multiplexer::kWatchdogPath);
    EXPECT_EQ(4u, timeouts.size());
    EXPECT_EQ("STARTPINGPINGPINGSTOP", ReadFile(wd.path));
}

TEST_F(LoopTest, InterruptedPollStartsTheNextPassWithoutServing) {
    std::vector<std::string> log;
    SocketPair pair;
    Probe probe("probe", log);
    probe.event.Schedule(Fd(::dup(pair.fd[0])), POLLIN);
    multiplexer.set_poll([this](pollfd*, nfds_t, int timeout) {
        timeouts.push_back(timeout);
        if (timeouts.size() == 1) {
            errno = EINTR;
            return -1;
        }
        multiplexer.terminate();
        return 0;
    });
    Capture err(std::cerr);
    run();
    EXPECT_EQ((std::vector<int>{-1, -1}), timeouts);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ("", err.str());
}

TEST(LoopDeathTest, FailedPollAborts) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(
        {
            SocketPair pair;
            Event event;
            event.Schedule(Fd(::dup(pair.fd[0])), POLLIN);
            multiplexer.set_poll([](pollfd*, nfds_t, int) {
                errno = EINVAL;
                return -1;
            });
            multiplexer.run(false, true);
        },
        "multiplexer poll failed: Invalid argument");
}

TEST(LoopDeathTest, NothingToWaitForIsAHang) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(multiplexer.run(false, true), "multiplexer: system hang detected!!!");
    TempPath wd;
    multiplexer.set_watchdog_path(wd.path);
    EXPECT_DEATH(multiplexer.run(true, true), "multiplexer: system hang detected!!!");
    multiplexer.set_watchdog_path(Multiplexer::kWatchdogPath);
}

TEST_F(LoopTest, StopRequestBeforeRunIsDiscarded) {
    multiplexer.terminate();
    Stopper stopper;
    Timer stop;
    stop.set(20, &Stopper::Stop, &stopper);
    run();
    EXPECT_EQ((std::vector<int>{20}), timeouts);
}

TEST_F(LoopTest, CachedClockHoldsWithinAPassAndIsLetGoAfterTheRun) {
    struct Reader {
        void On() {
            first = Mux::milliseconds();
            clock->advance_ms(5);
            second = Mux::milliseconds();
            multiplexer.terminate();
        }
        Mux::ManualClock* clock;
        uint32_t first = 0;
        uint32_t second = 0;
    } reader{&clock};
    Timer timer;
    timer.set(100, &Reader::On, &reader);
    multiplexer.run(false, false);
    EXPECT_EQ(static_cast<uint32_t>(kStart + 100), reader.first);
    EXPECT_EQ(reader.first, reader.second);
    // Code that runs after the loop reads the clock itself again.
    EXPECT_EQ(static_cast<uint32_t>(kStart + 105), Mux::milliseconds());
}

// ---- timer step ----

TEST_F(LoopTest, WaitBeyondTwoHoursIsRebasedToOneSecond) {
    struct Counter {
        void On() { ++fired; }
        int fired = 0;
    } counter;
    Timer far, farther;
    far.set(7200001, &Counter::On, &counter);
    farther.set(7200005, &Counter::On, &counter);
    Capture err(std::cerr);
    EXPECT_EQ(1000, multiplexer.timers_schedule());
    EXPECT_NE(std::string::npos,
              err.str().find("******** RUNTIME ERROR CONDITION *************Multiplexer::timers_schedule() "
                             "invalid wait time detected!\nnow = "));
    EXPECT_NE(std::string::npos, err.str().find("count = 2\n"));
    clock.advance_ms(1000);
    multiplexer.timers_schedule();
    EXPECT_EQ(2, counter.fired);
}

TEST_F(LoopTest, WaitOfExactlyTwoHoursIsKept) {
    struct Counter {
        void On() {}
    } counter;
    Timer far;
    far.set(7200000, &Counter::On, &counter);
    Capture err(std::cerr);
    EXPECT_EQ(7200000, multiplexer.timers_schedule());
    EXPECT_EQ("", err.str());
}

// ---- deferred calls ----

TEST_F(LoopTest, DeferredCallsRunTwiceEveryPass) {
    struct Work {
        void On() { ++runs; }
        int runs = 0;
    } work;
    std::vector<std::string> log;
    SocketPair pair;
    Probe probe("probe", log);
    probe.event.Schedule(Fd(::dup(pair.fd[0])), POLLIN);
    Dpc dpc;
    dpc.Bind(&work, &Work::On);
    dpc.Activate();
    dpc.Activate();
    max_passes = 3;
    run();
    EXPECT_EQ(6, work.runs);
}

TEST_F(LoopTest, TimerArmedBySecondDeferredRunSetsThisPassTimeOut) {
    std::vector<std::string> log;
    SocketPair pair;
    Probe probe("probe", log);
    probe.event.Schedule(Fd(::dup(pair.fd[0])), POLLIN);
    struct Arm {
        void On() {
            if (++runs == 2) timer.set(40, &Arm::Fired, this);
        }
        void Fired() { multiplexer.terminate(); }
        int runs = 0;
        Timer timer;
    } arm;
    Dpc dpc;
    dpc.Bind(&arm, &Arm::On);
    dpc.Activate();
    run();
    EXPECT_EQ(40, timeouts.at(0));
}

TEST_F(LoopTest, TimerDueNowIsADueTimerNotNoTimer) {
    std::vector<std::string> log;
    SocketPair pair;
    Probe probe("probe", log);
    probe.event.Schedule(Fd(::dup(pair.fd[0])), POLLIN);
    struct Arm {
        void On() {
            if (++runs == 1) timer.set(0, &Arm::Fired, this);
        }
        void Fired() { multiplexer.terminate(); }
        int runs = 0;
        Timer timer;
    } arm;
    Dpc dpc;
    dpc.Bind(&arm, &Arm::On);
    dpc.Activate();
    TempPath wd;
    multiplexer.set_watchdog_path(wd.path);
    run(true);
    multiplexer.set_watchdog_path(Multiplexer::kWatchdogPath);
    EXPECT_EQ((std::vector<int>{0}), timeouts);
}

// ---- handlers ----

TEST_F(LoopTest, HandlersAreServedInAttachOrderAlsoWithoutEvents) {
    std::vector<std::string> log;
    SocketPair a, b, c;
    Probe pa("a", log), pb("b", log), pc("c", log);
    pa.event.Schedule(Fd(::dup(a.fd[0])), POLLIN);
    pb.event.Schedule(Fd(::dup(b.fd[0])), POLLIN);
    pc.event.Schedule(Fd(::dup(c.fd[0])), POLLIN);
    ASSERT_EQ(1, ::write(c.fd[1], "x", 1));
    ASSERT_EQ(1, ::write(a.fd[1], "x", 1));
    pc.action = [] { multiplexer.terminate(); };
    run();
    EXPECT_EQ((std::vector<std::string>{"a:1", "b:0", "c:1"}), log);
    EXPECT_EQ(1u, pa.event.counter());
    EXPECT_EQ(0u, pb.event.counter());
}

TEST_F(LoopTest, NoHandlerIsServedWhenPollTimesOut) {
    std::vector<std::string> log;
    SocketPair a;
    Probe pa("a", log);
    pa.event.Schedule(Fd(::dup(a.fd[0])), POLLIN);
    max_passes = 3;
    run();
    EXPECT_TRUE(log.empty());
}

TEST_F(LoopTest, TerminateInAHandlerStopsTheDispatchAndLeavesTheRestAttached) {
    std::vector<std::string> log;
    SocketPair a, b;
    Probe pa("a", log), pb("b", log);
    pa.event.Schedule(Fd(::dup(a.fd[0])), POLLIN);
    pb.event.Schedule(Fd(::dup(b.fd[0])), POLLIN);
    ASSERT_EQ(1, ::write(b.fd[1], "x", 1));
    pa.action = [] { multiplexer.terminate(); };
    Capture err(std::cerr);
    run();
    EXPECT_EQ((std::vector<std::string>{"a:0"}), log);
    EXPECT_TRUE(pb.event.attached());
    pb.event.Release();
    pa.event.Release();
    EXPECT_EQ("", err.str());
    EXPECT_EQ(0u, multiplexer.handler_count());
}

TEST_F(LoopTest, HandlerMayDetachItselfAnotherOrDestroyItsOwner) {
    std::vector<std::string> log;
    SocketPair a, b, c, d;
    auto pa = std::make_unique<Probe>("a", log);
    auto pb = std::make_unique<Probe>("b", log);
    auto pc = std::make_unique<Probe>("c", log);
    auto pd = std::make_unique<Probe>("d", log);
    pa->event.Schedule(Fd(::dup(a.fd[0])), POLLIN);
    pb->event.Schedule(Fd(::dup(b.fd[0])), POLLIN);
    pc->event.Schedule(Fd(::dup(c.fd[0])), POLLIN);
    pd->event.Schedule(Fd(::dup(d.fd[0])), POLLIN);
    ASSERT_EQ(1, ::write(a.fd[1], "x", 1));
    // a destroys itself, b releases itself and destroys c before c's turn; d stops.
    pa->action = [&] { pa.reset(); };
    pb->action = [&] {
        pb->event.Release();
        pc.reset();
    };
    pd->action = [] { multiplexer.terminate(); };
    Capture err(std::cerr);
    run();
    EXPECT_EQ((std::vector<std::string>{"a:1", "b:0", "d:0"}), log);
    EXPECT_EQ(1u, multiplexer.handler_count());
    pd.reset();
    EXPECT_EQ(0u, multiplexer.handler_count());
    EXPECT_EQ("", err.str());
}

TEST_F(LoopTest, HandlerDetachedBySecondDeferredRunIsNotServed) {
    std::vector<std::string> log;
    SocketPair a, b;
    Probe pa("a", log), pb("b", log);
    pa.event.Schedule(Fd(::dup(a.fd[0])), POLLIN);
    pb.event.Schedule(Fd(::dup(b.fd[0])), POLLIN);
    ASSERT_EQ(1, ::write(b.fd[1], "x", 1));
    struct Drop {
        void On() {
            if (++runs == 2) probe->event.Release();
        }
        Probe* probe;
        int runs = 0;
    } drop{&pa};
    Dpc dpc;
    dpc.Bind(&drop, &Drop::On);
    dpc.Activate();
    pb.action = [] { multiplexer.terminate(); };
    run();
    EXPECT_EQ((std::vector<std::string>{"b:1"}), log);
}

// A descriptor attached by the second run of deferred calls is not in this pass's poll
// set: the poll does not wait, so it is polled at once in the next pass.
TEST_F(LoopTest, HandlerAttachedBySecondDeferredRunIsPolledWithoutWaiting) {
    std::vector<std::string> log;
    SocketPair a;
    Probe pa("a", log);
    ASSERT_EQ(1, ::write(a.fd[1], "x", 1));
    struct Attach {
        void On() {
            if (++runs == 2) probe->event.Schedule(Fd(::dup(fd)), POLLIN);
        }
        Probe* probe;
        int fd;
        int runs = 0;
    } attach{&pa, a.fd[0]};
    Dpc dpc;
    dpc.Bind(&attach, &Attach::On);
    dpc.Activate();
    struct Idle {
        void On() {}
    } idle;
    Timer far;
    far.set(60000, &Idle::On, &idle);
    // A handler attached while the dispatch runs waits for the next pass too.
    Probe pb("b", log);
    pa.action = [&] {
        if (!pb.event.IsActive())
            pb.event.Schedule(Fd(::dup(a.fd[0])), POLLIN);
        else
            multiplexer.terminate();
    };
    run();
    EXPECT_EQ((std::vector<int>{0, 60000, -1}), timeouts);
    EXPECT_EQ((std::vector<std::string>{"a:1", "a:1"}), log);
}

TEST_F(LoopTest, RescheduledEventMovesToTheEndOfTheServingOrder) {
    std::vector<std::string> log;
    SocketPair a, b;
    Probe pa("a", log), pb("b", log);
    pa.event.Schedule(Fd(::dup(a.fd[0])), POLLIN);
    pb.event.Schedule(Fd(::dup(b.fd[0])), POLLIN);
    ASSERT_EQ(1, ::write(a.fd[1], "x", 1));
    int passes = 0;
    pa.action = [&] {
        if (++passes == 1)
            pa.event.Schedule(Fd(::dup(a.fd[0])), POLLIN);
        else
            multiplexer.terminate();
    };
    run();
    EXPECT_EQ((std::vector<std::string>{"a:1", "b:0", "b:0", "a:1"}), log);
}

TEST_F(LoopTest, DuplicateAttachAndInvalidDetachAreReported) {
    std::vector<std::string> log;
    SocketPair a;
    Probe pa("a", log);
    pa.event.Schedule(Fd(::dup(a.fd[0])), POLLIN);
    Capture err(std::cerr);
    multiplexer.attach(&pa.event);
    EXPECT_EQ(1u, multiplexer.handler_count());
    pa.event.Release();
    multiplexer.detach(&pa.event);
    EXPECT_EQ("duplicate multiplexer attach \"a\" ignored.\nindvalid Multiplexer::detach a\n", err.str());
}

// ---- status text ----

TEST(PollEventAsText, NamesEachBitInOrder) {
    EXPECT_EQ("", PollEventAsText(0));
    EXPECT_EQ("POLLIN|POLLERR|POLLHUP", PollEventAsText(0x19));
    EXPECT_EQ("POLLIN|POLLOUT", PollEventAsText(POLLIN | POLLOUT));
    EXPECT_EQ("POLLMSG", PollEventAsText(0x400 | 0x800));
}

TEST_F(LoopTest, DumpListsNamedHandlersWithTheirMeasures) {
    std::vector<std::string> log;
    SocketPair a;
    Probe pa("a-handler", log);
    pa.event.Schedule(Fd(::dup(a.fd[0])), POLLIN | POLLOUT);
    max_passes = 1;
    run();
    std::ostringstream os;
    multiplexer.dump(os);
    const std::string text = os.str();
    EXPECT_EQ(0u, text.find("dpc transition measurement (min/max/cur/counter): min="));
    EXPECT_NE(std::string::npos, text.find("\nevent transition measurement (min/max/cur/counter): "));
    EXPECT_NE(std::string::npos, text.find("\ntimer transition measurement (min/max/cur/counter): "));
    EXPECT_NE(std::string::npos, text.find("|                  name                  |"));
    EXPECT_NE(std::string::npos, text.find("a-handler"));
    EXPECT_NE(std::string::npos, text.find("POLLIN|POLLOUT"));
    EXPECT_NE(std::string::npos, text.find("attached"));
    EXPECT_NE(std::string::npos, text.find("min=0 max=0 avg=0 counter=0"));
}

// The cells of one row of the dump's table, cut at its column widths and trimmed;
// empty when the line is not such a row.
std::vector<std::string> DumpCells(const std::string& line) {
    static const size_t widths[] = {40, 30, 10, 10, 5, 60};
    std::vector<std::string> cells;
    size_t at = 0;
    for (size_t w : widths) {
        if (at + w + 1 > line.size() || line[at] != '|') return {};
        std::string cell = line.substr(at + 1, w);
        cell.erase(0, cell.find_first_not_of(' '));
        cell.erase(cell.find_last_not_of(' ') + 1);
        cells.push_back(cell);
        at += w + 1;
    }
    if (line.substr(at) != "|") return {};
    return cells;
}

TEST_F(LoopTest, DumpTableListsNamedHandlersOfTheActiveListOnly) {
    struct Plain : EventHandler {
        explicit Plain(int fd) : fd(fd) {}
        void shedule_event(pollfd& entry) override {
            entry.fd = fd;
            entry.events = POLLIN;
        }
        void svc_event(short) override {}
        int fd;
    };
    std::vector<std::string> log;
    SocketPair a, b, c;
    Probe named("a-handler", log);
    named.event.Schedule(Fd(::dup(a.fd[0])), POLLIN | POLLOUT);
    Event unbound;
    unbound.Schedule(Fd(::dup(b.fd[0])), POLLIN);
    Plain plain(c.fd[0]);
    plain.mux_attach();
    // The first pass serves every handler; the second poll stops the loop.
    max_passes = 2;
    run();
    Probe late("late", log);
    late.event.Schedule(Fd(::dup(c.fd[0])), POLLIN);

    std::ostringstream os;
    multiplexer.dump(os);
    std::istringstream text(os.str());
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
        if (!lines.empty() || line.rfind("+", 0) == 0) lines.push_back(line);
    const std::string rule = "+" + std::string(40, '-') + "+" + std::string(30, '-') + "+" +
                             std::string(10, '-') + "+" + std::string(10, '-') + "+" + std::string(5, '-') +
                             "+" + std::string(60, '-') + "+";
    ASSERT_EQ(7u, lines.size()) << os.str();
    EXPECT_EQ(rule, lines[0]);
    EXPECT_EQ((std::vector<std::string>{"name", "events", "count", "handler", "fd", "measure"}),
              DumpCells(lines[1]));
    EXPECT_EQ(rule, lines[2]);
    EXPECT_EQ(
        (std::vector<std::string>{"a-handler", "POLLIN|POLLOUT", "1", "attached",
                                  std::to_string(named.event.lowlevel_fd()), "min=0 max=0 avg=0 counter=0"}),
        DumpCells(lines[3]));
    EXPECT_EQ(
        (std::vector<std::string>{"Unknown", "POLLIN", "0", "unattached",
                                  std::to_string(unbound.lowlevel_fd()), "min=0 max=0 avg=0 counter=0"}),
        DumpCells(lines[4]));
    EXPECT_EQ(rule, lines[5]);
    EXPECT_EQ("", lines[6]);
    plain.mux_detach();
}

TEST(Measure, KeepsMinMaxLastAndCount) {
    Measure m;
    std::ostringstream fresh;
    fresh << m;
    EXPECT_EQ("min=0 max=0 avg=0 counter=0", fresh.str());
    m.sample(5);
    m.sample(2);
    m.sample(9);
    m.sample(4);
    std::ostringstream os;
    os << m;
    EXPECT_EQ("min=2 max=9 avg=4 counter=4", os.str());
}

TEST(Measure, DurationAcrossTheMicrosecondWrap) {
    Mux::ManualClock clock;
    clock.set_us((uint64_t{1} << 32) - 10);
    Measure m;
    m.begin();
    clock.advance_us(25);
    m.end();
    EXPECT_EQ(25u, m.last());
    EXPECT_EQ(25u, m.max());
    EXPECT_EQ(1u, m.counter());
    // Decimal whatever the stream was left in, and the stream's own mode is kept.
    std::ostringstream os;
    os << std::hex << m << ' ' << 255;
    EXPECT_EQ("min=25 max=25 avg=25 counter=1 ff", os.str());
}

TEST(Timestamp, WritesLocalDayMonthAndTime) {
    const time_t before = ::time(nullptr);
    std::ostringstream os;
    timestamp(os);
    const std::string text = os.str();
    ASSERT_TRUE(std::regex_match(text, std::regex("[0-3][0-9]/[01][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9]")))
        << text;
    struct tm local;
    ASSERT_NE(nullptr, ::localtime_r(&before, &local));
    char day_month[8];
    ::strftime(day_month, sizeof(day_month), "%d/%m", &local);
    // The day may turn between the two readings only at midnight.
    if (text.compare(6, 8, "00:00:00") != 0) {
        EXPECT_EQ(std::string(day_month), text.substr(0, 5));
    }
}
