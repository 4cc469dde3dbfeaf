#include "RenameMoveCopy.h"

#include "KeyholdApp.h"
#include "Listing.h"
#include "Log.h"
#include "NodeIcon.h"
#include "StoreChanges.h"
#include "VirtualPath.h"
#include "XmlData.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "security/Util.h"

namespace {

struct Resolved {
    std::vector<std::string> components;
    TreePos node;
    std::string missing;
};

Resolved resolve(const std::string& path, bool dropLast) {
    Resolved r;
    SplitVirtualPath(path, r.components, dropLast);
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    TreePos cursor;
    FindNodeByPath(r.components, r.node, cursor, r.missing, passwordTree().begin());
    nav.currentNode = r.node;
    return r;
}

bool exists(const Resolved& r) { return r.missing.empty() && r.node.valid() && r.node != passwordTree().end(); }

// A target whose last component is the one missing, inside a folder.
bool isNewPlaceInFolder(const Resolved& r) {
    return !r.missing.empty() && !r.components.empty() && r.missing == r.components.back() && r.node.valid() &&
           r.node != passwordTree().end() && (r.node->isFolder() || r.node->isBase());
}

std::size_t commonPrefix(const std::vector<std::string>& s, const std::vector<std::string>& t) {
    std::size_t k = 0;
    while (k < s.size() && k < t.size() && s[k] == t[k]) ++k;
    return k;
}

void message(const char* text) { platform::messageBoxes().show(text, "Keyhold", platform::MessageButtons::Ok); }

// A title stored encrypted is stored encrypted again under its new name; the
// title's own salt tells, not whether the password is encrypted.
void encryptTitle(tTreeNode& node) {
    if (node.titleSalt.empty()) return;
    node.titleSalt.clear();
    security::encrypt(node.name, node.encryptedTitle, node.titleSalt);
}

void refreshBelow(TreePos node) {
    PasswordTree& tree = passwordTree();
    TreePos first = tree.firstChild(node);
    if (first.valid()) tTreeNode::refreshSubtreePaths(first, tree.subtreeEnd(node));
}

int renameFolder(TreePos folder, const std::string& newName) {
    // The other threads read the nodes under the navigation lock; it is let
    // go while the store is saved (a failure is shown to the user).
    std::unique_lock<std::recursive_mutex> guard(navigation().mutex);
    std::string oldName = folder->name;
    folder->name = newName;
    if (tTreeNode::hasSiblingWithSameName(*folder, passwordTree().parent(folder))) {
        folder->name = oldName;
        return wfx::FS_FILE_EXISTS;
    }
    folder->reregisterNode(passwordTree().parent(folder));
    refreshBelow(folder);
    tTreeNode copy = *folder;
    guard.unlock();
    if (xmlData().updateXML(copy) != 1) {
        guard.lock();
        folder->name = oldName;
        folder->reregisterNode(passwordTree().parent(folder));
        refreshBelow(folder);
        guard.unlock();
        xmlData().rebuildDocumentFromTree();
        return wfx::FS_FILE_WRITEERROR;
    }
    return wfx::FS_FILE_OK;
}

int renameEntry(TreePos entry, const std::string& newName) {
    tTreeNode renamed = *entry;
    renamed.name = newName;
    if (tTreeNode::hasSiblingWithSameName(renamed, passwordTree().parent(entry))) return wfx::FS_FILE_EXISTS;
    encryptTitle(renamed);
    renamed.registerNode(passwordTree().parent(entry));
    if (xmlData().updateXML(renamed) != 1) {
        xmlData().rebuildDocumentFromTree();
        return wfx::FS_FILE_WRITEERROR;
    }
    std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
    *entry = renamed;
    return wfx::FS_FILE_OK;
}

// Moves a node (with everything below it) into another folder under a name.
int moveElsewhere(TreePos source, TreePos targetFolder, const std::string& newName) {
    PasswordTree& tree = passwordTree();
    tTreeNode old = *source;
    tTreeNode candidate = *source;
    candidate.name = newName;
    if (tTreeNode::hasSiblingWithSameName(candidate, targetFolder)) return wfx::FS_FILE_EXISTS;
    TreePos oldParent = tree.parent(source);
    TreePos oldNext = tree.nextSibling(source);
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        ListingsLeave(source);
        tree.moveAsLastChild(source, targetFolder);
        source->name = newName;
        source->group = targetFolder->name;
        encryptTitle(*source);
        source->reregisterNode(targetFolder);
        refreshBelow(source);
    }
    tTreeNode parentCopy = *targetFolder;
    tTreeNode moved = *source;
    if (xmlData().updateXML(parentCopy, old, moved) != 1) {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        ListingsLeave(source);
        tree.moveBefore(source, oldParent, oldNext);
        *source = old;
        source->reregisterNode(oldParent);
        refreshBelow(source);
        xmlData().rebuildDocumentFromTree();
        return wfx::FS_FILE_WRITEERROR;
    }
    return wfx::FS_FILE_OK;
}

