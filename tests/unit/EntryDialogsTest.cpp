// The entry dialogs ("New Entry" and "View Entry") as their user meets them:
// typed into, clicked and read back on the in-memory controls, the entry
// password dialog they open answered by a queued user; what they hand back
// decrypted with the security functions. Then both dialogs on Linux, where
// every question is a request through the host's callback.
#include <deque>
#include <set>

#include "EntryDataDlg.h"
#include "NewEntryDlg.h"
#include "StoreFixture.h"
#include "WfxApi.h"
#include "platform/Dialogs.h"
#include "res/resource.h"

namespace {

using platform::MemoryDialogControls;

const char* const kNoFolder = "Make a folder first: every entry belongs in a folder.";
const char* const kBadTitle = "A title cannot contain \"\\\" or \"/\".";

std::string plain(const CSecureString& s) {
    CPlainCopy p(s);
    return p.c_str();
}

bool isSalt(const std::string& s) {
    return s.size() == 16 && s.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

std::string decrypted(const std::string& cipher, const std::string& salt) {
    std::string out;
    EXPECT_EQ(security::decrypt(cipher, salt, out), 1) << "no salt";
    return out;
}

struct tInsert {
    int id;
    std::string inserts;
    std::string toolTip;
};

// The nine insert buttons; "L" inserts the last window title, set below.
const std::vector<tInsert> kInserts{
    {IDC_INSERT_LAST_WINDOW, "the last window", "Last window found (via hot key)"},
    {IDC_INSERT_AUTOTYPE, "Auto-Type:", "AutopType"},
    {IDC_INSERT_AUTOTYPE_WINDOW, "Auto-Type-Window:", "AutoTypeWindow"},
    {IDC_INSERT_USERNAME, "{USERNAME}", "Username"},
    {IDC_INSERT_PASSWORD, "{PASSWORD}", "Password"},
    {IDC_INSERT_TAB, "{TAB}", "Tab"},
    {IDC_INSERT_DELAY, "{DELAY X}", "Delay"},
    {IDC_INSERT_ENTER, "~", "Enter"},
    {IDC_INSERT_SPACE, "{SPACE}", "space"},
};

class EntryDialogsTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        savedTitle_ = theApp().m_lastWindowTitle;
        theApp().m_lastWindowTitle = "the last window";
    }
    void TearDown() override {
        theApp().m_lastWindowTitle = savedTitle_;
        StoreFixture::TearDown();
    }

    // A store under the password "pw" with these folders, opened.
    void open(const std::string& folders =
                  "<folder name=\"Mail\" id=\"2\"><folder name=\"Work\" id=\"3\"/></folder>"
                  "<folder name=\"bank\" id=\"4\"/><folder name=\"Zeta\" id=\"5\"/>") {
        files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"Base\" id=\"1\" masterkey=\"" +
                               hashOf("pw") + "\">" + folders + "</pswd>";
        start();
        willType("pw");
        list("\\");
        ASSERT_EQ(plain(theApp().m_masterPassword), "pw");
    }

    // The user of the entry password dialog: sets "Encrypt", types the
    // password (twice when the second field shows) and presses OK.
    void willSetPassword(const std::string& password, bool encrypt, std::string* preset = nullptr,
                         bool* presetEncrypt = nullptr) {
        dialogs.users.push_back([=](MemoryDialogControls& c) {
            CSecureString shown;
            c.secureText(IDC_MODIFY_FIRST, shown);
            if (preset != nullptr) *preset = plain(shown);
            if (presetEncrypt != nullptr) *presetEncrypt = c.checked(IDC_MODIFY_ENCRYPT);
            if (c.checked(IDC_MODIFY_ENCRYPT) != encrypt) c.click(IDC_MODIFY_ENCRYPT);
            c.replace(IDC_MODIFY_FIRST, password);
            if (c.isVisible(IDC_MODIFY_SECOND)) c.replace(IDC_MODIFY_SECOND, password);
            c.click(kDialogOk);
        });
    }

    // Every log line so far, for looking for secrets.
    bool logMentions(const std::string& text) const {
        for (const RecordingLog::Line& l : log.lines) {
            if (l.message.find(text) != std::string::npos) return true;
        }
        return false;
    }

    // An entry as the store holds it: plain, or encrypted under "pw".
    tTreeNode storedEntry(bool encrypt, bool expires = false) {
        tTreeNode e = makeEntry("Giro");
        e.group = "bank";
        e.uniqueNumber = 42;
        e.expires = expires;
        if (!encrypt) {
            e.userName = "ann";
            e.url = "http://bank.example";
            e.password = "hunter2";
            e.notes = "pin 1234";
            e.expireTimeText = expires ? "2031-01-01" : "";
            return e;
        }
        security::encrypt("ann", e.userName, e.userNameSalt);
        security::encrypt("http://bank.example", e.url, e.urlSalt);
        security::encrypt("hunter2", e.password, e.passwordSalt);
        security::encrypt("pin 1234", e.notes, e.notesSalt);
        if (expires) security::encrypt("2031-01-01", e.expireTimeText, e.expireTimeSalt);
        security::encrypt(e.name, e.encryptedTitle, e.titleSalt);
        e.encrypted = true;
        return e;
    }

private:
    std::string savedTitle_;
};

// ---- New Entry ----

