#include "core/output.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

struct Layer {
    int id;
    void PutHeader(std::ostream& os) const { os << "layer[" << id << "]: "; }
    void PutShortInfo(std::ostream& os) const { os << "state=" << id * 2; }
    void PutAddr(std::ostream& os) const { os << "10.0.0." << id << ":4000"; }
};

TEST(Output, HeaderShortInfoAndHostCallTheObject) {
    Layer layer{7};
    std::ostringstream os;
    os << ext::header(&layer) << "up" << ' ' << ext::shortinfo(&layer) << ' ' << host(&layer);
    EXPECT_EQ(os.str(), "layer[7]: up state=14 10.0.0.7:4000");
}

TEST(Output, QuotedWritesTheValueBetweenDoubleQuotes) {
    std::ostringstream os;
    const char* empty = "";
    const char* text = "a \"b\"";
    os << ext::quoted(empty) << ' ' << ext::quoted(text) << ' ' << ext::quoted(42);
    EXPECT_EQ(os.str(), "\"\" \"a \"b\"\" \"42\"");
}

TEST(Output, ByteDumpIsUpperCaseHexWithATrailingBlank) {
    const unsigned char bytes[] = {0x0A, 0xFF, 0x00};
    std::ostringstream os;
    os.fill('*');
    os << std::oct << ext::hex(bytes, bytes + 3) << 8 << ext::hex(bytes, bytes) << '.';
    EXPECT_EQ(os.str(), "0A FF 00 10.");  // the octal base survived the dump
    EXPECT_EQ(os.fill(), ' ');

    std::ostringstream os2;
    const char chars[] = {'\x01', '\x7f', '\x80'};
    os2 << ext::hex(chars, 3);
    EXPECT_EQ(os2.str(), "01 7F 80 ");
}

TEST(Output, UnsignedInHex) {
    std::ostringstream os;
    os << ext::hex(0u, 0) << ' ' << ext::hex(126u, 0) << ' ' << ext::hex(0xDEADBEEFu, 0) << ' '
       << ext::hex(0xAu, 4) << ' ' << ext::hex(0, 0) << ' ' << 255;
    EXPECT_EQ(os.str(), "0x0 0x7E 0xDEADBEEF 0x000A 0x0 255");
    EXPECT_EQ(os.fill(), ' ');
}

}  // namespace
