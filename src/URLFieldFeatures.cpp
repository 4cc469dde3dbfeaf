#include "URLFieldFeatures.h"

#include "AutoType.h"
#include "Log.h"
#include "TreeNode.h"
#include "security/SecureString.h"
#include "security/Util.h"

namespace {

// A plain copy of a secret that is wiped before its storage goes.
class ScrubbedText {
public:
    explicit ScrubbedText(const CSecureString& secret) {
        CPlainCopy plain(secret);
        m_text.reserve(secret.length());
        m_text.assign(plain.c_str());
    }
    ~ScrubbedText() { secureWipe(&m_text[0], m_text.size()); }
    ScrubbedText(const ScrubbedText&) = delete;
    ScrubbedText& operator=(const ScrubbedText&) = delete;
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
};

// A field's plain value into a secure string. Whether the field is
// ciphertext is told by its own salt, as the entry's getters decide.
void plainField(const std::string& stored, const std::string& salt, CSecureString& out) {
    if (salt.empty()) {
        out.setText(stored.c_str());
        return;
    }
    security::decrypt(stored, salt, out);
}

// Both spellings of one placeholder, braces first.
void fill(std::string& url, const char* braces, const char* percents, const CSecureString& value) {
    ScrubbedText plain(value);
    replaceAll(url, braces, plain.text());
    replaceAll(url, percents, plain.text());
}

}  // namespace

std::string entryUrl(const tTreeNode& entry) {
    std::string url;
    // Ciphertext exactly when the field has a salt, as the entry's getters decide.
    if (!entry.urlSalt.empty())
        security::decryptText(entry.url, entry.urlSalt, url);
    else
        url = entry.url;
    // The address may hold a user name or a password of its own: its length only.
    KH_LOG(eInformation, "Given URL (%d characters)", static_cast<int>(url.size()));
    return url;
}

std::string buildUrl(std::string& url, const tTreeNode& entry) {
    CSecureString userName, password, notes;
    plainField(entry.userName, entry.userNameSalt, userName);
    plainField(entry.password, entry.passwordSalt, password);
    plainField(entry.notes, entry.notesSalt, notes);
    fill(url, "{USERNAME}", "%USERNAME%", userName);
    if (entry.encrypted) {
        // The password goes in before the notes, so that a placeholder the
        // notes hold stays as it is.
        fill(url, "{PASSWORD}", "%PASSWORD%", password);
        fill(url, "{NOTES}", "%NOTES%", notes);
    } else {
        fill(url, "{NOTES}", "%NOTES%", notes);
        fill(url, "{PASSWORD}", "%PASSWORD%", password);
    }
    userName.clear();
    password.clear();
    notes.clear();
    return url;
}
