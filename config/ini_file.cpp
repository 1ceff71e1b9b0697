#include "config/ini_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace IniFile {

// ---- SubKey

bool SubKey::GetBool(bool def) const {
    static const struct {
        const char* name;
        bool value;
    } names[] = {{"true", true}, {"false", false}, {"yes", true}, {"no", false},
                 {"1", true},    {"0", false},     {"on", true},  {"off", false}};
    for (const auto& n : names)
        if (mValue == n.name) return n.value;
    return def;
}

void SubKey::SetBool(bool b) {
    mValue = b ? "yes" : "no";
}

int SubKey::GetInt(int def) const {
    // Reads like "%d" (leading blanks, sign, digits, trailing text ignored) but
    // saturates instead of overflowing.
    const char* text = mValue.c_str();
    char* end = nullptr;
    errno = 0;
    long n = std::strtol(text, &end, 10);
    if (end == text) return def;
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

void SubKey::SetInt(int n) {
    std::ostringstream os;
    os << n;
    mValue = os.str();
}

float SubKey::GetFloat(float def) const {
    const char* text = mValue.c_str();
    char* end = nullptr;
    float x = std::strtof(text, &end);
    return end == text ? def : x;
}

void SubKey::SetFloat(float x) {
    std::ostringstream os;
    os << x;
    mValue = os.str();
}

void SubKey::Dump(std::ostream& os) const {
    os << "dumping IniFile::SubKey\n"
       << "mValue=\"" << mValue << "\"\n"
       << "mLineNo=" << mLineNo << "\n";
}

// ---- Key

SubKey* Key::NewSubKey(const std::string& value, int32_t line) {
    return mSubKeys.Append(new SubKey(value, line), mSubKeyCount);
}

void Key::CheckEmpty() {
    if (!mSubKeys.first) NewSubKey(std::string(), -1);
}

SubKey* Key::GetFirstSubKey() {
    CheckEmpty();
    return mSubKeys.first;
}

SubKey* Key::GetLastSubKey() {
    CheckEmpty();
    return mSubKeys.last;
}

void Key::Dump(std::ostream& os) const {
    os << "dumping IniFile::Key\n"
       << "mName=\"" << mName << "\"\n"
       << "mSubKeyCount=" << mSubKeyCount << "\n";
    for (const SubKey& sk : *this) sk.Dump(os);
}

// ---- SubSection

Key& SubSection::operator[](const std::string& name) {
    auto it = mKeyMap.find(name);
    return it != mKeyMap.end() ? *it->second : *NewKey(name);
}

Key* SubSection::NewKey(const std::string& name) {
    Key* key = mKeys.Append(new Key(name), mKeyCount);
    mKeyMap[name] = key;
    return key;
}

SubKey* SubSection::NewSubKey(const std::string& name, const std::string& value, int32_t line) {
    return (*this)[name].NewSubKey(value, line);
}

void SubSection::CleanKeys() {
    mKeys.Clear(mKeyCount);
    mKeyMap.clear();
}

void SubSection::Dump(std::ostream& os) const {
    os << "dumping IniFile::SubSection\n"
       << "mLineNo=\"" << mLineNo << "\"\n"
       << "mKeyCount=" << mKeyCount << "\n";
    for (const Key& k : *this) k.Dump(os);
}

// ---- Section

SubSection* Section::NewSubSection(int32_t line) {
    return mSubSections.Append(new SubSection(line), mSubSectionCount);
}

void Section::CheckEmpty() {
    if (!mSubSections.first) NewSubSection(-1);
}

void Section::Dump(std::ostream& os) const {
    os << "dumping IniFile::Section\n"
       << "mName=\"" << mName << "\"\n"
       << "mSubSectionCount=" << mSubSectionCount << "\n";
    for (const SubSection& s : *this) s.Dump(os);
}

// ---- File

bool File::Open(const std::string& path) {
    Close();
    mFileName = path;
    return IntOpen();
}

bool File::IntOpen() {
    std::ifstream in(mFileName, std::ios::in | std::ios::binary);
    if (in.is_open()) IntOpenStream(in);
    return mOpened;
}

void File::Close() {
    if (!mOpened) return;
    CleanSections();
    mOpened = false;
}

Section& File::operator[](const std::string& name) {
    auto it = mSectionMap.find(name);
    return it != mSectionMap.end() ? *it->second : *NewSection(name);
}

Section* File::NewSection(const std::string& name) {
    Section* section = mSections.Append(new Section(name), mSectionCount);
    mSectionMap[name] = section;
    return section;
}

SubSection* File::NewSubSection(const std::string& name, int32_t line) {
    return (*this)[name].NewSubSection(line);
}

void File::CleanSections() {
    mSections.Clear(mSectionCount);
    mSectionMap.clear();
}

void File::Dump(std::ostream& os) const {
    os << "dumping IniFile::File\n"
       << "mFileName=\"" << mFileName << "\"\n"
       << "\n"
       << "mSectionCount=" << mSectionCount << "\n";
    for (const Section& s : *this) s.Dump(os);
}

std::istream& operator>>(std::istream& in, File& file) {
    file.Close();
    file.mFileName.clear();
    file.IntOpenStream(in);
    return in;
}

}  // namespace IniFile
