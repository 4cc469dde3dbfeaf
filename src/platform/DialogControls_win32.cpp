#include "platform/DialogControls_win32.h"

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "platform/SecureEdit_win32.h"
#include "platform/TTListBox_win32.h"
#include "security/SecureEditEx.h"

namespace platform {
namespace win32 {
namespace {

HWND hwnd(void* p) { return static_cast<HWND>(p); }

// A control's rectangle in dialog units, in pixels of this dialog.
RECT pixels(HWND dialog, int x, int y, int cx, int cy) {
    RECT r{x, y, x + cx, y + cy};
    MapDialogRect(dialog, &r);
    return r;
}

}  // namespace

Win32DialogControls::Win32DialogControls(void* dialog, const tDialogTemplate& dialogTemplate)
    : m_dialog(dialog), m_template(dialogTemplate) {}

void* Win32DialogControls::item(int id) const { return GetDlgItem(hwnd(m_dialog), id); }

eControlKind Win32DialogControls::kind(int id) const {
    const tControlTemplate* c = m_template.find(id);
    return c != nullptr ? c->kind : eControlKind::Static;
}

std::string Win32DialogControls::text(int id) {
    HWND control = hwnd(item(id));
    if (control == nullptr) return std::string();
    int n = GetWindowTextLengthA(control);
    if (n <= 0) return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(n) + 1, '\0');
    GetWindowTextA(control, buffer.data(), n + 1);
    return buffer.data();
}

void Win32DialogControls::setText(int id, const std::string& text) {
    if (CSecureEditEx* secure = secureEditOf(item(id))) {
        secure->setText(text.c_str());
    } else {
        SetDlgItemTextA(hwnd(m_dialog), id, text.c_str());
    }
}

void Win32DialogControls::secureText(int id, CSecureString& out) {
    if (CSecureEditEx* secure = secureEditOf(item(id))) {
        if (secure->secureMode()) {
            out = secure->secret();
            return;
        }
        char* plain = secure->getText();
        out.setText(plain);
        releasePlainCopy(plain);
        return;
    }
    std::string plain = text(id);
    out.setText(plain.c_str());
    secureWipe(&plain[0], plain.size());
}

bool Win32DialogControls::checked(int id) { return IsDlgButtonChecked(hwnd(m_dialog), id) == BST_CHECKED; }

void Win32DialogControls::setChecked(int id, bool on) {
    CheckDlgButton(hwnd(m_dialog), id, on ? BST_CHECKED : BST_UNCHECKED);
}

void Win32DialogControls::enable(int id, bool on) {
    if (HWND control = hwnd(item(id))) EnableWindow(control, on ? TRUE : FALSE);
}

bool Win32DialogControls::isEnabled(int id) {
    HWND control = hwnd(item(id));
    return control != nullptr && IsWindowEnabled(control);
}

void Win32DialogControls::show(int id, bool on) {
    if (HWND control = hwnd(item(id))) ShowWindow(control, on ? SW_SHOW : SW_HIDE);
}

bool Win32DialogControls::isVisible(int id) {
    // The style, not IsWindowVisible: the dialog itself is still hidden while
    // its logic starts up.
    HWND control = hwnd(item(id));
    return control != nullptr && (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32DialogControls::setReadOnly(int id, bool on) {
    if (HWND control = hwnd(item(id))) SendMessageA(control, EM_SETREADONLY, on ? TRUE : FALSE, 0);
}

void Win32DialogControls::insertAtCaret(int id, const std::string& text) {
    if (HWND control = hwnd(item(id))) {
        SendMessageA(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));  // no undo
    }
}

void Win32DialogControls::setListItems(int id, const std::vector<std::string>& items) {
    HWND control = hwnd(item(id));
    if (control == nullptr) return;
    const bool combo = kind(id) == eControlKind::ComboBox;
    if (!combo && kind(id) != eControlKind::ListBox) return;
    SendMessageA(control, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
    for (const std::string& s : items) {
        SendMessageA(control, combo ? CB_ADDSTRING : LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
    }
}

void Win32DialogControls::setListItems(int id, const std::vector<std::string>& items,
                                       const std::vector<std::string>& toolTips) {
    HWND control = hwnd(item(id));
    if (control == nullptr) return;
    CTTListBox* list = kind(id) == eControlKind::ListBox ? CTTListBox::attach(control) : nullptr;
    if (list == nullptr) {
        setListItems(id, items);
        return;
    }
    // The texts are made for showing as they are.
    list->setTextCallback([](int, std::uintptr_t data) { return CTTListBox::toolTipOf(data); },
                          CTTListBox::eNearCursor);
    SendMessageA(control, LB_RESETCONTENT, 0, 0);
    for (std::size_t i = 0; i < items.size(); ++i) {
        list->addString(items[i], i < toolTips.size() ? toolTips[i] : std::string());
    }
}

bool Win32DialogControls::selectItem(int id, const std::string& text) {
    HWND control = hwnd(item(id));
    if (control == nullptr) return false;
    const bool combo = kind(id) == eControlKind::ComboBox;
    LRESULT at = SendMessageA(control, combo ? CB_FINDSTRINGEXACT : LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(text.c_str()));
    if (at < 0) return false;
    SendMessageA(control, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(at), 0);
    return true;
}

void Win32DialogControls::selectIndex(int id, int index) {
    HWND control = hwnd(item(id));
    if (control == nullptr) return;
    SendMessageA(control, kind(id) == eControlKind::ComboBox ? CB_SETCURSEL : LB_SETCURSEL,
                 static_cast<WPARAM>(index), 0);
}

std::string Win32DialogControls::selectedItem(int id) {
    HWND control = hwnd(item(id));
    if (control == nullptr) return std::string();
    const bool combo = kind(id) == eControlKind::ComboBox;
    LRESULT at = SendMessageA(control, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
    if (at < 0) return std::string();
    LRESULT n = SendMessageA(control, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, static_cast<WPARAM>(at), 0);
    if (n < 0) return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(n) + 1, '\0');
    SendMessageA(control, combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(at),
                 reinterpret_cast<LPARAM>(buffer.data()));
    return buffer.data();
}

void Win32DialogControls::setSecureMode(int id, bool on) {
    if (CSecureEditEx* secure = secureEditOf(item(id))) secure->setSecureMode(on);
}

bool Win32DialogControls::isSecureMode(int id) {
    CSecureEditEx* secure = secureEditOf(item(id));
    return secure != nullptr && secure->secureMode();
}

void Win32DialogControls::setSecureText(int id, const CSecureString& text) {
    CPlainCopy plain(text);
    setText(id, plain.c_str());
}

void Win32DialogControls::setTitle(const std::string& title) { SetWindowTextA(hwnd(m_dialog), title.c_str()); }

void Win32DialogControls::setToolTip(int id, const std::string& text) {
    HWND control = hwnd(item(id));
    if (control == nullptr) return;
    if (m_toolTip == nullptr) {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&init);
        m_toolTip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(m_dialog),
                                    nullptr, nullptr, nullptr);
        if (m_toolTip == nullptr) return;
    }
    // The first tool-info layout: understood by every version of the common controls.
    TTTOOLINFOA info{};
    info.cbSize = TTTOOLINFOA_V2_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;  // the tip watches the control's mouse messages itself
    info.hwnd = hwnd(m_dialog);
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = const_cast<char*>(text.c_str());
    SendMessageA(hwnd(m_toolTip), TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&info));
    SendMessageA(hwnd(m_toolTip), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
    SendMessageA(hwnd(m_toolTip), TTM_ACTIVATE, TRUE, 0);
}

void Win32DialogControls::moveControl(int id, int x, int y, int cx, int cy) {
    HWND control = hwnd(item(id));
    if (control == nullptr) return;
    RECT r = pixels(hwnd(m_dialog), x, y, cx, cy);
    MoveWindow(control, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void Win32DialogControls::resizeDialog(int cx, int cy) {
    HWND dialog = hwnd(m_dialog);
    RECT r = pixels(dialog, 0, 0, cx, cy);
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32DialogControls::endDialog(int result) { EndDialog(hwnd(m_dialog), result); }

}  // namespace win32
}  // namespace platform
