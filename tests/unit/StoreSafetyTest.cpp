// The store on disk is changed only by the changes this process was asked
// for, each reaching its own element in one save: numbers in the file match
// the tree, a file another program changed or moved away is never written
// over, and loading writes nothing unless something really changed.
#include "Execute.h"
#include "RenameMoveCopy.h"
#include "StoreChanges.h"
#include "StoreFixture.h"

namespace {

bool anyHas(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& l : lines)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

bool has(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The `name` attributes of the root's folders, in file order, with their ids.
std::vector<std::string> foldersInFile(TiXmlDocument& d) {
    std::vector<std::string> out;
    for (TiXmlElement* f = d.RootElement()->FirstChildElement("folder"); f; f = f->NextSiblingElement("folder"))
        out.push_back(std::string(f->Attribute("name")) + "#" + (f->Attribute("id") ? f->Attribute("id") : "-"));
    return out;
}

class StoreSafetyTest : public StoreFixture {
protected:
    std::string head() { return "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") + "\">"; }
    // Starts on a store with these elements inside the root, and lists it.
    void open(const std::string& inside, const std::string& settings = "[MAIN]\nNewEntryFolder=0\n") {
        files.content[store] = head() + inside + "</pswd>";
        start(settings);
        willType("pw");
        list("\\");
        ASSERT_TRUE(navigation().databaseLoaded.load());
    }
    std::vector<std::string> rootNames() { return list("\\"); }
};

// ---- every element carries its node's number, and only those count ------

TEST_F(StoreSafetyTest, RenamingAFolderWithoutIdRenamesItsOwnElement) {
    open("<folder name=\"A\" creationtime=\"1\"/><folder name=\"B\" id=\"1\" creationtime=\"1\"/>"
         "<folder name=\"C\" id=\"x7\" creationtime=\"1\"/><folder name=\"D\" id=\"99999999999\" creationtime=\"1\"/>");
    EXPECT_EQ(files.writes, 1) << "the numbers given anew are written once";
    TiXmlDocument loaded = parsedStore();
    std::vector<std::string> ids;
    for (const std::string& f : foldersInFile(loaded)) ids.push_back(f.substr(f.find('#') + 1));
    std::set<std::string> distinct(ids.begin(), ids.end());
    EXPECT_EQ(distinct.size(), 4u) << "every element has a number of its own";
    EXPECT_EQ(distinct.count("-"), 0u);

    ASSERT_EQ(RenameMoveCopy("\\A", "\\A2", true, false), wfx::FS_FILE_OK);
    TiXmlDocument d = parsedStore();
    std::vector<std::string> names;
    for (const std::string& f : foldersInFile(d)) names.push_back(f.substr(0, f.find('#')));
    EXPECT_EQ(names, (std::vector<std::string>{"A2", "B", "C", "D"}));
    // What the file says is what the next session shows.
    xmlData().resetInitialized();
    willType("pw");
    std::vector<std::string> again = list("\\");
    for (const char* n : {"A2", "B", "C", "D"}) EXPECT_TRUE(has(again, n)) << n;
}

TEST_F(StoreSafetyTest, RemovingAFolderWithADuplicateIdRemovesIt) {
    open("<folder name=\"F1\" id=\"2\" creationtime=\"1\"/><folder name=\"F2\" id=\"3\" creationtime=\"1\"/>"
         "<folder name=\"F3\" id=\"3\" creationtime=\"1\"/>");
    ASSERT_EQ(RemoveFolder("\\F3"), 1);
    TiXmlDocument d = parsedStore();
    std::vector<std::string> names;
    for (const std::string& f : foldersInFile(d)) names.push_back(f.substr(0, f.find('#')));
    EXPECT_EQ(names, (std::vector<std::string>{"F1", "F2"}));
}

TEST_F(StoreSafetyTest, ElementsInsideAnEntryAreNotTheTreesOwn) {
    // The element inside the entry has the number the folder after it has.
    open("<file name=\"E\" id=\"5\"><username>u</username><folder name=\"Hidden\" id=\"6\"/></file>"
         "<folder name=\"F\" id=\"6\" creationtime=\"1\"/>");
    ASSERT_EQ(RenameMoveCopy("\\F", "\\G", true, false), wfx::FS_FILE_OK);
    TiXmlDocument d = parsedStore();
    EXPECT_EQ(foldersInFile(d), (std::vector<std::string>{"G#6"}));
    TiXmlElement* hidden = d.RootElement()->FirstChildElement("file")->FirstChildElement("folder");
    ASSERT_NE(hidden, nullptr);
    EXPECT_STREQ(hidden->Attribute("name"), "Hidden");
}

TEST_F(StoreSafetyTest, AChangeWhoseElementIsGoneChangesNothingAndSaysSo) {
    open("<folder name=\"F\" id=\"2\" creationtime=\"1\"/><folder name=\"G\" id=\"3\" creationtime=\"1\"/>");
    // The document no longer holds the folder's element.
    TiXmlElement* root = xmlData().document()->RootElement();
    root->RemoveChild(root->FirstChildElement("folder"));
    const std::string before = files.content[store];
    const std::size_t shown = messageBoxes.shown.size();

    EXPECT_NE(RenameMoveCopy("\\F", "\\F2", true, false), wfx::FS_FILE_OK);
    EXPECT_EQ(files.content[store], before);
    EXPECT_TRUE(has(rootNames(), "F")) << "the tree keeps the old name";
    EXPECT_FALSE(has(rootNames(), "F2"));
    ASSERT_GT(messageBoxes.shown.size(), shown) << "the user is told";
    EXPECT_NE(messageBoxes.shown.back().text.find("Nothing was changed"), std::string::npos)
        << messageBoxes.shown.back().text;
}

TEST_F(StoreSafetyTest, AnEntryMarkedForEncryptionKeepsItsTitleEncryptedUnderANewName) {
    open("<folder name=\"G\" id=\"2\" creationtime=\"1\"/>"
         "<file name=\"Plain\" id=\"3\" encrypt=\"true\"><username>u</username></file>");
    struct Case {
        const char* what;
        std::function<int()> change;
        const char* title;
        const char* where;  // "" for the root, else a folder
    };
    std::vector<Case> cases = {
        {"rename", [] { return RenameMoveCopy("\\Plain", "\\Renamed", true, false); }, "Renamed", ""},
        {"move", [] { return RenameMoveCopy("\\Renamed", "\\G\\Moved", true, false); }, "Moved", "G"},
        {"copy", [] { return RenameMoveCopy("\\G\\Moved", "\\Copied", false, false); }, "Copied", ""},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.change(), wfx::FS_FILE_OK) << c.what;
        TiXmlDocument d = parsedStore();
        TiXmlElement* parent = d.RootElement();
        if (*c.where) parent = parent->FirstChildElement("folder");
        bool found = false;
        for (TiXmlElement* f = parent->FirstChildElement("file"); f; f = f->NextSiblingElement("file")) {
            ASSERT_NE(f->Attribute("salt"), nullptr) << c.what << ": the title is stored encrypted";
            EXPECT_STRNE(f->Attribute("name"), c.title) << c.what;
            std::string title;
            security::decrypt(f->Attribute("name"), f->Attribute("salt"), title);
            found |= title == c.title;
        }
        EXPECT_TRUE(found) << c.what << ": the file holds the new title";
    }
}

