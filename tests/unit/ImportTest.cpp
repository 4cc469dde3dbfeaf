// Importing an export by copying it into a folder of the store: what lands in
// the tree and the file, the names it gets, and that a stop, a refusal or a
// failed save changes nothing.
#include <array>

#include "ContentColumns.h"
#include "Import.h"
#include "MasterPassword.h"
#include "StoreChanges.h"
#include "StoreFixture.h"

namespace {

bool holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
bool listed(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}
std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// The host's progress callback: answers abort from `stopAt` percent on.
int stopAt = -1;
std::vector<int> reported;
int WFX_CALL progress(int, char*, char*, int percent) {
    reported.push_back(percent);
    return stopAt >= 0 && percent >= stopAt ? 1 : 0;
}

const char* const kCsv =
    "\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\",\"TOTP\",\"Icon\",\"Last Modified\",\"Created\"\n"
    "\"Passwords\",\"Bank\",\"alice\",\"p,w \"\"1\"\"\",\"https://bank.test\",\"line one\nline two\",\"\",\"0\",\"\",\"\"\n"
    "\"Passwords\",\"Bank\",\"bob\",\"s3cret-bob\",\"https://bank.test\",\"\",\"\",\"0\",\"\",\"\"\n"
    "\"Passwords/Shop/Books\",\"a/b\\c\",\"carol\",\"pw-carol\",\"\",\"\",\"\",\"0\",\"\",\"\"\n"
    "\"Passwords/Mail\",\"gmail\",\"dave\",\"pw-dave\",\"\",\"\",\"\",\"0\",\"\",\"\"\n"
    "\"Passwords\",\"New Entry\",\"\",\"\",\"\",\"\",\"\",\"0\",\"\",\"\"\n"
    "\"Passwords\",\"\",\"eve\",\"pw-eve\",\"\",\"\",\"\",\"0\",\"\",\"\"\n";

class ImportTest : public StoreFixture {
protected:
    std::string local = sep + "home" + sep + "export.csv";

    void SetUp() override {
        StoreFixture::SetUp();
        stopAt = -1;
        reported.clear();
    }
    void TearDown() override {
        SetImportTextConversionForTesting(nullptr);
        StoreFixture::TearDown();
    }
    void open(const std::string& settingsText = "[MAIN]\nNewEntryFolder=1\n") {
        files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
                               "\"><folder name=\"Mail\" id=\"2\" creationtime=\"1\"><file name=\"Gmail\" id=\"5\"/>"
                               "</folder><file name=\"Router\" id=\"7\"/></pswd>";
        files.content[ini] = settingsText;
        theApp().fsInit(1, progress, nullptr, nullptr);
        willType("pw");
        list("\\");
    }
    int put(const std::string& target, int flags = 0) { return PutFile(local.c_str(), target.c_str(), flags); }

