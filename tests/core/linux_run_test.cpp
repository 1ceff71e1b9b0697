#include "core/linux_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

class PidFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tmb-run-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        mDir = std::string(pattern) + "/";
    }
    void TearDown() override { ::rmdir(mDir.c_str()); }

    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    std::string mDir;
};

TEST_F(PidFile, HoldsTheDecimalPidWithoutLineEndAndIsRemoved) {
    std::string path = mDir + "server.pid";
    {
        Linux::Run run("server", mDir);
        ASSERT_TRUE(run.is_open());
        EXPECT_EQ(run.path(), path);
        EXPECT_EQ(Contents(path), std::to_string(::getpid()));
        struct stat st;
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777 & ~0022, 0644 & ~0022);
    }
    EXPECT_NE(::access(path.c_str(), F_OK), 0);
}

TEST_F(PidFile, OverwritesALongerOldFile) {
    std::string path = mDir + "server.pid";
    {
        std::ofstream old(path);
        old << "123456789012345\n";
    }
    {
        Linux::Run run("server", mDir);
        EXPECT_EQ(Contents(path), std::to_string(::getpid()));
    }
    EXPECT_NE(::access(path.c_str(), F_OK), 0);
}

// True when a child shell holds a descriptor open on path.
bool ChildHolds(const std::string& path) {
    std::string cmd = "/bin/sh -c 'for f in /proc/$$/fd/*; do readlink $f; done' | grep -qx '" + path + "'";
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(PidFile, ChildProgramsDoNotInheritIt) {
    Linux::Run run("server", mDir);
    ASSERT_TRUE(run.is_open());
    EXPECT_FALSE(ChildHolds(run.path()));

    int inheritable = ::open(run.path().c_str(), O_RDONLY);  // shows the probe can see one
    ASSERT_GE(inheritable, 0);
    EXPECT_TRUE(ChildHolds(run.path()));
    ::close(inheritable);
}

TEST_F(PidFile, UncreatableFileIsNeitherWrittenNorRemoved) {
    std::string missing = mDir + "no-such-dir/";
    Linux::Run run("server", missing);
    EXPECT_FALSE(run.is_open());
    EXPECT_NE(::access((missing + "server.pid").c_str(), F_OK), 0);
}

}  // namespace