// ---- a store read once is never taken for a new one; nor written over ----

TEST_F(StoreSafetyTest, AStoreMovedAwayAtReloadIsNotReplacedAndTheTreeStays) {
    open("<folder name=\"Mine\" id=\"2\" creationtime=\"1\"/>", "[MAIN]\nEnableReload=1\n");
    std::string original = files.content[store];
    files.removeByOther(store);
    xmlData().resetInitialized();  // "Reload Database"
    const std::size_t asked = dialogs.opened.size();
    std::vector<std::string> shown = list("\\");
    EXPECT_EQ(dialogs.opened.size(), asked) << "no password is asked for";
    EXPECT_TRUE(has(shown, "Mine")) << "the tree read before stays";
    EXPECT_TRUE(anyHas(shownMessages(), "is missing")) << "the user is told";
    EXPECT_FALSE(files.exists(store)) << "no new store is written in its place";
    // A change while it is away saves nothing and makes nothing.
    EXPECT_EQ(MakeFolder("\\New"), 0);
    EXPECT_FALSE(files.exists(store));
    // Back again: it is written to as before.
    files.content[store] = original;
    xmlData().resetInitialized();
    willType("pw");
    EXPECT_TRUE(has(list("\\"), "Mine"));
    EXPECT_EQ(MakeFolder("\\New"), 1);
    TiXmlDocument d = parsedStore();
    EXPECT_EQ(foldersInFile(d).size(), 2u);
}

