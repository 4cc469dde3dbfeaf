#include "platform/SecureEdit_win32.h"

#include <windows.h>

#include "security/SecureEditEx.h"

namespace platform {
namespace win32 {
namespace {

const char* const kProperty = "Keyhold.SecureEdit";

class Win32EditWindow : public IEditWindow {
public:
    explicit Win32EditWindow(HWND edit) : m_edit(edit) {}
    std::size_t textLength() override {
        LRESULT n = SendMessageA(m_edit, WM_GETTEXTLENGTH, 0, 0);
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    char* text() override {
        std::size_t n = textLength();
        char* buffer = new char[n + 1];
        LRESULT got = SendMessageA(m_edit, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(buffer));
        buffer[got >= 0 && static_cast<std::size_t>(got) <= n ? got : 0] = '\0';
        return buffer;
    }
    void setText(const char* text) override { SendMessageA(m_edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)); }
    void selection(std::size_t& start, std::size_t& end) override {
        DWORD s = 0, e = 0;
        SendMessageA(m_edit, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        start = s < e ? s : e;
        end = s < e ? e : s;
    }
    void setSelection(std::size_t start, std::size_t end) override {
        SendMessageA(m_edit, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
    }
    void scrollCaret() override { SendMessageA(m_edit, EM_SCROLLCARET, 0, 0); }

private:
    HWND m_edit;
};

struct SecureEdit {
    explicit SecureEdit(HWND edit) : window(edit), logic(window) {}
    Win32EditWindow window;
    CSecureEditEx logic;
    WNDPROC original = nullptr;
};

SecureEdit* secureEdit(HWND edit) { return static_cast<SecureEdit*>(GetPropA(edit, kProperty)); }

bool shiftDown() {
    return GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_LSHIFT) < 0 || GetKeyState(VK_RSHIFT) < 0;
}

LRESULT CALLBACK secureEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    SecureEdit* self = secureEdit(edit);
    if (self == nullptr) return DefWindowProcA(edit, message, wParam, lParam);
    switch (message) {
        case WM_KEYDOWN:
            self->logic.beforeKeyDown(static_cast<int>(wParam), shiftDown());
            [[fallthrough]];
        case WM_KEYUP:
        case WM_CHAR:
        case WM_DEADCHAR:
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK: {
            LRESULT r = CallWindowProcA(self->original, edit, message, wParam, lParam);
            self->logic.afterInput();
            return r;
        }
        case WM_NCDESTROY: {
            WNDPROC original = self->original;
            SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
            RemovePropA(edit, kProperty);
            delete self;  // wipes the cells
            return CallWindowProcA(original, edit, message, wParam, lParam);
        }
        default:
            return CallWindowProcA(self->original, edit, message, wParam, lParam);
    }
}

}  // namespace

CSecureEditEx* makeSecureEdit(void* window) {
    HWND edit = static_cast<HWND>(window);
    if (edit == nullptr || !IsWindow(edit)) return nullptr;
    if (SecureEdit* existing = secureEdit(edit)) return &existing->logic;
    SecureEdit* self = new SecureEdit(edit);
    SetPropA(edit, kProperty, self);
    self->original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&secureEditProc)));
    // Whatever the template put there becomes the secret.
    char* initial = self->window.text();
    if (*initial != '\0') self->logic.setText(initial);
    releasePlainCopy(initial);
    return &self->logic;
}

CSecureEditEx* secureEditOf(void* window) {
    SecureEdit* self = secureEdit(static_cast<HWND>(window));
    return self != nullptr ? &self->logic : nullptr;
}

bool reflectToSecureEdit(void* window, unsigned notification) {
    SecureEdit* self = secureEdit(static_cast<HWND>(window));
    if (self == nullptr) return false;
    if (notification == EN_UPDATE) {
        self->logic.onUpdate();
        return true;
    }
    if (notification == EN_SETFOCUS) {
        self->logic.onSetFocus();
        return true;
    }
    return false;
}

}  // namespace win32
}  // namespace platform
