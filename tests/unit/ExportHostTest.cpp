// Exports as Double Commander calls them on Linux: the proposed root name, the
// host's settings folder before FsInit, and Move and OverWrite declared by the
// host as one-byte Booleans (the upper bytes of the int are whatever the
// register held).
#include <cstddef>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Exports.h"
#include "PluginSettings.h"
#include "StoreFixture.h"

namespace {

int WFX_CALL progress(int, char*, char*, int) { return 0; }
void WFX_CALL hostLog(int, int, char*) {}

TEST(ExportHostNameTest, DefaultRootNameIsKeyholdCutToTheBuffer) {
    char name[64];
    std::memset(name, 'x', sizeof name);
    FsGetDefRootName(name, sizeof name);
    EXPECT_STREQ(name, "Keyhold");

    std::memset(name, 'x', sizeof name);
    FsGetDefRootName(name, 4);
    EXPECT_STREQ(name, "Key");
    EXPECT_EQ(name[4], 'x') << "nothing written beyond maxlen";
    FsGetDefRootName(name, 0);  // no room: nothing written, no crash
    FsGetDefRootName(nullptr, 10);
}

class ExportHostTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        files.content[ini] = "[MAIN]\nNewEntryFolder=0\n[AUTOLOCK]\nAutolock=0\n[DEVELOPMENT]\nMasterPassword=pw\n";
        files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
                               "\">\n<folder name=\"Email\" id=\"2\"><file name=\"Key\" id=\"3\"/></folder>\n"
                               "<file name=\"Key\" id=\"4\"/>\n<file name=\"Other\" id=\"5\"/>\n</pswd>\n";
    }
    void TearDown() override {
        FsContentPluginUnloading();
        setHostDefaultIniFile("");
        StoreFixture::TearDown();
    }
    void startAndOpen() {
        FsInit(1, progress, hostLog, nullptr);
        ASSERT_FALSE(names("\\").empty());
    }
    std::vector<std::string> names(const std::string& path) {
        std::vector<std::string> n;
        wfx::WIN32_FIND_DATAA fd;
        HostText p(path);
        wfx::HANDLE h = FsFindFirst(p, &fd);
        if (h == wfx::invalidHandle()) return n;
        do n.push_back(fd.cFileName);
        while (FsFindNext(h, &fd));
        FsFindClose(h);
        return n;
    }
    bool has(const std::string& folder, const std::string& name) {
        std::vector<std::string> n = names(folder);
        return std::find(n.begin(), n.end(), name) != n.end();
    }
};

struct ByteCase {
    wfx::BOOL value;
    bool meant;  // what the host meant: the low byte
};
const ByteCase kByteCases[] = {{0x100, false}, {static_cast<wfx::BOOL>(0xFFFFFF00u), false}, {0x1200, false},
                               {1, true},      {0x101, true},  {static_cast<wfx::BOOL>(0xFFFFFF01u), true}};

TEST_F(ExportHostTest, MoveIsReadFromItsLowByteOnly) {
    startAndOpen();
    for (const ByteCase& c : kByteCases) {
        const std::string target = "Key" + std::to_string(static_cast<unsigned>(c.value));
        EXPECT_EQ(FsRenMovFile(HostText("\\Key"), HostText("\\" + target), c.value, 0, nullptr), wfx::FS_FILE_OK)
            << std::hex << c.value;
        EXPECT_TRUE(has("\\", target)) << std::hex << c.value;
        if (c.meant) {
            EXPECT_FALSE(has("\\", "Key")) << "moved: " << std::hex << c.value;
            // Back for the next case.
            ASSERT_EQ(FsRenMovFile(HostText("\\" + target), HostText("\\Key"), 1, 0, nullptr), wfx::FS_FILE_OK);
        } else {
            EXPECT_TRUE(has("\\", "Key")) << "a copy keeps its source: " << std::hex << c.value;
        }
    }
}

TEST_F(ExportHostTest, OverWriteIsReadFromItsLowByteOnly) {
    startAndOpen();
    for (const ByteCase& c : kByteCases) {
        // \Other onto \Email\Key, which exists: copied only when overwriting was meant.
        int result = FsRenMovFile(HostText("\\Other"), HostText("\\Email\\Key"), 0, c.value, nullptr);
        if (c.meant) {
            EXPECT_EQ(result, wfx::FS_FILE_OK) << std::hex << c.value;
        } else {
            EXPECT_EQ(result, wfx::FS_FILE_EXISTS) << std::hex << c.value;
        }
        EXPECT_TRUE(has("\\", "Other"));
    }
}

// Called before FsInit, as Double Commander does: the host's folder takes the
// settings when the plug-in's folder cannot be written.
TEST_F(ExportHostTest, DefaultParamsNameTheSettingsFolder) {
    files.readOnlyFolders.insert(folder);
    wfx::FsDefaultParamStruct dps{};
    dps.size = sizeof dps;
    dps.PluginInterfaceVersionHi = 2;
    const std::string iniName = sep + "dc" + sep + "wfx.ini";
    std::strcpy(dps.DefaultIniName, iniName.c_str());
    FsSetDefaultParams(&dps);
    FsInit(1, progress, hostLog, nullptr);
    const std::string own = sep + "dc" + sep + "keyhold";
    EXPECT_EQ(theApp().m_settingsFile, own + sep + "keyHold.ini");
    EXPECT_TRUE(files.folders.count(own));
}

// A structure too short for its name, or a name without its terminator, is
// not read beyond what the host gave.
TEST_F(ExportHostTest, DefaultParamsWithoutATerminatedNameAreIgnored) {
    files.readOnlyFolders.insert(folder);
    wfx::FsDefaultParamStruct dps{};
    std::memset(dps.DefaultIniName, 'a', sizeof dps.DefaultIniName);
    dps.DefaultIniName[0] = '/';
    dps.size = sizeof dps;
    FsSetDefaultParams(&dps);  // no terminator within MAX_PATH
    dps.DefaultIniName[5] = '\0';
    dps.size = static_cast<int>(offsetof(wfx::FsDefaultParamStruct, DefaultIniName) + 5);
    FsSetDefaultParams(&dps);  // the terminator lies beyond the size given
    FsSetDefaultParams(nullptr);
    FsInit(1, progress, hostLog, nullptr);
    EXPECT_TRUE(files.folders.empty());
    EXPECT_EQ(theApp().m_settingsFile, ini) << "nowhere else to go";
}

}  // namespace
