// What the ending host needs from the system: loading and freeing a library,
// and ending the process from a thread of its own. Windows and POSIX implementations side by side.
#pragma once

#include <string>

namespace ending {

// The library's handle, or null with the system's reason in `error`.
void* loadLibrary(const std::string& path, std::string& error);
void* findSymbol(void* library, const char* name);
// FreeLibrary / dlclose; true when the system accepted it.
bool freeLibrary(void* library);
// Whether the library at that path is still mapped into the process.
bool libraryMapped(const std::string& path);

void sleepMilliseconds(int ms);

// Starts a thread that ends the whole process with `code` the way a program
// ends itself (ExitProcess; exit()), while the calling thread waits for ever.
[[noreturn]] void endProcessFromAnotherThread(int code);

}  // namespace ending