TEST_F(StoreSafetyTest, AStoreChangedByAnotherProgramIsNotWrittenOver) {
    open("<folder name=\"Mine\" id=\"2\" creationtime=\"1\"/><file name=\"E\" id=\"3\"><username>u</username></file>",
         "[MAIN]\nEnableReload=0\nNewEntryFolder=0\n");
    EXPECT_FALSE(has(rootNames(), "Reload Database"));
    const std::string theirs = head() + "<folder name=\"Theirs\" id=\"2\" creationtime=\"1\"/></pswd>";
    struct Case {
        const char* what;
        std::function<bool()> change;  // true when reported done
        std::function<bool()> rolledBack;
    };
    std::vector<Case> cases = {
        {"mkdir", [] { return MakeFolder("\\New") == 1; }, [this] { return !has(rootNames(), "New"); }},
        {"rename", [] { return RenameMoveCopy("\\Mine", "\\Ours", true, false) == wfx::FS_FILE_OK; },
         [this] { return has(rootNames(), "Mine") && !has(rootNames(), "Ours"); }},
        {"delete", [] { return DeleteEntry("\\E") == 1; }, [this] { return has(rootNames(), "E"); }},
    };
    for (const Case& c : cases) {
        files.writeByOther(store, theirs);
        const std::size_t shown = messageBoxes.shown.size();
        EXPECT_FALSE(c.change()) << c.what;
        EXPECT_EQ(files.content[store], theirs) << c.what << ": nothing was saved";
        EXPECT_TRUE(c.rolledBack()) << c.what;
        ASSERT_GT(messageBoxes.shown.size(), shown) << c.what;
        EXPECT_EQ(messageBoxes.shown.back().text,
                  "The password store was changed by another program. Nothing was saved; open \"Reload Database\" "
                  "to read it again.");
        EXPECT_TRUE(has(rootNames(), "Reload Database")) << c.what << ": offered whatever the settings say";
    }
    // Reloading reads their file; changes are saved again, and the command stays.
    ASSERT_EQ(ExecuteFile("\\Reload Database", "open"), wfx::FS_EXEC_OK);
    willType("pw");
    std::vector<std::string> shown = list("\\");
    EXPECT_TRUE(has(shown, "Theirs"));
    EXPECT_TRUE(has(shown, "Reload Database"));
    EXPECT_EQ(MakeFolder("\\New"), 1);
    TiXmlDocument d = parsedStore();
    EXPECT_EQ(foldersInFile(d).size(), 2u);
}

TEST_F(StoreSafetyTest, TheCheckAndTheReplacementHappenUnderTheLockBesideTheStore) {
    open("<folder name=\"Mine\" id=\"2\" creationtime=\"1\"/>");
    const std::string lock = store + ".lock";
    int stampsUnderLock = 0, stamps = 0;
    files.onStamp = [&](const std::string& path) {
        if (path != store) return;
        ++stamps;
        stampsUnderLock += files.locked.count(lock) ? 1 : 0;
    };
    ASSERT_EQ(MakeFolder("\\One"), 1);
    EXPECT_GT(stamps, 0);
    EXPECT_EQ(stampsUnderLock, stamps);
    EXPECT_TRUE(files.locked.empty()) << "released after the save";
    // While another process holds it, nothing is written.
    files.locked.insert(lock);
    const std::string before = files.content[store];
    EXPECT_EQ(MakeFolder("\\Two"), 0);
    EXPECT_EQ(files.content[store], before);
    EXPECT_FALSE(has(rootNames(), "Two"));
}

