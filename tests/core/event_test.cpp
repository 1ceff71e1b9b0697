#include "core/event.h"

#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/fd.h"
#include "tests/core/control_service_test.h"
#include "tests/core/lasting_lines.h"
#include "tests/core/multiplexer_test.h"

namespace {

struct Owner {
    void OnFirst(int, short revents) { calls.push_back("first:" + std::to_string(revents)); }
    void OnSecond(int, short revents) {
        calls.push_back("second:" + std::to_string(revents));
        multiplexer.terminate();
    }
    std::vector<std::string> calls;
};

struct CountedHandler : Event::Handler {
    explicit CountedHandler(int& deleted) : deleted(deleted) {}
    ~CountedHandler() override { ++deleted; }
    void Invoke(int, short) override {}
    int& deleted;
};

// A control whose subclass overrides the bound handler.
struct RadioBase {
    virtual ~RadioBase() = default;
    virtual void OnRtpExtEvent(int, short) { calls.push_back("base"); }
    std::vector<std::string> calls;
};
struct RadioLemz : RadioBase {
    void OnRtpExtEvent(int, short) override {
        calls.push_back("lemz");
        multiplexer.terminate();
    }
};

// A device whose every service reads one byte, or finds none.
struct Reader {
    explicit Reader(int fd) {
        event.Bind("reader", &Reader::OnEvent, this);
        event.Schedule(Fd(::dup(fd)), POLLIN);
    }
    void OnEvent(int fd, short revents) {
        served.push_back({Mux::milliseconds(), revents});
        char byte;
        if (::recv(fd, &byte, 1, MSG_DONTWAIT) == 1)
            event.DataRead();
        else
            event.NothingRead(revents, "reader ");
    }
    Event event;
    std::vector<std::pair<uint32_t, short>> served;
};

// Writes one byte when its time comes.
struct TimedWrite {
    void OnTime() { EXPECT_EQ(1, ::write(fd, "x", 1)); }
    int fd;
};

const std::string kReaderInError = "reader reports POLLERR without data: polled again every 100 ms";

}  // namespace

// A driver in error reports POLLERR on every poll, however little is asked of it.
TEST_F(LoopTest, ADeviceInErrorWithoutDataRestsOutOfThePollAndIsPolledAgainEvery100Ms) {
    testing_core::LineCapture errors{std::cerr};
    SocketPair pair;
    Reader reader(pair.fd[0]);
    const int fd = reader.event.lowlevel_fd();
    short fault = POLLERR;
    size_t polled = 0;
    StickBits([&](int f) -> short {
        if (f != fd) return 0;
        ++polled;
        return fault;
    });
    // A neighbour made ready in the middle of the first rest: the pass serves it alone.
    std::vector<std::string> log;
    SocketPair other;
    Probe neighbour("neighbour", log);
    neighbour.event.Schedule(Fd(::dup(other.fd[0])), POLLIN);
    neighbour.action = [&] {
        char byte;
        (void)::recv(neighbour.event.lowlevel_fd(), &byte, 1, MSG_DONTWAIT);
    };
    TimedWrite wake{other.fd[1]};
    Timer midway;
    midway.set(ErrorPause::kPause / 2, &TimedWrite::OnTime, &wake);
    max_passes = 100;
    const uint32_t start = Mux::milliseconds();
    const size_t passes = PassesIn(1000);
    std::vector<std::pair<uint32_t, short>> rhythm;
    for (uint32_t at = start; at < start + 1000; at += ErrorPause::kPause) rhythm.push_back({at, POLLERR});
    EXPECT_EQ(rhythm, reader.served) << "served when polled only, never with nothing";
    EXPECT_EQ(1, std::count(log.begin(), log.end(), "neighbour:" + std::to_string(POLLIN)));
    EXPECT_EQ(rhythm.size(), polled) << "left out of the poll while it rests";
    EXPECT_LE(passes, 2 * rhythm.size() + 2);
    EXPECT_EQ(std::vector<std::string>{kReaderInError}, errors.own_texts());

    // The driver recovers and data comes: read at the end of the rest, it ends the condition.
    fault = 0;
    ASSERT_EQ(1, ::write(pair.fd[1], "x", 1));
    reader.served.clear();
    PassesIn(500);
    EXPECT_EQ((std::vector<std::pair<uint32_t, short>>{{start + 1000, POLLIN}}), reader.served);
    const ConditionLines c = Account(errors.texts(), kReaderInError);
    EXPECT_EQ(1u, c.written);
    EXPECT_TRUE(c.ended);
    EXPECT_EQ(rhythm.size(), c.counted);
}

