// The store file: what loading reads, what writing writes, single changes,
// locking and re-encryption.
#include "ParallelWork.h"
#include "StoreFixture.h"

namespace {

class XmlDataTest : public StoreFixture {
protected:
    // Opens a store file with the given root content under the password "pw".
    void open(const std::string& inner, const std::string& rootAttributes = "basename=\"Base\" id=\"1\"") {
        files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd " + rootAttributes + " masterkey=\"" + hashOf("pw") +
                               "\">" + inner + "</pswd>";
        start();
        willType("pw");
        list("\\");
    }
    TreePos find(const std::string& path) {
        std::vector<std::string> parts;
        SplitVirtualPath(path, parts, false);
        TreePos current, cursor;
        std::string missing;
        FindNodeByPath(parts, current, cursor, missing, passwordTree().begin());
        return missing.empty() ? current : passwordTree().end();
    }
};

TEST_F(XmlDataTest, MarkedEntryIsEncryptedAndTheFileRewrittenOnce) {
    open("<folder name=\"Bank\" id=\"2\" creationtime=\"100\">"
         "<file name=\"Giro\" id=\"3\" encrypt=\"true\"><username>ann</username><url>http://bank</url>"
         "<password>hunter2</password><notes>a&#x0D;&#x0A;b</notes><image/>"
         "<creationtime>1258363200</creationtime><lastmodtime>1258363201</lastmodtime>"
         "<lastaccesstime>1258363202</lastaccesstime><expiretime expires=\"true\">2030-01-01</expiretime></file>"
         "<file name=\"NoPassword\" id=\"4\" encrypt=\"true\"><username>bob</username></file></folder>");
    EXPECT_EQ(list("\\Bank"), (std::vector<std::string>{"[New Entry]", "Giro", "NoPassword"}));
    EXPECT_EQ(files.writes, 1);
    TiXmlDocument d = parsedStore();
    TiXmlElement* giro = XmlData::findElementById(d.RootElement(), 3);
    ASSERT_NE(giro, nullptr);
    EXPECT_EQ(giro->Attribute("encrypt"), nullptr);
    EXPECT_EQ(std::string(giro->Attribute("salt")).size(), 16u);
    EXPECT_STRNE(giro->Attribute("name"), "Giro");
    for (const char* field : {"username", "url", "password", "notes", "creationtime", "lastmodtime", "lastaccesstime",
                              "expiretime"}) {
        TiXmlElement* e = giro->FirstChildElement(field);
        ASSERT_NE(e, nullptr) << field;
        ASSERT_NE(e->Attribute("salt"), nullptr) << field;
        EXPECT_EQ(std::string(e->Attribute("salt")).size(), 16u) << field;
    }
    EXPECT_STREQ(giro->FirstChildElement("expiretime")->Attribute("expires"), "true");

    TreePos g = find("\\Bank\\Giro");
    ASSERT_TRUE(g != passwordTree().end());
    EXPECT_TRUE(g->encrypted);
    EXPECT_EQ(g->getPassword(), "hunter2");
    EXPECT_EQ(g->getUserName(), "ann");
    EXPECT_EQ(g->getNotes(), "a\r\nb");
    EXPECT_EQ(g->getUrl(), "http://bank");
    EXPECT_EQ(timeutil::fileTimeToText(g->ftCreationTime), "1258363200");
    // Without a password the entry's flag stays off, yet its fields read back as they are.
    TreePos n = find("\\Bank\\NoPassword");
    ASSERT_TRUE(n != passwordTree().end());
    EXPECT_FALSE(n->encrypted);
    EXPECT_FALSE(n->userNameSalt.empty());
    EXPECT_EQ(n->getUserName(), "bob");
}

TEST_F(XmlDataTest, ReadsWhatTheFileSaysAndWritesNoIcons) {
    open("<folder basename=\"Old\" id=\"2\"/><folder name=\"Mail\" id=\"3\" icon=\"email\" creationtime=\"5\">"
         "<file name=\"Plain\" id=\"4\" icon=\"key\"><username/><password>pw1</password></file></folder>",
         "name=\"Named\" basename=\"Based\" id=\"1\"");
    EXPECT_EQ(GetBaseNode()->name, "Named");
    TreePos old = find("\\Old");
    ASSERT_TRUE(old != passwordTree().end());
    EXPECT_EQ(old->getIcon(), "default");
    EXPECT_TRUE(log.has(eTroubleShoot, "Directory with no icon defined. Using default"));
    EXPECT_TRUE(log.has(eTroubleShoot, "Directory with no creation time."));
    EXPECT_EQ(find("\\Mail")->getIcon(), "email");
    TreePos plain = find("\\Mail\\Plain");
    EXPECT_EQ(plain->getIcon(), "key");
    EXPECT_EQ(plain->userName, "");
    EXPECT_EQ(plain->userNameSalt, "");
    EXPECT_FALSE(plain->encrypted);
    EXPECT_EQ(plain->absolutePath, "\\Mail\\Plain");
    EXPECT_EQ(find("\\Mail")->absolutePath, "\\Mail\\");

    ASSERT_EQ(xmlData().writeWholeXml(), 1);
    TiXmlDocument d = parsedStore();
    EXPECT_STREQ(d.RootElement()->Attribute("basename"), "Named");
    EXPECT_EQ(d.RootElement()->Attribute("name"), nullptr);
    for (std::uint32_t id : {2u, 3u, 4u}) {
        TiXmlElement* e = XmlData::findElementById(d.RootElement(), id);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->Attribute("icon"), nullptr);
    }
    EXPECT_STREQ(XmlData::findElementById(d.RootElement(), 4)->FirstChildElement("password")->GetText(), "pw1");
}

