#include "config/syslog_stream_buf.h"

#include <syslog.h>

#include <cstring>

#include "config/syslog_manager.h"

SysLogStreamBuf::SysLogStreamBuf(int facility, int severity, int size)
    : mPriority(facility + severity), mBuffer(new char[size]), mSize(size) {
    Reset();
}

SysLogStreamBuf::~SysLogStreamBuf() {
    delete[] mBuffer;
}

std::streambuf* SysLogStreamBuf::setbuf(char* buffer, std::streamsize size) {
    if (size < 2) return this;
    sync();
    if (pptr() != pbase()) {  // a piece without line end would go with the old buffer
        *pptr() = '\0';
        IRecord(pbase());
        IFlush();
    }
    delete[] mBuffer;
    mBuffer = buffer;
    mSize = static_cast<int>(size);
    Reset();
    return this;
}

int SysLogStreamBuf::sync() {
    if (!mBuffer) return 0;
    char* text = pbase();
    char* end = pptr();
    *end = '\0';  // one byte is always kept free for it
    if (std::memchr(text, '\n', static_cast<size_t>(end - text))) {
        while (char* lf = static_cast<char*>(std::memchr(text, '\n', static_cast<size_t>(end - text)))) {
            *lf = '\0';
            IRecord(text);
            text = lf + 1;
        }
        if (text < end) IRecord(text);
        Reset();
        IFlush();
    } else if (end == epptr()) {
        IRecord(text);
        Reset();
        IFlush();
    }
    return 0;
}

SysLogStreamBuf::int_type SysLogStreamBuf::overflow(int_type c) {
    sync();
    if (traits_type::eq_int_type(c, traits_type::eof())) return 0;
    if (pptr() == epptr()) return traits_type::eof();
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

void SysLogStreamBuf::IRecord(const char* text) {
    ::syslog(mPriority, "%s", text);
}

ManagedSysLogStreamBuf::ManagedSysLogStreamBuf(int facility, int severity)
    : ManagedSysLogStreamBuf(facility, severity, syslogManager) {}

ManagedSysLogStreamBuf::ManagedSysLogStreamBuf(int facility, int severity, SysLogManager& manager)
    : SysLogStreamBuf(facility, severity, 16384), mManager(manager) {}

void ManagedSysLogStreamBuf::IRecord(const char* text) {
    mManager.syslog(GetPriority(), "%s", text);
}

void ManagedSysLogStreamBuf::IFlush() {
    mManager.sendmsg();
}
