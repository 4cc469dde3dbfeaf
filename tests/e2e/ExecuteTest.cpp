// Opening nodes from the panel: locking and unlocking, the default auto-type
// window, reloading, new entries, viewing and modifying entries, an entry's
// URL handed to the shell, and the change of the master password. Fields the
// plug-in writes are read back with OpenSSL, not with the plug-in's code.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>

#include "IndependentCrypt.h"
#include "PanelSession.h"

namespace {

// Control ids of the entry dialogs and of the entry password dialog.
constexpr int kGroup = 3020, kTitle = 3027, kUserName = 3012, kUrl = 3030, kStars = 3016, kNotes = 3009,
              kModify = 3;
constexpr int kPassFirst = 3024, kPassSecond = 3025;

struct NewEntry {
    std::string group;  // empty: preset by the folder's "[New Entry]"
    std::string title, userName, url, password, notes;
};

class ExecuteE2ETest : public ::testing::Test {
protected:
    E2ETarget target = E2ETarget::fromEnvironment();
    PluginFolder folder{target};
    std::string created = "2021-06-07 08:09:10";

    void SetUp() override {
        // An encrypted entry made with OpenSSL, under the password "pw".
        auto f = [](const char* tag, const std::string& plain) {
            auto v = independent::encrypt("pw", plain);
            return "<" + std::string(tag) + " salt=\"" + v.second + "\">" + v.first + "</" + tag + ">";
        };
        auto title = independent::encrypt("pw", "Bank");
        writeFile(folder.file("database.xml"),
                  "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" +
                      independent::masterKey("pw") +
                      "\">\n<folder name=\"Mail\" id=\"2\"><folder name=\"Work\" id=\"3\">"
                      "<file name=\"Boss\" id=\"4\"><username>boss</username></file></folder></folder>\n"
                      "<folder name=\"Money\" id=\"6\"><file name=\"" + title.first + "\" salt=\"" + title.second +
                      "\" id=\"7\">" + f("username", "alice") + f("password", "s3cret") +
                      f("url", "khrecord" + target.name + "://{USERNAME}:%PASSWORD%@bank.example/in") +
                      f("notes", "line") + f("creationtime", created) + "</file></folder>\n</pswd>\n");
        settings("EnableReload=1\n");
    }
    void settings(const std::string& main, const std::string& more = "") {
        writeFile(folder.file("keyHold.ini"), "[MAIN]\ndatafile=" + folder.asTargetPath("database.xml") +
                                                  "\nNewEntryFolder=1\n" + main + "[AUTOLOCK]\nAutolock=0\n" + more);
    }
    void open(PanelSession& panel, const std::string& password = "pw") {
        panel.send("ls");
        panel.answerPasswordDialog({password});
        std::vector<std::string> shown = panel.sync();
        ASSERT_TRUE(anyLineHas(shown, "Money")) << joinLines(shown);
    }
    std::vector<std::string> listed(PanelSession& panel, const std::string& path) {
        panel.send("ls \"" + path + "\"");
        return listedNames(panel.sync());
    }
    std::vector<std::string> run(PanelSession& panel, const std::string& command) {
        panel.send(command);
        return panel.sync();
    }