TEST_F(StoreSafetyTest, TheFirstSaveOfASessionKeepsThePreviousFile) {
    open("<folder name=\"Mine\" id=\"2\" creationtime=\"1\"/>");
    const std::string original = files.content[store];
    ASSERT_FALSE(files.exists(store + ".bak"));
    ASSERT_EQ(MakeFolder("\\One"), 1);
    EXPECT_EQ(files.content[store + ".bak"], original);
    ASSERT_EQ(MakeFolder("\\Two"), 1);
    EXPECT_EQ(files.content[store + ".bak"], original) << "only the first save of the session";
}

TEST_F(StoreSafetyTest, ANewStoreIsCreatedOnlyWhereNoFileAppearedAndSaysSo) {
    start();
    const std::string theirs = head() + "<folder name=\"Theirs\" id=\"2\" creationtime=\"1\"/></pswd>";
    std::string title;
    dialogs.users.push_back([&](platform::MemoryDialogControls& c) {
        title = c.title();
        c.type(3024, "pw");
        c.type(3025, "pw");
        // Another program puts a store in place while the user types.
        files.writeByOther(store, theirs);
        c.click(1);
    });
    list("\\");
    EXPECT_NE(title.find("a new, empty password store will be created"), std::string::npos) << title;
    EXPECT_EQ(files.content[store], theirs) << "the store that appeared is not written over";
}

// ---- one save per operation, and none at load unless something changed ---

TEST_F(StoreSafetyTest, AnOverwritingMoveOrCopyIsOneSave) {
    struct Case {
        const char* what;
        bool move;
        int writesAllowed;  // -1: all
        bool done;
    };
    for (const Case& c : std::vector<Case>{{"move", true, -1, true},
                                           {"copy", false, -1, true},
                                           {"move, one save allowed", true, 1, true},
                                           {"move, no save allowed", true, 0, false},
                                           {"copy, no save allowed", false, 0, false}}) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        open("<file name=\"Src\" id=\"2\"><username>from</username></file>"
             "<file name=\"Dst\" id=\"3\"><username>to</username></file>");
        const std::string before = files.content[store];
        const int writes = files.writes;
        files.writesLeft = c.writesAllowed;
        int r = RenameMoveCopy("\\Src", "\\Dst", c.move, true);
        std::vector<std::string> names = rootNames();
        TiXmlDocument d = parsedStore();
        std::vector<std::string> inFile;
        for (TiXmlElement* f = d.RootElement()->FirstChildElement("file"); f; f = f->NextSiblingElement("file"))
            inFile.push_back(std::string(f->Attribute("name")) + "=" + f->FirstChildElement("username")->GetText());
        if (c.done) {
            EXPECT_EQ(r, wfx::FS_FILE_OK);
            EXPECT_EQ(files.writes - writes, 1);
            if (c.move) {
                EXPECT_EQ(inFile, (std::vector<std::string>{"Dst=from"}));
            } else {
                EXPECT_EQ(inFile, (std::vector<std::string>{"Src=from", "Dst=from"}));
            }
        } else {
            EXPECT_NE(r, wfx::FS_FILE_OK);
            EXPECT_EQ(files.content[store], before);
            EXPECT_TRUE(has(names, "Src"));
            EXPECT_TRUE(has(names, "Dst")) << "the target is back";
            // The document holds both again: the next change saves them.
            files.writesLeft = -1;
            ASSERT_EQ(MakeFolder("\\Later"), 1);
            TiXmlDocument after = parsedStore();
            int entries = 0;
            for (TiXmlElement* f = after.RootElement()->FirstChildElement("file"); f; f = f->NextSiblingElement("file"))
                ++entries;
            EXPECT_EQ(entries, 2);
        }
    }
}

TEST_F(StoreSafetyTest, LoadingWritesNothingWhenNothingChanged) {
    auto user = encryptedUnder("pw", "ann");
    auto pass = encryptedUnder("pw", "secret");
    auto title = encryptedUnder("pw", "Bank");
    // An encrypted entry whose notes and url are empty, as the dialogs store them.
    open("<file name=\"" + title.first + "\" salt=\"" + title.second + "\" id=\"2\"><username salt=\"" + user.second +
         "\">" + user.first + "</username><url /><password salt=\"" + pass.second + "\">" + pass.first +
         "</password><notes /><image /><creationtime /><lastmodtime /><lastaccesstime />"
         "<expiretime expires=\"false\" /></file>");
    EXPECT_EQ(files.writes, 0);
    EXPECT_TRUE(has(rootNames(), "Bank"));
}