// The user fills in every field of a new entry "Giro" and presses OK.
void fillGiroAndConfirm(MemoryDialogControls& c) {
    c.type(IDC_ENTRY_TITLE, "Giro");
    c.type(IDC_ENTRY_USERNAME, "ann");
    c.type(IDC_ENTRY_URL, "http://bank.example");
    c.type(IDC_ENTRY_NOTES, "pin 1234");
    c.click(IDC_ENTRY_EXPIRES);
    c.type(IDC_ENTRY_EXPIRY_DATE, "2031-01-01");
    c.click(kDialogOk);
}

TEST_F(EntryDialogsTest, NewEntryOkFollowsTheTitle) {
    open();
    CNewEntryDlg dialog;
    MemoryDialogControls c(dialog);
    c.start();
    EXPECT_EQ(c.title(), "New Entry");
    EXPECT_FALSE(c.isEnabled(kDialogOk));
    EXPECT_FALSE(c.click(kDialogOk));
    c.type(IDC_ENTRY_TITLE, "G");
    EXPECT_TRUE(c.isEnabled(kDialogOk));
    c.replace(IDC_ENTRY_TITLE, "");
    EXPECT_FALSE(c.isEnabled(kDialogOk));
    EXPECT_FALSE(c.ended());
    c.type(IDC_ENTRY_TITLE, "Giro");
    EXPECT_TRUE(c.click(kDialogOk));
    EXPECT_EQ(c.result(), kDialogOk);
    EXPECT_TRUE(log.has(eInformation, "CNewEntryDlg constructed"));
    EXPECT_TRUE(log.has(eImportant, "Getting all folders"));
}

TEST_F(EntryDialogsTest, NewEntryOffersEveryFolderSortedOrOnlyThePresetOne) {
    open();
    {
        CNewEntryDlg dialog;
        MemoryDialogControls c(dialog);
        c.start();
        EXPECT_EQ(c.control(IDC_ENTRY_GROUP_LIST).items,
                  (std::vector<std::string>{"\\bank", "\\Mail", "\\Mail\\Work", "\\Zeta"}));
        EXPECT_EQ(c.selectedItem(IDC_ENTRY_GROUP_LIST), "\\bank");
        EXPECT_TRUE(c.isEnabled(IDC_ENTRY_GROUP_LIST));
        EXPECT_TRUE(c.select(IDC_ENTRY_GROUP_LIST, "\\Mail\\Work"));
        c.type(IDC_ENTRY_TITLE, "Giro");
        c.click(kDialogOk);
        EXPECT_EQ(dialog.m_chosenGroupPath, "\\Mail\\Work");
        EXPECT_EQ(dialog.m_chosenGroupName, "Work");
        EXPECT_EQ(dialog.getIdForDir("\\Mail\\Work"), 3u);
        EXPECT_EQ(dialog.getIdForDir("\\bank"), 4u);
        EXPECT_EQ(dialog.getIdForDir("\\Nowhere"), 0u);
        EXPECT_TRUE(log.has(eError, "Id not found for dir: \\Nowhere"));
        tTreeNode node;
        dialog.GetNodeData(node);
        EXPECT_EQ(node.group, "Work");
    }
    CNewEntryDlg dialog;
    dialog.setGroup("\\Mail");
    MemoryDialogControls c(dialog);
    c.start();
    EXPECT_EQ(c.control(IDC_ENTRY_GROUP_LIST).items, std::vector<std::string>{"\\Mail"});
    EXPECT_EQ(c.selectedItem(IDC_ENTRY_GROUP_LIST), "\\Mail");
    EXPECT_FALSE(c.isEnabled(IDC_ENTRY_GROUP_LIST));
    EXPECT_FALSE(c.select(IDC_ENTRY_GROUP_LIST, "\\Zeta"));
    c.type(IDC_ENTRY_TITLE, "Giro");
    c.click(kDialogOk);
    EXPECT_EQ(dialog.m_chosenGroupPath, "\\Mail");
    EXPECT_EQ(dialog.m_chosenGroupName, "Mail");
    EXPECT_EQ(dialog.getIdForDir("\\Mail"), 2u);
}

TEST_F(EntryDialogsTest, NewEntryWithoutPasswordIsPlainWithAnEmptyPassword) {
    open();
    CNewEntryDlg dialog;
    MemoryDialogControls c(dialog);
    c.start();
    fillGiroAndConfirm(c);
    ASSERT_EQ(c.result(), kDialogOk);
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_EQ(node.nodeType, eNode_File);
    EXPECT_EQ(node.name, "Giro");
    EXPECT_EQ(node.group, "bank");
    EXPECT_EQ(node.fileAttributes, wfx::kAttrNormal);
    EXPECT_NE(node.uniqueNumber, 0u);
    EXPECT_FALSE(node.encrypted);
    EXPECT_EQ(node.password, "");
    EXPECT_EQ(node.userName, "ann");
    EXPECT_EQ(node.url, "http://bank.example");
    EXPECT_EQ(node.notes, "pin 1234");
    EXPECT_EQ(node.expireTimeText, "2031-01-01");
    EXPECT_TRUE(node.expires);
    for (const std::string* salt : {&node.passwordSalt, &node.userNameSalt, &node.urlSalt, &node.notesSalt,
                                    &node.expireTimeSalt, &node.titleSalt, &node.creationTimeSalt}) {
        EXPECT_TRUE(salt->empty());
    }
    EXPECT_FALSE(node.creationTimeText.empty());
    EXPECT_TRUE(log.has(eInformation, "Entry is not encrypted."));

    // "Expires" without a date does not expire.
    CNewEntryDlg second;
    MemoryDialogControls c2(second);
    c2.start();
    c2.type(IDC_ENTRY_TITLE, "Other");
    c2.click(IDC_ENTRY_EXPIRES);
    c2.click(kDialogOk);
    tTreeNode other;
    second.GetNodeData(other);
    EXPECT_FALSE(other.expires);
    EXPECT_NE(other.uniqueNumber, node.uniqueNumber);
}

