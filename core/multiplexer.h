#pragma once

#include <poll.h>

#include <csignal>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/dual_list.h"
#include "core/lasting_condition.h"
#include "core/measure.h"

class Dpc;
class Multiplexer;
class TimerEvent;
class TimerPoolPlugin;

// Base of everything the loop polls. The handler remembers which of the loop's lists
// holds it, so attach and detach never search.
class EventHandler : public F_dual_list_item<EventHandler> {
public:
    EventHandler() = default;
    EventHandler(const EventHandler&) = delete;
    EventHandler& operator=(const EventHandler&) = delete;
    virtual ~EventHandler();

    virtual void shedule_event(pollfd& entry) = 0;
    virtual void svc_event(short revents) = 0;
    virtual std::string event_name() const { return "unknown"; }
    virtual bool is_named() const { return false; }

    void mux_attach();
    void mux_detach();
    void svc_event() { svc_event(revents_); }

    bool attached() const { return attached_; }
    short revents() const { return revents_; }

private:
    friend class Multiplexer;
    bool attached_ = false;
    short revents_ = 0;
    int8_t where_ = -1;  // index of the loop list that holds it, -1 when none
    unsigned poll_index_ = 0;
};

class Multiplexer {
public:
    // A pass result that carries no time-out (no timer, no plug-in deadline).
    static constexpr int kNoWait = -1;
    static constexpr int kMaxWait = 7200000;
    static constexpr int kWatchdogWait = 1000;
    static constexpr const char* kWatchdogPath = "/dev/misc/gw-wd";

    Multiplexer();
    ~Multiplexer();
    Multiplexer(const Multiplexer&) = delete;
    Multiplexer& operator=(const Multiplexer&) = delete;

    void run(bool watchdog, bool live_clock);
    void terminate() { stop_ = 1; }
    bool terminating() const { return stop_ != 0; }
    void dump(std::ostream& os) const;

    // Handlers.
    void attach(EventHandler* h);
    void detach(EventHandler* h);
    bool event_exists(const EventHandler* h) const { return h->where_ >= 0; }
    unsigned handler_count() const;

    // Timers.
    void set(TimerEvent* e);
    void reset(TimerEvent* e);
    int timers_schedule();
    int timerPoll_schedule();
    void hook(TimerPoolPlugin* p);
    void unhook(TimerPoolPlugin* p);
    unsigned timer_count() const { return static_cast<unsigned>(timers_.size()); }

    // Deferred calls.
    void attach(Dpc* d);
    void dettach(Dpc* d);
    void execute_dpc();

    // Watchdog.
    void resetWD();
    void set_watchdog_path(const std::string& path) { watchdog_path_ = path; }
    const std::string& watchdog_path() const { return watchdog_path_; }

    // The poll call; tests drive the loop through their own (with Mux::ManualClock).
    // An empty function restores ::poll.
    using PollFunction = std::function<int(pollfd*, nfds_t, int)>;
    void set_poll(PollFunction poll);
    uint32_t now() const { return Mux::milliseconds(); }

    const Measure& dpc_measure() const { return dpc_measure_; }
    const Measure& event_measure() const { return event_measure_; }
    const Measure& timer_measure() const { return timer_measure_; }

    class TimerPollNotify {
    public:
        virtual ~TimerPollNotify() = default;
        virtual void removeTimerPoolPlugin(TimerPoolPlugin* p) = 0;
    };

private:
    static constexpr int8_t kNewList = 2;

    F_dual_list<EventHandler>& list_of(int8_t where) { return where == kNewList ? new_ : halves_[where]; }
    F_dual_list<EventHandler>& active() { return halves_[active_]; }
    F_dual_list<EventHandler>& served() { return halves_[active_ ^ 1]; }
    const F_dual_list<EventHandler>& active() const { return halves_[active_]; }
    void move_to(EventHandler* h, int8_t where);

    void build_poll_set();
    void dispatch();
    int timers_wait(uint32_t now);
    void rebase_timers(uint32_t now, uint32_t first);
    void open_watchdog();
    void close_watchdog();

    // Timer heap: ordered by wrap-safe expiry, then by arming order.
    static bool earlier(const TimerEvent* a, const TimerEvent* b);
    void heap_place(size_t i, TimerEvent* e);
    void heap_up(size_t i);
    void heap_down(size_t i);
    void heap_remove(size_t i);

    std::vector<TimerEvent*> timers_;
    uint64_t timer_sequence_ = 0;

    F_dual_list<EventHandler> new_;
    F_dual_list<EventHandler> halves_[2];  // active and served; a dispatch swaps their roles
    int8_t active_ = 0;
    std::vector<pollfd> poll_set_;

    std::vector<Dpc*> dpcs_;
    std::vector<Dpc*> dpc_run_;
    size_t dpc_run_pos_ = 0;

    volatile std::sig_atomic_t stop_ = 0;

    Measure dpc_measure_;
    Measure event_measure_;
    Measure timer_measure_;

    std::vector<TimerPoolPlugin*> plugins_;
    TimerPollNotify* plugin_pass_ = nullptr;

    int watchdog_ = -1;
    LastingConditions<> ping_failures_;  // per cause
    std::string watchdog_path_ = kWatchdogPath;

    PollFunction poll_;
};

// The one loop of the process. It is built before, and destroyed after, the static
// objects of every translation unit that includes this header.
extern Multiplexer& multiplexer;

struct MultiplexerInit {
    MultiplexerInit();
    ~MultiplexerInit();
};
static MultiplexerInit multiplexerInit;

// Poll event bits as text: POLLIN|POLLOUT; no bit gives an empty string.
std::string PollEventAsText(short events);

std::ostream& timestamp(std::ostream& os);
