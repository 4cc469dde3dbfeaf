// System-wide hot keys: a mutex shared by every process that loads the
// plug-in, a hidden window on a thread of the handler's own with the window's
// message loop, global atoms as the hot keys' identifiers, the registration
// itself, the asynchronous key state, and bringing a window of another
// program to the front.
//
// The window calls (window class, window, atoms, registration, message loop)
// are made on the handler thread, which owns the window: the system ties a
// hot key to the thread of its window. requestQuit is the one call for the
// window from any other thread.
//
// A service of the Win32 desktop of auto-type alone (platform/Win32AutoType.h):
// the plug-in's logic reaches the hot key through platform::AutoTypeDesktop.
// Windows: the Win32 services (CreateMutex, RegisterClass, CreateWindowEx,
// GlobalAddAtom, RegisterHotKey, GetMessage, GetAsyncKeyState,
// SetForegroundWindow). Tests: platform/HotKeys_memory.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

using HotKeyWindow = void*;

class HotKeys {
public:
    virtual ~HotKeys() = default;

    // Whether this desktop offers global hot keys at all.
    virtual bool available() = 0;

    // The mutex of that name, created or opened, held by the caller once
    // this returns (it waits as long as it takes); null when it cannot be
    // created or opened. Given back with releaseNamedMutex.
    virtual void* acquireNamedMutex(const std::string& name) = 0;
    virtual void releaseNamedMutex(void* mutex) = 0;

    // The class of the handler's window; a class of that name that exists
    // already counts as registered.
    virtual bool registerWindowClass(const std::string& className) = 0;
    virtual void unregisterWindowClass(const std::string& className) = 0;
    // The hidden (or shown) window; null when it cannot be created.
    virtual HotKeyWindow createWindow(const std::string& className, const std::string& windowName,
                                      bool visible) = 0;
    virtual void destroyWindow(HotKeyWindow window) = 0;

    // The global atom of that name, added or found; 0 when there is none.
    virtual std::uint16_t addAtom(const std::string& name) = 0;
    virtual void deleteAtom(std::uint16_t atom) = 0;

    // Registers the combination (modifier flags 1 Alt, 2 Control, 4 Shift;
    // a virtual-key code) for the window under the identifier; false when
    // the system refuses it (another program has it, say).
    virtual bool registerHotKey(HotKeyWindow window, std::uint16_t id, unsigned modifiers, unsigned key) = 0;
    virtual bool unregisterHotKey(HotKeyWindow window, std::uint16_t id) = 0;

    // Runs the window's message loop on the calling thread until requestQuit
    // (or the window's destruction) ends it. A hot key of the window runs
    // `onHotKey` with its identifier, on this thread; presses that arrive
    // while it runs are dropped, not kept for afterwards. The result is 0
    // when the loop was told to end, -1 when reading the queue failed.
    virtual int runMessageLoop(HotKeyWindow window, const std::function<void(std::uint16_t)>& onHotKey) = 0;
    // From any thread: tells the window's loop to end. False when the
    // window is gone.
    virtual bool requestQuit(HotKeyWindow window) = 0;
    // Handles the messages other threads are sending to windows of the
    // calling thread, and nothing else. A thread that waits for the handler
    // thread calls it between slices of its wait: a dialog of the handler
    // thread that is ending re-enables its owner (the host's window) with a
    // sent message, which would otherwise wait for the waiter for ever.
    virtual void processSentMessages() = 0;

    // Whether the key reads as held down right now.
    virtual bool isKeyDown(unsigned virtualKey) = 0;

    // Makes the window the foreground window, with the keyboard focus, so
    // that keys typed next go to it; true when it is in front afterwards.
    virtual bool bringToFront(void* window) = 0;
};

// The Win32 services (Windows builds only), which the Win32 desktop of
// auto-type runs over.
HotKeys* nativeHotKeys();

}  // namespace platform
