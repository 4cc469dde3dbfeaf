// The plug-in's exports, for tests that call them as a host does (the
// test program is linked with the plug-in's export unit itself).
#pragma once

#include <string>
#include <vector>

#include "WfxApi.h"

WFX_EXPORT int WFX_CALL FsInit(int, wfx::tProgressProc, wfx::tLogProc, wfx::tRequestProc);
WFX_EXPORT void WFX_CALL FsContentPluginUnloading(void);
WFX_EXPORT wfx::HANDLE WFX_CALL FsFindFirst(char*, wfx::WIN32_FIND_DATAA*);
WFX_EXPORT wfx::BOOL WFX_CALL FsFindNext(wfx::HANDLE, wfx::WIN32_FIND_DATAA*);
WFX_EXPORT int WFX_CALL FsFindClose(wfx::HANDLE);
WFX_EXPORT wfx::BOOL WFX_CALL FsMkDir(char*);
WFX_EXPORT wfx::BOOL WFX_CALL FsDeleteFile(char*);
WFX_EXPORT wfx::BOOL WFX_CALL FsRemoveDir(char*);
WFX_EXPORT int WFX_CALL FsRenMovFile(char*, char*, wfx::BOOL, wfx::BOOL, wfx::RemoteInfoStruct*);
WFX_EXPORT int WFX_CALL FsPutFile(char*, char*, int);
WFX_EXPORT int WFX_CALL FsExecuteFile(wfx::HWND, char*, char*);
WFX_EXPORT int WFX_CALL FsExtractCustomIcon(char*, int, wfx::HICON*);
WFX_EXPORT int WFX_CALL FsContentGetSupportedField(int, char*, char*, int);
WFX_EXPORT int WFX_CALL FsContentGetValue(char*, int, int, void*, int, int);
WFX_EXPORT wfx::BOOL WFX_CALL FsContentGetDefaultView(char*, char*, char*, char*, int);
WFX_EXPORT void WFX_CALL FsGetDefRootName(char*, int);
WFX_EXPORT void WFX_CALL FsSetDefaultParams(wfx::FsDefaultParamStruct*);
#if !defined(_WIN32)
#include "ExtensionApi.h"
WFX_EXPORT void ExtensionInitialize(dcext::tExtensionStartupInfo*);
WFX_EXPORT void ExtensionFinalize(void*);
#endif

// A writable copy of a text, for the exports' char* parameters.
struct HostText {
    explicit HostText(const std::string& text) : buffer(text.begin(), text.end()) { buffer.push_back('\0'); }
    operator char*() { return buffer.data(); }
    std::vector<char> buffer;
};
