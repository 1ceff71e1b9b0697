// Signal installation. Handlers always get the signal number only: SA_SIGINFO is
// cleared whatever the caller asks, and a three-argument handler is called with null
// info and context.
#pragma once

#include <signal.h>

namespace IPC {

class Signal {
public:
    class Set {
    public:
        Set() { sigemptyset(&mSet); }
        Set(int a, int b) : Set() {
            add(a);
            add(b);
        }
        Set(int a, int b, int c) : Set(a, b) { add(c); }

        void add(int sig) { sigaddset(&mSet, sig); }
        bool has(int sig) const { return sigismember(&mSet, sig) == 1; }
        void copy_to(sigset_t& out) const { out = mSet; }

    private:
        sigset_t mSet;
    };

    using Handler = void (*)(int);
    using InfoHandler = void (*)(int, siginfo_t*, void*);

    static bool is_signal(int sig);

    // sigaction's result, 0 or -1. The previous action is not kept.
    static int handle(int sig, Handler handler, const Set& mask, int flags);
    static int handle(int sig, Handler handler, int flags) { return handle(sig, handler, Set(), flags); }
    static int handle(int sig, InfoHandler handler, const Set& mask, int flags);
    static int handle(int sig, InfoHandler handler, int flags) { return handle(sig, handler, Set(), flags); }

    static int ignore(int sig);
    // Back to the default action.
    static int system(int sig);
    // Whether a system call interrupted by the signal restarts (disable_int) or
    // fails with EINTR (enable_int).
    static int disable_int(int sig);
    static int enable_int(int sig);
};

}  // namespace IPC
