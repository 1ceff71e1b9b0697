#include "core/multiplexer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <new>
#include <sstream>

#include "core/clock.h"
#include "core/dpc.h"
#include "core/errno_text.h"
#include "core/event.h"
#include "core/profile.h"
#include "core/table.h"
#include "core/timer.h"

// ---- the global loop ----

namespace {
unsigned mux_users = 0;
alignas(Multiplexer) unsigned char mux_storage[sizeof(Multiplexer)];
}  // namespace

Multiplexer& multiplexer = reinterpret_cast<Multiplexer&>(mux_storage);

MultiplexerInit::MultiplexerInit() {
    if (mux_users++ == 0) new (mux_storage) Multiplexer();
}

MultiplexerInit::~MultiplexerInit() {
    if (--mux_users == 0) multiplexer.~Multiplexer();
}

// ---- handlers ----

EventHandler::~EventHandler() {
    mux_detach();
}

void EventHandler::mux_attach() {
    if (attached_) return;
    multiplexer.attach(this);
    attached_ = true;
}

void EventHandler::mux_detach() {
    if (!attached_) return;
    multiplexer.detach(this);
    attached_ = false;
}

Multiplexer::Multiplexer() : poll_(::poll) {}

// Components own everything listed; at exit only the loop's own storage goes.
Multiplexer::~Multiplexer() {
    close_watchdog();
}

void Multiplexer::set_poll(PollFunction poll) {
    if (poll)
        poll_ = std::move(poll);
    else
        poll_ = ::poll;
}

void Multiplexer::attach(EventHandler* h) {
    if (event_exists(h)) {
        std::cerr << "duplicate multiplexer attach \"" << h->event_name() << "\" ignored." << std::endl;
        return;
    }
    new_.insert_to_tail(h);
    h->where_ = kNewList;
}

void Multiplexer::detach(EventHandler* h) {
    if (!event_exists(h)) {
        std::cerr << "indvalid Multiplexer::detach " << h->event_name() << std::endl;
        return;
    }
    list_of(h->where_).remove(h);
    h->where_ = -1;
}

void Multiplexer::move_to(EventHandler* h, int8_t where) {
    list_of(where).insert_to_tail(h);
    h->where_ = where;
}

unsigned Multiplexer::handler_count() const {
    return new_.count() + halves_[0].count() + halves_[1].count();
}

// ---- timers ----

bool Multiplexer::earlier(const TimerEvent* a, const TimerEvent* b) {
    int d = a->compare(b);
    return d != 0 ? d < 0 : a->sequence_ < b->sequence_;
}

void Multiplexer::heap_place(size_t i, TimerEvent* e) {
    timers_[i] = e;
    e->heap_index_ = i;
}

void Multiplexer::heap_up(size_t i) {
    TimerEvent* e = timers_[i];
    while (i > 0) {
        size_t parent = (i - 1) / 2;
        if (!earlier(e, timers_[parent])) break;
        heap_place(i, timers_[parent]);
        i = parent;
    }
    heap_place(i, e);
}

void Multiplexer::heap_down(size_t i) {
    TimerEvent* e = timers_[i];
    const size_t n = timers_.size();
    for (;;) {
        size_t child = 2 * i + 1;
        if (child >= n) break;
        if (child + 1 < n && earlier(timers_[child + 1], timers_[child])) ++child;
        if (!earlier(timers_[child], e)) break;
        heap_place(i, timers_[child]);
        i = child;
    }
    heap_place(i, e);
}

void Multiplexer::heap_remove(size_t i) {
    TimerEvent* e = timers_[i];
    TimerEvent* last = timers_.back();
    timers_.pop_back();
    e->heap_index_ = TimerEvent::kNotQueued;
    if (last == e) return;
    heap_place(i, last);
    heap_up(i);
    heap_down(last->heap_index_);
}

