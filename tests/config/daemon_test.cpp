// daemon() runs only in forked children here, never in the test runner itself.
#include "config/daemon.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "config/syslog_manager.h"
#include "config/version.h"
#include "core/clock.h"
#include "tests/config/syslog_receiver.h"

namespace {

const time_t kNow = 1675874885;  // a fixed moment; stamps are computed in local time

// Runs body in a forked child and waits for that child (the daemon's parent half).
template <class Body>
void InChild(Body body) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

std::string Record(int priority, const std::string& ident, const std::string& text) {
    return "<" + std::to_string(priority) + ">" + SysLogStamp(kNow) + ident + ": " + text + '\0';
}

TEST(Daemon, StreamsBecomeSystemLogRecordsAndDescriptorsFollow) {
    Mux::ManualClock clock(static_cast<uint64_t>(kNow) * 1000);
    SysLogReceiver rx;
    const std::string ident = std::string("tmb-") + Version::current.tag();
    InChild([&] {
        syslogManager.SetPath(rx.path());
        Daemon::Params params;
        params.nochdir = true;
        params.name = ident;
        Daemon::Init(params);
        Daemon::Params later;
        later.name = "ignored";
        Daemon::Init(later);  // only the first call acts
        std::cout << "server version: " << Version::current << std::endl;
        std::cerr << "error line" << std::endl;
        std::clog << "debug line" << std::endl;
        ssize_t n = write(1, "raw child output\n", 17);
        (void)n;
    });
    EXPECT_EQ(rx.Receive(), Record(29, ident, "server version: T230208-1648"));
    EXPECT_EQ(rx.Receive(), Record(27, ident, "error line"));
    EXPECT_EQ(rx.Receive(), Record(31, ident, "debug line"));
    EXPECT_EQ(rx.Receive(), "raw child output\n");
}

TEST(Daemon, NameIsCutTo79Characters) {
    Mux::ManualClock clock(static_cast<uint64_t>(kNow) * 1000);
    SysLogReceiver rx;
    const std::string name(100, 'n');
    InChild([&] {
        syslogManager.SetPath(rx.path());
        Daemon::Params params;
        params.nochdir = true;
        params.name = name;
        Daemon::Init(params);
        std::cout << "x" << std::endl;
    });
    EXPECT_EQ(rx.Receive(), Record(29, name.substr(0, 79), "x"));
}

// The streams flush into their buffers once more when the process exits, after the
// client's own static storage may already have been torn down.
TEST(Daemon, LinesStillBufferedAtExitAreSentSafely) {
    Mux::ManualClock clock(static_cast<uint64_t>(kNow) * 1000);
    SysLogReceiver rx;
    const std::string ident = std::string("tmb-") + Version::current.tag();
    InChild([&] {
        syslogManager.SetPath(rx.path());
        const int error = dup(2);
        Daemon::RedirectToSysLog(ident, syslogManager);
        dup2(error, 2);                        // a sanitizer's report must not wait for a reader of the log
        std::cout << "written before exit\n";  // no flush: the exit flushes it
        std::exit(0);
    });
    EXPECT_EQ(rx.Receive(), Record(29, ident, "written before exit"));
}

TEST(Daemon, LogFileModeWritesAllStreamsToTheHourFile) {
    Mux::ManualClock clock(static_cast<uint64_t>(kNow) * 1000);
    char dir[] = "/tmp/tmb-daemon-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    InChild([&] {
        Daemon::Params params;
        params.mode = 1;
        params.name = dir;  // a full path: the working directory changes to "/"
        Daemon::Init(params);
        std::cout << "out" << std::endl;
        std::cerr << "err" << std::endl;
        std::clog << "log" << std::endl;
    });
    struct tm local {};
    time_t now = kNow;
    localtime_r(&now, &local);
    char name[64];
    strftime(name, sizeof name, "/%Y_%m_%d-%H.log", &local);
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%02d:%02d:00000: ", local.tm_min, local.tm_sec);
    const std::string expected = std::string(stamp) + "out\n" + stamp + "err\n" + stamp + "log\n";
    std::string got;
    for (int i = 0; i < 200 && got != expected; ++i) {  // the detached child writes on its own time
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(std::string(dir) + name);
        std::stringstream ss;
        ss << in.rdbuf();
        got = ss.str();
    }
    EXPECT_EQ(got, expected);
    std::filesystem::remove_all(dir);
}

}  // namespace
