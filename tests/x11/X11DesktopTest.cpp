// The X11 desktop of auto-type against a real X server (Xvfb, with or without
// a window manager: KH_X11_WM says which; run-x11-tests.sh starts them). A
// recorder program (recorder.cpp) stands for the user's window: it writes down
// the characters its key presses give, as an ordinary Xlib program reads them.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Log.h"
#include "platform/AutoTypeDesktop_x11.h"
#include "platform/VirtualKeys_x11.h"

namespace {

using namespace std::chrono_literals;
using platform::AutoTypeDesktop;

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5000ms) {
    const auto bound = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= bound) return condition();
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int run(const std::string& command) { return std::system(command.c_str()); }

// A connection of the test's own, as another program on the display.
class OtherClient {
public:
    OtherClient() {
        c = xcb_connect(nullptr, nullptr);
        root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    }
    ~OtherClient() { xcb_disconnect(c); }

    // Key codes held down now.
    std::vector<int> keysDown() {
        std::vector<int> down;
        xcb_query_keymap_reply_t* r = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
        if (r == nullptr) return {-1};
        for (int kc = 0; kc < 256; ++kc)
            if (r->keys[kc / 8] & (1 << (kc % 8))) down.push_back(kc);
        std::free(r);
        return down;
    }

    // The core keyboard map, all of it.
    std::vector<xcb_keysym_t> keyboardMap() {
        const xcb_setup_t* setup = xcb_get_setup(c);
        xcb_get_keyboard_mapping_reply_t* r = xcb_get_keyboard_mapping_reply(
            c, xcb_get_keyboard_mapping(c, setup->min_keycode, setup->max_keycode - setup->min_keycode + 1),
            nullptr);
        if (r == nullptr) return {};
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r);
        std::vector<xcb_keysym_t> map(syms, syms + xcb_get_keyboard_mapping_keysyms_length(r));
        std::free(r);
        return map;
    }

    // The key code whose first keysym is `sym`.
    int keyCodeOf(xcb_keysym_t sym) {
        const xcb_setup_t* setup = xcb_get_setup(c);
        xcb_get_keyboard_mapping_reply_t* r = xcb_get_keyboard_mapping_reply(
            c, xcb_get_keyboard_mapping(c, setup->min_keycode, setup->max_keycode - setup->min_keycode + 1),
            nullptr);
        if (r == nullptr) return 0;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r);
        int found = 0;
        for (int kc = setup->min_keycode; kc <= setup->max_keycode && found == 0; ++kc)
            if (syms[(kc - setup->min_keycode) * r->keysyms_per_keycode] == sym) found = kc;
        std::free(r);
        return found;
    }

    // The first child of a window.
    xcb_window_t firstChild(xcb_window_t window) {
        xcb_query_tree_reply_t* r = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
        xcb_window_t child = XCB_WINDOW_NONE;
        if (r != nullptr && xcb_query_tree_children_length(r) > 0) child = xcb_query_tree_children(r)[0];
        std::free(r);
        return child;
    }

    // Whether a window manager announces _NET_ACTIVE_WINDOW on the root.
    bool managerAnnouncesActiveWindow() {
        xcb_intern_atom_reply_t* supported =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 14, "_NET_SUPPORTED"), nullptr);
        xcb_intern_atom_reply_t* active =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 18, "_NET_ACTIVE_WINDOW"), nullptr);
        bool found = false;
        if (supported != nullptr && active != nullptr) {
            xcb_get_property_reply_t* r = xcb_get_property_reply(
                c, xcb_get_property(c, 0, root, supported->atom, XCB_ATOM_ATOM, 0, 4096), nullptr);
            if (r != nullptr) {
                const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(r));
                for (int i = 0; i < xcb_get_property_value_length(r) / 4; ++i) found |= atoms[i] == active->atom;
                std::free(r);
            }
        }
        std::free(supported);
        std::free(active);
        return found;
    }

    xcb_connection_t* c;
    xcb_window_t root;
};