TEST_F(EntryDialogsTest, NewEntryWithEncryptStoresEveryFieldUnderItsOwnSalt) {
    open();
    CNewEntryDlg dialog;
    MemoryDialogControls c(dialog);
    c.start();
    EXPECT_TRUE(c.control(IDC_ENTRY_PASSWORD).readOnly);
    EXPECT_TRUE(c.control(IDC_ENTRY_PASSWORD_AGAIN).readOnly);
    c.type(IDC_ENTRY_PASSWORD, "typed");  // read-only: nothing happens
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD), "");

    bool presetEncrypt = false;
    std::string preset = "x";
    willSetPassword("s3cret!", true, &preset, &presetEncrypt);
    c.click(IDC_ENTRY_PASSWORD_BUTTON);
    EXPECT_EQ(dialogs.opened.back(), IDD_MODIFY_PASSWORD);
    EXPECT_TRUE(presetEncrypt) << "the password dialog opens with Encrypt on";
    EXPECT_EQ(preset, "");
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD), "*******");
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD_AGAIN), "*******");

    fillGiroAndConfirm(c);
    ASSERT_EQ(c.result(), kDialogOk);

    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_TRUE(node.encrypted);
    EXPECT_EQ(node.name, "Giro");
    EXPECT_TRUE(node.expires);
    struct {
        const std::string& field;
        const std::string& salt;
        std::string plain;
    } fields[] = {
        {node.password, node.passwordSalt, "s3cret!"},
        {node.userName, node.userNameSalt, "ann"},
        {node.notes, node.notesSalt, "pin 1234"},
        {node.url, node.urlSalt, "http://bank.example"},
        {node.expireTimeText, node.expireTimeSalt, "2031-01-01"},
        {node.encryptedTitle, node.titleSalt, "Giro"},
    };
    std::set<std::string> salts;
    for (const auto& f : fields) {
        SCOPED_TRACE(f.plain);
        EXPECT_TRUE(isSalt(f.salt)) << f.salt;
        EXPECT_NE(f.field, f.plain);
        EXPECT_EQ(decrypted(f.field, f.salt), f.plain);
        salts.insert(f.salt);
    }
    EXPECT_TRUE(isSalt(node.creationTimeSalt));
    salts.insert(node.creationTimeSalt);
    EXPECT_EQ(salts.size(), 7u) << "every field has a salt of its own";
    const std::string seconds = decrypted(node.creationTimeText, node.creationTimeSalt);
    EXPECT_FALSE(seconds.empty());
    EXPECT_EQ(seconds.find_first_not_of("0123456789"), std::string::npos);

    EXPECT_TRUE(log.has(eInformation, "Entry is  encrypted."));
    for (const char* step : {"Encrypt password.", "Encrypt username.", "Encrypt notes.", "Encrypt URL.",
                             "Encrypt ExpireDate.", "Encrypt title."}) {
        EXPECT_TRUE(log.has(eRubbish, step)) << step;
    }
    for (const char* secret : {"s3cret!", "ann", "bank.example", "pin 1234"}) {
        EXPECT_FALSE(logMentions(secret)) << secret;
    }
}

TEST_F(EntryDialogsTest, NewEntryPasswordWithoutEncryptStaysReadableAndPlain) {
    open();
    CNewEntryDlg dialog;
    MemoryDialogControls c(dialog);
    c.start();
    willSetPassword("open pw", false);
    c.click(IDC_ENTRY_PASSWORD_BUTTON);
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD), "open pw");
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD_AGAIN), "open pw");
    // A second try that is cancelled keeps what the first one gave.
    willCancel();
    c.click(IDC_ENTRY_PASSWORD_BUTTON);
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD), "open pw");
    c.type(IDC_ENTRY_TITLE, "Giro");
    c.type(IDC_ENTRY_USERNAME, "ann");
    c.click(kDialogOk);
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_FALSE(node.encrypted);
    EXPECT_EQ(node.password, "open pw");
    EXPECT_TRUE(node.passwordSalt.empty());
    EXPECT_EQ(node.userName, "ann");
    EXPECT_TRUE(node.titleSalt.empty());
}

TEST_F(EntryDialogsTest, NewEntryInsertButtonsInsertAtTheCaretAndHaveTheirToolTips) {
    open();
    CNewEntryDlg dialog;
    MemoryDialogControls c(dialog);
    c.start();
    std::string expected = "x";
    c.type(IDC_ENTRY_NOTES, "x");
    for (const tInsert& b : kInserts) {
        SCOPED_TRACE(b.inserts);
        EXPECT_EQ(c.control(b.id).toolTip, b.toolTip);
        EXPECT_TRUE(c.click(b.id));
        expected += b.inserts;
        EXPECT_EQ(c.text(IDC_ENTRY_NOTES), expected);
    }
    EXPECT_FALSE(c.ended());
}

