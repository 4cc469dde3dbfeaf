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
    void onInit(IDialogControls& controls) override;
    void onCommand(IDialogControls& controls, int id, eControlNotification what) override;
    void runWithoutWindows(IDialogUser& user) override;

private:
    // Members the helper adds.
};
