// Creating a store, closing it, opening it again with the master password and
// browsing it, as a person does through the host.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <tinyxml.h>

#include <ctime>
#include <sstream>

#include "PanelSession.h"

namespace {

class StoreE2ETest : public ::testing::Test {
protected:
    E2ETarget target = E2ETarget::fromEnvironment();
    PluginFolder folder{target};
    std::string store() const { return folder.file("database.xml"); }

    // Creates the store with a first listing.
    void create(const std::string& password) {
        PanelSession panel(target, folder);
        panel.send("ls");
        panel.answerPasswordDialog({password, password});
        panel.sync();
        ASSERT_EQ(panel.quit(), 0) << joinLines(panel.transcript());
        ASSERT_TRUE(fileExists(store())) << joinLines(panel.transcript());
    }
};

const char* const kDefaultFolders[] = {"Email", "Network", "Windows", "Homebanking", "Internet"};

TEST_F(StoreE2ETest, FirstListingCreatesTheStore) {
    PanelSession panel(target, folder);
    panel.send("ls");
    panel.answerPasswordDialog({"s3cret pass", "s3cret pass"});
    std::vector<std::string> shown = panel.sync();
    EXPECT_EQ(panel.passwordFieldsAsked(shown), 2) << joinLines(shown);
    for (const char* name : {"New Entry", "Lock Keyhold", "Default Auto Type Window is OFF"}) {
        EXPECT_TRUE(anyLineHas(shown, name)) << name << "\n" << joinLines(shown);
    }
    for (const char* name : kDefaultFolders) EXPECT_TRUE(anyLineHas(shown, name)) << name;
    panel.send("ls Email");
    std::vector<std::string> email = panel.sync();
    EXPECT_TRUE(anyLineHas(email, "[New Entry]")) << joinLines(email);
    EXPECT_EQ(panel.quit(), 0);

    TiXmlDocument d;
    d.Parse(readFile(store()).c_str());
    ASSERT_FALSE(d.Error()) << d.ErrorDesc();
    TiXmlElement* root = d.RootElement();
    ASSERT_NE(root, nullptr);
    ASSERT_NE(root->Attribute("masterkey"), nullptr);
    EXPECT_EQ(std::string(root->Attribute("masterkey")).size(), 40u);
    std::vector<std::string> folders;
    for (TiXmlElement* f = root->FirstChildElement("folder"); f; f = f->NextSiblingElement("folder")) {
        folders.push_back(f->Attribute("name"));
    }
    EXPECT_EQ(folders, std::vector<std::string>(std::begin(kDefaultFolders), std::end(kDefaultFolders)));
    EXPECT_EQ(readFile(store()).find("s3cret"), std::string::npos) << "the password itself is never stored";
}

TEST_F(StoreE2ETest, ReopeningAsksOnceAndRefusesAWrongPassword) {
    create("right");
    std::string before = readFile(store());
    PanelSession panel(target, folder);
    panel.send("ls");
    panel.answerPasswordDialog({"wrong"});
    panel.answerMessage();
    panel.answerPasswordDialog({"right"});
    std::vector<std::string> shown = panel.sync();
    EXPECT_TRUE(anyLineHas(shown, "Passwords not equal.\\nRetype password!")) << joinLines(shown);
    EXPECT_EQ(panel.passwordFieldsAsked(shown), 2) << "one field, asked twice\n" << joinLines(shown);
    EXPECT_TRUE(anyLineHas(shown, "Homebanking")) << joinLines(shown);
    EXPECT_EQ(panel.quit(), 0);
    EXPECT_EQ(readFile(store()), before) << "opening writes nothing";
}

TEST_F(StoreE2ETest, CancelDeniesAccessAndTheNextListingAsksAgain) {
    create("pw");
    PanelSession panel(target, folder);
    panel.send("ls");
    panel.cancel();
    panel.answerMessage();
    std::vector<std::string> denied = panel.sync();
    EXPECT_TRUE(anyLineHas(denied, "Deny access")) << joinLines(denied);
    EXPECT_FALSE(anyLineHas(denied, "Homebanking"));
    panel.send("ls");
    panel.answerPasswordDialog({"pw"});
    std::vector<std::string> shown = panel.sync();
    EXPECT_EQ(panel.passwordFieldsAsked(shown), 1) << joinLines(shown);
    EXPECT_TRUE(anyLineHas(shown, "Homebanking")) << joinLines(shown);
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(StoreE2ETest, DevelopmentPasswordSkipsTheDialog) {
    create("dev");
    writeFile(folder.file("keyHold.ini"), "[MAIN]\ndatafile=database.xml\n[DEVELOPMENT]\nMasterPassword=dev\n");
    PanelSession panel(target, folder);
    panel.send("ls");
    std::vector<std::string> shown = panel.sync();
    EXPECT_EQ(panel.passwordFieldsAsked(shown), 0) << joinLines(shown);
    EXPECT_TRUE(anyLineHas(shown, "Homebanking")) << joinLines(shown);
    EXPECT_EQ(panel.quit(), 0);
}

// The command nodes' date: the host's "no date" on Windows; on Linux, whose
// file manager shows every time as a date (and "no date" as 1999), the time
// of the store file when it was read.
TEST_F(StoreE2ETest, CommandNodesShowTheStoreTimeOnLinuxOnly) {
    create("pw");
    // A time long past on the file, so that the present cannot pass for it.
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = 1614834367;  // 2021-03-04 05:06:07 UTC
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ASSERT_EQ(utimensat(AT_FDCWD, store().c_str(), times, 0), 0);

    PanelSession panel(target, folder);
    panel.send("ls");
    panel.answerPasswordDialog({"pw"});
    std::vector<std::string> shown = panel.sync();
    const std::string expected = target.isWindows() ? "-" : "2021-03-04 05:06:07";
    int seen = 0;
    for (const std::string& line : shown) {
        std::istringstream in(line);
        std::string size, attributes, date, time, name;
        in >> size >> attributes;
        if (attributes != "00000080") continue;
        for (int field = 0; field < 2; ++field) {
            in >> date;
            time.clear();
            if (date != "-") in >> time;
        }
        std::getline(in >> std::ws, name);
        if (name != "New Entry" && name != "Lock Keyhold" && name != "Default Auto Type Window is OFF") continue;
        ++seen;
        EXPECT_EQ(time.empty() ? date : date + " " + time, expected) << line;
    }
    EXPECT_EQ(seen, 3) << joinLines(shown);
    EXPECT_EQ(panel.quit(), 0);
}

}  // namespace
