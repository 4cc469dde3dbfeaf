#include "TreeNode.h"

#include <cctype>
#include <mutex>
#include <unordered_set>

#include "Log.h"
#include "NodeIcon.h"
#include "security/Util.h"

namespace {

// Numbers in use and the counter for fresh ones. Lookups are hashed, so that
// registering the nodes of a large store stays linear.
struct UniqueNumbers {
    std::mutex mutex;
    std::unordered_set<std::uint32_t> used;
    std::uint32_t counter = 0;
};

UniqueNumbers& uniqueNumbers() {
    static UniqueNumbers registry;
    return registry;
}

// A field is ciphertext exactly when it has a salt. Deciding by the field's
// own salt (not by the entry-wide flag) keeps an entry readable whose fields
// are only partly encrypted, such as one marked for encryption that has no
// password: its flag stays off while its other fields are salted.
std::string decryptedField(const std::string& text, const std::string& salt) {
    if (salt.empty()) return text;
    std::string plain;
    security::decrypt(text, salt, plain);
    return plain;
}

// Sets a FILETIME from a time in the form it has in the file: plain seconds, or
// their ciphertext when the salt is set; the stored text keeps that form.
void setStoredTime(const std::string& stored, const std::string& salt, const char* what, std::string& text,
                   FILETIME& ft) {
    if (stored.empty()) {
        ft = timeutil::kNoTime;
        return;
    }
    if (salt.empty()) {
        text = stored;
        ft = timeutil::textToFileTime(stored);
        return;
    }
    KH_LOG(eRubbish, "%s", what);
    std::string plain;
    security::decrypt(stored, salt, plain);
    ft = timeutil::textToFileTime(plain);
    text = stored;
}

void setTimeNow(bool encrypted, std::string& text, std::string& salt, FILETIME& ft) {
    ft = timeutil::currentFileTime();
    text = timeutil::fileTimeToText(ft);
    if (encrypted) security::encrypt(text, text, salt);
}

int lowerByte(char c) { return std::tolower(static_cast<unsigned char>(c)); }

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerByte(a[i]) != lowerByte(b[i])) return false;
    }
    return true;
}

}  // namespace

tTreeNode::tTreeNode() { setCreationTime(""); }

int tTreeNode::getNodeType() const {
    if (nodeType == eNode_None) KH_LOG(eError, "Node #%u without node type", static_cast<unsigned>(uniqueNumber));
    return nodeType;
}

bool tTreeNode::isCommandNode() const {
    switch (nodeType) {
        case eNode_NewEntry:
        case eNode_FolderNewEntry:
        case eNode_LockKeyhold:
        case eNode_UnLockKeyhold:
        case eNode_AutoTypeWindowOn:
        case eNode_AutoTypeWindowOff:
        case eNode_ReloadDatabase:
            return true;
        default:
            return false;
    }
}

std::string tTreeNode::getPassword() {
    encrypted = !passwordSalt.empty();
    return decryptedField(password, passwordSalt);
}
std::string tTreeNode::getUserName() const { return decryptedField(userName, userNameSalt); }
std::string tTreeNode::getNotes() const { return decryptedField(notes, notesSalt); }
std::string tTreeNode::getUrl() const { return decryptedField(url, urlSalt); }

void tTreeNode::setCreationTimeNow() {
    ftCreationTime = timeutil::currentFileTime();
    creationTimeText = timeutil::fileTimeToText(ftCreationTime);
    ftCreationTime = timeutil::textToFileTime(creationTimeText);  // whole seconds
    if (encrypted) security::encrypt(creationTimeText, creationTimeText, creationTimeSalt);
}
void tTreeNode::setLastAccessTimeNow() { setTimeNow(encrypted, lastAccessTimeText, lastAccessTimeSalt, ftLastAccessTime); }
void tTreeNode::setLastModTimeNow() { setTimeNow(encrypted, lastModTimeText, lastModTimeSalt, ftLastWriteTime); }

