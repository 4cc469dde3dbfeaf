// The settings folder on real files: made for the user alone with any folder
// above it, and a folder that cannot take a new file is told apart by trying
// (a privileged user is not stopped by permission bits, so those say nothing).
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/Files.h"
#include "platform/Platform.h"

namespace {

class PrivateFolderPosixTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/keyhold-private.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        base = pattern;
    }
    void TearDown() override { (void)std::system(("rm -rf '" + base + "'").c_str()); }
    static unsigned modeOf(const std::string& path) {
        struct stat st{};
        return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFFu;
    }
    static int entries(const std::string& folder) {
        int n = 0;
        if (DIR* d = ::opendir(folder.c_str())) {
            while (dirent* e = ::readdir(d)) n += std::string(e->d_name) != "." && std::string(e->d_name) != "..";
            ::closedir(d);
        }
        return n;
    }
    platform::Files& files = *platform::nativeServices().files;
    std::string base;
};

TEST_F(PrivateFolderPosixTest, MakesEveryMissingFolderForTheUserAlone) {
    const std::string config = base + "/home/.config";
    const std::string own = config + "/keyhold";
    std::string error;
    ASSERT_TRUE(files.createPrivateFolder(own, error)) << error;
    EXPECT_EQ(modeOf(base + "/home"), 0700u);
    EXPECT_EQ(modeOf(config), 0700u);
    EXPECT_EQ(modeOf(own), 0700u);
    // There already: fine, and left as it is.
    ASSERT_EQ(::chmod(own.c_str(), 0750), 0);
    EXPECT_TRUE(files.createPrivateFolder(own, error)) << error;
    EXPECT_EQ(modeOf(own), 0750u);
}

TEST_F(PrivateFolderPosixTest, AFileInTheWayIsNoFolder) {
    std::ofstream(base + "/keyhold") << "x";
    std::string error;
    EXPECT_FALSE(files.createPrivateFolder(base + "/keyhold", error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(files.createPrivateFolder(base + "/keyhold/below", error));
}

TEST_F(PrivateFolderPosixTest, CanCreateInTriesAndLeavesNothingBehind) {
    EXPECT_TRUE(files.canCreateIn(base));
    EXPECT_EQ(entries(base), 0) << "the trial file is removed";
    EXPECT_FALSE(files.canCreateIn(base + "/missing"));
    std::ofstream(base + "/file") << "x";
    EXPECT_FALSE(files.canCreateIn(base + "/file")) << "a path under a file";
    if (::geteuid() != 0) {
        // Only where permission bits count.
        ASSERT_EQ(::chmod(base.c_str(), 0555), 0);
        EXPECT_FALSE(files.canCreateIn(base));
        ::chmod(base.c_str(), 0700);
    }
}

}  // namespace
