// Listings, changes, column reads and the automatic lock, all at once: two
// host threads call the exports the way a file manager's panel and its
// background copier do, while the autolock thread locks the store whenever
// they pause. Run under ThreadSanitizer, any data race fails the run; at the
// end the store on disk must still hold every entry that was never deleted.
//
//   keyhold_autolock_stress [seconds]
#include <tinyxml.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "Autolock.h"
#include "WfxApi.h"
#include "platform/Module_memory.h"
#include "platform/Platform.h"

using namespace wfx;

WFX_EXPORT int WFX_CALL FsInit(int, tProgressProc, tLogProc, tRequestProc);
WFX_EXPORT HANDLE WFX_CALL FsFindFirst(char*, WIN32_FIND_DATAA*);
WFX_EXPORT BOOL WFX_CALL FsFindNext(HANDLE, WIN32_FIND_DATAA*);
WFX_EXPORT int WFX_CALL FsFindClose(HANDLE);
WFX_EXPORT BOOL WFX_CALL FsMkDir(char*);
WFX_EXPORT BOOL WFX_CALL FsDeleteFile(char*);
WFX_EXPORT BOOL WFX_CALL FsRemoveDir(char*);
WFX_EXPORT int WFX_CALL FsRenMovFile(char*, char*, BOOL, BOOL, RemoteInfoStruct*);
WFX_EXPORT int WFX_CALL FsContentGetValue(char*, int, int, void*, int, int);
WFX_EXPORT void WFX_CALL FsContentPluginUnloading(void);

namespace {

std::atomic<int> g_locksSeen{0};
std::atomic<int> g_unlocks{0};

int WFX_CALL progress(int, char*, char*, int) { return 0; }
void WFX_CALL hostLog(int, int, char*) {}
// The user: gives the master password whenever asked and agrees to the rest.
BOOL WFX_CALL request(int, int type, char*, char*, char* answer, int maxlen) {
    if (type == RT_Password && answer != nullptr && maxlen > 2) {
        std::strcpy(answer, "pw");
        ++g_unlocks;
    }
    return 1;
}

std::vector<std::string> list(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    std::string p = path;
    HANDLE h = FsFindFirst(&p[0], &fd);
    if (h == invalidHandle()) return names;
    do names.push_back(fd.cFileName);
    while (FsFindNext(h, &fd));
    FsFindClose(h);
    return names;
}

BOOL call(BOOL (*fn)(char*), std::string path) { return fn(&path[0]); }

int renMov(std::string from, std::string to, bool move) { return FsRenMovFile(&from[0], &to[0], move, 0, nullptr); }

void pause(std::mt19937& random, int maxMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, maxMs)(random)));
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    char folderTemplate[] = "/tmp/keyhold-stress-XXXXXX";
    const char* made = mkdtemp(folderTemplate);
    if (made == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::string folder = made;
    const std::string store = folder + "/database.xml";
    {
        std::ofstream ini(folder + "/keyHold.ini");
        ini << "[MAIN]\ndatafile=" << store << "\nNewEntryFolder=1\n[AUTOLOCK]\nAutolock=1\nTimeOutLock=5\n";
        std::ofstream db(store);
        // Made with the password "pw": its SHA-1 is the masterkey.
        db << "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" "
              "masterkey=\"1A91D62F7CA67399625A4368A6AB5D4A3BAA6073\">\n"
              "<folder name=\"Mail\" id=\"2\"><file name=\"Gmail\" id=\"3\"/><file name=\"Work\" id=\"4\"/></folder>\n"
              "<folder name=\"Bank\" id=\"5\"><file name=\"Card\" id=\"6\"/></folder>\n"
              "<folder name=\"Scratch\" id=\"7\"/>\n</pswd>\n";
    }
    // The plug-in as if it lay in that folder; every other service is the
    // real one. Five steps of a millisecond each make the time-out short
    // enough to lock many times while the others pause.
    platform::MemoryModule module;
    module.name = folder + "/keyhold.wfx";
    platform::services().module = &module;
    setAutolockTickForTesting(std::chrono::milliseconds(1));

    FsInit(1, progress, hostLog, request);
    if (list("\\").empty()) {
        std::fprintf(stderr, "the store did not open\n");
        return 1;
    }

    std::atomic<bool> done{false};
    std::thread panel([&] {
        std::mt19937 random(1);
        const char* paths[] = {"\\", "\\Mail", "\\Bank", "\\Scratch", "\\Scratch\\T0"};
        while (!done) {
            std::vector<std::string> names = list(paths[random() % 5]);
            if (names.size() == 1 && names[0] == "UnLock Keyhold") ++g_locksSeen;
            char value[256];
            std::string entry = "\\Mail\\Gmail";
            FsContentGetValue(&entry[0], 2, 0, value, sizeof value, 0);
            pause(random, 12);
        }
    });
    std::thread copier([&] {
        std::mt19937 random(2);
        for (int round = 0; !done; ++round) {
            const std::string t = "\\Scratch\\T" + std::to_string(round % 3);
            call(FsMkDir, t);
            renMov("\\Mail\\Work", t + "\\Work", true);
            pause(random, 12);
            renMov(t + "\\Work", "\\Mail\\Work", true);
            renMov("\\Bank\\Card", t + "\\Card", false);  // a copy
            call(FsDeleteFile, t + "\\Card");
            call(FsRemoveDir, t);
            pause(random, 12);
        }
    });
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    done = true;
    panel.join();
    copier.join();
    FsContentPluginUnloading();

    // The entries that were only moved about are all there.
    TiXmlDocument d;
    int failures = 0;
    if (!d.LoadFile(store.c_str())) {
        std::fprintf(stderr, "the store does not parse any more\n");
        ++failures;
    } else {
        std::string all;
        std::vector<TiXmlElement*> todo{d.RootElement()};
        while (!todo.empty()) {
            TiXmlElement* e = todo.back();
            todo.pop_back();
            for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
                if (const char* n = c->Attribute("name")) all += std::string(n) + "/";
                todo.push_back(c);
            }
        }
        for (const char* name : {"Mail/", "Gmail/", "Work/", "Bank/", "Card/", "Scratch/"}) {
            if (all.find(name) == std::string::npos) {
                std::fprintf(stderr, "lost: %s (store holds %s)\n", name, all.c_str());
                ++failures;
            }
        }
    }
    std::printf("%d s: %d locked listings seen, %d unlocks\n", seconds, g_locksSeen.load(), g_unlocks.load() - 1);
    if (g_locksSeen == 0) {
        std::fprintf(stderr, "the store never locked: the run proves nothing about the lock\n");
        ++failures;
    }
    std::string cleanup = "rm -rf '" + folder + "'";
    if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", folder.c_str());
    return failures == 0 ? 0 : 1;
}
