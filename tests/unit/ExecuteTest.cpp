// Opening nodes of the panel: command nodes, entries in their dialogs, an
// entry's web address and the change of the master password.
#include "Execute.h"

#include "StoreFixture.h"
#include "platform/Shell_memory.h"

namespace {

// Dialog and control ids as the user meets them.
constexpr int kGroup = 3020, kTitle = 3027, kUserName = 3012, kUrl = 3030, kStars = 3016, kNotes = 3009,
              kModify = 3;
constexpr int kPassFirst = 3024, kPassSecond = 3025, kEncrypt = 3022;

class ExecuteTest : public StoreFixture {
protected:
    platform::MemoryShell shell;

    void SetUp() override {
        StoreFixture::SetUp();
        platform::services().shell = &shell;
    }

    void open(const std::string& settingsText = "[MAIN]\nNewEntryFolder=1\nEnableReload=1\n") {
        auto url = encryptedUnder("pw", "https://bank.example/login?u={USERNAME}&p=%PASSWORD%");
        auto user = encryptedUnder("pw", "alice");
        auto pass = encryptedUnder("pw", "s3cret");
        auto title = encryptedUnder("pw", "Bank");
        auto created = encryptedUnder("pw", "2020-01-02 03:04:05");
        auto field = [](const char* tag, const std::pair<std::string, std::string>& v) {
            return "<" + std::string(tag) + " salt=\"" + v.second + "\">" + v.first + "</" + tag + ">";
        };
        files.content[store] =
            "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
            "\"><folder name=\"Mail\" id=\"2\"><folder name=\"Work\" id=\"3\">"
            "<file name=\"Boss\" id=\"4\"><username>boss</username><password>x</password></file></folder>"
            "<file name=\"Gmail\" id=\"5\"><url>C:\\Tools\\mail.exe -u {USERNAME}</url></file></folder>"
            "<folder name=\"Money\" id=\"6\"><file name=\"" + title.first + "\" salt=\"" + title.second +
            "\" id=\"7\">" + field("url", url) + field("username", user) + field("password", pass) +
            field("creationtime", created) + "</file></folder></pswd>";
        start(settingsText);
        willType("pw");
        list("\\");
    }
    TiXmlElement* element(const std::string& id) {
        static TiXmlDocument d;
        d = parsedStore();
        std::vector<TiXmlElement*> stack{d.RootElement()};
        while (!stack.empty()) {
            TiXmlElement* e = stack.back();
            stack.pop_back();
            if (e == nullptr) continue;
            if (e->Attribute("id") && id == e->Attribute("id")) return e;
            for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) stack.push_back(c);
        }
        return nullptr;
    }
    std::string attribute(const std::string& id, const char* name) {
        TiXmlElement* e = element(id);
        const char* v = e ? e->Attribute(name) : nullptr;
        return v ? v : "";
    }
    // The text and the salt of a field of an entry's element.
    std::string text(const std::string& id, const char* tag) {
        TiXmlElement* e = element(id);
        TiXmlElement* c = e ? e->FirstChildElement(tag) : nullptr;
        return c && c->GetText() ? c->GetText() : "";
    }
    std::string salt(const std::string& id, const char* tag) {
        TiXmlElement* e = element(id);
        TiXmlElement* c = e ? e->FirstChildElement(tag) : nullptr;
        return c && c->Attribute("salt") ? c->Attribute("salt") : "";
    }
    // A field of an entry decrypted under a password.
    std::string decrypted(const std::string& id, const char* tag, const std::string& password) {
        CSecureString p;
        p.setText(password.c_str());
        std::string plain;
        security::decryptWith(p, text(id, tag), salt(id, tag), plain);
        return plain;
    }
    void willCreate(const std::string& group, const std::string& title, const std::string& user = "") {
        dialogs.users.push_back([=](platform::MemoryDialogControls& c) {
            if (!group.empty()) c.select(kGroup, group);
            c.type(kTitle, title);
            c.type(kUserName, user);
            c.click(1);
        });
    }
};

TEST_F(ExecuteTest, OtherVerbsDoNothing) {
    open();
    std::string before = files.content[store];
    EXPECT_EQ(ExecuteFile("\\Money\\Bank", "print"), wfx::FS_EXEC_OK);
    EXPECT_EQ(ExecuteFile("\\Money\\Bank", nullptr), wfx::FS_EXEC_OK);
    EXPECT_EQ(files.content[store], before);
    EXPECT_EQ(dialogs.opened.size(), 1u);  // the password dialog of the first listing
    EXPECT_TRUE(shell.calls.empty());
}

