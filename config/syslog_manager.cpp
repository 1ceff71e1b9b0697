#include "config/syslog_manager.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/clock.h"

namespace {

const char kDefaultIdent[] = "syslog-mb";

// The standard streams flush into their buffers once more when the process exits,
// which may be after this file's statics would have been destroyed: the one
// instance is therefore never destroyed.
union Instance {
    Instance() : manager() {}
    ~Instance() {}
    SysLogManager manager;
};
Instance gInstance;

}  // namespace

SysLogManager& syslogManager = gInstance.manager;

SysLogManager::SysLogManager(const std::string& path)
    : mType(SOCK_DGRAM), mIdent(kDefaultIdent), mFacility(LOG_USER), mPath(path) {}

SysLogManager::~SysLogManager() {
    Disconnect();
}

void SysLogManager::SetPath(const std::string& path) {
    mPath = path;
}

void SysLogManager::openlog(const char* ident, int option, int facility) {
    if (ident) mIdent = ident;
    mOptions = option;
    if (facility != 0 && (facility & ~0x3f8) == 0) mFacility = facility;
    Connect(option);
}

void SysLogManager::Connect(int option) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (mFd == -1) {
            mAddr = {};
            mAddr.sun_family = AF_UNIX;
            std::strncpy(mAddr.sun_path, mPath.c_str(), sizeof mAddr.sun_path - 1);
            if (option & LOG_NDELAY) {
                mFd = ::socket(AF_UNIX, mType | SOCK_CLOEXEC, 0);
                if (mFd == -1) return;
            }
        }
        if (mFd <= 0 || mConnected) return;
        if (::connect(mFd, reinterpret_cast<const sockaddr*>(&mAddr), sizeof mAddr) == 0) {
            mConnected = true;
            return;
        }
        int err = errno;
        ::close(mFd);
        mFd = -1;
        if (err != EPROTOTYPE) return;
        mType = mType == SOCK_DGRAM ? SOCK_STREAM : SOCK_DGRAM;
    }
}

void SysLogManager::Disconnect() {
    if (mFd != -1) ::close(mFd);
    mFd = -1;
    mConnected = false;
}

void SysLogManager::closelog() {
    Disconnect();
    mIdent = kDefaultIdent;
    mType = SOCK_DGRAM;
    ClearBatch();
}

// The record's head: "<priority>", the time stamp, then the message part's ident, pid
// and ": ". Returns where the text goes; *message is where the message part starts.
char* SysLogManager::Head(char* record, int priority, char** message) {
    char* const end = record + kRecordSize;  // snprintf keeps room for the NUL
    char* p = record;
    auto put = [&](int written) { p = written < 0 ? p : (written >= end - p ? end - 1 : p + written); };

    put(std::snprintf(p, end - p, "<%d>", priority));
    time_t now = Mux::seconds();
    struct tm local {};
    localtime_r(&now, &local);
    p += std::strftime(p, end - p, "%h %e %T ", &local);
    *message = p;
    if (!mIdent.empty()) put(std::snprintf(p, end - p, "%s", mIdent.c_str()));
    if (mOptions & LOG_PID) put(std::snprintf(p, end - p, "[%d]", static_cast<int>(::getpid())));
    if (!mIdent.empty()) put(std::snprintf(p, end - p, ": "));
    return p;
}

