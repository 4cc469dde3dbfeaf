#include "EntryDataDlg.h"

#include <cstdio>

#include "EntryDialogCommon.h"
#include "Log.h"
#include "ModifyPassDlg.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"
#include "res/resource.h"
#include "security/Util.h"

using namespace entrydialog;

namespace {

// A field as the dialog shows it: decrypted when it has a salt. (A field is
// ciphertext exactly when it has one, whatever the entry's flag says.)
void takeField(const std::string& stored, const std::string& salt, CSecureString& out) {
    if (salt.empty()) {
        out.setText(stored.c_str());
    } else {
        out.clear();
        security::decrypt(stored, salt, out);
    }
}

void takeField(const std::string& stored, const std::string& salt, std::string& out) {
    out = stored;
    if (!salt.empty()) security::decryptText(stored, salt, out);
}

// Encrypts a secret into a field and its salt under a fresh salt; an empty
// one stays empty and unsalted.
void encryptInto(const CSecureString& secret, std::string& field, std::string& salt) {
    tPlainText plain(secret);
    field.clear();
    salt.clear();
    security::encrypt(plain.text, field, salt);
}

}  // namespace

const tDialogTemplate& CEntryDataDlg::resourceTemplate() {
    static const tDialogTemplate t = [] {
        tDialogTemplate d{IDD_ENTRY_DATA, "View Entry", 284, 239, {}};
        std::vector<tControlTemplate>& c = d.controls;
        c.push_back(label(kGroupLabel, 11));
        c.push_back({IDC_ENTRY_GROUP, eControlKind::Edit, "", 66, 8, 211, 15, true, true, kGroupLabel});
        appendEntryFields(c, 67, 211);
        c.push_back(
            {IDC_ENTRY_EXPIRES, eControlKind::CheckBox, "Expires", 7, 198, 39, 10, true, false, kExpiresLabel});
        c.push_back({IDC_ENTRY_EXPIRY_DATE, eControlKind::Edit, "", 66, 198, 67, 14, true, true, kExpiryDateLabel});
        c.push_back({kDialogOk, eControlKind::Button, "&OK", 86, 218, 50, 13, true, true, ""});
        c.push_back({kDialogCancel, eControlKind::Button, "Cancel", 149, 218, 50, 13, false, true, ""});
        c.push_back({IDC_ENTRY_MODIFY, eControlKind::Button, "&Modify", 227, 218, 50, 13, true, true, ""});
        return d;
    }();
    return t;
}

CEntryDataDlg::CEntryDataDlg(void* parentWindow) : m_parent(parentWindow) {}

CEntryDataDlg::~CEntryDataDlg() {
    // A plain entry's password is held as it is stored.
    for (std::string* s : {&m_passwordText, &m_storedPassword}) {
        if (!s->empty()) secureWipe(&(*s)[0], s->size());
    }
}

std::string CEntryDataDlg::windowTitle() const {
    char title[64];
    std::snprintf(title, sizeof title, "View/Modify entry %d", static_cast<int>(m_uniqueNumber));
    return title;
}

int CEntryDataDlg::DoModal() { return platform::dialogs().runModal(*this, m_parent); }

void CEntryDataDlg::SetNodeData(const tTreeNode& entry) {
    KH_ENTER("SetNodeData(tTreeNode& treeNode)");
    m_group = entry.group;
    m_title = entry.name;
    m_expires = entry.expires ? 1 : 0;
    m_expiresCopy = entry.expires;
    m_expiresChecked = m_expires;
    m_passwordText = entry.password;
    m_storedPassword = entry.password;
    m_passwordSalt = entry.passwordSalt;
    m_uniqueNumber = entry.uniqueNumber;
    if (entry.encrypted) {
        KH_LOG(eInformation, "Entry is encrypted.");
        m_entryEncrypted = 1;
        KH_LOG(eRubbish, "Decrypt username.");
        takeField(entry.userName, entry.userNameSalt, m_userName);
        KH_LOG(eRubbish, "Decrypt notes.");
        takeField(entry.notes, entry.notesSalt, m_notes);
        KH_LOG(eRubbish, "Decrypt URL.");
        takeField(entry.url, entry.urlSalt, m_url);
        KH_LOG(eRubbish, "Decrypt Expiredate.");
        takeField(entry.expireTimeText, entry.expireTimeSalt, m_expiryDate);
    } else {
        KH_LOG(eInformation, "Entry is not encrypted.");
        m_entryEncrypted = 0;
        takeField(entry.userName, entry.userNameSalt, m_userName);
        takeField(entry.notes, entry.notesSalt, m_notes);
        takeField(entry.url, entry.urlSalt, m_url);
        takeField(entry.expireTimeText, entry.expireTimeSalt, m_expiryDate);
    }
    KH_LEAVE("SetNodeData(tTreeNode& treeNode)");
}

