#include <windows.h>

#include <cstdlib>

#include "EndingSystem.h"

namespace ending {

void* loadLibrary(const std::string& path, std::string& error) {
    HMODULE library = LoadLibraryA(path.c_str());
    if (library == nullptr) error = "LoadLibrary failed, error " + std::to_string(GetLastError());
    return library;
}

void* findSymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

bool freeLibrary(void* library) { return FreeLibrary(static_cast<HMODULE>(library)) != FALSE; }

bool libraryMapped(const std::string& path) { return GetModuleHandleA(path.c_str()) != nullptr; }

void sleepMilliseconds(int ms) { Sleep(static_cast<DWORD>(ms)); }

namespace {
DWORD WINAPI ender(void* code) {
    ExitProcess(static_cast<UINT>(reinterpret_cast<UINT_PTR>(code)));
}
}  // namespace

void endProcessFromAnotherThread(int code) {
    HANDLE thread = CreateThread(nullptr, 0, ender, reinterpret_cast<void*>(static_cast<UINT_PTR>(code)), 0, nullptr);
    if (thread != nullptr) WaitForSingleObject(thread, INFINITE);  // ExitProcess ends this thread too
    std::abort();
}

}  // namespace ending
