// Changing the master password: every encrypted field moves to the new
// password, or, when one of them does not decrypt under the previous password
// or the store cannot be saved, nothing changes at all.
#include "StoreFixture.h"
#include "security/SecureString.h"

namespace {

CSecureString secure(const char* text) {
    CSecureString s;
    s.setText(text);
    return s;
}

// "hunter2" under the password "pw" with the salt 0011223344556677.
const char kFixedSalt[] = "0011223344556677";
const char kFixedCipher[] = "5EDA94152F6E2E148FCEE4A6690EA786";
// "Bank" under the password "other" with the same salt; under "pw" its padding is invalid.
const char kForeignCipher[] = "461BB0A261B2BE2A984E253AFD64DF3D";

TEST(DecryptCheckedTest, TellsADecryptionThatFailed) {
    std::string plain = "kept";
    EXPECT_EQ(security::decryptChecked(secure("pw"), kFixedCipher, kFixedSalt, plain), 1);
    EXPECT_EQ(plain, "kepthunter2");
    std::string bank;
    EXPECT_EQ(security::decryptChecked(secure("other"), kForeignCipher, kFixedSalt, bank), 1);
    EXPECT_EQ(bank, "Bank");
    // A wrong password (invalid padding), a damaged text, no salt: output untouched.
    struct Case {
        const char* password;
        std::string cipher, salt;
    };
    for (const Case& c : {Case{"other", kFixedCipher, kFixedSalt}, Case{"n3w", kFixedCipher, kFixedSalt},
                          Case{"pw", kForeignCipher, kFixedSalt},
                          Case{"pw", std::string(kFixedCipher).substr(0, 30), kFixedSalt},
                          Case{"pw", std::string(kFixedCipher) + "00", kFixedSalt},
                          Case{"pw", kFixedCipher, ""}}) {
        std::string out = "kept";
        EXPECT_EQ(security::decryptChecked(secure(c.password), c.cipher, c.salt, out), 0)
            << c.password << " " << c.cipher << " " << c.salt;
        EXPECT_EQ(out, "kept");
    }
    // The forms that do not tell keep their behaviour: 1, with what they got.
    std::string partial;
    EXPECT_EQ(security::decryptWith(secure("other"), kFixedCipher, kFixedSalt, partial), 1);
}

// Everything a node stores, for comparing the tree before and after.
std::vector<std::string> treeSnapshot() {
    std::vector<std::string> all;
    for (const tTreeNode& n : passwordTree()) {
        for (const std::string* s :
             {&n.name, &n.encryptedTitle, &n.titleSalt, &n.userName, &n.userNameSalt, &n.password, &n.passwordSalt,
              &n.notes, &n.notesSalt, &n.url, &n.urlSalt, &n.expireTimeText, &n.expireTimeSalt, &n.creationTimeText,
              &n.creationTimeSalt, &n.lastModTimeText, &n.lastModTimeSalt, &n.lastAccessTimeText,
              &n.lastAccessTimeSalt})
            all.push_back(*s);
        all.push_back(std::to_string(n.uniqueNumber) + (n.encrypted ? "E" : "-"));
    }
    return all;
}

// Every element of the file that carries a salt: its text and salt, by a
// name made of the element's id and tag.
struct SaltedText {
    std::string where, text, salt;
};

void collectSalted(TiXmlElement* e, const std::string& id, std::vector<SaltedText>& out) {
    for (; e != nullptr; e = e->NextSiblingElement()) {
        std::string own = e->Attribute("id") ? e->Attribute("id") : id;
        if (const char* salt = e->Attribute("salt")) {
            std::string text;
            if (e->ValueStr() == "folder")
                text = e->Attribute("creationtime") ? e->Attribute("creationtime") : "";
            else if (e->ValueStr() == "file")
                text = e->Attribute("name") ? e->Attribute("name") : "";
            else
                text = e->GetText() ? e->GetText() : "";
            out.push_back({own + "/" + e->ValueStr(), text, salt});
        }
        collectSalted(e->FirstChildElement(), own, out);
    }
}

}  // namespace

