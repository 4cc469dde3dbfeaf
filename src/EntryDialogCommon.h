// What the two entry dialogs ("New Entry" and "View Entry") share: the
// labels and insert buttons of their common layout, the buttons' texts and
// tool tips, and moving field texts between controls and secure strings
// without leaving plain copies behind.
#pragma once

#include <string>
#include <vector>

#include "DialogControls.h"
#include "KeyholdApp.h"
#include "res/resource.h"
#include "security/SecureString.h"

namespace entrydialog {

// Wipes a plain text when it goes out of scope.
class tPlainText {
public:
    tPlainText() = default;
    explicit tPlainText(const CSecureString& secret) {
        CPlainCopy plain(secret);
        if (plain.c_str() != nullptr) text = plain.c_str();
    }
    ~tPlainText() { wipe(); }
    tPlainText(const tPlainText&) = delete;
    tPlainText& operator=(const tPlainText&) = delete;
    void wipe() {
        if (!text.empty()) secureWipe(&text[0], text.size());
        text.clear();
    }
    std::string text;
};

// A button left of the notes that inserts a keyword or placeholder.
struct tInsertButton {
    int id;
    const char* caption;
    int x, y;
    const char* inserts;  // null: the last window found by the hot key
    const char* toolTip;
};

inline const std::vector<tInsertButton>& insertButtons() {
    static const std::vector<tInsertButton> buttons{
        {IDC_INSERT_DELAY, "D", 30, 146, "{DELAY X}", "Delay"},
        {IDC_INSERT_USERNAME, "U", 41, 146, "{USERNAME}", "Username"},
        {IDC_INSERT_LAST_WINDOW, "L", 53, 146, nullptr, "Last window found (via hot key)"},
        {IDC_INSERT_ENTER, "E", 30, 161, "~", "Enter"},
        {IDC_INSERT_PASSWORD, "P", 41, 161, "{PASSWORD}", "Password"},
        {IDC_INSERT_AUTOTYPE, "A", 53, 161, "Auto-Type:", "AutopType"},
        {IDC_INSERT_SPACE, "S", 30, 176, "{SPACE}", "space"},
        {IDC_INSERT_TAB, "T", 41, 176, "{TAB}", "Tab"},
        {IDC_INSERT_AUTOTYPE_WINDOW, "W", 53, 176, "Auto-Type-Window:", "AutoTypeWindow"},
    };
    return buttons;
}

inline const tInsertButton* insertButton(int id) {
    for (const tInsertButton& b : insertButtons()) {
        if (b.id == id) return &b;
    }
    return nullptr;
}

// The text an insert button puts at the caret of the notes.
inline std::string insertedText(const tInsertButton& b) {
    return b.inserts != nullptr ? std::string(b.inserts) : theApp().m_lastWindowTitle;
}

inline void insertInto(IDialogControls& controls, const tInsertButton& b) {
    controls.insertAtCaret(IDC_ENTRY_NOTES, insertedText(b));
}

inline void attachToolTips(IDialogControls& controls) {
    for (const tInsertButton& b : insertButtons()) controls.setToolTip(b.id, b.toolTip);
}

// The labels at the left edge, the fields' names.
constexpr const char* kGroupLabel = "Group:";
constexpr const char* kTitleLabel = "Title:";
constexpr const char* kUserNameLabel = "UserName:";
constexpr const char* kUrlLabel = "URL:";
constexpr const char* kPasswordLabel = "Password:";
constexpr const char* kRepeatLabel = "Repeat Password:";
constexpr const char* kNotesLabel = "Notes:";
constexpr const char* kExpiresLabel = "Expires";
constexpr const char* kExpiryDateLabel = "Expiry date:";

// The yes/no questions of hosts without windows, one for each choice.
constexpr const char* kSetPasswordQuestion = "Set a password for this entry?";
constexpr const char* kShowPasswordQuestion = "Show the password?";
constexpr const char* kChangePasswordQuestion = "Change the password?";
constexpr const char* kModifyQuestion = "Modify this entry?";
constexpr const char* kExpiresQuestion = "Does this entry expire?";

// The static of a label.
inline tControlTemplate label(const char* text, int y, int cx = 56) {
    return {-1, eControlKind::Static, text, 7, y, cx, 8, true, true, ""};
}

inline void appendInsertButtons(std::vector<tControlTemplate>& controls) {
    for (const tInsertButton& b : insertButtons()) {
        tControlTemplate button{b.id, eControlKind::Button, b.caption, b.x, b.y, 11, 14, true, true, ""};
        button.toolTip = b.toolTip;
        controls.push_back(button);
    }
}

// The text of a plain edit into a secret, and back.
// The fields both dialogs share, from the title to the notes with the insert
// buttons beside them. The password fields begin at `passwordX`; the second
// one is `secondPasswordWidth` wide.
inline void appendEntryFields(std::vector<tControlTemplate>& c, int passwordX, int secondPasswordWidth) {
    c.push_back(label(kTitleLabel, 32));
    c.push_back({IDC_ENTRY_TITLE, eControlKind::Edit, "", 66, 29, 211, 15, true, true, kTitleLabel});
    c.push_back(label(kUserNameLabel, 52));
    c.push_back({IDC_ENTRY_USERNAME, eControlKind::Edit, "", 66, 50, 211, 15, true, true, kUserNameLabel});
    c.push_back(label(kUrlLabel, 74));
    c.push_back({IDC_ENTRY_URL, eControlKind::Edit, "", 66, 71, 211, 15, true, true, kUrlLabel});
    c.push_back(label(kPasswordLabel, 96));
    c.push_back(
        {IDC_ENTRY_PASSWORD, eControlKind::SecureEdit, "", passwordX, 92, 171, 15, true, true, kPasswordLabel});
    c.push_back({IDC_ENTRY_PASSWORD_BUTTON, eControlKind::Button, "*****", 239, 92, 36, 14, true, true, ""});
    c.push_back(label(kRepeatLabel, 116, 58));
    c.push_back({IDC_ENTRY_PASSWORD_AGAIN, eControlKind::SecureEdit, "", passwordX, 114, secondPasswordWidth, 15, true,
                 true, kRepeatLabel});
    c.push_back(label(kNotesLabel, 134));
    tControlTemplate notes{IDC_ENTRY_NOTES, eControlKind::Edit, "", 66, 134, 211, 57, true, true, kNotesLabel};
    notes.multiLine = true;
    c.push_back(notes);
    appendInsertButtons(c);
}

inline void readSecret(IDialogControls& controls, int id, CSecureString& out) {
    tPlainText plain;
    plain.text = controls.text(id);
    out.setText(plain.text.c_str());
}

inline void writeSecret(IDialogControls& controls, int id, const CSecureString& secret) {
    tPlainText plain(secret);
    controls.setText(id, plain.text);
}

}  // namespace entrydialog
