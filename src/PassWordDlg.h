// The master password dialog: one field to give the password of an existing
// store (mode 0), or two equal ones to set a new password (mode 1).
#pragma once

#include <string>

#include <functional>

#include "DialogControls.h"
#include "res/resource.h"
#include "security/SecureString.h"

class CPassWordDlg : public CDialogLogic {
public:
    // Tells whether a typed password is the store's (mode 0).
    using Verifier = std::function<bool(const CSecureString& candidate)>;

    CPassWordDlg(CSecureString& masterPassword, Verifier verify);

    void setMode(int mode);
    int mode() const { return m_mode; }
    // A title in place of the template's, set when the dialog opens.
    void setTitle(const std::string& title) { m_title = title; }
    // Shows the dialog; kDialogOk or kDialogCancel.
    int DoModal(void* parentWindow = nullptr);

    // The master password that was current before a mode-1 dialog was confirmed.
    CSecureString oldPassword;

    static const tDialogTemplate& resourceTemplate();

    // CDialogLogic
    const tDialogTemplate& dialogTemplate() const override { return resourceTemplate(); }
    std::string windowTitle() const override { return m_title.empty() ? resourceTemplate().title : m_title; }
    void onInit(IDialogControls& controls) override;
    void onCommand(IDialogControls& controls, int id, eControlNotification what) override;

private:
    void onOk(IDialogControls& controls);

    CSecureString& m_master;
    Verifier m_verify;
    int m_mode = 0;
    std::string m_title;
};

// The title of the dialog that asks for the master password of a new store.
extern const char* const kNewStorePasswordTitle;
