// The icon map and the icons handed to the host.
#include "NodeIcon.h"

#include "StoreFixture.h"

namespace {

class NodeIconTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        nodeIcons().resetForTesting();
    }
    void TearDown() override {
        nodeIcons().resetForTesting();
        StoreFixture::TearDown();
    }
    int idOf(const std::string& path) {
        std::optional<tIconInfo> record = nodeIcons().getNodeIcon(path);
        return record ? record->resourceId : -1;
    }
    static tTreeNode node(int type, const std::string& path, std::uint32_t number, const std::string& icon = "default") {
        tTreeNode n;
        n.nodeType = type;
        n.absolutePath = path;
        n.uniqueNumber = number;
        n.icon = icon;
        return n;
    }
};

struct PathIcon {
    const char* path;
    int resourceId;
};

// Built-in rows, and the last-component fallback for command nodes inside
// folders and items named Key.
const PathIcon kLookups[] = {
    {"\\Main", 3000},
    {"\\Email\\", 3001},
    {"\\Homebanking\\", 3002},
    {"\\Internet\\", 3003},
    {"\\Network\\", 3004},
    {"\\Key", 3005},
    {"\\Windows\\", 3006},
    {"\\New Entry", 3021},
    {"\\Lock Keyhold", 3018},
    {"\\UnLock Keyhold", 3017},
    {"\\Default Auto Type Window is OFF", 3020},
    {"\\Default Auto Type Window is ON", 3022},
    {"\\[New Entry]", 3021},
    {"\\Reload Database", 3024},
    {"\\Email\\[New Entry]", 3021},
    {"\\Some\\Deep\\Key", 3005},
    {"\\Some\\Key\\", 3005},
    {"\\Email", -1},
    {"\\lock keyhold", -1},
    {"\\Nothing", -1},
};

TEST_F(NodeIconTest, LooksUpThePathThenItsLastComponent) {
    for (const PathIcon& row : kLookups) EXPECT_EQ(idOf(row.path), row.resourceId) << row.path;
}

TEST_F(NodeIconTest, UnknownPathsAreLoggedAsFatal) {
    idOf("\\Nothing");
    EXPECT_TRUE(log.has(eFatal, "getNodeIcon(\\*)"));
    idOf("\\Lock Keyhold");
    EXPECT_TRUE(log.has(eInformation, "getNodeIcon(\\*) with Dir icon"));
    idOf("\\Key");
    EXPECT_TRUE(log.has(eInformation, "getNodeIcon(\\*) with File icon"));
}

TEST_F(NodeIconTest, BuiltInRowsAreKeyedByThePathChecksum) {
    EXPECT_EQ(pathChecksum(""), 0);
    // '\\' 92*0 + 'K' 75*1 + 'e' 101*2 + 'y' 121*3
    EXPECT_EQ(pathChecksum("\\Key"), 75 + 202 + 363);
    EXPECT_EQ(pathChecksum(std::string("a\xE9", 2)), -23) << "characters count as signed bytes";
    EXPECT_EQ(nodeIcons().getNodeIcon("\\Key")->keyValue, 640);
    EXPECT_EQ(nodeIcons().getNodeIcon("\\Main")->iconName, "");
}

struct NodeRow {
    int nodeType;
    const char* path;
    const char* icon;
    int added;       // addNodeIcon's answer
    int resourceId;  // of the row for the path afterwards, -1 none
};

const NodeRow kNodeRows[] = {
    {eNode_File, "\\Email\\Gmail", "default", 1, 3005},
    {eNode_File, "\\Email\\Gmail", "custom", 0, -1},
    {eNode_Directory, "\\Email\\", "default", 1, 3001},
    {eNode_Directory, "\\email\\", "default", 1, 3001},
    {eNode_Directory, "\\EMAIL\\", "default", 1, 3023},
    {eNode_Directory, "\\homebanking\\", "default", 1, 3002},
    {eNode_Directory, "\\internet\\", "default", 1, 3003},
    {eNode_Directory, "\\network\\", "default", 1, 3004},
    {eNode_Directory, "\\windows\\", "default", 1, 3006},
    {eNode_Directory, "\\Private\\", "default", 1, 3023},
    {eNode_Directory, "\\Private\\Email\\", "default", 1, 3023},
    {eNode_Directory, "\\Private\\", "folder.ico", 0, -1},
    {eNode_LockKeyhold, "\\Locker", "default", 0, -1},
    {eNode_Base, "\\Base", "default", 0, -1},
};