TEST_F(ExecuteTest, LockAndUnlockNodes) {
    open();
    EXPECT_EQ(ExecuteFile("\\Lock Keyhold", "open"), wfx::FS_EXEC_OK);
    EXPECT_EQ(list("\\"), std::vector<std::string>{"UnLock Keyhold"});
    EXPECT_EQ(list("\\Mail"), std::vector<std::string>{"UnLock Keyhold"});
    // Anything opened while locked asks for the master password.
    willCancel();
    EXPECT_EQ(ExecuteFile("\\Money\\Bank", "open"), wfx::FS_EXEC_OK);
    EXPECT_EQ(list("\\"), std::vector<std::string>{"UnLock Keyhold"});
    willType("wrong");
    EXPECT_EQ(ExecuteFile("\\UnLock Keyhold", "open"), wfx::FS_EXEC_OK);
    EXPECT_EQ(list("\\"), std::vector<std::string>{"UnLock Keyhold"});
    willType("pw");
    EXPECT_EQ(ExecuteFile("\\UnLock Keyhold", "open"), wfx::FS_EXEC_OK);
    EXPECT_EQ(list("\\").size(), 6u);
    // Properties of the root while locked.
    ExecuteFile("\\Lock Keyhold", "open");
    messageBoxes.shown.clear();
    EXPECT_EQ(ExecuteFile("\\", "properties"), wfx::FS_EXEC_OK);
    EXPECT_EQ(shownMessages(), std::vector<std::string>{"Unlock Keyhold first!"});
}

TEST_F(ExecuteTest, AutoTypeWindowToggleMovesTheNodeAndWritesTheSetting) {
    open();
    ASSERT_FALSE(theApp().m_options.autoTypeWindow);
    EXPECT_EQ(ExecuteFile("\\Default Auto Type Window is OFF", "open"), wfx::FS_EXEC_OK);
    std::vector<std::string> top = list("\\");
    EXPECT_EQ(top.back(), "Default Auto Type Window is ON");
    EXPECT_EQ(std::count(top.begin(), top.end(), "Default Auto Type Window is OFF"), 0);
    EXPECT_TRUE(theApp().m_options.autoTypeWindow);
    EXPECT_NE(files.content[ini].find("DefaultATW = 1"), std::string::npos) << files.content[ini];
    EXPECT_EQ(ExecuteFile("\\Default Auto Type Window is ON", "open"), wfx::FS_EXEC_OK);
    top = list("\\");
    EXPECT_EQ(top.back(), "Default Auto Type Window is OFF");
    EXPECT_EQ(std::count(top.begin(), top.end(), "Default Auto Type Window is ON"), 0);
    EXPECT_FALSE(theApp().m_options.autoTypeWindow);
    EXPECT_NE(files.content[ini].find("DefaultATW = 0"), std::string::npos) << files.content[ini];
}

TEST_F(ExecuteTest, UrlIsFilledInAndHandedToTheShell) {
    open();
    EXPECT_EQ(ExecuteFile("\\Money\\Bank", "properties"), wfx::FS_EXEC_OK);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].file, "https://bank.example/login?u=alice&p=s3cret");
    EXPECT_EQ(shell.calls[0].verb, "");
    EXPECT_EQ(shell.calls[0].parameters, "");
    EXPECT_EQ(shell.calls[0].show, platform::kShowNormal);
    // An entry without a URL, and a folder: nothing to open.
    EXPECT_EQ(ExecuteFile("\\Mail\\Work\\Boss", "properties"), wfx::FS_EXEC_OK);
    EXPECT_EQ(ExecuteFile("\\Mail", "properties"), wfx::FS_EXEC_OK);
    EXPECT_EQ(shell.calls.size(), 1u);
}

TEST_F(ExecuteTest, ProgramNotFoundAsAWholeIsStartedWithItsArguments) {
    open();
    shell.results = {platform::kShellFileNotFound, platform::kShellStarted};
    EXPECT_EQ(ExecuteFile("\\Mail\\Gmail", "properties"), wfx::FS_EXEC_OK);
    ASSERT_EQ(shell.calls.size(), 2u);
    EXPECT_EQ(shell.calls[0].file, "C:\\Tools\\mail.exe -u ");
    // The second attempt takes the stored text, cut after the last backslash.
    EXPECT_EQ(shell.calls[1].verb, "open");
    EXPECT_EQ(shell.calls[1].file, "C:\\Tools\\mail.exe");
    EXPECT_EQ(shell.calls[1].parameters, "-u {USERNAME}");
    EXPECT_EQ(shell.calls[1].show, platform::kShow);
}

