#include "config/daemon.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>

#include "config/log_file_stream_buf.h"
#include "config/syslog_manager.h"
#include "config/syslog_stream_buf.h"

namespace Daemon {
namespace {

// The ident is cut to what this buffer holds. The stream buffers are never
// removed in system-log mode: the streams still flush into them at exit.
char gIdent[80];
std::streambuf* gSysLogBufs[3];

}  // namespace

void RedirectToSysLog(const std::string& ident, SysLogManager& manager) {
    std::strncpy(gIdent, ident.c_str(), sizeof gIdent - 1);
    gIdent[sizeof gIdent - 1] = '\0';
    manager.openlog(gIdent, LOG_NDELAY, 0);
    const int severities[3] = {LOG_NOTICE, LOG_ERR, LOG_DEBUG};
    std::ostream* streams[3] = {&std::cout, &std::cerr, &std::clog};
    for (int i = 0; i < 3; ++i) {
        streams[i]->flush();
        delete gSysLogBufs[i];
        gSysLogBufs[i] = new ManagedSysLogStreamBuf(LOG_DAEMON, severities[i], manager);
        streams[i]->rdbuf(gSysLogBufs[i]);
    }
    std::cin.tie(&std::cout);
    // Child programs writing to 1 and 2 reach the system log unformatted.
    if (manager.fd() > 0) {
        ::dup2(manager.fd(), STDOUT_FILENO);
        ::dup2(manager.fd(), STDERR_FILENO);
    }
}

Sentry::Sentry(const Params& params) : mMode(params.mode) {
    if (::daemon(params.nochdir ? 1 : 0, 0) != 0) {
        std::cerr << "daemon() fail!" << std::endl;
        std::exit(2);
    }
    if (mMode == 0) {
        RedirectToSysLog(params.name, syslogManager);
    } else if (mMode == 1) {
        mLogFile = std::make_unique<LogFileStreamBuf>(params.name);
        std::cout.rdbuf(mLogFile.get());
        std::cerr.rdbuf(mLogFile.get());
        std::clog.rdbuf(mLogFile.get());
    }
}

Sentry::~Sentry() {
    if (mMode == 1) {
        std::cout.rdbuf(nullptr);
        std::cerr.rdbuf(nullptr);
        std::clog.rdbuf(nullptr);
    }
}

void Init(const Params& params) {
    static Sentry sentry(params);
}

}  // namespace Daemon
