#pragma once

#include <concepts>

// A sequence number modulo Max + 1 (Max + 1 a power of two), with the cyclic
// window test `a <= b <= c`: b lies in the range that starts at a and ends at
// c, both included.
template <typename V, V Max>
class Cyclic {
    static_assert(std::unsigned_integral<V> && ((Max + 1) & Max) == 0, "Max + 1 must be a power of two");

public:
    // The left half of a window test.
    class LessEqPair {
    public:
        LessEqPair(Cyclic a, Cyclic b) : a_(a), b_(b) {}
        bool operator<=(Cyclic c) const {
            return ((b_.value_ - a_.value_) & Max) <= ((c.value_ - a_.value_) & Max);
        }
        template <std::integral I>
        bool operator<=(I c) const {
            return *this <= Cyclic(static_cast<V>(c));
        }

    private:
        Cyclic a_;
        Cyclic b_;
    };

    Cyclic() = default;
    Cyclic(V v) : value_(v & Max) {}
    operator V() const { return value_; }

    Cyclic operator+(Cyclic o) const { return Cyclic(value_ + o.value_); }
    Cyclic operator-(Cyclic o) const { return Cyclic(value_ - o.value_); }
    // Integral operands keep modulo arithmetic instead of decaying to plain V.
    template <std::integral I>
    Cyclic operator+(I o) const {
        return Cyclic(value_ + static_cast<V>(o));
    }
    template <std::integral I>
    Cyclic operator-(I o) const {
        return Cyclic(value_ - static_cast<V>(o));
    }

    Cyclic& operator++() {
        value_ = value_ == Max ? 0 : value_ + 1;
        return *this;
    }
    Cyclic operator++(int) {
        Cyclic old = *this;
        ++*this;
        return old;
    }
    Cyclic& operator--() {
        value_ = value_ == 0 ? Max : value_ - 1;
        return *this;
    }
    Cyclic operator--(int) {
        Cyclic old = *this;
        --*this;
        return old;
    }

    LessEqPair operator<=(Cyclic b) const { return LessEqPair(*this, b); }
    template <std::integral I>
    LessEqPair operator<=(I b) const {
        return LessEqPair(*this, Cyclic(static_cast<V>(b)));
    }

private:
    V value_ = 0;
};
