// The automatic lock as the host sees it: a while after the last call the
// store shows only "UnLock Keyhold", wherever the host looks.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "PanelSession.h"

namespace {

using namespace std::chrono_literals;

// Five one-second steps of the countdown, with room for a slow start.
constexpr auto kPastTheTimeOut = 7500ms;

class AutolockE2ETest : public ::testing::Test {
protected:
    E2ETarget target = E2ETarget::fromEnvironment();
    PluginFolder folder{target};

    void SetUp() override {
        // Made with the password "pw": its SHA-1 is the masterkey.
        writeFile(folder.file("database.xml"),
                  "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" "
                  "masterkey=\"1A91D62F7CA67399625A4368A6AB5D4A3BAA6073\">\n"
                  "<folder name=\"Mail\" id=\"2\"><file name=\"Gmail\" id=\"3\"/></folder>\n</pswd>\n");
    }
    void settings(const std::string& autolock, const std::string& main = "NewEntryFolder=1\n") {
        writeFile(folder.file("keyHold.ini"), "[MAIN]\ndatafile=" + folder.asTargetPath("database.xml") + "\n" +
                                                  main + "[AUTOLOCK]\n" + autolock);
    }
    void open(PanelSession& panel) {
        panel.send("ls");
        panel.answerPasswordDialog({"pw"});
        std::vector<std::string> shown = panel.sync();
        ASSERT_TRUE(anyLineHas(shown, "Mail")) << joinLines(shown);
    }
    // The names the host lists for a path.
    std::vector<std::string> listed(PanelSession& panel, const std::string& path) {
        panel.send("ls \"" + path + "\"");
        return listedNames(panel.sync());
    }
    bool lockedEverywhere(PanelSession& panel) {
        const std::vector<std::string> unlockOnly{"UnLock Keyhold"};
        return listed(panel, "\\") == unlockOnly && listed(panel, "\\Mail") == unlockOnly;
    }
};

TEST_F(AutolockE2ETest, LocksAfterTheTimeOutAndEveryCallStartsItAfresh) {
    settings("TimeOutLock=5\n");
    PanelSession panel(target, folder);
    open(panel);
    // Calls within the time-out start the countdown again from its start.
    // Three of them span longer than the time-out.
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(2500ms);  // half the time-out: room for a slow machine
        EXPECT_EQ(listed(panel, "\\Mail"), (std::vector<std::string>{"[New Entry]", "Gmail"})) << "step " << i;
    }
    std::this_thread::sleep_for(kPastTheTimeOut);
    EXPECT_TRUE(lockedEverywhere(panel)) << joinLines(panel.transcript());
    EXPECT_EQ(panel.quit(), 0);
}

// Run alone: under wine the host window must be the one in front, which no
// other test's window may take meanwhile.
TEST_F(AutolockE2ETest, HostWindowInFrontIsAskedToRereadItsPanel) {
    settings("TimeOutLock=5\n");
    PanelSession panel(target, folder);
    open(panel);
    listed(panel, "\\Mail");
    std::this_thread::sleep_for(kPastTheTimeOut);
    std::vector<std::string> meanwhile = panel.sync();
    // Linux hosts have no window to post to.
    EXPECT_EQ(anyLineHas(meanwhile, "panel refresh requested"), target.isWindows()) << joinLines(meanwhile);
    EXPECT_TRUE(lockedEverywhere(panel)) << joinLines(panel.transcript());
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(AutolockE2ETest, AFolderMadeOrAnEmptyListingIsFollowedByTheLock) {
    settings("TimeOutLock=5\n", "NewEntryFolder=0\n");
    PanelSession panel(target, folder);
    open(panel);
    panel.send("mkdir \\Empty");
    EXPECT_TRUE(anyLineHas(panel.sync(), "TRUE"));
    std::this_thread::sleep_for(kPastTheTimeOut);
    EXPECT_TRUE(lockedEverywhere(panel)) << "after making a folder\n" << joinLines(panel.transcript());

    // A change of a locked store asks for the password first.
    panel.send("mkdir \\Other");
    panel.answerPasswordDialog({"pw"});
    EXPECT_TRUE(anyLineHas(panel.sync(), "TRUE"));
    EXPECT_TRUE(listed(panel, "\\Empty").empty()) << "a listing that ends without a close";
    std::this_thread::sleep_for(kPastTheTimeOut);
    EXPECT_TRUE(lockedEverywhere(panel)) << "after an empty listing\n" << joinLines(panel.transcript());
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(AutolockE2ETest, WithAutolockOffTheStoreStaysOpen) {
    settings("Autolock=0\nTimeOutLock=5\n");
    PanelSession panel(target, folder);
    open(panel);
    std::this_thread::sleep_for(kPastTheTimeOut);
    EXPECT_EQ(listed(panel, "\\Mail"), (std::vector<std::string>{"[New Entry]", "Gmail"}));
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(AutolockE2ETest, UnloadingWhileCountingDownIsQuickAndLeavesNoThread) {
    // The log cleaner sleeps meanwhile too.
    settings("TimeOutLock=30\n", "NewEntryFolder=1\nDebugLogging=1\n");
    PanelSession panel(target, folder);
    open(panel);
    listed(panel, "\\Mail");  // the countdown runs from here
    std::vector<std::string> rest;
    EXPECT_EQ(panel.quit(&rest), 0);
    int took = -1, left = -1;
    for (const std::string& line : rest) {
        if (std::sscanf(line.c_str(), "unload took %d ms, threads left behind: %d", &took, &left) == 2) break;
    }
    ASSERT_GE(took, 0) << joinLines(rest);
    EXPECT_LT(took, 2000) << joinLines(rest);
    EXPECT_EQ(left, 0) << joinLines(rest);
}

}  // namespace
