#include "PassWordDlg.h"

#include <cstring>

#include "Log.h"
#include "platform/Dialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"

namespace {

constexpr int kButtonHeight = 14;
const char* const kBothMatch = "Both passwords must match.";
const char* const kNotEqual = "Passwords not equal.\nRetype password!";

}  // namespace

const char* const kNewStorePasswordTitle = "Enter Password: a new, empty password store will be created";

const tDialogTemplate& CPassWordDlg::resourceTemplate() {
    static const tDialogTemplate t = [] {
        tDialogTemplate d{
            IDD_PASSWORD,
            "Enter Password",
            180,
            98,
            {
                {-1, eControlKind::Static, "Type Password", 15, 8, 50, 8, true, true, ""},
                {IDC_PASSWORD_FIRST, eControlKind::SecureEdit, "", 15, 21, 155, 15, true, true, "Type Password"},
                {IDC_PASSWORD_SECOND_LABEL, eControlKind::Static, "ReType Password", 15, 43, 72, 8, false, true, ""},
                {IDC_PASSWORD_SECOND, eControlKind::SecureEdit, "", 15, 55, 155, 15, false, true, "ReType Password"},
                {kDialogOk, eControlKind::Button, "OK", 15, 77, 50, 14, true, false, ""},
                {kDialogCancel, eControlKind::Button, "Cancel", 120, 77, 50, 14, true, true, ""},
            }};
        d.controls[3].toolTip = kBothMatch;  // shown with the second field (new passwords)
        return d;
    }();
    return t;
}

CPassWordDlg::CPassWordDlg(CSecureString& masterPassword, Verifier verify)
    : m_master(masterPassword), m_verify(std::move(verify)) {}

void CPassWordDlg::setMode(int mode) {
    if (mode == 0 || mode == 1) m_mode = mode;
}

int CPassWordDlg::DoModal(void* parentWindow) { return platform::dialogs().runModal(*this, parentWindow); }

void CPassWordDlg::onInit(IDialogControls& controls) {
    const tDialogTemplate& t = resourceTemplate();
    if (!m_title.empty()) controls.setTitle(m_title);
    if (m_mode == 0) {
        controls.show(IDC_PASSWORD_SECOND, false);
        controls.show(IDC_PASSWORD_SECOND_LABEL, false);
        // Ends two button heights below the first field; the buttons stand a
        // quarter button height below it.
        const tControlTemplate& first = *t.find(IDC_PASSWORD_FIRST);
        int below = first.y + first.cy;
        int buttonsY = below + kButtonHeight / 4;
        for (int id : {kDialogOk, kDialogCancel}) {
            const tControlTemplate& b = *t.find(id);
            controls.moveControl(id, b.x, buttonsY, b.cx, b.cy);
        }
        controls.resizeDialog(t.cx, below + 2 * kButtonHeight);
    } else {
        controls.setToolTip(IDC_PASSWORD_SECOND, kBothMatch);
        controls.show(IDC_PASSWORD_SECOND, true);
        controls.show(IDC_PASSWORD_SECOND_LABEL, true);
    }
    controls.enable(kDialogOk, false);
}

void CPassWordDlg::onCommand(IDialogControls& controls, int id, eControlNotification what) {
    if (id == IDC_PASSWORD_FIRST && what == eChanged) {
        CSecureString first;
        controls.secureText(IDC_PASSWORD_FIRST, first);
        controls.enable(kDialogOk, !first.isEmpty());
    } else if (id == kDialogOk && what == eClicked) {
        onOk(controls);
    } else if (id == kDialogCancel && what == eClicked) {
        controls.endDialog(kDialogCancel);
    }
}

void CPassWordDlg::onOk(IDialogControls& controls) {
    CSecureString first;
    controls.secureText(IDC_PASSWORD_FIRST, first);
    if (m_mode == 0) {
        // The typed text becomes the master password only once it is known to
        // be the store's: a wrong one must never be written over the right one.
        if (m_verify && m_verify(first)) {
            m_master = first;
            controls.endDialog(kDialogOk);
            return;
        }
    } else {
        CSecureString second;
        controls.secureText(IDC_PASSWORD_SECOND, second);
        CPlainCopy a(first), b(second);
        if (std::strcmp(a.c_str(), b.c_str()) == 0) {
            oldPassword = m_master;
            m_master = first;
            controls.endDialog(kDialogOk);
            return;
        }
    }
    platform::messageBoxes().show(kNotEqual, "Keyhold", platform::MessageButtons::Ok, platform::MessageIcon::Error);
}
