// A small stand-in plug-in for trying and testing the panel: a fixed tree of
// entries that the file operations change in memory, a few content fields,
// and requests made at the points where a real plug-in makes them. It reports
// what it sees through the log callback so that a transcript shows it.
//
//   \Email           folder
//   \Email\Gmail     42 bytes
//   \Email\Work Mail 7 bytes
//   \Bank            empty folder
//   \Link            opening it jumps to \Email
//   \notes.txt       4294967301 bytes, no dates
//
// Built with FAKE_WITHOUT_CHANGES it lacks the exports that create and move
// entries and the content field list, as a smaller plug-in would.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "WfxApi.h"

using namespace wfx;

namespace {

struct Node {
    std::string path;
    bool folder;
    wfx::DWORD sizeHigh, sizeLow;
    wfx::FILETIME created, written;
};

constexpr wfx::FILETIME kNoDate = {0xFFFFFFFEu, 0xFFFFFFFFu};
constexpr wfx::FILETIME kNewYear = {0x5848c080u, 0x01da3d28u};  // 2024-01-02 03:04:05 UTC
constexpr wfx::FILETIME kOldYear = {0x75f12980u, 0x01da3c45u};  // 2023-12-31 23:59:59 UTC

std::vector<Node> initialTree() {
    return {
        {"\\Email", true, 0, 0, kNewYear, kNoDate},
        {"\\Email\\Gmail", false, 0, 42, kOldYear, kNewYear},
        {"\\Email\\Work Mail", false, 0, 7, kNewYear, kNewYear},
        {"\\Bank", true, 0, 0, kNoDate, kNoDate},
        {"\\Link", false, 0, 0, kNoDate, kNoDate},
        {"\\notes.txt", false, 1, 5, kNoDate, kNoDate},
    };
}

std::vector<Node> tree = initialTree();
wfx::tProgressProc progress = nullptr;
wfx::tLogProc logProc = nullptr;
wfx::tRequestProc request = nullptr;
int pluginNr = 0;
#if !defined(_WIN32)
int fakeIcon = 0;  // the icon handle handed out where there are no real icons
#endif


void log(const std::string& text) {
    if (logProc) logProc(pluginNr, MSGTYPE_DETAILS, const_cast<char*>(("fake: " + text).c_str()));
}

std::string parentOf(const std::string& path) {
    const auto slash = path.rfind('\\');
    return slash == 0 ? "\\" : path.substr(0, slash);
}

Node* find(const std::string& path) {
    for (auto& node : tree)
        if (node.path == path) return &node;
    return nullptr;
}

bool isFolder(const std::string& path) {
    if (path == "\\") return true;
    const Node* node = find(path);
    return node && node->folder;
}

void setError(wfx::DWORD code) {
#if defined(_WIN32)
    SetLastError(code);
#else
    (void)code;
#endif
}

struct Search {
    std::vector<Node> items;
    std::size_t next = 0;
};

void fill(const Node& node, wfx::WIN32_FIND_DATAA* data) {
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = node.folder ? kAttrDirectory : kAttrNormal;
    data->ftCreationTime = node.created;
    data->ftLastAccessTime = kNoDate;
    data->ftLastWriteTime = node.written;
    data->nFileSizeHigh = node.sizeHigh;
    data->nFileSizeLow = node.sizeLow;
    const std::string name = node.path.substr(node.path.rfind('\\') + 1);
    std::snprintf(data->cFileName, sizeof data->cFileName, "%s", name.c_str());
}

}  // namespace

#if defined(_WIN32)
::BOOL WINAPI DllMain(HINSTANCE, ::DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH) {
        std::printf(reserved ? "fake: library finalized at process exit\n" : "fake: library finalized\n");
        std::fflush(stdout);
    }
    return TRUE;
}
#else
__attribute__((destructor)) static void finalized() {
    std::printf("fake: library finalized\n");
    std::fflush(stdout);
}
#endif

WFX_EXPORT int WFX_CALL FsInit(int nr, wfx::tProgressProc progressProc, wfx::tLogProc logCallback, wfx::tRequestProc requestProc) {
    pluginNr = nr;
    progress = progressProc;
    logProc = logCallback;
    request = requestProc;
    log("init as plug-in " + std::to_string(nr));
#if defined(_WIN32)
    char className[64] = "";
    GetClassNameA(GetForegroundWindow(), className, sizeof className);
    log(std::string("foreground window ") + className);
#endif
    // A short buffer with a guard behind it: the host must cut the answer to
    // MaxLen characters and a terminating zero, the 9 bytes before the guard.
    char password[16];
    std::memset(password, 'X', sizeof password);
    password[0] = '\0';
    char title[] = "Fake vault";
    char text[] = "Master password:";
    const wfx::BOOL ok = request(nr, RT_Password, title, text, password, 8);
    bool guardIntact = true;
    for (int i = 9; i < 16; ++i) guardIntact = guardIntact && password[i] == 'X';
    if (!ok)
        log("password cancelled");
    else
        log("password of " + std::to_string(strnlen(password, 9)) + " bytes, " +
            (strnlen(password, 9) <= 8 ? "terminated" : "NOT terminated") + ", guard " +
            (guardIntact ? "intact" : "overwritten"));
    return 0;
}