TEST_F(StoreSafetyTest, AFailedRewriteAtLoadStillLetsTheStoreLock) {
    files.failWrites = true;
    open("<file name=\"Plain\" id=\"2\" encrypt=\"true\"><username>u</username></file>");
    EXPECT_TRUE(navigation().databaseLoaded.load());
    ASSERT_EQ(ExecuteFile("\\Lock Keyhold", "open"), wfx::FS_EXEC_OK);
    EXPECT_TRUE(navigation().isLocked());
}

TEST_F(StoreSafetyTest, AReloadThatFailsKeepsTheTreeAndTheDocumentReadBefore) {
    open("<folder name=\"Mine\" id=\"2\" creationtime=\"1\"/>", "[MAIN]\nEnableReload=1\nNewEntryFolder=0\n");
    struct Case {
        const char* what;
        const char* unparsable;  // put in place for the reload, as if by hand; null: the file as it is
        bool cancel;
    };
    for (const Case& c : std::vector<Case>{{"parse error", "<pswd><folder></pswd>", false}, {"cancelled", nullptr, true}}) {
        const std::string saved = files.content[store];
        if (c.unparsable) files.content[store] = c.unparsable;
        xmlData().resetInitialized();
        if (c.cancel) willCancel();
        std::vector<std::string> shown = list("\\");
        // A refused password lists nothing and asks again next time; an
        // unreadable file leaves the tree read before in the panel.
        EXPECT_EQ(has(shown, "Mine"), !c.cancel) << c.what;
        files.content[store] = saved;  // the same file again, same stamp
        // The document is the one of the tree: a change reaches the file.
        std::string name = std::string("\\After ") + (c.cancel ? "cancel" : "error");
        EXPECT_EQ(MakeFolder(name.c_str()), 1) << c.what << "\n" << ::testing::PrintToString(shownMessages());
        TiXmlDocument d = parsedStore();
        EXPECT_TRUE(anyHas(foldersInFile(d), name.substr(1))) << c.what;
        EXPECT_TRUE(anyHas(foldersInFile(d), "Mine")) << c.what;
    }
}

// ---- any file is answered ------------------------------------------------

TEST_F(StoreSafetyTest, DeeplyNestedOrHugeStoresAreRefusedWithAMessage) {
    struct Case {
        const char* what;
        std::string content;
        std::uint64_t size;  // 0: the content's own
        const char* told;
    };
    std::string deep;
    for (int i = 0; i < 30000; ++i) deep += "<folder x=\"/>\">";
    std::string deepComments;
    for (int i = 0; i < 30000; ++i) deepComments += "<folder x='<!--'>";
    std::vector<Case> cases = {
        {"quoted tag ends", head() + deep + "</pswd>", 0, "Error Parsing XML."},
        {"quoted comment starts", head() + deepComments + "</pswd>", 0, "Error Parsing XML."},
        {"over 256 MiB", head() + "</pswd>", kMaxStoreFileSize + 1, "256 MiB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        files.content[store] = c.content;
        if (c.size) files.reportedSize[store] = c.size;
        start();
        willType("pw");
        list("\\");
        EXPECT_TRUE(anyHas(shownMessages(), c.told));
        EXPECT_EQ(files.content[store], c.content) << "nothing is written over it";
        EXPECT_FALSE(navigation().databaseLoaded.load());
    }
}

TEST_F(StoreSafetyTest, AStoreOfExactly256MiBIsRead) {
    files.content[store] = head() + "<folder name=\"F\" id=\"2\" creationtime=\"1\"/></pswd>";
    files.reportedSize[store] = kMaxStoreFileSize;
    start();
    willType("pw");
    EXPECT_TRUE(has(list("\\"), "F"));
}

}  // namespace
