// Moving in: exports of KeePass, KeePassXC and the browsers copied into the
// panel become entries of the store, read back here with an encryption that
// is not the plug-in's own.
#include <gtest/gtest.h>

#include <tinyxml.h>

#include <map>

#include "IndependentCrypt.h"
#include "PanelSession.h"

namespace {

struct StoredEntry {
    std::string userName, password, url, notes, expiry;
    bool expires = false;
};

class ImportE2ETest : public ::testing::Test {
protected:
    E2ETarget target = E2ETarget::fromEnvironment();
    PluginFolder folder{target};

    void SetUp() override {
        // Made with the password "pw": its SHA-1 is the masterkey.
        writeFile(folder.file("database.xml"),
                  "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" "
                  "masterkey=\"1A91D62F7CA67399625A4368A6AB5D4A3BAA6073\">\n"
                  "<folder name=\"Mail\" id=\"2\" creationtime=\"1\"><file name=\"Gmail\" id=\"5\"/></folder>\n"
                  "<file name=\"Router\" id=\"7\"/>\n</pswd>\n");
    }

    // Every entry in the file, by its path of decrypted names; every field
    // must decrypt under "pw" or be empty.
    std::map<std::string, StoredEntry> entriesOnDisk() {
        TiXmlDocument d;
        d.Parse(readFile(folder.file("database.xml")).c_str());
        std::map<std::string, StoredEntry> out;
        walk(d.RootElement(), "", out);
        return out;
    }
    static std::string plain(const TiXmlElement* e, const char* tag) {
        const TiXmlElement* f = e->FirstChildElement(tag);
        if (!f || !f->GetText()) return "";
        std::string text;
        EXPECT_TRUE(f->Attribute("salt")) << tag << " is stored in clear";
        if (!f->Attribute("salt")) return f->GetText();
        EXPECT_TRUE(independent::decrypt("pw", f->GetText(), f->Attribute("salt"), text)) << tag;
        return text;
    }
    void walk(const TiXmlElement* e, const std::string& prefix, std::map<std::string, StoredEntry>& out) {
        for (const TiXmlElement* c = e ? e->FirstChildElement() : nullptr; c; c = c->NextSiblingElement()) {
            if (c->ValueStr() != "folder" && c->ValueStr() != "file") continue;
            std::string name = c->Attribute("name");
            if (c->Attribute("salt")) {
                std::string title;
                EXPECT_TRUE(independent::decrypt("pw", name, c->Attribute("salt"), title));
                name = title;
            }
            const std::string path = prefix + "\\" + name;
            if (c->ValueStr() == "folder") {
                walk(c, path, out);
                continue;
            }
            StoredEntry s;
            s.userName = plain(c, "username");
            s.password = plain(c, "password");
            s.url = plain(c, "url");
            s.notes = plain(c, "notes");
            s.expiry = plain(c, "expiretime");
            const TiXmlElement* x = c->FirstChildElement("expiretime");
            s.expires = x && x->Attribute("expires") && std::string(x->Attribute("expires")) == "true";
            out[path] = s;
        }
    }
    // "é" as the store holds it on this target: the ANSI code page under
    // Windows, UTF-8 on Linux.
    std::string eAcute() const { return target.isWindows() ? "\xE9" : "\xC3\xA9"; }

