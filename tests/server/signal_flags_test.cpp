// Signal flags served inside the loop: a stop asked for before the loop runs is kept,
// the status dump, and the command line.
#include "server/main/signal_flags.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/dpc.h"
#include "core/multiplexer.h"
#include "server/command_line.h"
#include "tests/server/server_test_util.h"

namespace {

TEST(SignalFlags, TerminateBeforeTheLoopRunsStillStopsIt) {
    InstallSignalHandlers();
    ASSERT_EQ(0, ::raise(SIGTERM));  // the loop clears its own stop flag when it starts
    EXPECT_EQ(1, terminateRequested);
    Dpc dpc;
    dpc.Bind(&CheckSignals);
    dpc.Activate();
    ServerTest::Capture log(std::clog);
    multiplexer.run(false, true);  // returns: without the kept request it would hang
    terminateRequested = 0;
}

TEST(SignalFlags, Usr2WritesTheStatusFileOnceAndHupOnlyLogs) {
    InstallSignalHandlers();
    char dir[] = "/tmp/tmb-status-XXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(dir));
    std::string path = std::string(dir) + "/server-status";
    ASSERT_EQ(0, ::raise(SIGUSR2));
    ASSERT_EQ(0, ::raise(SIGUSR2));
    EXPECT_EQ(1, doDumpStatus);
    CheckDumpStatus(path.c_str());
    EXPECT_EQ(0, doDumpStatus);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(0u, text.str().find("tamboril server status\nversion : T230208-1648\n"));
    EXPECT_NE(std::string::npos, text.str().find("dpc transition measurement (min/max/cur/counter): "));
    ::unlink(path.c_str());
    CheckDumpStatus(path.c_str());  // no new request: no file
    EXPECT_NE(0, ::access(path.c_str(), F_OK));

    doDumpStatus = 1;
    ServerTest::Capture err(std::cerr);
    CheckDumpStatus((std::string(dir) + "/missing/server-status").c_str());
    EXPECT_EQ(1u, err.count("dump status error\n"));
    ::rmdir(dir);

    ASSERT_EQ(0, ::raise(SIGHUP));
    ServerTest::Capture log(std::clog);
    CheckUpdateResources();
    CheckUpdateResources();
    EXPECT_EQ(1u, log.count("update hardware resources\n"));
}

int Parse(std::vector<std::string> args, CommandLine::Options& options, std::string& out) {
    std::vector<char*> argv;
    static std::string name = "tamboril";
    argv.push_back(name.data());
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::ostringstream os;
    ServerTest::Capture err(std::cerr);
    int status = CommandLine::Parse(static_cast<int>(argv.size() - 1), argv.data(), options, os);
    out = os.str();
    return status;
}

TEST(CommandLine, OptionsAndExitStatuses) {
    CommandLine::Options o;
    std::string out;
    EXPECT_EQ(-1, Parse({"--port", "30000", "-D", "--disable-clock"}, o, out));
    EXPECT_EQ(30000, o.port);
    EXPECT_TRUE(o.daemon);
    EXPECT_TRUE(o.disableClock);
    EXPECT_TRUE(out.empty());

    CommandLine::Options d;
    EXPECT_EQ(-1, Parse({}, d, out));
    EXPECT_EQ(20001, d.port);
    EXPECT_FALSE(d.daemon);

    EXPECT_EQ(2, Parse({"--version"}, d, out));
    EXPECT_EQ("server version: T230208-1648\n", out);
    EXPECT_EQ(0, Parse({"-h"}, d, out));
    EXPECT_EQ(
        "Usage:\n tamboril -Dh\n  -D --daemon                      run as daemon\n"
        "  -p --port                        use this port\n"
        "     --disable-clock               disable clock control\n"
        "     --version                     print version\n"
        "  -h --help                        display this information\n\n",
        out);
    EXPECT_EQ(2, Parse({"-p", "30000"}, d, out));
    EXPECT_EQ(0u, out.find("Usage:\n"));
    for (const char* bad : {"0", "65536", "x1", "1x", "", "-1", "99999999999"}) {
        EXPECT_EQ(2, Parse({"--port", bad}, d, out)) << bad;
    }
    EXPECT_EQ(2, Parse({"--port"}, d, out));
    EXPECT_EQ(0, Parse({"--help", "--version"}, d, out));
    EXPECT_EQ(2, Parse({"--version", "--nothing"}, d, out));
    EXPECT_EQ(0u, out.find("Usage:\n"));
    EXPECT_EQ(-1, Parse({"--port", "65535"}, d, out));
    EXPECT_EQ(65535, d.port);
}

}  // namespace
