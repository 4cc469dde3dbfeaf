// A host that ends the way real hosts end when nobody closes them politely:
// closed from the task bar, logged off, killed by an installer. It loads the
// plug-in, starts it, lists the store (so that every thread of the plug-in is
// up and the lock countdown runs) and then ends in the way MODE names:
//
//   ending-host MODE PLUGIN
//
//   return       returns from main with the plug-in loaded            (exit code 11)
//   exit-thread  a second thread ends the process (ExitProcess on
//                Windows, exit() elsewhere) while main waits           (exit code 12)
//   free         frees the library without FsContentPluginUnloading,
//                goes on for a while, then returns from main           (exit code 13)
//   unload       FsContentPluginUnloading, frees the library, returns  (exit code 14)
//
// 2: bad arguments or the plug-in did not load; 3: the listing failed.
// It prints what a test checks besides the exit code: the number of threads
// the plug-in started, the names listed at the root, and after a free whether
// the library is still mapped.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "EndingSystem.h"
#include "ThreadCount.h"
#include "WfxApi.h"

namespace {

using namespace wfx;

int WFX_CALL progress(int, char*, char*, int) { return 0; }

void WFX_CALL logLine(int, int type, char* text) { std::printf("plug-in log %d: %s\n", type, text ? text : ""); }

// Nothing is answered: the store opens with the settings' development
// password, and any question would mean that it did not.
BOOL WFX_CALL request(int, int type, char* title, char* text, char*, int) {
    std::printf("request %d: %s / %s\n", type, title ? title : "", text ? text : "");
    return 0;
}

template <typename F>
F exported(void* library, const char* name) {
    F f = reinterpret_cast<F>(ending::findSymbol(library, name));
    if (f == nullptr) std::printf("missing export %s\n", name);
    return f;
}

struct Mode {
    const char* name;
    int exitCode;
};
const Mode kModes[] = {{"return", 11}, {"exit-thread", 12}, {"free", 13}, {"unload", 14}};

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const Mode* mode = nullptr;
    if (argc == 3) {
        for (const Mode& m : kModes) {
            if (std::strcmp(argv[1], m.name) == 0) mode = &m;
        }
    }
    if (mode == nullptr) {
        std::fprintf(stderr, "usage: ending-host return|exit-thread|free|unload PLUGIN\n");
        return 2;
    }
    const std::string path = argv[2];

    std::string error;
    void* library = ending::loadLibrary(path, error);
    if (library == nullptr) {
        std::printf("cannot load %s: %s\n", path.c_str(), error.c_str());
        return 2;
    }
    auto fsInit = exported<tFsInit>(library, "FsInit");
    auto findFirst = exported<tFsFindFirst>(library, "FsFindFirst");
    auto findNext = exported<tFsFindNext>(library, "FsFindNext");
    auto findClose = exported<tFsFindClose>(library, "FsFindClose");
    auto unloading = exported<tFsContentPluginUnloading>(library, "FsContentPluginUnloading");
    if (!fsInit || !findFirst || !findNext || !findClose || !unloading) return 2;

    const int threadsBefore = panel::threadCount();
    fsInit(1, progress, logLine, request);

    std::vector<std::string> names;
    char root[] = "\\";
    WIN32_FIND_DATAA found;
    std::memset(&found, 0, sizeof found);
    HANDLE listing = findFirst(root, &found);
    if (listing == invalidHandle()) {
        std::printf("the listing failed\n");
        return 3;
    }
    do {
        names.emplace_back(found.cFileName);
        std::memset(&found, 0, sizeof found);
    } while (findNext(listing, &found));
    findClose(listing);

    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : "|") + name;
    std::printf("listed: %s\n", joined.c_str());
    std::printf("threads of the plug-in: %d\n", panel::threadCount() - threadsBefore);

    if (std::strcmp(mode->name, "exit-thread") == 0) {
        std::printf("ending the process from another thread\n");
        ending::endProcessFromAnotherThread(mode->exitCode);
    }
    if (std::strcmp(mode->name, "unload") == 0) {
        unloading();
        std::printf("unloading called\n");
    }
    if (std::strcmp(mode->name, "free") == 0 || std::strcmp(mode->name, "unload") == 0) {
        if (!ending::freeLibrary(library)) {
            std::printf("the library could not be freed\n");
            return 4;
        }
        // Long enough for a thread of the plug-in's that runs on to reach
        // code that is no longer there: its countdown takes a step a second.
        ending::sleepMilliseconds(2500);
        std::printf("library mapped after free: %s\n", ending::libraryMapped(path) ? "yes" : "no");
    }
    std::printf("returning from main\n");
    return mode->exitCode;
}
