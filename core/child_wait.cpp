#include "core/child_wait.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "core/ipc_signal.h"

unsigned ChildWait::UsageCounter = 0;
ChildWaitService* ChildWaitService::childWaitService = nullptr;

ChildWait::Init::Init() {
    if (UsageCounter++ == 0) Initialize();
}

ChildWait::Init::~Init() {
    if (--UsageCounter == 0) Cleanup();
}

ChildWait::~ChildWait() {
    handler_->~Handler();
    Detach();
}

void ChildWait::Attach(int pid) {
    pid_ = pid;
    if (ChildWaitService::childWaitService != nullptr) ChildWaitService::childWaitService->Attach(this);
}

void ChildWait::Detach() {
    if (ChildWaitService::childWaitService != nullptr) ChildWaitService::childWaitService->Detach(this);
}

void ChildWait::Initialize() {
    ChildWaitService::childWaitService = new ChildWaitService;
}

void ChildWait::Cleanup() {
    ChildWaitService* service = ChildWaitService::childWaitService;
    ChildWaitService::childWaitService = nullptr;
    delete service;
}

void ChildWait::Activate() {
    if (ChildWaitService::childWaitService != nullptr) ChildWaitService::childWaitService->Activate();
}

ChildWaitService::~ChildWaitService() {
    Release();
    write_end_.close();
}

void ChildWaitService::Activate() {
    if (IsActive()) return;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_DGRAM, 0, pair) != 0) {
        std::cerr << "ChildWaitService: initialize fails" << std::endl;
        return;
    }
    Fd read_end(pair[1]);
    write_end_ = Fd(pair[0]);
    // The signal handler must never block on a full socket.
    write_end_.NonBlock();
    Bind("ChildWaitService::OnChildEvent", &ChildWaitService::OnChildEvent, this);
    read_end.NonBlock();
    Schedule(read_end, POLLIN);
    IPC::Signal::handle(SIGCHLD, &ChildWaitService::SigChldHandlerWrapper, SA_RESTART);
}

void ChildWaitService::Attach(ChildWait* watch) {
    if (watch->listed_) watches_.remove(watch);
    watches_.insert_to_tail(watch);
    watch->listed_ = true;
}

void ChildWaitService::Detach(ChildWait* watch) {
    if (!watch->listed_) return;
    watches_.remove(watch);
    watch->listed_ = false;
}

void ChildWaitService::SigChldHandlerWrapper(int, siginfo_t*, void*) {
    if (childWaitService != nullptr) childWaitService->SigChldHandler();
}

// Signal context: waitpid, writev and atomics only; errno is kept for the interrupted code.
void ChildWaitService::SigChldHandler() {
    const int saved_errno = errno;
    int status = 0;
    pid_t pid;
    while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0) Queue(Record{pid, status});
    errno = saved_errno;
}

void ChildWaitService::Queue(const Record& record) {
    const int fd = write_end_.lowlevel_fd();
    if (fd < 0) return;
    const unsigned tail = overflow_tail_.load(std::memory_order_relaxed);
    // While older records wait in the ring, newer ones queue behind them.
    if (overflow_head_.load(std::memory_order_acquire) == tail) {
        Record copy = record;
        iovec pieces[2] = {{&copy.pid, sizeof(copy.pid)}, {&copy.status, sizeof(copy.status)}};
        if (::writev(fd, pieces, 2) == static_cast<ssize_t>(sizeof(Record))) return;
    }
    if (tail - overflow_head_.load(std::memory_order_acquire) >= kOverflow) {
        lost_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    overflow_[tail % kOverflow] = record;
    overflow_tail_.store(tail + 1, std::memory_order_release);
}

void ChildWaitService::OnChildEvent(int fd, short revents) {
    if ((revents & POLLIN) == 0) return;
    for (;;) {
        Record record;
        iovec pieces[2] = {{&record.pid, sizeof(record.pid)}, {&record.status, sizeof(record.status)}};
        if (::readv(fd, pieces, 2) != static_cast<ssize_t>(sizeof(Record))) break;
        Serve(record);
    }
    for (;;) {
        const unsigned head = overflow_head_.load(std::memory_order_relaxed);
        if (head == overflow_tail_.load(std::memory_order_acquire)) break;
        Record record = overflow_[head % kOverflow];
        overflow_head_.store(head + 1, std::memory_order_release);
        Serve(record);
    }
    if (unsigned lost = lost_.exchange(0)) {
        std::cerr << "ChildWaitService: " << lost << " child exit records lost" << std::endl;
    }
}

void ChildWaitService::Serve(const Record& record) {
    std::clog << "terminate child process, pid=" << record.pid << " status=" << record.status << std::endl;
    for (auto it = watches_.begin(); it != watches_.end(); ++it) {
        ChildWait* watch = *it;
        if (watch->pid_ != record.pid) continue;
        Detach(watch);
        // The owner may destroy the watch inside its handler.
        watch->handler_->Invoke(*watch, record.status);
        return;
    }
}
