#include "config/trace_ctl.h"

#include <gtest/gtest.h>

#include <sstream>

#include "config/trace_block.h"
#include "config/version.h"

namespace {

// Runs Configure on the "traces" section of text and returns what the error stream got.
std::string Configure(TraceCtl& t, const std::string& text) {
    IniFile::File file;
    std::istringstream in(text);
    in >> file;
    std::ostringstream err;
    std::streambuf* old = std::cerr.rdbuf(err.rdbuf());
    t.Configure(file["traces"]);
    std::cerr.rdbuf(old);
    return err.str();
}

TEST(TraceCtl, AllOffByDefault) {
    EXPECT_FALSE(traces.signalling.hdlc);
    EXPECT_FALSE(traces.signalling.lemzgw);
    EXPECT_FALSE(traces.signalling.events);
    EXPECT_FALSE(traces.monitoring.internal);
}

TEST(TraceCtl, NoSectionChangesNothing) {
    TraceCtl t;
    t.signalling.hdlc = true;
    EXPECT_EQ(Configure(t, "[other]\nsignalling.hdlc = yes\n"), "");
    EXPECT_TRUE(t.signalling.hdlc);
    EXPECT_FALSE(t.signalling.events);
}

TEST(TraceCtl, KeysSetTheirSwitches) {
    TraceCtl t;
    EXPECT_EQ(Configure(t,
                        "[traces]\nsignalling.hdlc = yes\nsignalling.lemzgw = enabled\n"
                        "signalling.events = 1\nmonitoring.internal = true\n"),
              "");
    EXPECT_TRUE(t.signalling.hdlc);
    EXPECT_TRUE(t.signalling.lemzgw);
    EXPECT_TRUE(t.signalling.events);
    EXPECT_TRUE(t.monitoring.internal);
}

TEST(TraceCtl, CaseDifferenceIsReportedAndLeavesSwitchOff) {
    TraceCtl t;
    EXPECT_EQ(
        Configure(t, "[traces]\n\nsignalling.hdlc = On\n"),
        "traces: optional key \"signalling.hdlc\" has invalid value=\"On\", line 3. Key will be ignored.\n");
    EXPECT_FALSE(t.signalling.hdlc);
}

TEST(TraceCtl, EventsCarryOverBetweenOccurrencesOthersStartOff) {
    TraceCtl t;
    EXPECT_EQ(
        Configure(t,
                  "[traces]\nsignalling.events = yes\nsignalling.hdlc = yes\nmonitoring.internal = yes\n"
                  "[traces]\nsignalling.lemzgw = no\n"),
        "");
    EXPECT_TRUE(t.signalling.events);
    EXPECT_FALSE(t.signalling.hdlc);
    EXPECT_FALSE(t.monitoring.internal);
}

TEST(Version, CurrentStreamsItsTagOnly) {
    std::ostringstream os;
    os << Version::current;
    EXPECT_EQ(os.str(), "T230208-1648");
    EXPECT_STREQ(Version::current.tag(), "T230208-1648");
    EXPECT_STREQ(Version::current.date(), "2023-02-08 16:48");
    EXPECT_STREQ(Version::current.arch(), "ppc");
    EXPECT_EQ(Version::current.type(), Version::snapshot);
    EXPECT_EQ(Version::current.number(), 0);
    EXPECT_STREQ(Version::current.extra(), "");
}

TEST(Version, TypeNamesAndSuffixes) {
    std::ostringstream os;
    os << Version::snapshot << "," << Version::test << "," << Version::release << "," << Version::unit_test
       << "," << static_cast<Version::Type>(7);
    EXPECT_EQ(os.str(), "snapshot,test,release,unit-test,unknown");
    EXPECT_STREQ(version_suffix(Version::snapshot), "S");
    EXPECT_STREQ(version_suffix(Version::test), "T");
    EXPECT_STREQ(version_suffix(Version::unit_test), "T");
    EXPECT_STREQ(version_suffix(Version::release), "R");
    EXPECT_STREQ(version_suffix(static_cast<Version::Type>(-1)), "U");
}

TEST(TraceBlock, WritesEnterAndLeaveWhenEnabled) {
    std::ostringstream os;
    {
        Trace::Block on(true, "work", os);
        Trace::Block off(false, "quiet", os);
    }
    EXPECT_EQ(os.str(), "Enter work\nLeave work\n");
}

}  // namespace
