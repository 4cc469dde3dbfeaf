// Password exports in CSV: the four headers known here, values kept exactly
// as written, notes with CR LF line ends and the columns without a field of
// their own, byte-order marks, errors that name the line but no value, texts
// that are no export.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ImportCsv.h"
#include "TestSupport.h"

namespace {

const char* const kKeePassXcHeader =
    "\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\",\"TOTP\",\"Icon\",\"Last Modified\",\"Created\"";
const char* const kChromeHeader = "name,url,username,password";

struct Reading {
    tImportedData data;
    std::string error;
    eImportRead result;
    explicit Reading(const std::string& text) { result = ReadCsvExport(text, data, error); }
};

// Title, user name, password, URL, notes.
std::vector<std::string> fieldsOf(const tImportedEntry& e) { return {e.title, e.userName, e.password, e.url, e.notes}; }

TEST(ImportCsvTest, RecognisesEachExportByItsHeader) {
    struct Case {
        const char* what;
        std::string text;
        const char* format;
        std::vector<std::string> fields;  // title, user name, password, URL, notes
        std::vector<std::string> groups;
    };
    const std::vector<Case> cases = {
        {"KeePassXC 2.7",
         std::string(kKeePassXcHeader) +
             "\n\"Passwords/Bank\",\"Bank\",\"alice\",\"pw1\",\"https://bank.example\",\"note\",\"\",\"0\","
             "\"2024-01-02T03:04:05Z\",\"2023-01-01T00:00:00Z\"\n",
         "KeePassXC CSV",
         {"Bank", "alice", "pw1", "https://bank.example", "note"},
         {"Bank"}},
        {"KeePassXC, other case and order, blanks around the names",
         " notes ,PASSWORD,url,Title,\tUSERNAME,group\nn,p,u,t,us,Root/A\n",
         "KeePassXC CSV",
         {"t", "us", "p", "u", "n"},
         {"A"}},
        {"KeePass 2",
         "\"Account\",\"Login Name\",\"Password\",\"Web Site\",\"Comments\"\r\n"
         "\"Mail\",\"bob\",\"pw2\",\"https://mail.example\",\"c\"\r\n",
         "KeePass CSV",
         {"Mail", "bob", "pw2", "https://mail.example", "c"},
         {}},
        {"KeePass 2, other case and order",
         "comments,WEB SITE,password,Login name,account\nc,w,p,l,a\n",
         "KeePass CSV",
         {"a", "l", "p", "w", "c"},
         {}},
        {"Chrome with a note",
         "name,url,username,password,note\nSite,https://s.example/,carol,pw3,hello\n",
         "Chrome CSV",
         {"Site", "carol", "pw3", "https://s.example/", "hello"},
         {}},
        {"Chrome without a note, other order",
         "Password,USERNAME,url,Name\npw,us,https://x.example,X\n",
         "Chrome CSV",
         {"X", "us", "pw", "https://x.example", ""},
         {}},
        {"Firefox",
         "\"url\",\"username\",\"password\",\"httpRealm\",\"formActionOrigin\",\"guid\",\"timeCreated\","
         "\"timeLastUsed\",\"timePasswordChanged\"\n"
         "\"https://login.example.com/a\",\"dave\",\"pw4\",,\"https://login.example.com\",\"{6e1c-2f}\","
         "\"1700000000000\",\"1700000000001\",\"1700000000002\"\n",
         "Firefox CSV",
         {"login.example.com", "dave", "pw4", "https://login.example.com/a",
          "formActionOrigin: https://login.example.com\r\n"},
         {}},
        {"Firefox, the three columns only",
         "URL,Username,Password\nhttps://m.example,u,p\n",
         "Firefox CSV",
         {"m.example", "u", "p", "https://m.example", ""},
         {}},
        // KeePassXC's columns and Chrome's name: KeePassXC comes first.
        {"KeePassXC before Chrome",
         "name,group,title,username,password,url,notes\nN,R/G,T,U,P,L,X\n",
         "KeePassXC CSV",
         {"T", "U", "P", "L", "X\r\nname: N\r\n"},
         {"G"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tImportedData data;
        data.attachments = 3;
        std::string error;
        ASSERT_EQ(ReadCsvExport(c.text, data, error), eImportRead::eRead) << error;
        EXPECT_EQ(data.format, c.format);
        EXPECT_EQ(data.attachments, 0);
        ASSERT_EQ(data.entries.size(), 1u);
        const tImportedEntry& e = data.entries[0];
        EXPECT_EQ(fieldsOf(e), c.fields);
        EXPECT_EQ(e.groups, c.groups);
        EXPECT_FALSE(e.expires());
        EXPECT_EQ(e.expiryMonth, 0);
        EXPECT_EQ(e.expiryDay, 0);
        EXPECT_TRUE(e.refused.empty());
    }
}

TEST(ImportCsvTest, KeepsValuesExactlyAsWritten) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::vector<std::string>> entries;  // title, user name, password, URL
    };
    const std::string h = kChromeHeader;
    const std::vector<Case> cases = {
        {"doubled quotes", h + "\n\"say \"\"hi\"\"\",u,n,\"p\"\"w\"\"\"\n", {{"say \"hi\"", "n", "p\"w\"", "u"}}},
        {"commas in quotes", h + "\n\"a,b\",u,n,\",p,,w,\"\n", {{"a,b", "n", ",p,,w,", "u"}}},
        {"line breaks in quotes stay as they are outside the notes",
         h + "\nt,u,n,\"l1\nl2\r\nl3\rl4\"\n",
         {{"t", "n", "l1\nl2\r\nl3\rl4", "u"}}},
        {"blanks kept", h + "\n  t  , u,n\t,  p w  \n", {{"  t  ", "n\t", "  p w  ", " u"}}},
        {"blanks kept in quotes", h + "\nt,u,n,\" p \"\n", {{"t", "n", " p ", "u"}}},
        {"empty fields", h + "\n,,,\n\"\",\"\",\"\",\"\"\n", {{"", "", "", ""}, {"", "", "", ""}}},
        {"an empty last field", h + "\nt,u,n,\n", {{"t", "n", "", "u"}}},
        {"a quote inside an unquoted field", h + "\nt\"\",u,n,p\"w\"x\n", {{"t\"\"", "n", "p\"w\"x", "u"}}},
        {"CR LF", h + "\r\na,u1,n1,p1\r\nb,u2,n2,p2\r\n", {{"a", "n1", "p1", "u1"}, {"b", "n2", "p2", "u2"}}},
        {"LF", h + "\na,u1,n1,p1\nb,u2,n2,p2\n", {{"a", "n1", "p1", "u1"}, {"b", "n2", "p2", "u2"}}},
        {"CR", h + "\ra,u1,n1,p1\rb,u2,n2,p2\r", {{"a", "n1", "p1", "u1"}, {"b", "n2", "p2", "u2"}}},
        {"no line end after the last record",
         h + "\na,u,n,p\nb,u,n,\"q\"",
         {{"a", "n", "p", "u"}, {"b", "n", "q", "u"}}},
        {"empty lines skipped",
         "\n\r\n" + h + "\n\na,u,n,p\r\n\r\n\rb,u,n,q\n\n",
         {{"a", "n", "p", "u"}, {"b", "n", "q", "u"}}},
        {"non-ASCII",
         h + "\n\xC3\xA9t\xC3\xA9,u,n,\xE2\x82\xAC\xF0\x9F\x98\x80\n",
         {{"\xC3\xA9t\xC3\xA9", "n", "\xE2\x82\xAC\xF0\x9F\x98\x80", "u"}}},
        {"the header alone", h + "\r\n", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Reading r(c.text);
        ASSERT_EQ(r.result, eImportRead::eRead) << r.error;
        EXPECT_EQ(r.data.format, "Chrome CSV");
        std::vector<std::vector<std::string>> got;
        for (const tImportedEntry& e : r.data.entries) {
            got.push_back({e.title, e.userName, e.password, e.url});
            EXPECT_EQ(e.notes, "");
        }
        EXPECT_EQ(got, c.entries);
    }
}

TEST(ImportCsvTest, NotesGetCrLfAndTheColumnsWithoutAField) {
    struct Case {
        const char* what;
        std::string header, record;
        std::string notes;
    };
    // KeePassXC's header with one more column.
    const std::string xc = std::string(kKeePassXcHeader) + ", Custom Field ";
    const std::string dates = ",\"2\",\"2024-01-02T03:04:05Z\",\"2023-01-01T00:00:00Z\",";
    const std::vector<Case> cases = {
        {"line ends in the notes", xc, "R,t,u,p,l,\"a\nb\rc\r\nd\",\"\"" + dates + "", "a\r\nb\r\nc\r\nd"},
        {"TOTP after the notes", xc, "R,t,u,p,l,a,otpauth://totp/x?secret=ABC" + dates,
         "a\r\nTOTP: otpauth://totp/x?secret=ABC\r\n"},
        {"notes ending in a line break", xc, "R,t,u,p,l,\"a\n\",t1" + dates + "\"c1\nc2\"",
         "a\r\nTOTP: t1\r\nCustom Field: c1\r\nc2\r\n"},
        {"notes ending in CR", xc, "R,t,u,p,l,\"a\r\",t1" + dates, "a\r\nTOTP: t1\r\n"},
        {"no notes", xc, "R,t,u,p,l,,t1" + dates + "\"x\ry\"", "TOTP: t1\r\nCustom Field: x\r\ny\r\n"},
        {"nothing but bookkeeping", xc, "R,t,u,p,l,,,\"2\",\"d1\",\"d2\",", ""},
        {"Firefox",
         "url,username,password,httpRealm,formActionOrigin,guid,timeCreated,timeLastUsed,timePasswordChanged",
         "https://h.example,u,p,\"Realm \"\"A\"\"\nB\",https://h.example,{g},1,2,3",
         "httpRealm: Realm \"A\"\r\nB\r\nformActionOrigin: https://h.example\r\n"},
        {"Chrome's note and a column of another program", "name,url,username,password,note,Folder",
         "t,l,u,p,\"n1\r\nn2\",Work", "n1\r\nn2\r\nFolder: Work\r\n"},
        {"KeePass 2 and a column of another program", "Account,Login Name,Password,Web Site,Comments,Expires",
         "t,u,p,l,,never", "Expires: never\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Reading r(c.header + "\n" + c.record + "\n");
        ASSERT_EQ(r.result, eImportRead::eRead) << r.error;
        ASSERT_EQ(r.data.entries.size(), 1u);
        EXPECT_EQ(r.data.entries[0].notes, c.notes);
        EXPECT_EQ(r.data.entries[0].password, "p");
    }
}

TEST(ImportCsvTest, KeePassXcGroupsBelowTheRootBecomeGroupsAndFolders) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> rows = {
        {"Passwords/Bank/Cards", {"Bank", "Cards"}},
        {"Passwords", {}},
        {"", {}},
        {"Passwords/Mail", {"Mail"}},
        {"Passwords/Bank", {"Bank"}},
        {"Passwords/Bank/Cards", {"Bank", "Cards"}},
        {"Passwords/Work/Old/2019", {"Work", "Old", "2019"}},
        {"Passwords//Odd/", {"Odd"}},
        {"Passwords/Mail Lists", {"Mail Lists"}},
    };
    std::string text = std::string(kKeePassXcHeader) + "\r\n";
    for (const auto& row : rows) text += "\"" + row.first + "\",t,u,p,l,n,,0,d,d\r\n";
    Reading r(text);
    ASSERT_EQ(r.result, eImportRead::eRead) << r.error;
    ASSERT_EQ(r.data.entries.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(r.data.entries[i].groups, rows[i].second) << rows[i].first;
    const std::vector<std::vector<std::string>> folders = {
        {"Bank"},        {"Bank", "Cards"},       {"Mail"}, {"Work"},
        {"Work", "Old"}, {"Work", "Old", "2019"}, {"Odd"},  {"Mail Lists"},
    };
    EXPECT_EQ(r.data.folders, folders);
}

TEST(ImportCsvTest, FirefoxTitleIsTheHostOfTheUrl) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"https://u@accounts.example.com:8443/login?x", "accounts.example.com"},
        {"https://example.com", "example.com"},
        {"http://example.com?q=a/b", "example.com"},
        {"https://example.com#top", "example.com"},
        {"https://user:pa:ss@host.example/p@th", "host.example"},
        {"https://[2001:db8::1]:8080/", "[2001:db8::1]"},
        {"android://Zm9v@com.example.app/", "com.example.app"},
        {"chrome://FirefoxAccounts", "FirefoxAccounts"},
        {"example.com/login", "example.com"},
        {"localhost", "localhost"},
        {"", ""},
    };
    std::string text = "url,username,password\n";
    for (const auto& c : cases) text += "\"" + c.first + "\",u,p\n";
    Reading r(text);
    ASSERT_EQ(r.result, eImportRead::eRead) << r.error;
    ASSERT_EQ(r.data.entries.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(r.data.entries[i].title, cases[i].second) << cases[i].first;
        EXPECT_EQ(r.data.entries[i].url, cases[i].first);
    }
}

