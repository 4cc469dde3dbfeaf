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
    // Members the helper adds (fields, folder table, password, encrypt, ...).
};