TEST_F(NodeIconTest, NodesWithTheDefaultIconGetRowsByKind) {
    for (const NodeRow& row : kNodeRows) {
        nodeIcons().resetForTesting();
        tTreeNode n = node(row.nodeType, row.path, 77, row.icon);
        EXPECT_EQ(nodeIcons().addNodeIcon(n), row.added) << row.path << " " << row.icon;
        std::optional<tIconInfo> record = nodeIcons().getNodeIcon(row.path);
        EXPECT_EQ(record ? record->resourceId : -1, row.resourceId) << row.path << " " << row.icon;
        if (record) {
            EXPECT_EQ(record->keyValue, 77);
            EXPECT_EQ(record->path, row.path);
            EXPECT_EQ(record->iconName, "default");
        }
    }
}

TEST_F(NodeIconTest, DeletingRemovesTheRowOnce) {
    nodeIcons().addNodeIcon(node(eNode_File, "\\Email\\Gmail", 5));
    const std::size_t withEntry = nodeIcons().size();
    EXPECT_EQ(nodeIcons().deleteNodeIcon("\\Email\\Gmail"), 1);
    EXPECT_EQ(nodeIcons().size(), withEntry - 1);
    EXPECT_EQ(idOf("\\Email\\Gmail"), -1);
    EXPECT_TRUE(log.has(eRubbish, "Deeting icon \\Email\\* with File icon"));  // no entry title
    EXPECT_EQ(nodeIcons().deleteNodeIcon("\\Email\\Gmail"), 0);
}

TEST_F(NodeIconTest, ReplacingMovesTheRowToTheNewPath) {
    nodeIcons().addNodeIcon(node(eNode_File, "\\Email\\Old", 5));
    tTreeNode moved = node(eNode_File, "\\Internet\\New", 5);
    EXPECT_EQ(nodeIcons().replaceNodeIcon(moved, "\\Email\\Old"), 1);
    EXPECT_EQ(idOf("\\Internet\\New"), 3005);
    EXPECT_EQ(idOf("\\Email\\Old"), -1);
    // Recomputing a path that stays the same keeps the row.
    EXPECT_EQ(nodeIcons().replaceNodeIcon(moved, "\\Internet\\New"), 1);
    EXPECT_EQ(idOf("\\Internet\\New"), 3005);
    // A node that now has its own icon loses its row; an empty former path
    // removes nothing.
    moved.icon = "mine";
    std::size_t before = nodeIcons().size();
    EXPECT_EQ(nodeIcons().replaceNodeIcon(moved, ""), 0);
    EXPECT_EQ(nodeIcons().size(), before);
}

TEST_F(NodeIconTest, LoadingAStoreRegistersItsFoldersAndEntries) {
    files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
                           "\"><folder name=\"Email\" id=\"2\"><file name=\"Gmail\" id=\"3\"/>"
                           "<file name=\"Own\" id=\"4\" icon=\"mine\"/><folder name=\"Sub\" id=\"5\"/></folder>"
                           "<folder name=\"EMAIL\" id=\"6\"/></pswd>";
    start("[MAIN]\nNewEntryFolder=1\n");
    willType("pw");
    ASSERT_FALSE(list("\\").empty());
    EXPECT_EQ(idOf("\\Email\\"), 3001);
    EXPECT_EQ(idOf("\\EMAIL\\"), 3023);
    EXPECT_EQ(idOf("\\Email\\Sub\\"), 3023);
    EXPECT_EQ(idOf("\\Email\\Gmail"), 3005);
    EXPECT_EQ(nodeIcons().getNodeIcon("\\Email\\Gmail")->keyValue, 3);
    EXPECT_EQ(idOf("\\Email\\Own"), -1);
    EXPECT_EQ(idOf("\\Email\\[New Entry]"), 3021);
}

