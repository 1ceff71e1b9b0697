#pragma once

// The (object, member function) pair behind every callback adapter of the loop's
// objects: timers, events, deferred calls, child watches and the async engines.
// A member function pointer to a virtual function dispatches on the object's type.
template <class T, class... Args>
class MemberCall {
public:
    using Method = void (T::*)(Args...);

    MemberCall(T* object, Method method) : object_(object), method_(method) {}

    // Nothing may touch the adapter after the call: the callee may have destroyed it.
    void operator()(Args... args) const { (object_->*method_)(args...); }
    bool bound() const { return object_ != nullptr && method_ != nullptr; }

    T* object() const { return object_; }
    Method method() const { return method_; }

private:
    T* object_;
    Method method_;
};

// Installs an owned handler in place of the previous one, which is deleted;
// binding the handler already installed keeps it.
template <class Handler>
void ReplaceHandler(Handler*& installed, Handler* handler) {
    if (installed == handler) return;
    Handler* old = installed;
    installed = handler;
    delete old;
}