WFX_EXPORT wfx::HANDLE WFX_CALL FsFindFirst(char* path, wfx::WIN32_FIND_DATAA* data) {
    if (!isFolder(path)) {
        setError(3);  // ERROR_PATH_NOT_FOUND
        return invalidHandle();
    }
    auto* search = new Search;
    for (const auto& node : tree)
        if (parentOf(node.path) == path) search->items.push_back(node);
    if (search->items.empty()) {
        delete search;
        setError(18);  // ERROR_NO_MORE_FILES
        return invalidHandle();
    }
    fill(search->items[0], data);
    search->next = 1;
    return search;
}

WFX_EXPORT wfx::BOOL WFX_CALL FsFindNext(wfx::HANDLE handle, wfx::WIN32_FIND_DATAA* data) {
    auto* search = static_cast<Search*>(handle);
    if (search->next >= search->items.size()) return 0;
    fill(search->items[search->next++], data);
    return 1;
}

WFX_EXPORT int WFX_CALL FsFindClose(wfx::HANDLE handle) {
    delete static_cast<Search*>(handle);
    return 0;
}

#if !defined(FAKE_WITHOUT_CHANGES)
WFX_EXPORT wfx::BOOL WFX_CALL FsMkDir(char* path) {
    if (find(path) || !isFolder(parentOf(path))) return 0;
    tree.push_back({path, true, 0, 0, kNewYear, kNewYear});
    return 1;
}

#endif

WFX_EXPORT wfx::BOOL WFX_CALL FsDeleteFile(char* path) {
    for (auto it = tree.begin(); it != tree.end(); ++it)
        if (it->path == path && !it->folder) {
            tree.erase(it);
            return 1;
        }
    return 0;
}

WFX_EXPORT wfx::BOOL WFX_CALL FsRemoveDir(char* path) {
    const std::string folder = path;
    for (const auto& node : tree)
        if (parentOf(node.path) == folder) return 0;
    for (auto it = tree.begin(); it != tree.end(); ++it)
        if (it->path == folder && it->folder) {
            tree.erase(it);
            return 1;
        }
    return 0;
}

#if !defined(FAKE_WITHOUT_CHANGES)
WFX_EXPORT int WFX_CALL FsRenMovFile(char* oldName, char* newName, wfx::BOOL move, wfx::BOOL overWrite, wfx::RemoteInfoStruct* ri) {
    log("ri size=" + std::to_string((static_cast<unsigned long long>(ri->SizeHigh) << 32) | ri->SizeLow) +
        " attr=" + std::to_string(ri->Attr) + " written=" + std::to_string(ri->LastWriteTime.dwHighDateTime));
    Node* source = find(oldName);
    if (!source) return FS_FILE_NOTFOUND;
    if (!isFolder(parentOf(newName))) return FS_FILE_WRITEERROR;
    if (find(newName)) {
        if (!overWrite) return FS_FILE_EXISTS;
        const std::string from = source->path;
        FsDeleteFile(newName);
        source = find(from);
    }
    if (progress(pluginNr, oldName, newName, 0)) return FS_FILE_USERABORT;
    if (move) {
        const std::string from = source->path;
        for (auto& node : tree)
            if (node.path == from || node.path.compare(0, from.size() + 1, from + "\\") == 0)
                node.path = newName + node.path.substr(from.size());
    } else {
        Node copy = *source;
        copy.path = newName;
        tree.push_back(copy);
    }
    progress(pluginNr, oldName, newName, 100);
    return FS_FILE_OK;
}

#endif

WFX_EXPORT int WFX_CALL FsPutFile(char* localName, char* remoteName, int copyFlags) {
    std::FILE* file = std::fopen(localName, "rb");
    if (!file) return FS_FILE_READERROR;
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);
    if (find(remoteName) && !(copyFlags & FS_COPYFLAGS_OVERWRITE)) return FS_FILE_EXISTS;
    if (!isFolder(parentOf(remoteName))) return FS_FILE_WRITEERROR;
    progress(pluginNr, localName, remoteName, 50);
    FsDeleteFile(remoteName);
    tree.push_back({remoteName, false, 0, static_cast<wfx::DWORD>(size), kNewYear, kNewYear});
    log("put with flags " + std::to_string(copyFlags));
    return FS_FILE_OK;
}

