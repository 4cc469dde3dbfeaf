#include "PluginLibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace panel {

namespace {

using AnyFunction = void (*)();

#if defined(_WIN32)
std::string windowsErrorText(DWORD code) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text ? text : "";
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
}

AnyFunction symbol(void* handle, const char* name) {
    return reinterpret_cast<AnyFunction>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
#else
AnyFunction symbol(void* handle, const char* name) {
    return reinterpret_cast<AnyFunction>(dlsym(handle, name));
}
#endif

template <typename F>
void bind(void* handle, F& slot, const char* name, std::vector<std::string>& missing) {
    slot = reinterpret_cast<F>(symbol(handle, name));
    if (!slot) missing.push_back(name);
}

}  // namespace

PluginLibrary::~PluginLibrary() {
    unload();
}

bool PluginLibrary::load(const std::string& path) {
    unload();
    error_.clear();
#if defined(_WIN32)
    handle_ = LoadLibraryA(path.c_str());
    if (!handle_) error_ = windowsErrorText(GetLastError());
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* text = dlerror();
        error_ = text ? text : "dlopen failed";
    }
#endif
    if (!handle_) return false;
    path_ = path;
    missing_.clear();
    bind(handle_, exports_.FsInit, "FsInit", missing_);
    bind(handle_, exports_.FsFindFirst, "FsFindFirst", missing_);
    bind(handle_, exports_.FsFindNext, "FsFindNext", missing_);
    bind(handle_, exports_.FsFindClose, "FsFindClose", missing_);
    bind(handle_, exports_.FsMkDir, "FsMkDir", missing_);
    bind(handle_, exports_.FsDeleteFile, "FsDeleteFile", missing_);
    bind(handle_, exports_.FsRemoveDir, "FsRemoveDir", missing_);
    bind(handle_, exports_.FsRenMovFile, "FsRenMovFile", missing_);
    bind(handle_, exports_.FsPutFile, "FsPutFile", missing_);
    bind(handle_, exports_.FsExecuteFile, "FsExecuteFile", missing_);
    bind(handle_, exports_.FsExtractCustomIcon, "FsExtractCustomIcon", missing_);
    bind(handle_, exports_.FsContentGetSupportedField, "FsContentGetSupportedField", missing_);
    bind(handle_, exports_.FsContentGetValue, "FsContentGetValue", missing_);
    bind(handle_, exports_.FsContentGetDefaultView, "FsContentGetDefaultView", missing_);
    bind(handle_, exports_.FsContentPluginUnloading, "FsContentPluginUnloading", missing_);
    return true;
}

bool PluginLibrary::unload() {
    if (!handle_) return true;
    exports_ = PluginExports();
    bool gone = true;
#if defined(_WIN32)
    const HMODULE module = static_cast<HMODULE>(handle_);
    FreeLibrary(module);
    handle_ = nullptr;
    // The module's file name is known only while it is still mapped.
    char name[MAX_PATH];
    if (GetModuleFileNameA(module, name, sizeof name) != 0) gone = false;
#else
    dlclose(handle_);
    handle_ = nullptr;
    // RTLD_NOLOAD succeeds only while the library is still mapped.
    if (void* still = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) {
        dlclose(still);
        gone = false;
    }
#endif
    if (!gone) error_ = "the system kept " + path_ + " loaded after it was released";
    return gone;
}

std::string lastSystemError() {
#if defined(_WIN32)
    return windowsErrorText(GetLastError());
#else
    return {};
#endif
}

}  // namespace panel