// Plain values keep every blank: runs inside and blanks at either end are
// part of a user name or password, on reading and on writing back.
TEST_F(XmlDataTest, PlainValuesKeepTheirBlanks) {
    open("<folder name=\"Mail\" id=\"2\"><file name=\"Plain\" id=\"3\"><username>a  b</username>"
         "<password>  lead and trail  </password><url> http://x </url><notes>one  two&#x0A;  three</notes>"
         "</file></folder>");
    TreePos plain = find("\\Mail\\Plain");
    ASSERT_TRUE(plain != passwordTree().end());
    EXPECT_EQ(plain->userName, "a  b");
    EXPECT_EQ(plain->password, "  lead and trail  ");
    EXPECT_EQ(plain->url, " http://x ");
    EXPECT_NE(plain->notes.find("one  two"), std::string::npos);
    EXPECT_NE(plain->notes.find("  three"), std::string::npos);

    ASSERT_EQ(xmlData().writeWholeXml(), 1);
    const std::string& written = files.content[store];
    EXPECT_NE(written.find("<username>a  b</username>"), std::string::npos) << written;
    EXPECT_NE(written.find("<password>  lead and trail  </password>"), std::string::npos) << written;
}

TEST_F(XmlDataTest, BadIdsGetFreshDistinctNumbers) {
    open("<folder name=\"A\" id=\"7\"/><folder name=\"B\" id=\"7\"/><folder name=\"C\" id=\"-3\"/>"
         "<folder name=\"D\" id=\"x\"/><folder name=\"E\"/><folder name=\"F\" id=\"99999999999\"/>");
    std::set<std::uint32_t> numbers;
    for (const char* name : {"\\A", "\\B", "\\C", "\\D", "\\E", "\\F"}) {
        TreePos p = find(name);
        ASSERT_TRUE(p != passwordTree().end()) << name;
        EXPECT_NE(p->uniqueNumber, 0u) << name;
        numbers.insert(p->uniqueNumber);
    }
    numbers.insert(GetBaseNode()->uniqueNumber);
    EXPECT_EQ(numbers.size(), 7u);
    EXPECT_EQ(find("\\A")->uniqueNumber, 7u);
}