TEST(SplitCommandLineTest, CutsAtTheFirstBlankAfterTheLastBackslash) {
    struct Case {
        const char* text;
        const char* command;
        const char* parameters;
    } cases[] = {
        {"C:\\Program Files\\App\\app.exe -a -b", "C:\\Program Files\\App\\app.exe", "-a -b"},
        {"C:\\Tools\\tool.exe", "C:\\Tools\\tool.exe", ""},
        {"notepad readme.txt", "notepad", "readme.txt"},
        {"notepad", "notepad", ""},
        {"", "", ""},
        {"C:\\dir with blank\\", "C:\\dir with blank\\", ""},
    };
    for (const Case& c : cases) {
        std::string command = "x", parameters = "y";
        SplitCommandLine(c.text, command, parameters);
        EXPECT_EQ(command, c.command) << c.text;
        EXPECT_EQ(parameters, c.parameters) << c.text;
    }
}

TEST_F(ExecuteTest, NewEntryGoesIntoTheChosenFolder) {
    open();
    willCreate("\\Mail\\Work", "Printer", "admin");
    EXPECT_EQ(ExecuteFile("\\New Entry", "open"), wfx::FS_EXEC_OK);
    EXPECT_EQ(list("\\Mail\\Work"), (std::vector<std::string>{"[New Entry]", "Boss", "Printer"}));
    TiXmlElement* work = element("3");
    ASSERT_NE(work, nullptr);
    TiXmlElement* last = work->LastChild() ? work->LastChild()->ToElement() : nullptr;
    ASSERT_NE(last, nullptr);
    EXPECT_STREQ(last->Attribute("name"), "Printer");
    ASSERT_NE(last->FirstChildElement("username"), nullptr);
    EXPECT_STREQ(last->FirstChildElement("username")->GetText(), "admin");
    // A fresh start finds it too.
    xmlData().resetInitialized();
    willType("pw");
    EXPECT_EQ(list("\\Mail\\Work"), (std::vector<std::string>{"[New Entry]", "Boss", "Printer"}));
}

// A new entry that cannot be written is taken out again, and the user hears
// why once: the store says it, and nothing says it a second time.
TEST_F(ExecuteTest, NewEntryThatCannotBeSavedIsToldOnce) {
    open();
    std::string before = files.content[store];
    files.failWrites = true;
    willCreate("\\Mail\\Work", "Printer", "admin");
    EXPECT_EQ(ExecuteFile("\\New Entry", "open"), wfx::FS_EXEC_ERROR);
    std::vector<std::string> shown = shownMessages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("could not save"), std::string::npos) << shown[0];
    EXPECT_EQ(files.content[store], before);
    files.failWrites = false;
    EXPECT_EQ(list("\\Mail\\Work"), (std::vector<std::string>{"[New Entry]", "Boss"}));
}

TEST_F(ExecuteTest, NewEntryOfAFolderHasItsGroupPreset) {
    open();
    std::vector<std::string> offered;
    dialogs.users.push_back([&](platform::MemoryDialogControls& c) {
        offered = c.control(kGroup).items;
        c.type(kTitle, "Fax");
        c.click(1);
    });
    EXPECT_EQ(ExecuteFile("\\Mail\\Work\\[New Entry]", "open"), wfx::FS_EXEC_OK);
    EXPECT_EQ(offered, std::vector<std::string>{"\\Mail\\Work"});
    EXPECT_EQ(list("\\Mail\\Work"), (std::vector<std::string>{"[New Entry]", "Boss", "Fax"}));
}

TEST_F(ExecuteTest, NewEntryWhoseTitleClashesInAnyCaseIsRefused) {
    open();
    std::string before = files.content[store];
    willCreate("", "BOSS");
    EXPECT_EQ(ExecuteFile("\\Mail\\Work\\[New Entry]", "open"), wfx::FS_EXEC_ERROR);
    EXPECT_EQ(shownMessages(), std::vector<std::string>{"Entry with the same name already exists!!"});
    EXPECT_EQ(files.content[store], before);
    EXPECT_EQ(list("\\Mail\\Work"), (std::vector<std::string>{"[New Entry]", "Boss"}));
    // Cancel adds nothing either.
    willCancel();
    EXPECT_EQ(ExecuteFile("\\New Entry", "open"), wfx::FS_EXEC_OK);
    EXPECT_EQ(files.content[store], before);
}

