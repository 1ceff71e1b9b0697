#include "core/table.h"

#include <algorithm>

namespace ext {

void Table::row(std::ostream& os, const std::string& text) {
    if (mColumn >= static_cast<int>(mWidths.size())) return;
    mInRow = true;
    int w = std::max(mWidths[mColumn], 0);
    int n = std::min(static_cast<int>(text.size()), w);
    os << '|' << std::string((w - n) / 2, ' ') << text << std::string((w - n + 1) / 2, ' ');
    if (++mColumn == static_cast<int>(mWidths.size())) {
        os << '|' << std::endl;
        mInRow = false;
    }
}

void Table::finalize(std::ostream& os) {
    while (mInRow && mColumn < static_cast<int>(mWidths.size())) row(os, " ");
}

void Table::line(std::ostream& os, char corner, char fill) {
    finalize(os);
    if (mWidths.empty()) return;
    for (int w : mWidths) os << corner << std::string(std::max(w, 0), fill);
    os << corner << std::endl;
}

void Table::delimeter(std::ostream& os) {
    line(os, '+', '-');
}

void Table::gap(std::ostream& os) {
    line(os, '|', ' ');
}

void Table::Sentry::nextrow() {
    mTable.row(mOs, mCell.str());
    mCell.str(std::string());
}

Table::Sentry operator<<(std::ostream& os, Table& table) {
    return Table::Sentry(os, table);
}

Table::Sentry& nextrow(Table::Sentry& s) {
    s.nextrow();
    return s;
}

Table::Sentry& beginrow(Table::Sentry& s) {
    s.beginrow();
    return s;
}

Table::Sentry& delimeter(Table::Sentry& s) {
    s.delimeter();
    return s;
}

}  // namespace ext
