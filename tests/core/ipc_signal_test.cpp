#include "core/ipc_signal.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>

namespace {

volatile sig_atomic_t gLast = 0;
volatile sig_atomic_t gInfoWasNull = 0;

void OnPlain(int sig) {
    gLast = sig;
}

void OnInfo(int sig, siginfo_t* info, void* context) {
    gLast = sig;
    gInfoWasNull = info == nullptr && context == nullptr;
}

struct sigaction Current(int sig) {
    struct sigaction action;
    sigaction(sig, nullptr, &action);
    return action;
}

TEST(IpcSignal, SetsAndValidity) {
    IPC::Signal::Set s(SIGUSR1, SIGUSR2, SIGHUP);
    EXPECT_TRUE(s.has(SIGUSR1));
    EXPECT_TRUE(s.has(SIGHUP));
    EXPECT_FALSE(s.has(SIGTERM));
    sigset_t raw;
    s.copy_to(raw);
    EXPECT_EQ(sigismember(&raw, SIGUSR2), 1);

    EXPECT_TRUE(IPC::Signal::is_signal(SIGTERM));
    EXPECT_FALSE(IPC::Signal::is_signal(0));
    EXPECT_FALSE(IPC::Signal::is_signal(-3));
    EXPECT_FALSE(IPC::Signal::is_signal(100000));
}

TEST(IpcSignal, PlainHandlerWithMaskAndSigInfoCleared) {
    ASSERT_EQ(
        IPC::Signal::handle(SIGUSR1, OnPlain, IPC::Signal::Set(SIGUSR2, SIGHUP), SA_RESTART | SA_SIGINFO), 0);
    struct sigaction a = Current(SIGUSR1);
    EXPECT_EQ(a.sa_flags & SA_SIGINFO, 0);
    EXPECT_NE(a.sa_flags & SA_RESTART, 0);
    EXPECT_EQ(sigismember(&a.sa_mask, SIGUSR2), 1);
    EXPECT_EQ(sigismember(&a.sa_mask, SIGHUP), 1);
    gLast = 0;
    ::raise(SIGUSR1);
    EXPECT_EQ(gLast, SIGUSR1);
    IPC::Signal::system(SIGUSR1);
}

TEST(IpcSignal, ThreeArgumentHandlerGetsOnlyTheNumber) {
    ASSERT_EQ(IPC::Signal::handle(SIGUSR2, OnInfo, SA_SIGINFO), 0);
    EXPECT_EQ(Current(SIGUSR2).sa_flags & SA_SIGINFO, 0);
    gLast = 0;
    gInfoWasNull = 0;
    ::raise(SIGUSR2);
    EXPECT_EQ(gLast, SIGUSR2);
    EXPECT_EQ(gInfoWasNull, 1);
    EXPECT_EQ(IPC::Signal::handle(0, OnInfo, 0), -1);
    EXPECT_EQ(IPC::Signal::handle(SIGKILL, OnInfo, 0), -1);
    IPC::Signal::system(SIGUSR2);
}

TEST(IpcSignal, IgnoreDefaultAndRestartSwitch) {
    ASSERT_EQ(IPC::Signal::ignore(SIGHUP), 0);
    EXPECT_EQ(Current(SIGHUP).sa_handler, SIG_IGN);
    ::raise(SIGHUP);  // ignored: the test lives on

    ASSERT_EQ(IPC::Signal::handle(SIGHUP, OnPlain, 0), 0);
    EXPECT_EQ(Current(SIGHUP).sa_flags & SA_RESTART, 0);
    ASSERT_EQ(IPC::Signal::disable_int(SIGHUP), 0);
    EXPECT_NE(Current(SIGHUP).sa_flags & SA_RESTART, 0);
    ASSERT_EQ(IPC::Signal::enable_int(SIGHUP), 0);
    EXPECT_EQ(Current(SIGHUP).sa_flags & SA_RESTART, 0);

    ASSERT_EQ(IPC::Signal::system(SIGHUP), 0);
    EXPECT_EQ(Current(SIGHUP).sa_handler, SIG_DFL);
}

}  // namespace
