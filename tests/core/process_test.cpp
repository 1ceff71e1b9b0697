#include "core/process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
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

TEST(Process, HintIsTakenWhenItMatches) {
    std::string name = OwnCommandName();
    EXPECT_EQ(find_proc_by_name(name.c_str(), ::getpid()), ::getpid());
}

TEST(Process, DeadHintStillFindsTheProcessByScanning) {
    std::string name = OwnCommandName();
    int found = find_proc_by_name(name.c_str(), DeadPid());
    ASSERT_GT(found, 0);
    // Another test process of the same name may come first; it must be named alike.
    std::ifstream in("/proc/" + std::to_string(found) + "/comm");
    std::string comm;
    std::getline(in, comm);
    EXPECT_EQ(comm, name);
    EXPECT_GT(find_proc_by_name(name.c_str(), 0), 0);
}

TEST(Process, NamesMatchExactlyAndCaseSensitively) {
    std::string name = OwnCommandName();
    std::string longer = name + "-and-far-beyond-the-kernel-limit";
    EXPECT_EQ(find_proc_by_name(longer.c_str(), ::getpid()), -1);
    EXPECT_EQ(find_proc_by_name(name.substr(0, name.size() - 1).c_str(), ::getpid()), -1);
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper != name) {
        EXPECT_EQ(find_proc_by_name(upper.c_str(), ::getpid()), -1);
    }
    EXPECT_EQ(find_proc_by_name("no process is named this", -1), -1);
    EXPECT_EQ(find_proc_by_name(nullptr, ::getpid()), -1);
}

}  // namespace
