#include "ModifyPassDlg.h"

#include <cstring>
#include <exception>
#include <string>

#include "KeyholdApp.h"
#include "PasswordGenerator.h"
#include "platform/Dialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "res/resource.h"

namespace {

const char* const kNotEqual = "Passwords not equal.\nRetype password!";

// A host that keeps answering while the dialog never accepts stops here (as
// the default flow of the other dialogs does).
constexpr int kMaxRounds = 1000;

// Wipes a plain text when it goes out of scope.
struct tWipeOnExit {
    std::string& text;
    ~tWipeOnExit() {
        secureWipe(text);
    }
};

const char* orEmpty(const char* text) { return text != nullptr ? text : ""; }

void showException(const std::exception& e) {
    platform::messageBoxes().show(std::string("Exception: ") + e.what(), "Exception caught",
                                  platform::MessageButtons::Ok, platform::MessageIcon::Error);
}

}  // namespace

const tDialogTemplate& CModifyPassDlg::resourceTemplate() {
    static const tDialogTemplate t{
        IDD_MODIFY_PASSWORD,
        "Enter Password",
        180,
        99,
        {
            {IDC_MODIFY_FIRST, eControlKind::SecureEdit, "", 15, 21, 155, 15, true, true, "Type Password"},
            {IDC_MODIFY_SECOND, eControlKind::SecureEdit, "", 15, 55, 155, 15, true, true, "ReType Password"},
            {IDC_MODIFY_SECOND_LABEL, eControlKind::Static, "ReType Password", 15, 43, 72, 8, true, true, ""},
            {-1, eControlKind::Static, "Type Password", 15, 8, 50, 8, true, true, ""},
            {IDC_MODIFY_ENCRYPT, eControlKind::CheckBox, "Encrypt", 111, 9, 40, 10, true, true, ""},
            {kDialogOk, eControlKind::Button, "OK", 15, 78, 50, 14, true, false, ""},
            {IDC_MODIFY_GENERATE, eControlKind::Button, "Generate", 67, 78, 50, 14, true, true, ""},
            {kDialogCancel, eControlKind::Button, "Cancel", 120, 78, 50, 14, true, true, ""},
        }};
    return t;
}

CModifyPassDlg::CModifyPassDlg(bool encrypt, void* parentWindow)
    : m_parent(parentWindow), m_encrypt(encrypt ? 1 : 0) {}

void CModifyPassDlg::setPassword(const CSecureString& text) { m_preset = text; }

int CModifyPassDlg::DoModal() { return platform::dialogs().runModal(*this, m_parent); }

void CModifyPassDlg::onInit(IDialogControls& controls) {
    const tDialogTemplate& t = resourceTemplate();
    m_dialogCx = t.cx;
    m_dialogCy = t.cy;
    auto placeOf = [&](int id) {
        const tControlTemplate& c = *t.find(id);
        return tPlace{c.x, c.y, c.cx, c.cy};
    };
    m_ok = placeOf(kDialogOk);
    m_cancel = placeOf(kDialogCancel);
    m_generate = placeOf(IDC_MODIFY_GENERATE);
    m_generated = false;

    controls.setChecked(IDC_MODIFY_ENCRYPT, m_encrypt != 0);
    if (m_encrypt == 0) {
        controls.show(IDC_MODIFY_SECOND, false);
        controls.show(IDC_MODIFY_SECOND_LABEL, false);
        controls.setSecureMode(IDC_MODIFY_FIRST, false);
        shorten(controls);
    }
    controls.setSecureText(IDC_MODIFY_FIRST, m_preset);
    controls.setSecureText(IDC_MODIFY_SECOND, m_preset);
    updateOk(controls);
}

void CModifyPassDlg::onCommand(IDialogControls& controls, int id, eControlNotification what) {
    if (id == IDC_MODIFY_FIRST && what == eChanged) {
        updateOk(controls);
    } else if (what != eClicked) {
        return;
    } else if (id == IDC_MODIFY_ENCRYPT) {
        onEncrypt(controls);
    } else if (id == IDC_MODIFY_GENERATE) {
        onGenerate(controls);
    } else if (id == kDialogOk) {
        onOk(controls);
    } else if (id == kDialogCancel) {
        controls.endDialog(kDialogCancel);
    }
}

void CModifyPassDlg::updateOk(IDialogControls& controls) {
    if (m_encrypt == 0) {
        controls.enable(kDialogOk, true);
        return;
    }
    CSecureString first;
    controls.secureText(IDC_MODIFY_FIRST, first);
    controls.enable(kDialogOk, !first.isEmpty());
}

