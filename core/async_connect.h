#pragma once

#include <string>

#include "core/event.h"
#include "core/fd.h"
#include "core/timer.h"

namespace ASync {

// A non-blocking TCP connect with a time limit; reports its end once to the bound
// handler, handing over the connected descriptor.
class Connect {
public:
    struct Status {
        enum Type { idle = 0, connecting = 1, failed = 2, connected = 3, stopped = 4 };
    };

    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void Invoke(Status::Type status, Fd fd) = 0;
    };

    template <class T>
    class THandler : public Handler {
    public:
        using Action = void (T::*)(Status::Type, Fd);
        THandler(Action action, T* object) : call_(object, action) {}
        void Invoke(Status::Type status, Fd fd) override {
            if (call_.method() != nullptr) call_(status, fd);
        }

    private:
        MemberCall<T, Status::Type, Fd> call_;
    };

    Connect() = default;
    Connect(const Connect&) = delete;
    Connect& operator=(const Connect&) = delete;
    ~Connect();

    void Bind(Handler* handler);
    template <class T>
    void Bind(typename THandler<T>::Action action, T* object) {
        Bind(new THandler<T>(action, object));
    }
    void UnBind() { Bind(nullptr); }

    void Start(const std::string& address, unsigned timeout);
    void Stop() { Complete(Status::stopped); }
    Status::Type status() const { return status_; }

private:
    void OnSocketEvent(int fd, short revents);
    void OnTimeOut(Timer*);
    void Complete(Status::Type status);

    Status::Type status_ = Status::idle;
    Fd socket_;
    Event event_;
    Handler* handler_ = nullptr;
    Timer timer_;
};

}  // namespace ASync