TEST(ImportCsvTest, HonoursByteOrderMarks) {
    const std::u16string wide =
        u"name,url,username,password,note\r\n"
        u"Caf\u00e9,https://\u00fc.example,J\u00fcrgen,p\u20ac\U0001F600 ,\"l1\nl2\"\r\n";
    const std::string narrow =
        "name,url,username,password,note\r\n"
        "Caf\xC3\xA9,https://\xC3\xBC.example,J\xC3\xBCrgen,p\xE2\x82\xAC\xF0\x9F\x98\x80 ,\"l1\nl2\"\r\n";
    const std::vector<std::string> expected = {"Caf\xC3\xA9", "J\xC3\xBCrgen", "p\xE2\x82\xAC\xF0\x9F\x98\x80 ",
                                               "https://\xC3\xBC.example", "l1\r\nl2"};
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"no mark", narrow},
        {"UTF-8", "\xEF\xBB\xBF" + narrow},
        {"UTF-16LE", utf16(wide, true)},
        {"UTF-16BE", utf16(wide, false)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        Reading r(c.second);
        ASSERT_EQ(r.result, eImportRead::eRead) << r.error;
        EXPECT_EQ(r.data.format, "Chrome CSV");
        ASSERT_EQ(r.data.entries.size(), 1u);
        EXPECT_EQ(fieldsOf(r.data.entries[0]), expected);
    }
}

