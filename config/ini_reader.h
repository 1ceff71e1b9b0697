// Declarative checking and conversion of the keys of one section occurrence.
#pragma once

#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "config/ini_file.h"

namespace IniFile {

// One row of a name table of enumeration values; a table ends with a null name.
template <class T>
struct Symbol {
    const char* name;
    T value;
};

namespace Private {

class KeyValue {
public:
    explicit KeyValue(const char* name) : mName(name) {}
    virtual ~KeyValue() = default;
    virtual const char* name() const { return mName; }
    bool parse(const char* text) { return parsed = do_parse(text); }

    bool parsed = false;

protected:
    virtual bool do_parse(const char* text) = 0;

private:
    const char* mName;
};

// Converts a number with automatic base; true only when the whole non-empty
// text is a number that fits a long.
bool ParseNumber(const char* text, long& out);

// An enumeration without a fixed underlying type holds only the values of the smallest
// bit-field that takes all its enumerators: anything else stored in it is undefined.
template <class T>
concept FixedEnum = requires {
    T{std::underlying_type_t<T>{}};
};

// Whether n lies in that range for the enumerators a name table lists (0 without a table).
template <class T>
bool InValueRange(long n, const Symbol<T>* table) {
    long lo = 0, hi = 0;
    for (const Symbol<T>* row = table; row && row->name; ++row) {
        const long v = static_cast<long>(row->value);
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    unsigned long mask = 0;  // the largest value of the bit-field
    while (static_cast<unsigned long>(hi) > mask || (lo < 0 && static_cast<unsigned long>(-(lo + 1)) > mask))
        mask = mask * 2 + 1;
    if (lo < 0) return n >= -static_cast<long>(mask) - 1 && n <= static_cast<long>(mask);
    return n >= 0 && static_cast<unsigned long>(n) <= mask;
}

// Enumeration destinations: a name of the table, else a number that the destination
// can hold (a number outside its type is refused as an invalid value, not wrapped).
template <class T>
class TKeyValue : public KeyValue {
    static_assert(std::is_enum_v<T>, "a declared key is bool, std::string or an enumeration");

public:
    TKeyValue(T* destination, const char* name, const Symbol<T>* table)
        : KeyValue(name), mDestination(destination), mTable(table) {}

protected:
    bool do_parse(const char* text) override {
        for (const Symbol<T>* row = mTable; row && row->name; ++row) {
            if (std::string(row->name) == text) {
                *mDestination = row->value;
                return true;
            }
        }
        using U = std::underlying_type_t<T>;
        long n = 0;
        if (!ParseNumber(text, n)) return false;
        if (std::is_unsigned_v<U> ? (n < 0 || static_cast<unsigned long>(n) > std::numeric_limits<U>::max())
                                  : (n < static_cast<long>(std::numeric_limits<U>::min()) ||
                                     n > static_cast<long>(std::numeric_limits<U>::max())))
            return false;
        if constexpr (!FixedEnum<T>) {
            if (!InValueRange(n, mTable)) return false;
        }
        *mDestination = static_cast<T>(static_cast<U>(n));
        return true;
    }

private:
    T* mDestination;
    const Symbol<T>* mTable;
};

template <>
class TKeyValue<bool> : public KeyValue {
public:
    TKeyValue(bool* destination, const char* name, const Symbol<bool>*)
        : KeyValue(name), mDestination(destination) {}

protected:
    bool do_parse(const char* text) override;

private:
    bool* mDestination;
};

template <>
class TKeyValue<std::string> : public KeyValue {
public:
    TKeyValue(std::string* destination, const char* name, const Symbol<std::string>*)
        : KeyValue(name), mDestination(destination) {}

protected:
    bool do_parse(const char* text) override {
        *mDestination = text;
        return true;
    }

private:
    std::string* mDestination;
};

}  // namespace Private

class Reader {
public:
    // The declared keys of one kind, in declaration order.
    class Field {
    public:
        template <class T>
        bool& add(T* destination, const char* name, const Symbol<T>* table = nullptr) {
            return add(new Private::TKeyValue<T>(destination, name, table));
        }
        bool& add(Private::KeyValue* key) {
            mKeys.emplace_back(key);
            return key->parsed;
        }

    private:
        friend class Reader;
        std::vector<std::unique_ptr<Private::KeyValue>> mKeys;
    };

    Reader(const std::string& prefix, std::ostream& output) : mPrefix(prefix), mOutput(output) {}

    bool operator()(SubSection& sub) { return parse(sub); }
    bool parse(SubSection& sub);

    Field required;
    Field optional;

private:
    bool CheckRequired(SubSection& sub, Private::KeyValue& kv);
    void CheckOptional(SubSection& sub, Private::KeyValue& kv);
    void ReportInvalid(const char* kind, Private::KeyValue& kv, const SubKey& value, const char* tail);
    void ReportDuplicate(const char* kind, Private::KeyValue& kv, Key& key, const char* tail);
    void ReportRepetition(const char* kind, Private::KeyValue& kv, Key& key, const char* tail);

    std::string mPrefix;
    std::ostream& mOutput;
};

}  // namespace IniFile
