// A modified entry is a fresh node that takes the stored entry's times with
// copyFileInfo: written and read back, it has the times it had, in the form
// (plain or encrypted) of the fresh node.
#include "StoreFixture.h"
#include "TimeUtil.h"

namespace {

struct CopyCase {
    bool storedEncrypted;
    bool freshEncrypted;
};

std::ostream& operator<<(std::ostream& os, const CopyCase& c) {
    return os << (c.storedEncrypted ? "encrypted" : "plain") << " to " << (c.freshEncrypted ? "encrypted" : "plain");
}

const char kCreated[] = "1258363200";
const char kAccessed[] = "1258363300";
const char kModified[] = "1258363400";

}  // namespace

class CopyFileInfoTest : public StoreFixture, public ::testing::WithParamInterface<CopyCase> {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        const bool enc = GetParam().storedEncrypted;
        auto field = [&](const char* tag, const std::string& text) {
            if (!enc) return "<" + std::string(tag) + ">" + text + "</" + tag + ">";
            auto v = encryptedUnder("pw", text);
            return "<" + std::string(tag) + " salt=\"" + v.second + "\">" + v.first + "</" + tag + ">";
        };
        files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
                               "\"><file name=\"Bank\" id=\"3\">" + field("username", "ann") +
                               field("password", "s3cret") + field("creationtime", kCreated) +
                               field("lastmodtime", kModified) + field("lastaccesstime", kAccessed) +
                               "</file></pswd>";
        start();
        willType("pw");
        list("\\");
    }
    TreePos bank() {
        for (TreePos p = passwordTree().begin(); p != passwordTree().end(); ++p)
            if (p->isEntry()) return p;
        return passwordTree().end();
    }
    // The entry as the entry dialog hands it back after a modification.
    tTreeNode freshNode(const tTreeNode& stored, bool encrypt) {
        tTreeNode fresh;
        fresh.setUniqueNumber(stored.uniqueNumber, 0);
        fresh.userName = "bob";
        fresh.password = "n3w";
        if (encrypt) {
            security::encrypt(fresh.password, fresh.password, fresh.passwordSalt);
            security::encrypt(fresh.userName, fresh.userName, fresh.userNameSalt);
            security::encrypt(stored.name, fresh.encryptedTitle, fresh.titleSalt);
            fresh.encrypted = true;
        }
        return fresh;
    }
    TiXmlElement* child(TiXmlDocument& d, const char* tag) {
        TiXmlElement* file = XmlData::findElementById(d.RootElement(), 3);
        return file ? file->FirstChildElement(tag) : nullptr;
    }
};

TEST_P(CopyFileInfoTest, FreshCopyKeepsItsTimesThroughTheFile) {
    TreePos stored = bank();
    ASSERT_NE(stored, passwordTree().end());
    ASSERT_EQ(timeutil::fileTimeToText(stored->ftCreationTime), kCreated);

    tTreeNode fresh = freshNode(*stored, GetParam().freshEncrypted);
    fresh.copyFileInfo(*stored);
    EXPECT_EQ(fresh.name, "Bank");
    ASSERT_EQ(xmlData().updateXML(fresh), 1);

    // In the file, the times take the fresh node's form.
    TiXmlDocument d = parsedStore();
    for (const char* tag : {"creationtime", "lastaccesstime", "lastmodtime"}) {
        TiXmlElement* e = child(d, tag);
        ASSERT_NE(e, nullptr) << tag;
        EXPECT_EQ(e->Attribute("salt") != nullptr, GetParam().freshEncrypted) << tag;
    }

    xmlData().resetInitialized();
    willType("pw");
    ASSERT_EQ(list("\\"), (std::vector<std::string>{"New Entry", "Lock Keyhold", "Default Auto Type Window is OFF",
                                                    "Bank"}));
    TreePos back = bank();
    ASSERT_NE(back, passwordTree().end());
    EXPECT_EQ(timeutil::fileTimeToText(back->ftCreationTime), kCreated);
    EXPECT_EQ(timeutil::fileTimeToText(back->lastAccessFileTime()), kAccessed);
    EXPECT_EQ(timeutil::fileTimeToText(back->lastModFileTime()), kModified);
    EXPECT_EQ(back->getUserName(), "bob");
}

INSTANTIATE_TEST_SUITE_P(Forms, CopyFileInfoTest,
                         ::testing::Values(CopyCase{true, true}, CopyCase{true, false}, CopyCase{false, true},
                                           CopyCase{false, false}),
                         [](const ::testing::TestParamInfo<CopyCase>& info) {
                             return std::string(info.param.storedEncrypted ? "Encrypted" : "Plain") + "To" +
                                    (info.param.freshEncrypted ? "Encrypted" : "Plain");
                         });
