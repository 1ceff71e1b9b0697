#include "config/log_file_stream_buf.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>

#include "core/clock.h"

namespace {

class LogFileTest : public ::testing::Test {
protected:
    LogFileTest() {
        char dir[] = "/tmp/tmb-logfile-XXXXXX";
        if (mkdtemp(dir)) mDir = dir;
    }
    ~LogFileTest() override { std::filesystem::remove_all(mDir); }

    // Sets the loop clock to a local time of 2023-02-<day>.
    void At(int day, int hour, int min, int sec, long usec) {
        struct tm t {};
        t.tm_year = 123;
        t.tm_mon = 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = min;
        t.tm_sec = sec;
        t.tm_isdst = -1;
        mClock.set_us(static_cast<uint64_t>(mktime(&t)) * 1000000 + static_cast<uint64_t>(usec));
    }

    std::string Read(const std::string& name) {
        std::ifstream in(mDir + "/" + name);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    Mux::ManualClock mClock;
    std::string mDir;
};

TEST_F(LogFileTest, StampIsMinuteSecondAndMicroseconds) {
    At(8, 12, 34, 56, 4321);
    LogFileStreamBuf buf(mDir);
    EXPECT_EQ(buf.FileName(), mDir + "/2023_02_08-12.log");
    std::ostream os(&buf);
    os << "hello world, longer than sixteen" << std::endl;
    os << "a\nb\n" << std::flush;
    EXPECT_EQ(Read("2023_02_08-12.log"),
              "34:56:04321: hello world, longer than sixteen\n34:56:04321: a\n34:56:04321: b\n");
}

TEST_F(LogFileTest, LineWrittenInTwoPartsIsOneStampedLine) {
    At(8, 12, 0, 1, 123456);
    LogFileStreamBuf buf(mDir);
    std::ostream os(&buf);
    os << "first " << std::flush;
    At(8, 12, 0, 2, 0);
    os << "second" << std::endl;
    os << "next" << std::endl;
    EXPECT_EQ(Read("2023_02_08-12.log"), "00:01:123456: first second\n00:02:00000: next\n");
}

TEST_F(LogFileTest, NewHourOpensNewFile) {
    At(8, 10, 59, 59, 900000);
    LogFileStreamBuf buf(mDir);
    std::ostream os(&buf);
    os << "before" << std::endl;
    At(8, 11, 0, 0, 100000);
    os << "after" << std::endl;
    EXPECT_EQ(Read("2023_02_08-10.log"), "59:59:900000: before\n");
    EXPECT_EQ(Read("2023_02_08-11.log"), "00:00:100000: after\n");
}

TEST_F(LogFileTest, SameHourOfAnotherDayIsAnotherFile) {
    At(8, 11, 0, 0, 0);
    LogFileStreamBuf buf(mDir);
    std::ostream os(&buf);
    os << "monday" << std::endl;
    At(9, 11, 0, 0, 0);
    os << "tuesday" << std::endl;
    EXPECT_EQ(Read("2023_02_08-11.log"), "00:00:00000: monday\n");
    EXPECT_EQ(Read("2023_02_09-11.log"), "00:00:00000: tuesday\n");
}

TEST_F(LogFileTest, RestartWithinTheHourEmptiesItsFile) {
    At(8, 9, 0, 0, 0);
    {
        LogFileStreamBuf buf(mDir);
        std::ostream os(&buf);
        os << "old" << std::endl;
    }
    LogFileStreamBuf buf(mDir);
    std::ostream os(&buf);
    os << "new" << std::endl;
    EXPECT_EQ(Read("2023_02_08-09.log"), "00:00:00000: new\n");
}

TEST_F(LogFileTest, UnopenableDirectoryLosesOutputWithoutFailing) {
    At(8, 9, 0, 0, 0);
    LogFileStreamBuf buf(mDir + "/missing");
    std::ostream os(&buf);
    os << "nowhere" << std::endl;
    EXPECT_TRUE(os.good());
}

}  // namespace
