// Stream buffer that writes stamped lines into one file per hour.
#pragma once

#include <ctime>
#include <fstream>
#include <memory>
#include <streambuf>
#include <string>

class LogFileStreamBuf : public std::streambuf {
public:
    // Time comes from the loop clock, so tests can drive hour changes.
    explicit LogFileStreamBuf(const std::string& directory);
    ~LogFileStreamBuf() override;
    LogFileStreamBuf(const LogFileStreamBuf&) = delete;
    LogFileStreamBuf& operator=(const LogFileStreamBuf&) = delete;

    void NewFile();
    // The file currently written, "<directory>/<%Y_%m_%d-%H>.log".
    const std::string& FileName() const { return mFileName; }

protected:
    // Takes ownership of a buffer allocated with new[].
    std::streambuf* setbuf(char* buffer, std::streamsize size) override;
    int sync() override;
    int_type overflow(int_type c) override;

private:
    std::string NameFor(time_t seconds) const;
    void OpenFile(const std::string& name, int hour);
    void Write(const char* text, std::size_t n);

    std::unique_ptr<std::filebuf> mFile;
    std::string mDirectory;
    std::string mFileName;
    int mHour = -1;
    bool mMidLine = false;
    char* mBuffer;
    std::size_t mSize;
};
