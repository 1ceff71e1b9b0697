#pragma once

#include <poll.h>

#include <memory>

#include "core/event.h"
#include "core/fd.h"

namespace ASync {

// A non-blocking byte pump from one descriptor to another; ends when the source is
// exhausted and everything read has been written (and, optionally, flushed).
class Copy {
public:
    struct Status {
        enum Type { idle = 0, running = 1, draining = 2, flushing = 3, failed = 4, done = 5, cancelled = 6 };
    };

    struct EventsParams {
        short src = POLLIN;
        short dst = POLLOUT;
        short flush = POLLWRNORM;  // 0: no wait for the flush event
    };

    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void Invoke(Status::Type status) = 0;
    };

    template <class T>
    class THandler : public Handler {
    public:
        using Action = void (T::*)(Status::Type);
        THandler(Action action, T* object) : call_(object, action) {}
        void Invoke(Status::Type status) override {
            if (call_.method() != nullptr) call_(status);
        }

    private:
        MemberCall<T, Status::Type> call_;
    };

    static constexpr unsigned kDefaultBufSize = 1024;

    Copy() = default;
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;
    ~Copy();

    void Bind(Handler* handler);
    template <class T>
    void Bind(typename THandler<T>::Action action, T* object) {
        Bind(new THandler<T>(action, object));
    }
    void UnBind() { Bind(nullptr); }

    void set_events(const EventsParams& params);
    // A size of 0 is refused (false) and changes nothing.
    bool set_bufsize(unsigned size);
    void Start(Fd source, Fd destination);
    void Stop();

    Status::Type status() const { return status_; }
    int write_error() const { return write_error_; }
    unsigned written() const { return written_; }
    unsigned bufsize() const { return bufsize_; }

private:
    using Step = bool (Copy::*)();

    bool in_progress() const;
    void Progress();
    bool SrcReady();
    bool DstReady();
    bool NotReady() { return false; }
    bool GoReading();
    bool GoWriting();
    bool GoFlush();
    bool GoFlushDst();
    void WaitFor(short src, short dst);
    void CheckBuffer();
    void OnSrcEvent(int fd, short revents);
    void OnDstEvent(int fd, short revents);
    void Complete(Status::Type status);

    Fd src_;
    Fd dst_;
    EventsParams params_;
    unsigned bufsize_ = kDefaultBufSize;
    int write_error_ = 0;
    Step step_ = &Copy::NotReady;
    Handler* handler_ = nullptr;
    Event src_event_;
    Event dst_event_;
    unsigned written_ = 0;
    unsigned pos_ = 0;
    unsigned end_ = 0;
    Status::Type status_ = Status::idle;
    std::unique_ptr<char[]> buffer_;
};

}  // namespace ASync
