// The entry password dialog: the new password of an entry (twice when the
// entry is to be encrypted), the "Encrypt" choice, and a generator.
#pragma once

#include "DialogControls.h"
#include "security/SecureString.h"

class CModifyPassDlg : public CDialogLogic {
public:
    explicit CModifyPassDlg(bool encrypt, void* parentWindow = nullptr);

    // The password both fields show when the dialog opens.
    void setPassword(const CSecureString& password);
    // kDialogOk or kDialogCancel.
    int DoModal();
    // After kDialogOk: the accepted password.
    CSecureString password;
    // The state of "Encrypt" when the dialog closed.
    bool isEncrypt() const { return m_encrypt != 0; }

    static const tDialogTemplate& resourceTemplate();

    // CDialogLogic
    const tDialogTemplate& dialogTemplate() const override { return resourceTemplate(); }
    void onInit(IDialogControls& controls) override;
    void onCommand(IDialogControls& controls, int id, eControlNotification what) override;
    void runWithoutWindows(IDialogUser& user) override;

private:
    struct tPlace {
        int x, y, cx, cy;
    };

    // OK is enabled when encrypt is off, else exactly when 3024 holds text.
    void updateOk(IDialogControls& controls);
    // Without the second field: the dialog ends two button heights below the
    // first one and the buttons stand a quarter button height below it.
    void shorten(IDialogControls& controls);
    void restore(IDialogControls& controls);
    void onEncrypt(IDialogControls& controls);
    void onGenerate(IDialogControls& controls);
    void onOk(IDialogControls& controls);

    void* m_parent;
    int m_encrypt;
    CSecureString m_preset;
    // The full layout as the resource has it, kept when the dialog opens.
    int m_dialogCx = 0, m_dialogCy = 0;
    tPlace m_ok{}, m_generate{}, m_cancel{};
    // The last press of "Generate" filled the fields.
    bool m_generated = false;
};
