// Dialog controls of a Double Commander form, reached through the extension
// API's SendDlgMsg: the same dialog logic that runs on Win32 controls runs on
// a form DC shows with DialogBoxLFM (its text from DialogForm_dc).
//
// DC 1.0.10 knows the dialog messages 0 to 38 only, so some operations are
// made of others:
// - read-only edits are disabled (DM_ENABLE);
// - a secure edit is a masked edit and a plain one in the same place; the
//   text lives in the one shown, and switching moves it (DM_SETTEXT) and
//   swaps them (DM_SHOWITEM);
// - text inserted "at the caret" of the notes is appended to their end;
// - a list is emptied by deleting its items from the last one;
// - a list's item tool tips show in the notes box under the list, for the
//   selected item;
// - the title is the form's caption, given when the form is made.
// Events the dialog procedure receives while a message of ours is under way
// come from our own change and are not handed on: the logic hears of what
// the user did only, as with the in-memory controls.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "DialogControls.h"
#include "ExtensionApi.h"

namespace platform {

class DcDialogControls : public IDialogControls {
public:
    // `send` is the host's SendDlgMsg. `listNotes`: list tool tips show in a
    // notes box (the form was made so).
    DcDialogControls(CDialogLogic& logic, dcext::tDlgProc send, bool listNotes);
    ~DcDialogControls() override;
    DcDialogControls(const DcDialogControls&) = delete;
    DcDialogControls& operator=(const DcDialogControls&) = delete;

    // The form DC made for this dialog.
    void attach(std::uintptr_t dialog) { m_dialog = dialog; }
    // An event of the form (the dialog procedure).
    void event(const char* itemName, std::intptr_t message);
    bool initialized() const { return m_initialized; }
    bool ended() const { return m_ended; }
    int result() const { return m_result; }

    // IDialogControls
    std::string text(int id) override;
    void setText(int id, const std::string& text) override;
    void secureText(int id, CSecureString& out) override;
    bool checked(int id) override;
    void setChecked(int id, bool on) override;
    void enable(int id, bool on) override;
    bool isEnabled(int id) override;
    void show(int id, bool on) override;
    bool isVisible(int id) override;
    void setReadOnly(int id, bool on) override;
    void insertAtCaret(int id, const std::string& text) override;
    void setListItems(int id, const std::vector<std::string>& items) override;
    void setListItems(int id, const std::vector<std::string>& items, const std::vector<std::string>& toolTips) override;
    bool selectItem(int id, const std::string& text) override;
    void selectIndex(int id, int index) override;
    std::string selectedItem(int id) override;
    void setToolTip(int id, const std::string& text) override;
    void setSecureMode(int id, bool on) override;
    bool isSecureMode(int id) override;
    void setSecureText(int id, const CSecureString& text) override;
    void setTitle(const std::string& title) override;
    void moveControl(int id, int x, int y, int cx, int cy) override;
    void resizeDialog(int cx, int cy) override;
    void endDialog(int result) override;

private:
    struct Control {
        tControlTemplate tpl;
        std::string name;       // the control (the masked edit of a secure edit)
        std::string plainName;  // secure edits: the plain twin
        std::string notesName;  // list boxes with notes: the box under them
        bool visible = true;
        bool enabled = true;
        bool readOnly = false;
        bool secureMode = true;
        std::vector<std::string> items;
        std::vector<std::string> toolTips;
    };

    std::intptr_t send(const std::string& name, std::intptr_t message, std::intptr_t wParam = 0,
                       std::intptr_t lParam = 0);
    std::intptr_t sendText(const std::string& name, std::intptr_t message, const std::string& text);
    // DM_GETTEXT: a copy of the text (the host keeps its own until the next one).
    std::string getText(const std::string& name);
    Control& at(int id);
    // The edit of a secure edit that holds its text now.
    const std::string& holder(const Control& c) const { return c.secureMode ? c.name : c.plainName; }
    void applyEnabled(const Control& c);
    void applyVisible(const Control& c);
    void fillList(Control& c, const std::vector<std::string>& items, const std::vector<std::string>* toolTips);
    void updateNotes(const Control& c);
    void clearSecrets();

    CDialogLogic& m_logic;
    dcext::tDlgProc m_send;
    std::uintptr_t m_dialog = 0;
    std::map<int, Control> m_controls;
    std::map<std::string, int> m_byName;  // every name of the form, to its control's id
    int m_sending = 0;
    bool m_initialized = false;
    bool m_ended = false;
    int m_result = 0;
};

}  // namespace platform