TEST_F(EntryDialogsTest, NewEntryRefusesTitlesThatWouldBreakThePathAndTakesLongOnes) {
    open();
    CNewEntryDlg dialog;
    MemoryDialogControls c(dialog);
    c.start();
    for (const char* bad : {"a\\b", "a/b", "\\", "trailing/"}) {
        SCOPED_TRACE(bad);
        messageBoxes.shown.clear();
        c.replace(IDC_ENTRY_TITLE, bad);
        EXPECT_TRUE(c.click(kDialogOk));
        EXPECT_FALSE(c.ended());
        EXPECT_EQ(shownMessages(), std::vector<std::string>{kBadTitle});
    }
    const std::string longTitle(259, 't');
    willSetPassword("pw2", true);
    c.click(IDC_ENTRY_PASSWORD_BUTTON);
    c.replace(IDC_ENTRY_TITLE, longTitle);
    c.click(kDialogOk);
    ASSERT_EQ(c.result(), kDialogOk);
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_EQ(node.name, longTitle);
    EXPECT_EQ(decrypted(node.encryptedTitle, node.titleSalt), longTitle);
}

TEST_F(EntryDialogsTest, NewEntryWithoutAnyFolderSaysSoAndStaysOpen) {
    open("");
    CNewEntryDlg dialog;
    MemoryDialogControls c(dialog);
    c.start();
    EXPECT_TRUE(c.control(IDC_ENTRY_GROUP_LIST).items.empty());
    c.type(IDC_ENTRY_TITLE, "Giro");
    EXPECT_TRUE(c.click(kDialogOk));
    EXPECT_FALSE(c.ended());
    EXPECT_EQ(shownMessages(), std::vector<std::string>{kNoFolder});
    EXPECT_TRUE(c.click(kDialogCancel));
    EXPECT_EQ(c.result(), kDialogCancel);
}

TEST_F(EntryDialogsTest, NewEntryTakesAMegabyteOfNotes) {
    open();
    std::string notes;
    for (int i = 0; notes.size() < 1024 * 1024; ++i) notes += "line " + std::to_string(i) + "\r\n";
    CNewEntryDlg dialog;
    MemoryDialogControls c(dialog);
    c.start();
    willSetPassword("pw2", true);
    c.click(IDC_ENTRY_PASSWORD_BUTTON);
    c.type(IDC_ENTRY_TITLE, "Big");
    c.type(IDC_ENTRY_NOTES, notes);
    c.click(IDC_INSERT_TAB);
    c.click(kDialogOk);
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_EQ(decrypted(node.notes, node.notesSalt), notes + "{TAB}");
}

TEST_F(EntryDialogsTest, NewEntryCancelHandsBackNothing) {
    open();
    CNewEntryDlg dialog;
    dialogs.users.push_back([](MemoryDialogControls& c) {
        c.type(IDC_ENTRY_TITLE, "Giro");
        c.click(kDialogCancel);
    });
    EXPECT_EQ(dialog.DoModal(), kDialogCancel);
    EXPECT_TRUE(dialog.m_chosenGroupPath.empty());
}

// ---- View Entry ----

TEST_F(EntryDialogsTest, ViewOfAPlainEntryShowsThePasswordAndDisablesTheButton) {
    open();
    CEntryDataDlg dialog;
    tTreeNode stored = storedEntry(false);
    stored.uniqueNumber = 7;
    dialog.SetNodeData(stored);
    MemoryDialogControls c(dialog);
    c.start();
    EXPECT_EQ(c.title(), "View/Modify entry 7");
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD), "hunter2");
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD_AGAIN), "hunter2");
    EXPECT_FALSE(c.isEnabled(IDC_ENTRY_PASSWORD_BUTTON));
    EXPECT_EQ(c.text(IDC_ENTRY_GROUP), "bank");
    EXPECT_EQ(c.text(IDC_ENTRY_TITLE), "Giro");
    EXPECT_EQ(c.text(IDC_ENTRY_USERNAME), "ann");
    EXPECT_EQ(c.text(IDC_ENTRY_URL), "http://bank.example");
    EXPECT_EQ(c.text(IDC_ENTRY_NOTES), "pin 1234");
    for (int id : {IDC_ENTRY_GROUP, IDC_ENTRY_TITLE, IDC_ENTRY_USERNAME, IDC_ENTRY_URL, IDC_ENTRY_PASSWORD,
                   IDC_ENTRY_PASSWORD_AGAIN, IDC_ENTRY_NOTES, IDC_ENTRY_EXPIRY_DATE}) {
        EXPECT_TRUE(c.control(id).readOnly) << id;
    }
    EXPECT_FALSE(c.isEnabled(IDC_ENTRY_EXPIRES));
    EXPECT_FALSE(c.isVisible(kDialogCancel));
    c.type(IDC_ENTRY_USERNAME, "x");
    EXPECT_EQ(c.text(IDC_ENTRY_USERNAME), "ann");
    EXPECT_TRUE(log.has(eInformation, "Entry is not encrypted."));
    for (const tInsert& b : kInserts) EXPECT_EQ(c.control(b.id).toolTip, b.toolTip);
}

