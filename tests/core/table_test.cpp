#include "core/table.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

TEST(Table, CellsAreCentredWithTheOddBlankOnTheRight) {
    ext::Table table(4, 3);
    std::ostringstream os;
    os << table << ext::beginrow << "ab" << ext::nextrow << "xyz0" << ext::nextrow;
    table.delimeter(os);
    EXPECT_EQ(os.str(), "| ab |xyz0|\n+----+---+\n");
}

TEST(Table, NumbersAndStringsAndPadding) {
    ext::Table table(5, 6, 1);
    std::ostringstream os;
    os << table << ext::delimeter << ext::beginrow << std::string("a") << ext::nextrow << 42u << ext::nextrow
       << -1 << ext::nextrow;
    os << table << ext::beginrow << "" << ext::nextrow << "abcdef" << ext::nextrow << "x" << ext::nextrow
       << ext::delimeter;
    EXPECT_EQ(os.str(),
              "+-----+------+-+\n"
              "|  a  |  42  |-1|\n"
              "|     |abcdef|x|\n"
              "+-----+------+-+\n");
}

TEST(Table, ShortRowIsCompletedWhenTheSentryEnds) {
    ext::Table table(3, 2, 2);
    std::ostringstream os;
    os << table << ext::beginrow << "a" << ext::nextrow;
    EXPECT_EQ(os.str(), "| a |  |  |\n");
}

TEST(Table, DelimiterInTheSameExpressionCompletesTheRowFirst) {
    ext::Table table(3, 2);
    std::ostringstream os;
    os << table << ext::beginrow << "a" << ext::nextrow << ext::delimeter;
    EXPECT_EQ(os.str(), "| a |  |\n+---+--+\n");
}

TEST(Table, CellAfterACompleteRowIsDroppedUntilBeginrow) {
    ext::Table table(2);
    std::ostringstream os;
    os << table << ext::beginrow << "a" << ext::nextrow << "lost" << ext::nextrow;
    os << table << "lost too" << ext::nextrow;
    os << table << ext::beginrow << "b" << ext::nextrow;
    EXPECT_EQ(os.str(), "|a |\n|b |\n");
}

TEST(Table, TextWithoutNextrowIsDropped) {
    ext::Table table(2, 2);
    std::ostringstream os;
    os << table << ext::beginrow << "a" << ext::nextrow << "dangling";
    EXPECT_EQ(os.str(), "|a |  |\n");
}

TEST(Table, GapAndColumnsAddedLater) {
    ext::Table table;
    std::ostringstream os;
    table.delimeter(os);
    table.gap(os);
    EXPECT_EQ(os.str(), "");  // no columns, nothing written

    table.add(2);
    table.add(1);
    table.gap(os);
    table.delimeter(os);
    EXPECT_EQ(os.str(), "|  | |\n+--+-+\n");
}

TEST(Table, ColumnIndexPersistsAcrossSentriesWithinARow) {
    ext::Table table(2, 2);
    std::ostringstream os;
    {
        ext::Table::Sentry s(os, table);
        s << ext::beginrow << "a" << ext::nextrow;
        table.resetrow();  // drop the row state before the sentry can finish it
    }
    EXPECT_EQ(os.str(), "|a ");
    table.init();
    os << table << "b" << ext::nextrow << "c" << ext::nextrow;
    EXPECT_EQ(os.str(), "|a |b |c |\n");
}

}  // namespace