TEST(ImportCsvTest, DamagedExportIsMalformedNamingTheLineButNoValue) {
    struct Case {
        const char* what;
        std::string text;
        std::string error;  // empty: any, as long as there is one
    };
    const std::string h = std::string(kChromeHeader) + "\n";
    const std::vector<Case> cases = {
        {"unclosed quote", h + "A,u,n,p\nB,u,n,\"S3cret-unclosed\nmore,x\n",
         "Line 3 has a quoted field that is never closed."},
        {"text after a closing quote", h + "A,u,n,\"S3cret-junk\"x,y\n",
         "Line 2 has text after the closing quote of a field."},
        {"text after a closing quote, then a line end", h + "A,u,n,\"S3cret\" \n",
         "Line 2 has text after the closing quote of a field."},
        {"a comma in an unquoted password", h + "A,u,n,S3cret,comma\n", "Line 2 has 5 fields, but the header has 4."},
        {"too few fields", h + "A,u,S3cret\n", "Line 2 has 3 fields, but the header has 4."},
        {"one field", h + "A,u,n,p\nS3cret-alone", "Line 3 has 1 field, but the header has 4."},
        {"counted after line breaks in quotes and empty lines",
         std::string(kChromeHeader) + "\r\nA,u,n,\"l1\r\nl2\rl3\nl4\"\r\n\r\n\rB,S3cret\r\n",
         "Line 8 has 2 fields, but the header has 4."},
        {"invalid UTF-8 after the header", h + "A,u,n,S3cret\xFFx\n", "The export is not valid UTF-8 text (byte 39)."},
        {"invalid UTF-8 after a UTF-8 mark", "\xEF\xBB\xBF" + h + "A,u,n,S3cret\xC3(\n",
         "The export is not valid UTF-8 text (byte 42)."},
        {"a lone surrogate in UTF-16", utf16(u"name,url,username,password\nA,u,n,S3cret\xD800x\n", true), ""},
        {"UTF-16 that ends in half a character",
         utf16(u"name,url,username,password\nA,u,n,S3cret\n", false) + std::string(1, '\0'), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tImportedData data;
        data.format = "before";
        data.entries.emplace_back();
        data.entries.back().title = "kept";
        data.folders.push_back({"kept"});
        std::string error;
        EXPECT_EQ(ReadCsvExport(c.text, data, error), eImportRead::eMalformed);
        if (c.error.empty())
            EXPECT_FALSE(error.empty());
        else
            EXPECT_EQ(error, c.error);
        EXPECT_EQ(error.find("S3cret"), std::string::npos) << error;
        EXPECT_EQ(data.format, "before");
        ASSERT_EQ(data.entries.size(), 1u);
        EXPECT_EQ(data.entries[0].title, "kept");
        EXPECT_EQ(data.folders, std::vector<std::vector<std::string>>{{"kept"}});
    }
}

TEST(ImportCsvTest, TextsOfOtherKindsAreNoExport) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"empty", ""},
        {"empty lines", "\r\n\n\r"},
        {"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01\0", 20)},
        {"binary with quotes", std::string("\0\x01\"\xFF\x80,\"\x02\0", 9)},
        {"KeePass XML",
         "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\n<KeePassFile>\n\t<Meta>\n"
         "\t\t<Generator>KeePass</Generator>\n\t</Meta>\n\t<Root>\n\t\t<Group>\n\t\t\t<Name>Database</Name>\n"
         "\t\t</Group>\n\t</Root>\n</KeePassFile>\n"},
        {"a table of other columns", "id,name,price\n1,apple,3\n"},
        {"login columns without a URL", "Title,Username,Password\nt,u,p\n"},
        {"Firefox's columns but one", "url,username,httpRealm\nu,n,r\n"},
        {"a header on the second line", "Passwords\nname,url,username,password\n"},
        {"a header with its names in one quoted field", "\"name,url,username,password\"\nt,l,u,p\n"},
        {"a header whose quote is never closed", "\"name,url,username,password\nt,l,u,p\n"},
        {"a header with text after a quote", "\"name\"x,url,username,password\nt,l,u,p\n"},
        {"other columns, then damage", "id,name\n\xFF\"never closed"},
        {"UTF-16 without a mark", utf16(u"name,url,username,password\n", true).substr(2)},
        {"UTF-16 prose", utf16(u"Dear Sir,\nthe passwords are in the safe.\n", true)},
        {"UTF-16 whose first line is not valid", utf16(u"name,url,\xDC00username,password\nt,l,u,p\n", false)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        tImportedData data;
        data.format = "before";
        data.entries.emplace_back();
        std::string error;
        EXPECT_EQ(ReadCsvExport(c.second, data, error), eImportRead::eNotAnExport);
        EXPECT_EQ(error, "");
        EXPECT_EQ(data.format, "before");
        EXPECT_EQ(data.entries.size(), 1u);
        EXPECT_TRUE(data.folders.empty());
    }
}

}  // namespace
