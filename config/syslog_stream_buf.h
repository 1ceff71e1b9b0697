// Stream buffers that cut stream output into system-log records, one per line.
#pragma once

#include <streambuf>

class SysLogManager;

class SysLogStreamBuf : public std::streambuf {
public:
    // facility in the shifted form (LOG_DAEMON is 3 << 3), severity 0..7.
    SysLogStreamBuf(int facility, int severity, int size = 1024);
    ~SysLogStreamBuf() override;
    SysLogStreamBuf(const SysLogStreamBuf&) = delete;
    SysLogStreamBuf& operator=(const SysLogStreamBuf&) = delete;

    int GetPriority() const { return mPriority; }

protected:
    // Takes ownership of a buffer allocated with new[]; size - 1 characters fit.
    std::streambuf* setbuf(char* buffer, std::streamsize size) override;
    int sync() override;
    int_type overflow(int_type c) override;

    // One record's text, and the end of the records of one sync.
    virtual void IRecord(const char* text);
    virtual void IFlush() {}

private:
    void Reset() { setp(mBuffer, mBuffer + mSize - 1); }

    int mPriority;
    char* mBuffer;
    int mSize;
};

// Sends its records through the program's own client, batched per sync.
class ManagedSysLogStreamBuf : public SysLogStreamBuf {
public:
    ManagedSysLogStreamBuf(int facility, int severity);
    ManagedSysLogStreamBuf(int facility, int severity, SysLogManager& manager);

protected:
    void IRecord(const char* text) override;
    void IFlush() override;

private:
    SysLogManager& mManager;
};