int copyInto(TreePos source, TreePos targetFolder, const std::string& newName) {
    PasswordTree& tree = passwordTree();
    tTreeNode copy = *source;
    copy.copyFileInfo(*source);
    copy.name = newName;
    copy.group = targetFolder->name;
    copy.xmlElement = nullptr;
    encryptTitle(copy);
    copy.setUniqueNumber(0, 1);
    copy.registerNode(targetFolder);
    TreePos added;
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        added = tree.appendChild(targetFolder, copy);
        if (added->isFolder() && settings().m_newEntryFolder->GetValue()) {
            tree.appendChild(added, MakeCommandNode("[New Entry]", eNode_FolderNewEntry));
        }
    }
    tTreeNode parentCopy = *targetFolder;
    if (xmlData().createXML(parentCopy, *added) != 1) {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        tTreeNode::releaseUniqueNumber(added->uniqueNumber);
        ListingsLeave(added);
        tree.erase(added);
        xmlData().rebuildDocumentFromTree();
        return wfx::FS_FILE_WRITEERROR;
    }
    return wfx::FS_FILE_OK;
}

// An entry that stood where another one goes, after the user agreed to
// overwrite it: out of the document (not yet saved) and out of the tree. The
// save of the move or copy that follows takes its removal to the disk in the
// same replacement; when that fails, it goes back where it was.
struct Displaced {
    tTreeNode node;
    TreePos parent, next;
};

bool takeOut(TreePos target, Displaced& out) {
    out.node = *target;
    if (xmlData().deleteXML(out.node, false) != 1) return false;
    PasswordTree& tree = passwordTree();
    std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
    out.parent = tree.parent(target);
    out.next = tree.nextSibling(target);
    ListingsLeave(target);
    tree.erase(target);
    return true;
}

void putBack(const Displaced& d) {
    PasswordTree& tree = passwordTree();
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        if (d.next.valid() && d.next != tree.end() && tree.parent(d.next) == d.parent) {
            tree.insert(d.next, d.node);
        } else {
            tree.appendChild(d.parent, d.node);
        }
    }
    xmlData().rebuildDocumentFromTree();
}

int placeSource(Resolved& source, Resolved& target, bool folder, ePathRelation relation, bool move);

}  // namespace

ePathRelation classifyFolderMove(const std::vector<std::string>& s, const std::vector<std::string>& t) {
    std::size_t k = commonPrefix(s, t);
    if (!s.empty() && s.size() == t.size() && k == s.size() - 1) return ePathRelation::RenameInPlace;
    if (t.size() >= s.size() && k == s.size()) return ePathRelation::IntoItself;
    return ePathRelation::Elsewhere;
}

ePathRelation classifyEntryMove(const std::vector<std::string>& s, const std::vector<std::string>& t) {
    std::size_t k = commonPrefix(s, t);
    if (!s.empty() && s.size() == t.size() && k == s.size() - 1) return ePathRelation::RenameInPlace;
    return ePathRelation::Elsewhere;
}

