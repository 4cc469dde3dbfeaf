#include "TestSupport.h"
#include "security/Util.h"

namespace {

class TreeNodeTest : public PlatformFixture {
protected:
    void SetUp() override {
        PlatformFixture::SetUp();
        base = passwordTree().insert(passwordTree().end(), MakeBaseNode("Keyhold"));
        base->absolutePath = "\\";
    }
    TreePos addFolder(TreePos parent, const std::string& name) {
        TreePos p = passwordTree().appendChild(parent, MakeFolderNode(name));
        p->registerNode(parent);
        return p;
    }
    TreePos addEntry(TreePos parent, const std::string& name) {
        TreePos p = passwordTree().appendChild(parent, makeEntry(name));
        p->registerNode(parent);
        return p;
    }
    TreePos base;
};

TEST_F(TreeNodeTest, AbsolutePathsFollowTheFolders) {
    TreePos mail = addFolder(base, "Mail");
    TreePos gmail = addEntry(mail, "Gmail");
    TreePos work = addFolder(mail, "Work");
    TreePos boss = addEntry(work, "Boss");
    EXPECT_EQ(mail->absolutePath, "\\Mail\\");
    EXPECT_EQ(gmail->absolutePath, "\\Mail\\Gmail");
    EXPECT_EQ(work->absolutePath, "\\Mail\\Work\\");
    EXPECT_EQ(boss->absolutePath, "\\Mail\\Work\\Boss");

    mail->name = "Post";
    std::string previous = mail->updateAbsolutePath(base);
    EXPECT_EQ(previous, "\\Mail\\");
    tTreeNode::refreshSubtreePaths(mail, passwordTree().subtreeEnd(mail));
    EXPECT_EQ(mail->absolutePath, "\\Post\\");
    EXPECT_EQ(gmail->absolutePath, "\\Post\\Gmail");
    EXPECT_EQ(boss->absolutePath, "\\Post\\Work\\Boss");
}

TEST_F(TreeNodeTest, UpdateAbsolutePathWithTheEndPositionChangesNothing) {
    tTreeNode node = MakeFolderNode("Loose");
    EXPECT_EQ(node.updateAbsolutePath(passwordTree().end()), "");
    EXPECT_EQ(node.absolutePath, "\\");
    EXPECT_TRUE(log.has(eTroubleShoot, "updateAbsolutePath()"));
}

TEST_F(TreeNodeTest, FolderUnderAnEmptyBasePathGetsALeadingBackslash) {
    base->absolutePath = "";
    TreePos f = addFolder(base, "Mail");
    EXPECT_EQ(f->absolutePath, "\\Mail\\");
}

TEST_F(TreeNodeTest, SiblingNamesClashCaseInsensitively) {
    TreePos bankFolder = addFolder(base, "bank");
    passwordTree().appendChild(base, MakeCommandNode("BANK", eNode_NewEntry));
    tTreeNode candidate = makeEntry("BANK");
    EXPECT_TRUE(tTreeNode::hasSiblingWithSameName(candidate, base));
    candidate.name = "Bank2";
    EXPECT_FALSE(tTreeNode::hasSiblingWithSameName(candidate, base));
    // The node itself is recognised by its number.
    EXPECT_FALSE(tTreeNode::hasSiblingWithSameName(*bankFolder, base));
    // Command nodes never clash.
    candidate.name = "new entry";
    passwordTree().appendChild(base, MakeCommandNode("New Entry", eNode_NewEntry));
    EXPECT_FALSE(tTreeNode::hasSiblingWithSameName(candidate, base));
    // Only the children of the given parent count.
    TreePos other = addFolder(base, "Other");
    candidate.name = "BANK";
    EXPECT_FALSE(tTreeNode::hasSiblingWithSameName(candidate, other));
    resetTreeForTesting();
    EXPECT_FALSE(tTreeNode::hasSiblingWithSameName(candidate, passwordTree().end()));
}

TEST_F(TreeNodeTest, StoredTimes) {
    tTreeNode n;
    n.setCreationTime("");
    EXPECT_TRUE(timeutil::isNoTime(n.ftCreationTime));
    n.setCreationTime("abc");
    EXPECT_TRUE(n.ftCreationTime == timeutil::textToFileTime("0"));
    EXPECT_EQ(n.creationTimeText, "abc");
    n.setLastModTime("1258363200");
    EXPECT_EQ(timeutil::fileTimeToText(n.ftLastWriteTime), "1258363200");
    n.setLastAccessTime("1258363201");
    EXPECT_EQ(timeutil::fileTimeToText(n.ftLastAccessTime), "1258363201");
    // An empty text leaves the stored text as it was.
    n.setLastModTime("");
    EXPECT_TRUE(timeutil::isNoTime(n.ftLastWriteTime));
    EXPECT_EQ(n.lastModTimeText, "1258363200");
}

TEST_F(TreeNodeTest, DefaultNodeAndIcon) {
    tTreeNode n;
    EXPECT_EQ(n.nodeType, eNode_None);
    EXPECT_TRUE(n.isDefaultIcon());
    EXPECT_TRUE(timeutil::isNoTime(n.ftCreationTime));
    EXPECT_EQ(n.xmlElement, nullptr);
    n.setIcon("email");
    EXPECT_EQ(n.getIcon(), "email");
    n.setIcon("");
    EXPECT_EQ(n.getIcon(), "default");
    EXPECT_EQ(n.getNodeType(), eNode_None);
    EXPECT_TRUE(log.has(eError, "Node #0 without node type"));
}

struct TypeCase {
    int type;
    bool command, newEntry, topNewEntry, entry, folder, isBase;
};

class NodeTypeTest : public ::testing::TestWithParam<TypeCase> {};

TEST_P(NodeTypeTest, Classifies) {
    const TypeCase& c = GetParam();
    tTreeNode n;
    n.nodeType = c.type;
    EXPECT_EQ(n.isCommandNode(), c.command);
    EXPECT_EQ(n.isNewEntryCommand(), c.newEntry);
    EXPECT_EQ(n.isTopNewEntryCommand(), c.topNewEntry);
    EXPECT_EQ(n.isEntry(), c.entry);
    EXPECT_EQ(n.isFolder(), c.folder);
    EXPECT_EQ(n.isBase(), c.isBase);
}

INSTANTIATE_TEST_SUITE_P(Types, NodeTypeTest,
                         ::testing::Values(TypeCase{0, false, false, false, false, false, false},
                                           TypeCase{1, true, true, true, false, false, false},
                                           TypeCase{2, true, true, false, false, false, false},
                                           TypeCase{3, false, false, false, false, false, false},
                                           TypeCase{4, false, false, false, true, false, false},
                                           TypeCase{5, false, false, false, false, true, false},
                                           TypeCase{6, false, false, false, false, false, true},
                                           TypeCase{7, true, false, false, false, false, false},
                                           TypeCase{8, true, false, false, false, false, false},
                                           TypeCase{9, true, false, false, false, false, false},
                                           TypeCase{10, true, false, false, false, false, false},
                                           TypeCase{11, true, false, false, false, false, false}));

TEST_F(TreeNodeTest, Factories) {
    clock.now = timeutil::toUInt64(timeutil::textToFileTime("1258363200")) + 1234567;
    tTreeNode folder = MakeFolderNode("Mail");
    EXPECT_EQ(folder.nodeType, eNode_Directory);
    EXPECT_EQ(folder.fileAttributes, 16u);
    EXPECT_EQ(folder.absolutePath, "\\");
    EXPECT_NE(folder.uniqueNumber, 0u);
    EXPECT_EQ(folder.creationTimeText, "1258363200");
    EXPECT_TRUE(folder.ftCreationTime == timeutil::textToFileTime("1258363200"));  // whole seconds

    tTreeNode b = MakeBaseNode("Keyhold");
    EXPECT_EQ(b.nodeType, eNode_Base);
    EXPECT_EQ(b.fileAttributes, 16u);
    EXPECT_EQ(b.fileSizeLow, 1u);
    EXPECT_NE(b.uniqueNumber, folder.uniqueNumber);
    EXPECT_TRUE(timeutil::isNoTime(b.ftCreationTime));

    tTreeNode c = MakeCommandNode("Lock Keyhold", eNode_LockKeyhold);
    EXPECT_EQ(c.fileAttributes, 128u);
    EXPECT_EQ(c.fileSizeHigh, 0u);
    EXPECT_EQ(c.fileSizeLow, 1u);
    EXPECT_EQ(c.ftCreationTime.dwHighDateTime, 0xFFFFFFFFu);
    EXPECT_EQ(c.ftCreationTime.dwLowDateTime, 0xFFFFFFFEu);
    EXPECT_EQ(c.uniqueNumber, 0u);
}

TEST_F(TreeNodeTest, EncryptedEntryKeepsItsTimesEncrypted) {
    theApp().m_masterPassword.setText("secret");
    clock.now = timeutil::toUInt64(timeutil::textToFileTime("1258363200")) + 9999999;
    tTreeNode e = makeEntry("Bank");
    e.encrypted = true;
    e.setCreationTimeNow();
    EXPECT_EQ(e.creationTimeSalt.size(), 16u);
    EXPECT_EQ(e.creationTimeText.size(), 32u);
    EXPECT_NE(e.creationTimeText, "1258363200");
    EXPECT_TRUE(e.ftCreationTime == timeutil::textToFileTime("1258363200"));
    std::string plain;
    EXPECT_EQ(security::decrypt(e.creationTimeText, e.creationTimeSalt, plain), 1);
    EXPECT_EQ(plain, "1258363200");

    // Read back from the stored form, the text stays as stored.
    tTreeNode back;
    back.creationTimeSalt = e.creationTimeSalt;
    back.setCreationTime(e.creationTimeText);
    EXPECT_TRUE(back.ftCreationTime == e.ftCreationTime);
    EXPECT_EQ(back.creationTimeText, e.creationTimeText);
    EXPECT_TRUE(log.has(eRubbish, "Decrypt creationtime."));

    e.setLastModTimeNow();
    e.setLastAccessTimeNow();
    EXPECT_EQ(e.lastModTimeSalt.size(), 16u);
    EXPECT_EQ(e.lastAccessTimeSalt.size(), 16u);
    EXPECT_NE(e.lastModTimeSalt, e.lastAccessTimeSalt);
    theApp().m_masterPassword.clear();
}

TEST_F(TreeNodeTest, FieldGettersDecryptEncryptedEntries) {
    theApp().m_masterPassword.setText("secret");
    tTreeNode e = makeEntry("Bank");
    security::encrypt("hunter2", e.password, e.passwordSalt);
    security::encrypt("alice", e.userName, e.userNameSalt);
    security::encrypt("line1\r\nline2", e.notes, e.notesSalt);
    e.url = "plain url";  // no salt: the field holds plain text, whatever the entry's flag
    EXPECT_EQ(e.getPassword(), "hunter2");
    EXPECT_TRUE(e.encrypted);
    EXPECT_EQ(e.getUserName(), "alice");
    EXPECT_EQ(e.getNotes(), "line1\r\nline2");
    EXPECT_EQ(e.getUrl(), "plain url");

    tTreeNode p = makeEntry("Plain");
    p.password = "pw";
    p.userName = "bob";
    EXPECT_EQ(p.getPassword(), "pw");
    EXPECT_FALSE(p.encrypted);
    EXPECT_EQ(p.getUserName(), "bob");
    theApp().m_masterPassword.clear();
}

TEST_F(TreeNodeTest, CopyFileInfoTakesWhatTheHostLists) {
    tTreeNode from = makeEntry("Src");
    from.fileSizeLow = 5;
    from.creationTimeText = "1";
    from.password = "not copied";
    tTreeNode to = makeEntry("Dst");
    std::uint32_t number = to.uniqueNumber;
    to.copyFileInfo(from);
    EXPECT_EQ(to.name, "Src");
    EXPECT_EQ(to.fileSizeLow, 5u);
    EXPECT_EQ(to.creationTimeText, "1");
    EXPECT_EQ(to.password, "");
    EXPECT_EQ(to.uniqueNumber, number);
}

}  // namespace