void tTreeNode::setCreationTime(const std::string& stored) {
    setStoredTime(stored, creationTimeSalt, "Decrypt creationtime.", creationTimeText, ftCreationTime);
}
void tTreeNode::setLastAccessTime(const std::string& stored) {
    setStoredTime(stored, lastAccessTimeSalt, "Decrypt lastaccesstime.", lastAccessTimeText, ftLastAccessTime);
}
void tTreeNode::setLastModTime(const std::string& stored) {
    setStoredTime(stored, lastModTimeSalt, "Decrypt lastmodtime.", lastModTimeText, ftLastWriteTime);
}

namespace {

FILETIME storedFileTime(const FILETIME& ft, const std::string& text, const std::string& salt) {
    if (!timeutil::isNoTime(ft) || text.empty()) return ft;
    if (salt.empty()) return timeutil::textToFileTime(text);
    std::string plain;
    security::decrypt(text, salt, plain);
    return timeutil::textToFileTime(plain);
}

}  // namespace

void tTreeNode::setLastModTimeStored(const std::string& stored) {
    if (lastModTimeSalt.empty() || stored.empty()) return setLastModTime(stored);
    lastModTimeText = stored;
    ftLastWriteTime = timeutil::kNoTime;
}
void tTreeNode::setLastAccessTimeStored(const std::string& stored) {
    if (lastAccessTimeSalt.empty() || stored.empty()) return setLastAccessTime(stored);
    lastAccessTimeText = stored;
    ftLastAccessTime = timeutil::kNoTime;
}
void tTreeNode::setCreationTimeStored(const std::string& stored) {
    if (creationTimeSalt.empty() || stored.empty()) return setCreationTime(stored);
    creationTimeText = stored;
    ftCreationTime = timeutil::kNoTime;
}
FILETIME tTreeNode::storedCreationTime() const {
    if (timeutil::isNoTime(ftCreationTime) && !creationTimeText.empty() && !creationTimeSalt.empty())
        KH_LOG(eRubbish, "Decrypt creationtime.");
    return storedFileTime(ftCreationTime, creationTimeText, creationTimeSalt);
}
FILETIME tTreeNode::lastModFileTime() const { return storedFileTime(ftLastWriteTime, lastModTimeText, lastModTimeSalt); }
FILETIME tTreeNode::lastAccessFileTime() const {
    return storedFileTime(ftLastAccessTime, lastAccessTimeText, lastAccessTimeSalt);
}

void tTreeNode::setUniqueNumber(std::uint32_t n, int mode) {
    if (mode == 0) {
        uniqueNumber = n;
        return;
    }
    if (mode != 1) return;
    UniqueNumbers& r = uniqueNumbers();
    std::lock_guard<std::mutex> guard(r.mutex);
    bool inUse = n != 0 && r.used.count(n) != 0;
    if (inUse) KH_LOG(eError, "Unique Number already exists!Generating a new one");
    if (n != 0 && !inUse) {
        uniqueNumber = n;
        r.used.insert(n);
        return;
    }
    do {
        ++r.counter;
    } while (r.counter == 0 || r.used.count(r.counter) != 0);
    uniqueNumber = r.counter;
    r.used.insert(r.counter);
}

void tTreeNode::releaseUniqueNumber(std::uint32_t n) {
    UniqueNumbers& r = uniqueNumbers();
    std::lock_guard<std::mutex> guard(r.mutex);
    r.used.erase(n);
}

void resetUniqueNumbersForTesting() {
    UniqueNumbers& r = uniqueNumbers();
    std::lock_guard<std::mutex> guard(r.mutex);
    r.used.clear();
    r.counter = 0;
}

