// Reading the store again ("Reload Database", then the next listing): the
// tree read before is replaced, not added to, and every element keeps its id
// as its number, so that later single changes find their own elements.
#include <map>

#include "StoreFixture.h"

namespace {

const std::vector<std::string> kRoot = {"New Entry", "Lock Keyhold", "Default Auto Type Window is OFF",
                                        "Reload Database"};

std::vector<std::string> rootWith(std::vector<std::string> rest) {
    std::vector<std::string> all = kRoot;
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

// How many nodes of the tree carry each number (folders, entries, base node).
std::map<std::uint32_t, int> numbersInTree() {
    std::map<std::uint32_t, int> numbers;
    for (const tTreeNode& n : passwordTree())
        if (n.isEntry() || n.isFolder() || n.isBase()) ++numbers[n.uniqueNumber];
    return numbers;
}

int nodesOfType(int type) {
    int count = 0;
    for (const tTreeNode& n : passwordTree()) count += n.nodeType == type;
    return count;
}

TreePos nodeNumbered(std::uint32_t number) {
    PasswordTree& tree = passwordTree();
    for (TreePos p = tree.begin(); p != tree.end(); ++p)
        if ((p->isEntry() || p->isFolder()) && p->uniqueNumber == number) return p;
    return tree.end();
}

}  // namespace

class ReloadTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
                               "\">"
                               "<folder name=\"Mail\" id=\"2\" creationtime=\"1\">"
                               "<file name=\"Boss\" id=\"4\"><username>boss</username></file></folder>"
                               "<folder name=\"Money\" id=\"6\" creationtime=\"1\">"
                               "<file name=\"Bank\" id=\"7\"><username>ann</username></file></folder></pswd>";
        start("[MAIN]\nNewEntryFolder=1\nEnableReload=1\n");
        willType("pw");
        ASSERT_EQ(list("\\"), rootWith({"Mail", "Money"}));
    }
    // What the reload command does; the next listing reads the file again.
    void reload() { xmlData().resetInitialized(); }
    // Inserts text into the stored file in front of `before`.
    void editFile(const std::string& before, const std::string& text) {
        std::string& xml = files.content[store];
        std::size_t at = xml.find(before);
        ASSERT_NE(at, std::string::npos) << before;
        xml.insert(at, text);
    }
    TiXmlElement* element(TiXmlDocument& d, const std::string& id) {
        return XmlData::findElementById(d.RootElement(), static_cast<std::uint32_t>(std::stoul(id)));
    }
    std::string userNameInFile(const std::string& id) {
        TiXmlDocument d = parsedStore();
        TiXmlElement* e = element(d, id);
        if (e == nullptr || e->FirstChildElement("username") == nullptr) return "<none>";
        const char* t = e->FirstChildElement("username")->GetText();
        return t ? t : "";
    }
};

TEST_F(ReloadTest, ReloadReplacesTheTreeAndKeepsTheFileIds) {
    const std::size_t size = TreeSize();
    const int writes = files.writes;
    reload();
    willType("pw");
    EXPECT_EQ(list("\\"), rootWith({"Mail", "Money"}));
    EXPECT_EQ(list("\\Money"), (std::vector<std::string>{"[New Entry]", "Bank"}));
    EXPECT_EQ(TreeSize(), size);
    EXPECT_EQ(numbersInTree(), (std::map<std::uint32_t, int>{{1, 1}, {2, 1}, {4, 1}, {6, 1}, {7, 1}}));
    EXPECT_EQ(nodesOfType(eNode_Base), 1);
    EXPECT_EQ(nodesOfType(eNode_UnLockKeyhold), 2) << "one unlock root with its one command node";
    EXPECT_EQ(nodesOfType(eNode_ReloadDatabase), 1);
    EXPECT_FALSE(log.has(eError, "Unique Number already exists!Generating a new one"));
    EXPECT_EQ(dialogs.opened.size(), 2u) << "the reload asks for the master password again";
    EXPECT_EQ(files.writes, writes) << "reading the same file again writes nothing";
}

