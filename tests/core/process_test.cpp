#include "core/process.h"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string OwnCommandName() {
    std::ifstream in("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto open = stat.find('(');
    auto close = stat.rfind(')');
    return stat.substr(open + 1, close - open - 1);
}

// A pid that surely belongs to no process: a child that has been reaped.
int DeadPid() {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

// A child under a command name that no other process has, so that a scan of /proc
// cannot meet a parallel test process instead: 15 characters (the kernel's limit)
// made from our pid. It waits until released, or until we are gone.
class NamedChild {
public:
    NamedChild() {
        std::snprintf(name_, sizeof name_, "tmbproc%08x", static_cast<unsigned>(::getpid()));
        int ready[2], hold[2];
        if (::pipe(ready) != 0) return;
        if (::pipe(hold) != 0) {
            ::close(ready[0]);
            ::close(ready[1]);
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(hold[1]);
            char named = ::prctl(PR_SET_NAME, name_) == 0 ? 1 : 0;
            if (::write(ready[1], &named, 1) == 1) {
                ssize_t released = ::read(hold[0], &named, 1);  // 0 once our end is closed
                (void)released;
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(hold[0]);
        hold_ = hold[1];
        char named = 0;
        named_ = pid_ > 0 && ::read(ready[0], &named, 1) == 1 && named;
        ::close(ready[0]);
    }
    ~NamedChild() {
        if (hold_ >= 0) ::close(hold_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    NamedChild(const NamedChild&) = delete;
    NamedChild& operator=(const NamedChild&) = delete;

    bool named() const { return named_; }
    int pid() const { return pid_; }
    std::string name() const { return name_; }

private:
    char name_[16] = {};
    int pid_ = -1;
    int hold_ = -1;
    bool named_ = false;
};

TEST(Process, HintIsTakenWhenItMatches) {
    std::string name = OwnCommandName();
    EXPECT_EQ(find_proc_by_name(name.c_str(), ::getpid()), ::getpid());
}

TEST(Process, DeadHintStillFindsTheProcessByScanning) {
    NamedChild child;
    ASSERT_TRUE(child.named());
    EXPECT_EQ(find_proc_by_name(child.name().c_str(), DeadPid()), child.pid());
    EXPECT_EQ(find_proc_by_name(child.name().c_str(), 0), child.pid());
    // A live hint of another name.
    EXPECT_EQ(find_proc_by_name(child.name().c_str(), ::getpid()), child.pid());
}

TEST(Process, NamesMatchExactlyAndCaseSensitively) {
    NamedChild child;
    ASSERT_TRUE(child.named());
    // Every such name is 15 characters, so one cut short is no sibling's either.
    const std::string name = child.name();
    EXPECT_EQ(find_proc_by_name((name + "-and-beyond").c_str(), child.pid()), -1);
    EXPECT_EQ(find_proc_by_name(name.substr(0, name.size() - 1).c_str(), child.pid()), -1);
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(find_proc_by_name(upper.c_str(), child.pid()), -1);
    EXPECT_EQ(find_proc_by_name("no process is named this", -1), -1);
    EXPECT_EQ(find_proc_by_name(nullptr, child.pid()), -1);
}

}  // namespace