void CModifyPassDlg::shorten(IDialogControls& controls) {
    const tControlTemplate& first = *resourceTemplate().find(IDC_MODIFY_FIRST);
    const int below = first.y + first.cy;
    const int buttonsY = below + m_ok.cy / 4;
    for (const std::pair<int, tPlace*>& b :
         {std::pair<int, tPlace*>{kDialogOk, &m_ok}, {IDC_MODIFY_GENERATE, &m_generate}, {kDialogCancel, &m_cancel}}) {
        controls.moveControl(b.first, b.second->x, buttonsY, b.second->cx, b.second->cy);
    }
    controls.resizeDialog(m_dialogCx, below + 2 * m_ok.cy);
}

void CModifyPassDlg::restore(IDialogControls& controls) {
    controls.resizeDialog(m_dialogCx, m_dialogCy);
    for (const std::pair<int, tPlace*>& b :
         {std::pair<int, tPlace*>{kDialogOk, &m_ok}, {IDC_MODIFY_GENERATE, &m_generate}, {kDialogCancel, &m_cancel}}) {
        controls.moveControl(b.first, b.second->x, b.second->y, b.second->cx, b.second->cy);
    }
}

void CModifyPassDlg::onEncrypt(IDialogControls& controls) {
    m_encrypt = controls.checked(IDC_MODIFY_ENCRYPT) ? 1 : 0;
    if (m_encrypt != 0) {
        controls.setChecked(IDC_MODIFY_ENCRYPT, true);
        const bool secondWasShown = controls.isVisible(IDC_MODIFY_SECOND);
        controls.show(IDC_MODIFY_SECOND, true);
        controls.show(IDC_MODIFY_SECOND_LABEL, true);
        controls.setSecureMode(IDC_MODIFY_FIRST, true);
        controls.setSecureMode(IDC_MODIFY_SECOND, true);
        if (!secondWasShown) restore(controls);
    } else {
        controls.setChecked(IDC_MODIFY_ENCRYPT, false);
        controls.show(IDC_MODIFY_SECOND_LABEL, false);
        controls.show(IDC_MODIFY_SECOND, false);
        controls.setSecureMode(IDC_MODIFY_FIRST, false);
        shorten(controls);
    }
    updateOk(controls);
}

void CModifyPassDlg::onGenerate(IDialogControls& controls) {
    m_generated = false;
    try {
        const tKeyholdOptions& options = theApp().m_options;
        if (GeneratorAlphabet(options).size() < 2) return;
        std::string generated = GeneratePassword(options);
        tWipeOnExit wipe{generated};
        // Shown in clear, and the same in both fields, so OK accepts at once.
        controls.setSecureMode(IDC_MODIFY_FIRST, false);
        controls.setSecureMode(IDC_MODIFY_SECOND, false);
        controls.setText(IDC_MODIFY_FIRST, generated);
        controls.setText(IDC_MODIFY_SECOND, generated);
        m_generated = true;
    } catch (const std::exception& e) {
        showException(e);
    }
    updateOk(controls);
}

void CModifyPassDlg::onOk(IDialogControls& controls) {
    try {
        CSecureString first;
        controls.secureText(IDC_MODIFY_FIRST, first);
        if (m_encrypt == 0) {
            // Only the first field counts; the second one is hidden.
            password = first;
            controls.endDialog(kDialogOk);
            return;
        }
        CSecureString second;
        controls.secureText(IDC_MODIFY_SECOND, second);
        bool equal;
        {
            CPlainCopy a(first), b(second);
            equal = std::strcmp(orEmpty(a.c_str()), orEmpty(b.c_str())) == 0;
        }
        if (equal) {
            password = first;
            controls.endDialog(kDialogOk);
            return;
        }
        platform::messageBoxes().show(kNotEqual, "Keyhold", platform::MessageButtons::Ok,
                                      platform::MessageIcon::Error);
    } catch (const std::exception& e) {
        showException(e);
    }
}

void CModifyPassDlg::runWithoutWindows(IDialogUser& user) {
    auto cancel = [&] {
        user.click(kDialogCancel);
        if (!user.ended()) user.controls().endDialog(kDialogCancel);
    };
    if (user.ended()) return;
    user.askChoice(IDC_MODIFY_ENCRYPT, "Encrypt this entry?");
    if (user.askChoice(IDC_MODIFY_GENERATE, "Generate a password?") && m_generated) {
        // The dialog shows a generated password in clear; so does this.
        CSecureString generated;
        user.controls().secureText(IDC_MODIFY_FIRST, generated);
        std::string text;
        tWipeOnExit wipe{text};
        {
            CPlainCopy plain(generated);
            const char* p = orEmpty(plain.c_str());
            const char* const prefix = "Generated password: ";
            text.reserve(std::strlen(prefix) + std::strlen(p));
            text += prefix;
            text += p;
        }
        if (!user.inform(text)) {
            cancel();
            return;
        }
    }
    for (int round = 0; round < kMaxRounds && !user.ended(); ++round) {
        for (int id : {IDC_MODIFY_FIRST, IDC_MODIFY_SECOND}) {
            if (user.ended()) return;
            if (!user.askField(id)) {
                cancel();
                return;
            }
        }
        if (!user.ended()) user.click(kDialogOk);
    }
}
