// Imports and the heap: every value an export holds passes through texts
// that are wiped before their memory is given back, whether the export is
// read whole, refused as damaged, or imported into the store.
//
// This program replaces operator new and delete (AllocationWatch): a freed
// block that still holds a value is seen.
#include <gtest/gtest.h>

#include "AllocationWatch.h"
#include "ImportCsv.h"
#include "ImportKeePassXml.h"
#include "StoreChanges.h"
#include "StoreFixture.h"

namespace {

const char* const kKeePassXcHeader =
    "\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\",\"TOTP\",\"Icon\",\"Last Modified\",\"Created\"";

std::string joined(const std::vector<std::string>& texts) {
    std::string all;
    for (const std::string& t : texts) all += "  " + t + "\n";
    return all;
}

// Long enough to live on the heap, and unlike anything else the program holds.
const std::string kTitleMark = "Titlex-Marmoset-3391-Quasar-Loch-0101";
const std::string kUserMark = "Userx-Pangolin-7720-Nebula-Fen-0102";
const std::string kPassMark = "Passx-Axolotl-1185-Pulsar-Moor-0103";
const std::string kUrlMark = "Urlx-Okapi-5503-Comet-Heath-0104";
const std::string kNoteMark = "Notex-Quokka-6642-Aurora-Tarn-0105";
const std::string kTotpMark = "Totpx-Narwhal-2287-Zenith-Wold-0106";
const std::string kGroupMark = "Groupx-Tapir-9914-Meteor-Ghyll-0107";
const std::vector<std::string> kMarks = {kTitleMark, kUserMark, kPassMark, kUrlMark,
                                         kNoteMark,  kTotpMark, kGroupMark};

TEST(ImportCsvTest, LeavesNoCopyOfAValueInFreedMemory) {
    const std::string record = "\"Root/" + kGroupMark + "/" + kGroupMark + "\"," + kTitleMark + "," + kUserMark +
                               ",\"" + kPassMark + " \"\"q\"\", and more\"," + kUrlMark + ",\"" + kNoteMark +
                               "\nsecond line\"," + kTotpMark + ",0,d,d";
    const std::string text = std::string(kKeePassXcHeader) + "\n" + record + "\n" + record + "\n";
    const std::u16string wide(text.begin(), text.end());
    struct Case {
        const char* what;
        std::string bytes;
        eImportRead result;
    };
    const std::vector<Case> cases = {
        {"UTF-8", text, eImportRead::eRead},
        {"UTF-8 with a mark", "\xEF\xBB\xBF" + text, eImportRead::eRead},
        {"UTF-16LE", utf16(wide, true), eImportRead::eRead},
        {"UTF-16BE", utf16(wide, false), eImportRead::eRead},
        {"a wrong field count at the end", text + record + ",x\n", eImportRead::eMalformed},
        {"UTF-16 with an unclosed quote at the end",
         utf16(wide + u"\"" + std::u16string(kPassMark.begin(), kPassMark.end()) + u"\n" +
                   std::u16string(kNoteMark.begin(), kNoteMark.end()),
               true),
         eImportRead::eMalformed},
    };
    // Made before the watch: a copy of a mark the test itself frees would count.
    const std::string password = kPassMark + " \"q\", and more";
    const std::vector<std::string> groups = {kGroupMark, kGroupMark};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        allocwatch::watchFor(kMarks);
        bool complete = false;
        {
            tImportedData data;
            std::string error;
            EXPECT_EQ(ReadCsvExport(c.bytes, data, error), c.result) << error;
            complete = c.result != eImportRead::eRead ||
                       (data.entries.size() == 2 && data.entries[1].password == password &&
                        data.entries[1].notes.find(kTotpMark) != std::string::npos &&
                        data.entries[1].groups == groups);
        }
        const std::vector<std::string> left = allocwatch::stop();
        EXPECT_TRUE(complete);
        EXPECT_TRUE(left.empty()) << "freed without being wiped:\n" << joined(left);
    }
}


