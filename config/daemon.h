// Detaching the process and sending its standard streams to the system log
// or to hourly log files.
#pragma once

#include <memory>
#include <streambuf>
#include <string>

class SysLogManager;

namespace Daemon {

struct Params {
    int mode = 0;          // 0 system log, 1 log files in the directory `name`
    bool nochdir = false;  // keep the working directory
    std::string name = "unknown";
};

class Sentry {
public:
    explicit Sentry(const Params& params);
    ~Sentry();
    Sentry(const Sentry&) = delete;
    Sentry& operator=(const Sentry&) = delete;

private:
    int mMode;
    std::unique_ptr<std::streambuf> mLogFile;
};

// Acts on its first call only.
void Init(const Params& params);

// The streams of the calling process go to the system log through `manager`
// under the given ident (at most 79 characters kept); what Init does in mode 0
// after detaching.
void RedirectToSysLog(const std::string& ident, SysLogManager& manager);

}  // namespace Daemon
