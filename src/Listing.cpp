#include "Listing.h"

#include <cstring>
#include <mutex>
#include <set>

#include "KeyholdApp.h"
#include "Log.h"
#include "MasterPassword.h"
#include "VirtualPath.h"
#include "platform/LastError.h"
#include "platform/Platform.h"

namespace {

const wfx::HANDLE kNoRecord = reinterpret_cast<wfx::HANDLE>(static_cast<std::intptr_t>(1));

// Copies a name into a host buffer of MAX_PATH; longer names are cut there.
void copyName(char* to, const std::string& name) {
    std::size_t n = name.size() < wfx::kMaxPath - 1 ? name.size() : wfx::kMaxPath - 1;
    std::memcpy(to, name.data(), n);
    to[n] = '\0';
}

void fill(wfx::WIN32_FIND_DATAA* fd, tFindRecord& record, const tTreeNode& node) {
    fd->dwFileAttributes = node.fileAttributes;
    fd->ftLastWriteTime = node.ftCreationTime;
    fd->nFileSizeHigh = node.fileSizeHigh;
    fd->nFileSizeLow = node.fileSizeLow;
    copyName(fd->cFileName, node.name);
    copyName(record.lastName, node.name);
}

// The listings the host holds open, so that a change of the tree can move
// them off nodes it takes away. Guarded by the navigation lock.
std::set<tFindRecord*>& openListings() {
    static std::set<tFindRecord*> records;
    return records;
}

wfx::HANDLE opened(tFindRecord* record) {
    openListings().insert(record);
    return record;
}

// Whether `pos` is `node` or lies below it.
bool within(TreePos pos, TreePos node) {
    PasswordTree& tree = passwordTree();
    for (TreePos p = pos; p.valid() && p != tree.end(); p = tree.parent(p)) {
        if (p == node) return true;
    }
    return false;
}

wfx::HANDLE nothingToList(wfx::WIN32_FIND_DATAA* fd, tFindRecord* record) {
    fd->dwFileAttributes = 0;
    platform::lastError().set(platform::kErrorNoMoreFiles);
    delete record;
    return wfx::invalidHandle();
}

}  // namespace

wfx::HANDLE FindFirst(const char* hostPath, wfx::WIN32_FIND_DATAA* fd) {
    std::string path = VirtualPathFromHost(hostPath);
    KH_LOG(eRubbish, "Entering FsFindFirst(%s)", keyholdlog::pathForLog(path).c_str());
    if (fd == nullptr) return wfx::invalidHandle();

    // The store opens outside the lock: the password prompt may take a while.
    if (openDatabase() == eOpenResult::Fail) return wfx::invalidHandle();

    std::memset(fd, 0, sizeof *fd);
    tFindRecord* record = new tFindRecord;
    copyName(record->path, path);

    tNavigationState& nav = navigation();
    std::unique_lock<std::recursive_mutex> guard(nav.mutex);
    PasswordTree& tree = passwordTree();
    if (path == "\\" || path.empty()) {
        if (!nav.isLocked() && nav.activeRoot == nav.baseNode) UpdateNumberOfEntries();
        if (tree.empty() || !nav.activeRoot.valid() || nav.activeRoot == tree.end() ||
            !tree.hasChildren(nav.activeRoot)) {
            KH_LOG(eTroubleShoot, "Tree is currently empty!");
            return nothingToList(fd, record);
        }
        record->cursor = tree.firstChild(nav.activeRoot);
        nav.listingCursor = record->cursor;
        fill(fd, *record, *record->cursor);
        return opened(record);
    }
    if (HasEmptyComponent(path)) return nothingToList(fd, record);
    if (nav.isLocked()) {
        // Locked, every folder looks like the locked root.
        delete record;
        guard.unlock();
        return FindFirst("\\", fd);
    }
    std::vector<std::string> components;
    SplitVirtualPath(path, components, false);
    std::string missing;
    if (FindNodeByPath(components, nav.currentNode, nav.listingCursor, missing, tree.begin()) == 0) {
        return nothingToList(fd, record);
    }
    record->cursor = nav.listingCursor;
    fill(fd, *record, *record->cursor);
    return opened(record);
}

wfx::BOOL FindNext(wfx::HANDLE handle, wfx::WIN32_FIND_DATAA* fd) {
    if (handle == kNoRecord || handle == nullptr || handle == wfx::invalidHandle() || fd == nullptr) return 0;
    tFindRecord* record = static_cast<tFindRecord*>(handle);
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    if (!record->cursor.valid()) return 0;
    TreePos next = record->cursor;
    if (record->cursorIsNext)
        record->cursorIsNext = false;
    else
        next = passwordTree().nextSibling(record->cursor);
    if (!next.valid() || next == passwordTree().end()) {
        record->cursor = TreePos();
        return 0;
    }
    record->cursor = next;
    nav.listingCursor = next;
    fill(fd, *record, *next);
    return 1;
}

int FindClose(wfx::HANDLE handle) {
    if (handle != kNoRecord && handle != nullptr && handle != wfx::invalidHandle()) {
        tFindRecord* record = static_cast<tFindRecord*>(handle);
        {
            std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
            openListings().erase(record);
        }
        delete record;
    }
    return 0;
}

void ListingsLeave(TreePos node) {
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    PasswordTree& tree = passwordTree();
    if (!node.valid() || node == tree.end()) return;
    for (tFindRecord* record : openListings()) {
        if (!record->cursor.valid()) continue;
        if (record->cursor == node) {
            TreePos next = tree.nextSibling(node);
            const bool more = next.valid() && next != tree.end();
            record->cursor = more ? next : TreePos();
            record->cursorIsNext = more;
        } else if (within(record->cursor, node)) {
            record->cursor = TreePos();  // the folder being listed is going
            record->cursorIsNext = false;
        }
    }
    for (TreePos* shared : {&nav.currentNode, &nav.listingCursor}) {
        if (shared->valid() && within(*shared, node)) *shared = tree.end();
    }
}

void ListingsLeaveAll() {
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    for (tFindRecord* record : openListings()) {
        record->cursor = TreePos();
        record->cursorIsNext = false;
    }
}
