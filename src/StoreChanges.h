// Changing the store from the host's panel: making folders, deleting entries
// and folders, and the host's copy of a local file into the store (an
// import of an export). Every change reaches the file before it returns;
// when the file cannot be written the change is taken back and the host is
// told it failed.
#pragma once

#include "WfxApi.h"

wfx::BOOL MakeFolder(const char* hostPath);
wfx::BOOL DeleteEntry(const char* hostPath);
wfx::BOOL RemoveFolder(const char* hostPath);
int PutFile(const char* localName, const char* hostPath, int copyFlags);

// Before a change of a locked store: asks for the master password. True when
// the store is unlocked afterwards.
bool UnlockForChange(bool refreshAfterUnlock);
