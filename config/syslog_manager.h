// The program's own system-log client: formats records and sends them,
// batched, to the local system-log socket.
#pragma once

#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>

#include <string>

class SysLogManager {
public:
    static constexpr int kRecordSize = 1024;
    static constexpr int kBatchSize = 16384;
    static constexpr int kBatchPieces = 256;

    explicit SysLogManager(const std::string& path = "/dev/log");
    ~SysLogManager();
    SysLogManager(const SysLogManager&) = delete;
    SysLogManager& operator=(const SysLogManager&) = delete;

    void openlog(const char* ident, int option, int facility);
    void syslog(int priority, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void closelog();
    // Sends the batch now; a failed send reconnects and is tried once more. Records that
    // do not reach the log socket (there is none, the retry fails too, or the reader
    // does not take them at once: never a wait) are counted, and the count goes ahead
    // of the next batch that is taken.
    int sendmsg();
    unsigned dropped() const { return mDropped; }
    int fd() const { return mFd; }

    // Where the system-log socket is; takes effect at the next connect.
    void SetPath(const std::string& path);
    const std::string& GetIdent() const { return mIdent; }
    int GetSocketType() const { return mType; }
    bool IsConnected() const { return mConnected; }

private:
    void Connect(int option);
    void Disconnect();
    char* Head(char* record, int priority, char** message);
    bool Give(const char* record, int n);
    int Flush();
    int SendNow();
    void ClearBatch();
    void CountDropped(unsigned records);

    int mType;
    int mFd = -1;
    bool mConnected = false;
    int mOptions = 0;
    std::string mIdent;
    int mFacility;
    int mMask = 0xff;
    std::string mPath;
    struct sockaddr_un mAddr {};
    char mRecord[kRecordSize];
    char mBatch[kBatchSize];
    int mFill = 0;
    // Piece 0 is the dropped-records notice; the batch's pieces follow it.
    struct iovec mPieces[kBatchPieces + 1];
    int mPieceCount = 0;
    char mNotice[kRecordSize];
    unsigned mDropped = 0;
    struct msghdr mHeader {};
};

// Lives until the process ends, also through the exit's last flush of the streams.
extern SysLogManager& syslogManager;
