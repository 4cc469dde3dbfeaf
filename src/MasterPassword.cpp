#include "MasterPassword.h"

#include "AutoType.h"
#include "KeyholdApp.h"
#include "Log.h"
#include "PassWordDlg.h"
#include "XmlData.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "security/SecureString.h"
#include "security/Util.h"

namespace {

void message(const std::string& text) {
    platform::messageBoxes().show(text, "Keyhold", platform::MessageButtons::Ok);
}

eOpenResult deny() {
    KH_LOG(eTroubleShoot, "Deny access");
    message("Deny access");
    xmlData().resetInitialized();
    return eOpenResult::Fail;
}

void load() {
    KH_LOG(eRubbish, "Database found.");
    if (xmlData().loadTree(2) != 0) {
        navigation().databaseLoaded = true;
        KH_LOG(eInformation, "Database valid.");
    } else {
        KH_LOG(eInformation, "Database invalid.");
        message("Database invalid");
    }
}

CPassWordDlg::Verifier storeVerifier() {
    return [](const CSecureString& candidate) { return xmlData().checkMasterKey(candidate); };
}

// Encrypts a field in place under a new salt when it has none yet.
bool encryptUnsalted(std::string& field, std::string& salt) {
    if (!salt.empty()) return false;
    security::encrypt(field, field, salt);
    return true;
}

}  // namespace

eOpenResult openDatabase() {
    int r = xmlData().initializeXmlData();
    if (r == eXmlAlreadyInitialized) return eOpenResult::List;
    if (r == eXmlParseError) {
        KH_LOG(eRubbish, "Error Parsing XML.");
        xmlData().resetInitialized();
        message("Error Parsing XML.");
        return eOpenResult::Fail;
    }
    if (r == eXmlUnreadable) {
        // An existing store that cannot be read now is never replaced by a new one.
        xmlData().resetInitialized();
        message(xmlData().lastError());
        return eOpenResult::Fail;
    }
    if (r != eXmlLoaded && r != eXmlNoFile) return eOpenResult::List;

    CSecureString& master = theApp().m_masterPassword;
    std::string suppressed = settings().m_masterPassword->GetValue();
    if (!suppressed.empty()) {
        KH_LOG(eImportant, "Suppress password mode!");
        CSecureString candidate;
        candidate.setText(suppressed.c_str());
        std::fill(suppressed.begin(), suppressed.end(), '\0');
        if (r == eXmlNoFile || !xmlData().checkMasterKey(candidate)) return deny();
        master = candidate;
        load();
        return eOpenResult::List;
    }

    CPassWordDlg dialog(master, storeVerifier());
    dialog.setMode(r == eXmlNoFile ? 1 : 0);
    KH_LOG(eImportant, "Ask for password");
    int answer = dialog.DoModal(nullptr);
    if (answer == kDialogOk && r == eXmlLoaded) {
        load();
    } else if (answer == kDialogOk) {
        navigation().databaseLoaded = true;
        xmlData().createDefaultDatabase();
    } else if (answer == kDialogCancel) {
        return deny();
    }
    return eOpenResult::List;
}

bool unlock() {
    CPassWordDlg dialog(theApp().m_masterPassword, storeVerifier());
    dialog.setMode(0);
    if (dialog.DoModal(theApp().m_host.hostWindow) != kDialogOk) return false;
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    nav.activeRoot = GetBaseNode();
    return true;
}

void lock() {
    {
        tNavigationState& nav = navigation();
        std::lock_guard<std::recursive_mutex> guard(nav.mutex);
        nav.activeRoot = nav.unlockRoot;
    }
    RefreshHostPanel();
}

bool DecryptTitle() {
    KH_ENTER("DecryptTitle");
    PasswordTree& tree = passwordTree();
    if (tree.empty()) {
        KH_LOG(eTroubleShoot, "Tree is empty!");
        return false;
    }
    bool changed = false;
    for (TreePos p = tree.begin(); p != tree.end(); ++p) {
        tTreeNode& n = *p;
        if (!n.isEntry()) continue;
        if (n.encrypted || n.markedForEncryption) {
            KH_LOG(eRubbish, "Title: %s ", n.name.c_str());
            // Titles with a salt were decrypted while the tree was built.
            if (n.titleSalt.empty()) {
                KH_LOG(eRubbish, "Encrypting Title of entry: %d ", static_cast<int>(n.uniqueNumber));
                security::encrypt(n.name, n.encryptedTitle, n.titleSalt);
                changed = true;
            }
            changed |= encryptUnsalted(n.userName, n.userNameSalt);
            changed |= encryptUnsalted(n.password, n.passwordSalt);
            n.encrypted = !n.passwordSalt.empty();
            changed |= encryptUnsalted(n.url, n.urlSalt);
            changed |= encryptUnsalted(n.notes, n.notesSalt);
            changed |= encryptUnsalted(n.expireTimeText, n.expireTimeSalt);
            changed |= encryptUnsalted(n.creationTimeText, n.creationTimeSalt);
            changed |= encryptUnsalted(n.lastAccessTimeText, n.lastAccessTimeSalt);
            changed |= encryptUnsalted(n.lastModTimeText, n.lastModTimeSalt);
        }
        parseAutoType(n);
        parseAutoTypeWindows(n);
    }
    if (changed) xmlData().setDirty(true);
    KH_LEAVE("DecryptTitle");
    return changed;
}

void ReEncryptOne(const CSecureString& previous, std::string& field, const std::string& salt, std::string& newSalt) {
    KH_ENTER("ReEncryptOne");
    // Decrypted under the previous password directly: the process-wide master
    // password never holds the old one, not even for a moment.
    std::string plain;
    security::decryptWith(previous, field, salt, plain);
    security::encrypt(plain, field, newSalt);
    std::fill(plain.begin(), plain.end(), '\0');
    KH_LEAVE("ReEncryptOne");
}

int ReEncryptAll(const CSecureString& previous) {
    KH_ENTER("ReEncryptAll");
    PasswordTree& tree = passwordTree();
    if (tree.empty()) {
        KH_LOG(eTroubleShoot, "Tree is empty!");
        return 0;
    }
    auto again = [&previous](std::string& field, std::string& salt) {
        std::string newSalt;
        ReEncryptOne(previous, field, salt, newSalt);
        salt = newSalt;
    };
    for (TreePos p = tree.begin(); p != tree.end(); ++p) {
        tTreeNode& n = *p;
        if (!n.isEntry() || !n.encrypted) continue;
        KH_LOG(eRubbish, "Title: %s ", n.name.c_str());
        again(n.encryptedTitle, n.titleSalt);
        again(n.password, n.passwordSalt);
        n.encrypted = !n.passwordSalt.empty();
        if (!n.userName.empty()) again(n.userName, n.userNameSalt);
        if (!n.notes.empty()) again(n.notes, n.notesSalt);
        if (!n.url.empty()) again(n.url, n.urlSalt);
        for (auto f : {std::make_pair(&n.expireTimeText, &n.expireTimeSalt),
                       std::make_pair(&n.creationTimeText, &n.creationTimeSalt),
                       std::make_pair(&n.lastModTimeText, &n.lastModTimeSalt),
                       std::make_pair(&n.lastAccessTimeText, &n.lastAccessTimeSalt)}) {
            if (!f.second->empty()) again(*f.first, *f.second);
        }
    }
    xmlData().writeWholeXml();
    KH_LEAVE("ReEncryptAll");
    return 1;
}
