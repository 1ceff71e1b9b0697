#include "config/syslog_manager.h"

#include <gtest/gtest.h>
#include <syslog.h>

#include <ostream>
#include <string>

#include "config/syslog_stream_buf.h"
#include "config/version.h"
#include "core/clock.h"
#include "tests/config/syslog_receiver.h"

namespace {

using namespace std::string_literals;

const std::string kIdent = "tmb-"s + Version::current.tag();

class SysLogTest : public ::testing::Test {
protected:
    // 2023-02-08 16:48:05 local time, held still.
    SysLogTest() : mClock(0) {
        struct tm t {};
        t.tm_year = 123;
        t.tm_mon = 1;
        t.tm_mday = 8;
        t.tm_hour = 16;
        t.tm_min = 48;
        t.tm_sec = 5;
        t.tm_isdst = -1;
        mNow = mktime(&t);
        mClock.set_ms(static_cast<uint64_t>(mNow) * 1000);
    }

    std::string Record(int priority, const std::string& text, const std::string& ident = kIdent) {
        return "<" + std::to_string(priority) + ">" + SysLogStamp(mNow) +
               (ident.empty() ? "" : ident + ": ") + text + '\0';
    }
    std::string DroppedNotice(unsigned records, const std::string& ident = kIdent) {
        return Record(LOG_USER | LOG_WARNING, std::to_string(records) + " log records dropped", ident);
    }