    // The element with this id in the file on disk (a copy).
    std::unique_ptr<TiXmlElement> element(const std::string& id) {
        TiXmlDocument d;
        d.Parse(readFile(folder.file("database.xml")).c_str());
        std::vector<TiXmlElement*> stack{d.RootElement()};
        while (!stack.empty()) {
            TiXmlElement* e = stack.back();
            stack.pop_back();
            if (e == nullptr) continue;
            if (e->Attribute("id") && id == e->Attribute("id")) return std::make_unique<TiXmlElement>(*e);
            for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) stack.push_back(c);
        }
        return nullptr;
    }
    // The element of the entry with this title (plain or encrypted under `password`).
    std::unique_ptr<TiXmlElement> entryTitled(const std::string& title, const std::string& password = "pw") {
        TiXmlDocument d;
        d.Parse(readFile(folder.file("database.xml")).c_str());
        std::vector<TiXmlElement*> stack{d.RootElement()};
        while (!stack.empty()) {
            TiXmlElement* e = stack.back();
            stack.pop_back();
            if (e == nullptr) continue;
            if (e->ValueStr() == "file") {
                std::string name = e->Attribute("name") ? e->Attribute("name") : "";
                std::string plain;
                if (e->Attribute("salt")) independent::decrypt(password, name, e->Attribute("salt"), plain);
                if (name == title || plain == title) return std::make_unique<TiXmlElement>(*e);
            }
            for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) stack.push_back(c);
        }
        return nullptr;
    }
    static std::string text(const TiXmlElement* e, const char* tag) {
        const TiXmlElement* c = e ? e->FirstChildElement(tag) : nullptr;
        return c && c->GetText() ? c->GetText() : "";
    }
    static std::string salt(const TiXmlElement* e, const char* tag) {
        const TiXmlElement* c = e ? e->FirstChildElement(tag) : nullptr;
        return c && c->Attribute("salt") ? c->Attribute("salt") : "";
    }
    // A field decrypted with OpenSSL; "<undecryptable>" when it does not decrypt.
    static std::string plain(const TiXmlElement* e, const char* tag, const std::string& password = "pw") {
        std::string out;
        if (!independent::decrypt(password, text(e, tag), salt(e, tag), out)) return "<undecryptable>";
        return out;
    }

    // The password dialog opened from "*****": the password twice ("Encrypt" is on).
    void answerEntryPassword(PanelSession& panel, const std::string& password) {
        if (target.isWindows()) {
            for (int id : {kPassFirst, kPassSecond}) {
                panel.send("> set " + std::to_string(id));
                panel.send("> type " + std::to_string(id) + " " + password);
            }
            panel.send("> click 1");
        } else {
            panel.send("> yes");  // Encrypt
            panel.send("> no");   // Generate
            panel.send("> " + password);
            panel.send("> " + password);
        }
    }
    void answerNewEntry(PanelSession& panel, const NewEntry& e) {
        if (target.isWindows()) {
            if (!e.group.empty()) panel.send("> select " + std::to_string(kGroup) + " " + e.group);
            panel.send("> set " + std::to_string(kTitle) + " " + e.title);
            panel.send("> set " + std::to_string(kUserName) + " " + e.userName);
            panel.send("> set " + std::to_string(kUrl) + " " + e.url);
            panel.send("> set " + std::to_string(kNotes) + " " + e.notes);
            if (e.password.empty()) {
                panel.send("> click 1");
                return;
            }
            panel.send("> click " + std::to_string(kStars));
            answerEntryPassword(panel, e.password);
            panel.send("> click 1");
        } else {
            if (!e.group.empty()) panel.send("> " + e.group);
            panel.send("> " + e.title);
            panel.send("> " + e.userName);
            panel.send("> " + e.url);
            panel.send(e.password.empty() ? "> no" : "> yes");  // set a password ("*****")
            if (!e.password.empty()) answerEntryPassword(panel, e.password);
            panel.send("> " + e.notes);
            panel.send("> no");  // Expires
        }
    }
    // Closes the view dialog with OK, unchanged.
    void answerViewUnchanged(PanelSession& panel, bool encrypted) {
        if (target.isWindows()) {
            panel.send("> click 1");
        } else {
            if (encrypted) panel.send("> no");  // show the password ("*****")
            panel.send("> ok");                 // the fields
            panel.send("> no");                 // Modify
        }
    }
    // Modify: user name and notes replaced, a new password.
    void answerViewModified(PanelSession& panel, bool encrypted, const std::string& userName, const std::string& url,
                            const std::string& notes, const std::string& password) {
        if (target.isWindows()) {
            panel.send("> click " + std::to_string(kModify));
            panel.send("> set " + std::to_string(kUserName) + " " + userName);
            panel.send("> set " + std::to_string(kNotes) + " " + notes);
            if (!password.empty()) {
                panel.send("> click " + std::to_string(kStars));
                answerEntryPassword(panel, password);
            }
            panel.send("> click 1");
        } else {
            if (encrypted) panel.send("> no");  // reveal
            panel.send("> ok");                 // the fields
            panel.send("> yes");                // Modify
            panel.send("> " + userName);
            panel.send("> " + url);
            panel.send("> " + notes);
            panel.send("> no");  // Expires
            panel.send(password.empty() ? "> no" : "> yes");  // "*****"
            if (!password.empty()) answerEntryPassword(panel, password);
        }
    }
};

