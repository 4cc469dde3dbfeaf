// Where the settings, the default store and the log go when the plug-in's
// folder cannot be written (a system-wide install): a private folder
// "keyhold" inside the first configuration folder that can be had.
#include "FileLogger.h"
#include "SettingsLocation.h"
#include "StoreFixture.h"

namespace {

class SettingsLocationTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        files.readOnlyFolders.insert(folder);
    }
    void TearDown() override {
        theApp().stopThreads();
        destroyFileLogger();
        setHostConfigFolder("");
        setHostDefaultIniFile("");
        StoreFixture::TearDown();
    }
    void fsInit() { theApp().fsInit(1, nullptr, nullptr, nullptr); }
    std::string in(const std::string& base, const std::string& name) { return base + sep + name; }
};

struct LocationCase {
    const char* name;
    const char* confDir;      // the extension API's folder
    const char* defaultIni;   // FsSetDefaultParams' DefaultIniName
    const char* xdg;
    const char* home;
    const char* readOnly;     // a candidate that cannot be written
    const char* expected;     // the folder chosen
};

class SettingsLocationCaseTest : public SettingsLocationTest, public ::testing::WithParamInterface<LocationCase> {};

TEST_P(SettingsLocationCaseTest, TakesTheFirstFolderThatCanBeWritten) {
    const LocationCase& c = GetParam();
    if (*c.confDir) setHostConfigFolder(c.confDir);
    if (*c.defaultIni) setHostDefaultIniFile(c.defaultIni);
    if (*c.xdg) environment.variables["XDG_CONFIG_HOME"] = c.xdg;
    if (*c.home) environment.variables["HOME"] = c.home;
    if (*c.readOnly) files.readOnlyFolders.insert(c.readOnly);
    tSettingsLocation where = locateSettings(folder);
    EXPECT_EQ(where.folder, c.expected);
    EXPECT_EQ(where.settingsFile, std::string(c.expected) + "/keyHold.ini");
    EXPECT_FALSE(where.besidePlugin);
    EXPECT_FALSE(where.nowhereWritable);
    EXPECT_TRUE(files.folders.count(c.expected));
}

#if !defined(_WIN32)
INSTANTIATE_TEST_SUITE_P(
    Order, SettingsLocationCaseTest,
    ::testing::Values(
        LocationCase{"ConfDirFirst", "/dc/cfg", "/dc/ini/wfx.ini", "/xdg", "/home/u", "", "/dc/cfg/keyhold"},
        LocationCase{"ConfDirWithSlash", "/dc/cfg/", "", "", "", "", "/dc/cfg/keyhold"},
        LocationCase{"DefaultIniFolderNext", "", "/dc/ini/wfx.ini", "/xdg", "/home/u", "", "/dc/ini/keyhold"},
        LocationCase{"ConfDirReadOnly", "/ro", "/dc/ini/wfx.ini", "/xdg", "", "/ro", "/dc/ini/keyhold"},
        LocationCase{"XdgConfigHome", "", "", "/xdg", "/home/u", "", "/xdg/keyhold"},
        LocationCase{"RelativeXdgIgnored", "", "", "rel", "/home/u", "", "/home/u/.config/keyhold"},
        LocationCase{"HomeConfig", "", "", "", "/home/u", "", "/home/u/.config/keyhold"},
        LocationCase{"IniWithoutFolderSkipped", "", "wfx.ini", "", "/home/u", "", "/home/u/.config/keyhold"},
        LocationCase{"HostFoldersReadOnly", "/ro/a", "/ro/b/wfx.ini", "", "/home/u", "/ro",
                     "/home/u/.config/keyhold"}),
    [](const ::testing::TestParamInfo<LocationCase>& i) { return std::string(i.param.name); });
#endif

TEST_F(SettingsLocationTest, AWritablePluginFolderKeepsEverythingBesideThePlugin) {
    files.readOnlyFolders.clear();
    setHostConfigFolder(sep + "dc");
    environment.variables["HOME"] = sep + "home";
    tSettingsLocation where = locateSettings(folder);
    EXPECT_TRUE(where.besidePlugin);
    EXPECT_EQ(where.folder, folder);
    EXPECT_EQ(where.settingsFile, ini);
    EXPECT_TRUE(files.folders.empty());
}