TEST_F(ExecuteTest, OpeningWithoutModifyingWritesOnlyTheAccessTime) {
    open();
    std::string created = decrypted("7", "creationtime", "pw");
    std::string user = text("7", "username");
    std::string accessed = text("7", "lastaccesstime");
    clock.now += 400ULL * 24 * 3600 * 10000000ULL;
    dialogs.users.push_back([](platform::MemoryDialogControls& c) { c.click(1); });
    EXPECT_EQ(ExecuteFile("\\Money\\Bank", "open"), wfx::FS_EXEC_OK);
    EXPECT_EQ(text("7", "username"), user);
    EXPECT_EQ(decrypted("7", "creationtime", "pw"), created);
    EXPECT_NE(text("7", "lastaccesstime"), accessed);
    EXPECT_FALSE(salt("7", "lastaccesstime").empty());
    EXPECT_FALSE(decrypted("7", "lastaccesstime", "pw").empty());
}

TEST_F(ExecuteTest, ModifiedEntryIsStoredUnderFreshSaltsAndKeepsItsTimes) {
    open();
    std::string created = decrypted("7", "creationtime", "pw");
    std::string oldUserSalt = salt("7", "username");
    dialogs.users.push_back([](platform::MemoryDialogControls& c) {
        c.click(kModify);
        c.replace(kUserName, "bob");
        c.type(kNotes, "Auto-Type-Window:*Bank*");
        c.click(kStars);  // the password dialog, next
        c.click(1);
    });
    dialogs.users.push_back([](platform::MemoryDialogControls& c) {
        c.replace(kPassFirst, "n3w");
        if (c.isVisible(kPassSecond)) c.replace(kPassSecond, "n3w");
        c.click(1);
    });
    EXPECT_EQ(ExecuteFile("\\Money\\Bank", "open"), wfx::FS_EXEC_OK);
    EXPECT_EQ(decrypted("7", "username", "pw"), "bob");
    EXPECT_NE(salt("7", "username"), oldUserSalt);
    EXPECT_EQ(decrypted("7", "password", "pw"), "n3w");
    EXPECT_EQ(decrypted("7", "notes", "pw"), "Auto-Type-Window:*Bank*");
    EXPECT_EQ(decrypted("7", "creationtime", "pw"), created);
    EXPECT_EQ(attribute("7", "id"), "7");
    // The fresh node reads back with the same title and the same creation time.
    xmlData().resetInitialized();
    willType("pw");
    EXPECT_EQ(list("\\Money"), (std::vector<std::string>{"[New Entry]", "Bank"}));
}

TEST_F(ExecuteTest, ReloadThenChangeHitsTheEntryUnderItsOwnId) {
    open();
    EXPECT_EQ(ExecuteFile("\\Reload Database", "open"), wfx::FS_EXEC_OK);
    // The file is edited meanwhile: an entry comes in before the others.
    std::string& xml = files.content[store];
    xml.replace(xml.find("<folder name=\"Mail\""), 0,
                 "<file name=\"Early\" id=\"9\"><username>e</username></file>");
    willType("pw");
    EXPECT_EQ(list("\\"), (std::vector<std::string>{"New Entry", "Lock Keyhold", "Default Auto Type Window is OFF",
                                                     "Reload Database", "Early", "Mail", "Money"}));
    EXPECT_EQ(list("\\Mail\\Work"), (std::vector<std::string>{"[New Entry]", "Boss"}));
    dialogs.users.push_back([](platform::MemoryDialogControls& c) {
        c.click(kModify);
        c.replace(kUserName, "chief");
        c.click(1);
    });
    EXPECT_EQ(ExecuteFile("\\Mail\\Work\\Boss", "open"), wfx::FS_EXEC_OK);
    EXPECT_EQ(text("4", "username"), "chief");
    EXPECT_EQ(attribute("4", "name"), "Boss");
    EXPECT_EQ(text("9", "username"), "e");
}

TEST_F(ExecuteTest, MasterPasswordChangeReEncryptsEverything) {
    open();
    willType("n3w", "n3w");
    EXPECT_EQ(ExecuteFile("\\", "properties"), wfx::FS_EXEC_OK);
    EXPECT_EQ(attribute("1", "masterkey"), hashOf("n3w"));
    EXPECT_EQ(decrypted("7", "username", "n3w"), "alice");
    EXPECT_EQ(decrypted("7", "url", "n3w"), "https://bank.example/login?u={USERNAME}&p=%PASSWORD%");
    EXPECT_NE(decrypted("7", "username", "pw"), "alice");
    // Cancelled: nothing changes.
    std::string before = files.content[store];
    willCancel();
    EXPECT_EQ(ExecuteFile("\\", "properties"), wfx::FS_EXEC_ERROR);
    EXPECT_EQ(files.content[store], before);
}

