// Loading the plug-in into the terminal host: its settings file is written
// where the plug-in lives, kept when it is there, and left alone when it
// cannot be read.
#include <gtest/gtest.h>

#include "PanelSession.h"

namespace {

class StartupTest : public ::testing::Test {
protected:
    E2ETarget target = E2ETarget::fromEnvironment();
    PluginFolder folder{target};
    std::string ini() const { return folder.file("keyHold.ini"); }
};

TEST_F(StartupTest, FreshFolderGetsTheDefaultSettingsAgainAtUnload) {
    ASSERT_FALSE(fileExists(ini()));
    {
        PanelSession panel(target, folder);
        panel.sync();
        ASSERT_TRUE(fileExists(ini())) << joinLines(panel.transcript());
        IniContent written = readIni(ini());
        ASSERT_EQ(written.count("MAIN"), 1u) << readFile(ini());
        EXPECT_EQ(written["MAIN"]["datafile"], folder.asTargetPath("database.xml"));
        EXPECT_EQ(written["MAIN"]["NewEntryFolder"], "1");
        EXPECT_EQ(written.size(), 1u) << readFile(ini());

        // Written again when the plug-in is unloaded.
        ASSERT_EQ(std::remove(ini().c_str()), 0);
        std::vector<std::string> rest;
        EXPECT_EQ(panel.quit(&rest), 0) << joinLines(panel.transcript());
        EXPECT_TRUE(anyLineHas(rest, "unloaded")) << joinLines(rest);
    }
    ASSERT_TRUE(fileExists(ini()));
    IniContent again = readIni(ini());
    EXPECT_EQ(again["MAIN"]["datafile"], folder.asTargetPath("database.xml"));
    EXPECT_EQ(again["MAIN"]["NewEntryFolder"], "1");
    // Nothing else was created beside the plug-in.
    EXPECT_FALSE(fileExists(folder.file("database.xml")));
}

TEST_F(StartupTest, PluginNamedRelativelyStillKnowsItsFolder) {
    {
        PanelSession panel(target, folder, true);
        panel.sync();
        EXPECT_EQ(panel.quit(), 0) << joinLines(panel.transcript());
    }
    ASSERT_TRUE(fileExists(ini()));
    EXPECT_EQ(readIni(ini())["MAIN"]["datafile"], folder.asTargetPath("database.xml")) << readFile(ini());
}

TEST_F(StartupTest, ExistingSettingsAreKeptWhole) {
    writeFile(ini(),
              "[main]\ndatafile=%USERPROFILE%\\keys.xml\nhotkey=ALT-SHIFT-K\n"
              "[AUTOLOCK]\nTimeOutLock=60\n[Mine]\nColour=blue\n");
    {
        PanelSession panel(target, folder);
        panel.sync();
        EXPECT_EQ(panel.quit(), 0) << joinLines(panel.transcript());
    }
    IniContent kept = readIni(ini());
    EXPECT_EQ(kept["main"]["datafile"], "%USERPROFILE%\\keys.xml") << readFile(ini());
    EXPECT_EQ(kept["main"]["hotkey"], "ALT-SHIFT-K");
    EXPECT_EQ(kept["AUTOLOCK"]["TimeOutLock"], "60");
    EXPECT_EQ(kept["Mine"]["Colour"], "blue");
    EXPECT_EQ(kept["main"].count("NewEntryFolder"), 0u);
}

TEST_F(StartupTest, UnreadableSettingsAreNeverOverwritten) {
    // Something stands under the settings file's name that cannot be read as
    // a file (a folder; root reads any file, so permissions would not do).
    std::string cmd = "mkdir '" + ini() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::vector<std::string> rest;
    {
        PanelSession panel(target, folder);
        panel.send("> ok");  // dismisses the message about the settings
        std::vector<std::string> shown = panel.sync();
        EXPECT_TRUE(anyLineHas(shown, "could not read its settings file")) << joinLines(shown);
        EXPECT_EQ(panel.quit(&rest), 0) << joinLines(panel.transcript());
        EXPECT_FALSE(anyLineHas(rest, "could not read its settings file")) << "told only once:\n"
                                                                            << joinLines(rest);
    }
    EXPECT_TRUE(isDirectory(ini()));
    // No settings file and no half-written one beside it.
    EXPECT_EQ(folderEntries(folder.path()).size(), 2u) << joinLines(folderEntries(folder.path()));
    EXPECT_TRUE(folderEntries(ini()).empty());
}

}  // namespace
