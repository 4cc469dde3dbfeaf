// Dialog controls in memory: the dialog as a user sees it, without windows.
// A test (or the Linux dialogs) types into edits and clicks buttons; the
// dialog's logic reacts exactly as it does on real controls.
#pragma once

#include <map>

#include "DialogControls.h"

namespace platform {

class MemoryDialogControls : public IDialogControls {
public:
    struct Control {
        tControlTemplate tpl;
        std::string text;
        CSecureString secret;
        bool visible = true;
        bool enabled = true;
        bool readOnly = false;
        bool checked = false;
        bool secureMode = true;  // secure edits only
        std::vector<std::string> items;
        std::vector<std::string> itemToolTips;  // one for each item, or none at all
        int selected = -1;
        std::string toolTip;
    };

    MemoryDialogControls(CDialogLogic& logic);
    ~MemoryDialogControls() override;
    MemoryDialogControls(const MemoryDialogControls&) = delete;
    MemoryDialogControls& operator=(const MemoryDialogControls&) = delete;

    // The user's side.
    void start();  // the dialog opens
    void type(int id, const std::string& text);     // appends at the end, as typing does
    void replace(int id, const std::string& text);  // empties the field, then types
    bool click(int id);                             // false when the button is hidden or disabled
    bool ended() const { return m_ended; }
    int result() const { return m_result; }
    const Control& control(int id) const;
    bool select(int id, const std::string& item);   // picks an item of a drop-down list
    // Double-clicks the list item with exactly this text: selects it, then
    // tells the dialog; false when the list is hidden or disabled or has no
    // such item.
    bool doubleClick(int id, const std::string& item);
    // The tool tip of the list item with exactly this text; empty when the
    // item has none or there is no such item.
    std::string itemToolTip(int id, const std::string& item) const;
    const std::string& title() const { return m_title; }
    int width() const { return m_cx; }
    int height() const { return m_cy; }
    // What the user sees of a field: asterisks for a secure edit in secure mode.
    std::string shown(int id) const;

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
    void setListItems(int id, const std::vector<std::string>& items,
                      const std::vector<std::string>& toolTips) override;
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
    static void fillList(Control& c, const std::vector<std::string>& items, const std::vector<std::string>* toolTips);
    Control& at(int id);
    CDialogLogic& m_logic;
    std::map<int, Control> m_controls;
    std::string m_title;
    int m_cx = 0, m_cy = 0;
    bool m_ended = false;
    int m_result = 0;
};

}  // namespace platform