int RenameMoveCopy(const char* oldHost, const char* newHost, bool move, bool overwrite) {
    std::string oldName = VirtualPathFromHost(oldHost), newName = VirtualPathFromHost(newHost);
    // A path with an empty component names nothing: no password is asked for it.
    if (HasEmptyComponent(oldName) || HasEmptyComponent(newName)) return wfx::FS_FILE_NOTFOUND;
    if (!UnlockForChange(true)) return wfx::FS_FILE_NOTFOUND;
    KH_LOG(eImportant, "FsRenMovFile(OldName: %s, NewName: %s, Move: %d,OverWrite: %d)",
           keyholdlog::pathForLog(oldName).c_str(), keyholdlog::pathForLog(newName).c_str(), move ? 1 : 0,
           overwrite ? 1 : 0);
    if (oldHost == nullptr || newHost == nullptr || oldName.size() < 2 || newName.size() < 2 ||
        oldName.size() >= static_cast<std::size_t>(wfx::kMaxPath) ||
        newName.size() >= static_cast<std::size_t>(wfx::kMaxPath)) {
        return wfx::FS_FILE_NOTFOUND;
    }
    if (ReportProgress(oldName, newName, 0)) return wfx::FS_FILE_USERABORT;
    if (!navigation().databaseLoaded) return wfx::FS_FILE_NOTFOUND;

    bool shortened = false;
    if (move) {
        KH_LOG(eInformation, "This is a move operation.");
        if (navigation().bFsMkDir) {
            KH_LOG(eWarning, "bFsMkDir is true. Be carefull....");
            navigation().bFsMkDir = false;
            shortened = true;
        }
    } else {
        KH_LOG(eInformation, "Copy from FS to FS.");
    }
    Resolved source = resolve(oldName, shortened);
    // A source that is not there (any more) changes nothing.
    if (!exists(source)) return wfx::FS_FILE_NOTFOUND;
    if (source.node->isCommandNode()) return wfx::FS_FILE_OK;
    if (!source.node->isEntry() && !source.node->isFolder()) return wfx::FS_FILE_NOTFOUND;
    Resolved target = resolve(newName, shortened);
    bool folder = source.node->isFolder();
    ePathRelation relation = folder ? classifyFolderMove(source.components, target.components)
                                    : classifyEntryMove(source.components, target.components);
    if (folder && relation == ePathRelation::IntoItself) return wfx::FS_FILE_USERABORT;

    if (oldName == newName) {
        if (move) {
            KH_LOG(eTroubleShoot, "Cannot move a file or a directory to itself.");
        } else {
            KH_LOG(eTroubleShoot, "Cannot copy a file or a directory to itself.");
            message("You cannot copy a file to itself!");
        }
        return wfx::FS_FILE_USERABORT;
    }

    bool displacing = false;
    Displaced displaced;
    if (exists(target)) {
        bool sameNode = target.node == source.node;  // a rename that changes only the case
        if (!sameNode) {
            // Folders are never overwritten: their contents would be lost.
            if (!overwrite || folder || !target.node->isEntry()) return wfx::FS_FILE_EXISTS;
            KH_LOG(eInformation, "Target already exists!! Will be overwritten.");
            if (!takeOut(target.node, displaced)) {
                xmlData().rebuildDocumentFromTree();
                return wfx::FS_FILE_WRITEERROR;
            }
            displacing = true;
            source = resolve(oldName, shortened);
            target = resolve(newName, shortened);
        }
    }
    int result = placeSource(source, target, folder, relation, move);
    if (displacing) {
        if (result == wfx::FS_FILE_OK) {
            tTreeNode::releaseUniqueNumber(displaced.node.uniqueNumber);
            nodeIcons().deleteNodeIcon(newName);
        } else {
            putBack(displaced);
        }
    }
    return result;
}

namespace {

int placeSource(Resolved& source, Resolved& target, bool folder, ePathRelation relation, bool move) {
    if (!exists(source)) return wfx::FS_FILE_NOTFOUND;
    // The new name goes into an existing folder: intermediate folders are
    // never made up.
    std::string newLast = target.components.empty() ? std::string() : target.components.back();
    TreePos targetFolder;
    if (exists(target) && target.node == source.node) {
        targetFolder = passwordTree().parent(source.node);
    } else if (isNewPlaceInFolder(target)) {
        targetFolder = target.node;
    } else {
        return wfx::FS_FILE_NOTFOUND;
    }
    if (newLast.empty()) return wfx::FS_FILE_NOTFOUND;

    if (!move) return copyInto(source.node, targetFolder, newLast);
    if (relation == ePathRelation::RenameInPlace && targetFolder == passwordTree().parent(source.node)) {
        return folder ? renameFolder(source.node, newLast) : renameEntry(source.node, newLast);
    }
    return moveElsewhere(source.node, targetFolder, newLast);
}

}  // namespace
