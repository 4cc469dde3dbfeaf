// Opening a node of the panel ("open") and its properties ("properties"):
// the entry dialogs, the command nodes, an entry's web address and the change
// of the master password.
#pragma once

#include <string>

// FS_EXEC_OK or FS_EXEC_ERROR.
int ExecuteFile(const char* remoteName, const char* verb);

// The command and its parameters of a URL that the shell could not open as
// a whole: cut at the first blank at or after the last backslash.
void SplitCommandLine(const std::string& text, std::string& command, std::string& parameters);
