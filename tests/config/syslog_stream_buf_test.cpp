#include "config/syslog_stream_buf.h"

#include <gtest/gtest.h>

#include <iostream>

#include <ostream>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/multiplexer.h"
#include "core/timer.h"

namespace {

// Keeps the records instead of sending them.
class CaptureBuf : public SysLogStreamBuf {
public:
    using SysLogStreamBuf::setbuf;
    using SysLogStreamBuf::SysLogStreamBuf;
    std::vector<std::string> records;
    int flushes = 0;

protected:
    void IRecord(const char* text) override { records.emplace_back(text); }
    void IFlush() override { ++flushes; }
};

using Records = std::vector<std::string>;

TEST(SysLogStreamBuf, PriorityIsFacilityPlusSeverity) {
    CaptureBuf buf(3 << 3, 5);
    EXPECT_EQ(buf.GetPriority(), 29);
}

TEST(SysLogStreamBuf, EachLineAndTheTrailingPieceIsARecord) {
    CaptureBuf buf(0, 5);
    std::ostream os(&buf);
    os << "a\n\nb\nc" << std::flush;
    EXPECT_EQ(buf.records, (Records{"a", "", "b", "c"}));
    EXPECT_EQ(buf.flushes, 1);
}

TEST(SysLogStreamBuf, FullBufferWithoutLineEndIsOneRecord) {
    CaptureBuf buf(0, 5);
    std::ostream os(&buf);
    os << std::string(1023, 'q') << "rest" << std::flush;
    EXPECT_EQ(buf.records, Records{std::string(1023, 'q')});
    os << std::endl;
    EXPECT_EQ(buf.records, (Records{std::string(1023, 'q'), "rest"}));
}

TEST(SysLogStreamBuf, SetbufSyncsAndUsesTheNewRoom) {
    CaptureBuf buf(0, 5);
    std::ostream os(&buf);
    os << "pending";
    char tiny[1];
    buf.setbuf(tiny, 1);  // too small: ignored
    EXPECT_TRUE(buf.records.empty());
    buf.setbuf(new char[4], 4);                  // three characters of room
    EXPECT_EQ(buf.records, Records{"pending"});  // not lost with the old buffer
    os << "abcdefg" << std::flush;
    os << "\n" << std::flush;
    EXPECT_EQ(buf.records, (Records{"pending", "abc", "def", "g"}));
}

TEST(SysLogStreamBuf, LoopRuntimeErrorBlockIsOneRecordPerLine) {
    Mux::ManualClock clock(1000000);
    struct Idle {
        void On() {}
    } idle;
    Timer far;
    far.set(8000000, &Idle::On, &idle);
    CaptureBuf buf(0, 3);
    std::streambuf* saved = std::cerr.rdbuf(&buf);  // the error stream stays unit-buffered
    multiplexer.timers_schedule();
    std::cerr.rdbuf(saved);
    EXPECT_EQ(buf.records, (Records{"******** RUNTIME ERROR CONDITION *************"
                                    "Multiplexer::timers_schedule() invalid wait time detected!",
                                    "now = 1000000", "first = 9000000", "count = 1"}));
}

}  // namespace