TEST_F(ReloadTest, ChangeAfterReloadOfAnEditedFileHitsItsOwnElement) {
    reload();
    // Edited meanwhile: an entry comes in before the others, one that used a
    // number the old tree did not have, and Boss's folder loses nothing.
    editFile("<folder name=\"Mail\"", "<file name=\"Early\" id=\"9\"><username>e</username></file>");
    editFile("</pswd>", "<file name=\"Late\" id=\"3\"><username>l</username></file>");
    willType("pw");
    EXPECT_EQ(list("\\"), rootWith({"Early", "Mail", "Money", "Late"}));
    EXPECT_EQ(numbersInTree(),
              (std::map<std::uint32_t, int>{{1, 1}, {2, 1}, {3, 1}, {4, 1}, {6, 1}, {7, 1}, {9, 1}}));

    TreePos boss = nodeNumbered(4);
    ASSERT_NE(boss, passwordTree().end());
    ASSERT_EQ(boss->name, "Boss");
    boss->userName = "chief";
    EXPECT_EQ(xmlData().updateXML(*boss), 1);
    EXPECT_EQ(userNameInFile("4"), "chief");
    EXPECT_EQ(userNameInFile("9"), "e");
    EXPECT_EQ(userNameInFile("3"), "l");
    EXPECT_EQ(userNameInFile("7"), "ann");
    // A node made now gets a number no element has.
    tTreeNode fresh = makeEntry("Fresh");
    EXPECT_EQ(numbersInTree().count(fresh.uniqueNumber), 0u);
    EXPECT_EQ(element(*xmlData().document(), std::to_string(fresh.uniqueNumber)), nullptr);
}

TEST_F(ReloadTest, EntryRemovedFromTheFileLeavesTheTreeAndItsNumber) {
    reload();
    std::string& xml = files.content[store];
    std::size_t from = xml.find("<file name=\"Boss\"");
    xml.erase(from, xml.find("</folder>", from) - from);
    willType("pw");
    EXPECT_EQ(list("\\Mail"), std::vector<std::string>{"[New Entry]"});
    EXPECT_EQ(nodeNumbered(4), passwordTree().end());
    EXPECT_EQ(numbersInTree(), (std::map<std::uint32_t, int>{{1, 1}, {2, 1}, {6, 1}, {7, 1}}));
}

TEST_F(ReloadTest, PositionsIntoTheOldTreeAreLetGo) {
    wfx::WIN32_FIND_DATAA fd;
    wfx::HANDLE open = FindFirst("\\Money", &fd);
    ASSERT_NE(open, wfx::invalidHandle());
    reload();
    willType("pw");
    EXPECT_EQ(list("\\Mail"), (std::vector<std::string>{"[New Entry]", "Boss"}));
    // The listing begun in the old tree ends instead of walking freed nodes.
    EXPECT_FALSE(FindNext(open, &fd));
    FindClose(open);
    tNavigationState& nav = navigation();
    PasswordTree& tree = passwordTree();
    for (TreePos p : {nav.baseNode, nav.activeRoot, nav.unlockRoot, nav.autoTypeWindowNode}) {
        ASSERT_TRUE(p.valid());
        ASSERT_NE(p, tree.end());
    }
    EXPECT_EQ(nav.baseNode, GetBaseNode());
    EXPECT_EQ(nav.activeRoot, nav.baseNode);
    EXPECT_EQ(nav.autoTypeWindowNode->nodeType, eNode_AutoTypeWindowOff);
    // Locking and unlocking go by the new unlock root.
    lock();
    EXPECT_EQ(list("\\"), std::vector<std::string>{"UnLock Keyhold"});
    willType("pw");
    EXPECT_TRUE(unlock());
    EXPECT_EQ(list("\\"), rootWith({"Mail", "Money"}));
}

TEST_F(ReloadTest, RefusedPasswordKeepsTheTreeReadBefore) {
    reload();
    willCancel();
    EXPECT_TRUE(list("\\").empty());
    EXPECT_EQ(shownMessages(), std::vector<std::string>{"Deny access"});
    EXPECT_EQ(numbersInTree(), (std::map<std::uint32_t, int>{{1, 1}, {2, 1}, {4, 1}, {6, 1}, {7, 1}}));
    willType("pw");
    EXPECT_EQ(list("\\"), rootWith({"Mail", "Money"}));
    EXPECT_EQ(numbersInTree(), (std::map<std::uint32_t, int>{{1, 1}, {2, 1}, {4, 1}, {6, 1}, {7, 1}}));
}

TEST_F(ReloadTest, StoreGoneMeanwhileIsNeitherReplacedNorForgotten) {
    reload();
    files.content.erase(store);
    const std::size_t asked = dialogs.opened.size();
    EXPECT_EQ(list("\\"), rootWith({"Mail", "Money"}));
    EXPECT_EQ(dialogs.opened.size(), asked) << "no password is asked for a new store";
    EXPECT_EQ(nodesOfType(eNode_Base), 1);
    EXPECT_EQ(nodesOfType(eNode_File), 2);
    EXPECT_FALSE(files.exists(store));
    ASSERT_FALSE(shownMessages().empty());
    EXPECT_NE(shownMessages().back().find("is missing"), std::string::npos) << shownMessages().back();
}