    // Copies a local file into the panel and closes the message that follows.
    std::vector<std::string> put(PanelSession& panel, const std::string& file, const std::string& to,
                                 const std::string& flags = "", bool message = true) {
        panel.send("put \"" + folder.asTargetPath(file) + "\" \"" + to + "\"" + (flags.empty() ? "" : " " + flags));
        if (message) panel.answerMessage();
        return panel.sync();
    }
    PanelSession* open(std::unique_ptr<PanelSession>& holder) {
        holder = std::make_unique<PanelSession>(target, folder);
        holder->send("ls");
        holder->answerPasswordDialog({"pw"});
        holder->sync();
        return holder.get();
    }
};

TEST_F(ImportE2ETest, EachFormatWithAwkwardValuesIsReadBack) {
    writeFile(folder.file("keepassxc.csv"),
              "\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\",\"TOTP\",\"Icon\",\"Last Modified\","
              "\"Created\"\r\n"
              "\"Passwords\",\"Bank\",\"alice\",\"p,w \"\"1\"\"\",\"https://bank.test\",\"one\r\ntwo\",\"\",\"0\",\"\",\"\"\r\n"
              "\"Passwords\",\"Bank\",\"bob\",\"\",\"\",\"\",\"\",\"0\",\"\",\"\"\r\n"
              "\"Passwords/Shop/Books\",\"Caf\xC3\xA9\",\"carol\",\"pw<&>\",\"\",\"\",\"\",\"0\",\"\",\"\"\r\n");
    writeFile(folder.file("chrome.csv"),
              "name,url,username,password,note\n"
              "Forum,https://forum.test/login,\"d,ave\",\"multi\nline\",\"a \"\"quoted\"\" note\"\n");
    writeFile(folder.file("firefox.csv"),
              "\"url\",\"username\",\"password\",\"httpRealm\",\"formActionOrigin\",\"guid\",\"timeCreated\","
              "\"timeLastUsed\",\"timePasswordChanged\"\n"
              "\"https://accounts.example.test:8443/x\",\"fox\",\"ff-pw\",,\"https://accounts.example.test\","
              "\"{g}\",\"1\",\"2\",\"3\"\n");
    writeFile(folder.file("keepass.csv"),
              "\"Account\",\"Login Name\",\"Password\",\"Web Site\",\"Comments\"\n"
              "\"Old\",\"olga\",\"kp-pw\",\"\",\"\"\n");
    writeFile(folder.file("keepass.xml"),
              "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\n<KeePassFile><Meta>"
              "<Generator>KeePass</Generator><RecycleBinUUID>cmVjeWNsZWJpbnV1aWQxMg==</RecycleBinUUID></Meta>"
              "<Root><Group><UUID>cm9vdHJvb3Ryb290cm9vdA==</UUID><Name>Database</Name>"
              "<Entry><String><Key>Title</Key><Value>Web &amp; Co</Value></String>"
              "<String><Key>UserName</Key><Value>w&lt;e&gt;b</Value></String>"
              "<String><Key>Password</Key><Value ProtectInMemory=\"True\">  two  blanks </Value></String>"
              "<String><Key>PIN</Key><Value>1234</Value></String>"
              "<Times><Expires>True</Expires><ExpiryTime>2027-03-04T10:00:00Z</ExpiryTime></Times>"
              "<AutoType><Enabled>True</Enabled><DefaultSequence>{USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}"
              "</DefaultSequence><Association><Window>*Login - Browser</Window><KeystrokeSequence/></Association>"
              "</AutoType><History><Entry><String><Key>Title</Key><Value>Web &amp; Co</Value></String>"
              "<String><Key>Password</Key><Value>old-pw</Value></String></Entry></History></Entry>"
              "<Group><UUID>c3Vic3Vic3Vic3Vic3Vic3Vi</UUID><Name>Sub</Name><Entry>"
              "<String><Key>Title</Key><Value>Deep</Value></String>"
              "<String><Key>Password</Key><Value>deep-pw</Value></String></Entry></Group>"
              "<Group><UUID>cmVjeWNsZWJpbnV1aWQxMg==</UUID><Name>Recycle Bin</Name><Entry>"
              "<String><Key>Title</Key><Value>Gone</Value></String></Entry></Group>"
              "</Group></Root></KeePassFile>\n");
    {
        std::unique_ptr<PanelSession> holder;
        PanelSession& panel = *open(holder);
        const std::vector<std::string> xc = put(panel, "keepassxc.csv", "\\Mail\\keepassxc.csv");
        EXPECT_TRUE(anyLineHas(xc, "FS_FILE_OK")) << joinLines(xc);
        EXPECT_TRUE(anyLineHas(xc, "Imported 3 entries and 2 folders")) << joinLines(xc);
        for (const char* file : {"chrome.csv", "firefox.csv", "keepass.csv", "keepass.xml"}) {
            const std::vector<std::string> out = put(panel, file, std::string("\\") + file);
            EXPECT_TRUE(anyLineHas(out, "FS_FILE_OK")) << file << "\n" << joinLines(out);
        }
        panel.send("ls \\Mail");
        const std::vector<std::string> mail = listedNames(panel.sync());
        EXPECT_EQ(mail, (std::vector<std::string>{"[New Entry]", "Gmail", "Shop", "Bank", "Bank (2)"}));
        EXPECT_EQ(panel.quit(), 0);
    }
    std::map<std::string, StoredEntry> stored = entriesOnDisk();
    ASSERT_TRUE(stored.count("\\Mail\\Bank"));
    EXPECT_EQ(stored["\\Mail\\Bank"].password, "p,w \"1\"");
    EXPECT_EQ(stored["\\Mail\\Bank"].userName, "alice");
    EXPECT_EQ(stored["\\Mail\\Bank"].notes, "one\r\ntwo");
    EXPECT_EQ(stored["\\Mail\\Bank (2)"].userName, "bob");
    EXPECT_EQ(stored["\\Mail\\Bank (2)"].password, "");
    const std::string cafe = "\\Mail\\Shop\\Books\\Caf" + eAcute();
    ASSERT_TRUE(stored.count(cafe));
    EXPECT_EQ(stored[cafe].password, "pw<&>");
    EXPECT_EQ(stored["\\Forum"].userName, "d,ave");
    EXPECT_EQ(stored["\\Forum"].password, "multi\nline");
    EXPECT_EQ(stored["\\Forum"].url, "https://forum.test/login");
    EXPECT_EQ(stored["\\Forum"].notes, "a \"quoted\" note");
    ASSERT_TRUE(stored.count("\\accounts.example.test"));
    EXPECT_EQ(stored["\\accounts.example.test"].password, "ff-pw");
    EXPECT_NE(stored["\\accounts.example.test"].notes.find("formActionOrigin: https://accounts.example.test"),
              std::string::npos);
    EXPECT_EQ(stored["\\Old"].password, "kp-pw");
    const StoredEntry& web = stored["\\Web & Co"];
    EXPECT_EQ(web.userName, "w<e>b");
    EXPECT_EQ(web.password, "  two  blanks ");
    EXPECT_TRUE(web.expires);
    EXPECT_EQ(web.expiry, "2027-03-04");
    EXPECT_NE(web.notes.find("PIN: 1234\r\n"), std::string::npos) << web.notes;
    EXPECT_NE(web.notes.find("Auto-Type:{USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}\r\n"), std::string::npos) << web.notes;
    EXPECT_NE(web.notes.find("Auto-Type-Window:*Login - Browser\r\n"), std::string::npos) << web.notes;
    EXPECT_EQ(stored["\\Sub\\Deep"].password, "deep-pw");
    EXPECT_EQ(stored.count("\\Recycle Bin\\Gone"), 0u);
    for (const auto& e : stored) EXPECT_NE(e.second.password, "old-pw") << "history is not imported: " << e.first;
    // Nothing more, nothing less: the two entries of the store and eight imported.
    EXPECT_EQ(stored.size(), 2u + 8u);
}

TEST_F(ImportE2ETest, AStopAtTenPercentChangesNothingAndASecondImportAddsNothing) {
    std::string csv = "name,url,username,password\n";
    for (int i = 0; i < 200; ++i) csv += "Site " + std::to_string(i) + ",https://s.test,u" + std::to_string(i) + ",p\n";
    writeFile(folder.file("many.csv"), csv);
    const std::string before = readFile(folder.file("database.xml"));
    std::unique_ptr<PanelSession> holder;
    PanelSession& panel = *open(holder);
    panel.send("stop-at 10");
    const std::vector<std::string> stopped = put(panel, "many.csv", "\\many.csv", "", false);
    EXPECT_TRUE(anyLineHas(stopped, "FS_FILE_USERABORT")) << joinLines(stopped);
    EXPECT_TRUE(anyLineHas(stopped, "10% (stopped by the user)")) << joinLines(stopped);
    EXPECT_EQ(readFile(folder.file("database.xml")), before);
    panel.send("ls \\");
    EXPECT_EQ(listedNames(panel.sync()).size(), 5u);

    const std::vector<std::string> first = put(panel, "many.csv", "\\many.csv", "move");
    EXPECT_TRUE(anyLineHas(first, "FS_FILE_OK")) << joinLines(first);
    EXPECT_TRUE(anyLineHas(first, "The export file was deleted.")) << joinLines(first);
    EXPECT_FALSE(fileExists(folder.file("many.csv")));
    EXPECT_EQ(entriesOnDisk().size(), 2u + 200u);
    const std::string imported = readFile(folder.file("database.xml"));

    writeFile(folder.file("many.csv"), csv);
    const std::vector<std::string> second = put(panel, "many.csv", "\\again.csv");
    EXPECT_TRUE(anyLineHas(second, "200 entries were in the store already")) << joinLines(second);
    EXPECT_EQ(readFile(folder.file("database.xml")), imported);
    EXPECT_EQ(panel.quit(), 0);
}

TEST_F(ImportE2ETest, AFileThatIsNoExportIsRefusedAndKept) {
    writeFile(folder.file("letter.txt"), "Dear Sir,\nnot an export.\n");
    const std::string before = readFile(folder.file("database.xml"));
    std::unique_ptr<PanelSession> holder;
    PanelSession& panel = *open(holder);
    for (const char* flags : {"", "move"}) {
        const std::vector<std::string> out = put(panel, "letter.txt", "\\letter.txt", flags, false);
        EXPECT_TRUE(anyLineHas(out, "FS_FILE_NOTSUPPORTED")) << joinLines(out);
    }
    EXPECT_TRUE(fileExists(folder.file("letter.txt")));
    EXPECT_EQ(readFile(folder.file("database.xml")), before);
    EXPECT_EQ(panel.quit(), 0);
}

}  // namespace