void Multiplexer::set(TimerEvent* e) {
    reset(e);
    e->sequence_ = timer_sequence_++;
    timers_.push_back(e);
    e->heap_index_ = timers_.size() - 1;
    heap_up(e->heap_index_);
}

void Multiplexer::reset(TimerEvent* e) {
    if (e->queued()) heap_remove(e->heap_index_);
}

int Multiplexer::timers_schedule() {
    const uint32_t now = this->now();
    while (!timers_.empty() && static_cast<int32_t>(now - timers_.front()->expiry_) >= 0) {
        TimerEvent* e = timers_.front();
        heap_remove(0);
        timer_measure_.begin();
        e->fire();
        timer_measure_.end();
    }
    execute_dpc();
    return timers_wait(now);
}

// Milliseconds to the first expiry: kNoWait without timers, 0 for one that is due.
int Multiplexer::timers_wait(uint32_t now) {
    if (timers_.empty()) return kNoWait;
    const uint32_t first = timers_.front()->expiry_;
    const int32_t wait = static_cast<int32_t>(first - now);
    if (wait <= 0) return 0;
    if (wait <= kMaxWait) return wait;
    // The clock is monotonic, so a step of the wall clock cannot bring this about:
    // only an entry armed for over two hours, or a corrupt one.
    rebase_timers(now, first);
    return kWatchdogWait;
}

void Multiplexer::rebase_timers(uint32_t now, uint32_t first) {
    // One write of the whole block: the unit-buffered error stream would otherwise hand
    // a system log every piece between two line ends as a record of its own.
    std::ostringstream block;
    block << "******** RUNTIME ERROR CONDITION *************"
          << "Multiplexer::timers_schedule() invalid wait time detected!\n"
          << "now = " << now << "\nfirst = " << first << "\ncount = " << timers_.size() << "\n";
    std::cerr << block.str() << std::flush;
    // Every entry moves to now + 1000 and keeps its place in the firing order: with the
    // expiries now equal, the arming numbers carry that order.
    std::vector<TimerEvent*> order(timers_);
    std::sort(order.begin(), order.end(), earlier);
    for (size_t i = 0; i < order.size(); ++i) {
        order[i]->expiry_ = now + kWatchdogWait;
        order[i]->sequence_ = i;
        heap_place(i, order[i]);
    }
}

// The dormant plug-in pass: the guard tracks which plug-ins are still to be asked, so
// a plug-in may unhook itself or another one while it is asked.
int Multiplexer::timerPoll_schedule() {
    struct TimerPollGuard : TimerPollNotify {
        std::vector<TimerPoolPlugin*>* hooked;
        std::vector<TimerPoolPlugin*> to_ask;
        void removeTimerPoolPlugin(TimerPoolPlugin* p) override {
            std::erase(*hooked, p);
            std::erase(to_ask, p);
        }
    } guard;
    guard.hooked = &plugins_;
    guard.to_ask.swap(plugins_);
    plugin_pass_ = &guard;
    int result = INT_MAX;
    while (!guard.to_ask.empty()) {
        TimerPoolPlugin* p = guard.to_ask.front();
        guard.to_ask.erase(guard.to_ask.begin());
        plugins_.push_back(p);
        int32_t deadline = p->timerPoll();
        if (deadline >= 0 && deadline < result) result = deadline;
    }
    plugin_pass_ = nullptr;
    return result;
}

void Multiplexer::hook(TimerPoolPlugin* p) {
    plugins_.push_back(p);
}

void Multiplexer::unhook(TimerPoolPlugin* p) {
    if (plugin_pass_ != nullptr)
        plugin_pass_->removeTimerPoolPlugin(p);
    else
        std::erase(plugins_, p);
}

// ---- deferred calls ----

void Multiplexer::attach(Dpc* d) {
    auto at = std::lower_bound(dpcs_.begin(), dpcs_.end(), d, std::less<Dpc*>());
    if (at == dpcs_.end() || *at != d) dpcs_.insert(at, d);
}

