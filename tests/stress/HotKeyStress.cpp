// The hot key pressed again and again while the host's panel lists, makes
// and removes folders, moves and renames the matching entry to and fro and
// copies and deletes another one. Run under ThreadSanitizer, any data race fails the
// run. Every press must type the matching entry exactly, and the store on
// disk must still hold every entry that was never deleted.
//
// With --lock the autolock thread also locks the store whenever the others
// pause, so that the dispatch and the host's calls both ask for the master
// password, now and then at the same moment.
//
// With --change the panel also gives the store a new master password now and
// then (the "properties" of the root) and reads the store again ("Reload
// Database" and a listing), while the hot key types the entry, whose fields
// are encrypted: what is typed must be the stored text every time, never one
// decrypted under the other password. A press that finds the store closed
// (between the reload and the listing that opens it) types nothing.
//
// The plug-in runs on the real Linux services, except for auto-type's
// desktop: the Win32 one, over the in-memory hot keys, desktop (whose
// foreground window is the browser) and keyboard.
//
//   keyhold_hotkey_stress [seconds] [--lock] [--change]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "Autolock.h"
#include "StressHost.h"
#include "WfxApi.h"
#include "platform/Desktop_memory.h"
#include "platform/HotKeys_memory.h"
#include "platform/KeyInput_memory.h"
#include "platform/Module_memory.h"
#include "platform/Platform.h"
#include "platform/Win32AutoType.h"
#include "security/SecureString.h"
#include "security/Util.h"

using namespace wfx;
using namespace stress;