class MasterPasswordChangeTest : public StoreFixture {
protected:
    std::map<std::string, std::string> plainTexts;  // what each salted element of the file holds

    void SetUp() override {
        StoreFixture::SetUp();
        auto title = encryptedUnder("pw", "Bank"), user = encryptedUnder("pw", "alice"),
             pass = encryptedUnder("pw", "s3cret"), url = encryptedUnder("pw", "https://bank.example/"),
             notes = encryptedUnder("pw", "pin 1234"), created = encryptedUnder("pw", "1258363200"),
             accessed = encryptedUnder("pw", "1258363300"), expiry = encryptedUnder("pw", "2030-01-01"),
             folderTime = encryptedUnder("pw", "1258363000");
        auto field = [](const char* tag, const std::pair<std::string, std::string>& v) {
            return "<" + std::string(tag) + " salt=\"" + v.second + "\">" + v.first + "</" + tag + ">";
        };
        files.content[store] =
            "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") + "\">" +
            "<folder name=\"Money\" id=\"2\" creationtime=\"" + folderTime.first + "\" salt=\"" + folderTime.second +
            "\">" + "<file name=\"" + title.first + "\" salt=\"" + title.second + "\" id=\"3\">" +
            field("username", user) + field("url", url) + field("password", pass) + field("notes", notes) +
            field("creationtime", created) + field("lastaccesstime", accessed) +
            "<expiretime expires=\"true\" salt=\"" + expiry.second + "\">" + expiry.first + "</expiretime></file>" +
            "</folder>"
            // Marked for encryption without a password: its fields get salts,
            // yet the entry is not flagged encrypted.
            "<file name=\"Door\" id=\"4\" encrypt=\"true\"><username>porter</username>"
            "<notes>code 0000</notes></file>"
            "<file name=\"Plain\" id=\"5\"><username>open</username></file></pswd>";
        plainTexts = {{"2/folder", "1258363000"},   {"3/file", "Bank"},          {"3/username", "alice"},
                      {"3/url", "https://bank.example/"}, {"3/password", "s3cret"}, {"3/notes", "pin 1234"},
                      {"3/creationtime", "1258363200"}, {"3/lastaccesstime", "1258363300"},
                      {"3/expiretime", "2030-01-01"}, {"4/file", "Door"},         {"4/username", "porter"},
                      {"4/notes", "code 0000"}};
        start();
        willType("pw");
        list("\\");
    }
    std::vector<SaltedText> saltedInFile() {
        TiXmlDocument d = parsedStore();
        std::vector<SaltedText> out;
        collectSalted(d.RootElement(), "", out);
        return out;
    }
    std::string master() { return CPlainCopy(theApp().m_masterPassword).c_str(); }
    std::string masterKeyInFile() { return parsedStore().RootElement()->Attribute("masterkey"); }
};

TEST_F(MasterPasswordChangeTest, EveryEncryptedFieldDecryptsUnderTheNewPasswordOnly) {
    std::vector<SaltedText> before = saltedInFile();
    ASSERT_EQ(before.size(), plainTexts.size()) << "every field of the two entries and the folder time has a salt";
    EXPECT_EQ(ReEncryptAll(secure("pw"), secure("n3w")), 1);
    EXPECT_EQ(masterKeyInFile(), hashOf("n3w"));
    EXPECT_EQ(master(), "n3w") << "the new password is in place with the fields encrypted under it";
    std::vector<SaltedText> after = saltedInFile();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        const SaltedText& a = after[i];
        SCOPED_TRACE(a.where);
        ASSERT_EQ(plainTexts.count(a.where), 1u);
        EXPECT_NE(a.salt, before[i].salt) << "a new salt for every field";
        std::string underNew, underOld;
        EXPECT_EQ(security::decryptChecked(secure("n3w"), a.text, a.salt, underNew), 1);
        EXPECT_EQ(underNew, plainTexts[a.where]);
        security::decryptWith(secure("pw"), a.text, a.salt, underOld);
        EXPECT_NE(underOld, plainTexts[a.where]);
    }
    // The store opens under the new password and shows what it held.
    xmlData().resetInitialized();
    willType("n3w");
    EXPECT_EQ(list("\\Money"), (std::vector<std::string>{"[New Entry]", "Bank"}));
    EXPECT_TRUE(shownMessages().empty());
}

