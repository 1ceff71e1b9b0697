#include "core/mux_set.h"

#include <algorithm>

namespace Mux {

namespace {

int Select(Set* rd, Set* wr, Set* ex, const timeval* timeout) {
    int top = -1;
    for (const Set* s : {rd, wr, ex})
        if (s) top = std::max(top, s->max());
    ::timeval tv;
    if (timeout) {
        tv.tv_sec = timeout->tv_sec;
        tv.tv_usec = timeout->tv_usec;
    }
    return ::select(top + 1, rd ? rd->get() : nullptr, wr ? wr->get() : nullptr, ex ? ex->get() : nullptr,
                    timeout ? &tv : nullptr);
}

}  // namespace

bool Set::set(int fd) {
    if (!fits(fd)) return false;
    FD_SET(fd, &mSet);
    mMax = std::max(mMax, fd);
    return true;
}

void Set::clr(int fd) {
    if (!fits(fd)) return;
    FD_CLR(fd, &mSet);
    if (fd != mMax) return;
    while (mMax >= 0 && !FD_ISSET(mMax, &mSet)) --mMax;
}

bool Set::isset(int fd) const {
    return fits(fd) && FD_ISSET(fd, &mSet);
}

int max_fd(const Set& a, const Set& b) {
    return std::max(a.max(), b.max());
}

int max_fd(const Set& a, const Set& b, const Set& c) {
    return std::max({a.max(), b.max(), c.max()});
}

int select(Set& rd, Set& wr, Set& ex, const timeval& timeout) {
    return Select(&rd, &wr, &ex, &timeout);
}
int select(Set& rd, Set& wr, Set& ex) {
    return Select(&rd, &wr, &ex, nullptr);
}
int select(Set& rd, Set& wr) {
    return Select(&rd, &wr, nullptr, nullptr);
}
int select(Set& rd) {
    return Select(&rd, nullptr, nullptr, nullptr);
}
int select_rd(Set& rd, const timeval& timeout) {
    return Select(&rd, nullptr, nullptr, &timeout);
}
int select_wr(Set& wr, const timeval& timeout) {
    return Select(nullptr, &wr, nullptr, &timeout);
}

}  // namespace Mux
