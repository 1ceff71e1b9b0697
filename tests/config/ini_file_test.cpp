#include "config/ini_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

// "[name]@line key=value@line ..." for every occurrence, "; " between them.
std::string Render(const IniFile::File& file) {
    std::ostringstream os;
    bool first = true;
    for (const IniFile::Section& section : file) {
        for (const IniFile::SubSection& sub : section) {
            if (!first) os << "; ";
            first = false;
            os << "[" << section.GetName() << "]@" << sub.GetLineNo();
            for (const IniFile::Key& key : sub)
                for (const IniFile::SubKey& sk : key)
                    os << " " << key.GetName() << "=" << sk.GetStr() << "@" << sk.GetLineNo();
        }
    }
    return os.str();
}

std::string Parse(const std::string& text) {
    IniFile::File file;
    std::istringstream in(text);
    in >> file;
    return Render(file);
}

struct ParseCase {
    const char* name;
    std::string text;
    std::string expected;
};

// Test listings show the case's name, not its bytes (which hold pointers).
void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class ParserTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParserTable, Yields) {
    EXPECT_EQ(Parse(GetParam().text), GetParam().expected);
}

const ParseCase kCases[] = {
    // sections
    {"NoFinalLineEnd", "[a]\nk = v", "[a]@1 k=v@2"},
    {"KeyBeforeHeaderIgnored", "k = v\n[a]\n", "[a]@2"},
    {"HeaderAnywhereOutside", "x [a]", "[a]@1"},
    {"HeaderWithoutBracketDropsItsKeys", "[a\nk = v\n[b]\nm = 1\n", "[b]@3 m=1@4"},
    {"LineWithoutEqualsDropped", "[a]\nfoo\n[b]\nk = v\n", "[a]@1; [b]@3 k=v@4"},
    {"HeaderKeepsBlanks", "[ a b ]\n", "[ a b ]@1"},
    {"CommentAfterHeader", "[a] # note\nk=v\n", "[a]@1 k=v@2"},
    {"RestOfHeaderLineIgnored", "[a][b]\n", "[a]@1"},
    {"KeyOnHeaderLineIgnored", "[a] k = v\n", "[a]@1"},
    {"EmptyHeaderName", "[]\nk=v\n", "[]@1 k=v@2"},
    {"HeaderTakesHashAndEquals", "[a#=b]\n", "[a#=b]@1"},
    {"CommentOutsideHidesHeader", "# [a]\n[b]\n", "[b]@2"},
    // keys and values
    {"NoBlanks", "[s]\nk=v\n", "[s]@1 k=v@2"},
    {"BlanksAround", "[s]\nk = v\n", "[s]@1 k=v@2"},
    {"ManyBlanks", "[s]\nk   =   v   \n", "[s]@1 k=v@2"},
    {"InnerBlanksOfValueKept", "[s]\nk = a  b\n", "[s]@1 k=a  b@2"},
    {"TabEndsNoKeyName", "[s]\nk\t= v\n", "[s]@1 k\t=v@2"},
    {"HashInsideValue", "[s]\nk = a#b\n", "[s]@1 k=a#b@2"},
    {"HashAfterBlankIsComment", "[s]\nk = a #b\n", "[s]@1 k=a@2"},
    {"CommentRightAfterEquals", "[s]\nk = #x\n", "[s]@1 k=@2"},
    {"NothingAfterEquals", "[s]\nk =\n", "[s]@1 k=@2"},
    {"InnerBlanksOfKeyKept", "[s]\na b = c\n", "[s]@1 a b=c@2"},
    {"TabAfterEqualsIsValue", "[s]\nk =\tv\n", "[s]@1 k=\tv@2"},
    {"LeadingBlanksAndTabsSkipped", "[s]\n \t k=v\n", "[s]@1 k=v@2"},
    {"KeyStartingWithEquals", "[s]\n=a=b\n", "[s]@1 =a=b@2"},
    {"SecondEqualsInValue", "[s]\nk=a=b\n", "[s]@1 k=a=b@2"},
    {"HashInKeyName", "[s]\nk#x=1\n", "[s]@1 k#x=1@2"},
    {"CommentLine", "[s]\n# k=v\n  # x=y\nk=1\n", "[s]@1 k=1@4"},
    {"ValueAtEndAfterComment", "[s]\nk = a #b", "[s]@1 k=a@2"},
    {"EmptyValueAtEnd", "[s]\nk =", "[s]@1 k=@2"},
    {"KeyNameAtEndDropped", "[s]\nk", "[s]@1"},
    // CR and blank lines
    {"CrLf", "[s]\r\nk = v\r\n", "[s]@1 k=v@2"},
    {"CrInsideValue", "[s]\nk = a\rb\n", "[s]@1 k=ab@2"},
    {"BlankLinesCount", "\n\n[s]\n\n\nk=v\n", "[s]@3 k=v@6"},
    {"NulAndHighBytesAreData", std::string("[s]\nk=a\0\xff", 9) + "\n", std::string("[s]@1 k=a\0\xff@2", 13)},
    // repetitions
    {"RepeatedKey", "[s]\nk=1\nk=2\n", "[s]@1 k=1@2 k=2@3"},
    {"RepeatedSection", "[s]\nk=1\n[s]\nk=2\n", "[s]@1 k=1@2; [s]@3 k=2@4"},
    {"Empty", "", ""},
    // more corners of the dialect
    {"KeysIgnoredUntilNextValidHeader", "[s]\nk=1\n[a\nk=2 x[b]\nm=3\n", "[s]@1 k=1@2; [b]@4 m=3@5"},
    {"HeaderCutOffAtEnd", "[s]\nk=1\n[t", "[s]@1 k=1@2"},
    {"CrInsideHeader", "[a\rb]\n", "[ab]@1"},
    {"CommentRightAfterEqualsWithoutBlank", "[s]\nk=#x\n", "[s]@1 k=@2"},
    {"TabBeforeHashIsData", "[s]\nk = a\t#b\n", "[s]@1 k=a\t#b@2"},
    {"KeyWithTrailingBlanksAndNoEqualsDropped", "[s]\nk  \nj=1\n", "[s]@1 j=1@3"},
    {"BracketInsideKeyName", "[s]\nk[x]=1\n", "[s]@1 k[x]=1@2"},
    {"CommentAfterTabsAtLineStart", "[s]\n\t# k=v\nj=2\n", "[s]@1 j=2@3"},
    {"HeaderInsideCommentOfHeaderLine", "[s] # [t]\nk=1\n", "[s]@1 k=1@2"},
    {"ValueAfterCommentOnlyLineCountsLines", "[s]\n#\n#\nk=v", "[s]@1 k=v@4"},
};

