// Fixed-width text tables for the status dump: cells are centred in their column
// between "|" borders; a text wider than its column is written whole.
//
//   os << table << ext::beginrow << "name" << ext::nextrow << count << ext::nextrow;
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace ext {

class Table {
public:
    class Sentry;
    using Manipulator = Sentry& (*)(Sentry&);

    Table() = default;
    template <class... W>
    requires(sizeof...(W) >= 1 && sizeof...(W) <= 7 &&
             (std::is_convertible_v<W, int> && ...)) explicit Table(W... widths)
        : mWidths{static_cast<int>(widths)...} {}

    void add(int width) { mWidths.push_back(width); }
    void init() { resetrow(); }
    void resetrow() {
        mColumn = 0;
        mInRow = false;
    }

    // Writes one cell; a complete row takes no further cells until the next resetrow.
    void row(std::ostream& os, const std::string& text);
    // A border line (+----+---+) after completing a pending row.
    void delimeter(std::ostream& os);
    // A blank line (|    |   |) after completing a pending row.
    void gap(std::ostream& os);
    // Fills the remaining columns of a started row with blank cells.
    void finalize(std::ostream& os);

    std::size_t columns() const { return mWidths.size(); }

private:
    void line(std::ostream& os, char corner, char fill);

    std::vector<int> mWidths;
    int mColumn = 0;
    bool mInRow = false;
};

// Collects the text of one cell; ends a pending row when the expression ends. Text
// left without a closing ext::nextrow is dropped.
class Table::Sentry {
public:
    Sentry(std::ostream& os, Table& table) : mOs(os), mTable(table) {}
    ~Sentry() { mTable.finalize(mOs); }
    Sentry(const Sentry&) = delete;
    Sentry& operator=(const Sentry&) = delete;

    template <class T>
    Sentry& operator<<(const T& value) {
        mCell << value;
        return *this;
    }
    Sentry& operator<<(Manipulator manipulator) { return manipulator(*this); }

    void nextrow();
    void beginrow() { mTable.resetrow(); }
    void delimeter() { mTable.delimeter(mOs); }

private:
    std::ostream& mOs;
    Table& mTable;
    std::ostringstream mCell;
};

Table::Sentry operator<<(std::ostream& os, Table& table);

Table::Sentry& nextrow(Table::Sentry& s);
Table::Sentry& beginrow(Table::Sentry& s);
Table::Sentry& delimeter(Table::Sentry& s);

}  // namespace ext