TEST_F(XmlDataTest, SingleChangesReachTheFileByNumber) {
    open("<folder name=\"Mail\" id=\"2\"><folder name=\"Work\" id=\"3\"><file name=\"Boss\" id=\"4\"/></folder>"
         "</folder><folder name=\"Bank\" id=\"5\"/>");
    int writes = files.writes;
    tTreeNode entry = makeEntry("New");
    EXPECT_EQ(xmlData().createXML(*find("\\Bank"), entry), 1);
    EXPECT_EQ(files.writes, writes + 1);
    EXPECT_NE(XmlData::findElementById(parsedStore().RootElement(), entry.uniqueNumber), nullptr);

    entry.password = "changed";
    EXPECT_EQ(xmlData().updateXML(entry), 1);
    TiXmlDocument d = parsedStore();
    EXPECT_STREQ(XmlData::findElementById(d.RootElement(), entry.uniqueNumber)
                     ->FirstChildElement("password")->GetText(),
                 "changed");

    // A move: out of Bank into Mail, one replacement of the file.
    tTreeNode moved = entry;
    writes = files.writes;
    EXPECT_EQ(xmlData().updateXML(*find("\\Mail"), entry, moved), 1);
    EXPECT_EQ(files.writes, writes + 1);
    d = parsedStore();
    TiXmlElement* e = XmlData::findElementById(d.RootElement(), entry.uniqueNumber);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(std::string(static_cast<TiXmlElement*>(e->Parent())->Attribute("name")), "Mail");

    // Deleting a folder takes everything below it.
    EXPECT_EQ(xmlData().deleteXML(*find("\\Mail\\Work")), 1);
    d = parsedStore();
    EXPECT_EQ(XmlData::findElementById(d.RootElement(), 3), nullptr);
    EXPECT_EQ(XmlData::findElementById(d.RootElement(), 4), nullptr);

    tTreeNode stranger = makeEntry("Nobody");
    writes = files.writes;
    EXPECT_EQ(xmlData().deleteXML(stranger), 0);
    EXPECT_EQ(xmlData().createXML(12345u, stranger), 0);
    EXPECT_EQ(files.writes, writes);
}

TEST_F(XmlDataTest, FailedSaveKeepsTheOldFileAndSaysSo) {
    open("<folder name=\"Mail\" id=\"2\"/>");
    std::string before = files.content[store];
    files.failWrites = true;
    tTreeNode entry = makeEntry("New");
    EXPECT_EQ(xmlData().createXML(*find("\\Mail"), entry), 0);
    EXPECT_EQ(files.content[store], before);
    ASSERT_FALSE(messageBoxes.shown.empty());
    EXPECT_NE(messageBoxes.shown.back().text.find("could not save"), std::string::npos);
    EXPECT_EQ(xmlData().writeWholeXml(), 0);
}

TEST_F(XmlDataTest, AllFoldersByPath) {
    open("<folder name=\"Mail\" id=\"2\"><folder name=\"Work\" id=\"3\"/></folder><folder name=\"Bank\" id=\"4\"/>"
         "<file name=\"x\" id=\"9\"/>");
    std::map<std::string, std::uint32_t> folders;
    xmlData().getAllFolders(folders);
    EXPECT_EQ(folders, (std::map<std::string, std::uint32_t>{{"\\Bank", 4}, {"\\Mail", 2}, {"\\Mail\\Work", 3}}));
    // One path seen twice keeps the number met last.
    TiXmlElement* extra = new TiXmlElement("folder");
    extra->SetAttribute("name", "Bank");
    extra->SetAttribute("id", "8");
    xmlData().document()->RootElement()->LinkEndChild(extra);
    folders.clear();
    xmlData().getAllFolders(folders);
    EXPECT_EQ(folders["\\Bank"], 8u);
}

TEST_F(XmlDataTest, DeepNestingIsRefusedQuickly) {
    std::string deep;
    for (int i = 0; i < 10000; ++i) deep += "<folder name=\"f\">";
    for (int i = 0; i < 10000; ++i) deep += "</folder>";
    files.content[store] = "<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") + "\">" + deep + "</pswd>";
    start();
    EXPECT_TRUE(list("\\").empty());
    EXPECT_EQ(shownMessages(), std::vector<std::string>{"Error Parsing XML."});
}

