#include "core/event.h"

#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "core/fd.h"
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

}  // namespace

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
