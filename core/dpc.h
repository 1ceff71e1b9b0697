#pragma once

#include "core/callback.h"

class DpcHandler {
public:
    virtual void Invoke() = 0;
    virtual ~DpcHandler() = default;
};

class DpcHandler1 : public DpcHandler {
public:
    explicit DpcHandler1(void (*function)()) : function_(function) {}
    void Invoke() override { function_(); }

private:
    void (*function_)();
};

template <class T>
class TDpcHandler : public DpcHandler {
public:
    TDpcHandler(T* object, void (T::*method)()) : call_(object, method) {}
    void Invoke() override { call_(); }

private:
    MemberCall<T> call_;
};

// A deferred call: while active the loop runs it twice a pass, outside any handler.
class Dpc {
public:
    Dpc() = default;
    Dpc(const Dpc&) = delete;
    Dpc& operator=(const Dpc&) = delete;
    ~Dpc();

    void Bind(DpcHandler* handler);
    void Bind(void (*function)()) { Bind(new DpcHandler1(function)); }
    template <class T>
    void Bind(T* object, void (T::*method)()) {
        Bind(new TDpcHandler<T>(object, method));
    }

    void Activate();
    void Deactivate();
    bool active() const { return active_; }
    // The function may deactivate or destroy this Dpc: nothing follows the call.
    void Invoke() {
        if (handler_ != nullptr) handler_->Invoke();
    }

private:
    DpcHandler* handler_ = nullptr;
    bool active_ = false;
};
