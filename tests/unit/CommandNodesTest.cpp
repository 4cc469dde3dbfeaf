#include "TestSupport.h"

namespace {

class CommandNodesTest : public PlatformFixture {
protected:
    void loadSettings(const std::string& content) {
        files.content["/plug/keyHold.ini"] = content;
        settings().load("/plug/keyHold.ini", "/plug");
    }
};

struct RootCase {
    const char* settings;
    std::vector<std::string> names;
};

class CommandNodesRootTest : public CommandNodesTest, public ::testing::WithParamInterface<RootCase> {};

TEST_P(CommandNodesRootTest, RootListsTheCommandsThenTheStore) {
    loadSettings(GetParam().settings);
    TreePos root = BuildCommandNodes(MakeBaseNode("Keyhold"));
    passwordTree().appendChild(root, MakeFolderNode("Email"));
    passwordTree().appendChild(root, makeEntry("Router"));
    EXPECT_EQ(childNames(root), GetParam().names);

    tNavigationState& nav = navigation();
    EXPECT_TRUE(nav.activeRoot == root);
    EXPECT_TRUE(nav.currentNode == root);
    EXPECT_TRUE(nav.baseNode == root);
    EXPECT_FALSE(nav.isLocked());
    EXPECT_EQ(nav.autoTypeWindowNode->name, GetParam().names[2]);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, CommandNodesRootTest,
    ::testing::Values(
        RootCase{"[MAIN]\n",
                 {"New Entry", "Lock Keyhold", "Default Auto Type Window is OFF", "Email", "Router"}},
        RootCase{"[AUTOTYPE]\nDefaultATW=1\n",
                 {"New Entry", "Lock Keyhold", "Default Auto Type Window is ON", "Email", "Router"}},
        RootCase{"[MAIN]\nEnableReload=1\n",
                 {"New Entry", "Lock Keyhold", "Default Auto Type Window is OFF", "Reload Database", "Email",
                  "Router"}},
        RootCase{"[autotype]\ndefaultatw=2\n[main]\nenablereload=-1\n",
                 {"New Entry", "Lock Keyhold", "Default Auto Type Window is ON", "Reload Database", "Email",
                  "Router"}}));

TEST_F(CommandNodesTest, TopLevelHoldsTheRootThenTheUnlockRoot) {
    loadSettings("[MAIN]\n");
    TreePos root = BuildCommandNodes(MakeBaseNode("Keyhold"));
    std::vector<std::string> top;
    for (const tTreeNode& n : passwordTree().topLevel()) top.push_back(n.name);
    EXPECT_EQ(top, (std::vector<std::string>{"Keyhold", "UnlockNode"}));
    tNavigationState& nav = navigation();
    EXPECT_EQ(nav.unlockRoot->nodeType, eNode_UnLockKeyhold);
    EXPECT_EQ(childNames(nav.unlockRoot), std::vector<std::string>{"UnLock Keyhold"});
    EXPECT_EQ(passwordTree().firstChild(nav.unlockRoot)->nodeType, eNode_UnLockKeyhold);
    nav.activeRoot = nav.unlockRoot;
    EXPECT_TRUE(nav.isLocked());
    EXPECT_TRUE(log.has(eImportant, "Reload Feature DISABLED !!"));

    // Each command node is a one-byte file without a date.
    for (const tTreeNode& n : passwordTree().children(root)) {
        EXPECT_EQ(n.fileAttributes, 0x80u) << n.name;
        EXPECT_EQ(n.fileSizeLow, 1u) << n.name;
        EXPECT_TRUE(timeutil::isNoTime(n.ftCreationTime)) << n.name;
        EXPECT_TRUE(n.isCommandNode()) << n.name;
    }
    EXPECT_EQ(TreeSize(), 6u);
    EXPECT_EQ(ChildCount(root), 3u);
}

TEST_F(CommandNodesTest, ReloadLogsItsFeature) {
    loadSettings("[MAIN]\nEnableReload=1\n");
    BuildCommandNodes(MakeBaseNode("Keyhold"));
    EXPECT_TRUE(log.has(eImportant, "Reload Feature ENABLED !!"));
    EXPECT_TRUE(log.has(eImportant, "Feature Reload Database ENABLED!"));
}

TEST_F(CommandNodesTest, GetBaseNodeOnEmptyAndBaselessTrees) {
    EXPECT_TRUE(GetBaseNode() == passwordTree().end());
    EXPECT_TRUE(log.has(eTroubleShoot, "Tree is empty!"));
    passwordTree().insert(passwordTree().end(), MakeFolderNode("NotABase"));
    EXPECT_TRUE(GetBaseNode() == passwordTree().end());
    EXPECT_TRUE(log.has(eFatal, "BaseNode not found!!!"));
}

TEST_F(CommandNodesTest, NewEntryShowsTheNumberOfEntries) {
    loadSettings("[MAIN]\n");
    TreePos root = BuildCommandNodes(MakeBaseNode("Keyhold"));
    PasswordTree& t = passwordTree();
    TreePos mail = t.appendChild(root, MakeFolderNode("Mail"));
    t.appendChild(mail, makeEntry("a"));
    t.appendChild(mail, makeEntry("b"));
    t.appendChild(mail, MakeCommandNode("[New Entry]", eNode_FolderNewEntry));
    t.appendChild(root, makeEntry("c"));
    TreePos newEntry = t.firstChild(root);

    UpdateNumberOfEntries();  // nothing before a database is loaded
    EXPECT_EQ(newEntry->fileSizeLow, 1u);
    navigation().databaseLoaded = true;
    UpdateNumberOfEntries();
    EXPECT_EQ(newEntry->fileSizeLow, 3u);
}

TEST_F(CommandNodesTest, RefreshHostPanelPostsOnlyWhenTheHostIsInFront) {
    void* host = reinterpret_cast<void*>(0x100);
    void* other = reinterpret_cast<void*>(0x200);
    theApp().m_host.hostWindow = host;

    desktop.foreground = other;
    RefreshHostPanel();
    EXPECT_TRUE(desktop.posted.empty());
    EXPECT_TRUE(log.has(eRubbish, "Active window is NOT TC!"));

    desktop.foreground = host;
    RefreshHostPanel();
    ASSERT_EQ(desktop.posted.size(), 1u);
    EXPECT_EQ(desktop.posted[0].window, host);
    EXPECT_EQ(desktop.posted[0].message, 1075u);
    EXPECT_EQ(desktop.posted[0].wParam, 540u);
    EXPECT_EQ(desktop.posted[0].lParam, 0);
    EXPECT_TRUE(log.has(eRubbish, "Active window is TC!"));

    desktop.postFails = true;
    RefreshHostPanel();
    EXPECT_TRUE(log.has(eError, "PostMessase returned error!!!"));

    // Without a host window (Linux hosts) nothing is posted.
    desktop.postFails = false;
    theApp().m_host.hostWindow = nullptr;
    desktop.foreground = nullptr;
    RefreshHostPanel();
    EXPECT_EQ(desktop.posted.size(), 1u);
}

TEST_F(CommandNodesTest, ForegroundWindowTitleIsCutToTheBuffer) {
    void* w = reinterpret_cast<void*>(0x300);
    desktop.foreground = w;
    desktop.titles[w] = "Inbox - Mail";
    EXPECT_EQ(GetForegroundWindowTitle(), "Inbox - Mail");
    desktop.titles[w] = std::string(400, 'x');
    EXPECT_EQ(GetForegroundWindowTitle().size(), 259u);
}

struct FolderCase {
    const char* module;
    char separator;
    const char* folder;
};

class PluginFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(PluginFolderTest, CutsBeforeTheLastSeparator) {
    EXPECT_EQ(pluginFolderOf(GetParam().module, GetParam().separator), GetParam().folder);
}

INSTANTIATE_TEST_SUITE_P(Names, PluginFolderTest,
                         ::testing::Values(FolderCase{"C:\\TC\\plugins\\keyhold.wfx", '\\', "C:\\TC\\plugins"},
                                           FolderCase{"/opt/dc/plugins/keyhold.wfx", '/', "/opt/dc/plugins"},
                                           FolderCase{"keyhold.wfx", '\\', "keyhold.wfx"},
                                           FolderCase{"/keyhold.wfx", '/', ""},
                                           FolderCase{"", '/', ""}));

TEST_F(CommandNodesTest, FsInitWritesTheDefaultSettingsBesideTheModule) {
    std::string sep(1, platform::kPathSeparator);
    module.name = sep + "tc" + sep + "keyhold.wfx";
    desktop.active = reinterpret_cast<void*>(0x42);
    EXPECT_EQ(theApp().fsInit(3, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(theApp().m_pluginFolder, sep + "tc");
    EXPECT_EQ(theApp().m_settingsFile, sep + "tc" + sep + "keyHold.ini");
    EXPECT_EQ(theApp().m_dataFileName, "database.xml");
    EXPECT_EQ(theApp().m_host.pluginNr, 3);
    EXPECT_EQ(theApp().m_host.hostWindow, desktop.active);
    const std::string& ini = files.content[theApp().m_settingsFile];
    EXPECT_NE(ini.find("[MAIN]"), std::string::npos);
    EXPECT_NE(ini.find(sep + "tc" + sep + "database.xml"), std::string::npos);
    EXPECT_TRUE(log.has(eImportant, "Plugin path: " + sep + "tc)"));
    EXPECT_TRUE(log.has(eImportant, "Ini file: " + sep + "tc" + sep + "keyHold.ini)"));
    EXPECT_TRUE(log.has(eRubbish, "Leaving FsInit(PluginNr:3)"));
}

}  // namespace