const bool kWindowManager = [] {
    const char* wm = std::getenv("KH_X11_WM");
    return wm != nullptr && std::string(wm) == "openbox";
}();

class X11Desktop : public ::testing::Test {
protected:
    static constexpr const char* kTitle = "Bank Login – Wéb Браузер 漢字";

    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
        if (kWindowManager) {
            OtherClient probe;
            ASSERT_TRUE(waitFor([&] { return probe.managerAnnouncesActiveWindow(); }, 10000ms))
                << "the window manager did not come up";
        }
        desktop = platform::makeX11AutoTypeDesktop();
        ASSERT_NE(desktop, nullptr);
        char dir[] = "/tmp/kh-x11-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        folder = dir;
        output = folder + "/typed";
        setLayout("us");
    }

    void TearDown() override {
        if (recorder > 0) {
            kill(recorder, SIGTERM);
            waitpid(recorder, nullptr, 0);
        }
        if (!folder.empty()) run("rm -rf '" + folder + "'");
        if (desktop) {
            setLocks(false, false);
            setLayout("us");
        }
    }

    static void setLayout(const std::string& layout) {
        ASSERT_EQ(run("setxkbmap " + layout), 0) << layout;
    }

    // Caps Lock and Num Lock as wanted, pressed with xdotool as a user would.
    void setLocks(bool caps, bool num) {
        OtherClient other;
        xcb_get_keyboard_control_reply_t* r =
            xcb_get_keyboard_control_reply(other.c, xcb_get_keyboard_control(other.c), nullptr);
        ASSERT_NE(r, nullptr);
        const bool capsOn = (r->led_mask & 1) != 0, numOn = (r->led_mask & 2) != 0;
        std::free(r);
        if (capsOn != caps) {
            ASSERT_EQ(run("xdotool key Caps_Lock"), 0);
        }
        if (numOn != num) {
            ASSERT_EQ(run("xdotool key Num_Lock"), 0);
        }
    }

    // Starts the recorder and brings its window to the front.
    platform::WindowHandle openRecorder(int delayMs = 0) {
        recorder = fork();
        if (recorder == 0) {
            if (delayMs != 0) setenv("KH_RECORDER_DELAY_MS", std::to_string(delayMs).c_str(), 1);
            execl(KH_X11_RECORDER, KH_X11_RECORDER, kTitle, output.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        platform::WindowHandle window = nullptr;
        waitFor([&] { return (window = desktop->findWindow(nullptr, kTitle)) != nullptr; });
        if (window != nullptr) {
            EXPECT_TRUE(waitFor([&] { return desktop->bringToFront(window); }));
        }
        return window;
    }

    void clearOutput() { std::ofstream(output, std::ios::trunc); }

    // Types the text a code point at a time; what the recorder got once it
    // has as much as was typed (or after a while).
    std::string typeAndRead(const std::string& text, const std::string& expected) {
        clearOutput();
        for (std::size_t at = 0; at < text.size();) {
            std::size_t length = 0;
            EXPECT_TRUE(desktop->typeCharacter(text, at, length, nullptr)) << "at byte " << at << " of " << text;
            at += length != 0 ? length : 1;
        }
        waitFor([&] { return readFile(output).size() >= expected.size(); });
        std::this_thread::sleep_for(50ms);  // nothing more than that arrives
        return readFile(output);
    }

    std::unique_ptr<AutoTypeDesktop> desktop;
    pid_t recorder = 0;
    std::string folder, output;
};

// ---- The key table (no display needed) ----------------------------------

TEST(VirtualKeysX11, CodesOfTheSequenceLanguageNameTheSameKeys) {
    struct Case {
        unsigned vk;
        std::uint32_t sym;
    } cases[] = {
        {'A', XKB_KEY_a},          {'Z', XKB_KEY_z},          {'0', XKB_KEY_0},        {'9', XKB_KEY_9},
        {0x70, XKB_KEY_F1},        {0x87, XKB_KEY_F24},       {0x60, XKB_KEY_KP_0},    {0x69, XKB_KEY_KP_9},
        {0x6A, XKB_KEY_KP_Multiply}, {0x6F, XKB_KEY_KP_Divide}, {0x6E, XKB_KEY_KP_Decimal},
        {0x08, XKB_KEY_BackSpace}, {0x09, XKB_KEY_Tab},       {0x0D, XKB_KEY_Return},  {0x1B, XKB_KEY_Escape},
        {0x20, XKB_KEY_space},     {0x21, XKB_KEY_Prior},     {0x22, XKB_KEY_Next},    {0x23, XKB_KEY_End},
        {0x24, XKB_KEY_Home},      {0x25, XKB_KEY_Left},      {0x26, XKB_KEY_Up},      {0x27, XKB_KEY_Right},
        {0x28, XKB_KEY_Down},      {0x2D, XKB_KEY_Insert},    {0x2E, XKB_KEY_Delete},  {0x10, XKB_KEY_Shift_L},
        {0x11, XKB_KEY_Control_L}, {0x12, XKB_KEY_Alt_L},     {0x14, XKB_KEY_Caps_Lock}, {0x5B, XKB_KEY_Super_L},
        {0x5D, XKB_KEY_Menu},      {0x90, XKB_KEY_Num_Lock},  {0x91, XKB_KEY_Scroll_Lock},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint32_t> syms = platform::keysymsForVirtualKey(c.vk);
        ASSERT_FALSE(syms.empty()) << std::hex << c.vk;
        EXPECT_EQ(syms[0], c.sym) << std::hex << c.vk;
    }
    for (unsigned vk : {0x00u, 0x07u, 0x3Au, 0x40u, 0x5Eu, 0x88u, 0xFFu})
        EXPECT_TRUE(platform::keysymsForVirtualKey(vk).empty()) << std::hex << vk;
}

// ---- Typing ---------------------------------------------------------------

struct Typed {
    std::string layout;
    std::string text;
};

TEST_F(X11Desktop, TypesEveryCharacterExactlyWhateverTheLayoutHasForIt) {
    const Typed table[] = {
        {"us", "abcxyzABCXYZ0123456789"},
        {"us", "( ) ~ ^ + % { } @ ! \" ' ` | \\ < > ? / ; : [ ] = - _ & * # $ , ."},
        {"us", "éüßÄ"},                      // Latin-1, not on the us map
        {"us", "€ Привет 漢字 ✓"},           // nothing of it on the us map
        {"de", "yzYZ@€{}[]\\|~µ²"},          // AltGr levels; y and z swapped
        {"de", "äöüÄÖÜß"},
        {"de", "( ) ~ ^ + % { } @ ! \" '"},  // ^ is a dead key on de: typed as the character
        {"ru", "Привет, мир! abc"},          // the current group is Cyrillic; Latin letters borrowed
    };
    OtherClient other;
    ASSERT_NE(openRecorder(), nullptr);
    for (const Typed& t : table) {
        setLayout(t.layout);
        const std::vector<xcb_keysym_t> map = other.keyboardMap();
        const auto before = std::chrono::steady_clock::now();
        EXPECT_EQ(typeAndRead(t.text, t.text), t.text) << "layout " << t.layout;
        std::printf("%s: %zu bytes typed and received in %lld ms\n", t.layout.c_str(), t.text.size(),
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - before)
                                               .count()));
        EXPECT_EQ(other.keysDown(), std::vector<int>()) << "keys left down after " << t.text;
        EXPECT_TRUE(waitFor([&] { return other.keyboardMap() == map; })) << "map not restored after " << t.text;
    }
}

