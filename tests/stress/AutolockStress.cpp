// Listings, changes (renames in place among them), column reads and the
// automatic lock, all at once: two host threads call the exports the way a
// file manager's panel and its background copier do, while the autolock
// thread locks the store whenever they pause. Run under ThreadSanitizer, any
// data race fails the run; at the end the store on disk must still hold
// every entry that was never deleted.
//
//   keyhold_autolock_stress [seconds]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Autolock.h"
#include "StressHost.h"
#include "WfxApi.h"
#include "platform/Module_memory.h"
#include "platform/Platform.h"

using namespace wfx;
using namespace stress;

namespace {

std::atomic<int> g_locksSeen{0};
std::atomic<int> g_unlocks{0};

// The user: gives the master password whenever asked and agrees to the rest.
BOOL WFX_CALL request(int, int type, char*, char*, char* answer, int maxlen) {
    if (type == RT_Password && answer != nullptr && maxlen > 2) {
        std::strcpy(answer, "pw");
        ++g_unlocks;
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    // Made with the password "pw": its SHA-1 is the masterkey.
    const std::string folder = makeStoreFolder(
        "keyhold-stress", "NewEntryFolder=1\n[AUTOLOCK]\nAutolock=1\nTimeOutLock=5\n",
        "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" "
        "masterkey=\"1A91D62F7CA67399625A4368A6AB5D4A3BAA6073\">\n"
        "<folder name=\"Mail\" id=\"2\"><file name=\"Gmail\" id=\"3\"/><file name=\"Work\" id=\"4\"/></folder>\n"
        "<folder name=\"Bank\" id=\"5\"><file name=\"Card\" id=\"6\"/></folder>\n"
        "<folder name=\"Scratch\" id=\"7\"/>\n</pswd>\n");
    if (folder.empty()) return 2;
    const std::string store = folder + "/database.xml";
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
            // Renamed in place, a folder and an entry, while the panel lists and reads columns.
            renMov(t, t + "r", true);
            renMov(t + "r", t, true);
            renMov("\\Mail\\Gmail", "\\Mail\\Gmail 2", true);
            renMov("\\Mail\\Gmail 2", "\\Mail\\Gmail", true);
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
    int failures = lostFromStore(store, {"Mail", "Gmail", "Work", "Bank", "Card", "Scratch"});
    std::printf("%d s: %d locked listings seen, %d unlocks\n", seconds, g_locksSeen.load(), g_unlocks.load() - 1);
    if (g_locksSeen == 0) {
        std::fprintf(stderr, "the store never locked: the run proves nothing about the lock\n");
        ++failures;
    }
    removeFolder(folder);
    return failures == 0 ? 0 : 1;
}