std::string tTreeNode::updateAbsolutePath(TreePos parent) {
    KH_ENTER("tTreeNode::updateAbsolutePath");
    if (parent == passwordTree().end() || !parent.valid()) {
        KH_LOG(eTroubleShoot, "updateAbsolutePath()");
        return std::string();
    }
    std::string previous = absolutePath;
    const std::string& parentPath = parent->absolutePath;
    KH_LOG(eInformation, "parentAbs: %s", parentPath.c_str());
    absolutePath = parentPath + name;
    if (nodeType == eNode_Directory) {
        if (!absolutePath.empty() && absolutePath[0] != '\\') absolutePath.insert(0, 1, '\\');
        absolutePath += '\\';
    }
    KH_LOG(eInformation, "returning parentAbs: %s", parentPath.c_str());
    return previous;
}

void tTreeNode::registerNode(TreePos parent) {
    updateAbsolutePath(parent);
    nodeIcons().addNodeIcon(*this);
}

void tTreeNode::reregisterNode(TreePos parent) {
    std::string former = updateAbsolutePath(parent);
    nodeIcons().replaceNodeIcon(*this, former);
}

void tTreeNode::refreshSubtreePaths(TreePos first, TreePos end) {
    PasswordTree& tree = passwordTree();
    for (TreePos p = first; p != end && p != tree.end(); ++p) {
        if (p->isEntry() || p->isFolder()) p->reregisterNode(tree.parent(p));
    }
}

bool tTreeNode::hasSiblingWithSameName(const tTreeNode& node, TreePos parent) {
    PasswordTree& tree = passwordTree();
    if (tree.empty() || parent == tree.end() || !parent.valid()) return false;
    for (const tTreeNode& sibling : tree.children(parent)) {
        if (!sibling.isEntry() && !sibling.isFolder()) continue;
        if (sibling.uniqueNumber == node.uniqueNumber) continue;
        if (equalIgnoringCase(sibling.name, node.name)) return true;
    }
    return false;
}

namespace {

// A stored time of another node, in the form this node keeps its times: an
// encrypted node takes the ciphertext with its salt, a plain one the plain
// text. A time text is never separated from its salt: without it the
// ciphertext would read back as 1970.
void carryTime(const std::string& fromText, const std::string& fromSalt, bool encrypted, std::string& text,
               std::string& salt) {
    if (fromSalt.empty() || encrypted) {
        text = fromText;
        salt = fromSalt;
        if (encrypted && salt.empty()) security::encrypt(text, text, salt);
        return;
    }
    std::string plain;
    security::decrypt(fromText, fromSalt, plain);
    text.swap(plain);
    salt.clear();
}

}  // namespace

void tTreeNode::copyFileInfo(const tTreeNode& from) {
    name = from.name;
    fileAttributes = from.fileAttributes;
    ftCreationTime = from.ftCreationTime;
    ftLastAccessTime = from.ftLastAccessTime;
    ftLastWriteTime = from.ftLastWriteTime;
    carryTime(from.creationTimeText, from.creationTimeSalt, encrypted, creationTimeText, creationTimeSalt);
    carryTime(from.lastAccessTimeText, from.lastAccessTimeSalt, encrypted, lastAccessTimeText, lastAccessTimeSalt);
    carryTime(from.lastModTimeText, from.lastModTimeSalt, encrypted, lastModTimeText, lastModTimeSalt);
    fileSizeHigh = from.fileSizeHigh;
    fileSizeLow = from.fileSizeLow;
    nodeType = from.nodeType;
}

tTreeNode MakeFolderNode(const std::string& name) {
    tTreeNode node;
    node.name = name;
    node.nodeType = eNode_Directory;
    node.fileAttributes = wfx::kAttrDirectory;
    node.absolutePath = "\\";
    node.setUniqueNumber(0, 1);
    node.setCreationTimeNow();
    return node;
}

tTreeNode MakeBaseNode(const std::string& name) {
    tTreeNode node;
    node.name = name;
    node.nodeType = eNode_Base;
    node.fileAttributes = wfx::kAttrDirectory;
    node.setUniqueNumber(0, 1);
    node.setCreationTime("");
    node.fileSizeHigh = 0;
    node.fileSizeLow = 1;
    return node;
}