void Multiplexer::dettach(Dpc* d) {
    auto at = std::lower_bound(dpcs_.begin(), dpcs_.end(), d, std::less<Dpc*>());
    if (at != dpcs_.end() && *at == d) dpcs_.erase(at);
    for (size_t i = dpc_run_pos_; i < dpc_run_.size(); ++i)
        if (dpc_run_[i] == d) dpc_run_[i] = nullptr;
}

void Multiplexer::execute_dpc() {
    dpc_run_ = dpcs_;
    dpc_run_pos_ = 0;
    while (dpc_run_pos_ < dpc_run_.size()) {
        Dpc* d = dpc_run_[dpc_run_pos_++];
        if (d == nullptr) continue;
        dpc_measure_.begin();
        d->Invoke();
        dpc_measure_.end();
    }
    dpc_run_.clear();
    dpc_run_pos_ = 0;
}

// ---- watchdog ----

void Multiplexer::open_watchdog() {
    int fd = ::open(watchdog_path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        Errno e;
        std::cerr << "Mux: fail to open watchdog: " << e << std::endl;
        return;
    }
    if (::write(fd, "START", 5) != 5) {
        Errno e;
        std::cerr << "Mux: fail to activate watchdog: " << e << std::endl;
        ::close(fd);
        return;
    }
    watchdog_ = fd;
}

void Multiplexer::resetWD() {
    if (watchdog_ < 0) return;
    // A device that refuses one ping refuses the next, once a second: each cause is
    // a lasting condition, which a ping that works ends.
    if (::write(watchdog_, "PING", 4) != 4) {
        Errno e;
        if (auto line = ping_failures_.OccurredAlone(e.text(), std::cerr))
            line << "Mux: ping watchdog failed: " << e;
        return;
    }
    ping_failures_.EndAll();
}

void Multiplexer::close_watchdog() {
    if (watchdog_ < 0) return;
    ping_failures_.CloseAll();
    if (::write(watchdog_, "STOP", 4) != 4) {
        Errno e;
        std::cerr << "Mux: stop watchdog failed: " << e << std::endl;
    }
    ::close(watchdog_);
    watchdog_ = -1;
}

// ---- the loop ----

void Multiplexer::build_poll_set() {
    while (EventHandler* h = new_.remove_from_head()) move_to(h, active_);
    F_dual_list<EventHandler>& list = active();
    if (poll_set_.size() != list.count()) poll_set_.resize(list.count());
    unsigned i = 0;
    for (auto it = list.begin(); it != list.end(); ++it, ++i) {
        EventHandler* h = *it;
        h->poll_index_ = i;
        pollfd& entry = poll_set_[i];
        entry = pollfd{-1, 0, 0};
        h->shedule_event(entry);
    }
}

void Multiplexer::dispatch() {
    for (auto it = active().begin(); it != active().end(); ++it)
        it->revents_ = poll_set_[it->poll_index_].revents;
    const int8_t served_index = active_ ^ 1;
    while (active().count() != 0) {
        if (stop_) break;
        EventHandler* h = active().remove_from_head();
        move_to(h, served_index);
        event_measure_.begin();
        h->svc_event();  // may detach or destroy h
        event_measure_.end();
    }
    // Handlers left unserved by a stop keep their place behind the served ones.
    while (EventHandler* h = active().remove_from_head()) move_to(h, served_index);
    active_ = served_index;
}

