// Making folders and deleting entries and folders from the panel.
#include "StoreChanges.h"
#include "RenameMoveCopy.h"
#include "StoreFixture.h"

namespace {

class StoreChangesTest : public StoreFixture {
protected:
    void open(const std::string& settingsText = "[MAIN]\nNewEntryFolder=1\n") {
        files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
                               "\"><folder name=\"Mail\" id=\"2\" creationtime=\"1\"><folder name=\"Work\" id=\"3\">"
                               "<file name=\"Boss\" id=\"4\"/></folder><file name=\"Gmail\" id=\"5\"/></folder>"
                               "<folder name=\"A\" id=\"6\"/><file name=\"Router\" id=\"7\"/></pswd>";
        start(settingsText);
        willType("pw");
        list("\\");
    }
    // The ids of the elements in the file on disk, in document order.
    std::vector<std::string> idsOnDisk() {
        TiXmlDocument d = parsedStore();
        std::vector<std::string> ids;
        std::vector<TiXmlElement*> stack{d.RootElement()};
        while (!stack.empty()) {
            TiXmlElement* e = stack.back();
            stack.pop_back();
            if (e != d.RootElement()) ids.push_back(e->Attribute("name"));
            std::vector<TiXmlElement*> kids;
            for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement())
                if (c->ValueStr() == "folder" || c->ValueStr() == "file") kids.push_back(c);
            stack.insert(stack.end(), kids.rbegin(), kids.rend());
        }
        return ids;
    }
};

TEST_F(StoreChangesTest, FoldersAreMadeAtEveryDepth) {
    open();
    EXPECT_EQ(MakeFolder("\\New"), 1);
    EXPECT_EQ(MakeFolder("\\Mail\\Work\\Deep"), 1);
    EXPECT_EQ(list("\\Mail\\Work\\Deep"), std::vector<std::string>{"[New Entry]"});
    EXPECT_EQ(list("\\Mail\\Work"), (std::vector<std::string>{"[New Entry]", "Boss", "Deep"}));
    EXPECT_EQ(idsOnDisk(), (std::vector<std::string>{"Mail", "Work", "Boss", "Deep", "Gmail", "A", "Router", "New"}));
    EXPECT_TRUE(messageBoxes.shown.empty());
}

TEST_F(StoreChangesTest, WithoutNewEntryFolderTheFolderIsEmpty) {
    open("[MAIN]\nNewEntryFolder=0\n");
    EXPECT_EQ(MakeFolder("\\Empty"), 1);
    EXPECT_TRUE(list("\\Empty").empty());
    EXPECT_EQ(lastError.code, 18u);
}

struct RefusedCase {
    const char* path;
    const char* message;  // "" for none
};

