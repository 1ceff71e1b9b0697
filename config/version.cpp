#include "config/version.h"

#ifndef TAMBORIL_BUILDER
#define TAMBORIL_BUILDER "unknown"
#endif

constinit const Version Version::current(Version::snapshot, 0, "", TAMBORIL_BUILDER, "2023-02-08 16:48",
                                         "T230208-1648", "ppc");

const char* version_string(Version::Type type) {
    switch (type) {
        case Version::snapshot:
            return "snapshot";
        case Version::test:
            return "test";
        case Version::release:
            return "release";
        case Version::unit_test:
            return "unit-test";
    }
    return "unknown";
}

const char* version_suffix(Version::Type type) {
    switch (type) {
        case Version::snapshot:
            return "S";
        case Version::test:
        case Version::unit_test:
            return "T";
        case Version::release:
            return "R";
    }
    return "U";
}
