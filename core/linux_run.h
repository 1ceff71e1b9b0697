// The pid file: "<dir><name>.pid" holding the decimal process id without a line end,
// written when the object is made and removed when it goes.
#pragma once

#include <string>

namespace Linux {

class Run {
public:
    explicit Run(const char* name, const std::string& dir = "/var/run/");
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    bool is_open() const { return mFd >= 0; }
    const std::string& path() const { return mPath; }

private:
    int mFd = -1;  // open close-on-exec, so child programs never hold it
    std::string mPath;
};

}  // namespace Linux
