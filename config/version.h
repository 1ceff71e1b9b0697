// The program's build record; its tag names the running build.
#pragma once

#include <ostream>

class Version {
public:
    enum Type : int { snapshot = 0, test = 1, release = 2, unit_test = 3 };

    constexpr Version(Type type, int number, const char* extra, const char* builder, const char* date,
                      const char* tag, const char* arch)
        : mType(type),
          mNumber(number),
          mExtra(extra),
          mBuilder(builder),
          mDate(date),
          mTag(tag),
          mArch(arch) {
        update();
    }

    constexpr void update() {}
    const char* tag() const { return mTag; }
    Type type() const { return mType; }
    int number() const { return mNumber; }
    const char* extra() const { return mExtra; }
    const char* builder() const { return mBuilder; }
    const char* date() const { return mDate; }
    const char* arch() const { return mArch; }
    void put(std::ostream& os) const { os << mTag; }

    static const Version current;

private:
    Type mType;
    int mNumber;
    const char* mExtra;
    const char* mBuilder;
    const char* mDate;
    const char* mTag;
    const char* mArch;
};

const char* version_string(Version::Type type);
const char* version_suffix(Version::Type type);

inline std::ostream& operator<<(std::ostream& os, const Version& v) {
    v.put(os);
    return os;
}

inline std::ostream& operator<<(std::ostream& os, Version::Type type) {
    return os << version_string(type);
}