TEST_F(X11Desktop, ASlowProgramStillGetsTheCharactersOfBorrowedKeyCodes) {
    // It handles each event 60 ms late, so it reads the map of the first
    // borrowed key code well after that character was typed.
    ASSERT_NE(openRecorder(60), nullptr);
    OtherClient other;
    const std::vector<xcb_keysym_t> map = other.keyboardMap();
    const std::string text = "€Жé€";
    EXPECT_EQ(typeAndRead(text, text), text);
    EXPECT_TRUE(waitFor([&] { return other.keyboardMap() == map; }));
}

TEST_F(X11Desktop, CapsLockDoesNotChangeTheTypedCaseAndStaysOn) {
    ASSERT_NE(openRecorder(), nullptr);
    OtherClient other;
    for (const char* layout : {"us", "de"}) {
        setLayout(layout);
        setLocks(true, false);
        const std::string text = std::string("Hello World, aBc 1! ") + (layout == std::string("de") ? "äÄ@" : "é€Ж");
        EXPECT_EQ(typeAndRead(text, text), text) << layout;
        // The lock is still on: the A key alone gives a capital.
        clearOutput();
        EXPECT_TRUE(desktop->keyEvent('A', true));
        EXPECT_TRUE(desktop->keyEvent('A', false));
        EXPECT_TRUE(waitFor([&] { return readFile(output) == "A"; })) << readFile(output);
        EXPECT_EQ(other.keysDown(), std::vector<int>());
        setLocks(false, false);
    }
}

