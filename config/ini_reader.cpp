#include "config/ini_reader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace IniFile {
namespace Private {

bool ParseNumber(const char* text, long& out) {
    if (!*text) return false;
    char* end = nullptr;
    errno = 0;
    long n = std::strtol(text, &end, 0);
    if (*end || end == text || errno == ERANGE) return false;
    out = n;
    return true;
}

bool TKeyValue<bool>::do_parse(const char* text) {
    static const struct {
        const char* name;
        bool value;
    } names[] = {{"true", true},      {"false", false}, {"yes", true},      {"no", false}, {"enabled", true},
                 {"disabled", false}, {"enable", true}, {"disable", false}, {"1", true},   {"0", false}};
    for (const auto& n : names) {
        if (std::strcmp(n.name, text) == 0) {
            *mDestination = n.value;
            return true;
        }
    }
    return false;
}

}  // namespace Private

namespace {
const char kRequired[] = "required key ";
const char kOptional[] = "optional key ";
}  // namespace

bool Reader::parse(SubSection& sub) {
    for (auto& kv : required.mKeys)
        if (!CheckRequired(sub, *kv)) return false;
    for (auto& kv : optional.mKeys) CheckOptional(sub, *kv);
    return true;
}

bool Reader::CheckRequired(SubSection& sub, Private::KeyValue& kv) {
    Key& key = sub[kv.name()];
    switch (key.GetCount()) {
        case 1: {
            SubKey& value = *key.GetFirstSubKey();
            if (kv.parse(value.GetStr().c_str())) return true;
            ReportInvalid(kRequired, kv, value, "");
            return false;
        }
        case 0:
            mOutput << mPrefix << kRequired << '"' << kv.name() << '"' << " not present, line "
                    << sub.GetLineNo() << std::endl;
            return false;
        case 2:
            ReportDuplicate(kRequired, kv, key, " line.");
            return false;
        default:
            ReportRepetition(kRequired, kv, key, " lines");
            return false;
    }
}

void Reader::CheckOptional(SubSection& sub, Private::KeyValue& kv) {
    kv.parsed = false;
    Key& key = sub[kv.name()];
    switch (key.GetCount()) {
        case 0:
            break;
        case 1: {
            SubKey& value = *key.GetFirstSubKey();
            if (!kv.parse(value.GetStr().c_str()))
                ReportInvalid(kOptional, kv, value, ". Key will be ignored.");
            break;
        }
        case 2:
            ReportDuplicate(kOptional, kv, key, " line. Both keys will be ignored.");
            break;
        default:
            ReportRepetition(kOptional, kv, key, " lines. All keys will be ignored.");
            break;
    }
}

void Reader::ReportInvalid(const char* kind, Private::KeyValue& kv, const SubKey& value, const char* tail) {
    mOutput << mPrefix << kind << '"' << kv.name() << '"' << " has invalid value=" << '"' << value.GetStr()
            << '"' << ","
            << " line " << value.GetLineNo() << tail << std::endl;
}

void Reader::ReportDuplicate(const char* kind, Private::KeyValue& kv, Key& key, const char* tail) {
    mOutput << mPrefix << kind << '"' << kv.name() << '"' << " is duplicated!" << std::endl;
    mOutput << mPrefix << " first occurence at " << key.GetFirstSubKey()->GetLineNo() << " line."
            << std::endl;
    mOutput << mPrefix << " second occurence at " << key.GetLastSubKey()->GetLineNo() << tail << std::endl;
}

void Reader::ReportRepetition(const char* kind, Private::KeyValue& kv, Key& key, const char* tail) {
    mOutput << mPrefix << kind << '"' << kv.name() << '"' << " specified more than once:";
    for (const SubKey& sk : key) mOutput << " " << sk.GetLineNo();
    mOutput << tail << std::endl;
}

}  // namespace IniFile
