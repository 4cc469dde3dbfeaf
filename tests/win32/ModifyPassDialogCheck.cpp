// Runs the entry password dialog as a real Win32 dialog and plays its user
// from a second thread: finds the dialog, types into the fields key by key,
// clicks "Encrypt", "Generate", OK and Cancel, reads back what the windows
// show and where they are. Prints "N passed, M failed" and exits non-zero
// when a check failed.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ModifyPassDlg.h"
#include "res/resource.h"
#include "security/SecureString.h"

#include "Checks.h"
#include "DialogUser.h"

namespace {

constexpr int kFirst = IDC_MODIFY_FIRST;
constexpr int kSecond = IDC_MODIFY_SECOND;
constexpr int kSecondLabel = IDC_MODIFY_SECOND_LABEL;
constexpr int kEncrypt = IDC_MODIFY_ENCRYPT;
constexpr int kGenerate = IDC_MODIFY_GENERATE;
const char* const kNotEqual = "Passwords not equal.\nRetype password!";

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The user: sends what a keyboard and a mouse would make the controls receive.
class User : public DialogUser {
public:
    using DialogUser::DialogUser;

    // Types at the caret; a secure field must show nothing but asterisks.
    void type(int id, const std::string& text, bool secure = true) {
        typeKeys(id, text, [&] {
            if (secure) {
                check(onlyAsterisks(shown(id)), "field " + std::to_string(id) + " shows only asterisks while typing");
            }
        });
    }
    // Select everything, then Delete: how a user empties a plain field.
    void erase(int id) {
        focus(id);
        SendMessageA(item(id), EM_SETSEL, 0, -1);
        key(id, VK_DELETE);
    }
    // Dialog units of this dialog in pixels, vertically.
    int pixelsY(int units) {
        RECT r{0, 0, 0, units};
        MapDialogRect(m_dialog, &r);
        return r.bottom;
    }
};

std::string plain(const CSecureString& s) {
    CPlainCopy p(s);
    return p.c_str();
}

CSecureString secret(const char* text) {
    CSecureString s;
    s.setText(text);
    return s;
}

// A password the generator could have made with the plug-in's initial
// options: 12 characters of these 80 (no underline, the blank included).
bool generated(const std::string& s) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789- |!\"#$%&/=?{[]}()";
    return s.size() == 12 && s.find_first_not_of(alphabet) == std::string::npos;
}

// The full dialog as the first run sees it.
struct Layout {
    int clientWidth = 0, clientHeight = 0;
    RECT ok{}, generate{}, cancel{};
};

int run(const char* name, CModifyPassDlg& dialog, const std::function<void(User&)>& play) {
    std::printf("-- %s\n", name);
    std::fflush(stdout);
    std::thread user([&] {
        HWND found = waitForDialog("Enter Password");
        if (!check(found != nullptr, std::string(name) + ": the dialog opens")) return;
        User u(found);
        play(u);
        if (!check(waitUntil([&] { return !IsWindow(found); }, 5000), std::string(name) + ": the dialog ended")) {
            u.giveUp();
        }
    });
    int result = dialog.DoModal();
    user.join();
    return result;
}

// The buttons of the shortened dialog: a quarter button height (3 units)
// below the first field's bottom (36 units), in their own columns; the
// dialog ends two button heights (28 units) below the field.
void checkShortened(User& u, const Layout& full, const std::string& when) {
    check(!u.visible(kSecond) && !u.visible(kSecondLabel), when + ": the second field and its label are hidden");
    check(u.clientHeight() == u.pixelsY(36 + 28), when + ": the dialog ends two button heights below the field");
    check(u.clientHeight() < full.clientHeight, when + ": the dialog is shorter");
    check(u.clientWidth() == full.clientWidth, when + ": the width stays");
    RECT ok = u.rect(IDOK), gen = u.rect(kGenerate), cancel = u.rect(IDCANCEL);
    check(ok.top == u.pixelsY(39) && gen.top == ok.top && cancel.top == ok.top,
          when + ": the three buttons stand a quarter button height below the field");
    check(ok.left == full.ok.left && gen.left == full.generate.left && cancel.left == full.cancel.left,
          when + ": the buttons keep their columns");
    check(ok.bottom - ok.top == full.ok.bottom - full.ok.top, when + ": the buttons keep their size");
    check(ok.bottom <= u.clientHeight(), when + ": the buttons stay inside the dialog");
}

void checkFull(User& u, const Layout& full, const std::string& when) {
    check(u.visible(kSecond) && u.visible(kSecondLabel), when + ": the second field and its label are shown");
    check(u.clientHeight() == full.clientHeight && u.clientWidth() == full.clientWidth,
          when + ": the dialog has its full size");
    check(sameRect(u.rect(IDOK), full.ok) && sameRect(u.rect(kGenerate), full.generate) &&
              sameRect(u.rect(IDCANCEL), full.cancel),
          when + ": the buttons are back in their places");
}

}  // namespace