TEST_F(SettingsLocationTest, NothingWritableIsToldNotHidden) {
    environment.variables.clear();
    fsInit();
    EXPECT_EQ(theApp().m_settingsFile, ini);
    ASSERT_EQ(messageBoxes.shown.size(), 1u);
    EXPECT_NE(messageBoxes.shown[0].text.find("cannot write into its folder"), std::string::npos);
}

// A first start of a system-wide install: the settings file, the new store and
// the log all land in the private folder, and the settings name the store by
// its full path.
TEST_F(SettingsLocationTest, FirstStartWritesSettingsStoreAndLogInTheConfigFolder) {
    const std::string conf = sep + "cfg";
    const std::string own = in(conf, "keyhold");
    setHostConfigFolder(conf);
    files.content[in(own, "keyHold.ini")] = "[MAIN]\nDebugLogging=1\n";
    fsInit();
    EXPECT_EQ(theApp().m_settingsFile, in(own, "keyHold.ini"));
    EXPECT_TRUE(logFiles.folders.count(in(own, "Keyhold"))) << "the log folder";
    EXPECT_TRUE(messageBoxes.shown.empty());

    files.content.erase(in(own, "keyHold.ini"));
    fsInit();
    EXPECT_TRUE(files.content.count(in(own, "keyHold.ini"))) << "written at once";
    EXPECT_EQ(settings().m_datafile->GetValue(), in(own, "database.xml")) << "the store's full path";
    willType("pw");
    EXPECT_FALSE(list("\\").empty());
    EXPECT_TRUE(files.content.count(in(own, "database.xml")));
    EXPECT_FALSE(files.content.count(store));
}

// A store named without a folder lies beside the settings file.
TEST_F(SettingsLocationTest, ABareStoreNameIsTakenInTheConfigFolder) {
    const std::string own = in(sep + "cfg", "keyhold");
    setHostConfigFolder(sep + "cfg");
    files.content[in(own, "keyHold.ini")] = "[MAIN]\ndatafile=mine.xml\n";
    fsInit();
    willType("pw");
    EXPECT_FALSE(list("\\").empty());
    EXPECT_TRUE(files.content.count(in(own, "mine.xml")));
}

struct TakeOverCase {
    const char* name;
    const char* datafile;        // in the settings beside the plug-in
    bool storeBesidePlugin;      // that store exists beside the plug-in
    const char* expected;        // datafile in the taken-over settings
};

class SettingsTakeOverTest : public SettingsLocationTest, public ::testing::WithParamInterface<TakeOverCase> {};

// Settings kept beside the plug-in before its folder became read-only (or put
// there by whoever installed it) go on in the config folder.
TEST_P(SettingsTakeOverTest, SettingsBesideThePluginAreTakenOverOnce) {
    const TakeOverCase& c = GetParam();
    const std::string own = "/cfg/keyhold";
    setHostConfigFolder("/cfg");
    files.content[ini] = std::string("[MAIN]\nHotKey=CTRL-ALT-K\ndatafile=") + c.datafile + "\n";
    if (c.storeBesidePlugin) files.content[store] = "<pswd/>";
    fsInit();
    ASSERT_TRUE(files.content.count(own + "/keyHold.ini"));
    EXPECT_EQ(settings().m_hotKey->GetValue(), "CTRL-ALT-K");
    EXPECT_EQ(settings().m_datafile->GetValue(), c.expected);
    EXPECT_TRUE(log.has(eImportant, "Settings taken over from the plug-in folder"));

    // Only once: later changes beside the plug-in are not taken again.
    files.content[ini] = "[MAIN]\nHotKey=CTRL-ALT-X\n";
    fsInit();
    EXPECT_EQ(settings().m_hotKey->GetValue(), "CTRL-ALT-K");
}

#if !defined(_WIN32)
INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsTakeOverTest,
    ::testing::Values(TakeOverCase{"EmptyName", "", false, "/cfg/keyhold/database.xml"},
                      TakeOverCase{"BareNameNew", "database.xml", false, "/cfg/keyhold/database.xml"},
                      TakeOverCase{"BareNameExisting", "database.xml", true, "/plug/database.xml"},
                      TakeOverCase{"FullPath", "/data/keys.xml", false, "/data/keys.xml"},
                      TakeOverCase{"CommanderPath", "%COMMANDER_PATH%/keys.xml", false, "%COMMANDER_PATH%/keys.xml"}),
    [](const ::testing::TestParamInfo<TakeOverCase>& i) { return std::string(i.param.name); });
#endif

}  // namespace
