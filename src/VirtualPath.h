// Virtual paths of the host: "\" is the root, components are separated by
// single backslashes and name children exactly (case-sensitive).
//
// A path names a node only when every component names one. Names are never
// empty, so a path with an empty component -- two separators in a row, or
// nothing but separators beyond the root "\" itself -- names nothing, and
// nothing may be done to any node on its behalf. One separator after the
// last name is allowed ("\Email\" is the folder Email).
#pragma once

#include <string>
#include <vector>

#include "TreeNode.h"

// The host's path as the plug-in works with it. Linux hosts send "/" as the
// separator; it is taken as a backslash there. Null gives the root.
std::string VirtualPathFromHost(const char* hostPath);

// Whether a virtual path holds an empty component (so names no node). The
// root "\" and a single separator after the last name do not count.
bool HasEmptyComponent(const std::string& path);

// Splits a virtual path into its components; with dropLast the last one (the
// object itself) is left out. Returns the number of components. The root
// gives one empty component. A path with an empty component keeps every
// component, the empty ones included, even with dropLast, so that the list
// never looks like the root's or like a path that names something.
std::size_t SplitVirtualPath(const std::string& path, std::vector<std::string>& components, bool dropLast);

// Walks the components from `start`. 1 when every component matched and the
// node reached has children (current is that node, cursor its first child);
// 0 otherwise, with current on the last node reached and `missing` naming the
// component that was not found (empty when the path ends on a leaf).
// A list with an empty component (other than the root's single one) names
// nothing: 0, with current set to no node at all (an invalid position) and
// missing empty; the cursor is left alone.
int FindNodeByPath(const std::vector<std::string>& components, TreePos& current, TreePos& cursor,
                   std::string& missing, TreePos start);
