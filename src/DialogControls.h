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

// Notifications handed to CDialogLogic::onCommand.
enum eControlNotification { eClicked = 0, eChanged = 1 };

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
    virtual void setToolTip(int id, const std::string& text) = 0;
    // Moves a control (dialog units).
    virtual void moveControl(int id, int x, int y, int cx, int cy) = 0;
    // Resizes the dialog's client area (dialog units).
    virtual void resizeDialog(int cx, int cy) = 0;
    virtual void endDialog(int result) = 0;
};

// The behaviour of one dialog.
class CDialogLogic {
public:
    virtual ~CDialogLogic() = default;
    virtual const tDialogTemplate& dialogTemplate() const = 0;
    virtual void onInit(IDialogControls& controls) = 0;
    // A control reported an event (a button click, a change of an edit).
    virtual void onCommand(IDialogControls& controls, int id, eControlNotification what) = 0;
};
