#include "config/ini_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

// A fixed underlying type lets numbers beyond the named values be stored.
enum AddrType : int { ipv4 = 1, ipv6 = 2 };
const IniFile::Symbol<AddrType> kAddrTypes[] = {{"ipv4", ipv4}, {"ipv6", ipv6}, {nullptr, ipv4}};

// Without a fixed underlying type an enumeration holds only 0..7 (these enumerators'
// bit-field), or -4..3 with a negative one; storing anything else is undefined.
enum Kind { k1 = 1, k2 = 2, k4 = 4 };
const IniFile::Symbol<Kind> kKinds[] = {{"one", k1}, {"two", k2}, {"four", k4}, {nullptr, k1}};
enum Signed { minus3 = -3, plus1 = 1 };
const IniFile::Symbol<Signed> kSigned[] = {{"minus3", minus3}, {"plus1", plus1}, {nullptr, plus1}};

// Parses text and gives the first occurrence of section "s".
struct Fixture {
    explicit Fixture(const std::string& text) {
        std::istringstream in(text);
        in >> file;
        file["s"].CheckEmpty();
    }
    IniFile::SubSection& sub() { return *file["s"].begin(); }
    IniFile::File file;
    std::ostringstream out;
};

TEST(Reader, NoDeclaredKeysIsTrueAndSilent) {
    Fixture f("[s]\nk=1\n");
    IniFile::Reader r("p: ", f.out);
    EXPECT_TRUE(r(f.sub()));
    EXPECT_EQ(f.out.str(), "");
}

TEST(Reader, RequiredKeyNotPresentNamesHeaderLine) {
    Fixture f("\n\n\n\n\n\n[s]\nname=x\n");
    IniFile::Reader r("snmpagent: ", f.out);
    std::string host;
    r.required.add(&host, "host");
    EXPECT_FALSE(r(f.sub()));
    EXPECT_EQ(f.out.str(), "snmpagent: required key \"host\" not present, line 7\n");
}

TEST(Reader, RequiredKeyMissingInAddedOccurrence) {
    Fixture f("");
    IniFile::Reader r("snmpagent: ", f.out);
    std::string host;
    r.required.add(&host, "host");
    EXPECT_FALSE(r(f.sub()));
    EXPECT_EQ(f.out.str(), "snmpagent: required key \"host\" not present, line -1\n");
}

TEST(Reader, RequiredInvalidValue) {
    Fixture f("[s]\nflag = maybe\n");
    IniFile::Reader r("p: ", f.out);
    bool flag = false;
    r.required.add(&flag, "flag");
    EXPECT_FALSE(r(f.sub()));
    EXPECT_EQ(f.out.str(), "p: required key \"flag\" has invalid value=\"maybe\", line 2\n");
}

TEST(Reader, RequiredDuplicateStopsTheRun) {
    Fixture f("[s]\na=1\nb=x\nb=y\nc=z\n");
    IniFile::Reader r("p: ", f.out);
    std::string a, b = "keep", c = "keep", o = "keep";
    r.required.add(&a, "a");
    r.required.add(&b, "b");
    r.required.add(&c, "c");
    r.optional.add(&o, "a");
    EXPECT_FALSE(r(f.sub()));
    EXPECT_EQ(f.out.str(),
              "p: required key \"b\" is duplicated!\n"
              "p:  first occurence at 3 line.\n"
              "p:  second occurence at 4 line.\n");
    EXPECT_EQ(a, "1");  // earlier keys are already stored
    EXPECT_EQ(b, "keep");
    EXPECT_EQ(c, "keep");
    EXPECT_EQ(o, "keep");
}

TEST(Reader, RequiredRepetition) {
    Fixture f("[s]\nk=1\nk=2\nk=3\n");
    IniFile::Reader r("p: ", f.out);
    std::string k;
    r.required.add(&k, "k");
    EXPECT_FALSE(r(f.sub()));
    EXPECT_EQ(f.out.str(), "p: required key \"k\" specified more than once: 2 3 4 lines\n");
}

TEST(Reader, OptionalInvalidValueKeepsDestination) {
    Fixture f("[s]\n\nsignalling.hdlc = On\n");
    IniFile::Reader r("traces: ", f.out);
    bool hdlc = false;
    bool& taken = r.optional.add(&hdlc, "signalling.hdlc");
    EXPECT_TRUE(r(f.sub()));
    EXPECT_FALSE(hdlc);
    EXPECT_FALSE(taken);
    EXPECT_EQ(
        f.out.str(),
        "traces: optional key \"signalling.hdlc\" has invalid value=\"On\", line 3. Key will be ignored.\n");
}

TEST(Reader, OptionalDuplicate) {
    Fixture f("[s]\nk=yes\nk=no\n");
    IniFile::Reader r("traces: ", f.out);
    bool k = false;
    r.optional.add(&k, "k");
    EXPECT_TRUE(r(f.sub()));
    EXPECT_FALSE(k);
    EXPECT_EQ(f.out.str(),
              "traces: optional key \"k\" is duplicated!\n"
              "traces:  first occurence at 2 line.\n"
              "traces:  second occurence at 3 line. Both keys will be ignored.\n");
}

TEST(Reader, OptionalRepetitionListsLinesInFileOrder) {
    Fixture f("[s]\nk=1\n\nk=2\n\n\n\n\nk=3\n");
    IniFile::Reader r("p: ", f.out);
    std::string k = "keep";
    r.optional.add(&k, "k");
    EXPECT_TRUE(r(f.sub()));
    EXPECT_EQ(k, "keep");
    EXPECT_EQ(f.out.str(),
              "p: optional key \"k\" specified more than once: 2 4 9 lines. All keys will be ignored.\n");
}

