// Virtual paths inside the plug-in's file system, written the way the file
// manager sends them: "\" is the root, folders are joined with backslashes
// ("\Email\Gmail"), and there is no trailing backslash except for the root.
#pragma once

#include <string>

namespace panel {

// The path that NAME denotes when typed in folder CURRENT. A name that starts
// with a backslash is absolute; ".." goes up one folder (never above the
// root) and "." stays. Empty components are dropped.
std::string resolvePath(const std::string& current, const std::string& name);

// "\Email" for "\Email\Gmail", "\" for "\Email" and for "\".
std::string parentPath(const std::string& path);

// "Gmail" for "\Email\Gmail", "" for "\".
std::string lastComponent(const std::string& path);

}  // namespace panel