TEST_F(X11Desktop, KeyEventsSendTheNamedKeys) {
    ASSERT_NE(openRecorder(), nullptr);
    OtherClient other;
    for (bool numLock : {false, true}) {
        setLocks(false, numLock);
        clearOutput();
        const std::pair<unsigned, bool> events[] = {
            {0x10, true}, {'A', true}, {'A', false}, {0x10, false},  // Shift+A
            {'A', true},  {'A', false}, {'7', true}, {'7', false},
            {0x0D, true}, {0x0D, false}, {0x09, true}, {0x09, false}, {0x74, true}, {0x74, false},
            {0x65, true}, {0x65, false},  // keypad 5, with or without Num Lock
            {0x6B, true}, {0x6B, false}, {0x24, true}, {0x24, false}, {0x2E, true}, {0x2E, false},
            {0x25, true}, {0x25, false}, {0x1B, true}, {0x1B, false}, {0x20, true}, {0x20, false},
        };
        for (const auto& e : events) EXPECT_TRUE(desktop->keyEvent(e.first, e.second)) << std::hex << e.first;
        const std::string expected = "Aa7<Return><Tab><F5>5+<Home><Delete><Left><Escape> ";
        EXPECT_TRUE(waitFor([&] { return readFile(output) == expected; }))
            << "num lock " << numLock << ": " << readFile(output);
        EXPECT_EQ(other.keysDown(), std::vector<int>());
    }
    // A code without a key sends nothing.
    clearOutput();
    EXPECT_FALSE(desktop->keyEvent(0x07, true));
    EXPECT_FALSE(desktop->keyEvent(0x07, false));
    EXPECT_TRUE(desktop->keyEvent(0x20, true));
    EXPECT_TRUE(desktop->keyEvent(0x20, false));
    EXPECT_TRUE(waitFor([&] { return readFile(output) == " "; })) << readFile(output);
}

