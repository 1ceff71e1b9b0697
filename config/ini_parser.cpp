// The byte-wise parser of the configuration file dialect.
#include <cstdint>
#include <string>

#include "config/ini_file.h"

namespace IniFile {
namespace {

class Parser {
public:
    explicit Parser(File& file) : mFile(file) {}

    void Feed(unsigned char c) {
        if (c == '\r') return;  // CR vanishes wherever it stands
        if (mComment) {
            if (c != '\n') return;
            mComment = false;
        }
        Handle(c);
        if (c == '\n' && mLine < INT32_MAX) ++mLine;
    }

    void End() {
        if (mState == State::AfterEquals || mState == State::Value) StoreKey();
    }

private:
    enum class State { Outside, Header, AfterHeader, LineStart, KeyName, AfterEquals, Value };

    void Handle(unsigned char c) {
        switch (mState) {
            case State::Outside:
                if (c == '#')
                    mComment = true;
                else if (c == '[')
                    OpenHeader();
                break;
            case State::Header:
                if (c == '\n') {
                    mState = State::Outside;
                } else if (c == ']') {
                    mCurrent = mFile.NewSubSection(mHeader, mLine);
                    mState = State::AfterHeader;
                } else {
                    mHeader += static_cast<char>(c);
                }
                break;
            case State::AfterHeader:
                if (c == '\n')
                    mState = State::LineStart;
                else if (c == '#')
                    mComment = true;
                break;
            case State::LineStart:
                if (c == '#') {
                    mComment = true;
                } else if (c == '\t' || c == '\n' || c == ' ') {
                } else if (c == '[') {
                    OpenHeader();
                } else {
                    mKey.assign(1, static_cast<char>(c));
                    mBlanks = 0;
                    mState = State::KeyName;
                }
                break;
            case State::KeyName:
                if (c == ' ') {
                    ++mBlanks;
                } else if (c == '=') {
                    mValue.clear();
                    mState = State::AfterEquals;
                } else if (c == '\n') {
                    // a line without "=" is dropped
                    mKey.clear();
                    mBlanks = 0;
                    mState = State::LineStart;
                } else {
                    Append(mKey, c);
                }
                break;
            case State::AfterEquals:
                if (c == ' ') {
                } else if (c == '#') {
                    mComment = true;
                } else if (c == '\n') {
                    StoreKey();
                    mState = State::LineStart;
                } else {
                    mValue += static_cast<char>(c);
                    mBlanks = 0;
                    mState = State::Value;
                }
                break;
            case State::Value:
                if (c == ' ') {
                    ++mBlanks;
                } else if (c == '#' && mBlanks > 0) {
                    mBlanks = 0;  // trailing blanks dropped
                    mComment = true;
                } else if (c == '\n') {
                    StoreKey();
                    mState = State::LineStart;
                } else {
                    Append(mValue, c);
                }
                break;
        }
    }

    void OpenHeader() {
        mHeader.clear();
        mState = State::Header;
    }

    // Inner blanks are kept; those still pending at the end of a name or value are not.
    void Append(std::string& buffer, unsigned char c) {
        buffer.append(mBlanks, ' ');
        mBlanks = 0;
        buffer += static_cast<char>(c);
    }

    void StoreKey() {
        if (mCurrent) mCurrent->NewSubKey(mKey, mValue, mLine);
        mKey.clear();
    }

    File& mFile;
    State mState = State::Outside;
    int32_t mLine = 1;
    bool mComment = false;
    SubSection* mCurrent = nullptr;
    std::string mHeader;
    std::string mKey;
    std::string mValue;
    std::string::size_type mBlanks = 0;
};

}  // namespace

void File::IntOpenStream(std::istream& in) {
    mOpened = true;
    Parser parser(*this);
    std::streambuf* buf = in.rdbuf();
    if (buf) {
        for (int c = buf->sbumpc(); c != std::char_traits<char>::eof(); c = buf->sbumpc())
            parser.Feed(static_cast<unsigned char>(c));
    }
    in.setstate(std::ios::eofbit);
    parser.End();
}

}  // namespace IniFile