TEST(Reader, OptionalAbsentKeepsValueAndAllOptionalsAreChecked) {
    Fixture f("[s]\nb=nope\nc=enable\n");
    IniFile::Reader r("p: ", f.out);
    bool a = true, b = true, c = false;
    bool& ta = r.optional.add(&a, "a");
    r.optional.add(&b, "b");
    bool& tc = r.optional.add(&c, "c");
    EXPECT_TRUE(r(f.sub()));
    EXPECT_TRUE(a);
    EXPECT_FALSE(ta);
    EXPECT_TRUE(b);
    EXPECT_TRUE(c);
    EXPECT_TRUE(tc);
    EXPECT_EQ(f.out.str(),
              "p: optional key \"b\" has invalid value=\"nope\", line 2. Key will be ignored.\n");
}

TEST(Reader, BoolNames) {
    const struct {
        const char* text;
        bool ok;
        bool value;
    } cases[] = {{"true", true, true},   {"false", true, false},   {"yes", true, true},
                 {"no", true, false},    {"enabled", true, true},  {"disabled", true, false},
                 {"enable", true, true}, {"disable", true, false}, {"1", true, true},
                 {"0", true, false},     {"on", false, false},     {"Yes", false, false},
                 {"", false, false},     {"true ", false, false}};
    for (const auto& c : cases) {
        bool value = !c.value;
        bool before = value;
        IniFile::Private::TKeyValue<bool> kv(&value, "k", nullptr);
        EXPECT_EQ(kv.parse(c.text), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : before) << c.text;
    }
}

TEST(Reader, EnumerationNamesAndNumbers) {
    const struct {
        const char* text;
        bool ok;
        int value;
    } cases[] = {{"ipv6", true, 2},  {"4", true, 4},
                 {"0x10", true, 16}, {"010", true, 8},
                 {" -3", true, -3},  {"4x", false, 9},
                 {"", false, 9},     {"IPV6", false, 9},
                 {"4 ", false, 9},   {"99999999999999999999", false, 9}};
    for (const auto& c : cases) {
        AddrType t = static_cast<AddrType>(9);
        IniFile::Private::TKeyValue<AddrType> kv(&t, "name", kAddrTypes);
        EXPECT_EQ(kv.parse(c.text), c.ok) << c.text;
        EXPECT_EQ(static_cast<int>(t), c.value) << c.text;
    }
    AddrType t = ipv4;
    IniFile::Private::TKeyValue<AddrType> noTable(&t, "name", nullptr);
    EXPECT_TRUE(noTable.parse("2"));
    EXPECT_EQ(t, ipv6);
}

TEST(Reader, NumbersOutsideWhatTheEnumerationHoldsAreInvalid) {
    const struct {
        const char* text;
        bool ok;
        int value;
    } kinds[] = {{"four", true, 4}, {"0", true, 0},   {"7", true, 7},
                 {"8", false, 2},   {"-1", false, 2}, {"4294967297", false, 2}};
    for (const auto& c : kinds) {
        Kind k = k2;
        IniFile::Private::TKeyValue<Kind> kv(&k, "name", kKinds);
        EXPECT_EQ(kv.parse(c.text), c.ok) << c.text;
        EXPECT_EQ(static_cast<int>(k), c.value) << c.text;
    }
    const struct {
        const char* text;
        bool ok;
        int value;
    } signs[] = {{"-4", true, -4}, {"3", true, 3}, {"-5", false, 1}, {"4", false, 1}};
    for (const auto& c : signs) {
        Signed v = plus1;
        IniFile::Private::TKeyValue<Signed> kv(&v, "v", kSigned);
        EXPECT_EQ(kv.parse(c.text), c.ok) << c.text;
        EXPECT_EQ(static_cast<int>(v), c.value) << c.text;
    }
    // A fixed type holds every number of that type.
    AddrType t = ipv4;
    IniFile::Private::TKeyValue<AddrType> fixed(&t, "name", kAddrTypes);
    EXPECT_TRUE(fixed.parse("100"));
    EXPECT_EQ(static_cast<int>(t), 100);
    EXPECT_FALSE(fixed.parse("4294967297"));
    EXPECT_EQ(static_cast<int>(t), 100);
}

TEST(Reader, SameKeyDeclaredTwiceWithDifferentTypes) {
    Fixture f("[s]\nhost=10.0.0.1\nname=ipv6\n");
    IniFile::Reader r("snmpagent: ", f.out);
    std::string host, name;
    AddrType type = ipv4;
    r.required.add(&host, "host");
    r.required.add(&name, "name");
    r.optional.add(&type, "name", kAddrTypes);
    EXPECT_TRUE(r(f.sub()));
    EXPECT_EQ(host, "10.0.0.1");
    EXPECT_EQ(name, "ipv6");
    EXPECT_EQ(type, ipv6);
    EXPECT_EQ(f.out.str(), "");
}

TEST(Reader, EmptyStringValueAndLookupsAddKeys) {
    Fixture f("[s]\nk =\n");
    IniFile::Reader r("p: ", f.out);
    std::string k = "x", absent = "keep";
    r.required.add(&k, "k");
    r.optional.add(&absent, "absent");
    EXPECT_TRUE(r(f.sub()));
    EXPECT_EQ(k, "");
    EXPECT_EQ(absent, "keep");
    EXPECT_EQ(f.sub().GetKeyCount(), 2);  // the absent key was added empty
    EXPECT_TRUE(r(f.sub()));              // a second run repeats the same check
}

}  // namespace
