// Runs the entry dialogs ("New Entry" and "View Entry") as real Win32
// dialogs and plays their user from a second thread: types into the fields,
// picks a folder in the drop-down list, clicks "&Modify", "*****", the insert
// buttons, OK and Cancel, drives the "Enter Password" dialog that "*****"
// opens ("Encrypt", "Generate", OK), and reads back what the windows show:
// enablement, read-only state, hidden and shown controls, texts, the window
// title and the tool tips. What the dialogs hand back is decrypted with the
// security functions. Prints "N passed, M failed" and exits non-zero when a
// check failed.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"

#include "Checks.h"
#include "DialogUser.h"
#include "EntryDialogsCheck.h"

namespace {

const char* const kBadTitle = "A title cannot contain \"\\\" or \"/\".";

struct tInsert {
    int id;
    const char* inserts;
    const char* toolTip;
};

const tInsert kInserts[] = {
    {IDC_INSERT_LAST_WINDOW, "the last window", "Last window found (via hot key)"},
    {IDC_INSERT_AUTOTYPE, "Auto-Type:", "AutopType"},
    {IDC_INSERT_AUTOTYPE_WINDOW, "Auto-Type-Window:", "AutoTypeWindow"},
    {IDC_INSERT_USERNAME, "{USERNAME}", "Username"},
    {IDC_INSERT_PASSWORD, "{PASSWORD}", "Password"},
    {IDC_INSERT_TAB, "{TAB}", "Tab"},
    {IDC_INSERT_DELAY, "{DELAY X}", "Delay"},
    {IDC_INSERT_ENTER, "~", "Enter"},
    {IDC_INSERT_SPACE, "{SPACE}", "space"},
};

// The user: sends what a keyboard and a mouse would make the controls receive.
class User : public DialogUser {
public:
    using DialogUser::DialogUser;