void Multiplexer::run(bool watchdog, bool live_clock) {
    bool pinged = false;
    uint32_t last_ping = 0;
    stop_ = 0;
    if (watchdog) open_watchdog();
    if (!live_clock) Mux::mux_settimeofday();

    while (!stop_) {
        timers_schedule();
        int plugin_wait = timerPoll_schedule();
        if (plugin_wait == INT_MAX) plugin_wait = kNoWait;

        build_poll_set();
        execute_dpc();
        // A stop asked for by this pass's work needs no poll (and is no hang).
        if (stop_) break;

        // Taken after the second run of deferred calls, so timers armed there count.
        int timeout = timers_wait(now());
        if (plugin_wait != kNoWait && (timeout == kNoWait || plugin_wait < timeout)) timeout = plugin_wait;
        // Handlers attached by that run join the poll set at the next pass, at once.
        if (new_.count() != 0) timeout = 0;
        if (timeout == kNoWait && poll_set_.empty()) {
            std::cerr << "multiplexer: system hang detected!!!" << std::endl;
            std::abort();
        }
        if (watchdog_ >= 0 && (timeout == kNoWait || timeout > kWatchdogWait)) timeout = kWatchdogWait;

        const int ready = poll_(poll_set_.data(), poll_set_.size(), timeout);
        const int poll_errno = errno;

        if (!live_clock) Mux::mux_settimeofday();
        const uint32_t now = this->now();
        if (!pinged || last_ping > now || now - last_ping > 999) {
            pinged = true;
            last_ping = now;
            resetWD();
        }

        if (ready == 0) continue;
        if (ready < 0) {
            if (poll_errno == EINTR) continue;
            std::cerr << "multiplexer poll failed: " << std::strerror(poll_errno) << std::endl;
            std::abort();
        }
        dispatch();
    }
    std::clog << "Mux: terminating..." << std::endl;
    close_watchdog();
    // The cache serves the passes only: whatever runs after the loop reads the clock.
    if (!live_clock) Mux::mux_cleartimeofday();
}

// ---- status text ----

std::string PollEventAsText(short events) {
    static const char* const names[] = {"|POLLIN",     "|POLLPRI",    "|POLLOUT",    "|POLLERR",
                                        "|POLLHUP",    "|POLLNVAL",   "|POLLRDNORM", "|POLLRDBAND",
                                        "|POLLWRNORM", "|POLLWRBAND", "|POLLMSG"};
    std::string text;
    for (unsigned bit = 0; bit < sizeof(names) / sizeof(names[0]); ++bit)
        if (events & (1 << bit)) text += names[bit];
    if (!text.empty()) text.erase(0, 1);
    return text;
}

void Multiplexer::dump(std::ostream& os) const {
    os << "dpc transition measurement (min/max/cur/counter): " << dpc_measure_ << std::endl;
    os << "event transition measurement (min/max/cur/counter): " << event_measure_ << std::endl;
    os << "timer transition measurement (min/max/cur/counter): " << timer_measure_ << std::endl;
    Profile::dump(os);

    ext::Table table(40, 30, 10, 10, 5, 60);
    os << table << ext::delimeter;
    os << table << ext::beginrow << "name" << ext::nextrow << "events" << ext::nextrow << "count"
       << ext::nextrow << "handler" << ext::nextrow << "fd" << ext::nextrow << "measure" << ext::nextrow
       << ext::delimeter;
    for (auto it = active().begin(); it != active().end(); ++it) {
        if (!it->is_named()) continue;
        const Event* e = dynamic_cast<const Event*>(*it);
        if (e == nullptr) continue;
        os << table << ext::beginrow << e->event_name() << ext::nextrow << PollEventAsText(e->events())
           << ext::nextrow << e->counter() << ext::nextrow << (e->bound() ? "attached" : "unattached")
           << ext::nextrow << e->lowlevel_fd() << ext::nextrow << e->measure() << ext::nextrow;
    }
    os << table << ext::delimeter;
    os << std::endl;
}

std::ostream& timestamp(std::ostream& os) {
    time_t t = time(nullptr);
    struct tm local;
    if (t == static_cast<time_t>(-1) || localtime_r(&t, &local) == nullptr) return os;
    char buffer[256];
    if (strftime(buffer, sizeof(buffer), "%d/%m %H:%M:%S", &local) != 0) os << buffer;
    return os;
}