void CEntryDataDlg::onInit(IDialogControls& controls) {
    KH_ENTER("OnInitDialog()");
    if (!m_passwordSalt.empty() && m_passwordSalt != "0") {
        KH_LOG(eInformation, "Decrypting password.");
        m_encrypt = true;
        CSecureString plain;
        security::decrypt(m_storedPassword, m_passwordSalt, plain);
        controls.setSecureMode(IDC_ENTRY_PASSWORD, true);
        controls.setSecureText(IDC_ENTRY_PASSWORD, plain);
        CSecureString shown;
        controls.secureText(IDC_ENTRY_PASSWORD, shown);
        controls.setSecureMode(IDC_ENTRY_PASSWORD_AGAIN, true);
        controls.setSecureText(IDC_ENTRY_PASSWORD_AGAIN, shown);
    } else {
        controls.enable(IDC_ENTRY_PASSWORD_BUTTON, false);
        for (int id : {IDC_ENTRY_PASSWORD, IDC_ENTRY_PASSWORD_AGAIN}) {
            controls.setSecureMode(id, false);
            controls.setText(id, m_storedPassword);
        }
        m_encrypt = false;
    }

    controls.setTitle(windowTitle());
    controls.setText(IDC_ENTRY_GROUP, m_group);
    controls.setText(IDC_ENTRY_TITLE, m_title);
    writeSecret(controls, IDC_ENTRY_USERNAME, m_userName);
    writeSecret(controls, IDC_ENTRY_URL, m_url);
    writeSecret(controls, IDC_ENTRY_NOTES, m_notes);
    controls.setText(IDC_ENTRY_EXPIRY_DATE, m_expiryDate);
    controls.setChecked(IDC_ENTRY_EXPIRES, m_expires != 0);
    // Read-only until "&Modify"; group, title and password always.
    for (int id : {IDC_ENTRY_GROUP, IDC_ENTRY_TITLE, IDC_ENTRY_USERNAME, IDC_ENTRY_URL, IDC_ENTRY_PASSWORD,
                   IDC_ENTRY_PASSWORD_AGAIN, IDC_ENTRY_NOTES, IDC_ENTRY_EXPIRY_DATE}) {
        controls.setReadOnly(id, true);
    }

    attachToolTips(controls);
    KH_LEAVE("OnInitDialog()");
}

void CEntryDataDlg::onCommand(IDialogControls& controls, int id, eControlNotification what) {
    if (what != eClicked) return;
    if (const tInsertButton* b = insertButton(id)) {
        if (m_modified == 1) insertInto(controls, *b);
    } else if (id == IDC_ENTRY_MODIFY) {
        onModify(controls);
    } else if (id == IDC_ENTRY_PASSWORD_BUTTON) {
        onPasswordButton(controls);
    } else if (id == IDC_ENTRY_EXPIRES) {
        m_expiresChecked = controls.checked(IDC_ENTRY_EXPIRES) ? 1 : 0;
        controls.setReadOnly(IDC_ENTRY_EXPIRY_DATE, m_expiresChecked == 0);
    } else if (id == kDialogOk) {
        onOk(controls);
    } else if (id == kDialogCancel) {
        m_modified = 0;
        end(controls, kDialogCancel);
    }
}

void CEntryDataDlg::onModify(IDialogControls& controls) {
    for (int id : {IDC_ENTRY_USERNAME, IDC_ENTRY_URL, IDC_ENTRY_NOTES}) controls.setReadOnly(id, false);
    controls.enable(IDC_ENTRY_EXPIRES, true);
    if (m_expires != 0) {
        controls.setReadOnly(IDC_ENTRY_EXPIRY_DATE, false);
        controls.setChecked(IDC_ENTRY_EXPIRES, true);
    }
    m_modified = 1;
    controls.enable(IDC_ENTRY_MODIFY, false);
    controls.show(kDialogCancel, true);
    controls.enable(IDC_ENTRY_PASSWORD_BUTTON, true);
}

void CEntryDataDlg::onPasswordButton(IDialogControls& controls) {
    if (m_modified == 0) {
        // Show or hide the password.
        const bool reveal = controls.isSecureMode(IDC_ENTRY_PASSWORD);
        controls.setSecureMode(IDC_ENTRY_PASSWORD, !reveal);
        controls.setSecureMode(IDC_ENTRY_PASSWORD_AGAIN, !reveal);
        return;
    }
    CModifyPassDlg dialog(m_entryEncrypted != 0, m_parent);
    CSecureString current;
    controls.secureText(IDC_ENTRY_PASSWORD, current);
    dialog.setPassword(current);
    if (dialog.DoModal() != kDialogOk) return;
    m_encrypt = dialog.isEncrypt();
    for (int id : {IDC_ENTRY_PASSWORD, IDC_ENTRY_PASSWORD_AGAIN}) {
        controls.setSecureMode(id, m_encrypt);
        controls.setSecureText(id, dialog.password);
    }
}