    // Types at the caret (tabbing there selects a field's text: typing
    // replaces it).
    void type(int id, const std::string& text) { typeKeys(id, text); }
    // Everything selected, then typed over.
    void retype(int id, const std::string& text) {
        focus(id);
        SendMessageA(item(id), EM_SETSEL, 0, -1);
        type(id, text);
    }
    void caretTo(int id, int at) { SendMessageA(item(id), EM_SETSEL, at, at); }
    bool exists(int id) { return item(id) != nullptr; }
    bool readOnly(int id) { return (GetWindowLongA(item(id), GWL_STYLE) & ES_READONLY) != 0; }
    std::string title() { return textOf(m_dialog); }
    std::vector<std::string> listItems(int id) {
        std::vector<std::string> items;
        LRESULT n = SendMessageA(item(id), CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            char buffer[512] = {};
            SendMessageA(item(id), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
            items.push_back(buffer);
        }
        return items;
    }
    int listSelection(int id) { return static_cast<int>(SendMessageA(item(id), CB_GETCURSEL, 0, 0)); }
    // Picks an item of the drop-down list as the keyboard would.
    void pick(int id, const std::string& text) {
        focus(id);
        SendMessageA(item(id), CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
    }
    // The tool tips of the dialog: their number, and the text of one control's.
    int toolCount() {
        HWND tip = ownedToolTip(m_dialog);
        return tip != nullptr ? static_cast<int>(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0)) : -1;
    }
    std::string toolText(int id) {
        HWND tip = ownedToolTip(m_dialog);
        if (tip == nullptr) return std::string();
        char buffer[256] = {};
        TTTOOLINFOA info{};
        info.cbSize = TTTOOLINFOA_V2_SIZE;
        info.hwnd = m_dialog;
        info.uId = reinterpret_cast<UINT_PTR>(item(id));
        info.lpszText = buffer;
        SendMessageA(tip, TTM_GETTEXTA, sizeof buffer, reinterpret_cast<LPARAM>(&info));
        return buffer;
    }
    // Ends the dialog whatever state a failed check left it in.
    void giveUp() { DialogUser::giveUp({"Enter Password"}); }
};

// "*****" opens "Enter Password": checks it belongs to the entry dialog,
// sets "Encrypt", presses "Generate" (or types `typed`) and OK. The
// password it gave, or "" when it did not open.
std::string setPassword(User& entry, bool encrypt, const std::string& typed, const std::string& expectPreset) {
    entry.click(IDC_ENTRY_PASSWORD_BUTTON);
    HWND found = waitForDialog("Enter Password");
    if (!check(found != nullptr, "\"*****\" opens \"Enter Password\"")) return std::string();
    User pass(found);
    check(GetWindow(found, GW_OWNER) == entry.dialog(), "the password dialog belongs to the entry dialog");
    check(!IsWindowEnabled(entry.dialog()), "the entry dialog waits while the password dialog is open");
    if (!expectPreset.empty()) {
        const std::string shown = pass.shown(IDC_MODIFY_FIRST);
        check(shown == expectPreset || (onlyAsterisks(shown) && shown.size() == expectPreset.size()),
              "the password dialog shows the entry's password");
    }
    if (pass.checked(IDC_MODIFY_ENCRYPT) != encrypt) pass.press(IDC_MODIFY_ENCRYPT);
    std::string password = typed;
    if (typed.empty()) {
        pass.press(IDC_MODIFY_GENERATE);
        password = pass.shown(IDC_MODIFY_FIRST);
        check(password.size() == 12 && !onlyAsterisks(password), "Generate shows a new password in clear");
    } else {
        pass.retype(IDC_MODIFY_FIRST, typed);
        if (pass.visible(IDC_MODIFY_SECOND)) pass.retype(IDC_MODIFY_SECOND, typed);
    }
    pass.click(IDOK);
    if (!check(waitUntil([&] { return !IsWindow(found); }, 5000), "the password dialog ends with OK")) pass.giveUp();
    waitUntil([&] { return IsWindowEnabled(entry.dialog()) != FALSE; }, 2000);
    return password;
}

void checkToolTips(User& u, const std::string& name) {
    check(u.toolCount() == 9, name + ": nine tool tips");
    for (const tInsert& b : kInserts) {
        check(u.toolText(b.id) == b.toolTip, name + ": tool tip of " + u.shown(b.id) + " is \"" + b.toolTip + "\"");
    }
}

// Shows a dialog with `show`; `play` is the user, on its own thread.
tEntryOutcome run(const char* name, const std::string& title, const std::function<tEntryOutcome()>& show,
                  const std::function<void(User&)>& play) {
    std::printf("-- %s\n", name);
    std::fflush(stdout);
    std::thread user([&] {
        HWND found = waitForDialog(title);
        if (!check(found != nullptr, std::string(name) + ": the dialog \"" + title + "\" opens")) return;
        User u(found);
        play(u);
        if (!check(waitUntil([&] { return !IsWindow(found); }, 5000), std::string(name) + ": the dialog ended")) {
            u.giveUp();
        }
    });
    tEntryOutcome out = show();
    user.join();
    return out;
}

}  // namespace

int main() {
    startWatchdog(180000);

    check(prepareStore(), "the store loads");
    auto newEntry = [](const std::string& preset) { return [preset] { return showNewEntry(preset); }; };
    auto viewEntry = [](bool encrypted) { return [encrypted] { return showViewEntry(encrypted); }; };

    // ---- New Entry from the top: every folder, a generated password, encrypted.
    std::string password;
    tEntryOutcome out = run("new entry", "New Entry", newEntry(""), [&](User& u) {
        check(!u.enabled(IDOK), "OK is disabled while the title is empty");
        check(u.listItems(IDC_ENTRY_GROUP_LIST) ==
                  std::vector<std::string>{"\\bank", "\\Mail", "\\Mail\\Work", "\\Zeta"},
              "the group list offers every folder, sorted");
        check(u.listSelection(IDC_ENTRY_GROUP_LIST) == 0, "the first folder is selected");
        check(u.enabled(IDC_ENTRY_GROUP_LIST), "the group list can be changed");
        check(u.readOnly(IDC_ENTRY_PASSWORD) && u.readOnly(IDC_ENTRY_PASSWORD_AGAIN),
              "the password fields are read-only");
        check(!u.readOnly(IDC_ENTRY_TITLE) && !u.readOnly(IDC_ENTRY_NOTES) && !u.readOnly(IDC_ENTRY_EXPIRY_DATE),
              "title, notes and expiry date are writable");
        check(!u.visible(IDC_ENTRY_HIDDEN), "the hidden edit is hidden");
        check(!u.exists(IDC_ENTRY_MODIFY) && !u.exists(IDC_ENTRY_GROUP), "no Modify button, no group edit");
        check(u.shown(IDOK) == "OK" && u.shown(IDC_ENTRY_PASSWORD_BUTTON) == "*****", "button texts");
        checkToolTips(u, "New Entry");

        u.type(IDC_ENTRY_TITLE, "G");
        check(u.enabled(IDOK), "a title enables OK");
        u.focus(IDC_ENTRY_TITLE);
        SendMessageA(u.item(IDC_ENTRY_TITLE), EM_SETSEL, 0, -1);
        SendMessageA(u.item(IDC_ENTRY_TITLE), WM_CLEAR, 0, 0);
        check(u.shown(IDC_ENTRY_TITLE).empty() && !u.enabled(IDOK), "an emptied title disables OK again");
        u.type(IDC_ENTRY_TITLE, "Giro/x");
        u.type(IDC_ENTRY_USERNAME, "ann");
        u.type(IDC_ENTRY_URL, "http://bank.example");
        u.type(IDC_ENTRY_NOTES, "pin 1234");
        u.caretTo(IDC_ENTRY_NOTES, 0);
        u.press(IDC_INSERT_AUTOTYPE);
        check(u.shown(IDC_ENTRY_NOTES) == "Auto-Type:pin 1234", "\"A\" inserts at the caret");
        u.caretTo(IDC_ENTRY_NOTES, 1000);
        u.press(IDC_INSERT_LAST_WINDOW);
        check(u.shown(IDC_ENTRY_NOTES) == "Auto-Type:pin 1234the last window", "\"L\" inserts the last window");

        password = setPassword(u, true, "", "");
        check(onlyAsterisks(u.shown(IDC_ENTRY_PASSWORD)) && u.shown(IDC_ENTRY_PASSWORD).size() == password.size() &&
                  u.shown(IDC_ENTRY_PASSWORD_AGAIN) == u.shown(IDC_ENTRY_PASSWORD),
              "an encrypted password shows asterisks in both fields");

        u.pick(IDC_ENTRY_GROUP_LIST, "\\Mail\\Work");
        check(u.listSelection(IDC_ENTRY_GROUP_LIST) == 2, "the user picks a folder");
        u.press(IDC_ENTRY_EXPIRES);
        check(u.checked(IDC_ENTRY_EXPIRES), "Expires is checked");
        u.type(IDC_ENTRY_EXPIRY_DATE, "2031-01-01");

        u.click(IDOK);
        check(u.dismissMessageBox() == kBadTitle, "a title with a slash is refused with a message");
        check(u.open(), "the dialog stays open after a refused title");
        u.retype(IDC_ENTRY_TITLE, "Giro");
        u.click(IDOK);
    });
    check(out.result == IDOK, "New Entry ends with OK");
    check(out.chosenPath == "\\Mail\\Work" && out.chosenName == "Work", "the chosen folder is handed back");
    check(out.idForDir == 3, "the chosen folder's number");
    check(out.encrypted && out.encryptedFields == 6 && out.expires, "the new entry is encrypted, field by field");
    check(out.number != 0, "the new entry has a number");
    check(out.password == password, "the generated password is stored");
    check(out.userName == "ann" && out.url == "http://bank.example", "user name and URL are stored");
    check(out.notes == "Auto-Type:pin 1234the last window", "the notes are stored");
    check(out.expiry == "2031-01-01" && out.title == "Giro", "expiry date and title are stored");

    // ---- New Entry from a folder: the group is fixed; a plain password; Cancel.
    out = run("new entry in a folder", "New Entry", newEntry("\\Mail"), [&](User& u) {
        check(u.listItems(IDC_ENTRY_GROUP_LIST) == std::vector<std::string>{"\\Mail"},
              "only the preset folder is offered");
        check(!u.enabled(IDC_ENTRY_GROUP_LIST), "the group list is disabled");
        setPassword(u, false, "open pw", "");
        check(u.shown(IDC_ENTRY_PASSWORD) == "open pw" && u.shown(IDC_ENTRY_PASSWORD_AGAIN) == "open pw",
              "a password without encryption is shown in clear");
        u.click(IDCANCEL);
    });
    check(out.result == IDCANCEL, "Cancel ends New Entry with IDCANCEL");

    // ---- A megabyte of notes: text past the edit's usual limit still goes in.
    std::string notes;
    while (notes.size() < 1024 * 1024) notes += "a line of notes, as long as lines of notes are " + std::to_string(notes.size()) + "\r\n";
    out = run("megabyte of notes", "New Entry", newEntry(""), [&](User& u) {
        SetWindowTextA(u.item(IDC_ENTRY_NOTES), notes.c_str());
        u.caretTo(IDC_ENTRY_NOTES, 0x7FFFFFFF);
        u.press(IDC_INSERT_TAB);
        check(u.shown(IDC_ENTRY_NOTES).size() == notes.size() + 5, "an insert button adds to a megabyte of notes");
        u.type(IDC_ENTRY_TITLE, "Big");
        u.click(IDOK);
    });
    check(out.result == IDOK && !out.encrypted, "a megabyte of notes is accepted");
    check(out.notes == notes + "{TAB}", "the megabyte of notes is handed back whole");

    // ---- View Entry of an encrypted entry: reveal, Modify, a new password, OK.
    out = run("view and modify", "View/Modify entry 42", viewEntry(true), [&](User& u) {
        check(u.title() == "View/Modify entry 42", "the title shows the entry's number");
        check(u.shown(IDC_ENTRY_PASSWORD) == "*******" && u.shown(IDC_ENTRY_PASSWORD_AGAIN) == "*******",
              "an encrypted password shows asterisks");
        check(u.shown(IDC_ENTRY_GROUP) == "bank" && u.shown(IDC_ENTRY_TITLE) == "Giro" &&
                  u.shown(IDC_ENTRY_USERNAME) == "ann" && u.shown(IDC_ENTRY_URL) == "http://bank.example" &&
                  u.shown(IDC_ENTRY_NOTES) == "pin 1234" && u.shown(IDC_ENTRY_EXPIRY_DATE) == "2031-01-01",
              "the fields show the decrypted entry");
        bool allReadOnly = true;
        for (int id : {IDC_ENTRY_GROUP, IDC_ENTRY_TITLE, IDC_ENTRY_USERNAME, IDC_ENTRY_URL, IDC_ENTRY_PASSWORD,
                       IDC_ENTRY_PASSWORD_AGAIN, IDC_ENTRY_NOTES, IDC_ENTRY_EXPIRY_DATE}) {
            allReadOnly = allReadOnly && u.readOnly(id);
        }
        check(allReadOnly, "every field is read-only before Modify");
        check(!u.enabled(IDC_ENTRY_EXPIRES) && u.checked(IDC_ENTRY_EXPIRES), "Expires is checked and disabled");
        check(!u.visible(IDCANCEL) && u.enabled(IDC_ENTRY_MODIFY) && u.shown(IDOK) == "&OK",
              "Cancel is hidden, Modify enabled");
        check(!u.exists(IDC_ENTRY_GROUP_LIST), "no group list");
        checkToolTips(u, "View Entry");

        u.press(IDC_ENTRY_PASSWORD_BUTTON);
        check(u.shown(IDC_ENTRY_PASSWORD) == "hunter2" && u.shown(IDC_ENTRY_PASSWORD_AGAIN) == "hunter2",
              "\"*****\" reveals the password");
        u.press(IDC_ENTRY_PASSWORD_BUTTON);
        check(u.shown(IDC_ENTRY_PASSWORD) == "*******", "\"*****\" hides it again");
        u.press(IDC_INSERT_AUTOTYPE);
        check(u.shown(IDC_ENTRY_NOTES) == "pin 1234", "insert buttons do nothing before Modify");

        u.press(IDC_ENTRY_MODIFY);
        check(!u.readOnly(IDC_ENTRY_USERNAME) && !u.readOnly(IDC_ENTRY_URL) && !u.readOnly(IDC_ENTRY_NOTES) &&
                  !u.readOnly(IDC_ENTRY_EXPIRY_DATE),
              "Modify makes user name, URL, notes and expiry date writable");
        check(u.readOnly(IDC_ENTRY_TITLE) && u.readOnly(IDC_ENTRY_GROUP) && u.readOnly(IDC_ENTRY_PASSWORD),
              "title, group and password stay read-only");
        check(u.enabled(IDC_ENTRY_EXPIRES) && u.visible(IDCANCEL) && !u.enabled(IDC_ENTRY_MODIFY),
              "Modify enables Expires, shows Cancel and disables itself");
        u.press(IDC_ENTRY_EXPIRES);
        check(u.readOnly(IDC_ENTRY_EXPIRY_DATE), "unchecking Expires makes the date read-only");
        u.press(IDC_ENTRY_EXPIRES);
        check(!u.readOnly(IDC_ENTRY_EXPIRY_DATE), "checking it makes the date writable");

        u.retype(IDC_ENTRY_USERNAME, "bob");
        u.caretTo(IDC_ENTRY_NOTES, 3);
        u.press(IDC_INSERT_TAB);
        check(u.shown(IDC_ENTRY_NOTES) == "pin{TAB} 1234", "after Modify an insert button inserts at the caret");
        password = setPassword(u, true, "", "hunter2");
        check(onlyAsterisks(u.shown(IDC_ENTRY_PASSWORD)) && u.shown(IDC_ENTRY_PASSWORD).size() == 12,
              "the new password shows asterisks");
        u.click(IDOK);
    });
    check(out.result == IDOK && out.modified == 1, "OK after Modify: modified");
    check(out.number == 42 && out.title == "Giro" && out.encrypted, "the entry keeps its number and title");
    check(out.encryptedFields == 6, "every field comes back encrypted");
    check(out.userName == "bob", "the new user name comes back");
    check(out.notes == "pin{TAB} 1234", "the new notes come back");
    check(out.password == password, "the new password comes back");
    check(out.url == "http://bank.example" && out.expiry == "2031-01-01" && out.expires,
          "URL and expiry date come back");

    // ---- View Entry of a plain entry: readable password, "*****" disabled, OK unmodified.
    out = run("view plain entry", "View/Modify entry 7", viewEntry(false), [&](User& u) {
        check(u.shown(IDC_ENTRY_PASSWORD) == "hunter2" && u.shown(IDC_ENTRY_PASSWORD_AGAIN) == "hunter2",
              "a plain password is shown in clear");
        check(!u.enabled(IDC_ENTRY_PASSWORD_BUTTON), "\"*****\" is disabled for a plain entry");
        u.type(IDC_ENTRY_USERNAME, "x");
        check(u.shown(IDC_ENTRY_USERNAME) == "ann", "a read-only field takes no typing");
        u.click(IDOK);
    });
    check(out.result == IDOK && out.modified == 0, "OK without Modify leaves modified at 0");

    // ---- View Entry: Modify, then Cancel; and the close box before Modify.
    out = run("modify then cancel", "View/Modify entry 42", viewEntry(true), [&](User& u) {
        u.press(IDC_ENTRY_MODIFY);
        u.retype(IDC_ENTRY_USERNAME, "bob");
        u.click(IDCANCEL);
    });
    check(out.result == IDCANCEL && out.modified == 0, "Cancel after Modify resets modified");
    out = run("close box", "View/Modify entry 42", viewEntry(true),
              [&](User& u) { PostMessageA(u.dialog(), WM_CLOSE, 0, 0); });
    check(out.result == IDCANCEL && out.modified == 0, "the close box ends View Entry with IDCANCEL");

    std::printf("%d passed, %d failed\n", g_passed.load(), g_failed.load());
    std::fflush(stdout);
    return g_failed.load() == 0 ? 0 : 1;
}
