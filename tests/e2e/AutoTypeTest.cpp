// Auto-type as a person meets it: another program's window is in front, the
// hot key is pressed there, and the plug-in (loaded by the host) types the
// matching entry's user name, Tab, password and Enter into it. Under wine the
// window is a Win32 edit; on the Linux desktop it is the X11 recorder, the
// hot key pressed through XTest. The tests want the desktop to themselves (one
// hot key, one window in front), so their names carry "InFront" and they run
// alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "PanelSession.h"

namespace {

constexpr const char* kWindowTitle = "Bank Login - Web Browser";

class AutoTypeE2ETest : public ::testing::Test {
protected:
    E2ETarget target = E2ETarget::fromEnvironment();
    PluginFolder folder{target};

    void SetUp() override {
        if (!target.isWindows()) {
            const char* display = std::getenv("DISPLAY");
            if (display == nullptr || *display == '\0') GTEST_SKIP() << "no X display: the Linux desktop has no hot key";
            if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xdotool to press the hot key";
            if (access(recorder().c_str(), X_OK) != 0) GTEST_SKIP() << "no X11 recorder at " << recorder();
        }
        store({{"Bank", "alice", "s3cret"}});
        writeFile(folder.file("keyHold.ini"), "[MAIN]\ndatafile=" + folder.asTargetPath("database.xml") +
                                                  "\nNewEntryFolder=1\n[AUTOLOCK]\nAutolock=0\n");
    }
    struct Entry {
        std::string title, userName, password;
    };
    // Entries in folder Web, each for windows whose title ends in "Web Browser".
    void store(const std::vector<Entry>& entries) {
        std::string files;
        int id = 3;
        for (const Entry& e : entries) {
            files += "<file name=\"" + e.title + "\" id=\"" + std::to_string(id++) + "\"><username>" + e.userName +
                     "</username><password>" + e.password +
                     "</password><notes>Auto-Type-Window:*Web Browser</notes></file>";
        }
        writeFile(folder.file("database.xml"),
                  "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" "
                  "masterkey=\"1A91D62F7CA67399625A4368A6AB5D4A3BAA6073\">\n<folder name=\"Web\" id=\"2\">" +
                      files + "</folder>\n</pswd>\n");
    }
    void open(PanelSession& panel) {
        panel.send("ls");
        panel.answerPasswordDialog({"pw"});
        std::vector<std::string> shown = panel.sync();
        ASSERT_TRUE(anyLineHas(shown, "Web")) << joinLines(shown);
    }
    // The host takes a text answer once it has seen the line after it (which
    // might continue it with "+"); answers given ahead of a question asked on
    // the plug-in's own thread are followed by a line that does not.
    void endTextAnswer(PanelSession& panel) {
        if (!target.isWindows()) panel.send("echo (answers given)");
    }
    std::string buildDir() const { return target.panel.substr(0, target.panel.rfind("/host/")); }
    std::string recorder() const { return buildDir() + "/tests/x11/keyhold_x11_recorder"; }
    // What a window shows once user name, Tab, password and Enter are typed:
    // a Win32 edit holds Tab and CR LF (written \t, \r\n); the recorder names
    // the keys without a character.
    std::string typedLine(const std::string& userName, const std::string& password) const {
        return target.isWindows() ? userName + "\\t" + password + "\\r\\n" : userName + "<Tab>" + password + "<Return>";
    }
    // Opens the other program's window, presses the hot key there and
    // returns what arrived in it.
    std::string pressHotKeyInWindow(int seconds) {
        std::string command = target.isWindows()
                                  ? "'" + target.wine + "' '" + buildDir() + "/tests/win32/autotype-target.exe' '" +
                                        kWindowTitle + "' " + std::to_string(seconds) + " 2>/dev/null"
                                  : "bash '" KH_E2E_SOURCE_DIR "/x11-autotype-target.sh' '" + recorder() + "' '" +
                                        kWindowTitle + "' " + std::to_string(seconds) + " 2>&1";
        FILE* p = popen(command.c_str(), "r");
        if (p == nullptr) return "<could not start>";
        std::string out;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
        pclose(p);
        std::string::size_type at = out.find("typed: ");
        if (at == std::string::npos) return "<no result> " + out;
        std::string typed = out.substr(at + 7);
        while (!typed.empty() && (typed.back() == '\n' || typed.back() == '\r')) typed.pop_back();
        return typed;
    }
};

TEST_F(AutoTypeE2ETest, OneMatchIsTypedIntoTheWindowInFront) {
    PanelSession panel(target, folder);
    open(panel);
    EXPECT_EQ(pressHotKeyInWindow(20), typedLine("alice", "s3cret"));
    std::vector<std::string> rest;
    EXPECT_EQ(panel.quit(&rest), 0);
    EXPECT_TRUE(anyLineHas(rest, "threads left behind: 0")) << joinLines(rest);

    // Loaded again, the plug-in registers the hot key again.
    PanelSession again(target, folder);
    open(again);
    EXPECT_EQ(pressHotKeyInWindow(20), typedLine("alice", "s3cret"));
    EXPECT_EQ(again.quit(), 0);
}

// Under wine's default key map the layout has no key for "(" and ")", and
// the X11 desktop may have to map a spare key for a character: the password
// is typed exactly all the same, with "^" and "~" among it.
TEST_F(AutoTypeE2ETest, APasswordWithParenthesesArrivesExactlyInFront) {
    store({{"Bank", "al(i)ce", "(s3^c~r)et"}});
    PanelSession panel(target, folder);
    open(panel);
    EXPECT_EQ(pressHotKeyInWindow(20), typedLine("al(i)ce", "(s3^c~r)et"));
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(AutoTypeE2ETest, SeveralMatchesAskWhichOneInFront) {
    store({{"Bank", "alice", "s3cret"}, {"Broker", "bob", "b0b"}});
    PanelSession panel(target, folder);
    open(panel);
    // The host waits while the chooser is answered from the script.
    panel.send("wait 25");
    if (target.isWindows()) {
        panel.send("> select 3035 Broker");
        panel.send("> click 1");
    } else {
        panel.send("> Broker");  // without a dialog of the host's, the host's question names the choices
        endTextAnswer(panel);
    }
    EXPECT_EQ(pressHotKeyInWindow(20), typedLine("bob", "b0b"));
    std::vector<std::string> out = panel.sync();
    EXPECT_TRUE(anyLineHas(out, "title=\"Possible entries\"")) << joinLines(out);

    panel.send("wait 14");
    panel.cancel();
    EXPECT_EQ(pressHotKeyInWindow(8), "");
    EXPECT_TRUE(anyLineHas(panel.sync(), "cancelled"));
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(AutoTypeE2ETest, LockedStoreAsksForThePasswordFirstInFront) {
    PanelSession panel(target, folder);
    open(panel);
    panel.send("open \"\\Lock Keyhold\"");
    panel.sync();
    // Cancelled: nothing is typed and the store stays locked.
    panel.send("wait 14");
    panel.cancel();
    EXPECT_EQ(pressHotKeyInWindow(8), "");
    std::vector<std::string> out = panel.sync();
    EXPECT_TRUE(anyLineHas(out, "title=\"Enter Password\"")) << joinLines(out);
    panel.send("ls \"\\Web\"");
    EXPECT_EQ(listedNames(panel.sync()), std::vector<std::string>{"UnLock Keyhold"});
    // The right password: unlocked, then typed.
    panel.send("wait 25");
    panel.answerPasswordDialog({"pw"});
    endTextAnswer(panel);
    EXPECT_EQ(pressHotKeyInWindow(20), typedLine("alice", "s3cret"));
    panel.sync();
    EXPECT_EQ(panel.quit(), 0);
}

}  // namespace
