#pragma once

#include <cstddef>
#include <cstdint>

#include "core/callback.h"

class Timer;

// One queued one-shot expiry on the loop clock.
class TimerEvent {
public:
    TimerEvent() = default;
    TimerEvent(const TimerEvent&) = delete;
    TimerEvent& operator=(const TimerEvent&) = delete;
    virtual ~TimerEvent();
    virtual void fire() = 0;

    // Queues (or moves) the entry to expire delay ms from now.
    void schedule(unsigned int delay);
    void reset();
    int compare(const TimerEvent* other) const { return static_cast<int32_t>(expiry_ - other->expiry_); }

    uint32_t expiry() const { return expiry_; }
    bool queued() const { return heap_index_ != kNotQueued; }

private:
    friend class Multiplexer;
    static constexpr size_t kNotQueued = ~size_t{0};

    uint32_t expiry_ = 0;
    uint64_t sequence_ = 0;
    size_t heap_index_ = kNotQueued;
};

// Owner of at most one pending entry; arming again replaces it.
class Timer {
public:
    Timer() = default;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer() { reset(); }

    template <class T>
    void set(unsigned int delay, void (T::*method)(), T* object);
    template <class T>
    void set(unsigned int delay, void (T::*method)(Timer*), T* object);
    void set(unsigned int delay, void (*function)());

    void reset();
    bool is_running() const { return pending_ != nullptr; }
    // Gives up the pending entry without deleting it: the entry is firing.
    void Unbind() { pending_ = nullptr; }

private:
    void take(TimerEvent* e);
    TimerEvent* pending_ = nullptr;
};

// Entries made by Timer::set: they release their Timer before the call and delete
// themselves after it, so the callback may re-arm, reset or destroy its Timer.
class TimerEntry : public TimerEvent {
protected:
    explicit TimerEntry(Timer* owner) : owner_(owner) {}
    Timer* owner_;
};

template <class T>
class ObjTimerEvent1 : public TimerEntry {
public:
    ObjTimerEvent1(Timer* owner, void (T::*method)(), T* object, unsigned int delay)
        : TimerEntry(owner), call_(object, method) {
        schedule(delay);
    }
    void fire() override {
        owner_->Unbind();
        MemberCall<T> call = call_;
        delete this;
        call();
    }

private:
    MemberCall<T> call_;
};

template <class T>
class ObjTimerEvent2 : public TimerEntry {
public:
    ObjTimerEvent2(Timer* owner, void (T::*method)(Timer*), T* object, unsigned int delay)
        : TimerEntry(owner), call_(object, method) {
        schedule(delay);
    }
    void fire() override {
        Timer* owner = owner_;
        owner->Unbind();
        MemberCall<T, Timer*> call = call_;
        delete this;
        call(owner);
    }

private:
    MemberCall<T, Timer*> call_;
};

class SimpleTimerEvent1 : public TimerEntry {
public:
    SimpleTimerEvent1(Timer* owner, void (*function)(), unsigned int delay);
    void fire() override;

private:
    void (*function_)();
};

template <class T>
void Timer::set(unsigned int delay, void (T::*method)(), T* object) {
    take(new ObjTimerEvent1<T>(this, method, object, delay));
}

template <class T>
void Timer::set(unsigned int delay, void (T::*method)(Timer*), T* object) {
    take(new ObjTimerEvent2<T>(this, method, object, delay));
}

// A Timer whose period and callback come from a static record Spec
// (Spec::method: void (T::*)(), Spec::period: milliseconds).
template <class T>
struct TimerSpec {
    template <class Spec>
    class SpecTimer : public Timer {
    public:
        void set(T* object) { Timer::set<T>(Spec::period, Spec::method, object); }
    };
};

// A source of deadlines beside the timer queue; the loop asks each hooked one per pass.
class TimerPoolPlugin {
public:
    TimerPoolPlugin() = default;
    TimerPoolPlugin(const TimerPoolPlugin&) = delete;
    TimerPoolPlugin& operator=(const TimerPoolPlugin&) = delete;
    virtual ~TimerPoolPlugin() { timerUnhook(); }
    // Own next deadline in ms; negative for none.
    virtual int32_t timerPoll() = 0;

    void timerHook();
    void timerUnhook();
    bool hooked() const { return hooked_; }

private:
    bool hooked_ = false;
};
