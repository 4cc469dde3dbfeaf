// A model of Double Commander 1.0.10's dialog engine (its fDialogBox unit),
// for tests of the forms and dialogs shown through its extension API.
//
// DialogBoxLFM parses the LFM text the way the tests need it (components,
// names, classes, properties, the handlers named), shows the form (OnShow ->
// DN_INITDIALOG when the LFM names DialogBoxShow) and hands it to the next
// queued user, who types, clicks and picks as a person would. SendDlgMsg
// acts as 1.0.10's does for the messages 0 to 38; a higher message, or a
// name that matches no control of the form (1.0.10 then acts on the form's
// last control), fails the running test. An event reaches the dialog
// procedure only where the LFM names DC's handler for it; a handler on a
// control of the wrong class (DC would raise an invalid cast) fails the test.
// A form left open by its user is closed as by the window's close button.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ExtensionApi.h"

namespace dcmodel {

struct Component {
    std::string name;
    std::string cls;                           // TEdit, TMemo, TLabel, TButton, TCheckBox, TComboBox, TListBox
    std::map<std::string, std::string> props;  // as written in the LFM
    std::string text;                          // Text of edits and memos, Caption of the others
    bool visible = true;
    bool enabled = true;
    bool checked = false;
    std::vector<std::string> items;
    int itemIndex = -1;
    int left = 0, top = 0, width = 0, height = 0;
    int tabOrder = -1;
    bool has(const std::string& prop) const { return props.count(prop) != 0; }
    std::string prop(const std::string& p) const {
        auto it = props.find(p);
        return it != props.end() ? it->second : std::string();
    }
};

class Form {
public:
    std::string name;
    std::map<std::string, std::string> props;
    std::string caption;
    long tag = 0;
    int left = 100, top = 100, width = 0, height = 0;
    std::vector<Component> components;
    bool closed = false;
    int modalResult = 0;
    dcext::tDlgProc proc = nullptr;

    // Null when there is no such control (names compare without case).
    Component* find(const std::string& name);
    Component& at(const std::string& name);  // fails the test when missing

    // The user's side; each is refused (false) where a person could not do it.
    bool type(const std::string& name, const std::string& text);  // replaces the text
    bool click(const std::string& name);                          // buttons; check boxes toggle
    bool pick(const std::string& name, int index);                // list and combo items
    bool doubleClick(const std::string& name, int index);
    bool pressEnter();   // the default button
    bool pressEscape();  // the cancel button
    // What the user sees: the shown edit's text of a secure edit pair.
    bool shown(const std::string& name) { return at(name).visible; }

    // The engine's side.
    std::intptr_t send(const std::string& itemName, std::intptr_t msg, std::intptr_t wParam, std::intptr_t lParam);
    void fire(Component& c, const char* event, std::intptr_t message, std::intptr_t wParam);

    std::string lastText_;  // DC's FText: the text DM_GETTEXT last handed out
    std::int32_t rect_[4] = {0, 0, 0, 0};
};

// Parses LFM text; false with the reason when it is not a form.
bool parse(const std::string& lfm, Form& form, std::string& why);

// The host: install() hands its callbacks to the plug-in's extension state.
class Host {
public:
    using User = std::function<void(Form&)>;
    std::deque<User> users;
    std::vector<std::shared_ptr<Form>> shown;  // every form, as it was when it closed
    struct Box {
        std::string text, caption;
        long flags;
    };
    std::vector<Box> boxes;
    std::deque<int> boxAnswers;           // ID_OK when empty
    int inputBoxes = 0;                   // calls of InputBox: there must be none
    std::vector<std::intptr_t> messages;  // every message sent

    Host();
    ~Host();
    // The structure DC 1.0.10 fills in.
    dcext::tExtensionStartupInfo startupInfo() const;

    static Host* current;
};

}  // namespace dcmodel
