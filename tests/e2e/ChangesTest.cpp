// Changing the store from the panel: every change is in the file at once, and
// a fresh start of the plug-in shows exactly what the panel showed.
#include <gtest/gtest.h>

#include <tinyxml.h>

#include <algorithm>

#include "PanelSession.h"

namespace {

class ChangesE2ETest : public ::testing::Test {
protected:
    E2ETarget target = E2ETarget::fromEnvironment();
    PluginFolder folder{target};

    void SetUp() override {
        // Made with the password "pw": its SHA-1 is the masterkey.
        writeFile(folder.file("database.xml"),
                  "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" "
                  "masterkey=\"1A91D62F7CA67399625A4368A6AB5D4A3BAA6073\">\n"
                  "<folder name=\"Mail\" id=\"2\" creationtime=\"1\"><folder name=\"Work\" id=\"3\">"
                  "<file name=\"Boss\" id=\"4\"/></folder><file name=\"Gmail\" id=\"5\"/></folder>\n"
                  "<folder name=\"A\" id=\"6\"/><file name=\"Router\" id=\"7\"/>\n</pswd>\n");
    }
    // Names of the folders and entries in the file, as paths.
    std::vector<std::string> pathsOnDisk() {
        TiXmlDocument d;
        d.Parse(readFile(folder.file("database.xml")).c_str());
        std::vector<std::string> paths;
        walk(d.RootElement(), "", paths);
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    static void walk(TiXmlElement* e, const std::string& prefix, std::vector<std::string>& out) {
        for (TiXmlElement* c = e ? e->FirstChildElement() : nullptr; c; c = c->NextSiblingElement()) {
            if (c->ValueStr() != "folder" && c->ValueStr() != "file") continue;
            std::string p = prefix + "\\" + c->Attribute("name");
            out.push_back(p);
            walk(c, p, out);
        }
    }
    // Every folder and entry the host lists, as sorted paths, without the
    // command nodes.
    std::vector<std::string> hostTree(PanelSession& panel) {
        std::vector<std::string> paths, folders{""};
        while (!folders.empty()) {
            std::string f = folders.back();
            folders.pop_back();
            panel.send("ls \"" + (f.empty() ? std::string("\\") : f) + "\"");
            for (const ListedItem& item : listedItems(panel.sync())) {
                const std::string& name = item.name;
                if (item.attributes == "00000080" && item.size == "1" &&
                    (name == "[New Entry]" || name == "Lock Keyhold" ||
                     name.rfind("Default Auto Type Window", 0) == 0)) {
                    continue;
                }
                if (name == "New Entry") continue;
                paths.push_back(f + "\\" + name);
                if (item.attributes == "00000010") folders.push_back(f + "\\" + name);
            }
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    // The file on disk holds exactly what the host lists.
    void expectFileMatchesHost(PanelSession& panel, const std::string& step) {
        EXPECT_EQ(pathsOnDisk(), hostTree(panel)) << "after " << step;
    }
    // Runs one command and checks the file against the host's listing.
    std::vector<std::string> step(PanelSession& panel, const std::string& command) {
        panel.send(command);
        std::vector<std::string> out = panel.sync();
        expectFileMatchesHost(panel, command);
        return out;
    }

    std::vector<std::string> listed(PanelSession& panel, const std::string& path) {
        panel.send("ls \"" + path + "\"");
        return names(panel.sync());
    }
    static std::vector<std::string> names(const std::vector<std::string>& lines) { return listedNames(lines); }
};

TEST_F(ChangesE2ETest, FoldersAndDeletionsReachTheFile) {
    {
        PanelSession panel(target, folder);
        panel.send("ls");
        panel.answerPasswordDialog({"pw"});
        panel.sync();
        std::vector<std::string> made = step(panel, "mkdir \\New");
        std::vector<std::string> deeper = step(panel, "mkdir \\Mail\\Work\\Deep");
        made.insert(made.end(), deeper.begin(), deeper.end());
        EXPECT_EQ(std::count_if(made.begin(), made.end(), [](const std::string& l) { return l == "TRUE"; }), 2)
            << joinLines(made);
        EXPECT_EQ(pathsOnDisk(), (std::vector<std::string>{"\\A", "\\Mail", "\\Mail\\Gmail", "\\Mail\\Work",
                                                           "\\Mail\\Work\\Boss", "\\Mail\\Work\\Deep", "\\New",
                                                           "\\Router"}));
        panel.send("mkdir \\mail");
        panel.answerMessage();
        std::vector<std::string> clash = panel.sync();
        EXPECT_TRUE(anyLineHas(clash, "Entry with the same name already exists!!")) << joinLines(clash);
        EXPECT_TRUE(anyLineHas(clash, "FALSE")) << joinLines(clash);

        std::vector<std::string> removed;
        for (const char* command : {"rm \\Mail\\Work\\Boss", "rm \\Mail" /* a folder is no entry */, "rmdir \\A",
                                    "rmdir \\Router" /* an entry is no folder */}) {
            std::vector<std::string> out = step(panel, command);
            removed.insert(removed.end(), out.begin(), out.end());
        }
        EXPECT_EQ(std::count_if(removed.begin(), removed.end(), [](const std::string& l) { return l == "TRUE"; }),
                  2)
            << joinLines(removed);
        EXPECT_EQ(listed(panel, "\\Mail\\Work"), (std::vector<std::string>{"[New Entry]", "Deep"}));
        EXPECT_EQ(panel.quit(), 0);
    }
    std::vector<std::string> expected{"\\Mail", "\\Mail\\Gmail", "\\Mail\\Work", "\\Mail\\Work\\Deep", "\\New",
                                      "\\Router"};
    EXPECT_EQ(pathsOnDisk(), expected);

    // A fresh start lists exactly what the file holds.
    PanelSession again(target, folder);
    again.send("ls");
    again.answerPasswordDialog({"pw"});
    EXPECT_EQ(names(again.sync()), (std::vector<std::string>{"New Entry", "Lock Keyhold",
                                                             "Default Auto Type Window is OFF", "Mail", "Router",
                                                             "New"}));
    EXPECT_EQ(listed(again, "\\Mail\\Work"), (std::vector<std::string>{"[New Entry]", "Deep"}));
    EXPECT_EQ(again.quit(), 0);
}

TEST_F(ChangesE2ETest, WithoutNewEntryFoldersNoFolderGetsOne) {
    writeFile(folder.file("keyHold.ini"), "[MAIN]\ndatafile=" + folder.asTargetPath("database.xml") +
                                              "\nNewEntryFolder=0\n");
    for (int run = 0; run < 2; ++run) {  // the folders made, then a fresh start
        PanelSession panel(target, folder);
        panel.send("ls");
        panel.answerPasswordDialog({"pw"});
        panel.sync();
        if (run == 0) {
            std::vector<std::string> made;
            for (const char* command : {"mkdir \\New", "mkdir \\Mail\\Work\\Deep", "mkdir \\New\\Inner"}) {
                std::vector<std::string> out = step(panel, command);
                made.insert(made.end(), out.begin(), out.end());
            }
            EXPECT_EQ(std::count_if(made.begin(), made.end(), [](const std::string& l) { return l == "TRUE"; }), 3)
                << joinLines(made);
        }
        EXPECT_EQ(listed(panel, "\\Mail"), (std::vector<std::string>{"Work", "Gmail"})) << "run " << run;
        EXPECT_EQ(listed(panel, "\\Mail\\Work"), (std::vector<std::string>{"Boss", "Deep"})) << "run " << run;
        EXPECT_EQ(listed(panel, "\\New"), (std::vector<std::string>{"Inner"})) << "run " << run;
        std::vector<std::string> empty = listed(panel, "\\Mail\\Work\\Deep");
        EXPECT_TRUE(empty.empty()) << joinLines(empty);
        EXPECT_EQ(panel.quit(), 0);
    }
    EXPECT_EQ(pathsOnDisk(), (std::vector<std::string>{"\\A", "\\Mail", "\\Mail\\Gmail", "\\Mail\\Work",
                                                       "\\Mail\\Work\\Boss", "\\Mail\\Work\\Deep", "\\New",
                                                       "\\New\\Inner", "\\Router"}));
    EXPECT_EQ(readIni(folder.file("keyHold.ini"))["MAIN"]["NewEntryFolder"], "0");
}

TEST_F(ChangesE2ETest, RenamesMovesAndCopiesReachTheFile) {
    {
        PanelSession panel(target, folder);
        panel.send("ls");
        panel.answerPasswordDialog({"pw"});
        panel.sync();
        std::vector<std::string> done;
        for (const char* command : {
                 "mv \\Mail\\Gmail \\Mail\\Googlemail",  // rename an entry
                 "mv \\Mail\\Work \\Mail\\Office",       // rename a folder: Boss follows
                 "mv \\Router \\A\\Router",               // move an entry
                 "mv \\Mail\\Office \\A\\Office",        // move a folder with its contents
                 "mv \\A \\A\\Office\\A",                // into itself: refused
                 "cp \\A\\Office\\Boss \\Mail\\Boss"}) {  // copy an entry
            std::vector<std::string> out = step(panel, command);
            done.insert(done.end(), out.begin(), out.end());
        }
        EXPECT_EQ(std::count_if(done.begin(), done.end(), [](const std::string& l) { return l == "FS_FILE_OK"; }), 5)
            << joinLines(done);
        EXPECT_TRUE(anyLineHas(done, "FS_FILE_USERABORT")) << joinLines(done);
        EXPECT_EQ(panel.quit(), 0);
    }
    std::vector<std::string> expected{"\\A", "\\A\\Office", "\\A\\Office\\Boss", "\\A\\Router", "\\Mail",
                                      "\\Mail\\Boss", "\\Mail\\Googlemail"};
    EXPECT_EQ(pathsOnDisk(), expected);
    TiXmlDocument d;
    d.Parse(readFile(folder.file("database.xml")).c_str());
    std::vector<std::string> ids;
    std::vector<TiXmlElement*> todo{d.RootElement()};
    while (!todo.empty()) {
        TiXmlElement* e = todo.back();
        todo.pop_back();
        for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
            if (c->ValueStr() != "folder" && c->ValueStr() != "file") continue;
            ids.push_back(c->Attribute("id"));
            todo.push_back(c);
        }
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_TRUE(std::adjacent_find(ids.begin(), ids.end()) == ids.end()) << "the copy has a number of its own";

    // A fresh start lists what the file holds.
    PanelSession again(target, folder);
    again.send("ls");
    again.answerPasswordDialog({"pw"});
    again.sync();
    EXPECT_EQ(listed(again, "\\A\\Office"), (std::vector<std::string>{"[New Entry]", "Boss"}));
    EXPECT_EQ(listed(again, "\\Mail"), (std::vector<std::string>{"[New Entry]", "Googlemail", "Boss"}));
    EXPECT_EQ(again.quit(), 0);
}

}  // namespace