TEST_F(MasterPasswordChangeTest, WrongPreviousPasswordChangesNothing) {
    const std::string file = files.content[store];
    const int writes = files.writes;
    const std::vector<std::string> tree = treeSnapshot();
    EXPECT_EQ(ReEncryptAll(secure("wrong"), secure("n3w")), 0);
    EXPECT_EQ(files.content[store], file) << "the file is byte for byte as it was";
    EXPECT_EQ(files.writes, writes);
    EXPECT_EQ(treeSnapshot(), tree);
    // The store goes on under its password.
    EXPECT_EQ(master(), "pw");
    EXPECT_TRUE(IsStorePassword(secure("pw")));
}

TEST_F(MasterPasswordChangeTest, FieldThatDoesNotDecryptStopsTheChangeBeforeAnythingIsWritten) {
    // The last entry of the store carries a field encrypted under another password.
    TreePos plain = passwordTree().end();
    for (TreePos p = passwordTree().begin(); p != passwordTree().end(); ++p)
        if (p->name == "Plain") plain = p;
    ASSERT_NE(plain, passwordTree().end());
    plain->notes = kForeignCipher;
    plain->notesSalt = kFixedSalt;
    const std::string file = files.content[store];
    const std::vector<std::string> tree = treeSnapshot();
    EXPECT_EQ(ReEncryptAll(secure("pw"), secure("n3w")), 0);
    EXPECT_EQ(files.content[store], file);
    EXPECT_EQ(treeSnapshot(), tree) << "the entries before it are not half changed";
    EXPECT_EQ(master(), "pw");
}

TEST_F(MasterPasswordChangeTest, FailedSaveLeavesTreeFileAndDocumentAsTheyWere) {
    const std::string file = files.content[store];
    const std::vector<std::string> tree = treeSnapshot();
    files.failWrites = true;
    EXPECT_EQ(ReEncryptAll(secure("pw"), secure("n3w")), 0);
    EXPECT_EQ(files.content[store], file);
    EXPECT_EQ(treeSnapshot(), tree);
    EXPECT_EQ(master(), "pw") << "the password goes back with the tree";
    // The next single change writes the store as it was, under its own key.
    files.failWrites = false;
    TreePos plainEntry = passwordTree().end();
    for (TreePos p = passwordTree().begin(); p != passwordTree().end(); ++p)
        if (p->name == "Plain") plainEntry = p;
    ASSERT_NE(plainEntry, passwordTree().end());
    plainEntry->userName = "changed";
    ASSERT_EQ(xmlData().updateXML(*plainEntry), 1);
    EXPECT_EQ(masterKeyInFile(), hashOf("pw"));
    for (const SaltedText& s : saltedInFile()) {
        std::string plain;
        EXPECT_EQ(security::decryptChecked(secure("pw"), s.text, s.salt, plain), 1) << s.where;
        EXPECT_EQ(plain, plainTexts[s.where]) << s.where;
    }
}

TEST_F(MasterPasswordChangeTest, StorePasswordIsKnownAlsoWhileTheStoreIsToBeReadAgain) {
    EXPECT_TRUE(IsStorePassword(secure("pw")));
    EXPECT_FALSE(IsStorePassword(secure("Pw")));
    EXPECT_FALSE(IsStorePassword(CSecureString()));
    xmlData().resetInitialized();  // "Reload Database"
    EXPECT_TRUE(IsStorePassword(secure("pw")));
    EXPECT_FALSE(IsStorePassword(secure("n3w")));
    // A file whose key matches but whose fields are under another password.
    TreePos bank = passwordTree().end();
    for (TreePos p = passwordTree().begin(); p != passwordTree().end(); ++p)
        if (p->name == "Bank") bank = p;
    ASSERT_NE(bank, passwordTree().end());
    bank->encryptedTitle = kForeignCipher;
    bank->titleSalt = kFixedSalt;
    EXPECT_FALSE(IsStorePassword(secure("pw")));
}
