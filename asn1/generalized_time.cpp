#include "asn1/generalized_time.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "asn1/asn1.h"

namespace ASN1 {

constexpr AbstractData::InfoType GeneralizedTime::theInfo{&GeneralizedTime::create, 24};

AbstractData* GeneralizedTime::create(const void* info) {
    return new GeneralizedTime(info);
}

GeneralizedTime::GeneralizedTime(const char* text) : AbstractData(&theInfo) {
    set(text);
}

GeneralizedTime::GeneralizedTime(int year, int month, int day, int hour, int minute, int second, int millisec,
                                 int mindiff, bool utc)
    : AbstractData(&theInfo),
      year_(year),
      month_(month),
      day_(day),
      hour_(hour),
      minute_(minute),
      second_(second),
      millisec_(millisec),
      mindiff_(mindiff),
      utc_(utc) {}

void GeneralizedTime::swap(GeneralizedTime& other) {
    std::swap(year_, other.year_);
    std::swap(month_, other.month_);
    std::swap(day_, other.day_);
    std::swap(hour_, other.hour_);
    std::swap(minute_, other.minute_);
    std::swap(second_, other.second_);
    std::swap(millisec_, other.millisec_);
    std::swap(mindiff_, other.mindiff_);
    std::swap(utc_, other.utc_);
}

std::string GeneralizedTime::get() const {
    char buf[96];
    int n = std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", year_, month_, day_, hour_, minute_,
                          second_);
    std::string text(buf, static_cast<std::size_t>(n));
    if (millisec_ != 0) {
        n = std::snprintf(buf, sizeof buf, ".%03d", millisec_);
        text.append(buf, static_cast<std::size_t>(n));
    }
    if (utc_) {
        text += 'Z';
    } else if (mindiff_ != 0) {
        // Sign, then hours and minutes of the magnitude: -90 minutes is "-0130".
        const long magnitude = std::labs(static_cast<long>(mindiff_));
        n = std::snprintf(buf, sizeof buf, "%c%02ld%02ld", mindiff_ < 0 ? '-' : '+', magnitude / 60,
                          magnitude % 60);
        text.append(buf, static_cast<std::size_t>(n));
    }
    return text;
}

void GeneralizedTime::set(const char* text) {
    if (text == nullptr) return;
    std::sscanf(text, "%4d%2d%2d%2d%2d%2d", &year_, &month_, &day_, &hour_, &minute_, &second_);
    const std::size_t length = std::strlen(text);
    if (length > 14 && text[14] == '.') {
        double fraction = 0;
        // The small term keeps ".001" from truncating to 0 through binary rounding.
        // A fraction is below 1; an exponent in received text ("9e99") must not reach the cast.
        if (std::sscanf(text + 14, "%lf", &fraction) == 1 && fraction >= 0 && fraction < 1)
            millisec_ = static_cast<int>(fraction * 1000 + 1e-6);
    }
    if (length > 0 && text[length - 1] == 'Z') {
        utc_ = true;
    } else if (length >= 5 && (text[length - 5] == '+' || text[length - 5] == '-')) {
        const char* hhmm = text + length - 4;
        bool digits = true;
        for (int i = 0; i < 4; ++i) digits = digits && std::isdigit(static_cast<unsigned char>(hhmm[i]));
        if (digits) {
            const int minutes =
                ((hhmm[0] - '0') * 10 + (hhmm[1] - '0')) * 60 + (hhmm[2] - '0') * 10 + (hhmm[3] - '0');
            mindiff_ = text[length - 5] == '-' ? -minutes : minutes;
        }
    }
}

time_t GeneralizedTime::get_time_t() const {
    std::tm tm{};
    tm.tm_year = year_ - 1900;
    tm.tm_mon = month_ - 1;
    tm.tm_mday = day_;
    tm.tm_hour = hour_;
    tm.tm_min = minute_;
    tm.tm_sec = second_;
    tm.tm_isdst = -1;  // let the platform decide whether daylight saving applies
    return std::mktime(&tm);
}

void GeneralizedTime::set_time_t(time_t t) {
    std::tm tm{};
    if (gmtime_r(&t, &tm) == nullptr) return;
    year_ = tm.tm_year + 1900;
    month_ = tm.tm_mon + 1;
    day_ = tm.tm_mday;
    hour_ = tm.tm_hour;
    minute_ = tm.tm_min;
    second_ = tm.tm_sec;
}

int GeneralizedTime::do_compare(const AbstractData& other) const {
    const auto& o = static_cast<const GeneralizedTime&>(other);
    const int mine[] = {year_, month_, day_, hour_, minute_, second_, millisec_};
    const int theirs[] = {o.year_, o.month_, o.day_, o.hour_, o.minute_, o.second_, o.millisec_};
    for (int i = 0; i < 7; ++i)
        if (mine[i] != theirs[i])
            return static_cast<int>(static_cast<unsigned>(mine[i]) - static_cast<unsigned>(theirs[i]));
    return int{utc_} - int{o.utc_};
}

AbstractData* GeneralizedTime::do_clone() const {
    return CloneThroughRecord(*this);
}
bool GeneralizedTime::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool GeneralizedTime::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

}  // namespace ASN1