void SysLogManager::syslog(int priority, const char* format, ...) {
    if (!(mMask & LOG_MASK(LOG_PRI(priority)))) return;
    if ((priority & LOG_FACMASK) == 0) priority |= mFacility;

    char* const end = mRecord + kRecordSize;
    char* message = nullptr;
    char* p = Head(mRecord, priority, &message);
    auto put = [&](int written) { p = written < 0 ? p : (written >= end - p ? end - 1 : p + written); };
    va_list ap;
    va_start(ap, format);
    put(std::vsnprintf(p, end - p, format, ap));
    va_end(ap);
    *p = '\0';

    if (mOptions & LOG_PERROR) {
        struct iovec out[2] = {{message, static_cast<size_t>(p - message)}, {const_cast<char*>("\n"), 1}};
        bool lineEnd = p > message && p[-1] == '\n';
        ssize_t ignored = ::writev(STDERR_FILENO, out, lineEnd ? 1 : 2);
        (void)ignored;
    }

    if (!mConnected) Connect(mOptions | LOG_NDELAY);
    int n = static_cast<int>(p - mRecord) + 1;
    if (Give(mRecord, n)) return;
    // The batch was already tried again on a new connection.
    Disconnect();
    if (mOptions & LOG_CONS) {
        int console = ::open("/dev/console", O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (console >= 0) {
            dprintf(console, "%s\r\n", message);
            ::close(console);
        }
    }
}

bool SysLogManager::Give(const char* record, int n) {
    // Never reached with records of at most 1024 bytes; a record is kept even then.
    if (mFill + n >= kBatchSize || mPieceCount >= kBatchPieces) {
        if (Flush() < 0) {
            CountDropped(1);  // the log never sees it; the caller may still show it on the console
            return false;
        }
    }
    std::memcpy(mBatch + mFill, record, n);
    mPieces[1 + mPieceCount++] = {mBatch + mFill, static_cast<size_t>(n)};
    mFill += n;
    if (mPieceCount >= kBatchPieces || mFill > kBatchSize * 3 / 4) return Flush() >= 0;
    return true;
}

int SysLogManager::sendmsg() {
    return Flush();
}

int SysLogManager::Flush() {
    if (mPieceCount == 0) return 0;
    int result = SendNow();
    if (result < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS) {
        Disconnect();
        Connect(mOptions | LOG_NDELAY);
        result = SendNow();
    }
    if (result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)) {
        // The reader is not keeping up: its records are lost, the connection is not.
        CountDropped(static_cast<unsigned>(mPieceCount));
        result = 0;
    } else if (result < 0 || mFd == -1) {
        // No log socket, or the retry failed too: lost just the same, and told once one takes a batch.
        CountDropped(static_cast<unsigned>(mPieceCount));
    } else {
        size_t sent = static_cast<size_t>(result);
        size_t total = 0;
        for (int i = mDropped > 0 ? 0 : 1; i <= mPieceCount; ++i) total += mPieces[i].iov_len;
        mDropped = 0;
        if (sent < total) {
            // A stream took only part of the batch: the records from the cut one on are lost.
            unsigned lost = 0;
            for (int i = mPieceCount; i >= 1 && total > sent; --i) {
                total -= mPieces[i].iov_len;
                ++lost;
            }
            mDropped = lost;
        }
    }
    ClearBatch();
    return result;
}

int SysLogManager::SendNow() {
    if (mFd == -1) return 0;
    mHeader = {};
    // A connected stream socket refuses a destination address.
    if (mType == SOCK_DGRAM) {
        mHeader.msg_name = &mAddr;
        mHeader.msg_namelen = sizeof mAddr;
    }
    struct iovec* first = mPieces + 1;
    if (mDropped > 0) {
        char* message = nullptr;
        char* p = Head(mNotice, mFacility | LOG_WARNING, &message);
        int written = std::snprintf(p, mNotice + kRecordSize - p, "%u log records dropped", mDropped);
        p = written < 0 ? p : (written >= mNotice + kRecordSize - p ? mNotice + kRecordSize - 1 : p + written);
        mPieces[0] = {mNotice, static_cast<size_t>(p - mNotice) + 1};
        first = mPieces;
    }
    mHeader.msg_iov = first;
    mHeader.msg_iovlen = static_cast<size_t>(mPieceCount + (first == mPieces ? 1 : 0));
    // Never waits: the log socket may also be the process's standard output.
    return static_cast<int>(::sendmsg(mFd, &mHeader, MSG_NOSIGNAL | MSG_DONTWAIT));
}

void SysLogManager::ClearBatch() {
    mFill = 0;
    mPieceCount = 0;
}

void SysLogManager::CountDropped(unsigned records) {
    // A log socket missing for months must not wrap the count round to a small number.
    mDropped = records > UINT_MAX - mDropped ? UINT_MAX : mDropped + records;
}
