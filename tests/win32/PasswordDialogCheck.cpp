// Runs the master password dialog as a real Win32 dialog and plays its user
// from a second thread: finds the dialog, types into the fields key by key,
// clicks, reads back what the windows show. Prints "N passed, M failed" and
// exits non-zero when a check failed.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "PassWordDlg.h"
#include "security/SecureString.h"

#include "Checks.h"
#include "DialogUser.h"

namespace {

// The user: sends what a keyboard and a mouse would make the edit receive.
class User : public DialogUser {
public:
    using DialogUser::DialogUser;

    // Types at the caret; a secure field shows nothing but asterisks meanwhile.
    void type(int id, const std::string& text) {
        typeKeys(id, text, [&] {
            check(onlyAsterisks(shown(id)), "field " + std::to_string(id) + " shows only asterisks while typing");
        });
    }
    // Backspace: the key does nothing itself, the character it makes deletes.
    void backspace(int id) {
        HWND edit = item(id);
        SendMessageA(edit, WM_KEYDOWN, VK_BACK, 1);
        SendMessageA(edit, WM_CHAR, '\b', 1);
        SendMessageA(edit, WM_KEYUP, VK_BACK, 0xC0000001);
    }
    // Tools of the tool-tip window the dialog owns; -1 when it has none.
    int toolTipCount() {
        HWND tip = ownedToolTip(m_dialog);
        return tip != nullptr ? static_cast<int>(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0)) : -1;
    }
};

const char* const kNotEqual = "Passwords not equal.\nRetype password!";

bool isStore(const CSecureString& candidate) {
    CPlainCopy p(candidate);
    return std::strcmp(p.c_str(), "right") == 0;
}

std::string plain(const CSecureString& s) {
    CPlainCopy p(s);
    return p.c_str();
}

struct Layout {
    int clientHeight = 0;
    RECT ok{}, first{};
};

// Shows the dialog in `mode`; `play` is the user, on its own thread.
int run(const char* name, int mode, CSecureString& master, const std::function<void(User&)>& play) {
    std::printf("-- %s\n", name);
    std::fflush(stdout);
    CPassWordDlg dialog(master, isStore);
    dialog.setMode(mode);
    std::thread user([&] {
        HWND found = waitForDialog("Enter Password");
        if (!check(found != nullptr, std::string(name) + ": the dialog opens")) return;
        User u(found);
        play(u);
        // Whatever happened, the dialog must have ended now.
        if (!check(waitUntil([&] { return !IsWindow(found); }, 5000), std::string(name) + ": the dialog ended")) {
            u.giveUp();
        }
    });
    int result = dialog.DoModal(nullptr);
    user.join();
    return result;
}

}  // namespace

