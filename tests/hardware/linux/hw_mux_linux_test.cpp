#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "hardware/hw_mux.h"

namespace {

// Off the board there is no /dev/hal: the switch must fail cleanly, with the
// open failure in the log and neutral results.
TEST(HwMuxLinuxTest, MissingBoardDeviceFailsCleanly) {
    struct stat st;
    if (::stat("/dev/hal", &st) == 0) GTEST_SKIP() << "this machine has /dev/hal";
    int expected = errno;

    std::ostringstream log;
    std::streambuf* saved = std::clog.rdbuf(log.rdbuf());
    {
        HwMux mux;
        EXPECT_FALSE(mux.IsOpened());
        EXPECT_FALSE(mux.Connect(1, 8192));
        EXPECT_EQ(mux.Read(8192), 255);
        EXPECT_FALSE(mux.refreshing());
    }
    std::clog.rdbuf(saved);

    const std::string failed = std::string("hwMux: can't open device: ") + std::strerror(expected);
    EXPECT_EQ(log.str(), "hwMux: init\n" + failed + "\n" + failed + "\n" + failed +
                             "\nhwMux: ERROR not opened\n" + failed + "\n");
}

}  // namespace