TEST_F(NodeIconTest, RenamingAFolderMovesTheRowsBelowIt) {
    PasswordTree& tree = passwordTree();
    tTreeNode base = MakeBaseNode("B");
    base.absolutePath = "\\";
    TreePos root = tree.insert(tree.end(), base);
    tTreeNode folder = MakeFolderNode("Mail");
    folder.registerNode(root);
    TreePos f = tree.appendChild(root, folder);
    tTreeNode entry;
    entry.nodeType = eNode_File;
    entry.name = "Gmail";
    entry.uniqueNumber = 9;
    entry.registerNode(f);
    TreePos e = tree.appendChild(f, entry);
    ASSERT_EQ(idOf("\\Mail\\Gmail"), 3005);

    f->name = "Email";
    f->reregisterNode(root);
    e->reregisterNode(f);
    EXPECT_EQ(idOf("\\Email\\"), 3001);
    EXPECT_EQ(idOf("\\Mail\\"), -1);
    EXPECT_EQ(idOf("\\Email\\Gmail"), 3005);
    EXPECT_EQ(idOf("\\Mail\\Gmail"), -1);
}

struct Extraction {
    const char* path;
    int flags;
    int result;
    int resourceId;  // loaded, -1 none
    int pixels;
};

const Extraction kExtractions[] = {
    {"\\Lock Keyhold", wfx::FS_ICONFLAG_SMALL, 1, 3018, 16},
    {"\\Lock Keyhold", 0, 1, 3018, 32},
    {"\\Email\\", wfx::FS_ICONFLAG_SMALL | wfx::FS_ICONFLAG_BACKGROUND, 1, 3001, 16},
    {"\\Email\\", wfx::FS_ICONFLAG_BACKGROUND, 1, 3001, 32},
    {"\\Network\\[New Entry]", 0, 1, 3021, 32},
    {"\\..", wfx::FS_ICONFLAG_SMALL, 0, -1, 0},
    {"\\Email\\..", wfx::FS_ICONFLAG_SMALL, 0, -1, 0},
    {"\\Email\\..\\", wfx::FS_ICONFLAG_SMALL, 0, -1, 0},
    {"\\Unknown", wfx::FS_ICONFLAG_SMALL, 0, -1, 0},
};

TEST_F(NodeIconTest, ExtractingLoadsTheResourceAtTheAskedSize) {
    for (const Extraction& row : kExtractions) {
        icons.loads.clear();
        log.lines.clear();
        wfx::HICON icon = nullptr;
        std::string path = row.path;
        EXPECT_EQ(ExtractCustomIcon(&path[0], row.flags, &icon), row.result) << row.path;
        if (row.resourceId < 0) {
            EXPECT_TRUE(icons.loads.empty()) << row.path;
            EXPECT_EQ(icon, nullptr) << row.path;
            continue;
        }
        ASSERT_EQ(icons.loads.size(), 1u) << row.path;
        EXPECT_EQ(icons.loads[0].id, row.resourceId) << row.path;
        EXPECT_EQ(icons.loads[0].pixels, row.pixels) << row.path;
        EXPECT_NE(icon, nullptr) << row.path;
        EXPECT_TRUE(log.has(eRubbish, "FsExtractCustomIcon(" + keyholdlog::pathForLog(row.path) + ")")) << row.path;
    }
}

TEST_F(NodeIconTest, ParentLinksAreNotLookedUp) {
    wfx::HICON icon = nullptr;
    ExtractCustomIcon("\\Email\\..", wfx::FS_ICONFLAG_SMALL, &icon);
    for (const auto& line : log.lines) EXPECT_EQ(line.message.find("getNodeIcon"), std::string::npos) << line.message;
}

TEST_F(NodeIconTest, AFailedLoadLeavesTheHostItsOwnIcon) {
    icons.failLoading = true;
    wfx::HICON icon = nullptr;
    EXPECT_EQ(ExtractCustomIcon("\\Lock Keyhold", 0, &icon), wfx::FS_ICON_USEDEFAULT);
    ASSERT_EQ(icons.loads.size(), 1u);
    EXPECT_EQ(icons.loads[0].id, 3018);
    EXPECT_EQ(icon, nullptr);
}

TEST_F(NodeIconTest, WithoutIconResourcesTheHostShowsItsOwn) {
    icons.present = false;
    wfx::HICON icon = nullptr;
    EXPECT_EQ(ExtractCustomIcon("\\Lock Keyhold", wfx::FS_ICONFLAG_SMALL, &icon), wfx::FS_ICON_USEDEFAULT);
    EXPECT_TRUE(icons.loads.empty());
    EXPECT_EQ(icon, nullptr);
}

}  // namespace