TEST_F(X11Desktop, BeforeKeyRunsWithTheModifiersDownAndARefusalLeavesNothingBehind) {
    ASSERT_NE(openRecorder(), nullptr);
    OtherClient other;
    const std::vector<xcb_keysym_t> map = other.keyboardMap();
    for (const std::string text : {"A", "€"}) {
        int calls = 0;
        bool shiftDown = false;
        std::size_t length = 0;
        clearOutput();
        EXPECT_FALSE(desktop->typeCharacter(text, 0, length, [&] {
            ++calls;
            shiftDown = desktop->isKeyDown(0x10);
            return false;
        }));
        EXPECT_EQ(length, text.size());
        EXPECT_EQ(calls, 1);
        if (text == "A") {
            EXPECT_TRUE(shiftDown);
        }
        EXPECT_EQ(other.keysDown(), std::vector<int>()) << text;
        EXPECT_TRUE(waitFor([&] { return other.keyboardMap() == map; })) << text;
        // Typed for real afterwards, only it arrives.
        EXPECT_EQ(typeAndRead(text, text), text);
    }
    // Bytes that are no UTF-8 character are not typed.
    std::size_t length = 7;
    EXPECT_FALSE(desktop->typeCharacter("\xC3(", 0, length, nullptr));
    EXPECT_EQ(length, 0u);
    EXPECT_FALSE(desktop->typeCharacter("\xFF", 0, length, nullptr));
    EXPECT_EQ(length, 0u);
}

// ---- Windows --------------------------------------------------------------

TEST_F(X11Desktop, ForegroundWindowAndItsUtf8Title) {
    platform::WindowHandle window = openRecorder();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(desktop->foregroundWindow(), window);
    EXPECT_EQ(desktop->windowTitle(window, 256), kTitle);
    // The focus in a child window of it (a text field): still that window,
    // from the window manager or, without one, climbed to from the focus.
    {
        OtherClient other;
        const auto top = static_cast<xcb_window_t>(reinterpret_cast<std::uintptr_t>(window));
        const xcb_window_t field = other.firstChild(top);
        ASSERT_NE(field, static_cast<xcb_window_t>(XCB_WINDOW_NONE));
        xcb_generic_error_t* error = xcb_request_check(
            other.c, xcb_set_input_focus_checked(other.c, XCB_INPUT_FOCUS_PARENT, field, XCB_CURRENT_TIME));
        EXPECT_EQ(error, nullptr);
        std::free(error);
        xcb_get_input_focus_reply_t* focus = xcb_get_input_focus_reply(other.c, xcb_get_input_focus(other.c), nullptr);
        ASSERT_NE(focus, nullptr);
        EXPECT_EQ(focus->focus, field);
        std::free(focus);
        EXPECT_EQ(desktop->foregroundWindow(), window);
        EXPECT_EQ(typeAndRead("in the field", "in the field"), "in the field");
    }
    // Cut to the bytes given, never inside a character: "–" takes bytes
    // 11 to 13.
    EXPECT_EQ(desktop->windowTitle(window, 14), "Bank Login ");
    EXPECT_EQ(desktop->windowTitle(window, 15), "Bank Login –");
    EXPECT_EQ(desktop->windowTitle(nullptr, 256), "");

    EXPECT_EQ(desktop->findWindow(nullptr, "Wéb Браузер"), window);                   // part of the title
    EXPECT_EQ(desktop->findWindow("KeyholdRecorder", nullptr), window);               // the class
    EXPECT_EQ(desktop->findWindow("KeyholdRecorder", kTitle), window);
    EXPECT_EQ(desktop->findWindow(nullptr, "no such window anywhere"), nullptr);
    EXPECT_EQ(desktop->findWindow(nullptr, nullptr), nullptr);
}