int main() {
    startWatchdog(120000);

    Layout full;

    {
        CModifyPassDlg dialog(true);
        int r = run("encrypt on, typed twice", dialog, [&](User& u) {
            check(u.checked(kEncrypt), "Encrypt is checked");
            check(u.visible(kSecond) && u.visible(kSecondLabel), "encrypt on shows the second field and its label");
            check(!u.enabled(IDOK), "OK is disabled while the first field is empty");
            full.clientWidth = u.clientWidth();
            full.clientHeight = u.clientHeight();
            full.ok = u.rect(IDOK);
            full.generate = u.rect(kGenerate);
            full.cancel = u.rect(IDCANCEL);
            check(full.clientHeight == u.pixelsY(99) && full.ok.top == u.pixelsY(78),
                  "the full dialog is laid out as the resource says");

            u.type(kFirst, "abc");
            check(u.shown(kFirst) == "***", "the first field shows three asterisks");
            check(u.enabled(IDOK), "OK is enabled once the first field holds text");
            u.type(kSecond, "abd");
            u.click(IDOK);
            check(u.dismissMessageBox() == kNotEqual, "different passwords bring up the message box");
            check(u.open(), "the dialog stays open after different passwords");

            u.shiftKey(kSecond, VK_END);
            check(u.shown(kSecond).empty(), "Shift+End empties the second field");
            u.type(kSecond, "abc");
            u.click(IDOK);
        });
        check(r == IDOK, "equal passwords end the dialog with OK");
        check(plain(dialog.password) == "abc", "the typed password is handed back");
        check(dialog.isEncrypt(), "isEncrypt is on");
    }

    {
        CModifyPassDlg dialog(false);
        dialog.setPassword(secret("old"));
        std::string made;
        int r = run("encrypt off, switched on and off, generated", dialog, [&](User& u) {
            check(!u.checked(kEncrypt), "Encrypt is not checked");
            checkShortened(u, full, "opened with encrypt off");
            check(u.shown(kFirst) == "old", "the preset password is readable in the first field");
            check(u.enabled(IDOK), "with encrypt off OK is enabled at once");

            u.erase(kFirst);
            check(u.shown(kFirst).empty(), "the field was emptied");
            check(u.enabled(IDOK), "an empty field keeps OK enabled with encrypt off");
            u.type(kFirst, "new", false);
            check(u.shown(kFirst) == "new", "plain mode shows what is typed");

            u.press(kEncrypt);
            check(u.checked(kEncrypt), "the click checks Encrypt");
            checkFull(u, full, "after switching encrypt on");
            check(u.shown(kFirst) == "***", "the first field now shows asterisks");
            check(u.shown(kSecond) == "***", "the second field shows the preset as asterisks");
            check(u.enabled(IDOK), "OK stays enabled with text in the first field");

            u.press(kEncrypt);
            check(!u.checked(kEncrypt), "the next click unchecks Encrypt");
            checkShortened(u, full, "after switching encrypt off again");
            check(u.shown(kFirst) == "new", "the first field is readable again");

            u.press(kGenerate);
            made = u.shown(kFirst);
            check(generated(made), "Generate puts a password of the generator into the first field, in clear");
            check(u.shown(kSecond) == made, "and the same into the second field");
            check(u.enabled(IDOK), "OK is enabled after Generate");
            u.click(IDOK);
        });
        check(r == IDOK, "OK ends the dialog");
        check(!made.empty() && plain(dialog.password) == made, "the generated password is handed back");
        check(!dialog.isEncrypt(), "isEncrypt is off");
    }

    {
        CModifyPassDlg dialog(true);
        std::string last;
        int r = run("generate with encrypt on", dialog, [&](User& u) {
            u.press(kGenerate);
            std::string first = u.shown(kFirst);
            check(generated(first), "the generated password is shown in clear");
            check(u.shown(kSecond) == first, "both fields show the same password");
            check(u.enabled(IDOK), "OK is enabled after Generate");
            u.press(kGenerate);
            last = u.shown(kFirst);
            check(generated(last) && last != first, "a second press gives another password");
            check(u.shown(kSecond) == last, "both fields follow the second press");
            u.click(IDOK);
        });
        check(r == IDOK, "a generated password is accepted at once");
        check(!last.empty() && plain(dialog.password) == last, "the last generated password is handed back");
        check(dialog.isEncrypt(), "isEncrypt stays on");
    }

    {
        CModifyPassDlg dialog(true);
        dialog.setPassword(secret("keep"));
        int r = run("cancel", dialog, [&](User& u) {
            check(u.shown(kFirst) == "****" && u.shown(kSecond) == "****", "the preset shows as asterisks in both fields");
            check(u.enabled(IDOK), "a preset enables OK");
            u.type(kFirst, "x");
            check(u.shown(kFirst) == "*****", "typing adds to the preset");
            u.click(IDCANCEL);
        });
        check(r == IDCANCEL, "Cancel ends the dialog with IDCANCEL");
        check(dialog.password.isEmpty(), "Cancel hands back no password");
    }

    {
        CModifyPassDlg dialog(true);
        int r = run("disabled OK", dialog, [&](User& u) {
            u.click(IDOK);
            Sleep(200);
            check(u.open(), "a click on the disabled OK leaves the dialog open");
            PostMessageA(GetParent(u.item(IDOK)), WM_CLOSE, 0, 0);
        });
        check(r == IDCANCEL, "the close box ends the dialog with IDCANCEL");
    }

    {
        CModifyPassDlg dialog(false);
        int r = run("empty password with encrypt off", dialog, [&](User& u) {
            check(u.shown(kFirst).empty(), "no preset: the field is empty");
            check(u.enabled(IDOK), "OK is enabled");
            u.click(IDOK);
        });
        check(r == IDOK, "an empty password is accepted with encrypt off");
        check(dialog.password.isEmpty() && !dialog.isEncrypt(), "an empty password and encrypt off are handed back");
    }

    std::printf("%d passed, %d failed\n", g_passed.load(), g_failed.load());
    std::fflush(stdout);
    return g_failed.load() == 0 ? 0 : 1;
}
