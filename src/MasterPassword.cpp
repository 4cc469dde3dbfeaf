#include "MasterPassword.h"

#include <tinyxml.h>

#include <mutex>
#include <vector>

#include "AutoType.h"
#include "KeyholdApp.h"
#include "Log.h"
#include "ParallelWork.h"
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

// A store read again (reloading) that cannot be taken: the tree and document
// read before stay, and so does the state they were in.
eOpenResult keepStoreReadBefore() {
    KH_LOG(eTroubleShoot, "The store read before stays");
    xmlData().keepLoadedStore();
    return eOpenResult::List;
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

// Encrypts a field in place under a new salt when it has none yet. True only
// when that changed it: an empty field stays as it is.
bool encryptUnsalted(std::string& field, std::string& salt) {
    if (!salt.empty() || field.empty()) return false;
    security::encrypt(field, field, salt);
    return !salt.empty();
}

}  // namespace

eOpenResult openDatabase() {
    int r = xmlData().initializeXmlData();
    if (r == eXmlAlreadyInitialized) return eOpenResult::List;
    const bool reloading = xmlData().hasLoadedStore();
    if (r == eXmlParseError) {
        KH_LOG(eRubbish, "Error Parsing XML.");
        message("Error Parsing XML.");
        if (reloading) return keepStoreReadBefore();
        xmlData().resetInitialized();
        return eOpenResult::Fail;
    }
    if (r == eXmlUnreadable) {
        // An existing store that cannot be read now is never replaced by a new
        // one, and a store read before stays in the panel.
        message(xmlData().lastError());
        if (reloading) return keepStoreReadBefore();
        xmlData().resetInitialized();
        return eOpenResult::Fail;
    }
    if (r != eXmlLoaded && r != eXmlNoFile) return eOpenResult::List;

    std::string suppressed = settings().m_masterPassword->GetValue();
    if (!suppressed.empty()) {
        KH_LOG(eImportant, "Suppress password mode!");
        CSecureString candidate;
        candidate.setText(suppressed.c_str());
        std::fill(suppressed.begin(), suppressed.end(), '\0');
        if (r == eXmlNoFile || !xmlData().checkMasterKey(candidate)) return deny();
        theApp().setMasterPassword(candidate);
        load();
        return eOpenResult::List;
    }

    // The dialog fills a password of its own; the master password takes it
    // once it was confirmed.
    CSecureString typed = theApp().masterPassword();
    CPassWordDlg dialog(typed, storeVerifier());
    dialog.setMode(r == eXmlNoFile ? 1 : 0);
    if (r == eXmlNoFile) dialog.setTitle(kNewStorePasswordTitle);
    KH_LOG(eImportant, "Ask for password");
    int answer = dialog.DoModal(nullptr);
    if (answer == kDialogOk) theApp().setMasterPassword(typed);
    if (answer == kDialogOk && r == eXmlLoaded) {
        load();
    } else if (answer == kDialogOk) {
        navigation().databaseLoaded = true;
        xmlData().createDefaultDatabase();
    } else if (answer == kDialogCancel) {
        // The document read is dropped; the tree and document read before stay.
        return deny();
    }
    return eOpenResult::List;
}