TEST_F(XmlDataTest, LockShowsOnlyUnlockEverywhereAndUnlockRestores) {
    open("<folder name=\"Bank\" id=\"2\"></folder>");
    tTreeNode entry = makeEntry("Giro");
    security::encrypt("hunter2", entry.password, entry.passwordSalt);
    entry.encrypted = true;
    passwordTree().appendChild(find("\\Bank"), entry);
    lock();
    for (const char* path : {"\\", "\\Bank", "\\Nope", "\\Bank\\Giro"}) {
        EXPECT_EQ(list(path), std::vector<std::string>{"UnLock Keyhold"}) << path;
    }
    EXPECT_FALSE(theApp().m_masterPassword.isEmpty());
    dialogs.users.push_back([](platform::MemoryDialogControls& c) {
        c.type(3024, "bad");
        c.click(1);
        c.click(2);
    });
    EXPECT_FALSE(unlock());
    EXPECT_TRUE(navigation().isLocked());
    EXPECT_EQ(find("\\Bank\\Giro")->getPassword(), "hunter2") << "a refused unlock leaves the password alone";
    willType("pw");
    EXPECT_TRUE(unlock());
    EXPECT_EQ(list("\\Bank"), (std::vector<std::string>{"[New Entry]", "Giro"}));
    EXPECT_EQ(find("\\Bank\\Giro")->getPassword(), "hunter2");
}

TEST_F(XmlDataTest, ReEncryptionMovesEveryFieldToTheNewPassword) {
    auto enc = [&](const std::string& text) { return encryptedUnder("pw", text); };
    auto title = enc("Giro"), user = enc("ann"), pass = enc("hunter2"), url = enc("u"), notes = enc("n"),
         created = enc("1258363200"), expiry = enc("2030"), modified = enc("1258363300");
    open("<file name=\"" + title.first + "\" salt=\"" + title.second + "\" id=\"3\"><username salt=\"" + user.second +
         "\">" + user.first + "</username><url salt=\"" + url.second + "\">" + url.first +
         "</url><password salt=\"" + pass.second + "\">" + pass.first + "</password><notes salt=\"" +
         notes.second + "\">" + notes.first + "</notes><creationtime salt=\"" + created.second + "\">" +
         created.first + "</creationtime><lastmodtime salt=\"" + modified.second + "\">" + modified.first +
         "</lastmodtime><expiretime expires=\"true\" salt=\"" + expiry.second + "\">" +
         expiry.first + "</expiretime></file>");
    EXPECT_EQ(list("\\"), (std::vector<std::string>{"New Entry", "Lock Keyhold", "Default Auto Type Window is OFF",
                                                    "Giro"}));
    TreePos g = find("\\Giro");
    EXPECT_EQ(timeutil::fileTimeToText(g->ftCreationTime), "1258363200");
    EXPECT_EQ(timeutil::fileTimeToText(g->lastModFileTime()), "1258363300") << "decrypted when asked for";
    std::string oldSalt = g->passwordSalt;
    CSecureString previous = theApp().m_masterPassword, next;
    next.setText("new");
    EXPECT_EQ(ReEncryptAll(previous, next), 1);
    EXPECT_NE(g->passwordSalt, oldSalt);
    std::string plain;
    security::decrypt(g->encryptedTitle, g->titleSalt, plain);
    EXPECT_EQ(plain, "Giro");
    EXPECT_EQ(g->getPassword(), "hunter2");
    EXPECT_EQ(g->getUserName(), "ann");
    EXPECT_EQ(g->getUrl(), "u");
    EXPECT_EQ(g->getNotes(), "n");
    plain.clear();
    security::decrypt(g->creationTimeText, g->creationTimeSalt, plain);
    EXPECT_EQ(plain, "1258363200");
    plain.clear();
    security::decrypt(g->expireTimeText, g->expireTimeSalt, plain);
    EXPECT_EQ(plain, "2030");
    EXPECT_EQ(std::string(parsedStore().RootElement()->Attribute("masterkey")), hashOf("new"));
    resetTreeForTesting();
    EXPECT_EQ(ReEncryptAll(previous, next), 0);
}

}  // namespace

namespace {

TEST_F(XmlDataTest, TextCutOffInsideAUtf8SequenceIsRefusedSafely) {
    // A UTF-8 store whose last name ends in the lead byte of a longer sequence.
    files.content[store] = "\xEF\xBB\xBF<pswd basename=\"B\" id=\"1\"><folder name=\"f\xF0";
    start();
    EXPECT_TRUE(list("\\").empty());
    EXPECT_EQ(shownMessages(), std::vector<std::string>{"Error Parsing XML."});
    files.content[store] = std::string("<pswd basename=\"B\" id=\"1\">\0<folder", 34);
    xmlData().resetForTesting();
    messageBoxes.shown.clear();
    EXPECT_TRUE(list("\\").empty());
}

}  // namespace

