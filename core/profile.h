// Named timing probes: each point keeps min, max and last duration of the intervals
// between its begin() and end(), in microseconds. Points are function-local statics
// that stay linked for the life of the process and are printed by Profile::dump.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "core/measure.h"

namespace Profile {

class Point {
public:
    explicit Point(const char* name);
    ~Point();
    Point(const Point&) = delete;
    Point& operator=(const Point&) = delete;

    void begin();
    void end();
    void put(std::ostream& os) const;

    const char* name() const { return mName; }
    uint32_t min() const { return mMeasure.min(); }
    uint32_t max() const { return mMeasure.max(); }
    uint32_t last() const { return mMeasure.last(); }
    uint32_t counter() const { return mMeasure.counter(); }
    Point* next() const { return mNext; }

private:
    Point* mNext;
    const char* mName;  // not copied: a literal
    Measure mMeasure;
};

// Head of the list of points, most recently created first.
extern Point* mRoot;

std::ostream& operator<<(std::ostream& os, const Point& point);
// Every point on its own line, newest first.
void dump(std::ostream& os);

}  // namespace Profile
