// fd_set wrappers for select(). A descriptor outside 0..FD_SETSIZE-1 is refused
// rather than written past the end of the set.
#pragma once

#include <sys/select.h>

#include "core/clock.h"

namespace Mux {

class Set {
public:
    Set() { zero(); }

    void zero() {
        FD_ZERO(&mSet);
        mMax = -1;
    }
    // False, and the set unchanged, for a descriptor the set cannot hold.
    bool set(int fd);
    void clr(int fd);
    bool isset(int fd) const;

    // The set for select(), or null when it is empty.
    fd_set* get() { return mMax < 0 ? nullptr : &mSet; }
    int max() const { return mMax; }
    bool empty() const { return mMax < 0; }

    static bool fits(int fd) { return fd >= 0 && fd < FD_SETSIZE; }

private:
    fd_set mSet;
    int mMax = -1;
};

int max_fd(const Set& a, const Set& b);
int max_fd(const Set& a, const Set& b, const Set& c);

// select() over the sets given, with the highest of their descriptors plus one;
// without a timeout it waits until a descriptor is ready.
int select(Set& rd, Set& wr, Set& ex, const timeval& timeout);
int select(Set& rd, Set& wr, Set& ex);
int select(Set& rd, Set& wr);
int select(Set& rd);
int select_rd(Set& rd, const timeval& timeout);
int select_wr(Set& wr, const timeval& timeout);

}  // namespace Mux
