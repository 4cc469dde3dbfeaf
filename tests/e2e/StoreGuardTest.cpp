// The store file is changed only by what the person at the panel asked for:
// each change reaches its own element, a store moved away or changed by
// another program is never written over, two hosts on one store never undo
// each other's changes, and the first save of a session keeps the file before.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tinyxml.h>

#include <cstdio>

#include "PanelSession.h"

namespace {

// The message, up to the quoted command name (quotes are escaped in some
// transcripts), and after it.
const char* const kChanged = "The password store was changed by another program. Nothing was saved; open ";
const char* const kChangedEnd = " to read it again.";

class StoreGuardE2ETest : public ::testing::Test {
protected:
    E2ETarget target = E2ETarget::fromEnvironment();
    PluginFolder folder{target};
    // The SHA-1 of "pw".
    const std::string head =
        "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"10\" masterkey=\"1A91D62F7CA67399625A4368A6AB5D4A3BAA6073\">\n";

    std::string store() const { return folder.file("database.xml"); }
    void settings(const std::string& main) {
        writeFile(folder.file("keyHold.ini"), "[MAIN]\ndatafile=" + folder.asTargetPath("database.xml") +
                                                  "\nNewEntryFolder=0\n" + main + "[AUTOLOCK]\nAutolock=0\n");
    }
    void SetUp() override {
        settings("EnableReload=0\n");
        writeFile(store(), head + "<folder name=\"Mine\" id=\"2\" creationtime=\"1\"/>\n"
                                  "<file name=\"Src\" id=\"3\"><username>from</username></file>\n"
                                  "<file name=\"Dst\" id=\"4\"><username>to</username></file>\n</pswd>\n");
    }
    std::vector<std::string> open(PanelSession& panel) {
        panel.send("ls");
        panel.answerPasswordDialog({"pw"});
        return panel.sync();
    }
    std::vector<std::string> run(PanelSession& panel, const std::string& command) {
        panel.send(command);
        return panel.sync();
    }
    std::vector<std::string> top(PanelSession& panel) { return listedNames(run(panel, "ls \\")); }
    // "name=username" of the entries and "name/" of the folders in the file's root.
    std::vector<std::string> onDisk() {
        TiXmlDocument d;
        d.Parse(readFile(store()).c_str());
        std::vector<std::string> out;
        if (d.RootElement() == nullptr) return {"<unreadable>"};
        for (TiXmlElement* e = d.RootElement()->FirstChildElement(); e; e = e->NextSiblingElement()) {
            std::string name = e->Attribute("name") ? e->Attribute("name") : "?";
            if (e->ValueStr() == "folder") {
                out.push_back(name + "/");
            } else if (e->FirstChildElement("username") && e->FirstChildElement("username")->GetText()) {
                out.push_back(name + "=" + e->FirstChildElement("username")->GetText());
            }
        }
        return out;
    }
    static bool has(const std::vector<std::string>& names, const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    }
};

TEST_F(StoreGuardE2ETest, RenamingAFolderWithoutIdRenamesThatFolder) {
    writeFile(store(), head + "<folder name=\"A\" creationtime=\"1\"/>\n<folder name=\"B\" id=\"1\" creationtime=\"1\"/>\n"
                              "</pswd>\n");
    {
        PanelSession panel(target, folder);
        open(panel);
        std::vector<std::string> out = run(panel, "mv \\A \\A2");
        EXPECT_TRUE(anyLineHas(out, "FS_FILE_OK")) << joinLines(out);
        EXPECT_EQ(panel.quit(), 0);
    }
    EXPECT_EQ(onDisk(), (std::vector<std::string>{"A2/", "B/"}));
    PanelSession panel(target, folder);
    std::vector<std::string> shown = listedNames(open(panel));
    EXPECT_TRUE(has(shown, "A2") && has(shown, "B")) << joinLines(panel.transcript());
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(StoreGuardE2ETest, AStoreMovedAwayDuringAReloadIsNeitherReplacedNorForgotten) {
    settings("EnableReload=1\n");
    const std::string original = readFile(store());
    PanelSession panel(target, folder);
    open(panel);
    ASSERT_EQ(std::rename(store().c_str(), (store() + ".away").c_str()), 0);
    run(panel, "open \"\\Reload Database\"");
    panel.send("ls \\");
    panel.answerMessage();
    std::vector<std::string> out = panel.sync();
    EXPECT_TRUE(anyLineHas(out, "is missing")) << joinLines(out);
    EXPECT_EQ(panel.passwordFieldsAsked(out), 0) << "nothing looks like an ordinary unlock\n" << joinLines(out);
    EXPECT_TRUE(has(listedNames(out), "Mine")) << "the folders stay in the panel\n" << joinLines(out);
    EXPECT_FALSE(fileExists(store())) << "no new store in its place";
    // A change while it is away makes no store either.
    panel.send("mkdir \\New");
    panel.answerMessage();
    out = panel.sync();
    EXPECT_FALSE(fileExists(store())) << joinLines(out);
    // It comes back: untouched, and changes reach it again after a reload.
    ASSERT_EQ(std::rename((store() + ".away").c_str(), store().c_str()), 0);
    EXPECT_EQ(readFile(store()), original);
    run(panel, "open \"\\Reload Database\"");
    open(panel);
    out = run(panel, "mkdir \\Later");
    EXPECT_TRUE(has(onDisk(), "Later/")) << joinLines(out);
    EXPECT_TRUE(has(onDisk(), "Mine/"));
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(StoreGuardE2ETest, TwoHostsOnOneStoreNeverOverwriteEachOther) {
    PanelSession first(target, folder), second(target, folder);
    open(first);
    open(second);
    std::vector<std::string> out = run(first, "mkdir \\One");
    ASSERT_TRUE(has(onDisk(), "One/")) << joinLines(out);
    // The second one still holds the file as it was before.
    second.send("mkdir \\Two");
    second.answerMessage();
    out = second.sync();
    EXPECT_TRUE(anyLineHas(out, kChanged) && anyLineHas(out, kChangedEnd)) << joinLines(out);
    EXPECT_TRUE(has(onDisk(), "One/")) << "the first one's change is kept";
    EXPECT_FALSE(has(onDisk(), "Two/"));
    std::vector<std::string> shown = top(second);
    EXPECT_FALSE(has(shown, "Two")) << "the change is rolled back";
    EXPECT_TRUE(has(shown, "Reload Database")) << "offered though EnableReload is off\n" << joinLines(shown);
    // After reading it again, the second one's changes are saved beside the first one's.
    run(second, "open \"\\Reload Database\"");
    shown = listedNames(open(second));
    EXPECT_TRUE(has(shown, "One"));
    run(second, "mkdir \\Two");
    EXPECT_TRUE(has(onDisk(), "One/"));
    EXPECT_TRUE(has(onDisk(), "Two/"));
    // And now the first one is the one that must read again.
    first.send("mkdir \\Three");
    first.answerMessage();
    out = first.sync();
    EXPECT_TRUE(anyLineHas(out, kChanged) && anyLineHas(out, kChangedEnd)) << joinLines(out);
    EXPECT_TRUE(has(onDisk(), "Two/"));
    EXPECT_FALSE(has(onDisk(), "Three/"));
    EXPECT_EQ(first.quit(), 0);
    EXPECT_EQ(second.quit(), 0);
}

TEST_F(StoreGuardE2ETest, TheFirstSaveOfASessionKeepsTheFileBefore) {
    if (!target.isWindows()) ASSERT_EQ(chmod(store().c_str(), 0640), 0);
    const std::string original = readFile(store());
    PanelSession panel(target, folder);
    open(panel);
    run(panel, "mkdir \\One");
    ASSERT_TRUE(fileExists(store() + ".bak")) << joinLines(panel.transcript());
    EXPECT_EQ(readFile(store() + ".bak"), original);
    run(panel, "mkdir \\Two");
    EXPECT_EQ(readFile(store() + ".bak"), original) << "the first save of the session only";
    EXPECT_TRUE(has(onDisk(), "Two/"));
    if (!target.isWindows()) {
        struct stat bak{}, kept{};
        ASSERT_EQ(stat((store() + ".bak").c_str(), &bak), 0);
        ASSERT_EQ(stat(store().c_str(), &kept), 0);
        EXPECT_EQ(bak.st_mode & 07777, 0640u);
        EXPECT_EQ(kept.st_mode & 07777, 0640u);
    }
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(StoreGuardE2ETest, AnOverwritingMoveReplacesTheTargetOnce) {
    {
        PanelSession panel(target, folder);
        open(panel);
        panel.send("mv \\Src \\Dst");
        panel.send("> y");
        std::vector<std::string> out = panel.sync();
        EXPECT_TRUE(anyLineHas(out, "FS_FILE_OK")) << joinLines(out);
        std::vector<std::string> shown = top(panel);
        EXPECT_TRUE(has(shown, "Dst") && !has(shown, "Src")) << joinLines(shown);
        EXPECT_EQ(panel.quit(), 0);
    }
    EXPECT_EQ(onDisk(), (std::vector<std::string>{"Mine/", "Dst=from"}));
    // The file before the move is the session's backup: the target was not
    // saved away on its own first.
    TiXmlDocument bak;
    bak.Parse(readFile(store() + ".bak").c_str());
    ASSERT_NE(bak.RootElement(), nullptr);
    int entries = 0;
    for (TiXmlElement* e = bak.RootElement()->FirstChildElement("file"); e; e = e->NextSiblingElement("file")) ++entries;
    EXPECT_EQ(entries, 2);
}

}  // namespace