TEST_F(EntryDialogsTest, ViewOfAnEncryptedEntryShowsAsterisksThatTheButtonRevealsAndHides) {
    open();
    CEntryDataDlg dialog;
    dialog.SetNodeData(storedEntry(true, true));
    MemoryDialogControls c(dialog);
    c.start();
    EXPECT_EQ(c.title(), "View/Modify entry 42");
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD), "*******");
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD_AGAIN), "*******");
    EXPECT_EQ(c.text(IDC_ENTRY_USERNAME), "ann");
    EXPECT_EQ(c.text(IDC_ENTRY_URL), "http://bank.example");
    EXPECT_EQ(c.text(IDC_ENTRY_NOTES), "pin 1234");
    EXPECT_EQ(c.text(IDC_ENTRY_EXPIRY_DATE), "2031-01-01");
    EXPECT_TRUE(c.checked(IDC_ENTRY_EXPIRES));
    EXPECT_TRUE(c.click(IDC_ENTRY_PASSWORD_BUTTON));
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD), "hunter2");
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD_AGAIN), "hunter2");
    EXPECT_TRUE(c.click(IDC_ENTRY_PASSWORD_BUTTON));
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD), "*******");
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD_AGAIN), "*******");
    EXPECT_TRUE(dialogs.opened.size() == 1) << "only the master password dialog was shown";
    EXPECT_TRUE(log.has(eInformation, "Entry is encrypted."));
    EXPECT_TRUE(log.has(eInformation, "Decrypting password."));
    for (const char* step : {"Decrypt username.", "Decrypt notes.", "Decrypt URL.", "Decrypt Expiredate."}) {
        EXPECT_TRUE(log.has(eRubbish, step)) << step;
    }
    // Revealed when the dialog ends, the fields show asterisks again.
    c.click(IDC_ENTRY_PASSWORD_BUTTON);
    c.click(kDialogOk);
    EXPECT_TRUE(c.isSecureMode(IDC_ENTRY_PASSWORD));
    EXPECT_TRUE(c.isSecureMode(IDC_ENTRY_PASSWORD_AGAIN));
    for (const char* secret : {"hunter2", "ann", "bank.example", "pin 1234"}) {
        EXPECT_FALSE(logMentions(secret)) << secret;
    }
}

TEST_F(EntryDialogsTest, ViewInsertButtonsDoNothingBeforeModify) {
    open();
    CEntryDataDlg dialog;
    dialog.SetNodeData(storedEntry(false));
    MemoryDialogControls c(dialog);
    c.start();
    for (const tInsert& b : kInserts) c.click(b.id);
    EXPECT_EQ(c.text(IDC_ENTRY_NOTES), "pin 1234");
    EXPECT_TRUE(c.click(IDC_ENTRY_MODIFY));
    std::string expected = "pin 1234";
    for (const tInsert& b : kInserts) {
        c.click(b.id);
        expected += b.inserts;
    }
    EXPECT_EQ(c.text(IDC_ENTRY_NOTES), expected);
    c.click(kDialogOk);
    EXPECT_EQ(dialog.m_modified, 1);
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_EQ(node.notes, expected);
}

TEST_F(EntryDialogsTest, ViewOkWithoutModifyLeavesModifiedAtZero) {
    open();
    CEntryDataDlg dialog;
    dialog.SetNodeData(storedEntry(true));
    dialogs.users.push_back([](MemoryDialogControls& c) { c.click(kDialogOk); });
    EXPECT_EQ(dialog.DoModal(), kDialogOk);
    EXPECT_EQ(dialog.m_modified, 0);
}

TEST_F(EntryDialogsTest, ViewCancelAfterModifyResetsModified) {
    open();
    CEntryDataDlg dialog;
    dialog.SetNodeData(storedEntry(true));
    dialogs.users.push_back([](MemoryDialogControls& c) {
        c.click(IDC_ENTRY_MODIFY);
        EXPECT_TRUE(c.isVisible(kDialogCancel));
        c.replace(IDC_ENTRY_USERNAME, "bob");
        c.click(kDialogCancel);
    });
    EXPECT_EQ(dialog.DoModal(), kDialogCancel);
    EXPECT_EQ(dialog.m_modified, 0);
}

TEST_F(EntryDialogsTest, ViewModifyOpensTheFieldsAndTheExpiryFollowsTheBox) {
    open();
    {
        CEntryDataDlg dialog;
        dialog.SetNodeData(storedEntry(true, true));
        MemoryDialogControls c(dialog);
        c.start();
        c.click(IDC_ENTRY_MODIFY);
        for (int id : {IDC_ENTRY_USERNAME, IDC_ENTRY_URL, IDC_ENTRY_NOTES, IDC_ENTRY_EXPIRY_DATE}) {
            EXPECT_FALSE(c.control(id).readOnly) << id;
        }
        for (int id : {IDC_ENTRY_GROUP, IDC_ENTRY_TITLE, IDC_ENTRY_PASSWORD, IDC_ENTRY_PASSWORD_AGAIN}) {
            EXPECT_TRUE(c.control(id).readOnly) << id;
        }
        EXPECT_TRUE(c.isEnabled(IDC_ENTRY_EXPIRES));
        EXPECT_TRUE(c.checked(IDC_ENTRY_EXPIRES));
        EXPECT_FALSE(c.isEnabled(IDC_ENTRY_MODIFY));
        EXPECT_TRUE(c.isVisible(kDialogCancel));
        c.click(IDC_ENTRY_EXPIRES);  // off
        EXPECT_TRUE(c.control(IDC_ENTRY_EXPIRY_DATE).readOnly);
        c.click(kDialogOk);
        tTreeNode node;
        dialog.GetNodeData(node);
        EXPECT_FALSE(node.expires);
        EXPECT_EQ(decrypted(node.expireTimeText, node.expireTimeSalt), "2031-01-01");
    }
    CEntryDataDlg dialog;
    dialog.SetNodeData(storedEntry(false, false));
    MemoryDialogControls c(dialog);
    c.start();
    c.click(IDC_ENTRY_MODIFY);
    EXPECT_TRUE(c.control(IDC_ENTRY_EXPIRY_DATE).readOnly);
    EXPECT_FALSE(c.checked(IDC_ENTRY_EXPIRES));
    EXPECT_TRUE(c.isEnabled(IDC_ENTRY_PASSWORD_BUTTON)) << "after Modify the button changes the password";
    c.click(IDC_ENTRY_EXPIRES);
    EXPECT_FALSE(c.control(IDC_ENTRY_EXPIRY_DATE).readOnly);
    c.type(IDC_ENTRY_EXPIRY_DATE, "2040-02-02");
    c.click(kDialogOk);
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_TRUE(node.expires);
    EXPECT_EQ(node.expireTimeText, "2040-02-02");
}