namespace {

// A store read on several threads: every entry gets its own title, creation
// time and auto-type definitions, whatever thread decrypted them, and the
// tree is the one a single thread builds.
class ParallelLoadTest : public XmlDataTest {
protected:
    void TearDown() override {
        parallel::setThreadCountForTesting(0);
        XmlDataTest::TearDown();
    }
    struct Seen {
        std::string path, name, created, sequence;
        std::list<std::string> windows;
        bool operator==(const Seen& o) const {
            return path == o.path && name == o.name && created == o.created && sequence == o.sequence &&
                   windows == o.windows;
        }
    };
    std::vector<Seen> loadOn(std::size_t threads, const std::string& inner) {
        parallel::setThreadCountForTesting(threads);
        xmlData().resetForTesting();
        resetTreeForTesting();
        resetUniqueNumbersForTesting();
        theApp().m_masterPassword.clear();
        open(inner);
        std::vector<Seen> seen;
        for (TreePos p = passwordTree().begin(); p != passwordTree().end(); ++p) {
            if (!p->isEntry()) continue;
            seen.push_back(Seen{p->absolutePath, p->name, timeutil::fileTimeToText(p->ftCreationTime),
                                p->autoTypeSequence, p->autoTypeWindows});
        }
        return seen;
    }
};

TEST_F(ParallelLoadTest, EveryEntryGetsItsOwnValuesOnAnyNumberOfThreads) {
    auto enc = [&](const std::string& text) { return encryptedUnder("pw", text); };
    auto field = [&](const char* tag, const std::string& text) {
        auto e = enc(text);
        return std::string("<") + tag + " salt=\"" + e.second + "\">" + e.first + "</" + tag + ">";
    };
    std::string inner;
    for (int f = 0; f < 3; ++f) {
        inner += "<folder name=\"F" + std::to_string(f) + "\" id=\"" + std::to_string(1000 + f) +
                 "\" creationtime=\"100\">";
        for (int i = 0; i < 70; ++i) {
            const std::string n = std::to_string(f) + "-" + std::to_string(i);
            const std::string id = std::to_string(2000 + f * 100 + i);
            if (i % 7 == 3) {  // plain, marked for encryption
                inner += "<file name=\"Plain " + n + "\" id=\"" + id + "\" encrypt=\"true\"><password>p</password>"
                         "<notes>Auto-Type-Window:Plain " + n + "</notes><creationtime>" + std::to_string(500 + i) +
                         "</creationtime></file>";
                continue;
            }
            auto title = enc("Title " + n);
            inner += "<file name=\"" + title.first + "\" salt=\"" + title.second + "\" id=\"" + id + "\">" +
                     field("password", "pw" + n) + field("creationtime", std::to_string(1000000 + i)) +
                     (i % 5 == 0 ? std::string()
                                 : field("notes", "Auto-Type:{USERNAME}" + n + "\r\nAuto-Type-Window:*Win " + n +
                                                      "\r\nAuto-Type-Window:Other*")) +
                     "</file>";
        }
        inner += "</folder>";
    }
    const std::vector<Seen> one = loadOn(1, inner);
    ASSERT_EQ(one.size(), 210u);
    // The values themselves, spot-checked: an encrypted entry with notes, one
    // without notes, and a plain one.
    const Seen& e = one[1];  // F0, entry 1
    EXPECT_EQ(e.name, "Title 0-1");
    EXPECT_EQ(e.path, "\\F0\\Title 0-1");
    EXPECT_EQ(e.created, "1000001");
    EXPECT_EQ(e.sequence, "{USERNAME}0-1");
    EXPECT_EQ(e.windows, (std::list<std::string>{"*win 0-1", "other*"}));
    EXPECT_EQ(one[5].name, "Title 0-5");
    EXPECT_TRUE(one[5].sequence.empty() && one[5].windows.empty());
    EXPECT_EQ(one[3].name, "Plain 0-3");
    EXPECT_EQ(one[3].created, "503");
    EXPECT_EQ(one[3].windows, std::list<std::string>{"plain 0-3"});
    for (std::size_t threads : {2, 3, 8}) EXPECT_TRUE(loadOn(threads, inner) == one) << threads << " threads";
}

}  // namespace