INSTANTIATE_TEST_SUITE_P(Examples, ParserTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IniFile, RepeatedKeyIsOneKeyWithTwoValues) {
    IniFile::File file;
    std::istringstream in("[s]\nk=1\nk=2\n");
    in >> file;
    IniFile::SubSection& sub = *file["s"].begin();
    EXPECT_EQ(sub.GetKeyCount(), 1);
    IniFile::Key& k = sub["k"];
    EXPECT_EQ(k.GetCount(), 2);
    EXPECT_EQ(k.GetStr(), "1");
    EXPECT_EQ(k.GetFirstSubKey()->GetLineNo(), 2);
    EXPECT_EQ(k.GetLastSubKey()->GetLineNo(), 3);
}

TEST(IniFile, RepeatedSectionKeepsOccurrencesApart) {
    IniFile::File file;
    std::istringstream in("[s]\nk=1\n[t]\n[s]\nk=2\n");
    in >> file;
    EXPECT_EQ(file.GetSectionCount(), 2);
    IniFile::Section& s = file["s"];
    ASSERT_EQ(s.GetCount(), 2);
    auto it = s.begin();
    EXPECT_EQ(it->GetLineNo(), 1);
    EXPECT_EQ((*it)["k"].GetStr(), "1");
    ++it;
    EXPECT_EQ(it->GetLineNo(), 4);
    EXPECT_EQ((*it)["k"].GetStr(), "2");
    ++it;
    EXPECT_FALSE(it != s.end());
    ++it;  // an end iterator stays at the end
    EXPECT_FALSE(it != s.end());
}