bool unlock() {
    CSecureString typed;
    CPassWordDlg dialog(typed, storeVerifier());
    dialog.setMode(0);
    if (dialog.DoModal(theApp().m_host.hostWindow) != kDialogOk) return false;
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    theApp().setMasterPassword(typed);
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
    // The entries change in place: the other threads read them under this guard.
    std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
    std::vector<tTreeNode*> entries;
    for (TreePos p = tree.begin(); p != tree.end(); ++p) {
        tTreeNode& n = *p;
        if (!n.isEntry()) continue;
        entries.push_back(&n);
        if (n.encrypted || n.markedForEncryption) {
            KH_LOG(eRubbish, "Entry #%u", static_cast<unsigned>(n.uniqueNumber));
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
    }
    // The auto-type definitions of every entry, its notes decrypted once, on
    // all cores; the entries take them in tree order.
    std::vector<tAutoTypeDefinitions> definitions(entries.size());
    parallel::forEachIndex(entries.size(), [&entries, &definitions](std::size_t i) {
        definitions[i] = readAutoTypeDefinitions(*entries[i]);
    });
    for (std::size_t i = 0; i < entries.size(); ++i) applyAutoTypeDefinitions(*entries[i], std::move(definitions[i]));
    if (changed) xmlData().setDirty(true);
    KH_LEAVE("DecryptTitle");
    return changed;
}

namespace {

// A stored field: its text and its salt.
struct StoredField {
    std::string* text;
    std::string* salt;
};

// The fields of a node that hold ciphertext (a salt and a text), in the order
// they are encrypted again. Whether a field is ciphertext is told by its own
// salt, so that a partly encrypted entry (marked for encryption without a
// password) moves to the new password too, and so do folder times that the
// file holds encrypted.
std::vector<StoredField> encryptedFields(tTreeNode& n) {
    std::vector<StoredField> salted;
    auto take = [&salted](std::string& text, std::string& salt) {
        if (!salt.empty() && !text.empty()) salted.push_back(StoredField{&text, &salt});
    };
    if (n.isEntry()) {
        take(n.encryptedTitle, n.titleSalt);
        take(n.password, n.passwordSalt);
        take(n.userName, n.userNameSalt);
        take(n.notes, n.notesSalt);
        take(n.url, n.urlSalt);
        take(n.expireTimeText, n.expireTimeSalt);
        take(n.creationTimeText, n.creationTimeSalt);
        take(n.lastModTimeText, n.lastModTimeSalt);
        take(n.lastAccessTimeText, n.lastAccessTimeSalt);
    } else if (n.isFolder() || n.isBase()) {
        take(n.creationTimeText, n.creationTimeSalt);
    }
    return salted;
}

// The new ciphertext of one field, computed before anything is changed.
struct PlannedField {
    tTreeNode* node;
    StoredField field;
    std::string text, salt;
};

// Puts the planned texts in place, and with them the master password they
// are encrypted under, in one step for the other threads; afterwards the plan
// holds the texts replaced.
void swapIn(std::vector<PlannedField>& plan, const CSecureString& master) {
    std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
    theApp().setMasterPassword(master);
    for (PlannedField& p : plan) {
        p.field.text->swap(p.text);
        p.field.salt->swap(p.salt);
        if (p.node->isEntry()) p.node->encrypted = !p.node->passwordSalt.empty();
    }
}

}  // namespace

bool ReEncryptOne(const CSecureString& previous, const CSecureString& next, std::string& field, const std::string& salt,
                  std::string& newSalt) {
    KH_ENTER("ReEncryptOne");
    // Both passwords are given: the process-wide master password stays the
    // one the store's fields are under until all of them change together.
    std::string plain;
    const bool ok = security::decryptChecked(previous, field, salt, plain) == 1;
    if (ok) {
        std::string cipher, fresh;
        security::encryptWith(next, plain, cipher, fresh);
        field.swap(cipher);
        newSalt.swap(fresh);
    }
    secureWipe(plain);
    KH_LEAVE("ReEncryptOne");
    return ok;
}

int ReEncryptAll(const CSecureString& previous, const CSecureString& next) {
    KH_ENTER("ReEncryptAll");
    PasswordTree& tree = passwordTree();
    if (tree.empty()) {
        KH_LOG(eTroubleShoot, "Tree is empty!");
        return 0;
    }
    // Every new ciphertext first, all fields at once on all cores; the tree
    // changes only once all of them exist.
    std::vector<PlannedField> plan;
    for (TreePos p = tree.begin(); p != tree.end(); ++p) {
        tTreeNode& n = *p;
        std::vector<StoredField> fields = encryptedFields(n);
        if (fields.empty()) continue;
        if (n.isEntry()) KH_LOG(eRubbish, "Entry #%u", static_cast<unsigned>(n.uniqueNumber));
        for (const StoredField& f : fields) plan.push_back(PlannedField{&n, f, *f.text, std::string()});
    }
    std::vector<char> done(plan.size(), 0);
    parallel::forEachIndex(plan.size(), [&plan, &done, &previous, &next](std::size_t i) {
        PlannedField& planned = plan[i];
        done[i] = ReEncryptOne(previous, next, planned.text, *planned.field.salt, planned.salt) ? 1 : 0;
    });
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (done[i] != 0) continue;
        KH_LOG(eError, "A field of node number %d does not decrypt under the previous master password; "
                       "the store is left as it was",
               static_cast<int>(plan[i].node->uniqueNumber));
        return 0;
    }
    swapIn(plan, next);
    if (xmlData().writeWholeXml() != 1) {
        // The file on disk is unchanged: the tree, its password and the document go back to it.
        swapIn(plan, previous);
        XmlData& xml = xmlData();
        xml.rebuildDocumentFromTree();
        if (xml.document() != nullptr && xml.document()->RootElement() != nullptr)
            xml.document()->RootElement()->SetAttribute("masterkey", security::applySH1(previous));
        KH_LOG(eError, "The store could not be saved under the new master password; it is left as it was");
        return 0;
    }
    KH_LEAVE("ReEncryptAll");
    return 1;
}

bool IsStorePassword(const CSecureString& candidate) {
    if (!xmlData().checkMasterKey(candidate)) return false;
    // A few fields are enough: under another password a field decrypts with
    // valid padding about once in 256 times.
    constexpr int kFieldsTried = 4;
    int tried = 0;
    std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
    PasswordTree& tree = passwordTree();
    for (TreePos p = tree.begin(); p != tree.end() && tried < kFieldsTried; ++p) {
        for (const StoredField& f : encryptedFields(*p)) {
            std::string plain;
            const bool ok = security::decryptChecked(candidate, *f.text, *f.salt, plain) == 1;
            secureWipe(plain);
            if (!ok) return false;
            if (++tried == kFieldsTried) break;
        }
    }
    return true;
}