    // The entry element at a path of names in the file on disk.
    const TiXmlElement* onDisk(TiXmlDocument& d, const std::vector<std::string>& path) {
        const TiXmlElement* e = d.RootElement();
        for (const std::string& name : path) {
            const TiXmlElement* found = nullptr;
            for (const TiXmlElement* c = e->FirstChildElement(); c && !found; c = c->NextSiblingElement()) {
                std::string shown = c->Attribute("name") ? c->Attribute("name") : "";
                if (c->Attribute("salt")) {
                    std::string plain;
                    security::decryptText(shown, c->Attribute("salt"), plain);
                    shown = plain;
                }
                if (shown == name) found = c;
            }
            if (!found) return nullptr;
            e = found;
        }
        return e;
    }
    // A field of an entry in the file, decrypted; "<plain>" marks a field
    // stored without a salt.
    std::string field(const TiXmlElement* entry, const char* tag) {
        const TiXmlElement* f = entry->FirstChildElement(tag);
        if (!f || !f->GetText()) return "";
        if (!f->Attribute("salt")) return std::string("<plain>") + f->GetText();
        std::string plain;
        security::decryptText(f->GetText(), f->Attribute("salt"), plain);
        return plain;
    }
    bool logHolds(const std::string& text) {
        for (const auto& l : log.lines)
            if (l.message.find(text) != std::string::npos) return true;
        return false;
    }
};

TEST_F(ImportTest, EntriesLandEncryptedInFoldersWithNamesTheStoreCanHold) {
    open();
    files.content[local] = kCsv;
    const int writes = files.writes;
    ASSERT_EQ(put("\\Mail\\export.csv"), wfx::FS_FILE_OK);
    EXPECT_EQ(files.writes, writes + 1) << "one save for the whole import";

    // Duplicate titles numbered, separators replaced, a command node's name
    // and an empty title renamed; "gmail" meets the store's "Gmail" only in
    // another folder.
    EXPECT_EQ(sorted(list("\\Mail")), sorted({"[New Entry]", "Gmail", "Bank", "Bank (2)", "Shop", "Mail",
                                              "New Entry (2)", "Untitled"}));
    EXPECT_EQ(list("\\Mail\\Shop"), (std::vector<std::string>{"[New Entry]", "Books"}));
    EXPECT_EQ(list("\\Mail\\Shop\\Books"), (std::vector<std::string>{"[New Entry]", "a_b_c"}));
    EXPECT_EQ(list("\\Mail\\Mail"), (std::vector<std::string>{"[New Entry]", "gmail"}));

    TiXmlDocument d = parsedStore();
    const TiXmlElement* bank = onDisk(d, {"Mail", "Bank"});
    ASSERT_NE(bank, nullptr);
    EXPECT_TRUE(bank->Attribute("salt")) << "the title is stored encrypted";
    EXPECT_EQ(field(bank, "password"), "p,w \"1\"");
    EXPECT_EQ(field(bank, "username"), "alice");
    EXPECT_EQ(field(bank, "url"), "https://bank.test");
    EXPECT_EQ(field(bank, "notes"), "line one\r\nline two");
    const TiXmlElement* carol = onDisk(d, {"Mail", "Shop", "Books", "a_b_c"});
    ASSERT_NE(carol, nullptr);
    EXPECT_EQ(field(carol, "password"), "pw-carol");
    // Every id in the file is its own.
    std::set<std::string> ids;
    std::vector<const TiXmlElement*> stack{d.RootElement()};
    while (!stack.empty()) {
        const TiXmlElement* e = stack.back();
        stack.pop_back();
        if (e->Attribute("id")) EXPECT_TRUE(ids.insert(e->Attribute("id")).second) << e->Attribute("id");
        for (const TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) stack.push_back(c);
    }

    ASSERT_EQ(messageBoxes.shown.size(), 1u);
    const std::string& said = messageBoxes.shown[0].text;
    EXPECT_TRUE(holds(said, "Imported 6 entries and 3 folders from export.csv (KeePassXC CSV).")) << said;
    EXPECT_TRUE(holds(said, "4 names were changed")) << said;
    EXPECT_TRUE(holds(said, "clear text: delete it")) << said;
    for (const char* secret : {"p,w", "s3cret-bob", "pw-carol", "alice"}) {
        EXPECT_FALSE(logHolds(secret)) << secret;
        EXPECT_FALSE(holds(said, secret));
    }
    EXPECT_TRUE(files.content.count(local)) << "a copy leaves the export where it is";

    // A fresh start reads back what the panel showed.
    xmlData().resetForTesting();
    resetTreeForTesting();
    resetUniqueNumbersForTesting();
    theApp().m_masterPassword.clear();
    theApp().fsInit(1, progress, nullptr, nullptr);
    willType("pw");
    EXPECT_EQ(list("\\Mail\\Shop\\Books"), (std::vector<std::string>{"[New Entry]", "a_b_c"}));
    EXPECT_EQ(list("\\Mail").size(), 8u);
}

TEST_F(ImportTest, TheSameExportTwiceAddsNothing) {
    open();
    files.content[local] = kCsv;
    ASSERT_EQ(put("\\Mail\\export.csv"), wfx::FS_FILE_OK);
    const std::string after = files.content[store];
    messageBoxes.shown.clear();
    ASSERT_EQ(put("\\Mail\\again.csv"), wfx::FS_FILE_OK);
    EXPECT_EQ(files.content[store], after);
    ASSERT_EQ(messageBoxes.shown.size(), 1u);
    EXPECT_TRUE(holds(messageBoxes.shown[0].text, "Imported 0 entries and 0 folders")) << messageBoxes.shown[0].text;
    EXPECT_TRUE(holds(messageBoxes.shown[0].text, "6 entries were in the store already")) << messageBoxes.shown[0].text;
}

TEST_F(ImportTest, StoppedAtTenPercentNothingChanges) {
    open();
    files.content[local] = kCsv;
    const std::string before = files.content[store];
    const std::size_t nodes = TreeSize();
    stopAt = 10;
    EXPECT_EQ(put("\\Mail\\export.csv"), wfx::FS_FILE_USERABORT);
    EXPECT_EQ(files.content[store], before);
    EXPECT_EQ(TreeSize(), nodes);
    EXPECT_TRUE(messageBoxes.shown.empty());
    EXPECT_TRUE(files.content.count(local));
    // The store goes on as before: the next change writes exactly the tree.
    stopAt = -1;
    EXPECT_EQ(MakeFolder("\\Later"), 1);
    EXPECT_TRUE(listed(list("\\"), "Later"));
    EXPECT_EQ(list("\\Mail"), (std::vector<std::string>{"[New Entry]", "Gmail"}));
}

TEST_F(ImportTest, ProgressIsReportedInSteps) {
    open();
    std::string csv = "name,url,username,password\n";
    for (int i = 0; i < 300; ++i) csv += "site" + std::to_string(i) + ",https://s.test,u" + std::to_string(i) + ",p\n";
    files.content[local] = csv;
    const std::size_t before = list("\\").size();
    ASSERT_EQ(put("\\x.csv"), wfx::FS_FILE_OK);
    EXPECT_GE(reported.size(), 20u);
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
    EXPECT_EQ(reported.back(), 100);
    EXPECT_EQ(list("\\").size(), before + 300u);
}

TEST_F(ImportTest, ALockedStoreAsksForTheMasterPasswordFirst) {
    open();
    files.content[local] = kCsv;
    lock();
    const std::string before = files.content[store];
    willCancel();
    EXPECT_EQ(put("\\Mail\\export.csv"), wfx::FS_FILE_USERABORT);
    EXPECT_EQ(files.content[store], before);
    willType("pw");
    EXPECT_EQ(put("\\Mail\\export.csv"), wfx::FS_FILE_OK);
    EXPECT_TRUE(listed(list("\\Mail"), "Bank (2)"));
}

struct RefusedFile {
    const char* name;
    std::string content;
    int result;
    const char* said;  // "" for nothing
};

class ImportRefusedTest : public ImportTest, public ::testing::WithParamInterface<RefusedFile> {};

TEST_P(ImportRefusedTest, ChangesNothing) {
    for (int flags : {0, int(wfx::FS_COPYFLAGS_OVERWRITE), int(wfx::FS_COPYFLAGS_MOVE),
                      int(wfx::FS_COPYFLAGS_MOVE | wfx::FS_COPYFLAGS_OVERWRITE)}) {
        SCOPED_TRACE(flags);
        open();
        files.content[local] = GetParam().content;
        const std::string before = files.content[store];
        messageBoxes.shown.clear();
        EXPECT_EQ(put("\\Mail\\x", flags), GetParam().result);
        EXPECT_EQ(files.content[store], before);
        EXPECT_TRUE(files.content.count(local)) << "the file stays, MOVE or not";
        if (*GetParam().said) {
            ASSERT_EQ(messageBoxes.shown.size(), 1u);
            EXPECT_TRUE(holds(messageBoxes.shown[0].text, GetParam().said)) << messageBoxes.shown[0].text;
            EXPECT_TRUE(holds(messageBoxes.shown[0].text, "The password store is unchanged.")) << messageBoxes.shown[0].text;
        } else {
            EXPECT_TRUE(messageBoxes.shown.empty());
        }
        xmlData().resetForTesting();
        resetTreeForTesting();
        theApp().m_masterPassword.clear();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ImportRefusedTest,
    ::testing::Values(RefusedFile{"text", "just some notes\n", wfx::FS_FILE_NOTSUPPORTED, ""},
                      RefusedFile{"empty", "", wfx::FS_FILE_NOTSUPPORTED, ""},
                      RefusedFile{"other xml", "<?xml version=\"1.0\"?><html/>", wfx::FS_FILE_NOTSUPPORTED, ""},
                      RefusedFile{"unclosed quote", "name,url,username,password\n\"a,b,c,d\n",
                                  wfx::FS_FILE_READERROR, "cannot be imported"},
                      RefusedFile{"bad xml", "<KeePassFile><Root><Group></KeePassFile>", wfx::FS_FILE_READERROR,
                                  "cannot be imported"},
                      RefusedFile{"latin-1 bytes in a CSV", "name,url,username,password\nCaf\xE9,u,v,w\n",
                                  wfx::FS_FILE_READERROR, "UTF-8"}),
    [](const ::testing::TestParamInfo<RefusedFile>& i) {
        std::string n = i.param.name;
        for (char& c : n)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return n;
    });

TEST_F(ImportTest, AnExportOverTheLimitIsRefusedWithAMessage) {
    open();
    files.content[local] = "name,url,username,password\n";
    files.reportedSize[local] = kMaxExportSize + 1;
    const std::string before = files.content[store];
    EXPECT_EQ(put("\\x.csv"), wfx::FS_FILE_READERROR);
    EXPECT_EQ(files.content[store], before);
    ASSERT_EQ(messageBoxes.shown.size(), 1u);
    EXPECT_TRUE(holds(messageBoxes.shown[0].text, "64 MiB")) << messageBoxes.shown[0].text;
}

TEST_F(ImportTest, AMissingFileOrFolderIsNotFound) {
    open();
    EXPECT_EQ(put("\\Mail\\x.csv"), wfx::FS_FILE_NOTFOUND);
    files.content[local] = kCsv;
    EXPECT_EQ(put("\\Nowhere\\x.csv"), wfx::FS_FILE_NOTFOUND);
    EXPECT_EQ(put("\\Router\\x.csv"), wfx::FS_FILE_NOTFOUND);
    EXPECT_TRUE(messageBoxes.shown.empty());
}

// The save fails (a disk error), or another program changed the store since
// it was read: nothing of the import stays, in the tree or in any file.
TEST_F(ImportTest, AFailedSaveTakesEverythingBack) {
    for (bool otherProgram : {false, true}) {
        SCOPED_TRACE(otherProgram ? "another program changed the store" : "the disk refused the write");
        open();
        files.content[local] = kCsv;
        std::string before = files.content[store];
        const std::size_t nodes = TreeSize();
        if (otherProgram) {
            before += "\n";  // theirs
            files.writeByOther(store, before);
        } else {
            files.failWrites = true;
        }
        messageBoxes.shown.clear();
        EXPECT_EQ(put("\\Mail\\export.csv", wfx::FS_COPYFLAGS_MOVE), wfx::FS_FILE_WRITEERROR);
        EXPECT_EQ(files.content[store], before);
        // Only "Reload Database" is new, offered when another program wrote.
        EXPECT_EQ(TreeSize(), nodes + (otherProgram ? 1 : 0));
        EXPECT_EQ(list("\\Mail"), (std::vector<std::string>{"[New Entry]", "Gmail"}));
        EXPECT_TRUE(files.content.count(local)) << "the export stays";
        ASSERT_EQ(messageBoxes.shown.size(), 1u) << "the store says why, once";
        if (otherProgram) EXPECT_TRUE(holds(messageBoxes.shown[0].text, "changed by another program"));
        files.failWrites = false;
        if (!otherProgram) {
            // The next change writes exactly the tree: nothing of the import.
            EXPECT_EQ(MakeFolder("\\Later"), 1);
            TiXmlDocument d = parsedStore();
            EXPECT_EQ(onDisk(d, {"Mail", "Bank"}), nullptr);
            EXPECT_NE(onDisk(d, {"Later"}), nullptr);
        }
        xmlData().resetForTesting();
        resetTreeForTesting();
        theApp().m_masterPassword.clear();
    }
}

TEST_F(ImportTest, MoveDeletesTheExportOnlyWhenEverythingIsInTheStore) {
    open();
    files.content[local] = kCsv;
    EXPECT_EQ(put("\\Mail\\export.csv", wfx::FS_COPYFLAGS_MOVE), wfx::FS_FILE_OK);
    EXPECT_FALSE(files.content.count(local));
    EXPECT_TRUE(holds(messageBoxes.shown.back().text, "was deleted")) << messageBoxes.shown.back().text;

    // A file that cannot be deleted: said, and the import still stands.
    files.content[local] = "name,url,username,password\nOther,https://o.test,u,p\n";
    files.undeletable.insert(local);
    EXPECT_EQ(put("\\Mail\\export.csv", wfx::FS_COPYFLAGS_MOVE), wfx::FS_FILE_OK);
    EXPECT_TRUE(files.content.count(local));
    EXPECT_TRUE(holds(messageBoxes.shown.back().text, "could not be deleted")) << messageBoxes.shown.back().text;
    EXPECT_TRUE(listed(list("\\Mail"), "Other"));
}

// The store's form of a text as Windows' Latin-1 code page gives it: a
// character beyond it becomes "?".
bool latin1(const std::string& utf8, std::string& out) {
    out.clear();
    bool exact = true;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if ((c & 0xE0) == 0xC0 && c <= 0xC3) {
            out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
            i += 2;
        } else {
            out += '?';
            exact = false;
            i += (c & 0xF0) == 0xF0 ? 4 : (c & 0xE0) == 0xE0 ? 3 : 2;
        }
    }
    return exact;
}

TEST_F(ImportTest, CharactersTheStoreCannotHold) {
    open();
    SetImportTextConversionForTesting(latin1);
    files.content[local] =
        "name,url,username,password,note\n"
        "Caf\xC3\xA9,https://caf\xC3\xA9.test,ren\xC3\xA9,pw,ok\n"       // all Latin-1: kept exactly
        "Euro,https://e.test,u,\xE2\x82\xAC" "100,\n"                    // password beyond: not imported
        "Zlot\xC5\x82y,https://z.test,z,pw,note \xE2\x9C\x93\n";         // title and note get "?"
    ASSERT_EQ(put("\\Mail\\x.csv", wfx::FS_COPYFLAGS_MOVE), wfx::FS_FILE_OK);
    EXPECT_EQ(sorted(list("\\Mail")), sorted({"[New Entry]", "Gmail", "Caf\xE9", "Zlot?y"}));
    TiXmlDocument d = parsedStore();
    const TiXmlElement* cafe = onDisk(d, {"Mail", "Caf\xE9"});
    ASSERT_NE(cafe, nullptr);
    EXPECT_EQ(field(cafe, "username"), "ren\xE9");
    const TiXmlElement* zloty = onDisk(d, {"Mail", "Zlot?y"});
    ASSERT_NE(zloty, nullptr);
    EXPECT_EQ(field(zloty, "notes"), "note ?");
    const std::string& said = messageBoxes.shown.back().text;
    EXPECT_TRUE(holds(said, "Not imported:\n  Euro: a character of its user name or password")) << said;
    EXPECT_TRUE(holds(said, "became \"?\" in:\n  Zlot?y")) << said;
    EXPECT_TRUE(holds(said, "was kept")) << said;
    EXPECT_TRUE(files.content.count(local)) << "an entry left out keeps the export";
}

TEST_F(ImportTest, NamesAreCutToPathsTheHostCanHold) {
    open();
    const std::string longTitle(300, 'x');
    files.content[local] = "name,url,username,password\n" + longTitle + ",,a,p\n" + longTitle + ",,b,p\n";
    ASSERT_EQ(put("\\Mail\\x.csv"), wfx::FS_FILE_OK);
    std::vector<std::string> names = list("\\Mail");
    ASSERT_EQ(names.size(), 4u);
    for (const std::string& n : names) EXPECT_LT(std::string("\\Mail\\").size() + n.size(), 260u) << n;
    EXPECT_TRUE(listed(names, std::string(259 - 6, 'x')));
    EXPECT_TRUE(listed(names, std::string(259 - 6 - 4, 'x') + " (2)"));
}

TEST_F(ImportTest, AutoTypeAndExpiryOfAKeePassExportReachTheEntry) {
    open("[MAIN]\nNewEntryFolder=1\nDateFormat=dd/mm/yyyy\n");
    files.content[local] =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><KeePassFile><Meta><Generator>KeePass</Generator></Meta>"
        "<Root><Group><Name>Root</Name><Entry><String><Key>Title</Key><Value>Web</Value></String>"
        "<String><Key>UserName</Key><Value>me</Value></String>"
        "<String><Key>Password</Key><Value>a &amp; b</Value></String>"
        "<Times><Expires>True</Expires><ExpiryTime>2027-03-04T10:00:00Z</ExpiryTime></Times>"
        "<AutoType><Enabled>True</Enabled><DefaultSequence>{USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}</DefaultSequence>"
        "<Association><Window>*Login - Firefox</Window><KeystrokeSequence/></Association></AutoType>"
        "</Entry><Entry><String><Key>Title</Key><Value>No password</Value></String>"
        "<String><Key>UserName</Key><Value>someone</Value></String>"
        "<Times><Expires>True</Expires><ExpiryTime>2028-12-31T00:00:00Z</ExpiryTime></Times></Entry>"
        "</Group></Root></KeePassFile>";
    ASSERT_EQ(put("\\x.xml"), wfx::FS_FILE_OK);
    // The "Expired Date" column reads the encrypted date also of an entry
    // without a password (its other fields are encrypted all the same).
    for (const auto& c : {std::make_pair("\\Web", std::array<std::uint16_t, 3>{2027, 3, 4}),
                          std::make_pair("\\No password", std::array<std::uint16_t, 3>{2028, 12, 31})}) {
        std::uint16_t date[3] = {};
        EXPECT_EQ(GetFieldValue(c.first, 1, date, sizeof date), wfx::ft_date) << c.first;
        EXPECT_EQ(std::vector<std::uint16_t>(date, date + 3), std::vector<std::uint16_t>(c.second.begin(), c.second.end()))
            << c.first;
    }
    TreePos web;
    for (TreePos p = passwordTree().begin(); p != passwordTree().end(); ++p)
        if (p->isEntry() && p->name == "Web") web = p;
    ASSERT_TRUE(web.valid());
    EXPECT_EQ(web->autoTypeSequence, "{USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}");
    EXPECT_EQ(web->autoTypeWindows, (std::list<std::string>{"*login - firefox"}));
    EXPECT_TRUE(web->expires);
    TiXmlDocument d = parsedStore();
    const TiXmlElement* e = onDisk(d, {"Web"});
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(field(e, "password"), "a & b");
    EXPECT_EQ(field(e, "expiretime"), "04-03-2027");
    EXPECT_STREQ(e->FirstChildElement("expiretime")->Attribute("expires"), "true");
}

}  // namespace
