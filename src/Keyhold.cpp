// The exported functions of the plug-in. Each one only translates the host's
// call into calls of the plug-in's own classes, and lets no C++ exception
// out: the host is not C++ and cannot take one. An exception (running out of
// memory included) becomes the export's failure value and one log line.
#include <cstring>
#include <algorithm>
#include <cstddef>
#include <exception>
#include <new>
#include <typeinfo>

#include "Autolock.h"
#include "ContentColumns.h"
#include "Execute.h"
#include "KeyholdApp.h"
#include "Listing.h"
#include "Log.h"
#include "NodeIcon.h"
#include "PluginSettings.h"
#include "RenameMoveCopy.h"
#include "StoreChanges.h"
#include "WfxApi.h"
#include "platform/HostExtension.h"

using namespace wfx;

namespace {

// The log line names the export and the kind of exception only: the
// exception's text may come from anywhere and is not written down.
void stoppedBy(const char* exportName, const char* kind) noexcept {
    try {
        KH_LOG(eError, "%s stopped by an exception (%s); the host is told it failed", exportName, kind);
    } catch (...) {
        // Not even the log line could be made (out of memory): the failure
        // value alone has to do.
    }
}

// Runs the export's work; any exception gives `failure`.
template <typename Result, typename Work>
Result guarded(const char* exportName, Result failure, Work&& work) noexcept {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        stoppedBy(exportName, "out of memory");
    } catch (const std::exception& e) {
        const char* kind = "std::exception";
        try {
            kind = typeid(e).name();
        } catch (...) {
        }
        stoppedBy(exportName, kind);
    } catch (...) {
        stoppedBy(exportName, "not a std::exception");
    }
    return failure;
}

}  // namespace

// The host never learns of a failure here: there is none to report.
WFX_EXPORT int WFX_CALL FsInit(int PluginNr, tProgressProc pProgressProc, tLogProc pLogProc,
                               tRequestProc pRequestProc) {
    return guarded("FsInit", 0, [&] { return theApp().fsInit(PluginNr, pProgressProc, pLogProc, pRequestProc); });
}

// The host calls this just before it unloads us: the plug-in's threads end
// here, where they can still be waited for.
WFX_EXPORT void WFX_CALL FsContentPluginUnloading(void) {
    guarded("FsContentPluginUnloading", 0, [] {
        theApp().stopThreads();
        return 0;
    });
}

#if !defined(_WIN32)
// Double Commander's extension API (Linux): the host hands over its dialog
// callbacks right after loading the plug-in, before FsInit. Its structure is
// its own: what is needed is copied.
WFX_EXPORT void ExtensionInitialize(dcext::tExtensionStartupInfo* StartupInfo) {
    guarded("ExtensionInitialize", 0, [&] {
        platform::hostExtension().initialize(StartupInfo);
        // DC's own configuration folder: where settings go when the
        // plug-in's folder cannot be written.
        setHostConfigFolder(platform::hostExtension().pluginConfDir());
        return 0;
    });
}

WFX_EXPORT void ExtensionFinalize(void*) {
    guarded("ExtensionFinalize", 0, [] {
        platform::hostExtension().finalize();
        setHostConfigFolder(std::string());
        return 0;
    });
}
#endif

// Every call that touches the store pauses the automatic lock while it runs.
WFX_EXPORT HANDLE WFX_CALL FsFindFirst(char* Path, WIN32_FIND_DATAA* FindData) {
    return guarded("FsFindFirst", invalidHandle(), [&] {
        CStoreActivity activity;
        return FindFirst(Path, FindData);
    });
}
WFX_EXPORT BOOL WFX_CALL FsFindNext(HANDLE Hdl, WIN32_FIND_DATAA* FindData) {
    return guarded("FsFindNext", BOOL(0), [&] {
        CStoreActivity activity;
        return FindNext(Hdl, FindData);
    });
}
WFX_EXPORT int WFX_CALL FsFindClose(HANDLE Hdl) {
    return guarded("FsFindClose", 0, [&] {
        CStoreActivity activity;
        return FindClose(Hdl);
    });
}

