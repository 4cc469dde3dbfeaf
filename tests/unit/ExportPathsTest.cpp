// Every export that takes a path, given a path with an empty component (two
// separators in a row, or nothing but separators beyond the root): each one
// refuses with its failure value, and nothing is changed, saved, opened or
// started. Before, "\Email\\" named the folder Email, and removing it
// removed the folder with everything in it.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Exports.h"
#include "StoreFixture.h"
#include "SettingsLocation.h"
#include "platform/HostExtension.h"

namespace {

int WFX_CALL progress(int, char*, char*, int) { return 0; }
void WFX_CALL hostLog(int, int, char*) {}

class ExportPathsTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        files.content[ini] = "[MAIN]\nNewEntryFolder=1\n[AUTOLOCK]\nAutolock=0\n[DEVELOPMENT]\nMasterPassword=pw\n";
        files.content[store] =
            "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
            "\">\n<folder name=\"Email\" id=\"2\"><folder name=\"Sub\" id=\"3\"><file name=\"Deep\" id=\"4\"/>"
            "</folder><file name=\"Gmail\" id=\"5\"><url>http://mail.example/</url></file></folder>\n"
            "<file name=\"Key\" id=\"6\"><url>http://key.example/</url></file>\n</pswd>\n";
        FsInit(1, progress, hostLog, nullptr);
        ASSERT_FALSE(listed("\\").empty());  // the store is open
        stored = files.content[store];
        writes = files.writes;
        tree = everything();
        ASSERT_EQ(tree, (std::vector<std::string>{"\\Email", "\\Email\\Gmail", "\\Email\\Sub", "\\Email\\Sub\\Deep",
                                                  "\\Email\\Sub\\[New Entry]", "\\Email\\[New Entry]", "\\Key"}));
    }
    void TearDown() override {
        FsContentPluginUnloading();
        StoreFixture::TearDown();
    }

    std::vector<std::string> listed(const std::string& path) {
        std::vector<std::string> names;
        wfx::WIN32_FIND_DATAA fd;
        HostText p(path);
        wfx::HANDLE h = FsFindFirst(p, &fd);
        if (h == wfx::invalidHandle()) return names;
        do names.push_back(fd.cFileName);
        while (FsFindNext(h, &fd));
        FsFindClose(h);
        return names;
    }
    // Every folder and entry below the root, by path, through the listing.
    std::vector<std::string> everything(const std::string& folder = "") {
        std::vector<std::string> paths;
        wfx::WIN32_FIND_DATAA fd;
        HostText p(folder.empty() ? "\\" : folder);
        wfx::HANDLE h = FsFindFirst(p, &fd);
        if (h == wfx::invalidHandle()) return paths;
        std::vector<std::pair<std::string, bool>> items;
        do items.push_back({fd.cFileName, fd.dwFileAttributes == wfx::kAttrDirectory});
        while (FsFindNext(h, &fd));
        FsFindClose(h);
        for (const auto& item : items) {
            std::string path = folder + "\\" + item.first;
            if (folder.empty() && !item.second && item.first != "Key") continue;  // the command nodes
            paths.push_back(path);
            if (item.second) {
                for (const std::string& below : everything(path)) paths.push_back(below);
            }
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    // Nothing changed: the same file, no save, the same tree, no dialog, no
    // shell call.
    void expectNothingChanged(const std::string& what) {
        EXPECT_EQ(files.content[store], stored) << what;
        EXPECT_EQ(files.writes, writes) << what;
        EXPECT_EQ(everything(), tree) << what;
        EXPECT_TRUE(dialogs.opened.empty()) << what;
        EXPECT_TRUE(shell.calls.empty()) << what;
    }

    std::string stored;
    int writes = 0;
    std::vector<std::string> tree;
};

const char* const kBadPaths[] = {
    "\\\\",  // separators alone
    "\\\\\\",
    "\\Email\\\\",  // a folder, then two separators
    "\\Email\\\\Sub",
    "\\Email\\\\Gmail",
    "\\Email\\Gmail\\\\",  // an entry, then two separators
    "\\Email\\Sub\\\\Deep",
    "\\\\Key",
    "\\Key\\\\",
    "\\\\Lock Keyhold",  // a command node behind a gap
    "\\Email\\\\[New Entry]",
    "\\Email\\\\New",  // a folder that is not there yet
#if !defined(_WIN32)
    "//",  // the Linux host's separator
    "/Email//",
    "/Email//Sub",
    "/Email/Gmail//",
    "//Key",
#endif
};

struct ExportCall {
    const char* name;
    std::function<int(const std::string&)> call;
    int failure;
};

std::vector<ExportCall> exportCalls() {
    auto renMov = [](const char* from, const char* to, bool move, bool overwrite) {
        return [=](const std::string& bad) {
            HostText f(from ? from : bad), t(to ? to : bad);
            return FsRenMovFile(f, t, move, overwrite, nullptr);
        };
    };
    std::vector<ExportCall> calls = {
        {"FsRemoveDir", [](const std::string& p) { return FsRemoveDir(HostText(p)); }, 0},
        {"FsDeleteFile", [](const std::string& p) { return FsDeleteFile(HostText(p)); }, 0},
        {"FsMkDir", [](const std::string& p) { return FsMkDir(HostText(p)); }, 0},
        {"FsRenMovFile move from", renMov(nullptr, "\\Moved", true, false), wfx::FS_FILE_NOTFOUND},
        {"FsRenMovFile move from, overwriting", renMov(nullptr, "\\Key", true, true), wfx::FS_FILE_NOTFOUND},
        {"FsRenMovFile copy from", renMov(nullptr, "\\Copied", false, false), wfx::FS_FILE_NOTFOUND},
        {"FsRenMovFile move an entry to", renMov("\\Key", nullptr, true, true), wfx::FS_FILE_NOTFOUND},
        {"FsRenMovFile move a folder to", renMov("\\Email\\Sub", nullptr, true, true), wfx::FS_FILE_NOTFOUND},
        {"FsRenMovFile copy an entry to", renMov("\\Key", nullptr, false, true), wfx::FS_FILE_NOTFOUND},
        {"FsPutFile", [](const std::string& p) { return FsPutFile(HostText("/tmp/local"), HostText(p), 0); },
         wfx::FS_FILE_NOTFOUND},
        {"FsPutFile overwriting",
         [](const std::string& p) {
             return FsPutFile(HostText("/tmp/local"), HostText(p), wfx::FS_COPYFLAGS_OVERWRITE);
         },
         wfx::FS_FILE_NOTFOUND},
        {"FsExecuteFile open",
         [](const std::string& p) { return FsExecuteFile(nullptr, HostText(p), HostText("open")); },
         wfx::FS_EXEC_ERROR},
        {"FsExecuteFile properties",
         [](const std::string& p) { return FsExecuteFile(nullptr, HostText(p), HostText("properties")); },
         wfx::FS_EXEC_ERROR},
        {"FsFindFirst",
         [](const std::string& p) {
             wfx::WIN32_FIND_DATAA fd;
             wfx::HANDLE h = FsFindFirst(HostText(p), &fd);
             if (h == wfx::invalidHandle()) return -1;
             FsFindClose(h);
             return 1;
         },
         -1},
        {"FsExtractCustomIcon",
         [](const std::string& p) {
             wfx::HICON icon = nullptr;
             int r = FsExtractCustomIcon(HostText(p), wfx::FS_ICONFLAG_SMALL, &icon);
             return icon == nullptr ? r : 100 + r;
         },
         wfx::FS_ICON_USEDEFAULT},
    };
    for (int field = 0; field < 3; ++field) {
        calls.push_back({"FsContentGetValue",
                         [field](const std::string& p) {
                             alignas(8) char value[256] = {};
                             return FsContentGetValue(HostText(p), field, 0, value, sizeof value, 0);
                         },
                         wfx::ft_fieldempty});
    }
    return calls;
}

TEST_F(ExportPathsTest, APathWithAnEmptyComponentNamesNothing) {
    for (const ExportCall& e : exportCalls()) {
        for (const char* bad : kBadPaths) {
            const std::string what = std::string(e.name) + " \"" + bad + "\"";
            EXPECT_EQ(e.call(bad), e.failure) << what;
            expectNothingChanged(what);
            dialogs.opened.clear();
            shell.calls.clear();
            // A change that went through anyway is undone, so that each case
            // starts from the same store.
            if (files.content[store] != stored) {
                files.content[store] = stored;
                xmlData().resetInitialized();
                listed("\\");
                stored = files.content[store];
                writes = files.writes;
            }
        }
    }
}

// While the store is locked every path leads to the unlock command; one that
// names nothing leads nowhere, and asks for no password.
TEST_F(ExportPathsTest, LockedAPathWithAnEmptyComponentAsksForNothing) {
    ASSERT_EQ(FsExecuteFile(nullptr, HostText("\\Lock Keyhold"), HostText("open")), wfx::FS_EXEC_OK);
    ASSERT_EQ(listed("\\"), std::vector<std::string>{"UnLock Keyhold"});
    for (const char* bad : kBadPaths) {
        EXPECT_TRUE(listed(bad).empty()) << bad;
        EXPECT_EQ(FsExecuteFile(nullptr, HostText(bad), HostText("open")), wfx::FS_EXEC_ERROR) << bad;
        EXPECT_EQ(FsRemoveDir(HostText(bad)), 0) << bad;
        EXPECT_EQ(FsRenMovFile(HostText("\\Key"), HostText(bad), 1, 1, nullptr), wfx::FS_FILE_NOTFOUND) << bad;
        EXPECT_TRUE(dialogs.opened.empty()) << bad;
        dialogs.opened.clear();
    }
    EXPECT_EQ(files.content[store], stored);
    EXPECT_EQ(files.writes, writes);
}

// One separator after the last name still names the node: the mend refuses
// gaps, not paths a host may well send.
TEST_F(ExportPathsTest, OneSeparatorAfterTheNameStillNamesTheNode) {
    std::vector<std::string> sub = listed("\\Email\\Sub\\");
    std::sort(sub.begin(), sub.end());
    EXPECT_EQ(sub, (std::vector<std::string>{"Deep", "[New Entry]"}));
    alignas(8) char value[256] = {};
    EXPECT_EQ(FsContentGetValue(HostText("\\Email\\Gmail\\"), 0, 0, value, sizeof value, 0), wfx::ft_boolean);
    EXPECT_EQ(FsRenMovFile(HostText("\\Key\\"), HostText("\\Email\\Key\\"), 1, 0, nullptr), wfx::FS_FILE_OK);
    EXPECT_EQ(FsDeleteFile(HostText("\\Email\\Key\\")), 1);
    EXPECT_EQ(FsRemoveDir(HostText("\\Email\\Sub\\")), 1);
    EXPECT_EQ(everything(), (std::vector<std::string>{"\\Email", "\\Email\\Gmail", "\\Email\\[New Entry]"}));
}

#if !defined(_WIN32)
int answerOk(char*, char*, long) { return dcext::ID_OK; }
std::intptr_t noMessage(std::uintptr_t, char*, std::intptr_t, std::intptr_t, std::intptr_t) { return 0; }
wfx::BOOL noForm(std::intptr_t, unsigned long, dcext::tDlgProc) { return 0; }

// DC hands its extension structure from its stack, before FsInit: the export
// keeps copies, takes a missing structure calmly, and forgets the callbacks
// when DC is about to unload the plug-in.
TEST(ExtensionExportsTest, TheHostsCallbacksAreCopiedAndForgottenAtFinalize) {
    auto info = std::make_unique<dcext::tExtensionStartupInfo>();
    std::memset(info.get(), 0, sizeof *info);
    info->StructSize = sizeof *info;
    std::strcpy(info->PluginConfDir, "/home/user/.config/doublecmd/");
    info->MessageBox = &answerOk;
    info->DialogBoxLFM = &noForm;
    info->SendDlgMsg = &noMessage;
    ExtensionInitialize(info.get());
    std::memset(info.get(), 0xFF, sizeof *info);  // the host's stack moves on
    info.reset();
    EXPECT_EQ(platform::hostExtension().calls().messageBox, &answerOk);
    EXPECT_TRUE(platform::hostExtension().calls().hasDialogs());
    EXPECT_EQ(platform::hostExtension().pluginConfDir(), "/home/user/.config/doublecmd/");
    // DC's configuration folder is where the settings go when the plug-in's
    // folder cannot be written.
    EXPECT_EQ(hostConfigFolder(), "/home/user/.config/doublecmd/");
    ExtensionFinalize(nullptr);
    EXPECT_EQ(hostConfigFolder(), "");
    EXPECT_FALSE(platform::hostExtension().calls().hasDialogs());
    EXPECT_EQ(platform::hostExtension().calls().messageBox, nullptr);
    ExtensionInitialize(nullptr);
    EXPECT_EQ(platform::hostExtension().pluginConfDir(), "");
}
#endif

}  // namespace
