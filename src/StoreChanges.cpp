#include "StoreChanges.h"

#include <string>
#include <vector>

#include "Import.h"
#include "KeyholdApp.h"
#include "Listing.h"
#include "Log.h"
#include "MasterPassword.h"
#include "NodeIcon.h"
#include "VirtualPath.h"
#include "XmlData.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"

namespace {

struct Resolved {
    std::vector<std::string> components;
    TreePos node;  // the deepest node reached
    std::string missing;
    int result = 0;
};

Resolved resolve(const std::string& path) {
    Resolved r;
    SplitVirtualPath(path, r.components, false);
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    r.result = FindNodeByPath(r.components, nav.currentNode, nav.listingCursor, r.missing, passwordTree().begin());
    r.node = nav.currentNode;
    return r;
}

bool isLocked() {
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    return nav.isLocked();
}

// Paths the host can hold: shorter than two characters names nothing, and
// one longer than its buffer cannot be a path it listed; one with an empty
// component names nothing either.
bool usable(const char* hostPath, const std::string& path) {
    return hostPath != nullptr && path.size() >= 2 && path.size() < static_cast<std::size_t>(wfx::kMaxPath) &&
           !HasEmptyComponent(path);
}

void message(const char* text) { platform::messageBoxes().show(text, "Keyhold", platform::MessageButtons::Ok); }

// The tree and the file hold the same again after a save failed.
void resync() { xmlData().rebuildDocumentFromTree(); }

// Removes a node with everything below it from the file, then from the tree;
// when the file cannot be written both stay as they were.
bool eraseEverywhere(TreePos node) {
    tTreeNode copy = *node;
    if (xmlData().deleteXML(copy) != 1) {
        resync();
        return false;
    }
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        ListingsLeave(node);
        passwordTree().erase(node);
    }
    tTreeNode::releaseUniqueNumber(copy.uniqueNumber);
    return true;
}

}  // namespace

bool UnlockForChange(bool refreshAfterUnlock) {
    if (!isLocked()) return true;
    KH_LOG(eInformation, "In Unlock Branch");
    bool ok = unlock();
    if (!ok || refreshAfterUnlock) RefreshHostPanel();
    return ok;
}

wfx::BOOL MakeFolder(const char* hostPath) {
    std::string path = VirtualPathFromHost(hostPath);
    if (!usable(hostPath, path)) return 0;
    if (!navigation().databaseLoaded) return 0;
    Resolved r = resolve(path);
    for (const std::string& c : r.components) {
        if (c.empty()) return 0;  // "\A\\B" names no folder
    }
    if (r.components.size() >= 2) {
        const std::string& last = r.components.back();
        for (std::size_t i = 0; i + 1 < r.components.size(); ++i) {
            if (r.components[i] == last) navigation().bFsMkDir = true;
        }
    }
    if (!UnlockForChange(true)) return 0;
    if (r.missing.empty()) {
        message("Entry/Folder with the same name already exists!!");
        return 0;
    }
    // Only the last component is made, and only inside a folder: a path that
    // reaches through an entry or a command node, or misses a folder on the
    // way, makes nothing.
    if (r.missing != r.components.back() || !(r.node->isFolder() || r.node->isBase())) return 0;

    tTreeNode folder;
    folder.name = r.missing;
    folder.fileAttributes = wfx::kAttrDirectory;
    folder.setFolder();
    folder.setUniqueNumber(0, 1);
    folder.setCreationTimeNow();
    folder.registerNode(r.node);
    if (tTreeNode::hasSiblingWithSameName(folder, r.node)) {
        message("Entry with the same name already exists!!");
        return 0;
    }
    PasswordTree& tree = passwordTree();
    TreePos added;
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        added = tree.appendChild(r.node, folder);
    }
    if (xmlData().createXML(*r.node, *added) != 1) {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        tTreeNode::releaseUniqueNumber(added->uniqueNumber);
        ListingsLeave(added);
        tree.erase(added);
        resync();
        return 0;
    }
    if (settings().m_newEntryFolder->GetValue()) {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        tree.appendChild(added, MakeCommandNode("[New Entry]", eNode_FolderNewEntry));
    }
    return 1;
}

wfx::BOOL DeleteEntry(const char* hostPath) {
    std::string path = VirtualPathFromHost(hostPath);
    if (!usable(hostPath, path)) return 0;
    Resolved r = resolve(path);
    // A cancelled unlock deletes nothing, and the host is told so.
    if (!UnlockForChange(false)) return 0;
    if (!r.missing.empty() || r.result == 1 || !r.node.valid() || r.node == passwordTree().end() ||
        r.node->isCommandNode() || r.node->fileAttributes != wfx::kAttrNormal) {
        return 0;  // refused: nothing changed, and the host must not take it for done
    }
    if (!eraseEverywhere(r.node)) return 0;
    nodeIcons().deleteNodeIcon(path);
    ReportProgress(path, path, 100);
    return 1;
}

wfx::BOOL RemoveFolder(const char* hostPath) {
    std::string path = VirtualPathFromHost(hostPath);
    if (!usable(hostPath, path)) return 0;
    Resolved r = resolve(path);
    if (!UnlockForChange(false)) return 0;
    if (!r.missing.empty() || !r.node.valid() || r.node == passwordTree().end() ||
        r.node->fileAttributes != wfx::kAttrDirectory || !r.node->isFolder()) {
        return 0;
    }
    return eraseEverywhere(r.node) ? 1 : 0;
}

int PutFile(const char* localName, const char* hostPath, int copyFlags) {
    std::string local = localName ? localName : "";
    std::string path = VirtualPathFromHost(hostPath);
    KH_LOG(eImportant, "FsPutFile(LocalName: %s, RemoteName: %s, CopyFlags: %d)", local.c_str(),
           keyholdlog::pathForLog(path).c_str(),
           copyFlags);
    if (copyFlags & wfx::FS_COPYFLAGS_RESUME) return wfx::FS_FILE_NOTSUPPORTED;
    if (!usable(hostPath, path)) return wfx::FS_FILE_NOTFOUND;
    if (ReportProgress(local, path, 0)) return wfx::FS_FILE_USERABORT;
    // A copy into the store imports an export of another password manager;
    // any other file is refused, with or without MOVE, and nothing changes.
    return ImportExport(local, path, copyFlags);
}