WFX_EXPORT BOOL WFX_CALL FsMkDir(char* Path) {
    return guarded("FsMkDir", BOOL(0), [&] {
        CStoreActivity activity;
        return MakeFolder(Path);
    });
}
WFX_EXPORT BOOL WFX_CALL FsDeleteFile(char* RemoteName) {
    return guarded("FsDeleteFile", BOOL(0), [&] {
        CStoreActivity activity;
        return DeleteEntry(RemoteName);
    });
}
WFX_EXPORT BOOL WFX_CALL FsRemoveDir(char* RemoteName) {
    return guarded("FsRemoveDir", BOOL(0), [&] {
        CStoreActivity activity;
        return RemoveFolder(RemoteName);
    });
}
WFX_EXPORT int WFX_CALL FsRenMovFile(char* OldName, char* NewName, BOOL Move, BOOL OverWrite, RemoteInfoStruct*) {
    return guarded("FsRenMovFile", int(FS_FILE_WRITEERROR), [&] {
        CStoreActivity activity;
        // Double Commander passes Move and OverWrite as one-byte Booleans:
        // only the low byte of each is defined.
        return RenameMoveCopy(OldName, NewName, (Move & 0xFF) != 0, (OverWrite & 0xFF) != 0);
    });
}
WFX_EXPORT int WFX_CALL FsPutFile(char* LocalName, char* RemoteName, int CopyFlags) {
    return guarded("FsPutFile", int(FS_FILE_WRITEERROR), [&] {
        CStoreActivity activity;
        return PutFile(LocalName, RemoteName, CopyFlags);
    });
}
WFX_EXPORT int WFX_CALL FsExecuteFile(HWND, char* RemoteName, char* Verb) {
    return guarded("FsExecuteFile", int(FS_EXEC_ERROR), [&] {
        CStoreActivity activity;
        return ExecuteFile(RemoteName, Verb);
    });
}
WFX_EXPORT int WFX_CALL FsExtractCustomIcon(char* RemoteName, int ExtractFlags, HICON* TheIcon) {
    return guarded("FsExtractCustomIcon", int(FS_ICON_USEDEFAULT),
                   [&] { return ExtractCustomIcon(RemoteName, ExtractFlags, TheIcon); });
}
WFX_EXPORT int WFX_CALL FsContentGetSupportedField(int FieldIndex, char* FieldName, char* Units, int maxlen) {
    return guarded("FsContentGetSupportedField", int(ft_nomorefields),
                   [&] { return GetSupportedField(FieldIndex, FieldName, Units, maxlen); });
}
WFX_EXPORT int WFX_CALL FsContentGetValue(char* FileName, int FieldIndex, int, void* FieldValue, int maxlen, int) {
    return guarded("FsContentGetValue", int(ft_fileerror),
                   [&] { return GetFieldValue(FileName, FieldIndex, FieldValue, maxlen); });
}
WFX_EXPORT BOOL WFX_CALL FsContentGetDefaultView(char* ViewContents, char* ViewHeaders, char* ViewWidths,
                                                 char* ViewOptions, int maxlen) {
    return guarded("FsContentGetDefaultView", BOOL(0), [&] {
        return GetDefaultView(ViewContents, ViewHeaders, ViewWidths, ViewOptions, maxlen);
    });
}

// The name a host proposes for the plug-in when it is added by hand.
WFX_EXPORT void WFX_CALL FsGetDefRootName(char* DefRootName, int maxlen) {
    guarded("FsGetDefRootName", 0, [&] {
        static const char kName[] = "Keyhold";
        if (DefRootName == nullptr || maxlen <= 0) return 0;
        std::size_t n = std::min<std::size_t>(sizeof kName - 1, static_cast<std::size_t>(maxlen) - 1);
        std::memcpy(DefRootName, kName, n);
        DefRootName[n] = '\0';
        return 0;
    });
}

// Where the host keeps its plug-ins' settings: the folder of DefaultIniName
// is one place for ours when the plug-in's own folder cannot be written.
WFX_EXPORT void WFX_CALL FsSetDefaultParams(FsDefaultParamStruct* dps) {
    guarded("FsSetDefaultParams", 0, [&] {
        if (dps == nullptr) return 0;
        const std::size_t header = offsetof(FsDefaultParamStruct, DefaultIniName);
        if (dps->size <= 0 || static_cast<std::size_t>(dps->size) <= header) return 0;
        // The name ends at its terminator, within the structure the host says it gave.
        std::size_t room = std::min<std::size_t>(static_cast<std::size_t>(dps->size) - header, kMaxPath);
        const char* name = dps->DefaultIniName;
        std::size_t length = 0;
        while (length < room && name[length] != '\0') ++length;
        if (length == room) return 0;
        setHostDefaultIniFile(std::string(name, length));
        return 0;
    });
}
