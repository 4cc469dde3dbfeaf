// The exported functions of the plug-in. Each one only translates the host's
// call into calls of the plug-in's own classes.
#include "Autolock.h"
#include "ContentColumns.h"
#include "Execute.h"
#include "KeyholdApp.h"
#include "Listing.h"
#include "NodeIcon.h"
#include "RenameMoveCopy.h"
#include "StoreChanges.h"
#include "WfxApi.h"

using namespace wfx;

WFX_EXPORT int WFX_CALL FsInit(int PluginNr, tProgressProc pProgressProc, tLogProc pLogProc,
                               tRequestProc pRequestProc) {
    return theApp().fsInit(PluginNr, pProgressProc, pLogProc, pRequestProc);
}

// The host calls this just before it unloads us: the plug-in's threads end
// here, where they can still be waited for.
WFX_EXPORT void WFX_CALL FsContentPluginUnloading(void) { theApp().stopThreads(); }

// Every call that touches the store pauses the automatic lock while it runs.
WFX_EXPORT HANDLE WFX_CALL FsFindFirst(char* Path, WIN32_FIND_DATAA* FindData) {
    CStoreActivity activity;
    return FindFirst(Path, FindData);
}
WFX_EXPORT BOOL WFX_CALL FsFindNext(HANDLE Hdl, WIN32_FIND_DATAA* FindData) {
    CStoreActivity activity;
    return FindNext(Hdl, FindData);
}
WFX_EXPORT int WFX_CALL FsFindClose(HANDLE Hdl) {
    CStoreActivity activity;
    return FindClose(Hdl);
}

WFX_EXPORT BOOL WFX_CALL FsMkDir(char* Path) {
    CStoreActivity activity;
    return MakeFolder(Path);
}
WFX_EXPORT BOOL WFX_CALL FsDeleteFile(char* RemoteName) {
    CStoreActivity activity;
    return DeleteEntry(RemoteName);
}
WFX_EXPORT BOOL WFX_CALL FsRemoveDir(char* RemoteName) {
    CStoreActivity activity;
    return RemoveFolder(RemoteName);
}
WFX_EXPORT int WFX_CALL FsRenMovFile(char* OldName, char* NewName, BOOL Move, BOOL OverWrite, RemoteInfoStruct*) {
    CStoreActivity activity;
    return RenameMoveCopy(OldName, NewName, Move != 0, OverWrite != 0);
}
WFX_EXPORT int WFX_CALL FsPutFile(char* LocalName, char* RemoteName, int CopyFlags) {
    CStoreActivity activity;
    return PutFile(LocalName, RemoteName, CopyFlags);
}
WFX_EXPORT int WFX_CALL FsExecuteFile(HWND, char* RemoteName, char* Verb) {
    CStoreActivity activity;
    return ExecuteFile(RemoteName, Verb);
}
WFX_EXPORT int WFX_CALL FsExtractCustomIcon(char* RemoteName, int ExtractFlags, HICON* TheIcon) {
    return ExtractCustomIcon(RemoteName, ExtractFlags, TheIcon);
}
WFX_EXPORT int WFX_CALL FsContentGetSupportedField(int FieldIndex, char* FieldName, char* Units, int maxlen) {
    return GetSupportedField(FieldIndex, FieldName, Units, maxlen);
}
WFX_EXPORT int WFX_CALL FsContentGetValue(char* FileName, int FieldIndex, int, void* FieldValue, int maxlen, int) {
    return GetFieldValue(FileName, FieldIndex, FieldValue, maxlen);
}
WFX_EXPORT BOOL WFX_CALL FsContentGetDefaultView(char* ViewContents, char* ViewHeaders, char* ViewWidths,
                                                 char* ViewOptions, int maxlen) {
    return GetDefaultView(ViewContents, ViewHeaders, ViewWidths, ViewOptions, maxlen);
}
