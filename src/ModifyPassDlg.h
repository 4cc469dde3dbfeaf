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
    void* m_parent;
    int m_encrypt;
    CSecureString m_preset;
};
