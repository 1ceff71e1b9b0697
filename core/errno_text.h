// A captured error number that prints as its text. Callers write the operation's
// name and " fail:" before it.
#pragma once

#include <cerrno>
#include <iosfwd>
#include <string>

class Errno {
public:
    Errno() : mValue(errno) {}
    explicit Errno(int value) : mValue(value) {}

    int value() const { return mValue; }
    void Put(std::ostream& os) const;
    std::string text() const;

private:
    int mValue;
};

std::ostream& operator<<(std::ostream& os, const Errno& e);
