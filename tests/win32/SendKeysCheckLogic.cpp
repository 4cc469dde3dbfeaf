#include "AutoType.h"
#include "SendKeysCheck.h"
#include "TreeNode.h"

std::string entrySequence(const std::string& userName, const std::string& password) {
    tTreeNode entry;
    entry.nodeType = eNode_File;
    entry.userName = userName;
    entry.password = password;
    return buildAutoTypeSequence(entry);
}
