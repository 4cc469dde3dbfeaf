// The "New Entry" dialog: collects a new entry and the folder it goes in.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "DialogControls.h"
#include "TreeNode.h"
#include "security/SecureString.h"

class CNewEntryDlg : public CDialogLogic {
public:
    explicit CNewEntryDlg(void* parentWindow = nullptr);

    // Presets the group (a folder path such as "\Mail\Work") and locks the choice.
    void setGroup(const std::string& folderPath);
    // kDialogOk or kDialogCancel.
    int DoModal();
    // After kDialogOk: the new entry, its fields encrypted when it is to be.
    void GetNodeData(tTreeNode& node);
    // The folder's unique number from the folder table; 0 when absent.
    std::uint32_t getIdForDir(const std::string& folderPath) const;

    // After kDialogOk: the full path of the chosen folder ("\Email") and its name.
    std::string m_chosenGroupPath;
    std::string m_chosenGroupName;

    static const tDialogTemplate& resourceTemplate();

    // CDialogLogic
    const tDialogTemplate& dialogTemplate() const override { return resourceTemplate(); }
    void onInit(IDialogControls& controls) override;
    void onCommand(IDialogControls& controls, int id, eControlNotification what) override;
    void runWithoutWindows(IDialogUser& user) override;

private:
    // OK refuses a store without folders and titles that would break a path.
    bool acceptable(IDialogControls& controls);
    // Reads the controls into the members below.
    void readControls(IDialogControls& controls);
    void onPasswordButton(IDialogControls& controls);
    void onOk(IDialogControls& controls);

    void* m_parent;
    int m_groupPreset = 0;
    std::string m_presetGroup;
    std::string m_title;
    CSecureString m_userName;
    CSecureString m_url;
    CSecureString m_notes;
    int m_expires = 0;
    std::string m_expiryDate;
    std::string m_hiddenText;  // bound to the hidden edit; nothing reads it
    CSecureString m_password;
    // Every folder's path ("\Mail\Work") and its unique number.
    std::map<std::string, std::uint32_t> m_folders;
    int m_encrypt = 0;
};