TEST_F(EntryDialogsTest, ViewRoundTripEncryptsTheChangedFieldsUnderFreshSalts) {
    open();
    const tTreeNode stored = storedEntry(true, true);
    CEntryDataDlg dialog;
    dialog.SetNodeData(stored);
    MemoryDialogControls c(dialog);
    c.start();
    c.click(IDC_ENTRY_MODIFY);
    c.replace(IDC_ENTRY_USERNAME, "bob");
    c.replace(IDC_ENTRY_NOTES, "pin 9876");
    c.replace(IDC_ENTRY_URL, "");
    c.click(kDialogOk);
    ASSERT_EQ(dialog.m_modified, 1);
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_EQ(node.uniqueNumber, 42u);
    EXPECT_EQ(node.name, "Giro");
    EXPECT_EQ(node.group, "bank");
    EXPECT_TRUE(node.encrypted);
    EXPECT_TRUE(node.expires);
    EXPECT_EQ(decrypted(node.userName, node.userNameSalt), "bob");
    EXPECT_EQ(decrypted(node.notes, node.notesSalt), "pin 9876");
    EXPECT_EQ(decrypted(node.password, node.passwordSalt), "hunter2");
    EXPECT_EQ(decrypted(node.expireTimeText, node.expireTimeSalt), "2031-01-01");
    EXPECT_EQ(decrypted(node.encryptedTitle, node.titleSalt), "Giro");
    EXPECT_TRUE(node.url.empty());
    EXPECT_TRUE(node.urlSalt.empty()) << "an emptied field stays unsalted";
    for (const auto& pair : {std::make_pair(&node.userNameSalt, &stored.userNameSalt),
                             std::make_pair(&node.notesSalt, &stored.notesSalt),
                             std::make_pair(&node.passwordSalt, &stored.passwordSalt),
                             std::make_pair(&node.expireTimeSalt, &stored.expireTimeSalt),
                             std::make_pair(&node.titleSalt, &stored.titleSalt)}) {
        EXPECT_TRUE(isSalt(*pair.first));
        EXPECT_NE(*pair.first, *pair.second) << "a fresh salt";
    }
    for (const char* secret : {"hunter2", "bob", "pin 9876"}) EXPECT_FALSE(logMentions(secret)) << secret;
    // The number is the entry's own, not registered again.
    tTreeNode other = makeEntry("x");
    other.setUniqueNumber(42, 1);
    EXPECT_EQ(other.uniqueNumber, 42u);
}

TEST_F(EntryDialogsTest, ViewModifyTakesANewPasswordFromThePasswordDialog) {
    open();
    {
        CEntryDataDlg dialog;
        dialog.SetNodeData(storedEntry(true));
        MemoryDialogControls c(dialog);
        c.start();
        c.click(IDC_ENTRY_MODIFY);
        std::string preset;
        bool presetEncrypt = false;
        willSetPassword("n3w", true, &preset, &presetEncrypt);
        c.click(IDC_ENTRY_PASSWORD_BUTTON);
        EXPECT_EQ(dialogs.opened.back(), IDD_MODIFY_PASSWORD);
        EXPECT_EQ(preset, "hunter2");
        EXPECT_TRUE(presetEncrypt);
        EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD), "***");
        c.click(kDialogOk);
        tTreeNode node;
        dialog.GetNodeData(node);
        EXPECT_TRUE(node.encrypted);
        EXPECT_EQ(decrypted(node.password, node.passwordSalt), "n3w");
        EXPECT_FALSE(logMentions("n3w"));
    }
    {
        // Encryption switched off in the password dialog: the entry becomes plain.
        CEntryDataDlg dialog;
        dialog.SetNodeData(storedEntry(true, true));
        MemoryDialogControls c(dialog);
        c.start();
        c.click(IDC_ENTRY_MODIFY);
        willSetPassword("plain now", false);
        c.click(IDC_ENTRY_PASSWORD_BUTTON);
        EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD), "plain now");
        c.click(kDialogOk);
        tTreeNode node;
        dialog.GetNodeData(node);
        EXPECT_FALSE(node.encrypted);
        EXPECT_EQ(node.password, "plain now");
        EXPECT_EQ(node.userName, "ann");
        EXPECT_EQ(node.notes, "pin 1234");
        EXPECT_EQ(node.expireTimeText, "2031-01-01");
        for (const std::string* salt : {&node.passwordSalt, &node.userNameSalt, &node.urlSalt, &node.notesSalt,
                                        &node.expireTimeSalt, &node.titleSalt}) {
            EXPECT_TRUE(salt->empty());
        }
    }
    // A plain entry opens the password dialog with Encrypt off and its password readable.
    CEntryDataDlg dialog;
    dialog.SetNodeData(storedEntry(false));
    MemoryDialogControls c(dialog);
    c.start();
    c.click(IDC_ENTRY_MODIFY);
    std::string preset;
    bool presetEncrypt = true;
    willSetPassword("now secret", true, &preset, &presetEncrypt);
    c.click(IDC_ENTRY_PASSWORD_BUTTON);
    EXPECT_EQ(preset, "hunter2");
    EXPECT_FALSE(presetEncrypt);
    EXPECT_EQ(c.shown(IDC_ENTRY_PASSWORD), "**********");
    c.click(kDialogOk);
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_TRUE(node.encrypted);
    EXPECT_EQ(decrypted(node.password, node.passwordSalt), "now secret");
    EXPECT_EQ(decrypted(node.userName, node.userNameSalt), "ann");
    EXPECT_EQ(decrypted(node.encryptedTitle, node.titleSalt), "Giro");
}

