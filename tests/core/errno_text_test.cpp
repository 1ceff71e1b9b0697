#include "core/errno_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace {

TEST(Errno, CapturesAtConstructionAndPrintsOnlyTheText) {
    errno = ENOENT;
    Errno e;
    errno = 0;
    EXPECT_EQ(e.value(), ENOENT);
    std::ostringstream os;
    os << "open fail:" << e;
    EXPECT_EQ(os.str(), std::string("open fail:") + std::strerror(ENOENT));
}

TEST(Errno, UnknownNumberStillPrints) {
    std::ostringstream os;
    os << Errno(99999);
    EXPECT_NE(os.str().find("99999"), std::string::npos);
}

}  // namespace