TEST_F(LoopTest, ReleaseScheduleAndDestructionEndARestAndItsTimer) {
    testing_core::LineCapture errors{std::cerr};
    SocketPair pair;
    auto reader = std::make_unique<Reader>(pair.fd[0]);
    StickBits([&](int f) -> short { return f == reader->event.lowlevel_fd() ? POLLERR : 0; });
    const unsigned timers = multiplexer.timer_count();
    // One pass serves the reader, which then rests.
    const auto serve = [&] {
        timeouts.clear();
        max_passes = 2;
        run();
        ASSERT_TRUE(reader->event.resting());
        pollfd entry{};
        reader->event.shedule_event(entry);
        EXPECT_EQ(-1, entry.fd);
    };
    serve();
    // Its rest timer goes; the condition's counts, when held, keep theirs.
    unsigned resting = multiplexer.timer_count();
    reader->event.Release();
    EXPECT_FALSE(reader->event.resting());
    EXPECT_EQ(resting - 1, multiplexer.timer_count());
    reader->event.Schedule(Fd(::dup(pair.fd[0])), POLLIN);
    serve();
    resting = multiplexer.timer_count();
    reader->event.Schedule(Fd(::dup(pair.fd[0])), POLLIN);
    EXPECT_FALSE(reader->event.resting());
    EXPECT_EQ(resting - 1, multiplexer.timer_count());
    pollfd entry{};
    reader->event.shedule_event(entry);
    EXPECT_EQ(reader->event.lowlevel_fd(), entry.fd);
    serve();
    EXPECT_EQ(3u, reader->served.size());
    reader.reset();
    EXPECT_EQ(timers, multiplexer.timer_count());
    PassesIn(300);  // nothing left to fire
    const ConditionLines c = Account(errors.texts(), kReaderInError);
    EXPECT_EQ(1u, c.written) << "a new descriptor in the same error is the same condition";
    EXPECT_TRUE(c.still_on) << "written with its event, still in error";
    EXPECT_EQ(3u, c.counted);
}

TEST_F(LoopTest, BoundVirtualMemberReachesTheSubclassOverride) {
    RadioLemz control;
    Event event;
    event.Bind<RadioBase>("RadioControl::OnRtpExtEvent", &RadioBase::OnRtpExtEvent, &control);
    SocketPair pair;
    event.Schedule(Fd(::dup(pair.fd[0])), POLLOUT);
    run();
    EXPECT_EQ((std::vector<std::string>{"lemz"}), control.calls);
}

TEST_F(LoopTest, SetEventsKeepsThePlaceInTheServingOrder) {
    std::vector<std::string> log;
    SocketPair pa, pb;
    Probe a("a", log), b("b", log);
    a.event.Schedule(Fd(::dup(pa.fd[0])), POLLIN);
    b.event.Schedule(Fd(::dup(pb.fd[0])), POLLIN);
    ASSERT_EQ(1, ::write(pb.fd[1], "x", 1));
    int passes = 0;
    a.action = [&] { a.event.SetEvents(POLLOUT); };
    b.action = [&] {
        if (++passes == 2) multiplexer.terminate();
    };
    run();
    EXPECT_EQ((std::vector<std::string>{"a:0", "b:1", "a:" + std::to_string(POLLOUT), "b:1"}), log);
    EXPECT_EQ(1u, a.event.counter());
}

