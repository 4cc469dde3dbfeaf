// Loading a plug-in binary the way the file manager does, and the table of
// its exported functions.
#pragma once

#include <string>
#include <vector>

#include "WfxApi.h"

namespace panel {

// The fifteen exports, null where the plug-in lacks one.
struct PluginExports {
    wfx::tFsInit FsInit = nullptr;
    wfx::tFsFindFirst FsFindFirst = nullptr;
    wfx::tFsFindNext FsFindNext = nullptr;
    wfx::tFsFindClose FsFindClose = nullptr;
    wfx::tFsMkDir FsMkDir = nullptr;
    wfx::tFsDeleteFile FsDeleteFile = nullptr;
    wfx::tFsRemoveDir FsRemoveDir = nullptr;
    wfx::tFsRenMovFile FsRenMovFile = nullptr;
    wfx::tFsPutFile FsPutFile = nullptr;
    wfx::tFsExecuteFile FsExecuteFile = nullptr;
    wfx::tFsExtractCustomIcon FsExtractCustomIcon = nullptr;
    wfx::tFsContentGetSupportedField FsContentGetSupportedField = nullptr;
    wfx::tFsContentGetValue FsContentGetValue = nullptr;
    wfx::tFsContentGetDefaultView FsContentGetDefaultView = nullptr;
    wfx::tFsContentPluginUnloading FsContentPluginUnloading = nullptr;
};

class PluginLibrary {
public:
    PluginLibrary() = default;
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;
    ~PluginLibrary();

    // Loads the binary (dlopen with RTLD_NOW | RTLD_LOCAL, or LoadLibraryA)
    // and resolves the exports by name. False with error() set when the
    // binary does not load.
    bool load(const std::string& path);
    const std::string& error() const { return error_; }

    const PluginExports& fn() const { return exports_; }
    const std::vector<std::string>& missingExports() const { return missing_; }

    // Unloads the binary. False, with error() set, when the system still
    // has it mapped afterwards (then its unload code has not run).
    bool unload();

private:
    void* handle_ = nullptr;
    std::string path_;
    std::string error_;
    PluginExports exports_;
    std::vector<std::string> missing_;
};

// The system's text for the last error of the calling thread: GetLastError
// on Windows; empty elsewhere, where the plug-in has no such channel.
std::string lastSystemError();

}  // namespace panel
