#include "core/event.h"

#include <unistd.h>

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

}  // namespace

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
