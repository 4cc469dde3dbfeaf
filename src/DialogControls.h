// What dialog logic sees of a dialog: its controls by id. The same logic runs
// on real Win32 controls and on an in-memory model that tests (and, on Linux,
// the host's request callback) drive as a user would.
#pragma once

#include <string>
#include <vector>

#include "security/SecureString.h"

// Results and ids of the standard buttons.
constexpr int kDialogOk = 1;
constexpr int kDialogCancel = 2;

// Notifications handed to CDialogLogic::onCommand: a button click; a change
// of an edit (in-memory dialogs report an item picked in a list so too); a
// double click on a list box item, which is selected by then.
enum eControlNotification { eClicked = 0, eChanged = 1, eDoubleClicked = 2 };

enum class eControlKind { Static, Edit, SecureEdit, Button, ListBox, ComboBox, CheckBox };

// One control of a dialog as its template declares it (position and size in
// dialog units). `label` names the field for the user where the control is an
// input; the Linux dialogs ask with it.
struct tControlTemplate {
    int id;
    eControlKind kind;
    std::string text;
    int x, y, cx, cy;
    bool visible;
    bool enabled;
    std::string label;
    bool sorted = false;  // lists that keep their items in order themselves
    bool multiLine = false;  // edits of several lines (Enter makes a new line)
    // The tool tip the dialog gives the control when it opens, for hosts
    // whose forms take their hints once, before the dialog opens.
    std::string toolTip = std::string();
};

struct tDialogTemplate {
    int resourceId;
    std::string title;
    int cx, cy;
    std::vector<tControlTemplate> controls;
    const tControlTemplate* find(int id) const {
        for (const tControlTemplate& c : controls) {
            if (c.id == id) return &c;
        }
        return nullptr;
    }
};

class IDialogControls {
public:
    virtual ~IDialogControls() = default;
    virtual std::string text(int id) = 0;
    virtual void setText(int id, const std::string& text) = 0;
    // The text of a secure edit, kept masked.
    virtual void secureText(int id, CSecureString& out) = 0;
    virtual bool checked(int id) = 0;
    virtual void setChecked(int id, bool on) = 0;
    virtual void enable(int id, bool on) = 0;
    virtual bool isEnabled(int id) = 0;
    virtual void show(int id, bool on) = 0;
    virtual bool isVisible(int id) = 0;
    virtual void setReadOnly(int id, bool on) = 0;
    virtual void insertAtCaret(int id, const std::string& text) = 0;
    virtual void setListItems(int id, const std::vector<std::string>& items) = 0;
    // List boxes: the items with a tool tip each (toolTips[i] belongs to
    // items[i] and stays with it when a sorted list moves it), shown while
    // the mouse rests on the item. Other lists take the items only.
    virtual void setListItems(int id, const std::vector<std::string>& items,
                              const std::vector<std::string>& toolTips) = 0;
    // Drop-down lists and list boxes: select the item with this text (false
    // when there is none) or at this index (-1 selects nothing); the text of
    // the selected item, empty when nothing is selected.
    virtual bool selectItem(int id, const std::string& text) = 0;
    virtual void selectIndex(int id, int index) = 0;
    virtual std::string selectedItem(int id) = 0;
    virtual void setToolTip(int id, const std::string& text) = 0;
    // Secure edits: in secure mode the field shows asterisks and keeps its
    // text masked; in plain mode it shows the text. Switching keeps the text.
    virtual void setSecureMode(int id, bool on) = 0;
    virtual bool isSecureMode(int id) = 0;
    // Puts a secret into a secure edit.
    virtual void setSecureText(int id, const CSecureString& text) = 0;
    virtual void setTitle(const std::string& title) = 0;
    // Moves a control (dialog units).
    virtual void moveControl(int id, int x, int y, int cx, int cy) = 0;
    // Resizes the dialog's client area (dialog units).
    virtual void resizeDialog(int cx, int cy) = 0;
    virtual void endDialog(int result) = 0;
};

// The user of a dialog where there are no windows (Linux): each question is
// one request through the host's request callback, titled with the dialog's
// current title.
class IDialogUser {
public:
    virtual ~IDialogUser() = default;
    virtual IDialogControls& controls() = 0;
    // Asks for the text of an edit (RT_Password for a secure edit, a text
    // request labelled with the field's label and preset with its text
    // otherwise) or of a drop-down list (an item's text). False when the user
    // cancelled; the field is then unchanged. A field that is hidden, disabled
    // or read-only is not asked for (true). An empty answer for a secure edit
    // that holds text keeps that text.
    virtual bool askField(int id) = 0;
    // A yes/no question that names the choice a button or check box makes
    // ("Set a password for this entry?"). A button is clicked on yes; a check
    // box is clicked when the answer differs from its state. Hidden or
    // disabled controls are not asked for (false).
    virtual bool askChoice(int id, const std::string& question) = 0;
    // Shows a text with an OK button; false when the user cancelled.
    virtual bool inform(const std::string& text) = 0;
    // Clicks a button as the user would; false when it is hidden or disabled.
    virtual bool click(int id) = 0;
    virtual bool ended() const = 0;
};

// The behaviour of one dialog.
class CDialogLogic {
public:
    virtual ~CDialogLogic() = default;
    virtual const tDialogTemplate& dialogTemplate() const = 0;
    // The title the dialog opens with. Hosts whose forms take their title
    // once, before the dialog opens, show this one; it is the title onInit
    // sets, where onInit sets one.
    virtual std::string windowTitle() const { return dialogTemplate().title; }
    virtual void onInit(IDialogControls& controls) = 0;
    // A control reported an event (a button click, a change of an edit).
    virtual void onCommand(IDialogControls& controls, int id, eControlNotification what) = 0;
    // The dialog without windows. By default every field the user can fill
    // in is asked for in the template's order, then OK is pressed; while the
    // dialog stays open (a wrong password, say) the fields are asked again.
    virtual void runWithoutWindows(IDialogUser& user);
};
