// Listing a folder of the store for the host: the first listing opens the
// store; later ones are answered from the tree.
#pragma once

#include "TreeNode.h"
#include "WfxApi.h"

// One listing in progress. The host holds its address as the find handle;
// each listing keeps its own position, so that listings the host runs at the
// same time (content columns are often asked for from another thread) never
// move each other.
struct tFindRecord {
    char path[wfx::kMaxPath] = {};
    char lastName[wfx::kMaxPath] = {};
    void* platformFindHandle = wfx::invalidHandle();
    // The item handed out last; or, with `cursorIsNext`, the one to hand out
    // next (its predecessor left the folder meanwhile).
    TreePos cursor;
    bool cursorIsNext = false;
};

wfx::HANDLE FindFirst(const char* hostPath, wfx::WIN32_FIND_DATAA* findData);
wfx::BOOL FindNext(wfx::HANDLE handle, wfx::WIN32_FIND_DATAA* findData);
int FindClose(wfx::HANDLE handle);

// Call before a node leaves its place in the tree (erased or moved), holding
// the navigation lock: listings that stand on it move on to its next
// sibling, listings inside it end, and the shared positions let go of it.
void ListingsLeave(TreePos node);
// The same for the whole tree, before it is emptied.
void ListingsLeaveAll();
