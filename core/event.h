#pragma once

#include <cstdint>
#include <string>

#include "core/callback.h"
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
    Handler* handler_ = nullptr;
    Fd fd_;
    short events_ = 0;
    std::string name_ = "Unknown";
    uint32_t counter_ = 0;
    Measure measure_;
};
