// Makes a realistic store file: encrypted entries with typical field
// lengths, notes with auto-type lines, spread over folders; and the same
// entries as a KeePass 2 XML export, for the comparison with KeePassXC.
#pragma once

#include <string>

// Entry `index` of folder `folder`, its fields in plain text.
struct GeneratedEntry {
    std::string title, userName, url, password, notes;
};
GeneratedEntry generatedEntry(int folder, int index);

// The XML text of a store of `entries` encrypted entries in `folders` folders
// ("Folder 0", ...) under `password`.
std::string generateStore(int folders, int entries, const std::string& password);

// The same entries in the same folders (groups), as KeePass 2 XML, which
// keepassxc-cli import reads.
std::string generateKeePassXml(int folders, int entries);
