// Renaming, moving and copying entries and folders inside the store, as the
// host asks with FsRenMovFile. Nothing is lost or duplicated: a change that
// cannot be carried out whole changes nothing, and a change whose save fails
// is taken back.
#pragma once

#include <string>
#include <vector>

#include "WfxApi.h"

int RenameMoveCopy(const char* oldName, const char* newName, bool move, bool overwrite);

// How a folder's source path relates to its target path: renamed where it is,
// moved into itself, or moved elsewhere. Entries are never moved into
// themselves.
enum class ePathRelation { RenameInPlace = 0, IntoItself = 1, Elsewhere = 2 };
ePathRelation classifyFolderMove(const std::vector<std::string>& source, const std::vector<std::string>& target);
ePathRelation classifyEntryMove(const std::vector<std::string>& source, const std::vector<std::string>& target);