TEST_F(EntryDialogsTest, ViewCancelledPasswordDialogKeepsThePassword) {
    open();
    CEntryDataDlg dialog;
    dialog.SetNodeData(storedEntry(true));
    MemoryDialogControls c(dialog);
    c.start();
    c.click(IDC_ENTRY_MODIFY);
    willCancel();
    c.click(IDC_ENTRY_PASSWORD_BUTTON);
    c.click(kDialogOk);
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_EQ(decrypted(node.password, node.passwordSalt), "hunter2");
}

TEST_F(EntryDialogsTest, ViewShowsAMegabyteOfNotesAndHandsThemBack) {
    open();
    std::string notes(1024 * 1024, 'n');
    tTreeNode stored = storedEntry(true);
    security::encrypt(notes, stored.notes, stored.notesSalt);
    CEntryDataDlg dialog;
    dialog.SetNodeData(stored);
    MemoryDialogControls c(dialog);
    c.start();
    EXPECT_EQ(c.text(IDC_ENTRY_NOTES).size(), notes.size());
    c.click(IDC_ENTRY_MODIFY);
    c.type(IDC_ENTRY_NOTES, "!");
    c.click(kDialogOk);
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_EQ(decrypted(node.notes, node.notesSalt), notes + "!");
}

// ---- Linux: the dialogs through the host's request callback ----

struct Request {
    int type;
    std::string title;
    std::string text;
    std::string preset;  // what a text request must come with
    std::string answer;
    bool ok = true;  // false: the user cancels (or answers No)
};

class EntryDialogsLinuxTest : public EntryDialogsTest {
protected:
    void SetUp() override {
        EntryDialogsTest::SetUp();
        open();
        native_ = platform::nativeServices().dialogs;
        native_->setHostRequest([this](int type, const std::string& title, const std::string& text,
                                       std::string& answer) {
            if (script.empty()) {
                ADD_FAILURE() << "unexpected request: " << title << " / " << text;
                return false;
            }
            Request r = script.front();
            script.pop_front();
            EXPECT_EQ(type, r.type) << text;
            EXPECT_EQ(title, r.title) << text;
            EXPECT_EQ(text, r.text);
            if (type == wfx::RT_Other) {
                EXPECT_EQ(answer, r.preset) << text;
            }
            if (r.ok && (type == wfx::RT_Password || type == wfx::RT_Other)) answer = r.answer;
            return r.ok;
        });
        // The nested password dialog goes the same way.
        platform::services().dialogs = native_;
    }
    void TearDown() override {
        native_->setHostRequest({});
        EXPECT_TRUE(script.empty()) << script.size() << " requests never came";
        EntryDialogsTest::TearDown();
    }

    static Request yes(const std::string& title, const std::string& text, bool answer = true) {
        return {wfx::RT_MsgYesNo, title, text, "", "", answer};
    }
    static Request field(const std::string& title, const std::string& text, const std::string& preset,
                         const std::string& answer) {
        return {wfx::RT_Other, title, text, preset, answer, true};
    }
    static Request secret(const std::string& text, const std::string& answer) {
        return {wfx::RT_Password, "Enter Password", text, "", answer, true};
    }

    std::deque<Request> script;

private:
    platform::Dialogs* native_ = nullptr;
};

TEST_F(EntryDialogsLinuxTest, NewEntryAsksEachFieldOnceAndTheTitleAgainWhileRefused) {
    const std::string t = "New Entry";
    script = {field(t, "Group:", "\\bank", "\\mail\\work"),
              field(t, "Title:", "", "a/b"),
              field(t, "UserName:", "", "ann"),
              field(t, "URL:", "", "http://bank.example"),
              yes(t, "Set a password for this entry?"),
              yes("Enter Password", "Encrypt this entry?"),
              yes("Enter Password", "Generate a password?", false),
              secret("Type Password", "pw1"),
              secret("ReType Password", "pw1"),
              field(t, "Notes:", "", "pin 1234"),
              yes(t, "Does this entry expire?"),
              field(t, "Expiry date:", "", "2031-01-01"),
              field(t, "Title:", "a/b", ""),  // refused: the title again, emptied
              field(t, "Title:", "", "Giro")};
    CNewEntryDlg dialog;
    EXPECT_EQ(dialog.DoModal(), kDialogOk);
    EXPECT_EQ(shownMessages(), std::vector<std::string>{kBadTitle});
    EXPECT_EQ(dialog.m_chosenGroupPath, "\\Mail\\Work");
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_EQ(node.name, "Giro");
    EXPECT_EQ(node.group, "Work");
    EXPECT_TRUE(node.expires);
    EXPECT_EQ(decrypted(node.password, node.passwordSalt), "pw1");
    EXPECT_EQ(decrypted(node.userName, node.userNameSalt), "ann");
    EXPECT_EQ(decrypted(node.notes, node.notesSalt), "pin 1234");
    EXPECT_EQ(decrypted(node.url, node.urlSalt), "http://bank.example");
    EXPECT_EQ(decrypted(node.expireTimeText, node.expireTimeSalt), "2031-01-01");
}