TEST_F(ExecuteTest, MasterPasswordChangeAfterReloadKnowsThePreviousPassword) {
    open();
    ExecuteFile("\\Reload Database", "open");
    // The store is opened again first (its password), then the new one twice.
    willType("pw");
    willType("n3w", "n3w");
    EXPECT_EQ(ExecuteFile("\\", "properties"), wfx::FS_EXEC_OK);
    EXPECT_EQ(attribute("1", "masterkey"), hashOf("n3w"));
    EXPECT_EQ(decrypted("7", "username", "n3w"), "alice");
    EXPECT_EQ(decrypted("7", "password", "n3w"), "s3cret");
}

TEST_F(ExecuteTest, MasterPasswordChangeStopsAtAFieldThatDoesNotDecrypt) {
    open();
    // A field encrypted under another password: re-encrypting it would store garbage.
    auto foreign = encryptedUnder("other", "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz");
    std::string& xml = files.content[store];
    std::size_t at = xml.find("id=\"7\">") + 8;
    xml.replace(at, 0, "<notes salt=\"" + foreign.second + "\">" + foreign.first + "</notes>");
    xmlData().resetInitialized();
    willType("pw");
    list("\\");
    std::string before = files.content[store];
    willType("n3w", "n3w");
    EXPECT_EQ(ExecuteFile("\\", "properties"), wfx::FS_EXEC_ERROR);
    EXPECT_EQ(files.content[store], before);
    EXPECT_TRUE(xmlData().checkMasterKey(theApp().m_masterPassword));
    CPlainCopy master(theApp().m_masterPassword);
    EXPECT_STREQ(master.c_str(), "pw");
}

TEST_F(ExecuteTest, PathThatIsGoneOpensNothing) {
    open();
    std::size_t shown = dialogs.opened.size();
    EXPECT_EQ(ExecuteFile("\\Mail\\Gone", "open"), wfx::FS_EXEC_ERROR);
    EXPECT_EQ(ExecuteFile("\\Mail\\Work\\Boss\\Deeper", "open"), wfx::FS_EXEC_ERROR);
    EXPECT_EQ(dialogs.opened.size(), shown);
}

}  // namespace

namespace {

// Odd but valid input: the entry is stored and the store still loads.
TEST_F(ExecuteTest, OddFieldsAreStoredAndTheStoreStillLoads) {
    open();
    struct Case {
        std::string title, userName, notes;
    } cases[] = {
        {"<a & \"b\" 'c'>", "]]><x/>", "&amp; &#0; <!-- -->"},
        {std::string(259, 't'), "", ""},
        {"Big", "u", std::string(1 << 20, 'n') + "\r\nAuto-Type:{USERNAME}"},
        {"Tab\there", "\x01\x7f", "\xc3\xa9\xe2\x82\xac"},
    };
    for (const Case& c : cases) {
        dialogs.users.push_back([&c](platform::MemoryDialogControls& d) {
            d.select(kGroup, "\\Money");
            d.type(kTitle, c.title);
            d.type(kUserName, c.userName);
            d.type(kNotes, c.notes);
            d.click(1);
        });
        EXPECT_EQ(ExecuteFile("\\New Entry", "open"), wfx::FS_EXEC_OK) << c.title.substr(0, 20);
    }
    std::vector<std::string> before = list("\\Money");
    xmlData().resetInitialized();
    willType("pw");
    EXPECT_EQ(list("\\Money"), before);
    EXPECT_EQ(before.size(), 2u + std::size(cases));
}

TEST_F(ExecuteTest, TitlesThatWouldBreakThePathAreRefused) {
    open();
    std::string before = files.content[store];
    for (const char* title : {"a\\b", "a/b"}) {
        dialogs.users.push_back([title](platform::MemoryDialogControls& d) {
            d.select(kGroup, "\\Money");
            d.type(kTitle, title);
            d.click(1);   // refused: the dialog stays open
            d.click(2);
        });
        EXPECT_EQ(ExecuteFile("\\New Entry", "open"), wfx::FS_EXEC_OK) << title;
    }
    EXPECT_EQ(files.content[store], before);
    EXPECT_EQ(messageBoxes.shown.size(), 2u);
}

}  // namespace
