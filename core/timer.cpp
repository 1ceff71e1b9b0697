#include "core/timer.h"

#include "core/multiplexer.h"

TimerEvent::~TimerEvent() {
    reset();
}

void TimerEvent::schedule(unsigned int delay) {
    expiry_ = multiplexer.now() + delay;
    multiplexer.set(this);
}

void TimerEvent::reset() {
    if (queued()) multiplexer.reset(this);
}

void Timer::set(unsigned int delay, void (*function)()) {
    take(new SimpleTimerEvent1(this, function, delay));
}

void Timer::take(TimerEvent* e) {
    TimerEvent* old = pending_;
    pending_ = e;
    delete old;
}

void Timer::reset() {
    TimerEvent* old = pending_;
    pending_ = nullptr;
    delete old;
}

SimpleTimerEvent1::SimpleTimerEvent1(Timer* owner, void (*function)(), unsigned int delay)
    : TimerEntry(owner), function_(function) {
    schedule(delay);
}

void SimpleTimerEvent1::fire() {
    owner_->Unbind();
    void (*function)() = function_;
    delete this;
    function();
}

void TimerPoolPlugin::timerHook() {
    if (hooked_) return;
    multiplexer.hook(this);
    hooked_ = true;
}

void TimerPoolPlugin::timerUnhook() {
    if (!hooked_) return;
    multiplexer.unhook(this);
    hooked_ = false;
}
