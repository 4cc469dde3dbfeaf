#include "NewEntryDlg.h"

#include "EntryDialogCommon.h"
#include "KeyholdApp.h"
#include "Log.h"
#include "ModifyPassDlg.h"
#include "XmlData.h"
#include "platform/Dialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "res/resource.h"
#include "security/Util.h"

using namespace entrydialog;

namespace {

const char* const kNoFolder = "Make a folder first: every entry belongs in a folder.";
const char* const kBadTitle = "A title cannot contain \"\\\" or \"/\".";

// A title the user keeps refusing to correct (Linux) stops here.
constexpr int kMaxRounds = 100;

void tell(const char* text) { platform::messageBoxes().show(text, "Keyhold", platform::MessageButtons::Ok); }

}  // namespace

const tDialogTemplate& CNewEntryDlg::resourceTemplate() {
    static const tDialogTemplate t = [] {
        tDialogTemplate d{IDD_NEW_ENTRY, "New Entry", 284, 239, {}};
        std::vector<tControlTemplate>& c = d.controls;
        c.push_back(label(kGroupLabel, 11));
        tControlTemplate group{IDC_ENTRY_GROUP_LIST, eControlKind::ComboBox, "", 66, 8, 211, 30, true, true,
                               kGroupLabel};
        group.sorted = true;
        c.push_back(group);
        appendEntryFields(c, 66, 171);
        c.push_back({IDC_ENTRY_EXPIRES, eControlKind::CheckBox, "Expires", 7, 198, 39, 10, true, true, kExpiresLabel});
        c.push_back({IDC_ENTRY_EXPIRY_DATE, eControlKind::Edit, "", 66, 198, 67, 14, true, true, kExpiryDateLabel});
        c.push_back({IDC_ENTRY_HIDDEN, eControlKind::Edit, "", 136, 198, 69, 14, false, true, ""});
        c.push_back({kDialogOk, eControlKind::Button, "OK", 86, 218, 50, 13, true, false, ""});
        c.push_back({kDialogCancel, eControlKind::Button, "Cancel", 149, 218, 50, 13, true, true, ""});
        return d;
    }();
    return t;
}

CNewEntryDlg::CNewEntryDlg(void* parentWindow) : m_parent(parentWindow) {
    KH_LOG(eInformation, "CNewEntryDlg constructed");
}

void CNewEntryDlg::setGroup(const std::string& folderPath) {
    m_groupPreset = 1;
    m_presetGroup = folderPath;
}

int CNewEntryDlg::DoModal() { return platform::dialogs().runModal(*this, m_parent); }

void CNewEntryDlg::onInit(IDialogControls& controls) {
    KH_ENTER("OnInitDialog");
    KH_LOG(eImportant, "Getting all folders");
    m_folders.clear();
    xmlData().getAllFolders(m_folders);

    std::vector<std::string> items;
    if (m_groupPreset == 0) {
        for (const auto& folder : m_folders) items.push_back(folder.first);
    } else {
        items.push_back(m_presetGroup);
    }
    controls.setListItems(IDC_ENTRY_GROUP_LIST, items);  // the list sorts them
    controls.selectIndex(IDC_ENTRY_GROUP_LIST, 0);
    if (m_groupPreset != 0) {
        controls.enable(IDC_ENTRY_GROUP_LIST, false);
        if (!controls.selectItem(IDC_ENTRY_GROUP_LIST, m_presetGroup)) controls.selectIndex(IDC_ENTRY_GROUP_LIST, 0);
    }

    // The password is entered through the password dialog only.
    controls.setReadOnly(IDC_ENTRY_PASSWORD, true);
    controls.setReadOnly(IDC_ENTRY_PASSWORD_AGAIN, true);
    controls.enable(kDialogOk, !controls.text(IDC_ENTRY_TITLE).empty());
    attachToolTips(controls);
}

void CNewEntryDlg::onCommand(IDialogControls& controls, int id, eControlNotification what) {
    if (id == IDC_ENTRY_TITLE && what == eChanged) {
        controls.enable(kDialogOk, !controls.text(IDC_ENTRY_TITLE).empty());
        return;
    }
    if (what != eClicked) return;
    if (const tInsertButton* b = insertButton(id)) {
        insertInto(controls, *b);
    } else if (id == IDC_ENTRY_PASSWORD_BUTTON) {
        onPasswordButton(controls);
    } else if (id == kDialogOk) {
        onOk(controls);
    } else if (id == kDialogCancel) {
        controls.endDialog(kDialogCancel);
    }
}

void CNewEntryDlg::onPasswordButton(IDialogControls& controls) {
    CModifyPassDlg dialog(true, m_parent);
    if (dialog.DoModal() == kDialogOk) {
        m_encrypt = dialog.isEncrypt() ? 1 : 0;
        for (int id : {IDC_ENTRY_PASSWORD, IDC_ENTRY_PASSWORD_AGAIN}) {
            controls.setSecureMode(id, m_encrypt != 0);
            controls.setSecureText(id, dialog.password);
        }
    }
    readControls(controls);
}

