// What the Windows dialog checks share: reading windows, waiting for them,
// and a user who types and clicks in a dialog from a second thread, sending
// what a keyboard and a mouse would make the controls receive.
#pragma once

#include <windows.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

inline std::string classOf(HWND w) {
    char name[64] = {};
    GetClassNameA(w, name, sizeof name);
    return name;
}

inline std::string textOf(HWND w) {
    LRESULT n = SendMessageA(w, WM_GETTEXTLENGTH, 0, 0);
    std::vector<char> buffer(static_cast<std::size_t>(n > 0 ? n : 0) + 1, '\0');
    SendMessageA(w, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    return buffer.data();
}

inline bool waitUntil(const std::function<bool()>& condition, int ms = 10000) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (condition()) return true;
        Sleep(20);
    }
    return condition();
}

struct TopLevelSearch {
    const std::string& windowClass;
    const std::string& title;
    bool mustBeVisible;
    HWND found;
};

inline BOOL CALLBACK matchTopLevel(HWND w, LPARAM param) {
    TopLevelSearch* f = reinterpret_cast<TopLevelSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == GetCurrentProcessId() && (!f->mustBeVisible || IsWindowVisible(w)) && classOf(w) == f->windowClass &&
        (f->title.empty() || textOf(w) == f->title)) {
        f->found = w;
        return FALSE;
    }
    return TRUE;
}

// A top-level window of this process with this class and, unless it is
// empty, this title; null when there is none.
inline HWND findTopLevel(const std::string& windowClass, const std::string& title, bool mustBeVisible = true) {
    TopLevelSearch f{windowClass, title, mustBeVisible, nullptr};
    EnumWindows(matchTopLevel, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

// The visible dialog with this title, waited for; null when none came.
inline HWND waitForDialog(const std::string& title) {
    HWND found = nullptr;
    waitUntil([&] { return (found = findTopLevel("#32770", title)) != nullptr; });
    return found;
}

inline BOOL CALLBACK collectStaticText(HWND c, LPARAM param) {
    if (classOf(c) == "Static") {
        std::string t = textOf(c);
        if (!t.empty()) reinterpret_cast<std::vector<std::string>*>(param)->push_back(t);
    }
    return TRUE;
}

// The texts of a window's static controls, in order (empty ones left out).
inline std::vector<std::string> staticTexts(HWND w) {
    std::vector<std::string> texts;
    EnumChildWindows(w, collectStaticText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

struct OwnedToolTipSearch {
    HWND owner;
    HWND found;
};

inline BOOL CALLBACK matchOwnedToolTip(HWND w, LPARAM param) {
    OwnedToolTipSearch* o = reinterpret_cast<OwnedToolTipSearch*>(param);
    if (classOf(w) != "tooltips_class32" || GetWindow(w, GW_OWNER) != o->owner) return TRUE;
    o->found = w;
    return FALSE;
}

// The common-controls tool-tip window a dialog owns; null when it has none.
inline HWND ownedToolTip(HWND owner) {
    OwnedToolTipSearch o{owner, nullptr};
    EnumWindows(matchOwnedToolTip, reinterpret_cast<LPARAM>(&o));
    return o.found;
}

inline bool onlyAsterisks(const std::string& s) { return s.find_first_not_of('*') == std::string::npos; }

class DialogUser {
public:
    explicit DialogUser(HWND dialog) : m_dialog(dialog) {}
    HWND dialog() const { return m_dialog; }
    HWND item(int id) const { return GetDlgItem(m_dialog, id); }

    // Like tabbing there (the dialog then selects the field's text), unless
    // the field has the focus already.
    void focus(int id) {
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        GetGUIThreadInfo(GetWindowThreadProcessId(m_dialog, nullptr), &gui);
        if (gui.hwndFocus != item(id)) {
            SendMessageA(m_dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(id)), TRUE);
        }
    }
    void key(int id, int vk) {
        SendMessageA(item(id), WM_KEYDOWN, vk, 1);
        SendMessageA(item(id), WM_KEYUP, vk, 0xC0000001);
    }
    // Types at the caret, key by key; `afterEach` runs after every key.
    void typeKeys(int id, const std::string& text, const std::function<void()>& afterEach = nullptr) {
        focus(id);
        HWND edit = item(id);
        for (unsigned char c : text) {
            int vk = LOBYTE(VkKeyScanA(static_cast<char>(c)));
            SendMessageA(edit, WM_KEYDOWN, vk, 1);
            SendMessageA(edit, WM_CHAR, c, 1);
            SendMessageA(edit, WM_KEYUP, vk, 0xC0000001);
            if (afterEach) afterEach();
        }
    }
    // A key pressed with Shift held: the dialog's thread shares this thread's
    // input state while the key goes in, so GetKeyState sees the Shift key.
    void shiftKey(int id, int vk) {
        DWORD me = GetCurrentThreadId();
        DWORD dialogThread = GetWindowThreadProcessId(m_dialog, nullptr);
        AttachThreadInput(me, dialogThread, TRUE);
        BYTE state[256] = {}, saved[256] = {};
        GetKeyboardState(saved);
        std::memcpy(state, saved, sizeof state);
        state[VK_SHIFT] = state[VK_LSHIFT] = 0x80;
        SetKeyboardState(state);
        key(id, vk);
        SetKeyboardState(saved);
        AttachThreadInput(me, dialogThread, FALSE);
    }
    // A mouse click on a button or check box, handled before it returns: the
    // button itself checks an automatic check box and tells the dialog.
    void press(int id) { SendMessageA(item(id), BM_CLICK, 0, 0); }
    // A click whose handling may open another dialog or end this one.
    void click(int id) {
        PostMessageA(m_dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item(id)));
    }
    std::string shown(int id) { return textOf(item(id)); }
    bool enabled(int id) { return IsWindowEnabled(item(id)) != FALSE; }
    bool visible(int id) { return IsWindowVisible(item(id)) != FALSE; }
    bool checked(int id) { return SendMessageA(item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    // A control's place in the dialog's client area, in pixels.
    RECT rect(int id) {
        RECT r{};
        GetWindowRect(item(id), &r);
        MapWindowPoints(nullptr, m_dialog, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    int clientWidth() {
        RECT r{};
        GetClientRect(m_dialog, &r);
        return r.right - r.left;
    }
    int clientHeight() {
        RECT r{};
        GetClientRect(m_dialog, &r);
        return r.bottom - r.top;
    }
    bool open() { return IsWindow(m_dialog) && IsWindowVisible(m_dialog); }
    // The plug-in's message box ("Keyhold"): its text; it is dismissed with OK.
    std::string dismissMessageBox() {
        HWND box = waitForDialog("Keyhold");
        if (box == nullptr) return std::string();
        std::vector<std::string> texts = staticTexts(box);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        waitUntil([&] { return !IsWindow(box); });
        std::string joined;
        for (const std::string& t : texts) joined += t;
        return joined;
    }
    // Ends the dialog whatever state a failed check left it in: message
    // boxes and the other dialogs named are closed first.
    void giveUp(std::initializer_list<const char*> others = {}) {
        waitUntil([&] {
            if (HWND box = findTopLevel("#32770", "Keyhold")) {
                PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            }
            for (const char* title : others) {
                if (HWND other = findTopLevel("#32770", title)) PostMessageA(other, WM_CLOSE, 0, 0);
            }
            if (IsWindow(m_dialog)) PostMessageA(m_dialog, WM_CLOSE, 0, 0);
            return !IsWindow(m_dialog);
        }, 5000);
    }

protected:
    HWND m_dialog;
};