TEST(IniFile, LookupsCreateEmptyEntries) {
    IniFile::File file;  // never opened
    IniFile::Section& s = file["missing"];
    EXPECT_EQ(file.GetSectionCount(), 1);
    EXPECT_EQ(s.GetCount(), 0);
    s.CheckEmpty();
    ASSERT_EQ(s.GetCount(), 1);
    IniFile::SubSection& sub = *s.begin();
    EXPECT_EQ(sub.GetLineNo(), -1);
    IniFile::Key& k = sub["nokey"];
    EXPECT_EQ(k.GetCount(), 0);
    EXPECT_EQ(k.GetStr(), "");
    EXPECT_EQ(k.GetCount(), 1);
    EXPECT_EQ(k.GetFirstSubKey()->GetLineNo(), -1);
    s.CheckEmpty();
    EXPECT_EQ(s.GetCount(), 1);
}

TEST(IniFile, OpenMissingFileFailsAndIsEmpty) {
    IniFile::File file;
    EXPECT_FALSE(file.Open("/nonexistent-dir-for-test/server.conf"));
    EXPECT_FALSE(file.IsOpened());
    EXPECT_EQ(file.GetSectionCount(), 0);
}

TEST(IniFile, OpenReadsFileAndReopenReplacesContents) {
    char path[] = "/tmp/ini_file_testXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(path) << "[traces]\nsignalling.hdlc = yes\n";
    IniFile::File file(path);
    EXPECT_TRUE(file.IsOpened());
    EXPECT_EQ(file.GetFileName(), path);
    EXPECT_EQ(file["traces"].begin()->operator[]("signalling.hdlc").GetStr(), "yes");
    std::ofstream(path) << "";
    EXPECT_TRUE(file.Open(path));  // empty but readable
    EXPECT_EQ(file.GetSectionCount(), 0);
    unlink(path);
    file.Close();
    EXPECT_FALSE(file.IsOpened());
}

TEST(IniFile, StreamInputClosesFirst) {
    IniFile::File file;
    std::istringstream a("[a]\n"), b("[b]\n");
    a >> file;
    b >> file;
    EXPECT_EQ(Render(file), "[b]@1");
    EXPECT_EQ(file.GetFileName(), "");
}

TEST(SubKey, TypedValues) {
    auto v = [](const char* text) { return IniFile::SubKey(text, 1); };
    EXPECT_TRUE(v("on").GetBool(false));
    EXPECT_FALSE(v("On").GetBool(false));
    EXPECT_TRUE(v("On").GetBool(true));
    EXPECT_FALSE(v("off").GetBool(true));
    EXPECT_TRUE(v("1").GetBool(false));
    EXPECT_FALSE(v("no").GetBool(true));
    EXPECT_EQ(v("x").GetInt(7), 7);
    EXPECT_EQ(v("").GetInt(7), 7);
    EXPECT_EQ(v("12abc").GetInt(7), 12);
    EXPECT_EQ(v("  -42").GetInt(7), -42);
    EXPECT_EQ(v("99999999999999999999").GetInt(7), 2147483647);
    EXPECT_EQ(v("-99999999999999999999").GetInt(7), -2147483647 - 1);
    EXPECT_FLOAT_EQ(v("2.5x").GetFloat(1.0f), 2.5f);
    EXPECT_FLOAT_EQ(v("x").GetFloat(1.0f), 1.0f);

    IniFile::SubKey k("", 1);
    k.SetBool(true);
    EXPECT_EQ(k.GetStr(), "yes");
    k.SetBool(false);
    EXPECT_EQ(k.GetStr(), "no");
    k.SetInt(-17);
    EXPECT_EQ(k.GetStr(), "-17");
    k.SetFloat(0.1f);
    EXPECT_EQ(k.GetStr(), "0.1");
    k.SetFloat(1234567.0f);
    EXPECT_EQ(k.GetStr(), "1.23457e+06");
}

TEST(IniFile, Dump) {
    IniFile::File file;
    std::istringstream in("[s]\nk=v\n");
    in >> file;
    std::ostringstream os;
    file.Dump(os);
    EXPECT_EQ(os.str(),
              "dumping IniFile::File\nmFileName=\"\"\n\nmSectionCount=1\n"
              "dumping IniFile::Section\nmName=\"s\"\nmSubSectionCount=1\n"
              "dumping IniFile::SubSection\nmLineNo=\"1\"\nmKeyCount=1\n"
              "dumping IniFile::Key\nmName=\"k\"\nmSubKeyCount=1\n"
              "dumping IniFile::SubKey\nmValue=\"v\"\nmLineNo=2\n");
}

}  // namespace