WFX_EXPORT int WFX_CALL FsExecuteFile(wfx::HWND mainWin, char* remoteName, char* verb) {
    const std::string name = remoteName;
    const std::string what = verb;
    if (!find(name) && name != "\\") return FS_EXEC_ERROR;
    if (what == "open" && name == "\\Link") {
        std::snprintf(remoteName, kMaxPath, "%s", "\\Email");
        return FS_EXEC_SYMLINK;
    }
    if (what == "open") {
        log("opened " + name + (mainWin ? " with a main window" : " without a main window"));
#if defined(_WIN32)
        PostMessageA(static_cast<::HWND>(mainWin), WM_USER + 51, 540, 0);
#endif
        return FS_EXEC_OK;
    }
    if (what == "properties") {
        char title[] = "Properties";
        std::string question = "Mark " + name + " as favourite?";
        const wfx::BOOL yes = request(pluginNr, RT_MsgYesNo, title, const_cast<char*>(question.c_str()), nullptr, 0);
        log(yes ? "marked" : "not marked");
        return FS_EXEC_OK;
    }
    if (what == "ask") {
        char answer[32];
        std::snprintf(answer, sizeof answer, "%s", "preset");
        char title[] = "Rename";
        char text[] = "New user name:";
        const wfx::BOOL ok = request(pluginNr, RT_UserName, title, text, answer, sizeof answer - 1);
        log(ok ? "user name \"" + std::string(answer) + "\"" : std::string("user name cancelled"));
        return FS_EXEC_OK;
    }
    return FS_EXEC_ERROR;
}

WFX_EXPORT int WFX_CALL FsExtractCustomIcon(char* remoteName, int extractFlags, wfx::HICON* theIcon) {
    const std::string name = remoteName;
    if (name == "\\Email\\Gmail") {
#if defined(_WIN32)
        *theIcon = reinterpret_cast<wfx::HICON>(CopyIcon(LoadIcon(nullptr, IDI_APPLICATION)));
#else
        *theIcon = &fakeIcon;
#endif
        return FS_ICON_EXTRACTED_DESTROY;
    }
    if (name == "\\Bank") {
        if (!(extractFlags & FS_ICONFLAG_BACKGROUND)) return FS_ICON_DELAYED;
        std::snprintf(remoteName, kMaxPath, "%s", (extractFlags & FS_ICONFLAG_SMALL) ? "bank16" : "bank32");
#if defined(_WIN32)
        *theIcon = reinterpret_cast<wfx::HICON>(LoadIcon(nullptr, IDI_INFORMATION));
#else
        *theIcon = &fakeIcon;
#endif
        return FS_ICON_EXTRACTED;
    }
    return FS_ICON_USEDEFAULT;
}

namespace {

struct FieldInfo {
    const char* name;
    const char* units;
    int type;
};
const FieldInfo kFields[] = {
    {"Title", "", ft_string},  {"Favourite", "", ft_boolean}, {"Changed", "", ft_date},
    {"Uses", "", ft_numeric_32}, {"Notes", "", ft_string},     {"Strength", "weak|strong", ft_multiplechoice},
};
constexpr int kFieldCount = sizeof kFields / sizeof kFields[0];

}  // namespace

#if !defined(FAKE_WITHOUT_CHANGES)
WFX_EXPORT int WFX_CALL FsContentGetSupportedField(int fieldIndex, char* fieldName, char* units, int maxlen) {
    if (fieldIndex < 0 || fieldIndex >= kFieldCount) return ft_nomorefields;
    std::snprintf(fieldName, maxlen, "%s", kFields[fieldIndex].name);
    std::snprintf(units, maxlen, "%s", kFields[fieldIndex].units);
    return kFields[fieldIndex].type;
}

#endif

WFX_EXPORT int WFX_CALL FsContentGetValue(char* fileName, int fieldIndex, int, void* fieldValue, int maxlen, int) {
    const Node* node = find(fileName);
    if (!node) return ft_fileerror;
    if (fieldIndex < 0 || fieldIndex >= kFieldCount) return ft_nosuchfield;
    const std::string leaf = node->path.substr(node->path.rfind('\\') + 1);
    switch (fieldIndex) {
        case 0:
            std::snprintf(static_cast<char*>(fieldValue), maxlen, "%s entry", leaf.c_str());
            return ft_string;
        case 1: {
            const std::int32_t favourite = leaf == "Gmail" ? 1 : 0;
            std::memcpy(fieldValue, &favourite, sizeof favourite);
            return ft_boolean;
        }
        case 2: {
            const std::uint16_t date[3] = {2024, 2, 29};
            std::memcpy(fieldValue, date, sizeof date);
            return ft_date;
        }
        case 3: {
            const std::int32_t uses = -3 + static_cast<std::int32_t>(leaf.size());
            std::memcpy(fieldValue, &uses, sizeof uses);
            return ft_numeric_32;
        }
        case 4:
            return ft_fieldempty;
        default:
            std::snprintf(static_cast<char*>(fieldValue), maxlen, "%s", "strong");
            return ft_multiplechoice;
    }
}

WFX_EXPORT wfx::BOOL WFX_CALL FsContentGetDefaultView(char* viewContents, char* viewHeaders, char* viewWidths,
                                                 char* viewOptions, int maxlen) {
    std::snprintf(viewContents, maxlen, "%s", "[=fake.Title]\\n[=fake.Uses]");
    std::snprintf(viewHeaders, maxlen, "%s", "Title\\nUses");
    std::snprintf(viewWidths, maxlen, "%s", "100,30,-40");
    std::snprintf(viewOptions, maxlen, "%s", "-1|0");
    return 1;
}

WFX_EXPORT void WFX_CALL FsContentPluginUnloading(void) {
    log("unloading, settings written");
}
