#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/callback.h"
#include "core/error_pause.h"
#include "core/fd.h"
#include "core/measure.h"
#include "core/multiplexer.h"

// A descriptor in the loop: an owned Fd, the poll events of interest, a name for the
// status dump and the bound handler, called with (descriptor, returned events).
class Event : public EventHandler {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void Invoke(int fd, short revents) = 0;
    };

    template <class T>
    class THandler : public Handler {
    public:
        THandler(void (T::*method)(int, short), T* object) : call_(object, method) {}
        void Invoke(int fd, short revents) override {
            if (call_.method() != nullptr) call_(fd, revents);
        }

    private:
        MemberCall<T, int, short> call_;
    };

    Event() = default;
    ~Event() override;

    void Bind(Handler* handler);
    template <class T>
    void Bind(const std::string& name, void (T::*method)(int, short), T* object) {
        name_ = name;
        Bind(new THandler<T>(method, object));
    }
    void UnBind() { Bind(nullptr); }
    bool bound() const { return handler_ != nullptr; }

    void Schedule(Fd fd, short events);
    int Release();
    void SetEvents(int events) { events_ = static_cast<short>(events); }
    short events() const { return events_; }

    // A read found nothing although poll reported revents. With POLLERR or POLLHUP
    // among them the device is in error (see ErrorPause): it rests out of the poll,
    // and its condition's line, opened by `who`, names the bits.
    template <class... Who>
    void NothingRead(short revents, const Who&... who) {
        if (LimitedLine line = Rest(revents))
            (line.stream() << ... << who)
                << "reports " << PollEventAsText(revents) << " without data: polled again every "
                << ErrorPause::kPause << " ms";
    }
    // A read gave data: an error condition ends.
    void DataRead() {
        if (error_pause_ != nullptr) error_pause_->End();
    }
    // Left out of the poll, and not served, for a rest after an error.
    bool resting() const { return error_pause_ != nullptr && error_pause_->resting(); }

    int lowlevel_fd() const { return fd_.lowlevel_fd(); }
    bool IsActive() const { return fd_.is_valid(); }
    uint32_t counter() const { return counter_; }
    const Measure& measure() const { return measure_; }
    Measure& measure() { return measure_; }

    void shedule_event(pollfd& entry) override;
    void svc_event(short revents) override;
    std::string event_name() const override { return name_; }
    bool is_named() const override { return true; }

private:
    LimitedLine Rest(short revents);

    Handler* handler_ = nullptr;
    Fd fd_;
    short events_ = 0;
    std::string name_ = "Unknown";
    uint32_t counter_ = 0;
    Measure measure_;
    std::unique_ptr<ErrorPause> error_pause_;  // made by the first error
};