void CEntryDataDlg::onOk(IDialogControls& controls) {
    if (m_modified == 1) {
        readSecret(controls, IDC_ENTRY_USERNAME, m_userName);
        readSecret(controls, IDC_ENTRY_URL, m_url);
        readSecret(controls, IDC_ENTRY_NOTES, m_notes);
        m_expiryDate = controls.text(IDC_ENTRY_EXPIRY_DATE);
        m_expires = controls.checked(IDC_ENTRY_EXPIRES) ? 1 : 0;
        controls.secureText(IDC_ENTRY_PASSWORD, m_password);
    }
    end(controls, kDialogOk);
}

void CEntryDataDlg::end(IDialogControls& controls, int result) {
    controls.setSecureMode(IDC_ENTRY_PASSWORD, true);
    controls.setSecureMode(IDC_ENTRY_PASSWORD_AGAIN, true);
    controls.endDialog(result);
}

void CEntryDataDlg::GetNodeData(tTreeNode& node) {
    node = tTreeNode();
    node.group = m_group;
    node.name = m_title;
    node.password = m_passwordText;
    node.expireTimeText = m_expiryDate;
    node.setUniqueNumber(m_uniqueNumber, 0);
    node.expires = m_expires != 0 && !m_expiryDate.empty();
    if (m_encrypt) {
        encryptInto(m_password, node.password, node.passwordSalt);
        node.encrypted = !node.passwordSalt.empty();
        encryptInto(m_userName, node.userName, node.userNameSalt);
        encryptInto(m_notes, node.notes, node.notesSalt);
        encryptInto(m_url, node.url, node.urlSalt);
        security::encrypt(node.expireTimeText, node.expireTimeText, node.expireTimeSalt);
        security::encrypt(m_title, node.encryptedTitle, node.titleSalt);
    } else {
        node.passwordSalt.clear();
        node.encrypted = false;
        tPlainText password(m_password), userName(m_userName), notes(m_notes), url(m_url);
        node.password = password.text;
        node.userName = userName.text;
        node.notes = notes.text;
        node.url = url.text;
    }
}

std::string CEntryDataDlg::summary(IDialogControls& controls) const {
    std::string text;
    auto line = [&](const char* label, const std::string& value) {
        text += label;
        text += ' ';
        text += value;
        text += '\n';
    };
    tPlainText userName, url, password, notes;
    userName.text = controls.text(IDC_ENTRY_USERNAME);
    url.text = controls.text(IDC_ENTRY_URL);
    password.text = controls.text(IDC_ENTRY_PASSWORD);  // asterisks unless revealed
    notes.text = controls.text(IDC_ENTRY_NOTES);
    // Room for everything at once: a growing text would leave copies behind.
    text.reserve(userName.text.size() + url.text.size() + password.text.size() + notes.text.size() +
                 m_group.size() + m_title.size() + m_expiryDate.size() + 128);
    line(kGroupLabel, controls.text(IDC_ENTRY_GROUP));
    line(kTitleLabel, controls.text(IDC_ENTRY_TITLE));
    line(kUserNameLabel, userName.text);
    line(kUrlLabel, url.text);
    line(kPasswordLabel, password.text);
    line(kNotesLabel, notes.text);
    text += kExpiresLabel;
    text += ": ";
    text += controls.checked(IDC_ENTRY_EXPIRES) ? controls.text(IDC_ENTRY_EXPIRY_DATE) : std::string("no");
    return text;
}

void CEntryDataDlg::runWithoutWindows(IDialogUser& user) {
    IDialogControls& controls = user.controls();
    auto cancel = [&] {
        user.click(kDialogCancel);
        if (!user.ended()) controls.endDialog(kDialogCancel);
    };
    if (user.ended()) return;
    // An encrypted entry shows asterisks unless the user asks to see the
    // password ("*****" is disabled for a plain one, which shows it anyway).
    user.askChoice(IDC_ENTRY_PASSWORD_BUTTON, kShowPasswordQuestion);
    {
        tPlainText shown;
        shown.text = summary(controls);
        if (!user.inform(shown.text)) return cancel();
    }
    if (!user.askChoice(IDC_ENTRY_MODIFY, kModifyQuestion)) {
        user.click(kDialogOk);
        return;
    }
    for (int id : {IDC_ENTRY_USERNAME, IDC_ENTRY_URL, IDC_ENTRY_NOTES}) {
        if (!user.askField(id)) return cancel();
    }
    user.askChoice(IDC_ENTRY_EXPIRES, kExpiresQuestion);
    if (controls.checked(IDC_ENTRY_EXPIRES) && !user.askField(IDC_ENTRY_EXPIRY_DATE)) return cancel();
    user.askChoice(IDC_ENTRY_PASSWORD_BUTTON, kChangePasswordQuestion);  // yes opens the password dialog
    if (!user.ended()) user.click(kDialogOk);
}
