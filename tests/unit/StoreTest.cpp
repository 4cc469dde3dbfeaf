// Opening, creating and browsing the store on first access, with the
// master password dialog driven as a user would.
#include "StoreFixture.h"

namespace {

using StoreTest = StoreFixture;

const std::vector<std::string> kRootCommands = {"New Entry", "Lock Keyhold", "Default Auto Type Window is OFF"};

std::vector<std::string> withCommands(std::vector<std::string> rest) {
    std::vector<std::string> all = kRootCommands;
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

TEST_F(StoreTest, FirstListingWithoutAStoreCreatesOne) {
    start();
    willType("secret", "secret");
    EXPECT_EQ(list("\\"), withCommands({"Email", "Network", "Windows", "Homebanking", "Internet"}));
    EXPECT_EQ(dialogs.opened, std::vector<int>{3029});
    ASSERT_EQ(files.writes, 1) << "the new store reaches the disk in one piece";
    TiXmlDocument d = parsedStore();
    TiXmlElement* root = d.RootElement();
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->Value(), "pswd");
    EXPECT_STREQ(root->Attribute("basename"), "My Passwords");
    EXPECT_EQ(std::string(root->Attribute("masterkey")), hashOf("secret"));
    EXPECT_EQ(std::string(root->Attribute("masterkey")).size(), 40u);
    int folders = 0;
    for (TiXmlElement* f = root->FirstChildElement(); f; f = f->NextSiblingElement()) {
        EXPECT_STREQ(f->Value(), "folder");
        EXPECT_NE(f->Attribute("creationtime"), nullptr);
        EXPECT_EQ(f->Attribute("icon"), nullptr);
        ++folders;
    }
    EXPECT_EQ(folders, 5);
    // Later listings are answered from the tree.
    EXPECT_EQ(list("\\Email"), std::vector<std::string>{"[New Entry]"});
    EXPECT_EQ(dialogs.opened.size(), 1u);
}

TEST_F(StoreTest, NewPasswordsMustMatch) {
    start();
    dialogs.users.push_back([](platform::MemoryDialogControls& c) {
        EXPECT_TRUE(c.isVisible(3025));
        EXPECT_EQ(c.control(3025).toolTip, "Both passwords must match.");
        c.type(3024, "one");
        c.type(3025, "two");
        c.click(1);
        EXPECT_FALSE(c.ended());
        c.replace(3025, "one");
        c.click(1);
    });
    EXPECT_EQ(list("\\").size(), 8u);
    EXPECT_EQ(shownMessages(), std::vector<std::string>{"Passwords not equal.\nRetype password!"});
    EXPECT_EQ(std::string(parsedStore().RootElement()->Attribute("masterkey")), hashOf("one"));
}

TEST_F(StoreTest, ExistingStoreAsksOnceAndRefusesWrongPasswords) {
    start();
    willType("secret", "secret");
    list("\\");
    xmlData().resetForTesting();
    resetTreeForTesting();
    resetUniqueNumbersForTesting();  // as a new process starts
    theApp().m_masterPassword.clear();
    int writes = files.writes;

    dialogs.users.push_back([](platform::MemoryDialogControls& c) {
        EXPECT_FALSE(c.isVisible(3025));
        EXPECT_FALSE(c.isEnabled(1));  // nothing typed yet
        EXPECT_LT(c.height(), 98);     // the verify dialog is shorter
        EXPECT_GT(c.control(1).tpl.y, 36);
        EXPECT_LT(c.control(1).tpl.y, 55);
        c.type(3024, "wrong");
        EXPECT_TRUE(c.isEnabled(1));
        EXPECT_EQ(c.shown(3024), "*****");
        c.click(1);
        EXPECT_FALSE(c.ended());
        EXPECT_TRUE(theApp().m_masterPassword.isEmpty()) << "a wrong password never becomes the master password";
        c.replace(3024, "secret");
        c.click(1);
    });
    EXPECT_EQ(list("\\"), withCommands({"Email", "Network", "Windows", "Homebanking", "Internet"}));
    EXPECT_EQ(shownMessages(), std::vector<std::string>{"Passwords not equal.\nRetype password!"});
    EXPECT_EQ(files.writes, writes) << "opening writes nothing";
}

TEST_F(StoreTest, CancelDeniesAccessAndTheNextListingAsksAgain) {
    start();
    willCancel();
    EXPECT_TRUE(list("\\").empty());
    EXPECT_EQ(shownMessages(), std::vector<std::string>{"Deny access"});
    EXPECT_TRUE(log.has(eTroubleShoot, "Deny access"));
    EXPECT_FALSE(files.exists(store));
    willType("pw", "pw");
    EXPECT_EQ(list("\\").size(), 8u);
    EXPECT_EQ(dialogs.opened.size(), 2u);
}

TEST_F(StoreTest, DevelopmentPasswordSkipsTheDialog) {
    files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("dev") +
                           "\"><folder name=\"Mail\" id=\"2\" creationtime=\"1\"/></pswd>";
    start("[DEVELOPMENT]\nMasterPassword=dev\n");
    EXPECT_EQ(list("\\"), withCommands({"Mail"}));
    EXPECT_TRUE(dialogs.opened.empty());
    EXPECT_TRUE(log.has(eImportant, "Suppress password mode!"));
    EXPECT_TRUE(log.has(eRubbish, "Database found."));
}

TEST_F(StoreTest, WrongDevelopmentPasswordOrNoStoreIsDenied) {
    files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("dev") + "\"/>";
    start("[DEVELOPMENT]\nMasterPassword=nope\n");
    EXPECT_TRUE(list("\\").empty());
    EXPECT_EQ(shownMessages(), std::vector<std::string>{"Deny access"});
    EXPECT_TRUE(theApp().m_masterPassword.isEmpty());
    files.content.erase(store);
    xmlData().resetForTesting();
    EXPECT_TRUE(list("\\").empty());
    EXPECT_FALSE(files.exists(store)) << "no store is created without the dialog";
}

TEST_F(StoreTest, StoreWithoutMasterKeyNeverOpens) {
    for (const char* attr : {"", " masterkey=\"\""}) {
        xmlData().resetForTesting();
        files.content[store] = std::string("<pswd basename=\"B\" id=\"1\"") + attr + "/>";
        start();
        dialogs.users.push_back([](platform::MemoryDialogControls& c) {
            c.type(3024, "anything");
            c.click(1);
            EXPECT_FALSE(c.ended());
            c.click(2);
        });
        EXPECT_TRUE(list("\\").empty());
    }
}

TEST_F(StoreTest, UnparsableStoreIsReportedAndLeftAlone) {
    files.content[store] = "<pswd basename=\"B\" id=\"1\"><folder name=\"x\"";
    start();
    EXPECT_TRUE(list("\\").empty());
    EXPECT_EQ(shownMessages(), std::vector<std::string>{"Error Parsing XML."});
    EXPECT_EQ(files.writes, 0);
    EXPECT_EQ(files.content[store], "<pswd basename=\"B\" id=\"1\"><folder name=\"x\"");
    EXPECT_FALSE(xmlData().isInitialized());
}

TEST_F(StoreTest, StoreThatCannotBeReadIsNeverReplaced) {
    files.unreadable.insert(store);
    start();
    EXPECT_TRUE(list("\\").empty());
    ASSERT_EQ(messageBoxes.shown.size(), 1u);
    EXPECT_NE(messageBoxes.shown[0].text.find(store), std::string::npos);
    EXPECT_TRUE(dialogs.opened.empty());
    EXPECT_EQ(files.content.count(store), 0u);
}

TEST_F(StoreTest, UnsetVariableInTheStoreLocationCreatesNothing) {
    start("[MAIN]\ndatafile=%USERPROFILE%\\keys.xml\n");
    EXPECT_TRUE(list("\\").empty());
    ASSERT_EQ(messageBoxes.shown.size(), 1u);
    EXPECT_NE(messageBoxes.shown[0].text.find("USERPROFILE"), std::string::npos);
    EXPECT_TRUE(dialogs.opened.empty());
}

struct LocationCase {
    const char* datafile;
    std::map<std::string, std::string> env;
    std::string expected;  // with {F} for the plug-in folder and {S} for the separator
};

class StoreLocationTest : public StoreFixture, public ::testing::WithParamInterface<LocationCase> {};

TEST_P(StoreLocationTest, ResolvesTheSetting) {
    environment.variables = GetParam().env;
    start(std::string("[MAIN]\ndatafile=") + GetParam().datafile + "\n");
    xmlData().initializeXmlData();
    std::string expected = GetParam().expected;
    for (std::string::size_type i; (i = expected.find("{F}")) != std::string::npos;) expected.replace(i, 3, folder);
    for (std::string::size_type i; (i = expected.find("{S}")) != std::string::npos;) expected.replace(i, 3, sep);
    EXPECT_EQ(xmlData().fileName(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, StoreLocationTest,
    ::testing::Values(
        LocationCase{"%USERPROFILE%\\keys.xml", {{"USERPROFILE", "C:\\Users\\ann"}}, "C:\\Users\\ann\\keys.xml"},
        LocationCase{"%COMMANDER_PATH%\\db.xml", {{"COMMANDER_PATH", "D:\\tc"}}, "D:\\tc\\db.xml"},
        LocationCase{"mydb.xml", {}, "{F}{S}mydb.xml"},
        LocationCase{"X%USERPROFILE%", {{"USERPROFILE", "C:\\Users\\ann"}}, "{F}{S}X%USERPROFILE%"},
        LocationCase{"", {}, "{F}{S}database.xml"}
#if defined(_WIN32)
        ,
        LocationCase{"C:\\keys\\db.xml", {}, "C:\\keys\\db.xml"}
#else
        ,
        LocationCase{"/srv/keys/db.xml", {}, "/srv/keys/db.xml"}
#endif
        ));

}  // namespace
