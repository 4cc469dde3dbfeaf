// Makes a realistic store file: encrypted entries with typical field
// lengths, notes with auto-type lines, spread over folders.
#pragma once

#include <string>

// The XML text of a store of `entries` encrypted entries in `folders` folders
// under `password`.
std::string generateStore(int folders, int entries, const std::string& password);
