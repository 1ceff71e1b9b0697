#include "core/profile.h"

#include <ostream>

#include "core/clock.h"

namespace Profile {

Point* mRoot = nullptr;

Point::Point(const char* name) : mNext(mRoot), mName(name) {
    mRoot = this;
}

Point::~Point() {
    for (Point** link = &mRoot; *link; link = &(*link)->mNext) {
        if (*link == this) {
            *link = mNext;
            break;
        }
    }
}

void Point::begin() {
    mStart = Mux::microseconds();
}

void Point::end() {
    // Unsigned difference: right across the counter's wrap for spans below ~71 minutes.
    uint32_t d = Mux::microseconds() - mStart;
    if (mFirst) {
        mMin = mMax = mLast = d;
        mCounter = 1;
        mFirst = false;
        return;
    }
    ++mCounter;
    if (d < mMin) mMin = d;
    if (d > mMax) mMax = d;
    mLast = d;
}

void Point::put(std::ostream& os) const {
    std::ios_base::fmtflags saved = os.flags();
    os << std::dec << "[" << mName << "]: min=" << mMin << " max=" << mMax << " avg=" << mLast
       << " counter=" << mCounter;
    os.flags(saved);
}

std::ostream& operator<<(std::ostream& os, const Point& point) {
    point.put(os);
    return os;
}

void dump(std::ostream& os) {
    for (const Point* p = mRoot; p; p = p->next()) os << *p << '\n';
}

}  // namespace Profile