// A KeePass export, read whole, in another encoding, or cut off: the values
// of its fields, of an old version and of its auto-type settings are wiped
// with the document that held them.
std::string keePassExport(const std::string& declaration) {
    return declaration +
           "<KeePassFile><Meta><Generator>KeePass</Generator></Meta><Root><Group><Name>R</Name>"
           "<Group><UUID>x</UUID><Name>G</Name><Entry><String><Key>Title</Key><Value>T</Value></String>"
           "<String><Key>Password</Key><Value>" + kPassMark + "</Value></String>"
           "<String><Key>Notes</Key><Value>" + kNoteMark + "\nline</Value></String>"
           "<String><Key>Secret</Key><Value>" + kTotpMark + "</Value></String>"
           "<AutoType><Enabled>True</Enabled><DefaultSequence>{USERNAME}{TAB}" + kUrlMark +
           "{ENTER}</DefaultSequence><Association><Window>W*</Window><KeystrokeSequence>" + kUrlMark +
           "{TITLE}</KeystrokeSequence></Association></AutoType>"
           "<History><Entry><String><Key>Password</Key><Value>" + kPassMark + "</Value></String></Entry></History>"
           "</Entry></Group></Group></Root></KeePassFile>";
}

TEST(ImportKeePassXmlTest, LeavesNoCopyOfAValueInFreedMemory) {
    std::string cut = keePassExport("");
    cut.resize(cut.size() - 30);
    struct Case {
        const char* what;
        std::string text;
        eImportRead result;
    };
    const std::vector<Case> cases = {
        {"UTF-8", keePassExport("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"), eImportRead::eRead},
        {"ISO-8859-1", keePassExport("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"), eImportRead::eRead},
        {"cut off", cut, eImportRead::eMalformed},
    };
    const std::vector<std::string> watched = {kPassMark, kNoteMark, kTotpMark, kUrlMark};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        allocwatch::watchFor(watched);
        {
            tImportedData data;
            std::string error;
            EXPECT_EQ(ReadKeePassXmlExport(c.text, data, error), c.result) << error;
            if (c.result == eImportRead::eRead) {
                EXPECT_TRUE(!data.entries.empty() && data.entries[0].password == kPassMark);
            }
        }
        const std::vector<std::string> left = allocwatch::stop();
        EXPECT_TRUE(left.empty()) << "freed without being wiped:\n" << joined(left);
    }
}

// The whole way: an export copied into the store. The values end up
// encrypted in the tree and the file; no plain copy of a user name, a
// password, a URL or the notes is left in freed memory.
class ImportSecretsTest : public StoreFixture {};

TEST_F(ImportSecretsTest, AnImportLeavesNoPlainValueInFreedMemory) {
    files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
                           "\"><folder name=\"Mail\" id=\"2\" creationtime=\"1\"/></pswd>";
    start();
    willType("pw");
    list("\\");
    const std::string record = "\"Root/Shop\",Title," + kUserMark + ",\"" + kPassMark + " \"\"q\"\", and more\"," +
                               kUrlMark + ",\"" + kNoteMark + "\nsecond line\"," + kTotpMark + ",0,d,d";
    files.content["/home/export.csv"] = std::string(kKeePassXcHeader) + "\n" + record + "\n";
    const std::vector<std::string> watched = {kUserMark, kPassMark, kUrlMark, kNoteMark, kTotpMark};
    allocwatch::watchFor(watched);
    const int result = PutFile("/home/export.csv", "\\Mail\\export.csv", 0);
    const std::vector<std::string> left = allocwatch::stop();
    EXPECT_EQ(result, wfx::FS_FILE_OK);
    EXPECT_EQ(list("\\Mail\\Shop"), (std::vector<std::string>{"[New Entry]", "Title"}));
    EXPECT_TRUE(left.empty()) << "freed without being wiped:\n" << joined(left);
    for (const std::string& mark : watched) EXPECT_EQ(files.content[store].find(mark), std::string::npos) << mark;
}

}  // namespace
