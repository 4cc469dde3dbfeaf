// The "View Entry" dialog: shows an entry read-only until "&Modify", then
// lets the user change it.
#pragma once

#include <cstdint>
#include <string>

#include "DialogControls.h"
#include "TreeNode.h"
#include "security/SecureString.h"

class CEntryDataDlg : public CDialogLogic {
public:
    explicit CEntryDataDlg(void* parentWindow = nullptr);
    ~CEntryDataDlg() override;

    // Fills the dialog from an entry.
    void SetNodeData(const tTreeNode& entry);
    // kDialogOk or kDialogCancel.
    int DoModal();
    // 1 when the user pressed "&Modify" and closed with OK.
    int m_modified = 0;
    // After a modification: the edited entry (its fields encrypted when it is to be).
    void GetNodeData(tTreeNode& node);

    static const tDialogTemplate& resourceTemplate();

    // CDialogLogic
    const tDialogTemplate& dialogTemplate() const override { return resourceTemplate(); }
    std::string windowTitle() const override;
    void onInit(IDialogControls& controls) override;
    void onCommand(IDialogControls& controls, int id, eControlNotification what) override;
    void runWithoutWindows(IDialogUser& user) override;

private:
    void onModify(IDialogControls& controls);
    void onPasswordButton(IDialogControls& controls);
    void onOk(IDialogControls& controls);
    // The dialog ends: the password fields show asterisks again.
    void end(IDialogControls& controls, int result);
    // What the dialog shows, as one text (the Linux dialog).
    std::string summary(IDialogControls& controls) const;

    void* m_parent;
    CSecureString m_userName;
    std::string m_title;
    CSecureString m_url;
    // The entry's stored password (ciphertext when it has a salt), twice.
    std::string m_passwordText;
    std::string m_storedPassword;
    std::string m_passwordSalt;
    CSecureString m_notes;
    std::string m_expiryDate;
    bool m_expiresCopy = false;
    std::string m_group;
    std::uint32_t m_uniqueNumber = 0;
    int m_expires = 0;
    int m_entryEncrypted = 0;
    CSecureString m_password;
    bool m_encrypt = false;
    int m_expiresChecked = 0;
};
