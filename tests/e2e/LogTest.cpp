// The diagnostic log as a user switches it on: a daily file in a Keyhold
// folder beside the plug-in, in the configured layout, never holding the
// master password; a log folder that cannot be made costs only the log.
#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <set>
#include <sstream>

#include "PanelSession.h"

namespace {

// Distinctive enough that no log line holds it by chance.
const char* const kMasterPassword = "Quokka#7781-Zephyr";
const char* const kWrongPassword = "Wombat#5519-Boreas";

std::string dayFileName(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char name[64];
    std::snprintf(name, sizeof name, "Keyhold_%02d_%02d_%04d.log", local.tm_mon + 1, local.tm_mday,
                  local.tm_year + 1900);
    return name;
}

class LogE2ETest : public ::testing::Test {
protected:
    E2ETarget target = E2ETarget::fromEnvironment();
    PluginFolder folder{target};
    std::time_t started = std::time(nullptr);

    void settings(const std::string& main) {
        writeFile(folder.file("keyHold.ini"),
                  "[MAIN]\ndatafile=" + folder.asTargetPath("database.xml") + "\nDebugLogging=1\n" + main);
    }
    // Creates the store with the master password, reopens it after a wrong
    // try, lists a folder and quits.
    void session() {
        {
            PanelSession panel(target, folder);
            panel.send("ls");
            panel.answerPasswordDialog({kMasterPassword, kMasterPassword});
            std::vector<std::string> shown = panel.sync();
            ASSERT_TRUE(anyLineHas(shown, "Homebanking")) << joinLines(shown);
            std::vector<std::string> rest;
            ASSERT_EQ(panel.quit(&rest), 0) << joinLines(panel.transcript());
            EXPECT_TRUE(anyLineHas(rest, "unloaded")) << "the logger's thread let the library go\n"
                                                      << joinLines(rest);
        }
        PanelSession panel(target, folder);
        panel.send("ls");
        panel.answerPasswordDialog({kWrongPassword});
        panel.answerMessage();
        panel.answerPasswordDialog({kMasterPassword});
        panel.send("ls Email");
        std::vector<std::string> shown = panel.sync();
        ASSERT_TRUE(anyLineHas(shown, "[New Entry]")) << joinLines(shown);
        std::vector<std::string> rest;
        ASSERT_EQ(panel.quit(&rest), 0) << joinLines(panel.transcript());
        EXPECT_TRUE(anyLineHas(rest, "unloaded")) << joinLines(rest);
    }
    // The one log file of the session, read whole.
    std::string theLog() {
        std::string logFolder = folder.file("Keyhold");
        EXPECT_TRUE(isDirectory(logFolder));
        std::vector<std::string> names = folderEntries(logFolder);
        std::string today = dayFileName(started), now = dayFileName(std::time(nullptr));
        EXPECT_EQ(names.size(), today == now ? 1u : 2u) << joinLines(names);
        EXPECT_TRUE(fileExists(logFolder + "/" + today) || fileExists(logFolder + "/" + now)) << joinLines(names);
        std::string all;
        for (const std::string& n : names) all += readFile(logFolder + "/" + n);
        return all;
    }
    static void expectNoSecret(const std::string& log) {
        EXPECT_EQ(log.find(kMasterPassword), std::string::npos) << "the master password reached the log";
        EXPECT_EQ(log.find(kWrongPassword), std::string::npos) << "a mistyped password reached the log";
        EXPECT_EQ(log.find("Quokka"), std::string::npos);
    }
};

TEST_F(LogE2ETest, MultilineLayoutWritesBlocksIntoTheDaysFile) {
    settings("LogFormat=multiline\n");
    session();
    const std::string log = theLog();
    ASSERT_FALSE(log.empty());
    const std::string head = "\r\n" + std::string(60, '=') + "\r\n" + "DATE & TIME OF LOGGING THIS MESSAGE:";
    EXPECT_EQ(log.rfind(head, 0), 0u) << log.substr(0, 400);
    EXPECT_NE(log.find("MESSAGE:         Log Path: " + folder.asTargetPath("Keyhold") + "\r\n"), std::string::npos)
        << log.substr(0, 2000);
    EXPECT_NE(log.find("COMPONENT NAME:         Keyholder\r\n"), std::string::npos);
    EXPECT_NE(log.find("MODULE NAME:         KeyholdApp.cpp\r\n"), std::string::npos);
    EXPECT_NE(log.find("MODULE NAME:         Listing.cpp\r\n"), std::string::npos);
    // Every block has its twelve pieces, in order.
    const std::regex block(
        "\r\n={60}\r\nDATE & TIME OF LOGGING THIS MESSAGE:[A-Z][a-z]+day, [A-Z][a-z]+ [0-9]{2} [0-9]{4}, "
        "[0-9]{2}:[0-9]{2}:[0-9]{2} [AP]M\r\nPROCESS NAME:[^\r\n]*keyhold-panel[^\r\n]*\r\n"
        "COMPONENT NAME: {9}Keyholder\r\nMODULE NAME: {9}[A-Za-z0-9_]+\\.(cpp|h)\r\nMODULE LINE NO: {9}[0-9]+\r\n"
        "MODULE VERSION: {9}\r\nProcess Id: {9}[0-9]+\r\nThread Id: {9}[0-9]+\r\n"
        "MESSAGE LEVEL: {9}(5|40|50|60|70|80|90)\r\nMESSAGE: {9}[^\r\n]+\r\n");
    std::size_t blocks = 0, at = 0;
    for (std::size_t next; at < log.size(); at = next, ++blocks) {
        next = log.find("\r\n" + std::string(60, '='), at + 2);
        if (next == std::string::npos) next = log.size();
        std::string one = log.substr(at, next - at);
        ASSERT_TRUE(std::regex_match(one, block)) << "block " << blocks << ":\n" << one;
    }
    EXPECT_GT(blocks, 10u);
    expectNoSecret(log);
}

TEST_F(LogE2ETest, OtherLayoutWritesOneLinePerMessage) {
    settings("LogFormat=single\n");
    session();
    const std::string log = theLog();
    ASSERT_FALSE(log.empty());
    std::istringstream lines(log);
    const std::regex line("Thr[ 0-9]{4}[0-9]+ \\| [A-Za-z0-9_]+\\.(cpp|h)\\([0-9]+\\) \\| "
                          "e(Rubbish|Information|Important|Warning|TroubleShoot|Error|Fatal): .* \r");
    std::size_t count = 0;
    for (std::string l; std::getline(lines, l); ++count) ASSERT_TRUE(std::regex_match(l, line)) << l;
    EXPECT_GT(count, 10u);
    EXPECT_EQ(log.back(), '\n');
    EXPECT_NE(log.find(".cpp(" ), std::string::npos);
    EXPECT_NE(log.find(") | eImportant: Log Path: " + folder.asTargetPath("Keyhold") + " \r\n"), std::string::npos)
        << log.substr(0, 2000);
    expectNoSecret(log);
}

TEST_F(LogE2ETest, TwoProcessesAtOnceShareTheDaysFile) {
    settings("");
    {
        PanelSession first(target, folder);
        first.sync();
        PanelSession second(target, folder);
        second.send("ls");
        second.answerPasswordDialog({kMasterPassword, kMasterPassword});
        ASSERT_TRUE(anyLineHas(second.sync(), "Homebanking"));
        first.send("ls");
        first.answerPasswordDialog({kMasterPassword});
        ASSERT_TRUE(anyLineHas(first.sync(), "Homebanking")) << joinLines(first.transcript());
        EXPECT_EQ(second.quit(), 0);
        EXPECT_EQ(first.quit(), 0);
    }
    const std::string log = theLog();
    std::set<std::string> processes;
    const std::regex id("Process Id: {9}([0-9]+)\r");
    for (std::sregex_iterator m(log.begin(), log.end(), id), end; m != end; ++m) processes.insert((*m)[1]);
    EXPECT_EQ(processes.size(), 2u) << "both wrote into the one file of the day";
    expectNoSecret(log);
}

TEST_F(LogE2ETest, LogFolderThatCannotBeMadeCostsOnlyTheLog) {
    settings("");
    writeFile(folder.file("Keyhold"), "a file where the log folder would go");
    PanelSession panel(target, folder);
    panel.answerMessage();
    std::vector<std::string> told = panel.sync();
    EXPECT_TRUE(anyLineHas(told, "Handle to log file is invalid!")) << joinLines(told);
    panel.send("ls");
    panel.answerPasswordDialog({kMasterPassword, kMasterPassword});
    std::vector<std::string> shown = panel.sync();
    EXPECT_TRUE(anyLineHas(shown, "Homebanking")) << joinLines(shown);
    std::vector<std::string> rest;
    EXPECT_EQ(panel.quit(&rest), 0);
    EXPECT_TRUE(anyLineHas(rest, "unloaded")) << joinLines(rest);
    EXPECT_EQ(readFile(folder.file("Keyhold")), "a file where the log folder would go");
}

}  // namespace
