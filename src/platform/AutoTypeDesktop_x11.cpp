// Auto-type's desktop on X11, through XCB: every request whose failure
// matters is a checked one, so an X error comes back to the caller as a value
// and never reaches an error handler of the process (Xlib's default one would
// end the host). Two connections: one for the windows, the keyboard map and
// the typed keys (guarded by one lock, used from any thread), and one of the
// hot-key thread's own, which holds the grab and waits on its descriptor.
//
// The keyboard map and the current group come from xkbcommon-x11; keys are
// typed with XTest. A character is typed on the key and level of the current
// group that gives it, with Shift and/or the level-three (AltGr) or
// level-five modifier pressed as that level needs and Caps Lock's lock taken
// into account; a character without a key is put for a moment on a key code
// the map leaves empty, typed there, and the map put back.
#include "platform/AutoTypeDesktop_x11.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <xcb/xcb.h>
// xcb/xkb.h names a field "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "Log.h"
#include "platform/Platform.h"
#include "platform/Threads.h"
#include "platform/VirtualKeys_x11.h"

namespace platform {
namespace {

// Key codes borrowed for characters the map lacks stay mapped until this long
// after the last character typed on one: the receiving program reads the new
// map only when it handles the key, and must not find the old one again by
// then. Each character gets a key code of its own meanwhile (at most
// kMaxBorrowedKeys; then the one used longest ago is taken again, once it has
// been left alone for kBorrowedKeySettle).
constexpr auto kBorrowedKeyHold = std::chrono::milliseconds(500);
constexpr auto kBorrowedKeySettle = std::chrono::milliseconds(200);
constexpr std::size_t kMaxBorrowedKeys = 16;
// How long bringToFront waits for the window manager to report the window
// active.
constexpr auto kActivationWait = std::chrono::milliseconds(800);

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// Real modifier bits of the core protocol.
constexpr std::uint16_t kShiftMask = XCB_MOD_MASK_SHIFT;
constexpr std::uint16_t kLockMask = XCB_MOD_MASK_LOCK;
constexpr std::uint16_t kControlMask = XCB_MOD_MASK_CONTROL;

xcb_window_t toXid(WindowHandle window) {
    return static_cast<xcb_window_t>(reinterpret_cast<std::uintptr_t>(window));
}
WindowHandle toHandle(xcb_window_t window) {
    return reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(window));
}

// Returns true when a checked request succeeded.
bool succeeded(xcb_connection_t* c, xcb_void_cookie_t cookie, int* errorCode = nullptr) {
    xcb_generic_error_t* error = xcb_request_check(c, cookie);
    if (error == nullptr) return true;
    if (errorCode != nullptr) *errorCode = error->error_code;
    std::free(error);
    return false;
}

// Decodes one UTF-8 code point at `at`; 0 bytes when there is none there.
std::size_t decodeUtf8(const std::string& text, std::size_t at, char32_t& cp) {
    if (at >= text.size()) return 0;
    const auto b0 = static_cast<unsigned char>(text[at]);
    std::size_t n;
    char32_t min;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        n = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        n = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        n = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (at + n > text.size()) return 0;
    for (std::size_t i = 1; i < n; ++i) {
        const auto b = static_cast<unsigned char>(text[at + i]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

// Cuts a UTF-8 text to at most `bytes` bytes without splitting a character.
std::string cutUtf8(std::string text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

std::string latin1ToUtf8(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

struct Atoms {
    xcb_atom_t netActiveWindow = XCB_ATOM_NONE;
    xcb_atom_t netWmName = XCB_ATOM_NONE;
    xcb_atom_t utf8String = XCB_ATOM_NONE;
    xcb_atom_t netClientList = XCB_ATOM_NONE;
    xcb_atom_t wmState = XCB_ATOM_NONE;
    xcb_atom_t netSupported = XCB_ATOM_NONE;
};

Atoms internAtoms(xcb_connection_t* c) {
    const char* names[] = {"_NET_ACTIVE_WINDOW", "_NET_WM_NAME", "UTF8_STRING",
                           "_NET_CLIENT_LIST", "WM_STATE", "_NET_SUPPORTED"};
    xcb_intern_atom_cookie_t cookies[6];
    for (int i = 0; i < 6; ++i)
        cookies[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
    xcb_atom_t atoms[6];
    for (int i = 0; i < 6; ++i) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookies[i], nullptr));
        atoms[i] = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    }
    Atoms a;
    a.netActiveWindow = atoms[0];
    a.netWmName = atoms[1];
    a.utf8String = atoms[2];
    a.netClientList = atoms[3];
    a.wmState = atoms[4];
    a.netSupported = atoms[5];
    return a;
}

// The keyboard map and state as xkbcommon sees them, on one connection.
class Keyboard {
public:
    ~Keyboard() {
        if (m_keymap != nullptr) xkb_keymap_unref(m_keymap);
        if (m_context != nullptr) xkb_context_unref(m_context);
    }

    bool setUp(xcb_connection_t* c) {
        m_connection = c;
        std::uint8_t baseEvent = 0;
        if (!xkb_x11_setup_xkb_extension(c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                         XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &baseEvent,
                                         nullptr))
            return false;
        m_baseEvent = baseEvent;
        m_device = xkb_x11_get_core_keyboard_device_id(c);
        if (m_device < 0) return false;
        m_context = xkb_context_new(static_cast<xkb_context_flags>(XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
        if (m_context == nullptr) return false;
        // Map changes (another layout, a key code borrowed and given back)
        // make the cached map stale.
        const std::uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
        const std::uint16_t mapParts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS |
                                       XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_KEY_ACTIONS;
        succeeded(c, xcb_xkb_select_events_checked(c, static_cast<xcb_xkb_device_spec_t>(m_device), events, 0,
                                                   events, mapParts, mapParts, nullptr));
        return reload();
    }

    // Reads the events that came in and reloads the map when it changed.
    // False when there is no map.
    bool fresh() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const std::uint8_t type = event->response_type & 0x7F;
            if (type == m_baseEvent || type == XCB_MAPPING_NOTIFY) m_stale = true;
            std::free(event);
        }
        if (m_stale || m_keymap == nullptr) reload();
        return m_keymap != nullptr;
    }

    xkb_keymap* keymap() const { return m_keymap; }
    std::int32_t device() const { return m_device; }

    // The server's keyboard state now.
    bool state(xcb_xkb_get_state_reply_t& out) {
        Reply<xcb_xkb_get_state_reply_t> reply(xcb_xkb_get_state_reply(
            m_connection, xcb_xkb_get_state(m_connection, static_cast<xcb_xkb_device_spec_t>(m_device)),
            nullptr));
        if (!reply) return false;
        out = *reply;
        return true;
    }

    // A scratch xkbcommon state with these pressed and locked modifiers and
    // the server's group.
    xkb_state* simulate(const xcb_xkb_get_state_reply_t& server, xkb_mod_mask_t pressed,
                        xkb_mod_mask_t locked) const {
        xkb_state* s = xkb_state_new(m_keymap);
        if (s == nullptr) return nullptr;
        xkb_state_update_mask(s, pressed, 0, locked, static_cast<xkb_layout_index_t>(server.baseGroup),
                              static_cast<xkb_layout_index_t>(server.latchedGroup), server.lockedGroup);
        return s;
    }

    // The modifiers a key sets while it is held (Shift_L: Shift).
    xkb_mod_mask_t modsOfKey(const xcb_xkb_get_state_reply_t& server, xkb_keycode_t key) const {
        xkb_state* s = simulate(server, 0, 0);
        if (s == nullptr) return 0;
        xkb_state_update_key(s, key, XKB_KEY_DOWN);
        const xkb_mod_mask_t mods = xkb_state_serialize_mods(s, XKB_STATE_MODS_DEPRESSED);
        xkb_state_unref(s);
        return mods;
    }

    // Keys whose first level gives the keysym in the group the key is in
    // now; keys of the current group come first, then other groups.
    std::vector<xkb_keycode_t> keysOnFirstLevel(const xcb_xkb_get_state_reply_t& server,
                                                xkb_keysym_t sym) const {
        std::vector<xkb_keycode_t> current, other;
        xkb_state* s = simulate(server, 0, 0);
        if (s == nullptr) return current;
        const xkb_keycode_t lo = xkb_keymap_min_keycode(m_keymap), hi = xkb_keymap_max_keycode(m_keymap);
        for (xkb_keycode_t kc = lo; kc <= hi && kc < 256; ++kc) {
            const xkb_layout_index_t now = xkb_state_key_get_layout(s, kc);
            const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(m_keymap, kc);
            for (xkb_layout_index_t layout = 0; layout < layouts; ++layout) {
                const xkb_keysym_t* syms = nullptr;
                const int n = xkb_keymap_key_get_syms_by_level(m_keymap, kc, layout, 0, &syms);
                if (n == 1 && syms[0] == sym) {
                    (layout == now ? current : other).push_back(kc);
                    break;
                }
            }
        }
        xkb_state_unref(s);
        current.insert(current.end(), other.begin(), other.end());
        return current;
    }

private:
    bool reload() {
        m_stale = false;
        xkb_keymap* map = xkb_x11_keymap_new_from_device(m_context, m_connection, m_device,
                                                         XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (map == nullptr) return m_keymap != nullptr;
        if (m_keymap != nullptr) xkb_keymap_unref(m_keymap);
        m_keymap = map;
        return true;
    }

    xcb_connection_t* m_connection = nullptr;
    xkb_context* m_context = nullptr;
    xkb_keymap* m_keymap = nullptr;
    std::int32_t m_device = -1;
    std::uint8_t m_baseEvent = 0;
    bool m_stale = false;
};

// Where a keysym is typed: the key, the modifiers to press with it, and the
// locked modifiers it needs (Caps Lock off, Num Lock on) when they differ
// from the locks as they are: set for that moment, then put back.
struct KeyChoice {
    xkb_keycode_t key = 0;
    xkb_mod_mask_t press = 0;
    bool changeLocks = false;
    xkb_mod_mask_t locks = 0;
};

class X11AutoTypeDesktop : public AutoTypeDesktop {
public:
    X11AutoTypeDesktop(xcb_connection_t* c, int screenNumber) : m_c(c) {
        const xcb_setup_t* setup = xcb_get_setup(c);
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
        for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
        m_root = it.data->root;
        m_atoms = internAtoms(c);
        m_keyboardReady = m_keyboard.setUp(c);
        if (!m_keyboardReady) KH_LOG(eWarning, "Auto-type: the X server has no usable XKB keyboard map");
        const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(c, &xcb_test_id);
        m_xtest = xtest != nullptr && xtest->present;
        if (!m_xtest) KH_LOG(eWarning, "Auto-type: the X server has no XTest extension: nothing can be typed");
    }

    ~X11AutoTypeDesktop() override {
        m_destroying = true;
        stopHotKey();
        {
            std::lock_guard<std::recursive_mutex> guard(m_lock);
            m_restorerStop = true;
            m_restorerWake.notify_all();
        }
        if (m_restorer.joinable()) m_restorer.join();
        restoreBorrowedKeys();
        xcb_disconnect(m_c);
    }

    // ---- The hot key --------------------------------------------------
    bool hotKeyAvailable() override { return true; }

    int startHotKey(unsigned modifiers, unsigned key, std::function<void()> onPress) override {
        std::lock_guard<std::mutex> control(m_control);
        if (m_thread.joinable()) return 0;

        const Grab grab = grabFor(modifiers, key);
        if (grab.keys.empty()) {
            KH_LOG(eWarning, "Hot key: no key on this keyboard for virtual-key code 0x%02X", key);
            return 4;
        }

        int screenNumber = 0;
        xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(c)) {
            xcb_disconnect(c);
            return 5;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
        const xcb_window_t root = it.data->root;

        if (!takeGrab(c, root, grab)) {
            xcb_disconnect(c);  // gives back whatever was grabbed
            return 4;
        }

        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
            xcb_disconnect(c);
            return 5;
        }
        m_hotKeyConnection = c;
        m_wakeRead = pipeFds[0];
        m_wakeWrite = pipeFds[1];
        m_exitCode = 0;
        try {
            {
                std::lock_guard<std::mutex> guard(m_endLock);
                m_loopEnded = false;
            }
            // The dispatch's own state outlives this object: a thread let go
            // in the middle of a dispatch looks at it, and only at it, when
            // the dispatch comes back.
            auto dispatch = std::make_shared<DispatchState>();
            m_dispatch = dispatch;
            std::function<void()> press = [dispatch, onPress = std::move(onPress)] {
                {
                    std::lock_guard<std::mutex> guard(dispatch->lock);
                    dispatch->running = true;
                }
                try {
                    onPress();
                } catch (...) {
                    KH_LOG(eError, "Hot key: the dispatch ended with an exception");
                }
                {
                    std::lock_guard<std::mutex> guard(dispatch->lock);
                    dispatch->running = false;
                }
                // A stop that let it go did so under the dispatch's lock: its
                // desktop and connection may be gone, and it stays here.
                parkIfLetGo();
            };
            m_thread = std::thread([this, c, root, grab, modifiers, key, press = std::move(press)] {
                const int code = hotKeyLoop(c, root, grab, modifiers, key, press);
                std::lock_guard<std::mutex> guard(m_endLock);
                m_exitCode = code;
                m_loopEnded = true;
                m_endSignal.notify_all();
            });
        } catch (const std::system_error&) {
            closeHotKeyResources();
            return 5;
        }
        return 0;
    }

    int stopHotKey() override {
        std::lock_guard<std::mutex> control(m_control);
        if (!m_thread.joinable()) return 0;
        if (threads().processEnding()) {
            letGoOf(m_thread);
            return 0;
        }
        const char wake = 1;
        ssize_t written;
        do {
            written = write(m_wakeWrite, &wake, 1);
        } while (written < 0 && errno == EINTR);
        if (std::this_thread::get_id() == m_thread.get_id()) {
            // Asked from its own onPress: it ends when that returns, and a
            // later stop joins it. The process may be ending on this very
            // thread (a host that exits from inside a dialog it shows for
            // us): then nothing is left to join it.
            if (m_destroying) m_thread.detach();
            return 0;
        }
        // The thread ends as soon as its onPress returns. An onPress that
        // waits for a dialog which the host shows on the thread calling us
        // (its main thread, leaving or unloading us) never returns while we
        // wait here: past the bound the thread is let go, and this library
        // stays loaded under it.
        std::unique_lock<std::mutex> ended(m_endLock);
        if (!m_endSignal.wait_for(ended, kStopWait, [this] { return m_loopEnded; })) {
            ended.unlock();
            std::unique_lock<std::mutex> dispatch(m_dispatch->lock);
            if (m_dispatch->running) {
                // It stays in its dispatch until it comes back and parks;
                // it touches neither its connection nor its pipe again, so
                // both go now, and the combination with them.
                KH_LOG(eWarning, "Hot key: its thread is still busy (a dialog is open): it is let go");
                keepLibraryLoaded();
                letGoWhileRunning(m_thread);
                dispatch.unlock();
                closeHotKeyResources();
                return 0;
            }
        } else {
            ended.unlock();
        }
        m_thread.join();
        closeHotKeyResources();
        return m_exitCode;
    }

    bool hotKeyStarted() override {
        std::lock_guard<std::mutex> control(m_control);
        return m_thread.joinable();
    }

    bool isKeyDown(unsigned key) override {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        xcb_xkb_get_state_reply_t server{};
        if (!m_keyboardReady || !m_keyboard.fresh() || !m_keyboard.state(server)) return false;
        Reply<xcb_query_keymap_reply_t> down(xcb_query_keymap_reply(m_c, xcb_query_keymap(m_c), nullptr));
        if (!down) return false;
        for (std::uint32_t sym : keysymsForVirtualKey(key))
            for (xkb_keycode_t kc : m_keyboard.keysOnFirstLevel(server, sym))
                if (kc < 256 && (down->keys[kc / 8] & (1u << (kc % 8))) != 0) return true;
        return false;
    }

    // ---- Windows of other programs ------------------------------------
    WindowHandle foregroundWindow() override {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        return toHandle(activeWindow());
    }

    std::string windowTitle(WindowHandle window, std::size_t maxBytes) override {
        if (window == nullptr || maxBytes == 0) return std::string();
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        return cutUtf8(titleOf(toXid(window)), maxBytes - 1);
    }

    bool bringToFront(WindowHandle window) override {
        if (window == nullptr) return false;
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        return activate(toXid(window));
    }

    WindowHandle findWindow(const char* windowClass, const char* title) override {
        const std::string cls = windowClass != nullptr ? windowClass : "";
        const std::string ttl = title != nullptr ? title : "";
        if (cls.empty() && ttl.empty()) return nullptr;
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        const std::vector<xcb_window_t> windows = topLevelWindows();
        auto classMatches = [&](xcb_window_t w, bool exact) {
            if (cls.empty()) return true;
            for (const std::string& name : classOf(w))
                if (exact ? name == cls : name.find(cls) != std::string::npos) return true;
            return false;
        };
        for (xcb_window_t w : windows)
            if ((ttl.empty() || titleOf(w) == ttl) && classMatches(w, true)) return toHandle(w);
        for (xcb_window_t w : windows) {
            if (!ttl.empty() && titleOf(w).find(ttl) != std::string::npos) return toHandle(w);
            if (!cls.empty() && classMatches(w, false)) return toHandle(w);
        }
        return nullptr;
    }

    void activateWindow(WindowHandle window) override {
        if (window == nullptr) return;
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        const xcb_window_t w = toXid(window);
        // An iconic window comes back when it is mapped again (without a
        // window manager the map shows it); the activation raises it.
        succeeded(m_c, xcb_map_window_checked(m_c, w));
        activate(w);
    }

    // ---- Keys ----------------------------------------------------------
    bool keyEvent(unsigned key, bool down) override {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        const std::vector<std::uint32_t> syms = keysymsForVirtualKey(key);
        if (syms.empty()) {
            KH_LOG(eWarning, "Auto-type: no X11 key for virtual-key code 0x%02X; nothing sent", key);
            return false;
        }
        xcb_xkb_get_state_reply_t server{};
        if (!canType() || !m_keyboard.state(server)) return false;
        if (!down) {
            auto pressed = m_pressedKeys.find(key);
            xkb_keycode_t kc = 0;
            if (pressed != m_pressedKeys.end()) {
                kc = pressed->second;
                m_pressedKeys.erase(pressed);
            } else {
                const std::vector<xkb_keycode_t> keys = m_keyboard.keysOnFirstLevel(server, syms[0]);
                if (keys.empty()) return false;
                kc = keys[0];
            }
            return fake(XCB_KEY_RELEASE, kc);
        }
        // The key that carries the keysym on its first level goes down
        // alone; a keysym only on a higher level (a keypad digit without
        // Num Lock) has its modifiers held just while the key goes down.
        for (std::uint32_t sym : syms) {
            const std::vector<xkb_keycode_t> keys = m_keyboard.keysOnFirstLevel(server, sym);
            if (keys.empty()) continue;
            m_pressedKeys[key] = keys[0];
            return fake(XCB_KEY_PRESS, keys[0]);
        }
        KeyChoice choice;
        if (!choose(server, syms[0], choice)) {
            KH_LOG(eWarning, "Auto-type: the keyboard map has no key for virtual-key code 0x%02X; nothing sent", key);
            return false;
        }
        std::vector<xkb_keycode_t> held;
        bool ok = pressModifiers(server, choice.press, held);
        const xkb_mod_mask_t changed = (choice.locks ^ server.lockedMods) & 0xFF;
        if (ok && choice.changeLocks) setLocks(changed, choice.locks);
        if (ok) ok = fake(XCB_KEY_PRESS, choice.key);
        if (ok) m_pressedKeys[key] = choice.key;
        releaseAll(held);
        if (choice.changeLocks) setLocks(changed, server.lockedMods);
        return ok;
    }

    bool typeCharacter(const std::string& text, std::size_t at, std::size_t& length,
                       const std::function<bool()>& beforeKey) override {
        char32_t cp = 0;
        length = decodeUtf8(text, at, cp);
        if (length == 0) return false;
        xkb_keysym_t sym;
        if (cp == U'\n' || cp == U'\r')
            sym = XKB_KEY_Return;
        else
            sym = xkb_utf32_to_keysym(static_cast<std::uint32_t>(cp));
        if (sym == XKB_KEY_NoSymbol) return false;

        std::lock_guard<std::recursive_mutex> guard(m_lock);
        xcb_xkb_get_state_reply_t server{};
        if (!canType() || !m_keyboard.state(server)) return false;
        KeyChoice choice;
        if (choose(server, sym, choice)) return typeOn(server, choice, beforeKey);
        return typeOnBorrowedKey(server, sym, beforeKey);
    }

    void beep(unsigned, unsigned) override {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        xcb_bell(m_c, 0);
        xcb_flush(m_c);
    }

    void sleep(unsigned milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    std::uint64_t tickMilliseconds() override {
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }

    // The plug-in has no X windows of its own to pump for.
    void pumpMessages() override {}

private:
    // ---- Hot-key thread -----------------------------------------------
    // The key codes of the combination, and its modifier masks with and
    // without Num Lock and Caps Lock locked, from the map as it is now.
    struct Grab {
        std::vector<xkb_keycode_t> keys;
        std::vector<std::uint16_t> variants;
        bool operator==(const Grab& o) const { return keys == o.keys && variants == o.variants; }
    };

    Grab grabFor(unsigned modifiers, unsigned key) {
        Grab grab;
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        xcb_xkb_get_state_reply_t server{};
        if (!m_keyboardReady || !m_keyboard.fresh() || !m_keyboard.state(server)) return grab;
        const std::vector<std::uint32_t> syms = keysymsForVirtualKey(key);
        if (!syms.empty()) grab.keys = m_keyboard.keysOnFirstLevel(server, syms[0]);
        std::uint16_t mods = 0;
        if (modifiers & kHotKeyShift) mods |= kShiftMask;
        if (modifiers & kHotKeyControl) mods |= kControlMask;
        if (modifiers & kHotKeyAlt)
            mods |= modifierOf(server, {XKB_KEY_Alt_L, XKB_KEY_Alt_R, XKB_KEY_Meta_L}, XCB_MOD_MASK_1);
        const std::uint16_t numLock = lockOf(server, XKB_KEY_Num_Lock, XCB_MOD_MASK_2);
        grab.variants = {mods, static_cast<std::uint16_t>(mods | kLockMask)};
        if (numLock != 0 && numLock != kLockMask) {
            grab.variants.push_back(static_cast<std::uint16_t>(mods | numLock));
            grab.variants.push_back(static_cast<std::uint16_t>(mods | numLock | kLockMask));
        }
        return grab;
    }

    // Grabs every key code with every mask; false when the server refused
    // one (what was taken stays taken: the caller lets it go).
    static bool takeGrab(xcb_connection_t* c, xcb_window_t root, const Grab& grab) {
        std::vector<xcb_void_cookie_t> cookies;
        for (xkb_keycode_t kc : grab.keys)
            for (std::uint16_t m : grab.variants)
                cookies.push_back(xcb_grab_key_checked(c, 1, root, m, static_cast<xcb_keycode_t>(kc),
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        bool refused = false;
        int errorCode = 0;
        for (xcb_void_cookie_t cookie : cookies)
            if (!succeeded(c, cookie, &errorCode)) refused = true;
        if (refused)
            KH_LOG(eWarning, "Hot key: the X server refused the grab (error %d); another program holds the combination",
                   errorCode);
        return !refused;
    }

    static void dropGrab(xcb_connection_t* c, xcb_window_t root, const Grab& grab) {
        for (xkb_keycode_t kc : grab.keys)
            for (std::uint16_t m : grab.variants) xcb_ungrab_key(c, static_cast<xcb_keycode_t>(kc), root, m);
    }

    int hotKeyLoop(xcb_connection_t* c, xcb_window_t root, Grab grab, unsigned modifiers, unsigned key,
                   const std::function<void()>& onPress) {
        int code = 0;
        pollfd fds[2];
        fds[0].fd = xcb_get_file_descriptor(c);
        fds[0].events = POLLIN;
        fds[1].fd = m_wakeRead;
        fds[1].events = POLLIN;
        auto isOurPress = [&](const xcb_generic_event_t* event) {
            if ((event->response_type & 0x7F) != XCB_KEY_PRESS) return false;
            const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
            return std::find(grab.keys.begin(), grab.keys.end(), press->detail) != grab.keys.end();
        };
        bool mapChanged = false;
        for (;;) {
            bool pressed = false;
            while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
                if (isOurPress(event)) pressed = true;
                if ((event->response_type & 0x7F) == XCB_MAPPING_NOTIFY &&
                    reinterpret_cast<xcb_mapping_notify_event_t*>(event)->request != XCB_MAPPING_POINTER)
                    mapChanged = true;
                std::free(event);
            }
            if (mapChanged) {
                // Another layout may put the key elsewhere: the grab follows
                // it, as the combination names a key by what it gives.
                const Grab now = grabFor(modifiers, key);
                mapChanged = false;
                if (!now.keys.empty() && !(now == grab)) {
                    dropGrab(c, root, grab);
                    if (!takeGrab(c, root, now)) KH_LOG(eWarning, "Hot key: lost with the new keyboard map");
                    grab = now;
                }
                continue;  // the checks read events into the queue
            }
            if (pressed) {
                onPress();
                // Presses that came while it ran are dropped: everything the
                // server has sent up to now is read and thrown away.
                Reply<xcb_get_input_focus_reply_t> sync(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
                while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
                    if ((event->response_type & 0x7F) == XCB_MAPPING_NOTIFY) mapChanged = true;
                    std::free(event);
                }
                // Replies read events into the connection's queue, where
                // poll() does not see them: the wait only follows a drain.
                continue;
            }
            if (xcb_connection_has_error(c)) {
                KH_LOG(eError, "Hot key: the connection to the X server broke");
                code = 1;
                break;
            }
            fds[0].revents = fds[1].revents = 0;
            const int ready = poll(fds, 2, -1);
            if (ready < 0 && errno != EINTR) {
                code = 1;
                break;
            }
            if (fds[1].revents != 0) break;  // stop
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
                KH_LOG(eError, "Hot key: the connection to the X server broke");
                code = 1;
                break;
            }
        }
        if (!xcb_connection_has_error(c)) {
            dropGrab(c, root, grab);
            Reply<xcb_get_input_focus_reply_t> sync(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        }
        return code;
    }

    // A thread let go runs on in this library's code: the library is not
    // unloaded under it (a second reference that is never given back).
    static void keepLibraryLoaded() {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&keepLibraryLoaded), &info) == 0 || info.dli_fname == nullptr) return;
        if (dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) == nullptr)
            KH_LOG(eWarning, "Hot key: the library could not be kept loaded");
    }

    void closeHotKeyResources() {
        if (m_hotKeyConnection != nullptr) xcb_disconnect(m_hotKeyConnection);
        m_hotKeyConnection = nullptr;
        if (m_wakeRead >= 0) close(m_wakeRead);
        if (m_wakeWrite >= 0) close(m_wakeWrite);
        m_wakeRead = m_wakeWrite = -1;
    }

    // The modifier bit a key with one of these keysyms sets, else `fallback`.
    std::uint16_t modifierOf(const xcb_xkb_get_state_reply_t& server, std::initializer_list<std::uint32_t> syms,
                             std::uint16_t fallback) {
        for (std::uint32_t sym : syms)
            for (xkb_keycode_t kc : m_keyboard.keysOnFirstLevel(server, sym)) {
                const xkb_mod_mask_t mods = m_keyboard.modsOfKey(server, kc) & 0xFF;
                if (mods != 0) return static_cast<std::uint16_t>(mods);
            }
        return fallback;
    }

    // The modifier bit a locking key (Num Lock) locks, else `fallback`.
    std::uint16_t lockOf(const xcb_xkb_get_state_reply_t& server, std::uint32_t sym, std::uint16_t fallback) {
        for (xkb_keycode_t kc : m_keyboard.keysOnFirstLevel(server, sym)) {
            xkb_state* s = m_keyboard.simulate(server, 0, 0);
            if (s == nullptr) break;
            xkb_state_update_key(s, kc, XKB_KEY_DOWN);
            xkb_state_update_key(s, kc, XKB_KEY_UP);
            const xkb_mod_mask_t mods = xkb_state_serialize_mods(s, XKB_STATE_MODS_LOCKED) & 0xFF;
            xkb_state_unref(s);
            if (mods != 0) return static_cast<std::uint16_t>(mods);
        }
        return fallback;
    }

    // ---- Windows ------------------------------------------------------
    xcb_window_t windowProperty(xcb_window_t window, xcb_atom_t property) {
        if (property == XCB_ATOM_NONE) return XCB_WINDOW_NONE;
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, window, property, XCB_ATOM_WINDOW, 0, 1), nullptr));
        if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
            return XCB_WINDOW_NONE;
        return *static_cast<xcb_window_t*>(xcb_get_property_value(reply.get()));
    }

    bool hasProperty(xcb_window_t window, xcb_atom_t property) {
        if (property == XCB_ATOM_NONE) return false;
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr));
        return reply && reply->type != XCB_ATOM_NONE;
    }

    // Whether the window manager keeps _NET_ACTIVE_WINDOW.
    bool managerKeepsActiveWindow() {
        if (m_atoms.netSupported == XCB_ATOM_NONE) return false;
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, m_root, m_atoms.netSupported, XCB_ATOM_ATOM, 0, 4096), nullptr));
        if (!reply || reply->format != 32) return false;
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        const int n = xcb_get_property_value_length(reply.get()) / 4;
        return std::find(atoms, atoms + n, m_atoms.netActiveWindow) != atoms + n;
    }

    // The window the user works in: the window manager's active window,
    // else the focus climbed to its top-level window (the client window
    // that carries WM_STATE, else the child of the root).
    xcb_window_t activeWindow() {
        if (managerKeepsActiveWindow()) {
            const xcb_window_t active = windowProperty(m_root, m_atoms.netActiveWindow);
            if (active != XCB_WINDOW_NONE) return active;
        }
        Reply<xcb_get_input_focus_reply_t> focus(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
        if (!focus) return XCB_WINDOW_NONE;
        xcb_window_t w = focus->focus;
        if (w == XCB_WINDOW_NONE || w == XCB_INPUT_FOCUS_POINTER_ROOT || w == m_root) return XCB_WINDOW_NONE;
        xcb_window_t client = XCB_WINDOW_NONE;
        for (;;) {
            if (client == XCB_WINDOW_NONE && hasProperty(w, m_atoms.wmState)) client = w;
            Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(m_c, xcb_query_tree(m_c, w), nullptr));
            if (!tree) return client;
            if (tree->parent == m_root || tree->parent == XCB_WINDOW_NONE) return client != XCB_WINDOW_NONE ? client : w;
            w = tree->parent;
        }
    }

    std::string stringProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
        if (property == XCB_ATOM_NONE) return std::string();
        Reply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, window, property, type, 0, 4096), nullptr));
        if (!reply || reply->format != 8 || reply->type == XCB_ATOM_NONE) return std::string();
        return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                           static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    }

    std::string titleOf(xcb_window_t window) {
        Reply<xcb_get_property_reply_t> utf8(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, window, m_atoms.netWmName, m_atoms.utf8String, 0, 4096), nullptr));
        if (utf8 && utf8->format == 8 && utf8->type == m_atoms.utf8String)
            return std::string(static_cast<const char*>(xcb_get_property_value(utf8.get())),
                               static_cast<std::size_t>(xcb_get_property_value_length(utf8.get())));
        Reply<xcb_get_property_reply_t> name(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr));
        if (!name || name->format != 8) return std::string();
        std::string text(static_cast<const char*>(xcb_get_property_value(name.get())),
                         static_cast<std::size_t>(xcb_get_property_value_length(name.get())));
        if (name->type == XCB_ATOM_STRING) return latin1ToUtf8(text);
        return text;  // UTF8_STRING, or COMPOUND_TEXT read as it is
    }

    // WM_CLASS: the instance and the class name.
    std::vector<std::string> classOf(xcb_window_t window) {
        const std::string value = stringProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
        std::vector<std::string> names;
        std::size_t start = 0;
        while (start < value.size()) {
            std::size_t end = value.find('\0', start);
            if (end == std::string::npos) end = value.size();
            names.push_back(value.substr(start, end - start));
            start = end + 1;
        }
        return names;
    }

    std::vector<xcb_window_t> topLevelWindows() {
        std::vector<xcb_window_t> windows;
        if (m_atoms.netClientList != XCB_ATOM_NONE) {
            Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
                m_c, xcb_get_property(m_c, 0, m_root, m_atoms.netClientList, XCB_ATOM_WINDOW, 0, 65536), nullptr));
            if (reply && reply->format == 32) {
                const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
                windows.assign(ids, ids + xcb_get_property_value_length(reply.get()) / 4);
            }
        }
        if (!windows.empty()) return windows;
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(m_c, xcb_query_tree(m_c, m_root), nullptr));
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            windows.assign(children, children + xcb_query_tree_children_length(tree.get()));
        }
        return windows;
    }

    // Asks the window manager to activate the window (as a pager would),
    // gives it the focus, and waits a little for it to be in front.
    bool activate(xcb_window_t window) {
        const bool managed = managerKeepsActiveWindow();
        if (managed) {
            xcb_client_message_event_t message{};
            message.response_type = XCB_CLIENT_MESSAGE;
            message.format = 32;
            message.window = window;
            message.type = m_atoms.netActiveWindow;
            message.data.data32[0] = 2;  // source: a pager, which the manager obeys
            message.data.data32[1] = XCB_CURRENT_TIME;
            message.data.data32[2] = windowProperty(m_root, m_atoms.netActiveWindow);
            succeeded(m_c, xcb_send_event_checked(m_c, 0, m_root,
                                                  XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT |
                                                      XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                                                  reinterpret_cast<const char*>(&message)));
        } else {
            const std::uint32_t above = XCB_STACK_MODE_ABOVE;
            succeeded(m_c, xcb_configure_window_checked(m_c, window, XCB_CONFIG_WINDOW_STACK_MODE, &above));
        }
        const auto bound = std::chrono::steady_clock::now() + kActivationWait;
        bool focusSet = false;
        for (;;) {
            // The focus may only be given once the window is viewable (an
            // iconic one is mapped by the manager first): a refusal is
            // tried again.
            if (!focusSet)
                focusSet = succeeded(m_c, xcb_set_input_focus_checked(m_c, XCB_INPUT_FOCUS_PARENT, window,
                                                                      XCB_CURRENT_TIME));
            if (focusSet && activeWindow() == window) return true;
            if (std::chrono::steady_clock::now() >= bound) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // ---- Typing -------------------------------------------------------
    bool canType() { return m_xtest && m_keyboardReady && m_keyboard.fresh(); }

    bool fake(std::uint8_t type, xkb_keycode_t key) {
        return succeeded(m_c, xcb_test_fake_input_checked(m_c, type, static_cast<std::uint8_t>(key), XCB_CURRENT_TIME,
                                                          XCB_WINDOW_NONE, 0, 0, 0));
    }

    // A key that sets exactly this modifier bit while held, or 0.
    xkb_keycode_t keyForModifier(const xcb_xkb_get_state_reply_t& server, xkb_mod_mask_t bit) {
        static const std::uint32_t kModifierSyms[] = {XKB_KEY_Shift_L, XKB_KEY_Shift_R, XKB_KEY_ISO_Level3_Shift,
                                                      XKB_KEY_ISO_Level5_Shift};
        for (std::uint32_t sym : kModifierSyms)
            for (xkb_keycode_t kc : m_keyboard.keysOnFirstLevel(server, sym))
                if (m_keyboard.modsOfKey(server, kc) == bit) return kc;
        return 0;
    }

    // The modifiers that typing may press: Shift, and the level-three and
    // level-five modifiers where the map has a key for them.
    xkb_mod_mask_t pressableModifiers(const xcb_xkb_get_state_reply_t& server) {
        xkb_mod_mask_t mask = 0;
        static const std::uint32_t kModifierSyms[] = {XKB_KEY_Shift_L, XKB_KEY_Shift_R, XKB_KEY_ISO_Level3_Shift,
                                                      XKB_KEY_ISO_Level5_Shift};
        for (std::uint32_t sym : kModifierSyms)
            for (xkb_keycode_t kc : m_keyboard.keysOnFirstLevel(server, sym)) {
                const xkb_mod_mask_t mods = m_keyboard.modsOfKey(server, kc);
                if (mods != 0 && (mods & (mods - 1)) == 0 && (mods & (kControlMask | kLockMask)) == 0) mask |= mods;
            }
        return mask;
    }

    // Finds the key of the current group and the modifiers that give the
    // keysym, with the locks as they are (Caps Lock's lock counted in);
    // failing that, with Caps Lock's lock off, then Num Lock's on, then
    // both, for the moment. The fewest modifiers win, then the lowest level,
    // then the lowest key code.
    bool choose(const xcb_xkb_get_state_reply_t& server, xkb_keysym_t sym, KeyChoice& out) {
        xkb_keymap* keymap = m_keyboard.keymap();
        const xkb_mod_mask_t pressable = pressableModifiers(server);
        const xkb_mod_mask_t locked = server.lockedMods;
        const xkb_mod_mask_t numLock = lockOf(server, XKB_KEY_Num_Lock, 0);
        std::vector<xkb_mod_mask_t> lockStates = {locked};
        if (locked & kLockMask) lockStates.push_back(locked & ~kLockMask);
        if (numLock != 0 && (locked & numLock) == 0) {
            lockStates.push_back(locked | numLock);
            if (locked & kLockMask) lockStates.push_back((locked & ~kLockMask) | numLock);
        }
        xkb_state* current = m_keyboard.simulate(server, 0, locked);
        if (current == nullptr) return false;
        const xkb_keycode_t lo = xkb_keymap_min_keycode(keymap), hi = xkb_keymap_max_keycode(keymap);
        bool found = false;
        for (std::size_t pass = 0; pass < lockStates.size() && !found; ++pass) {
            const xkb_mod_mask_t locks = lockStates[pass];
            int best = 1 << 30;
            for (xkb_keycode_t kc = lo; kc <= hi && kc < 256; ++kc) {
                const xkb_layout_index_t layout = xkb_state_key_get_layout(current, kc);
                if (layout == XKB_LAYOUT_INVALID) continue;
                const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, kc, layout);
                for (xkb_level_index_t level = 0; level < levels; ++level) {
                    const xkb_keysym_t* syms = nullptr;
                    const int n = xkb_keymap_key_get_syms_by_level(keymap, kc, layout, level, &syms);
                    if (n != 1 || syms[0] != sym) continue;
                    xkb_mod_mask_t masks[16];
                    const std::size_t count = xkb_keymap_key_get_mods_for_level(keymap, kc, layout, level, masks, 16);
                    for (std::size_t i = 0; i < count; ++i) {
                        const xkb_mod_mask_t base = masks[i] & ~locks;
                        for (xkb_mod_mask_t press : {base, base ^ kShiftMask}) {
                            if ((press & ~pressable) != 0) continue;
                            const int score = __builtin_popcount(press) * 100000 + static_cast<int>(level) * 1000 +
                                              static_cast<int>(kc);
                            if (score >= best) continue;
                            xkb_state* s = m_keyboard.simulate(server, press, locks);
                            if (s == nullptr) continue;
                            const xkb_keysym_t got = xkb_state_key_get_one_sym(s, kc);
                            xkb_state_unref(s);
                            if (got != sym) continue;
                            best = score;
                            out.key = kc;
                            out.press = press;
                            out.changeLocks = pass != 0;
                            out.locks = locks;
                            found = true;
                        }
                    }
                }
            }
        }
        xkb_state_unref(current);
        return found;
    }

    // Presses the keys of the modifier bits not held already; the keys
    // pressed go into `held`. False (and nothing held) when one is refused
    // or has no key.
    bool pressModifiers(const xcb_xkb_get_state_reply_t& server, xkb_mod_mask_t mods,
                        std::vector<xkb_keycode_t>& held) {
        for (xkb_mod_mask_t bit = 1; bit != 0 && bit <= 0x80; bit <<= 1) {
            if ((mods & bit) == 0 || (server.baseMods & bit) != 0) continue;
            const xkb_keycode_t kc = keyForModifier(server, bit);
            if (kc == 0 || !fake(XCB_KEY_PRESS, kc)) {
                releaseAll(held);
                return false;
            }
            held.push_back(kc);
        }
        return true;
    }

    void releaseAll(std::vector<xkb_keycode_t>& held) {
        for (auto it = held.rbegin(); it != held.rend(); ++it) fake(XCB_KEY_RELEASE, *it);
        held.clear();
    }

    // Sets the locked modifiers named in `affect` to their bits in `locks`.
    void setLocks(xkb_mod_mask_t affect, xkb_mod_mask_t locks) {
        succeeded(m_c, xcb_xkb_latch_lock_state_checked(
                           m_c, static_cast<xcb_xkb_device_spec_t>(m_keyboard.device()),
                           static_cast<std::uint8_t>(affect), static_cast<std::uint8_t>(locks & affect), 0, 0, 0, 0,
                           0));
    }

    // Types on the chosen key: modifiers down, Caps Lock's lock off if need
    // be, beforeKey, the key down and up, then everything back as it was.
    bool typeOn(const xcb_xkb_get_state_reply_t& server, const KeyChoice& choice,
                const std::function<bool()>& beforeKey) {
        std::vector<xkb_keycode_t> held;
        if (!pressModifiers(server, choice.press, held)) return false;
        const xkb_mod_mask_t changed = (choice.locks ^ server.lockedMods) & 0xFF;
        if (choice.changeLocks) setLocks(changed, choice.locks);
        bool typed = false;
        if (!beforeKey || beforeKey()) {
            typed = fake(XCB_KEY_PRESS, choice.key);
            if (typed) fake(XCB_KEY_RELEASE, choice.key);
        }
        releaseAll(held);
        if (choice.changeLocks) setLocks(changed, server.lockedMods);
        return typed;
    }

    // A key code without any keysym in the core map, highest first; 0 when
    // the map uses every one.
    xkb_keycode_t spareKeyCode(std::uint8_t& perKeyCode) {
        const xcb_setup_t* setup = xcb_get_setup(m_c);
        const std::uint8_t lo = setup->min_keycode, hi = setup->max_keycode;
        Reply<xcb_get_keyboard_mapping_reply_t> map(xcb_get_keyboard_mapping_reply(
            m_c, xcb_get_keyboard_mapping(m_c, lo, static_cast<std::uint8_t>(hi - lo + 1)), nullptr));
        if (!map || map->keysyms_per_keycode == 0) return 0;
        perKeyCode = map->keysyms_per_keycode;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
        for (int kc = hi; kc >= lo; --kc) {
            const xcb_keysym_t* row = syms + (kc - lo) * perKeyCode;
            if (std::all_of(row, row + perKeyCode, [](xcb_keysym_t s) { return s == XCB_NO_SYMBOL; }))
                return static_cast<xkb_keycode_t>(kc);
        }
        return 0;
    }

    // A character the map has no key for: put on a spare key code (or the
    // one it is on already) and typed there; the restorer empties the key
    // codes again a little later.
    bool typeOnBorrowedKey(const xcb_xkb_get_state_reply_t& server, xkb_keysym_t sym,
                           const std::function<bool()>& beforeKey) {
        auto borrowed = std::find_if(m_borrowed.begin(), m_borrowed.end(),
                                     [&](const Borrowed& b) { return b.sym == sym; });
        // A new map (another layout) has replaced the key code's keysyms:
        // it is no longer ours to empty.
        if (borrowed != m_borrowed.end() && keysymOnKeyCode(borrowed->key) != sym) {
            m_borrowed.erase(borrowed);
            borrowed = m_borrowed.end();
        }
        if (borrowed == m_borrowed.end()) {
            std::uint8_t perKeyCode = 0;
            const xkb_keycode_t spare = spareKeyCode(perKeyCode);
            if (perKeyCode == 0) return false;
            if (spare != 0 && m_borrowed.size() < kMaxBorrowedKeys) {
                m_borrowed.push_back(Borrowed{spare, XKB_KEY_NoSymbol, std::chrono::steady_clock::now()});
                borrowed = m_borrowed.end() - 1;
            } else if (!m_borrowed.empty()) {
                borrowed = std::min_element(m_borrowed.begin(), m_borrowed.end(),
                                            [](const Borrowed& x, const Borrowed& y) { return x.used < y.used; });
                std::this_thread::sleep_until(borrowed->used + kBorrowedKeySettle);
            } else {
                KH_LOG(eWarning, "Auto-type: no spare key code to type a character the keyboard map lacks");
                return false;
            }
            m_perKeyCode = perKeyCode;
            std::vector<xcb_keysym_t> row(m_perKeyCode, sym);
            if (!succeeded(m_c, xcb_change_keyboard_mapping_checked(m_c, 1, static_cast<xcb_keycode_t>(borrowed->key),
                                                                    m_perKeyCode, row.data()))) {
                m_borrowed.erase(borrowed);
                return false;
            }
            borrowed->sym = sym;
        }
        const xkb_keycode_t kc = borrowed->key;
        borrowed->used = std::chrono::steady_clock::now();
        if (!m_restorer.joinable()) {
            try {
                m_restorer = std::thread([this] { restorerLoop(); });
            } catch (const std::system_error&) {
                // Without it the key codes are emptied when this desktop goes.
            }
        }
        m_restorerWake.notify_all();

        // Caps Lock would turn a letter put on one level into a capital.
        const bool unlockCaps = (server.lockedMods & kLockMask) != 0;
        if (unlockCaps) setLocks(kLockMask, 0);
        bool typed = false;
        if (!beforeKey || beforeKey()) {
            typed = fake(XCB_KEY_PRESS, kc);
            if (typed) fake(XCB_KEY_RELEASE, kc);
        }
        if (unlockCaps) setLocks(kLockMask, kLockMask);
        borrowed = std::find_if(m_borrowed.begin(), m_borrowed.end(), [&](const Borrowed& b) { return b.key == kc; });
        if (borrowed != m_borrowed.end()) borrowed->used = std::chrono::steady_clock::now();
        return typed;
    }

    // The first keysym of a key code in the core map.
    xkb_keysym_t keysymOnKeyCode(xkb_keycode_t kc) {
        Reply<xcb_get_keyboard_mapping_reply_t> map(xcb_get_keyboard_mapping_reply(
            m_c, xcb_get_keyboard_mapping(m_c, static_cast<xcb_keycode_t>(kc), 1), nullptr));
        if (!map || xcb_get_keyboard_mapping_keysyms_length(map.get()) < 1) return XKB_KEY_NoSymbol;
        return xcb_get_keyboard_mapping_keysyms(map.get())[0];
    }

    // Empties the borrowed key codes once none has been used for a while.
    void restorerLoop() {
        std::unique_lock<std::recursive_mutex> lock(m_lock);
        while (!m_restorerStop) {
            if (m_borrowed.empty()) {
                m_restorerWake.wait(lock);
                continue;
            }
            auto last = m_borrowed.front().used;
            for (const Borrowed& b : m_borrowed) last = std::max(last, b.used);
            if (std::chrono::steady_clock::now() < last + kBorrowedKeyHold) {
                m_restorerWake.wait_until(lock, last + kBorrowedKeyHold);
                continue;
            }
            restoreBorrowedKeys();
        }
    }

    void restoreBorrowedKeys() {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        for (const Borrowed& b : m_borrowed) {
            std::vector<xcb_keysym_t> row(m_perKeyCode, XCB_NO_SYMBOL);
            succeeded(m_c, xcb_change_keyboard_mapping_checked(m_c, 1, static_cast<xcb_keycode_t>(b.key), m_perKeyCode,
                                                               row.data()));
        }
        m_borrowed.clear();
    }

    xcb_connection_t* m_c;  // the desktop connection, guarded by m_lock
    xcb_window_t m_root = XCB_WINDOW_NONE;
    Atoms m_atoms;
    std::recursive_mutex m_lock;  // recursive: beforeKey may ask the desktop again
    Keyboard m_keyboard;
    bool m_keyboardReady = false;
    bool m_xtest = false;
    std::map<unsigned, xkb_keycode_t> m_pressedKeys;  // virtual key -> key code it went down on

    // Key codes lent to characters the map lacks, and the thread that
    // empties them again.
    struct Borrowed {
        xkb_keycode_t key;
        xkb_keysym_t sym;
        std::chrono::steady_clock::time_point used;
    };
    std::vector<Borrowed> m_borrowed;
    std::uint8_t m_perKeyCode = 1;
    std::thread m_restorer;
    std::condition_variable_any m_restorerWake;
    bool m_restorerStop = false;

    std::mutex m_control;  // start and stop
    std::thread m_thread;
    // One dispatch of the hot key at a time: running while its onPress
    // runs. A stop that gives up waiting lets the thread go under `lock`.
    struct DispatchState {
        std::mutex lock;
        bool running = false;
    };
    std::shared_ptr<DispatchState> m_dispatch;
    // The hot-key loop has returned (its exit code is in m_exitCode).
    std::mutex m_endLock;
    std::condition_variable m_endSignal;
    bool m_loopEnded = true;
    std::atomic<bool> m_destroying{false};
    // How long a stop waits for an onPress that is running.
    static constexpr std::chrono::milliseconds kStopWait{2000};
    xcb_connection_t* m_hotKeyConnection = nullptr;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::atomic<int> m_exitCode{0};
};

}  // namespace

std::unique_ptr<AutoTypeDesktop> makeX11AutoTypeDesktop() {
    static std::atomic<bool> waylandSaid{false};
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland != nullptr && *wayland != '\0' && !waylandSaid.exchange(true))
        KH_LOG(eImportant,
               "Auto-type: Wayland session: the hot key and the typing reach X11 (XWayland) windows only");
    static std::atomic<bool> noDisplaySaid{false};
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        if (!noDisplaySaid.exchange(true))
            KH_LOG(eImportant, "Auto-type: no X display: no hot key (DISPLAY is not set)");
        return nullptr;
    }
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        if (!noDisplaySaid.exchange(true))
            KH_LOG(eImportant, "Auto-type: no X display: no hot key (cannot open display %s)", display);
        return nullptr;
    }
    try {
        return std::unique_ptr<AutoTypeDesktop>(new X11AutoTypeDesktop(c, screenNumber));
    } catch (...) {
        xcb_disconnect(c);
        return nullptr;
    }
}

}  // namespace platform