namespace {

std::atomic<int> g_passwordsGiven{0};

// The store's master password as the user knows it, and the one they are
// about to give it. The panel's thread marks the calls in which it changes it.
std::mutex g_passwordLock;
std::string g_current = "pw";
std::string g_next = "pw";
thread_local bool t_changing = false;
thread_local int t_asked = 0;

std::string currentPassword() {
    std::lock_guard<std::mutex> guard(g_passwordLock);
    return g_current;
}

// The user: gives the master password whenever asked and agrees to the rest.
// While the password is being changed elsewhere they may not know which one
// the store wants at that moment, so a second question gets the other one.
BOOL WFX_CALL request(int, int type, char*, char*, char* answer, int maxlen) {
    if (type == RT_Password && answer != nullptr && maxlen > 8) {
        std::string given;
        {
            std::lock_guard<std::mutex> guard(g_passwordLock);
            if (t_changing) {
                given = g_next;
            } else {
                const std::string other = g_current == "pw" ? "pw2" : "pw";
                given = t_asked++ % 2 == 0 ? g_current : other;
            }
        }
        std::strcpy(answer, given.c_str());
        ++g_passwordsGiven;
    }
    return 1;
}

// Whether the store file is kept under this master password now.
bool storeKeptUnder(const std::string& storeFile, const std::string& password) {
    TiXmlDocument d;
    if (!d.LoadFile(storeFile.c_str()) || d.RootElement() == nullptr) return false;
    const char* key = d.RootElement()->Attribute("masterkey");
    CSecureString secret;
    secret.setText(password.c_str());
    return key != nullptr && security::applySH1(secret) == key;
}

int execute(std::string path, const char* verb) {
    std::string v = verb;
    return FsExecuteFile(nullptr, &path[0], &v[0]);
}

// The texts the key events typed, one for each Enter: characters as the
// layout types them, Tab as \t.
std::vector<std::string> typedTexts(const platform::MemoryKeyInput& keyInput) {
    std::vector<std::string> texts(1);
    bool shift = false;
    for (const platform::MemoryKeyInput::Call& e : keyInput.keyEvents()) {
        const bool down = (e.flags & platform::kKeyUp) == 0;
        if (e.vk == 0x10) shift = down;
        if (!down || e.vk == 0x10 || e.vk == 0x11 || e.vk == 0x12) continue;
        if (e.vk == 0x0D) {
            texts.emplace_back();
        } else {
            texts.back() += e.vk == 0x09 ? '\t' : keyInput.characterFor(e.vk, shift);
        }
    }
    texts.pop_back();  // after the last Enter
    return texts;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    bool locking = false, changing = false;
    for (int i = 2; i < argc; ++i) {
        locking |= std::strcmp(argv[i], "--lock") == 0;
        changing |= std::strcmp(argv[i], "--change") == 0;
    }
    // Made with the password "pw": its SHA-1 is the masterkey. With --change
    // the matching entry is encrypted when the store is read.
    const std::string folder = makeStoreFolder(
        "keyhold-hotkey-stress",
        std::string("NewEntryFolder=1\nEnableReload=") + (changing ? "1" : "0") +
            "\n[AUTOLOCK]\nAutolock=" + (locking ? "1" : "0") + "\nTimeOutLock=5\n",
        "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" "
        "masterkey=\"1A91D62F7CA67399625A4368A6AB5D4A3BAA6073\">\n"
        "<folder name=\"Web\" id=\"2\"><file name=\"Bank\" id=\"3\"" +
            std::string(changing ? " encrypt=\"true\"" : "") +
            "><username>alice</username>"
            "<password>pw1</password><notes>Auto-Type-Window:*Web Browser</notes></file>"
            "<file name=\"Other\" id=\"4\"><username>o</username><notes>Auto-Type-Window:nothing like it"
            "</notes></file></folder>\n<folder name=\"Elsewhere\" id=\"5\"/>\n</pswd>\n");
    if (folder.empty()) return 2;
    const std::string store = folder + "/database.xml";
    platform::MemoryModule module;
    module.name = folder + "/keyhold.wfx";
    platform::MemoryHotKeys hotKeys;
    platform::MemoryDesktop desktop;
    platform::MemoryKeyInput keyInput;
    void* const browser = reinterpret_cast<void*>(0x900);
    desktop.foreground = browser;
    desktop.titles[browser] = "Bank Login - Web Browser";
    platform::Win32AutoType autoType(hotKeys, keyInput, desktop);
    platform::Services& services = platform::services();
    services.module = &module;
    services.desktop = &desktop;
    services.autoTypeDesktop = &autoType;
    // With --lock: five steps of a millisecond each, so the store locks
    // whenever the others pause.
    setAutolockTickForTesting(std::chrono::milliseconds(1));

    FsInit(1, progress, hostLog, request);
    list("\\");

    std::atomic<bool> done{false};
    std::atomic<int> presses{0};
    int changes = 0, reloads = 0;
    std::thread user([&] {
        std::mt19937 random(3);
        while (!done) {
            if (hotKeys.press(kModControl | kModShift, 'Q')) ++presses;
            pause(random, 8);
        }
    });
    std::thread panel([&] {
        std::mt19937 random(1);
        for (int round = 0; !done; ++round) {
            const std::string t = "\\Web\\T" + std::to_string(round % 3);
            list(round % 2 ? "\\Web" : "\\");
            call(FsMkDir, t);
            renMov("\\Web\\Bank", "\\Elsewhere\\Bank", true);
            renMov("\\Web\\Other", t + "\\Other copy", false);
            pause(random, 10);
            renMov("\\Elsewhere\\Bank", "\\Web\\Bank", true);
            renMov("\\Web\\Bank", "\\Web\\Bank 2", true);  // renamed in place
            renMov("\\Web\\Bank 2", "\\Web\\Bank", true);
            call(FsDeleteFile, t + "\\Other copy");
            call(FsRemoveDir, t);
            if (changing && round % 4 == 1) {
                {
                    std::lock_guard<std::mutex> guard(g_passwordLock);
                    g_next = g_current == "pw" ? "pw2" : "pw";
                }
                t_changing = true;
                execute("\\", "properties");  // refused while the store is locked
                t_changing = false;
                std::lock_guard<std::mutex> guard(g_passwordLock);
                if (storeKeptUnder(store, g_next) && g_next != g_current) {
                    g_current = g_next;
                    ++changes;
                }
            } else if (changing && round % 4 == 3) {
                if (execute("\\Reload Database", "open") == FS_EXEC_OK) ++reloads;
                list("\\");
            }
            pause(random, 10);
        }
    });
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    done = true;
    user.join();
    panel.join();
    FsContentPluginUnloading();
    // The hot-key object asks the desktop once more as the process ends.
    services.autoTypeDesktop = platform::nativeServices().autoTypeDesktop;

    int failures = 0;
    // Every press typed the entry, exactly as stored. Only a press that found
    // the store closed for a moment (--change) may have typed nothing.
    const std::vector<std::string> typed = typedTexts(keyInput);
    int wrong = 0;
    for (const std::string& text : typed) {
        if (text != "alice\tpw1" && wrong++ < 5)
            std::fprintf(stderr, "typed a wrong text (%d characters)\n", static_cast<int>(text.size()));
    }
    if (wrong > 0) {
        std::fprintf(stderr, "%d of %d typed texts differ from the stored entry\n", wrong,
                     static_cast<int>(typed.size()));
        ++failures;
    }
    const int count = static_cast<int>(typed.size());
    if (presses == 0 || count > presses || (!changing && count != presses) || count == 0) {
        std::fprintf(stderr, "%d presses typed the entry %d times\n", presses.load(), count);
        ++failures;
    }
    if (!hotKeys.registrations().empty()) {
        std::fprintf(stderr, "the hot key is still registered after the unload\n");
        ++failures;
    }
    // With --change the entry's title is encrypted in the file; what was
    // typed after the reloads shows it is there.
    failures += changing ? lostFromStore(store, {"Web", "Other", "Elsewhere"})
                         : lostFromStore(store, {"Web", "Bank", "Other", "Elsewhere"});
    std::printf("%d s: %d presses, %d typed, %d master passwords given, %d changes, %d reloads\n", seconds,
                presses.load(), count, g_passwordsGiven.load() - 1, changes, reloads);
    if (locking && g_passwordsGiven < 2) {
        std::fprintf(stderr, "the store never locked: the run proves nothing about pressing while locked\n");
        ++failures;
    }
    if (changing && (changes < 2 || reloads < 2)) {
        std::fprintf(stderr, "too few changes of the master password or reloads: the run proves little\n");
        ++failures;
    }
    removeFolder(folder);
    return failures == 0 ? 0 : 1;
}
