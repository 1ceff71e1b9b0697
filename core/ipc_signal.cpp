#include "core/ipc_signal.h"

#include <atomic>
#include <cerrno>

namespace IPC {

namespace {

// Three-argument handlers by signal number, called through one plain trampoline.
std::atomic<Signal::InfoHandler> gInfoHandlers[NSIG];

void InfoTrampoline(int sig) {
    if (sig > 0 && sig < NSIG) {
        Signal::InfoHandler handler = gInfoHandlers[sig].load(std::memory_order_relaxed);
        if (handler) handler(sig, nullptr, nullptr);
    }
}

int Install(int sig, Signal::Handler handler, const Signal::Set& mask, int flags) {
    struct sigaction action = {};
    action.sa_handler = handler;
    mask.copy_to(action.sa_mask);
    action.sa_flags = flags & ~SA_SIGINFO;
    return ::sigaction(sig, &action, nullptr);
}

int SetRestart(int sig, bool restart) {
    struct sigaction action;
    if (::sigaction(sig, nullptr, &action) != 0) return -1;
    if (restart)
        action.sa_flags |= SA_RESTART;
    else
        action.sa_flags &= ~SA_RESTART;
    return ::sigaction(sig, &action, nullptr);
}

}  // namespace

bool Signal::is_signal(int sig) {
    sigset_t empty;
    sigemptyset(&empty);
    return sigismember(&empty, sig) != -1;
}

int Signal::handle(int sig, Handler handler, const Set& mask, int flags) {
    return Install(sig, handler, mask, flags);
}

int Signal::handle(int sig, InfoHandler handler, const Set& mask, int flags) {
    if (sig <= 0 || sig >= NSIG) {
        errno = EINVAL;
        return -1;
    }
    gInfoHandlers[sig].store(handler, std::memory_order_relaxed);
    return Install(sig, handler ? InfoTrampoline : SIG_DFL, mask, flags);
}

int Signal::ignore(int sig) {
    return Install(sig, SIG_IGN, Set(), 0);
}

int Signal::system(int sig) {
    return Install(sig, SIG_DFL, Set(), 0);
}

int Signal::disable_int(int sig) {
    return SetRestart(sig, true);
}

int Signal::enable_int(int sig) {
    return SetRestart(sig, false);
}

}  // namespace IPC
