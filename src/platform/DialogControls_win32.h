// Dialog controls over a real Win32 dialog (an HWND): what dialog logic does
// to its controls becomes messages to the dialog's child windows.
#pragma once

#include "DialogControls.h"

namespace platform {
namespace win32 {

class Win32DialogControls : public IDialogControls {
public:
    Win32DialogControls(void* dialog, const tDialogTemplate& dialogTemplate);

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
    // A list box becomes a CTTListBox that shows each item's tool tip.
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
    void* item(int id) const;
    eControlKind kind(int id) const;

    void* m_dialog;
    const tDialogTemplate& m_template;
    void* m_toolTip = nullptr;  // a child of the dialog, destroyed with it
};

}  // namespace win32
}  // namespace platform