class MakeFolderRefusedTest : public StoreChangesTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(MakeFolderRefusedTest, ChangesNothing) {
    open();
    std::string before = files.content[store];
    std::size_t nodes = TreeSize();
    EXPECT_EQ(MakeFolder(GetParam().path), 0) << GetParam().path;
    EXPECT_EQ(files.content[store], before);
    EXPECT_EQ(TreeSize(), nodes);
    if (*GetParam().message) {
        EXPECT_EQ(shownMessages(), std::vector<std::string>{GetParam().message});
    } else {
        EXPECT_TRUE(messageBoxes.shown.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, MakeFolderRefusedTest,
    ::testing::Values(RefusedCase{"\\Mail", "Entry/Folder with the same name already exists!!"},
                      RefusedCase{"\\mail", "Entry with the same name already exists!!"},
                      RefusedCase{"\\ROUTER", "Entry with the same name already exists!!"},
                      RefusedCase{"\\Router\\New", ""}, RefusedCase{"\\New Entry\\X", ""},
                      RefusedCase{"\\Nope\\Deeper", ""}, RefusedCase{"\\", ""}, RefusedCase{"", ""},
                      RefusedCase{"\\Mail\\\\X", ""},
                      RefusedCase{"\\Way too long a name for the host's buffer of two hundred and sixty bytes, which "
                                  "no path it listed can ever exceed: xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
                                  "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
                                  "xxxxxxxxxxxxxxxxxxxx",
                                  ""}));

TEST_F(StoreChangesTest, RepeatedAncestorNameIsNoted) {
    open();
    EXPECT_FALSE(navigation().bFsMkDir);
    EXPECT_EQ(MakeFolder("\\A\\A"), 1);
    EXPECT_TRUE(navigation().bFsMkDir);
}

TEST_F(StoreChangesTest, EntriesAreDeletedAndOnlyEntries) {
    open();
    for (const char* path : {"\\New Entry", "\\Mail", "\\A", "\\", "\\Nope", "\\Mail\\[New Entry]", "x"}) {
        EXPECT_EQ(DeleteEntry(path), 0) << path;
    }
    EXPECT_EQ(idsOnDisk().size(), 6u);
    EXPECT_EQ(DeleteEntry("\\Mail\\Work\\Boss"), 1);
    EXPECT_EQ(list("\\Mail\\Work"), std::vector<std::string>{"[New Entry]"});
    EXPECT_EQ(idsOnDisk(), (std::vector<std::string>{"Mail", "Work", "Gmail", "A", "Router"}));
    EXPECT_EQ(DeleteEntry("\\Mail\\Work\\Boss"), 0) << "already gone";
}

TEST_F(StoreChangesTest, FoldersGoWithEverythingInThem) {
    open();
    EXPECT_EQ(RemoveFolder("\\Router"), 0);
    EXPECT_EQ(RemoveFolder("\\Nope"), 0);
    EXPECT_EQ(RemoveFolder("\\New Entry"), 0);
    EXPECT_EQ(RemoveFolder("\\Mail"), 1);
    EXPECT_EQ(idsOnDisk(), (std::vector<std::string>{"A", "Router"}));
    EXPECT_EQ(list("\\"), (std::vector<std::string>{"New Entry", "Lock Keyhold", "Default Auto Type Window is OFF",
                                                   "A", "Router"}));
    EXPECT_EQ(RemoveFolder("\\A"), 1) << "an empty folder";
}

TEST_F(StoreChangesTest, LockedStoreAsksFirstAndCancelChangesNothing) {
    open();
    lock();
    std::string before = files.content[store];
    for (int i = 0; i < 3; ++i) willCancel();
    EXPECT_EQ(MakeFolder("\\New"), 0);
    EXPECT_EQ(DeleteEntry("\\Router"), 0);
    EXPECT_EQ(RemoveFolder("\\A"), 0);
    EXPECT_EQ(files.content[store], before);
    EXPECT_TRUE(navigation().isLocked());
    willType("pw");
    EXPECT_EQ(DeleteEntry("\\Router"), 1);
    EXPECT_FALSE(navigation().isLocked());
    EXPECT_TRUE(log.has(eInformation, "In Unlock Branch"));
}

TEST_F(StoreChangesTest, FailedSaveTakesTheChangeBack) {
    open();
    std::string before = files.content[store];
    files.failWrites = true;
    EXPECT_EQ(MakeFolder("\\New"), 0);
    EXPECT_EQ(DeleteEntry("\\Router"), 0);
    EXPECT_EQ(RemoveFolder("\\Mail"), 0);
    EXPECT_EQ(files.content[store], before);
    EXPECT_EQ(list("\\").size(), 6u);
    files.failWrites = false;
    // The next change that succeeds writes exactly the tree.
    EXPECT_EQ(MakeFolder("\\Later"), 1);
    EXPECT_EQ(idsOnDisk(), (std::vector<std::string>{"Mail", "Work", "Boss", "Gmail", "A", "Router", "Later"}));
}

struct PutCase {
    int flags;
    int result;
    bool progressAsked;
};

class PutFileTest : public StoreChangesTest, public ::testing::WithParamInterface<PutCase> {};

// A file that is no export is refused whatever the flags: no copy is
// reported that never happened, and MOVE leaves the file where it is.
TEST_P(PutFileTest, AFileThatIsNoExportIsRefused) {
    open();
    files.content["/tmp/local.txt"] = "a letter, not an export\n";
    std::string before = files.content[store];
    std::size_t nodes = TreeSize();
    EXPECT_EQ(PutFile("/tmp/local.txt", "\\Mail\\local.txt", GetParam().flags), GetParam().result);
    EXPECT_EQ(files.content[store], before);
    EXPECT_EQ(TreeSize(), nodes);
    EXPECT_EQ(files.content["/tmp/local.txt"], "a letter, not an export\n");
    EXPECT_TRUE(messageBoxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Flags, PutFileTest,
                         ::testing::Values(PutCase{0, wfx::FS_FILE_NOTSUPPORTED, true},
                                           PutCase{1, wfx::FS_FILE_NOTSUPPORTED, true},
                                           PutCase{2, wfx::FS_FILE_NOTSUPPORTED, false},
                                           PutCase{4, wfx::FS_FILE_NOTSUPPORTED, true},
                                           PutCase{5, wfx::FS_FILE_NOTSUPPORTED, true}));

}  // namespace

namespace {

// Another host thread may change the folder a listing is going through.
TEST_F(StoreChangesTest, OpenListingsSurviveChangesUnderThem) {
    open();
    wfx::WIN32_FIND_DATAA fd;
    // Standing on a folder that moves away: the listing goes on behind it.
    wfx::HANDLE mail = FindFirst("\\Mail", &fd);
    ASSERT_NE(mail, wfx::invalidHandle());
    ASSERT_TRUE(FindNext(mail, &fd));
    ASSERT_STREQ(fd.cFileName, "Work");
    EXPECT_EQ(RenameMoveCopy("\\Mail\\Work", "\\A\\Work", true, false), wfx::FS_FILE_OK);
    ASSERT_TRUE(FindNext(mail, &fd));
    EXPECT_STREQ(fd.cFileName, "Gmail");
    EXPECT_FALSE(FindNext(mail, &fd));

    // Standing on an entry that is deleted, and inside a folder removed.
    wfx::HANDLE work = FindFirst("\\A\\Work", &fd);
    ASSERT_TRUE(FindNext(work, &fd));
    ASSERT_STREQ(fd.cFileName, "Boss");
    wfx::HANDLE inA = FindFirst("\\A", &fd);
    ASSERT_STREQ(fd.cFileName, "[New Entry]");
    EXPECT_EQ(DeleteEntry("\\A\\Work\\Boss"), 1);
    EXPECT_FALSE(FindNext(work, &fd));
    EXPECT_EQ(RemoveFolder("\\A\\Work"), 1);
    EXPECT_EQ(RemoveFolder("\\A"), 1);
    EXPECT_FALSE(FindNext(inA, &fd)) << "the folder being listed is gone";
    FindClose(mail);
    FindClose(work);
    FindClose(inA);
    EXPECT_EQ(list("\\Mail"), (std::vector<std::string>{"[New Entry]", "Gmail"}));
}

}  // namespace