TEST_F(EntryDialogsLinuxTest, NewEntryWithAPresetGroupSkipsItAndACancelEndsEverything) {
    const std::string t = "New Entry";
    script = {field(t, "Title:", "", "Giro"), field(t, "UserName:", "", "ann"),
              {wfx::RT_Other, t, "URL:", "", "", false}};
    CNewEntryDlg dialog;
    dialog.setGroup("\\Zeta");
    EXPECT_EQ(dialog.DoModal(), kDialogCancel);
    EXPECT_TRUE(shownMessages().empty());

    // No password, no expiry.
    script = {field(t, "Title:", "", "Plain"), field(t, "UserName:", "", "ann"), field(t, "URL:", "", ""),
              yes(t, "Set a password for this entry?", false), field(t, "Notes:", "", ""), yes(t, "Does this entry expire?", false)};
    CNewEntryDlg second;
    second.setGroup("\\Zeta");
    EXPECT_EQ(second.DoModal(), kDialogOk);
    tTreeNode node;
    second.GetNodeData(node);
    EXPECT_FALSE(node.encrypted);
    EXPECT_EQ(node.userName, "ann");
    EXPECT_EQ(second.m_chosenGroupPath, "\\Zeta");
}

TEST_F(EntryDialogsLinuxTest, NewEntryWithoutAnyFolderSaysSoAndCancels) {
    xmlData().document()->RootElement()->Clear();
    CNewEntryDlg dialog;
    EXPECT_EQ(dialog.DoModal(), kDialogCancel);
    EXPECT_EQ(shownMessages(), std::vector<std::string>{kNoFolder});
}

TEST_F(EntryDialogsLinuxTest, NewEntryStopsAskingAHostThatNeverGivesATitle) {
    int titles = 0;
    platform::nativeServices().dialogs->setHostRequest(
        [&](int type, const std::string&, const std::string& text, std::string& answer) {
            if (text == "Title:") ++titles;
            if (type == wfx::RT_Other) answer = text == "Group:" ? "\\Zeta" : "";
            return type != wfx::RT_MsgYesNo;
        });
    CNewEntryDlg dialog;
    EXPECT_EQ(dialog.DoModal(), kDialogCancel);
    EXPECT_GT(titles, 1);
    EXPECT_LE(titles, 1000);
}

TEST_F(EntryDialogsLinuxTest, ViewShowsTheEntryAndModifiesWhatIsAsked) {
    const std::string t = "View/Modify entry 42";
    const std::string shown =
        "Group: bank\nTitle: Giro\nUserName: ann\nURL: http://bank.example\nPassword: hunter2\nNotes: pin 1234\n"
        "Expires: 2031-01-01";
    script = {yes(t, "Show the password?"),
              {wfx::RT_MsgOK, t, shown, "", "", true},
              yes(t, "Modify this entry?"),
              field(t, "UserName:", "ann", "bob"),
              field(t, "URL:", "http://bank.example", "http://bank.example"),
              field(t, "Notes:", "pin 1234", "pin 9876"),
              yes(t, "Does this entry expire?", false),
              yes(t, "Change the password?"),
              yes("Enter Password", "Encrypt this entry?"),
              yes("Enter Password", "Generate a password?", false),
              secret("Type Password", ""),  // an empty answer keeps the password
              secret("ReType Password", "")};
    CEntryDataDlg dialog;
    dialog.SetNodeData(storedEntry(true, true));
    EXPECT_EQ(dialog.DoModal(), kDialogOk);
    EXPECT_EQ(dialog.m_modified, 1);
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_EQ(decrypted(node.userName, node.userNameSalt), "bob");
    EXPECT_EQ(decrypted(node.notes, node.notesSalt), "pin 9876");
    EXPECT_EQ(decrypted(node.password, node.passwordSalt), "hunter2");
    EXPECT_FALSE(node.expires);
}

TEST_F(EntryDialogsLinuxTest, ViewWithoutRevealShowsAsterisksAndNoModifyChangesNothing) {
    const std::string t = "View/Modify entry 42";
    script = {yes(t, "Show the password?", false),
              {wfx::RT_MsgOK, t,
               "Group: bank\nTitle: Giro\nUserName: ann\nURL: http://bank.example\nPassword: *******\n"
               "Notes: pin 1234\nExpires: no",
               "", "", true},
              yes(t, "Modify this entry?", false)};
    CEntryDataDlg dialog;
    dialog.SetNodeData(storedEntry(true));
    EXPECT_EQ(dialog.DoModal(), kDialogOk);
    EXPECT_EQ(dialog.m_modified, 0);

    // A plain entry shows its password and asks no reveal; a cancelled
    // request cancels.
    script = {{wfx::RT_MsgOK, t,
               "Group: bank\nTitle: Giro\nUserName: ann\nURL: http://bank.example\nPassword: hunter2\n"
               "Notes: pin 1234\nExpires: no",
               "", "", true},
              yes(t, "Modify this entry?"),
              {wfx::RT_Other, t, "UserName:", "ann", "", false}};
    CEntryDataDlg plainDialog;
    plainDialog.SetNodeData(storedEntry(false));
    EXPECT_EQ(plainDialog.DoModal(), kDialogCancel);
    EXPECT_EQ(plainDialog.m_modified, 0);
}

}  // namespace