TEST_F(LoopTest, ReaderWhosePeerHangsUpIsServedAndCountsOnlyWithPollin) {
    std::vector<std::string> log;
    SocketPair pair;
    Probe reader("reader", log);
    reader.event.Schedule(Fd(::dup(pair.fd[0])), POLLIN);
    short returned = 0;
    reader.action = [&] { multiplexer.terminate(); };
    pair.close(1);
    multiplexer.set_poll([&](pollfd* fds, nfds_t count, int) {
        const int n = ::poll(fds, count, 0);
        returned = fds[0].revents;
        return n;
    });
    run();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("reader:" + std::to_string(returned), log[0]);
    EXPECT_TRUE(returned & POLLHUP);
    EXPECT_EQ((returned & POLLIN) ? 1u : 0u, reader.event.counter());
}

TEST_F(LoopTest, HangUpServesTheEventButCountsOnlyRequestedBits) {
    SocketPair pair;
    Owner owner;
    Event event;
    event.Bind("peer", &Owner::OnSecond, &owner);
    event.Schedule(Fd(::dup(pair.fd[0])), POLLOUT);
    pair.close(1);
    run();
    ASSERT_EQ(1u, owner.calls.size());
    EXPECT_NE(std::string::npos, owner.calls[0].find("second:"));
    // POLLOUT is reported on a hung-up stream socket too, and POLLHUP always.
    EXPECT_EQ(1u, event.counter());

    Event reader;
    reader.Bind("reader", &Owner::OnSecond, &owner);
    SocketPair quiet;
    reader.Schedule(Fd(::dup(quiet.fd[0])), 0);
    quiet.close(1);
    event.Release();
    run();
    EXPECT_EQ(0u, reader.counter());
}

TEST_F(LoopTest, RebindingChangesTheCalledFunctionAndDeletesTheOldHandler) {
    int deleted = 0;
    Event event;
    event.Bind(new CountedHandler(deleted));
    Owner owner;
    event.Bind("e", &Owner::OnFirst, &owner);
    EXPECT_EQ(1, deleted);
    EXPECT_EQ("e", event.event_name());
    SocketPair pair;
    event.Schedule(Fd(::dup(pair.fd[0])), POLLIN);
    ASSERT_EQ(1, ::write(pair.fd[1], "x", 1));
    max_passes = 2;
    run();
    event.Bind("e", &Owner::OnSecond, &owner);
    max_passes = 0;
    timeouts.clear();
    run();
    EXPECT_EQ((std::vector<std::string>{"first:1", "second:1"}), owner.calls);
}

TEST(Event, BindingTheInstalledHandlerAgainKeepsIt) {
    int deleted = 0;
    Event event;
    auto* handler = new CountedHandler(deleted);
    event.Bind(handler);
    event.Bind(handler);
    EXPECT_EQ(0, deleted);
    EXPECT_TRUE(event.bound());
    event.UnBind();
    EXPECT_EQ(1, deleted);
}

TEST(Event, ScheduleTakesADuplicateAndReleaseClosesIt) {
    SocketPair pair;
    Event event;
    EXPECT_FALSE(event.IsActive());
    EXPECT_EQ("Unknown", event.event_name());
    {
        Fd mine(::dup(pair.fd[0]));
        event.Schedule(mine, POLLIN);
        EXPECT_TRUE(event.IsActive());
        EXPECT_NE(mine.lowlevel_fd(), event.lowlevel_fd());
    }
    EXPECT_TRUE(event.attached());
    EXPECT_EQ(1u, multiplexer.handler_count());
    EXPECT_EQ(0, event.Release());
    EXPECT_FALSE(event.attached());
    EXPECT_EQ(-1, event.lowlevel_fd());
    EXPECT_EQ(-1, event.Release());
    event.Schedule(Fd(), POLLIN);
    EXPECT_FALSE(event.attached());
    EXPECT_EQ(0u, multiplexer.handler_count());
}

TEST(Event, SetEventsKeepsThePlaceAndDestructionDetaches) {
    SocketPair pair;
    auto* event = new Event;
    event->Schedule(Fd(::dup(pair.fd[0])), POLLIN);
    event->SetEvents(POLLIN | POLLOUT | 0x10000);
    EXPECT_EQ(POLLIN | POLLOUT, event->events());
    pollfd entry{};
    event->shedule_event(entry);
    EXPECT_EQ(event->lowlevel_fd(), entry.fd);
    EXPECT_EQ(POLLIN | POLLOUT, entry.events);
    delete event;
    EXPECT_EQ(0u, multiplexer.handler_count());
}
