#pragma once

#include <signal.h>

#include <atomic>
#include <cstddef>
#include <new>

#include "core/callback.h"
#include "core/dual_list.h"
#include "core/event.h"
#include "core/fd.h"

// A watch on one child process: its bound member function receives the raw wait
// status inside the loop, never in signal context.
class ChildWait : public F_dual_list_item<ChildWait> {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void Invoke(ChildWait& watch, int status) = 0;
        // Handlers live in the watch's own storage.
        static void operator delete(void*) noexcept {}
    };

    class DummyHandler : public Handler {
    public:
        void Invoke(ChildWait&, int) override {}
    };

    template <class T>
    class THandler1 : public Handler {
    public:
        THandler1(T* object, void (T::*method)(int)) : call_(object, method) {}
        void Invoke(ChildWait&, int status) override { call_(status); }

    private:
        MemberCall<T, int> call_;
    };

    // One per translation unit that uses watches: the first creates the service, the
    // last deletes it at exit.
    struct Init {
        Init();
        ~Init();
    };
    static unsigned UsageCounter;

    ChildWait() : handler_(new (storage_) DummyHandler) {}
    ChildWait(const ChildWait&) = delete;
    ChildWait& operator=(const ChildWait&) = delete;
    ~ChildWait();

    template <class T>
    void Bind(T* object, void (T::*method)(int)) {
        static_assert(sizeof(THandler1<T>) <= kStorage && alignof(THandler1<T>) <= alignof(std::max_align_t));
        handler_->~Handler();
        handler_ = new (storage_) THandler1<T>(object, method);
    }

    void Attach(int pid);
    void Detach();
    int pid() const { return pid_; }
    bool listed() const { return listed_; }

    static void Initialize();
    static void Cleanup();
    static void Activate();

private:
    friend class ChildWaitService;
    static constexpr size_t kStorage = 64;

    int pid_ = -1;
    bool listed_ = false;
    alignas(std::max_align_t) unsigned char storage_[kStorage];
    Handler* handler_;
};

static ChildWait::Init childWaitInit;

// Reaps children in the SIGCHLD handler and hands each {pid, status} record to the loop
// through a datagram socket pair; records that do not fit in the socket wait in a ring.
class ChildWaitService : public Event {
public:
    static ChildWaitService* childWaitService;

    ChildWaitService() = default;
    ~ChildWaitService() override;

    void Activate();
    void Attach(ChildWait* watch);
    void Detach(ChildWait* watch);
    unsigned watch_count() const { return watches_.count(); }

    static void SigChldHandlerWrapper(int sig, siginfo_t* info, void* context);
    void SigChldHandler();

private:
    struct Record {
        int pid;
        int status;
    };
    static constexpr unsigned kOverflow = 256;

    void OnChildEvent(int fd, short revents);
    void Serve(const Record& record);
    void Queue(const Record& record);

    Fd write_end_;
    F_dual_list<ChildWait> watches_;

    // Filled by the signal handler only, drained by the loop only.
    Record overflow_[kOverflow];
    std::atomic<unsigned> overflow_head_{0};
    std::atomic<unsigned> overflow_tail_{0};
    std::atomic<unsigned> lost_{0};
};
