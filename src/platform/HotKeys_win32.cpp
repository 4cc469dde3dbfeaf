// Hot keys on Windows. The handler's window lives on the handler thread: the
// system ties a hot key to the thread of its window, and only that thread
// gets its WM_HOTKEY. Other threads end the loop by posting a message of our
// own to the window; its procedure closes the dialogs the thread may be
// showing at that moment, marks the window and posts the quit message.
#include <windows.h>

#include "platform/HotKeys.h"

namespace platform {
namespace {

constexpr UINT kQuitRequest = WM_APP + 0x2C5;
// Holding the keys makes the keyboard repeat; with this flag a held
// combination is one press, not one per repeat (Windows 7 and later).
constexpr UINT kNoRepeat = 0x4000;  // MOD_NOREPEAT
constexpr DWORD kAlreadyRegistered = 1409;  // ERROR_HOTKEY_ALREADY_REGISTERED

// Marks a window whose loop is to end. The quit message alone may not come
// back: a modal loop that the dispatch runs at that moment (a dialog, a
// message box) takes it to end itself, and not every one posts it again.
const char* const kQuitMark = "KeyholdHotKeyQuit";

// A dialog the dispatch shows (the password dialog, the chooser, a message
// box) is cancelled, as if the user had closed it: the dispatch then types
// nothing and returns to the loop.
BOOL CALLBACK closeDialog(HWND window, LPARAM) {
    char name[16] = {};
    if (GetClassNameA(window, name, sizeof name) > 0 && lstrcmpA(name, "#32770") == 0)
        PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kQuitRequest) {
        SetPropA(window, kQuitMark, reinterpret_cast<HANDLE>(1));
        EnumThreadWindows(GetCurrentThreadId(), closeDialog, 0);
    }
    if (message == WM_DESTROY || message == kQuitRequest) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The class belongs to the host executable, as the window does.
HINSTANCE classInstance() { return GetModuleHandleA(nullptr); }

class Win32HotKeys : public HotKeys {
public:
    bool available() override { return true; }

    void* acquireNamedMutex(const std::string& name) override {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
        if (mutex == nullptr) mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str());
        if (mutex == nullptr) return nullptr;
        DWORD r = WaitForSingleObject(mutex, INFINITE);
        if (r != WAIT_OBJECT_0 && r != WAIT_ABANDONED) {  // abandoned: ours now all the same
            CloseHandle(mutex);
            return nullptr;
        }
        return mutex;
    }
    void releaseNamedMutex(void* mutex) override {
        if (mutex == nullptr) return;
        ReleaseMutex(static_cast<HANDLE>(mutex));
        CloseHandle(static_cast<HANDLE>(mutex));
    }

    bool registerWindowClass(const std::string& className) override {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = windowProcedure;
        wc.hInstance = classInstance();
        wc.lpszClassName = className.c_str();
        if (RegisterClassExA(&wc) != 0) return true;
        if (GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
        // Left over from a copy of this library loaded before, whose
        // procedure may be gone with it: made anew with ours.
        WNDCLASSEXA existing = {};
        existing.cbSize = sizeof existing;
        if (GetClassInfoExA(wc.hInstance, wc.lpszClassName, &existing) && existing.lpfnWndProc == windowProcedure)
            return true;
        if (!UnregisterClassA(wc.lpszClassName, wc.hInstance)) return true;  // in use: as it is
        return RegisterClassExA(&wc) != 0;
    }
    void unregisterWindowClass(const std::string& className) override {
        UnregisterClassA(className.c_str(), classInstance());
    }
    HotKeyWindow createWindow(const std::string& className, const std::string& windowName, bool visible) override {
        HWND window = CreateWindowExA(0, className.c_str(), windowName.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                      nullptr, nullptr, classInstance(), nullptr);
        if (window == nullptr) return nullptr;
        ShowWindow(window, visible ? SW_SHOW : SW_HIDE);
        return window;
    }
    void destroyWindow(HotKeyWindow window) override {
        if (window != nullptr) DestroyWindow(static_cast<HWND>(window));
    }

    std::uint16_t addAtom(const std::string& name) override {
        ATOM atom = GlobalAddAtomA(name.c_str());
        if (atom == 0) atom = GlobalFindAtomA(name.c_str());
        return atom;
    }
    void deleteAtom(std::uint16_t atom) override {
        if (atom != 0) GlobalDeleteAtom(atom);
    }

    bool registerHotKey(HotKeyWindow window, std::uint16_t id, unsigned modifiers, unsigned key) override {
        HWND w = static_cast<HWND>(window);
        if (RegisterHotKey(w, id, modifiers | kNoRepeat, key)) return true;
        if (GetLastError() == kAlreadyRegistered) return false;
        return RegisterHotKey(w, id, modifiers, key) != 0;  // a system without the flag
    }
    bool unregisterHotKey(HotKeyWindow window, std::uint16_t id) override {
        return UnregisterHotKey(static_cast<HWND>(window), id) != 0;
    }

    int runMessageLoop(HotKeyWindow window, const std::function<void(std::uint16_t)>& onHotKey) override {
        HWND w = static_cast<HWND>(window);
        MSG msg;
        for (;;) {
            if (GetPropA(w, kQuitMark) != nullptr) {
                RemovePropA(w, kQuitMark);
                return 0;
            }
            BOOL r = GetMessageA(&msg, nullptr, 0, 0);
            if (r == 0) return 0;
            if (r == -1) return -1;
            if (msg.message == WM_HOTKEY && msg.hwnd == w) {
                onHotKey(static_cast<std::uint16_t>(msg.wParam));
                // Pressed again while the dispatch ran: not typed afterwards.
                MSG stale;
                while (PeekMessageA(&stale, w, WM_HOTKEY, WM_HOTKEY, PM_REMOVE)) {
                }
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    bool requestQuit(HotKeyWindow window) override {
        return PostMessageA(static_cast<HWND>(window), kQuitRequest, 0, 0) != 0;
    }

    // PeekMessage delivers the sent messages before it looks at the queue;
    // with PM_QS_SENDMESSAGE it looks at nothing else and removes nothing.
    void processSentMessages() override {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }

    bool isKeyDown(unsigned virtualKey) override {
        return (GetAsyncKeyState(static_cast<int>(virtualKey)) & 0x8000) != 0;
    }

    // The handler thread received the hot key, the last input event, so the
    // system lets it set the foreground window. Should it refuse all the
    // same (the foreground lock), the input of this thread is joined to that
    // of the thread in front for the one call.
    bool bringToFront(void* window) override {
        HWND w = static_cast<HWND>(window);
        if (w == nullptr || !IsWindow(w)) return false;
        if (IsIconic(w)) ShowWindow(w, SW_RESTORE);
        if (GetForegroundWindow() == w) return true;
        if (SetForegroundWindow(w) && GetForegroundWindow() == w) return true;
        HWND front = GetForegroundWindow();
        DWORD frontThread = front != nullptr ? GetWindowThreadProcessId(front, nullptr) : 0;
        DWORD self = GetCurrentThreadId();
        bool attached = frontThread != 0 && frontThread != self && AttachThreadInput(self, frontThread, TRUE);
        SetForegroundWindow(w);
        BringWindowToTop(w);
        if (attached) AttachThreadInput(self, frontThread, FALSE);
        return GetForegroundWindow() == w;
    }
};

}  // namespace

HotKeys* nativeHotKeys() {
    static Win32HotKeys instance;
    return &instance;
}

}  // namespace platform
