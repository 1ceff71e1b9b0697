// GeneralizedTime values and their text form.
#pragma once

#include <ctime>
#include <string>

#include "asn1/abstract_data.h"

namespace ASN1 {

class GeneralizedTime : public AbstractData, private detail::Allocator<GeneralizedTime> {
public:
    static const InfoType theInfo;

    GeneralizedTime() : AbstractData(&theInfo) {}
    explicit GeneralizedTime(const void* info) : AbstractData(info) {}
    explicit GeneralizedTime(const char* text);
    GeneralizedTime(int year, int month, int day, int hour, int minute, int second, int millisec = 0,
                    int mindiff = 0, bool utc = false);
    GeneralizedTime(const GeneralizedTime&) = default;
    // Copies the nine fields, not the record.
    GeneralizedTime& operator=(const GeneralizedTime&) = default;
    void swap(GeneralizedTime& other);

    // "YYYYMMDDhhmmss", ".fff" when there are milliseconds, then "Z" or the offset as "+hhmm"/"-hhmm".
    std::string get() const;
    // Reads the same form; fields whose text is missing keep their values.
    void set(const char* text);

    time_t get_time_t() const;
    void set_time_t(time_t t);

    int getYear() const { return year_; }
    int getMonth() const { return month_; }
    int getDay() const { return day_; }
    int getHour() const { return hour_; }
    int getMinute() const { return minute_; }
    int getSecond() const { return second_; }
    int getMillisec() const { return millisec_; }
    // Offset from UTC in minutes.
    int getMinDiff() const { return mindiff_; }
    bool getUTC() const { return utc_; }

    static AbstractData* create(const void* info);

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;

    int year_ = 1;
    int month_ = 1;
    int day_ = 1;
    int hour_ = 0;
    int minute_ = 0;
    int second_ = 0;
    int millisec_ = 0;
    int mindiff_ = 0;
    bool utc_ = false;
};

}  // namespace ASN1
