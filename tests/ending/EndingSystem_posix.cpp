#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "EndingSystem.h"

namespace ending {

void* loadLibrary(const std::string& path, std::string& error) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* text = dlerror();
        error = text != nullptr ? text : "dlopen failed";
    }
    return library;
}

void* findSymbol(void* library, const char* name) { return dlsym(library, name); }

bool freeLibrary(void* library) { return dlclose(library) == 0; }

bool libraryMapped(const std::string& path) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (library == nullptr) return false;
    dlclose(library);  // the reference NOLOAD took
    return true;
}

void sleepMilliseconds(int ms) { usleep(static_cast<useconds_t>(ms) * 1000u); }

void endProcessFromAnotherThread(int code) {
    std::thread ender([code] { std::exit(code); });
    ender.join();  // never returns: exit() ends this thread too
    std::abort();
}

}  // namespace ending