TEST_F(ExecuteE2ETest, LockShowsOnlyUnlockEverywhereAndUnlockOpensAgain) {
    PanelSession panel(target, folder);
    open(panel);
    EXPECT_TRUE(anyLineHas(run(panel, "open \"\\Lock Keyhold\""), "FS_EXEC_OK"));
    const std::vector<std::string> unlockOnly{"UnLock Keyhold"};
    for (const char* path : {"\\", "\\Mail", "\\Mail\\Work", "\\Money"}) EXPECT_EQ(listed(panel, path), unlockOnly) << path;
    panel.send("open \"\\UnLock Keyhold\"");
    panel.answerPasswordDialog({"pw"});
    EXPECT_TRUE(anyLineHas(panel.sync(), "FS_EXEC_OK"));
    EXPECT_EQ(listed(panel, "\\Mail\\Work"), (std::vector<std::string>{"[New Entry]", "Boss"}));
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(ExecuteE2ETest, DefaultAutoTypeWindowSwitchesBothWays) {
    PanelSession panel(target, folder);
    open(panel);
    run(panel, "open \"\\Default Auto Type Window is OFF\"");
    std::vector<std::string> top = listed(panel, "\\");
    ASSERT_FALSE(top.empty());
    EXPECT_EQ(top.back(), "Default Auto Type Window is ON");
    EXPECT_EQ(std::count(top.begin(), top.end(), "Default Auto Type Window is OFF"), 0);
    EXPECT_EQ(readIni(folder.file("keyHold.ini"))["AUTOTYPE"]["DefaultATW"], "1");
    run(panel, "open \"\\Default Auto Type Window is ON\"");
    top = listed(panel, "\\");
    EXPECT_EQ(top.back(), "Default Auto Type Window is OFF");
    EXPECT_EQ(std::count(top.begin(), top.end(), "Default Auto Type Window is ON"), 0);
    EXPECT_EQ(readIni(folder.file("keyHold.ini"))["AUTOTYPE"]["DefaultATW"], "0");
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(ExecuteE2ETest, NewEntriesGoWhereChosenAndClashingTitlesAreRefused) {
    PanelSession panel(target, folder);
    open(panel);
    panel.send("open \"\\New Entry\"");
    answerNewEntry(panel, {"\\Mail", "Printer", "admin", "http://printer", "t0ner", "Auto-Type:{USERNAME}"});
    std::vector<std::string> out = panel.sync();
    EXPECT_TRUE(anyLineHas(out, "FS_EXEC_OK")) << joinLines(out);
    EXPECT_EQ(listed(panel, "\\Mail"), (std::vector<std::string>{"[New Entry]", "Work", "Printer"}));
    std::unique_ptr<TiXmlElement> printer = entryTitled("Printer");
    ASSERT_NE(printer, nullptr) << readFile(folder.file("database.xml"));
    EXPECT_EQ(plain(printer.get(), "username"), "admin");
    EXPECT_EQ(plain(printer.get(), "password"), "t0ner");
    EXPECT_EQ(plain(printer.get(), "url"), "http://printer");
    EXPECT_EQ(plain(printer.get(), "notes"), "Auto-Type:{USERNAME}");
    std::set<std::string> salts;
    for (const char* tag : {"username", "password", "url", "notes"}) salts.insert(salt(printer.get(), tag));
    EXPECT_EQ(salts.size(), 4u) << "each field has a salt of its own";

    // From the folder's own "[New Entry]": the group is that folder.
    panel.send("open \"\\Mail\\Work\\[New Entry]\"");
    answerNewEntry(panel, {"", "Fax", "f", "", "", ""});
    EXPECT_TRUE(anyLineHas(panel.sync(), "FS_EXEC_OK"));
    EXPECT_EQ(listed(panel, "\\Mail\\Work"), (std::vector<std::string>{"[New Entry]", "Boss", "Fax"}));
    std::unique_ptr<TiXmlElement> fax = entryTitled("Fax");
    ASSERT_NE(fax, nullptr);
    EXPECT_EQ(text(fax.get(), "username"), "f");  // no password given: not encrypted

    // A title that differs from one in the folder only in letter case.
    std::string before = readFile(folder.file("database.xml"));
    panel.send("open \"\\Mail\\Work\\[New Entry]\"");
    answerNewEntry(panel, {"", "BOSS", "x", "", "", ""});
    panel.answerMessage();
    out = panel.sync();
    EXPECT_TRUE(anyLineHas(out, "Entry with the same name already exists!!")) << joinLines(out);
    EXPECT_TRUE(anyLineHas(out, "FS_EXEC_ERROR")) << joinLines(out);
    EXPECT_EQ(readFile(folder.file("database.xml")), before);
    EXPECT_EQ(panel.quit(), 0);

    // A fresh start lists what the panel showed.
    PanelSession again(target, folder);
    open(again);
    EXPECT_EQ(listed(again, "\\Mail\\Work"), (std::vector<std::string>{"[New Entry]", "Boss", "Fax"}));
    EXPECT_EQ(again.quit(), 0);
}

TEST_F(ExecuteE2ETest, ModifiedEntryIsStoredUnderNewSaltsWithItsTimes) {
    std::unique_ptr<TiXmlElement> before = element("7");
    PanelSession panel(target, folder);
    open(panel);
    panel.send("open \"\\Money\\Bank\"");
    answerViewModified(panel, true, "bob", plain(before.get(), "url"), "new notes", "n3w");
    std::vector<std::string> out = panel.sync();
    EXPECT_TRUE(anyLineHas(out, "FS_EXEC_OK")) << joinLines(out);
    std::unique_ptr<TiXmlElement> after = element("7");
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(plain(after.get(), "username"), "bob");
    EXPECT_EQ(plain(after.get(), "password"), "n3w");
    EXPECT_EQ(plain(after.get(), "notes"), "new notes");
    EXPECT_EQ(plain(after.get(), "url"), plain(before.get(), "url"));
    for (const char* tag : {"username", "password", "notes"}) {
        EXPECT_NE(salt(after.get(), tag), salt(before.get(), tag)) << tag;
    }
    EXPECT_EQ(plain(after.get(), "creationtime"), created);
    EXPECT_NE(plain(after.get(), "lastmodtime"), "<undecryptable>");
    std::string title;
    ASSERT_TRUE(independent::decrypt("pw", after->Attribute("name"), after->Attribute("salt"), title));
    EXPECT_EQ(title, "Bank");
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(ExecuteE2ETest, OpenAndCloseWithoutModifyingChangesOnlyTheAccessTime) {
    std::unique_ptr<TiXmlElement> before = element("7");
    PanelSession panel(target, folder);
    open(panel);
    panel.send("open \"\\Money\\Bank\"");
    answerViewUnchanged(panel, true);
    EXPECT_TRUE(anyLineHas(panel.sync(), "FS_EXEC_OK"));
    std::unique_ptr<TiXmlElement> after = element("7");
    ASSERT_NE(after, nullptr);
    for (const char* tag : {"username", "password", "url", "notes", "creationtime"}) {
        EXPECT_EQ(text(after.get(), tag), text(before.get(), tag)) << tag;
        EXPECT_EQ(salt(after.get(), tag), salt(before.get(), tag)) << tag;
    }
    EXPECT_EQ(std::string(after->Attribute("name")), before->Attribute("name"));
    EXPECT_FALSE(text(after.get(), "lastaccesstime").empty());
    EXPECT_NE(plain(after.get(), "lastaccesstime"), "<undecryptable>");
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(ExecuteE2ETest, ReloadedStoreIsChangedUnderTheEntrysOwnId) {
    PanelSession panel(target, folder);
    open(panel);
    EXPECT_TRUE(anyLineHas(run(panel, "open \"\\Reload Database\""), "FS_EXEC_OK"));
    // Meanwhile the file gets an entry in front of the others.
    std::string xml = readFile(folder.file("database.xml"));
    xml.insert(xml.find("<folder name=\"Mail\""), "<file name=\"Early\" id=\"9\"><username>e</username></file>\n");
    writeFile(folder.file("database.xml"), xml);
    open(panel);
    std::vector<std::string> top = listed(panel, "\\");
    EXPECT_EQ(std::count(top.begin(), top.end(), "Mail"), 1);
    EXPECT_EQ(std::count(top.begin(), top.end(), "Early"), 1);
    panel.send("open \"\\Mail\\Work\\Boss\"");
    answerViewModified(panel, false, "chief", "", "n", "");
    std::vector<std::string> out = panel.sync();
    EXPECT_TRUE(anyLineHas(out, "FS_EXEC_OK")) << joinLines(out);
    std::unique_ptr<TiXmlElement> boss = element("4");
    ASSERT_NE(boss, nullptr);
    EXPECT_STREQ(boss->Attribute("name"), "Boss");
    EXPECT_EQ(text(boss.get(), "username"), "chief");
    EXPECT_EQ(text(element("9").get(), "username"), "e");
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(ExecuteE2ETest, MasterPasswordChangeReEncryptsTheStore) {
    PanelSession panel(target, folder);
    open(panel);
    panel.send("props \"\\\"");
    panel.answerPasswordDialog({"n3w", "n3w"});
    EXPECT_TRUE(anyLineHas(panel.sync(), "FS_EXEC_OK"));
    EXPECT_EQ(panel.quit(), 0);
    std::unique_ptr<TiXmlElement> root = element("1");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(std::string(root->Attribute("masterkey")), independent::masterKey("n3w"));
    std::unique_ptr<TiXmlElement> bank = element("7");
    EXPECT_EQ(plain(bank.get(), "username", "n3w"), "alice");
    EXPECT_EQ(plain(bank.get(), "password", "n3w"), "s3cret");
    EXPECT_EQ(plain(bank.get(), "creationtime", "n3w"), created);
    EXPECT_NE(plain(bank.get(), "username", "pw"), "alice");

    // The old password no longer opens it; the new one does.
    PanelSession again(target, folder);
    again.send("ls");
    again.answerPasswordDialog({"pw"});
    again.cancel();
    std::vector<std::string> refused = again.sync();
    EXPECT_FALSE(anyLineHas(refused, "Money")) << joinLines(refused);
    open(again, "n3w");
    EXPECT_EQ(listed(again, "\\Money"), (std::vector<std::string>{"[New Entry]", "Bank"}));
    EXPECT_EQ(again.quit(), 0);
}

// The URL goes to a recording program instead of a browser: on Linux an
// "xdg-open" first on the PATH, under wine the handler of a URL scheme of
// the test's own.
TEST_F(ExecuteE2ETest, PropertiesHandTheFilledInUrlToTheShell) {
    std::string record = folder.file("opened.txt");
    if (target.isWindows()) {
        std::string dir = target.panel.substr(0, target.panel.rfind("/host/"));
        std::string recorder = dir + "/tests/win32/args-recorder.exe";
        auto windowsPath = [](const std::string& p) {
            std::string w = "Z:" + p;
            for (char& c : w)
                if (c == '/') c = '\\';
            return w;
        };
        // The machine's classes: wine looks up URL schemes there.
        std::string key = "HKLM\\Software\\Classes\\khrecord" + target.name;
        std::string command = "\"" + windowsPath(recorder) + "\" \"" + windowsPath(record) + "\" \"%1\"";
        auto reg = [&](const std::string& args) {
            std::string line = "'" + target.wine + "' reg add " + args + " /f >/dev/null 2>&1";
            ASSERT_EQ(std::system(line.c_str()), 0) << line;
        };
        reg("'" + key + "' /ve /d 'URL:khrecord'");
        reg("'" + key + "' /v 'URL Protocol' /d ''");
        reg("'" + key + "\\shell\\open\\command' /ve /d '" + command + "'");
    } else {
        std::string bin = folder.file("bin");
        mkdir(bin.c_str(), 0700);
        writeFile(bin + "/xdg-open", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record + "'\n");
        chmod((bin + "/xdg-open").c_str(), 0700);
        setenv("PATH", (bin + ":" + std::getenv("PATH")).c_str(), 1);
    }
    PanelSession panel(target, folder);
    open(panel);
    EXPECT_TRUE(anyLineHas(run(panel, "props \"\\Money\\Bank\""), "FS_EXEC_OK"));
    std::string want = "khrecord" + target.name + "://alice:s3cret@bank.example/in";
    std::string got;
    // The recorder runs on its own; give it a while.
    for (int i = 0; i < 200 && (!fileExists(record) || (got = readFile(record)).empty()); ++i) usleep(50000);
    while (!got.empty() && (got.back() == '\n' || got.back() == '\r')) got.pop_back();
    EXPECT_EQ(got, want);
    EXPECT_EQ(panel.quit(), 0);
    // The filled-in address is nowhere in the plug-in's log.
    for (const std::string& name : folderEntries(folder.path())) {
        if (name.size() > 4 && name.substr(name.size() - 4) == ".log") {
            EXPECT_EQ(readFile(folder.file(name)).find("s3cret"), std::string::npos) << name;
        }
    }
}

// On Linux the entry dialogs are the host's requests. A field far longer
// than any fixed buffer and notes of several lines (a script gives them as
// "+" continuation lines) reach the store whole, in a new entry and when
// modified.
TEST_F(ExecuteE2ETest, LongFieldsAndNotesWithLineBreaksReachTheStoreWhole) {
    if (target.isWindows()) GTEST_SKIP() << "the entry dialogs are windows there";
    std::string userName;
    // Well beyond any fixed buffer, and within what the pipes to the host hold
    // while the test writes its lines.
    for (int i = 0; userName.size() < 20000; ++i) userName += "name" + std::to_string(i) + "-";
    PanelSession panel(target, folder);
    open(panel);
    panel.send("open \"\\Money\\[New Entry]\"");
    panel.send("> Long one");
    panel.send("> " + userName);
    panel.send("> https://example.org/");
    panel.send("> yes");  // set a password ("*****")
    answerEntryPassword(panel, "pw");
    panel.send("> first line of the notes");
    panel.send("+ second line");
    panel.send("+");
    panel.send("+ after an empty line");
    panel.send("> no");  // Expires
    std::vector<std::string> out = panel.sync();
    EXPECT_TRUE(anyLineHas(out, "FS_EXEC_OK")) << joinLines(out).substr(0, 3000);
    // Every yes/no question says what it asks; none is a button's "*****".
    for (const char* question : {"RT_MsgYesNo title=\"New Entry\" text=\"Set a password for this entry?\"",
                                 "RT_MsgYesNo title=\"New Entry\" text=\"Does this entry expire?\"",
                                 "text=\"Encrypt this entry?\"", "text=\"Generate a password?\""}) {
        EXPECT_TRUE(anyLineHas(out, question)) << question;
    }
    EXPECT_FALSE(anyLineHas(out, "text=\"*****\"")) << joinLines(out).substr(0, 3000);
    std::unique_ptr<TiXmlElement> entry = entryTitled("Long one");
    ASSERT_NE(entry, nullptr);
    const std::string stored = plain(entry.get(), "username");
    EXPECT_EQ(stored.size(), userName.size());
    EXPECT_TRUE(stored == userName);
    EXPECT_EQ(plain(entry.get(), "notes"), "first line of the notes\r\nsecond line\r\n\r\nafter an empty line");

    panel.send("open \"\\Money\\Long one\"");
    panel.send("> no");   // reveal ("*****")
    panel.send("> ok");   // the fields
    panel.send("> yes");  // Modify
    panel.send("> " + userName + "+changed");
    panel.send("> https://example.org/");
    panel.send("> one line");
    panel.send("+ and another");
    panel.send("> no");  // Expires
    panel.send("> no");  // change the password ("*****")
    out = panel.sync();
    EXPECT_TRUE(anyLineHas(out, "FS_EXEC_OK")) << joinLines(out).substr(0, 3000);
    for (const char* question : {"text=\"Show the password?\"", "text=\"Modify this entry?\"",
                                 "text=\"Does this entry expire?\"", "text=\"Change the password?\""}) {
        EXPECT_TRUE(anyLineHas(out, question)) << question;
    }
    EXPECT_FALSE(anyLineHas(out, "text=\"*****\""));
    EXPECT_EQ(panel.quit(), 0);
    entry = entryTitled("Long one");
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(plain(entry.get(), "username") == userName + "+changed") << plain(entry.get(), "username").size();
    EXPECT_EQ(plain(entry.get(), "notes"), "one line\r\nand another");
    EXPECT_EQ(plain(entry.get(), "password"), "pw");
}

// The diagnostic log names entries by number: after an encrypted entry was
// listed, opened, renamed and deleted, neither its title (old or new) nor
// any of its fields is in the log.
TEST_F(ExecuteE2ETest, LogHoldsNoTitleOfAnEncryptedEntryAndNoField) {
    settings("DebugLogging=1\nLogFormat=single\n");
    {
        PanelSession panel(target, folder);
        open(panel);
        EXPECT_EQ(listed(panel, "\\Money"), (std::vector<std::string>{"[New Entry]", "Bank"}));
        panel.send("open \"\\Money\\Bank\"");
        answerViewUnchanged(panel, true);
        EXPECT_TRUE(anyLineHas(panel.sync(), "FS_EXEC_OK"));
        EXPECT_TRUE(anyLineHas(run(panel, "mv \"\\Money\\Bank\" \"\\Money\\Vault Renamed\""), "FS_FILE_OK"));
        EXPECT_EQ(listed(panel, "\\Money"), (std::vector<std::string>{"[New Entry]", "Vault Renamed"}));
        EXPECT_TRUE(anyLineHas(run(panel, "rm \"\\Money\\Vault Renamed\""), "TRUE"));
        EXPECT_EQ(listed(panel, "\\Money"), (std::vector<std::string>{"[New Entry]"}));
        EXPECT_EQ(panel.quit(), 0);
    }
    std::string log;
    for (const std::string& name : folderEntries(folder.file("Keyhold")))
        log += readFile(folder.file("Keyhold") + "/" + name);
    ASSERT_NE(log.find("FsRenMovFile("), std::string::npos) << "the operations were logged";
    ASSERT_NE(log.find("FsExecuteFile("), std::string::npos);
    for (const std::string& secret :
         {std::string("Bank"), std::string("Vault Renamed"), std::string("Vault"), std::string("alice"),
          std::string("s3cret"), std::string("bank.example"), created}) {
        std::string::size_type at = log.find(secret);
        EXPECT_EQ(at, std::string::npos)
            << "\"" << secret << "\" in the log: "
            << log.substr(log.rfind('\n', at) == std::string::npos ? 0 : log.rfind('\n', at), 300);
    }
}

}  // namespace
