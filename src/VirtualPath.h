// Virtual paths of the host: "\" is the root, components are separated by
// single backslashes and name children exactly (case-sensitive).
#pragma once

#include <string>
#include <vector>

#include "TreeNode.h"

// The host's path as the plug-in works with it. Linux hosts send "/" as the
// separator; it is taken as a backslash there. Null gives the root.
std::string VirtualPathFromHost(const char* hostPath);

// Splits a virtual path into its components; with dropLast the last one (the
// object itself) is left out. Returns the number of components.
std::size_t SplitVirtualPath(const std::string& path, std::vector<std::string>& components, bool dropLast);

// Walks the components from `start`. 1 when every component matched and the
// node reached has children (current is that node, cursor its first child);
// 0 otherwise, with current on the last node reached and `missing` naming the
// component that was not found (empty when the path ends on a leaf).
int FindNodeByPath(const std::vector<std::string>& components, TreePos& current, TreePos& cursor,
                   std::string& missing, TreePos start);