TEST_F(X11Desktop, BringsAWindowBackToTheFront) {
    platform::WindowHandle recorderWindow = openRecorder();
    ASSERT_NE(recorderWindow, nullptr);
    // Another window takes the front (xdotool's own), then the recorder is
    // brought back and receives the keys.
    pid_t second = fork();
    if (second == 0) {
        execl(KH_X11_RECORDER, KH_X11_RECORDER, "Second window", (folder + "/second").c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    platform::WindowHandle other = nullptr;
    ASSERT_TRUE(waitFor([&] { return (other = desktop->findWindow(nullptr, "Second window")) != nullptr; }));
    EXPECT_TRUE(waitFor([&] { return desktop->bringToFront(other); }));
    EXPECT_EQ(desktop->foregroundWindow(), other);
    desktop->activateWindow(recorderWindow);
    EXPECT_EQ(desktop->foregroundWindow(), recorderWindow);
    EXPECT_EQ(typeAndRead("ok", "ok"), "ok");
    EXPECT_EQ(readFile(folder + "/second"), "");
    kill(second, SIGTERM);
    waitpid(second, nullptr, 0);
}

// ---- The hot key ----------------------------------------------------------

TEST_F(X11Desktop, HotKeyRunsOnPressOnceForEachPressWhateverTheLocks) {
    ASSERT_NE(openRecorder(), nullptr);
    OtherClient other;
    std::atomic<int> presses{0};
    std::atomic<bool> typedOk{true};
    ASSERT_EQ(desktop->startHotKey(platform::kHotKeyControl | platform::kHotKeyShift, 'Q',
                                   [&] {
                                       // As the dispatch does: wait for the user's keys to be up, then type.
                                       waitFor([&] {
                                           return !desktop->isKeyDown(0x11) && !desktop->isKeyDown(0x10) &&
                                                  !desktop->isKeyDown('Q');
                                       });
                                       std::size_t length = 0;
                                       if (!desktop->typeCharacter("k", 0, length, nullptr)) typedOk = false;
                                       ++presses;
                                   }),
              0);
    EXPECT_TRUE(desktop->hotKeyStarted());
    // Started already: 0, and the first combination stays.
    EXPECT_EQ(desktop->startHotKey(platform::kHotKeyAlt, 'W', [] {}), 0);

    struct Locks {
        bool caps, num;
    } locks[] = {{false, false}, {false, true}, {true, false}, {true, true}};
    int expected = 0;
    clearOutput();
    for (const Locks& l : locks) {
        setLocks(l.caps, l.num);
        ASSERT_EQ(run("xdotool key ctrl+shift+q"), 0);
        ++expected;
        EXPECT_TRUE(waitFor([&] { return presses == expected; })) << "caps " << l.caps << " num " << l.num;
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(presses, expected);
    }
    // The combination never reached the window; what onPress typed did
    // (Caps Lock was on for two of them, and k still came out small).
    EXPECT_TRUE(waitFor([&] { return readFile(output) == "kkkk"; })) << readFile(output);
    EXPECT_TRUE(typedOk);
    setLocks(false, false);
    // Other combinations are not taken.
    clearOutput();
    ASSERT_EQ(run("xdotool key ctrl+q shift+q q"), 0);
    EXPECT_TRUE(waitFor([&] { return readFile(output) == "qQq"; })) << readFile(output);
    EXPECT_EQ(presses, expected);
    EXPECT_EQ(desktop->stopHotKey(), 0);
    EXPECT_FALSE(desktop->hotKeyStarted());
    EXPECT_EQ(other.keysDown(), std::vector<int>());
    // After the stop the combination is free: it reaches the window.
    clearOutput();
    ASSERT_EQ(run("xdotool key ctrl+shift+a ctrl+shift+q"), 0);
    EXPECT_TRUE(waitFor([&] { return readFile(output) == "AQ"; })) << readFile(output);
    EXPECT_EQ(presses, expected);
}

TEST_F(X11Desktop, HotKeyFollowsItsKeyToAnotherLayout) {
    std::atomic<int> presses{0};
    ASSERT_EQ(desktop->startHotKey(platform::kHotKeyControl | platform::kHotKeyShift, 'Q', [&] { ++presses; }), 0);
    // On the French layout Q lies where A lies on the us one.
    setLayout("fr");
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(run("xdotool key ctrl+shift+q"), 0);
    EXPECT_TRUE(waitFor([&] { return presses == 1; }));
    setLayout("us");
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(run("xdotool key ctrl+shift+q"), 0);
    EXPECT_TRUE(waitFor([&] { return presses == 2; }));
    EXPECT_EQ(desktop->stopHotKey(), 0);
}

TEST_F(X11Desktop, PressesWhileOnPressRunsAreDropped) {
    std::mutex lock;
    std::condition_variable changed;
    bool release = false;
    int presses = 0;
    ASSERT_EQ(desktop->startHotKey(platform::kHotKeyControl | platform::kHotKeyShift, 'Q',
                                   [&] {
                                       std::unique_lock<std::mutex> guard(lock);
                                       ++presses;
                                       changed.notify_all();
                                       changed.wait(guard, [&] { return release; });
                                   }),
              0);
    ASSERT_EQ(run("xdotool key ctrl+shift+q"), 0);
    {
        std::unique_lock<std::mutex> guard(lock);
        ASSERT_TRUE(changed.wait_for(guard, 5s, [&] { return presses == 1; }));
    }
    ASSERT_EQ(run("xdotool key ctrl+shift+q ctrl+shift+q"), 0);  // while the first one runs
    std::this_thread::sleep_for(200ms);
    {
        std::lock_guard<std::mutex> guard(lock);
        release = true;
        changed.notify_all();
    }
    std::this_thread::sleep_for(500ms);
    {
        std::lock_guard<std::mutex> guard(lock);
        EXPECT_EQ(presses, 1);
    }
    ASSERT_EQ(run("xdotool key ctrl+shift+q"), 0);  // afterwards one counts again
    {
        std::unique_lock<std::mutex> guard(lock);
        EXPECT_TRUE(changed.wait_for(guard, 5s, [&] { return presses == 2; }));
    }
    EXPECT_EQ(desktop->stopHotKey(), 0);
}

TEST_F(X11Desktop, ACombinationHeldByAnotherProgramIsRefusedWithCode4) {
    OtherClient holder;
    const int keyJ = holder.keyCodeOf(XKB_KEY_j);
    ASSERT_NE(keyJ, 0);
    // The other program grabs Ctrl+Alt+J with Num Lock locked only: one of
    // the combinations the hot key needs is enough to refuse it.
    xcb_generic_error_t* error = xcb_request_check(
        holder.c, xcb_grab_key_checked(holder.c, 1, holder.root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_2,
                                       static_cast<xcb_keycode_t>(keyJ), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    ASSERT_EQ(error, nullptr);
    int calls = 0;
    EXPECT_EQ(desktop->startHotKey(platform::kHotKeyControl | platform::kHotKeyAlt, 'J', [&] { ++calls; }), 4);
    EXPECT_FALSE(desktop->hotKeyStarted());
    EXPECT_EQ(desktop->stopHotKey(), 0);
    // We are still here, and the grabs of the refused start were all given
    // back: the holder can take the plain combination itself.
    error = xcb_request_check(holder.c, xcb_grab_key_checked(holder.c, 1, holder.root,
                                                             XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1,
                                                             static_cast<xcb_keycode_t>(keyJ), XCB_GRAB_MODE_ASYNC,
                                                             XCB_GRAB_MODE_ASYNC));
    EXPECT_EQ(error, nullptr);
    std::free(error);
    // Once the other program lets go, the start succeeds.
    xcb_ungrab_key(holder.c, XCB_GRAB_ANY, holder.root, XCB_MOD_MASK_ANY);
    std::free(xcb_get_input_focus_reply(holder.c, xcb_get_input_focus(holder.c), nullptr));
    EXPECT_EQ(desktop->startHotKey(platform::kHotKeyControl | platform::kHotKeyAlt, 'J', [&] { ++calls; }), 0);
    ASSERT_EQ(run("xdotool key ctrl+alt+j"), 0);
    EXPECT_TRUE(waitFor([&] { return calls == 1; }));
    EXPECT_EQ(desktop->stopHotKey(), 0);
}

TEST_F(X11Desktop, StopWakesTheThreadAtOnce) {
    OtherClient other;
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(desktop->startHotKey(platform::kHotKeyControl | platform::kHotKeyShift, 'Q', [] {}), 0);
        std::this_thread::sleep_for(300ms);  // the thread is asleep in its wait
        const auto before = std::chrono::steady_clock::now();
        EXPECT_EQ(desktop->stopHotKey(), 0);
        const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - before);
        std::printf("stopHotKey took %lld us\n", static_cast<long long>(took.count()));
        // A wait in slices of a second would show here; a woken poll takes
        // well under a tenth of that.
        EXPECT_LT(took, 500ms);
        EXPECT_FALSE(desktop->hotKeyStarted());
        EXPECT_EQ(other.keysDown(), std::vector<int>());
    }
}

// A dispatch waiting in a dialog that the host shows on the thread which
// stops us (its main thread, leaving) cannot end while the stop waits: the
// stop gives up after its bound and lets the thread go. When the host at last
// gives the thread back, the desktop it ran for is gone: it must stay where
// it is (under AddressSanitizer a thread that went on would read the freed
// desktop), and a new desktop starts afresh.
TEST_F(X11Desktop, StopLetsGoOfADispatchWaitingForTheStoppingThread) {
    auto gate = std::make_shared<std::promise<void>>();
    std::shared_future<void> opened = gate->get_future().share();
    auto inDispatch = std::make_shared<std::promise<void>>();
    ASSERT_EQ(desktop->startHotKey(platform::kHotKeyControl | platform::kHotKeyShift, 'Q',
                                   [opened, inDispatch] {
                                       inDispatch->set_value();
                                       opened.wait();  // the host's dialog
                                   }),
              0);
    ASSERT_EQ(run("xdotool key ctrl+shift+q"), 0);
    ASSERT_EQ(inDispatch->get_future().wait_for(5s), std::future_status::ready);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(desktop->stopHotKey(), 0);
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_GE(took, 1s);  // it did wait for the dispatch first
    EXPECT_LT(took, 10s);
    EXPECT_FALSE(desktop->hotKeyStarted());
    desktop.reset();
    gate->set_value();  // the host gives the thread back
    std::this_thread::sleep_for(500ms);
    desktop = platform::makeX11AutoTypeDesktop();
    ASSERT_NE(desktop, nullptr);
    std::atomic<int> presses{0};
    ASSERT_EQ(desktop->startHotKey(platform::kHotKeyControl | platform::kHotKeyShift, 'Q', [&] { ++presses; }), 0);
    ASSERT_EQ(run("xdotool key ctrl+shift+q"), 0);
    EXPECT_TRUE(waitFor([&] { return presses == 1; }));
    EXPECT_EQ(desktop->stopHotKey(), 0);
}

// ---- Without a display ----------------------------------------------------

class Capture : public CLogSink {
public:
    void log(int, const char*, int, const std::string& message) override { lines.push_back(message); }
    int count(const std::string& part) const {
        int n = 0;
        for (const std::string& line : lines) n += line.find(part) != std::string::npos;
        return n;
    }
    std::vector<std::string> lines;
};

TEST(X11DesktopWithout, NoDisplayGivesNoDesktopAndSaysSoOnce) {
    Capture capture;
    CLogSink* previous = keyholdlog::setLogger(&capture);
    const char* saved = std::getenv("DISPLAY");
    const std::string display = saved != nullptr ? saved : "";
    setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    unsetenv("DISPLAY");
    EXPECT_EQ(platform::makeX11AutoTypeDesktop(), nullptr);
    setenv("DISPLAY", ":4095", 1);  // no server there
    EXPECT_EQ(platform::makeX11AutoTypeDesktop(), nullptr);
    unsetenv("WAYLAND_DISPLAY");
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1); else unsetenv("DISPLAY");
    keyholdlog::setLogger(previous);
    EXPECT_EQ(capture.count("no X display: no hot key"), 1);
    EXPECT_EQ(capture.count("XWayland"), 1);
}

}  // namespace