int main() {
    startWatchdog(120000);

    CSecureString master;
    Layout twoFields;

    int r = run("new password", 1, master, [&](User& u) {
        check(u.visible(IDC_PASSWORD_SECOND) && u.visible(IDC_PASSWORD_SECOND_LABEL),
              "mode 1 shows the second field and its label");
        check(!u.enabled(IDOK), "OK is disabled while the first field is empty");
        check(u.toolTipCount() == 1, "mode 1 gives the second field its tool tip");
        twoFields.clientHeight = u.clientHeight();
        twoFields.ok = u.rect(IDOK);
        twoFields.first = u.rect(IDC_PASSWORD_FIRST);

        u.type(IDC_PASSWORD_FIRST, "a");
        check(u.enabled(IDOK), "OK is enabled after the first character");
        u.type(IDC_PASSWORD_FIRST, "bc");
        // Caret between b and c: the next character lands there in the secret.
        u.key(IDC_PASSWORD_FIRST, VK_LEFT);
        u.type(IDC_PASSWORD_FIRST, "X");
        check(u.shown(IDC_PASSWORD_FIRST) == "****", "the first field shows four asterisks");

        // A mouse selection does not outlive the button.
        HWND first = u.item(IDC_PASSWORD_FIRST);
        SendMessageA(first, EM_SETSEL, 0, 3);
        SendMessageA(first, WM_LBUTTONUP, 0, 0);
        DWORD s = 0, e = 0;
        SendMessageA(first, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        check(s == e, "no selection after the mouse button is released");

        u.type(IDC_PASSWORD_SECOND, "abc");
        u.click(IDOK);
        check(u.dismissMessageBox() == kNotEqual, "different passwords bring up the message box");
        check(u.open(), "the dialog stays open after different passwords");

        u.shiftKey(IDC_PASSWORD_SECOND, VK_END);
        check(u.shown(IDC_PASSWORD_SECOND).empty(), "Shift+End empties the second field");
        u.type(IDC_PASSWORD_SECOND, "abXc");
        u.click(IDOK);
    });
    check(r == IDOK, "equal passwords end the dialog with OK");
    check(plain(master) == "abXc", "the master password is what was typed, caret moves included");

    r = run("existing password", 0, master, [&](User& u) {
        check(!u.visible(IDC_PASSWORD_SECOND) && !u.visible(IDC_PASSWORD_SECOND_LABEL),
              "mode 0 hides the second field and its label");
        check(!u.enabled(IDOK), "OK is disabled while the field is empty");
        check(u.clientHeight() < twoFields.clientHeight, "mode 0 is shorter than mode 1");
        RECT ok = u.rect(IDOK), first = u.rect(IDC_PASSWORD_FIRST);
        check(ok.top >= first.bottom && ok.top < twoFields.ok.top, "the buttons move up below the first field");
        RECT cancel = u.rect(IDCANCEL);
        check(cancel.top == ok.top, "both buttons move");
        RECT client{};
        GetClientRect(GetParent(u.item(IDOK)), &client);
        check(ok.bottom <= client.bottom, "the buttons stay inside the dialog");

        u.type(IDC_PASSWORD_FIRST, "wrong");
        check(u.shown(IDC_PASSWORD_FIRST) == "*****", "the field shows five asterisks");
        u.click(IDOK);
        check(u.dismissMessageBox() == kNotEqual, "a wrong password brings up the message box");
        check(u.open(), "the dialog stays open after a wrong password");
        check(plain(master) == "abXc", "a wrong password does not touch the master password");

        u.shiftKey(IDC_PASSWORD_FIRST, VK_END);
        check(u.shown(IDC_PASSWORD_FIRST).empty(), "Shift+End empties the field");
        check(!u.enabled(IDOK), "an emptied field disables OK again");
        u.type(IDC_PASSWORD_FIRST, "xy");
        u.shiftKey(IDC_PASSWORD_FIRST, VK_HOME);
        check(u.shown(IDC_PASSWORD_FIRST).empty(), "Shift+Home empties the field");

        u.type(IDC_PASSWORD_FIRST, "rihgt");
        u.key(IDC_PASSWORD_FIRST, VK_LEFT);
        u.key(IDC_PASSWORD_FIRST, VK_LEFT);
        u.backspace(IDC_PASSWORD_FIRST);  // "ri|gt"
        u.key(IDC_PASSWORD_FIRST, VK_RIGHT);
        u.type(IDC_PASSWORD_FIRST, "hx");  // "righx|t"
        u.key(IDC_PASSWORD_FIRST, VK_LEFT);
        u.key(IDC_PASSWORD_FIRST, VK_DELETE);  // "righ|t"
        check(u.shown(IDC_PASSWORD_FIRST) == "*****", "after the corrections the field shows five asterisks");
        u.click(IDOK);
    });
    check(r == IDOK, "the right password ends the dialog with OK");
    check(plain(master) == "right", "the master password holds the typed text");

    r = run("cancel", 0, master, [&](User& u) {
        u.type(IDC_PASSWORD_FIRST, "something");
        u.click(IDCANCEL);
    });
    check(r == IDCANCEL, "Cancel ends the dialog with IDCANCEL");
    check(plain(master) == "right", "Cancel leaves the master password alone");

    r = run("close box", 1, master, [&](User& u) { PostMessageA(GetParent(u.item(IDOK)), WM_CLOSE, 0, 0); });
    check(r == IDCANCEL, "the close box ends the dialog with IDCANCEL");

    r = run("disabled OK", 0, master, [&](User& u) {
        u.click(IDOK);  // nothing may happen: the button is disabled
        Sleep(200);
        check(u.open(), "a click on the disabled OK leaves the dialog open");
        u.click(IDCANCEL);
    });
    check(r == IDCANCEL, "the dialog with the disabled OK was cancelled");

    std::printf("%d passed, %d failed\n", g_passed.load(), g_failed.load());
    std::fflush(stdout);
    return g_failed.load() == 0 ? 0 : 1;
}