    Mux::ManualClock mClock;
    time_t mNow;
};

TEST_F(SysLogTest, StampFormatIsMonthBlankPaddedDayAndTime) {
    EXPECT_EQ(SysLogStamp(mNow), "Feb  8 16:48:05 ");
}

TEST_F(SysLogTest, RecordsWaitForTheFlushAndTravelInOneDatagram) {
    SysLogReceiver rx;
    SysLogManager m(rx.path());
    m.openlog(kIdent.c_str(), LOG_NDELAY, 0);
    EXPECT_TRUE(m.IsConnected());
    m.syslog(LOG_DAEMON | LOG_NOTICE, "%s", "first");
    m.syslog(LOG_DAEMON | LOG_ERR, "%s", "second");
    EXPECT_EQ(rx.Receive(50), "");
    EXPECT_GT(m.sendmsg(), 0);
    EXPECT_EQ(rx.Receive(), Record(29, "first") + Record(27, "second"));
    EXPECT_EQ(m.sendmsg(), 0);  // empty batch: nothing sent
    EXPECT_EQ(rx.Receive(50), "");
}

TEST_F(SysLogTest, ThreeStreamsCarryTheirPriorities) {
    SysLogReceiver rx;
    SysLogManager m(rx.path());
    m.openlog(kIdent.c_str(), LOG_NDELAY, 0);
    ManagedSysLogStreamBuf out(LOG_DAEMON, LOG_NOTICE, m), err(LOG_DAEMON, LOG_ERR, m),
        log(LOG_DAEMON, LOG_DEBUG, m);
    std::ostream o(&out), e(&err), l(&log);
    o << "notice line" << std::endl;
    EXPECT_EQ(rx.Receive(), Record(29, "notice line"));
    e << "error line" << std::endl;
    EXPECT_EQ(rx.Receive(), Record(27, "error line"));
    l << "debug line" << std::endl;
    EXPECT_EQ(rx.Receive(), Record(31, "debug line"));
}

TEST_F(SysLogTest, LinesOfOneFlushAreNulSeparatedRecordsOfOneDatagram) {
    SysLogReceiver rx;
    SysLogManager m(rx.path());
    m.openlog(kIdent.c_str(), LOG_NDELAY, 0);
    ManagedSysLogStreamBuf buf(LOG_DAEMON, LOG_NOTICE, m);
    std::ostream os(&buf);
    os << "a\nb\nc" << std::flush;
    EXPECT_EQ(rx.Receive(), Record(29, "a") + Record(29, "b") + Record(29, "c"));

    std::string expected;
    for (int i = 0; i < 20; ++i) {
        os << "line " << i << "\n";
        expected += Record(29, "line " + std::to_string(i));
    }
    os.flush();
    EXPECT_EQ(rx.Receive(), expected);
}

TEST_F(SysLogTest, TextWithoutLineEndWaitsForIt) {
    SysLogReceiver rx;
    SysLogManager m(rx.path());
    m.openlog(kIdent.c_str(), LOG_NDELAY, 0);
    ManagedSysLogStreamBuf buf(LOG_DAEMON, LOG_NOTICE, m);
    std::ostream os(&buf);
    os << "abc" << std::flush;
    EXPECT_EQ(rx.Receive(50), "");
    os << "def" << std::endl;
    EXPECT_EQ(rx.Receive(), Record(29, "abcdef"));
}

TEST_F(SysLogTest, LongLineIsCutTo1023Characters) {
    SysLogReceiver rx;
    SysLogManager m(rx.path());
    m.openlog(kIdent.c_str(), LOG_NDELAY, 0);
    ManagedSysLogStreamBuf buf(LOG_DAEMON, LOG_NOTICE, m);
    std::ostream os(&buf);
    os << std::string(2000, 'x') << std::endl;
    std::string got = rx.Receive();
    std::string head = "<29>" + SysLogStamp(mNow) + kIdent + ": ";
    ASSERT_EQ(got.size(), 1024u);
    EXPECT_EQ(got, head + std::string(1023 - head.size(), 'x') + '\0');
}

TEST_F(SysLogTest, OverlongLineIsHandedOverInPiecesOfTheBufferRoom) {
    SysLogReceiver rx;
    SysLogManager m(rx.path());
    m.openlog("", LOG_NDELAY, 0);
    ManagedSysLogStreamBuf buf(LOG_DAEMON, LOG_NOTICE, m);
    std::ostream os(&buf);
    os << std::string(16383, 'a') << "b" << std::endl;
    std::string head = "<29>" + SysLogStamp(mNow);
    EXPECT_EQ(rx.Receive(), head + std::string(1023 - head.size(), 'a') + '\0');
    EXPECT_EQ(rx.Receive(), head + "b" + '\0');
}

TEST_F(SysLogTest, PercentSignsAreRecordedLiterally) {
    SysLogReceiver rx;
    SysLogManager m(rx.path());
    m.openlog(kIdent.c_str(), LOG_NDELAY, 0);
    ManagedSysLogStreamBuf buf(LOG_DAEMON, LOG_ERR, m);
    std::ostream os(&buf);
    os << "100% %s %n %d" << std::endl;
    EXPECT_EQ(rx.Receive(), Record(27, "100% %s %n %d"));
}

TEST_F(SysLogTest, EmptyIdentDefaultFacilityAndPid) {
    SysLogReceiver rx;
    SysLogManager m(rx.path());
    EXPECT_EQ(m.GetIdent(), "syslog-mb");
    m.openlog("", LOG_NDELAY, 0);
    m.syslog(LOG_NOTICE, "x");  // no facility: LOG_USER
    m.sendmsg();
    EXPECT_EQ(rx.Receive(), Record(13, "x", ""));

    m.openlog("id", LOG_NDELAY | LOG_PID, LOG_LOCAL0);
    m.syslog(LOG_INFO, "y");
    m.sendmsg();
    EXPECT_EQ(rx.Receive(), Record(LOG_LOCAL0 | LOG_INFO, "y", "id[" + std::to_string(getpid()) + "]"));
}

TEST_F(SysLogTest, ConnectsOnFirstRecordWithoutOpenlog) {
    SysLogReceiver rx;
    SysLogManager m(rx.path());
    EXPECT_FALSE(m.IsConnected());
    m.syslog(LOG_DAEMON | LOG_DEBUG, "%d", 5);
    EXPECT_TRUE(m.IsConnected());
    m.sendmsg();
    EXPECT_EQ(rx.Receive(), Record(31, "5", "syslog-mb"));
}

TEST_F(SysLogTest, BatchIsSentOnceItPassesThreeQuarters) {
    SysLogReceiver rx;
    SysLogManager m(rx.path());
    m.openlog("", LOG_NDELAY, 0);
    std::string text(1000, 'z');
    std::string expected;
    for (int i = 0; i < 12; ++i) {
        m.syslog(LOG_NOTICE, "%s", text.c_str());
        expected += Record(13, text, "");
    }
    EXPECT_EQ(rx.Receive(50), "");  // 12 * 1021 bytes: still held
    m.syslog(LOG_NOTICE, "%s", text.c_str());
    expected += Record(13, text, "");
    EXPECT_EQ(rx.Receive(), expected);
}

TEST_F(SysLogTest, BatchIsSentAtItsTwoHundredFiftySixthRecord) {
    SysLogReceiver rx;
    SysLogManager m(rx.path());
    m.openlog("", LOG_NDELAY, 0);
    std::string expected;
    for (int i = 0; i < 255; ++i) {
        m.syslog(LOG_NOTICE, "%d", i % 10);
        expected += Record(13, std::to_string(i % 10), "");
    }
    EXPECT_EQ(rx.Receive(50), "");
    m.syslog(LOG_NOTICE, "last");
    expected += Record(13, "last", "");
    EXPECT_EQ(rx.Receive(), expected);
    m.syslog(LOG_NOTICE, "next");  // a new batch
    EXPECT_EQ(rx.Receive(50), "");
    EXPECT_GT(m.sendmsg(), 0);
    EXPECT_EQ(rx.Receive(), Record(13, "next", ""));
}

TEST_F(SysLogTest, StreamSocketIsUsedWhenDatagramIsRefused) {
    SysLogReceiver rx(SOCK_STREAM);
    SysLogManager m(rx.path());
    m.openlog(kIdent.c_str(), LOG_NDELAY, 0);
    EXPECT_TRUE(m.IsConnected());
    EXPECT_EQ(m.GetSocketType(), SOCK_STREAM);
    ManagedSysLogStreamBuf buf(LOG_DAEMON, LOG_NOTICE, m);
    std::ostream os(&buf);
    os << "over a stream" << std::endl;
    os << "still arriving" << std::endl;
    std::string expected = Record(29, "over a stream") + Record(29, "still arriving");
    EXPECT_EQ(rx.ReceiveBytes(expected.size()), expected);
}

TEST_F(SysLogTest, DatagramReceiverRestartIsSurvived) {
    SysLogReceiver rx;
    SysLogManager m(rx.path());
    m.openlog(kIdent.c_str(), LOG_NDELAY, 0);
    rx.Restart();  // the old connection now leads nowhere
    m.syslog(LOG_DAEMON | LOG_NOTICE, "%s", "after restart");
    EXPECT_GT(m.sendmsg(), 0);
    EXPECT_EQ(rx.Receive(), Record(29, "after restart"));
}

TEST_F(SysLogTest, FailedStreamSendReconnectsAndRetriesOnce) {
    SysLogReceiver rx(SOCK_STREAM);
    SysLogManager m(rx.path());
    m.openlog(kIdent.c_str(), LOG_NDELAY, 0);
    m.syslog(LOG_DAEMON | LOG_NOTICE, "%s", "one");
    m.sendmsg();
    EXPECT_EQ(rx.ReceiveBytes(Record(29, "one").size()), Record(29, "one"));
    rx.Restart();
    m.syslog(LOG_DAEMON | LOG_NOTICE, "%s", "two");
    m.sendmsg();
    EXPECT_EQ(rx.ReceiveBytes(Record(29, "two").size()), Record(29, "two"));
}

TEST_F(SysLogTest, StalledReaderCostsRecordsNotTheCaller) {
    SysLogReceiver rx;  // never reads until the end
    SysLogManager m(rx.path());
    m.openlog(kIdent.c_str(), LOG_NDELAY, 0);
    const int sent = 3000;
    for (int i = 0; i < sent; ++i) {
        m.syslog(LOG_DAEMON | LOG_NOTICE, "line %d", i);
        m.sendmsg();  // would block once the reader's queue is full
    }
    int arrived = 0;
    while (!rx.Receive(50).empty()) ++arrived;
    ASSERT_GT(arrived, 0);
    ASSERT_LT(arrived, sent);
    m.syslog(LOG_DAEMON | LOG_NOTICE, "%s", "after");
    EXPECT_GT(m.sendmsg(), 0);
    EXPECT_EQ(rx.Receive(), DroppedNotice(sent - arrived) + Record(29, "after"));
    m.syslog(LOG_DAEMON | LOG_NOTICE, "%s", "later");
    m.sendmsg();
    EXPECT_EQ(rx.Receive(), Record(29, "later"));  // the count was told once
}

TEST_F(SysLogTest, RecordsLostWithoutReceiverAreCountedOnceItIsBack) {
    SysLogReceiver rx;
    rx.Stop();
    SysLogManager m(rx.path());
    m.openlog("x", LOG_NDELAY, 0);
    EXPECT_FALSE(m.IsConnected());
    EXPECT_EQ(m.fd(), -1);
    m.syslog(LOG_NOTICE, "lost");
    m.syslog(LOG_NOTICE, "lost too");
    EXPECT_EQ(m.sendmsg(), 0);  // quietly
    rx.Restart();
    m.syslog(LOG_NOTICE, "back");
    EXPECT_GT(m.sendmsg(), 0);
    EXPECT_EQ(rx.Receive(), DroppedNotice(2, "x") + Record(13, "back", "x"));

    rx.Stop();  // while connected: the send fails, and so does the reconnect
    m.syslog(LOG_NOTICE, "lost again");
    EXPECT_EQ(m.sendmsg(), 0);
    EXPECT_FALSE(m.IsConnected());
    rx.Restart();
    m.syslog(LOG_NOTICE, "back again");
    m.sendmsg();
    EXPECT_EQ(rx.Receive(), DroppedNotice(1, "x") + Record(13, "back again", "x"));
}

TEST_F(SysLogTest, RecordsOfASendThatFailsAfterTheReconnectAreCounted) {
    SysLogReceiver rx;
    SysLogManager m(rx.path());
    m.openlog(kIdent.c_str(), LOG_NDELAY, 0);
    rx.RefuseRecords();
    m.syslog(LOG_DAEMON | LOG_NOTICE, "%s", "refused");
    m.syslog(LOG_DAEMON | LOG_NOTICE, "%s", "refused too");
    EXPECT_LT(m.sendmsg(), 0);
    rx.Restart();
    m.syslog(LOG_DAEMON | LOG_NOTICE, "%s", "taken");
    EXPECT_GT(m.sendmsg(), 0);
    EXPECT_EQ(rx.Receive(), DroppedNotice(2) + Record(29, "taken"));
}

TEST_F(SysLogTest, CloselogRestoresDefaults) {
    SysLogReceiver rx(SOCK_STREAM);
    SysLogManager m(rx.path());
    m.openlog("other", LOG_NDELAY, 0);
    m.syslog(LOG_NOTICE, "dropped");
    m.closelog();
    EXPECT_FALSE(m.IsConnected());
    EXPECT_EQ(m.fd(), -1);
    EXPECT_EQ(m.GetIdent(), "syslog-mb");
    EXPECT_EQ(m.GetSocketType(), SOCK_DGRAM);
    EXPECT_EQ(m.sendmsg(), 0);
}

TEST_F(SysLogTest, PerrorCopiesTheMessageToDescriptor2) {
    SysLogReceiver rx;
    SysLogManager m(rx.path());
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    int saved = dup(2);
    dup2(pipefd[1], 2);
    m.openlog("id", LOG_NDELAY | LOG_PERROR, 0);
    m.syslog(LOG_NOTICE, "to both");
    m.syslog(LOG_NOTICE, "ends\n");
    dup2(saved, 2);
    close(saved);
    close(pipefd[1]);
    char buf[100] = {};
    ssize_t n = read(pipefd[0], buf, sizeof buf - 1);
    close(pipefd[0]);
    EXPECT_EQ(std::string(buf, n > 0 ? static_cast<size_t>(n) : 0), "id: to both\nid: ends\n");
}

}  // namespace
