#include "config/log_file_stream_buf.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/clock.h"

namespace {
const std::size_t kPutBufferSize = 16;
}

LogFileStreamBuf::LogFileStreamBuf(const std::string& directory)
    : mFile(std::make_unique<std::filebuf>()),
      mDirectory(directory),
      mBuffer(new char[kPutBufferSize]),
      mSize(kPutBufferSize) {
    setp(mBuffer, mBuffer + mSize);
    NewFile();
    mMidLine = false;
}

LogFileStreamBuf::~LogFileStreamBuf() {
    delete[] mBuffer;
}

std::string LogFileStreamBuf::NameFor(time_t seconds) const {
    struct tm local {};
    localtime_r(&seconds, &local);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y_%m_%d-%H", &local);
    return mDirectory + "/" + stamp + ".log";
}

void LogFileStreamBuf::NewFile() {
    time_t seconds = Mux::seconds();
    struct tm local {};
    localtime_r(&seconds, &local);
    OpenFile(NameFor(seconds), local.tm_hour);
}

void LogFileStreamBuf::OpenFile(const std::string& name, int hour) {
    mFile->close();
    mHour = hour;
    mFileName = name;
    mFile->open(name, std::ios::out | std::ios::trunc);
}

void LogFileStreamBuf::Write(const char* text, std::size_t n) {
    if (mFile->is_open()) mFile->sputn(text, static_cast<std::streamsize>(n));
}

std::streambuf* LogFileStreamBuf::setbuf(char* buffer, std::streamsize size) {
    if (size < 2) return this;
    sync();
    delete[] mBuffer;
    mBuffer = buffer;
    mSize = static_cast<std::size_t>(size);
    setp(mBuffer, mBuffer + mSize);
    return this;
}

int LogFileStreamBuf::sync() {
    const char* text = pbase();
    std::size_t n = static_cast<std::size_t>(pptr() - pbase());
    setp(mBuffer, mBuffer + mSize);

    if (mMidLine) {
        const char* lf = static_cast<const char*>(std::memchr(text, '\n', n));
        if (!lf) {
            Write(text, n);
            mFile->pubsync();
            return 0;
        }
        std::size_t head = static_cast<std::size_t>(lf - text) + 1;
        Write(text, head);
        text += head;
        n -= head;
        mMidLine = false;
    }

    Mux::timeval now;
    Mux::gettimeval(now);
    time_t seconds = now.tv_sec;
    struct tm local {};
    localtime_r(&seconds, &local);
    // Another day at the same hour is another file too.
    std::string name = NameFor(seconds);
    if (name != mFileName) OpenFile(name, local.tm_hour);

    char stamp[32];
    int len = std::snprintf(stamp, sizeof stamp, "%02d:%02d:%05ld: ", local.tm_min, local.tm_sec,
                            static_cast<long>(now.tv_usec));
    while (n > 0) {
        Write(stamp, static_cast<std::size_t>(len));
        const char* lf = static_cast<const char*>(std::memchr(text, '\n', n));
        std::size_t line = lf ? static_cast<std::size_t>(lf - text) + 1 : n;
        Write(text, line);
        if (!lf) mMidLine = true;
        text += line;
        n -= line;
    }
    mFile->pubsync();
    return 0;
}

LogFileStreamBuf::int_type LogFileStreamBuf::overflow(int_type c) {
    sync();
    if (traits_type::eq_int_type(c, traits_type::eof())) return 0;
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}
