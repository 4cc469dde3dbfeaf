// Dialogs on Windows: the dialog resource of this library, run modally with
// DialogBoxParam, its controls handed to the dialog's logic.
#include <windows.h>

#include "platform/DialogControls_win32.h"
#include "platform/Dialogs.h"
#include "platform/Module.h"
#include "platform/Platform.h"
#include "platform/SecureEdit_win32.h"

namespace platform {
namespace {

constexpr UINT kBringToFront = WM_APP + 1;

struct RunningDialog {
    CDialogLogic& logic;
    win32::Win32DialogControls* controls = nullptr;
    bool started = false;  // onInit has returned
};

// The dialogs open on this thread, innermost last. A dialog opened from
// another one (the entry password dialog from an entry dialog) belongs to
// it, so that it is modal to it: the outer one cannot be clicked meanwhile.
// Plain values only: a thread-local with a destructor would run it at the
// end of a host thread, after the library may have been unloaded.
constexpr int kMaxNested = 8;
thread_local HWND t_open[kMaxNested];
thread_local int t_openCount = 0;

void remember(HWND dialog) {
    if (t_openCount < kMaxNested) t_open[t_openCount++] = dialog;
}

void forget(HWND dialog) {
    for (int i = 0; i < t_openCount; ++i) {
        if (t_open[i] != dialog) continue;
        for (int j = i + 1; j < t_openCount; ++j) t_open[j - 1] = t_open[j];
        --t_openCount;
        return;
    }
}

// The innermost dialog still open on this thread, or null.
HWND innermostOpen() {
    while (t_openCount > 0 && !IsWindow(t_open[t_openCount - 1])) --t_openCount;
    return t_openCount > 0 ? t_open[t_openCount - 1] : nullptr;
}

bool isSecureEdit(const tDialogTemplate& t, int id) {
    const tControlTemplate* c = t.find(id);
    return c != nullptr && c->kind == eControlKind::SecureEdit;
}

eControlKind kindOf(const tDialogTemplate& t, int id) {
    const tControlTemplate* c = t.find(id);
    return c != nullptr ? c->kind : eControlKind::Static;
}

void onInitDialog(HWND dialog, RunningDialog& run) {
    const tDialogTemplate& t = run.logic.dialogTemplate();
    for (const tControlTemplate& c : t.controls) {
        if (c.kind == eControlKind::SecureEdit) win32::makeSecureEdit(GetDlgItem(dialog, c.id));
        // Fields of any length: without this an edit takes only 32767
        // characters from typing or from text inserted at the caret.
        if (c.kind == eControlKind::Edit || c.kind == eControlKind::SecureEdit) {
            SendDlgItemMessageA(dialog, c.id, EM_SETLIMITTEXT, 0, 0);
        }
    }
    SetWindowTextA(dialog, t.title.c_str());
    run.logic.onInit(*run.controls);
    run.started = true;
    // The dialog opens while the host's window is in front; once it is shown,
    // bring it there.
    PostMessageA(dialog, kBringToFront, 0, 0);
}

void onCommand(HWND dialog, RunningDialog& run, int id, UINT code, HWND control) {
    const tDialogTemplate& t = run.logic.dialogTemplate();
    // Secure edits first see their own EN_UPDATE and EN_SETFOCUS: only then
    // do their cells hold what the user just typed.
    if (control != nullptr && isSecureEdit(t, id) && (code == EN_UPDATE || code == EN_SETFOCUS)) {
        win32::reflectToSecureEdit(control, code);
        return;
    }
    if (!run.started) return;
    if (id == IDCANCEL && (control == nullptr || code == BN_CLICKED)) {
        // The Cancel button, Esc or the close box.
        HWND cancel = GetDlgItem(dialog, IDCANCEL);
        if (cancel == nullptr || IsWindowEnabled(cancel)) run.logic.onCommand(*run.controls, kDialogCancel, eClicked);
        return;
    }
    eControlKind kind = kindOf(t, id);
    if ((kind == eControlKind::Edit || kind == eControlKind::SecureEdit) && code == EN_CHANGE) {
        run.logic.onCommand(*run.controls, id, eChanged);
    } else if (kind == eControlKind::ListBox && code == LBN_DBLCLK) {
        run.logic.onCommand(*run.controls, id, eDoubleClicked);
    } else if ((kind == eControlKind::Button || kind == eControlKind::CheckBox) && code == BN_CLICKED) {
        // Enter presses the default button even when it is disabled; a user cannot.
        HWND button = GetDlgItem(dialog, id);
        if (button != nullptr && IsWindowEnabled(button)) run.logic.onCommand(*run.controls, id, eClicked);
    }
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        RunningDialog* run = reinterpret_cast<RunningDialog*>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        remember(dialog);
        win32::Win32DialogControls* controls = new win32::Win32DialogControls(dialog, run->logic.dialogTemplate());
        run->controls = controls;
        onInitDialog(dialog, *run);
        return TRUE;  // the first control with a tab stop gets the focus
    }
    RunningDialog* run = reinterpret_cast<RunningDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (run == nullptr) return FALSE;
    switch (message) {
        case WM_COMMAND:
            onCommand(dialog, *run, LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return TRUE;
        case WM_CLOSE:
            onCommand(dialog, *run, IDCANCEL, BN_CLICKED, nullptr);
            return TRUE;
        case kBringToFront:
            SetForegroundWindow(dialog);
            return TRUE;
        case WM_NCDESTROY:
            forget(dialog);
            SetWindowLongPtrA(dialog, DWLP_USER, 0);
            delete run->controls;
            run->controls = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

class Win32Dialogs : public Dialogs {
public:
    int runModal(CDialogLogic& logic, void* parentWindow) override {
        RunningDialog run{logic};
        HINSTANCE instance = static_cast<HINSTANCE>(module().handle());
        HWND owner = innermostOpen();
        if (owner == nullptr) owner = static_cast<HWND>(parentWindow);
        INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(logic.dialogTemplate().resourceId), owner,
                                         dialogProc, reinterpret_cast<LPARAM>(&run));
        delete run.controls;  // when the dialog never got as far as WM_NCDESTROY
        return result > 0 ? static_cast<int>(result) : 0;
    }
    void setHostRequest(HostRequest) override {}
};

}  // namespace

Dialogs* nativeDialogs() {
    static Win32Dialogs instance;
    return &instance;
}

}  // namespace platform