bool CNewEntryDlg::acceptable(IDialogControls& controls) {
    if (controls.selectedItem(IDC_ENTRY_GROUP_LIST).empty()) {
        tell(kNoFolder);
        return false;
    }
    const std::string title = controls.text(IDC_ENTRY_TITLE);
    if (title.empty()) return false;  // OK is disabled then
    // The title becomes a component of the entry's path.
    if (title.find_first_of("\\/") != std::string::npos) {
        tell(kBadTitle);
        return false;
    }
    return true;
}

void CNewEntryDlg::onOk(IDialogControls& controls) {
    if (!acceptable(controls)) return;
    controls.secureText(IDC_ENTRY_PASSWORD, m_password);
    m_chosenGroupPath = controls.selectedItem(IDC_ENTRY_GROUP_LIST);
    std::string::size_type last = m_chosenGroupPath.find_last_of('\\');
    m_chosenGroupName = last == std::string::npos ? m_chosenGroupPath : m_chosenGroupPath.substr(last + 1);
    readControls(controls);
    controls.endDialog(kDialogOk);
}

void CNewEntryDlg::readControls(IDialogControls& controls) {
    m_title = controls.text(IDC_ENTRY_TITLE);
    readSecret(controls, IDC_ENTRY_USERNAME, m_userName);
    readSecret(controls, IDC_ENTRY_URL, m_url);
    readSecret(controls, IDC_ENTRY_NOTES, m_notes);
    m_expires = controls.checked(IDC_ENTRY_EXPIRES) ? 1 : 0;
    m_expiryDate = controls.text(IDC_ENTRY_EXPIRY_DATE);
    m_hiddenText = controls.text(IDC_ENTRY_HIDDEN);
}

void CNewEntryDlg::GetNodeData(tTreeNode& node) {
    KH_ENTER("CNewEntryDlg::GetNodeData");
    node = MakeCommandNode("", eNode_File);
    node.group = m_chosenGroupName;
    node.name = m_title;
    node.expireTimeText = m_expiryDate;
    node.nodeType = eNode_File;
    node.setUniqueNumber(0, 1);
    node.expires = m_expires != 0 && !m_expiryDate.empty();

    tPlainText password(m_password), userName(m_userName), notes(m_notes), url(m_url);
    if (m_encrypt != 0) {
        KH_LOG(eInformation, "Entry is  encrypted.");
        KH_LOG(eRubbish, "Encrypt password.");
        security::encrypt(password.text, node.password, node.passwordSalt);
        node.encrypted = !node.passwordSalt.empty();
        KH_LOG(eRubbish, "Encrypt username.");
        security::encrypt(userName.text, node.userName, node.userNameSalt);
        KH_LOG(eRubbish, "Encrypt notes.");
        security::encrypt(notes.text, node.notes, node.notesSalt);
        KH_LOG(eRubbish, "Encrypt URL.");
        security::encrypt(url.text, node.url, node.urlSalt);
        KH_LOG(eRubbish, "Encrypt ExpireDate.");
        security::encrypt(node.expireTimeText, node.expireTimeText, node.expireTimeSalt);
        KH_LOG(eRubbish, "Encrypt title.");
        security::encrypt(m_title, node.encryptedTitle, node.titleSalt);
    } else {
        KH_LOG(eInformation, "Entry is not encrypted.");
        node.password = password.text;
        node.notes = notes.text;
        node.userName = userName.text;
        node.url = url.text;
    }
    node.setCreationTimeNow();
    KH_LEAVE("CNewEntryDlg::GetNodeData");
}

std::uint32_t CNewEntryDlg::getIdForDir(const std::string& folderPath) const {
    auto it = m_folders.find(folderPath);
    std::uint32_t number = it != m_folders.end() ? it->second : 0;
    if (number == 0) KH_LOG(eError, "Id not found for dir: %s", folderPath.c_str());
    return number;
}

void CNewEntryDlg::runWithoutWindows(IDialogUser& user) {
    IDialogControls& controls = user.controls();
    auto cancel = [&] {
        user.click(kDialogCancel);
        if (!user.ended()) controls.endDialog(kDialogCancel);
    };
    if (user.ended()) return;
    if (controls.selectedItem(IDC_ENTRY_GROUP_LIST).empty()) {
        // Nothing the user types here could be saved.
        tell(kNoFolder);
        cancel();
        return;
    }
    // The group is not asked for while it is locked (disabled).
    for (int id : {IDC_ENTRY_GROUP_LIST, IDC_ENTRY_TITLE, IDC_ENTRY_USERNAME, IDC_ENTRY_URL}) {
        if (!user.askField(id)) return cancel();
    }
    user.askChoice(IDC_ENTRY_PASSWORD_BUTTON, kSetPasswordQuestion);  // yes opens the password dialog
    if (!user.askField(IDC_ENTRY_NOTES)) return cancel();
    user.askChoice(IDC_ENTRY_EXPIRES, kExpiresQuestion);
    if (controls.checked(IDC_ENTRY_EXPIRES) && !user.askField(IDC_ENTRY_EXPIRY_DATE)) return cancel();
    // OK; while it refuses the title (empty, or with a separator), the title again.
    for (int round = 0; round < kMaxRounds; ++round) {
        user.click(kDialogOk);
        if (user.ended()) return;
        if (!user.askField(IDC_ENTRY_TITLE)) return cancel();
    }
    cancel();
}
