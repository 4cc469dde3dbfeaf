// What an export file (from KeePass, KeePassXC or a browser) holds, read into
// plain values before anything of it reaches the store. All texts are UTF-8;
// notes lines end in CR LF. Every value is wiped when its record goes.
#pragma once

#include <string>
#include <vector>

#include "security/SecureString.h"

struct tImportedEntry {
    // The folders from the target folder down to the entry, outermost first;
    // empty for an entry of the export's root group.
    std::vector<std::string> groups;
    std::string title;
    std::string userName;
    std::string password;
    std::string url;
    std::string notes;
    // The expiry date (the export's own date, not converted to local time);
    // all three 0 when the entry does not expire.
    int expiryYear = 0;
    int expiryMonth = 0;
    int expiryDay = 0;
    // Not empty: why the entry cannot be imported as it stands (a value the
    // export holds encrypted); it is then left out and named to the user.
    std::string refused;

    tImportedEntry() = default;
    tImportedEntry(const tImportedEntry&) = default;
    tImportedEntry(tImportedEntry&&) = default;
    tImportedEntry& operator=(const tImportedEntry&) = default;
    tImportedEntry& operator=(tImportedEntry&&) = default;
    ~tImportedEntry() { wipe(); }

    bool expires() const { return expiryYear != 0; }
    void wipe() {
        for (std::string& g : groups) secureWipe(g);
        for (std::string* s : {&title, &userName, &password, &url, &notes}) secureWipe(*s);
    }
};

struct tImportedData {
    // Which program wrote the export, for the closing message ("KeePass XML",
    // "KeePassXC CSV", "Chrome CSV", ...).
    std::string format;
    // Every group of the export below its root, also the empty ones,
    // outermost first, each as its path of names; a group comes before the
    // groups inside it.
    std::vector<std::vector<std::string>> folders;
    std::vector<tImportedEntry> entries;
    // Attachments found; none is imported.
    int attachments = 0;

    ~tImportedData() {
        for (auto& f : folders)
            for (std::string& name : f) secureWipe(name);
    }
};

// How reading an export went.
enum class eImportRead {
    eNotAnExport,  // not a file of any format known here: nothing to say
    eRead,         // `tImportedData` holds it
    eMalformed,    // a known format, but damaged: the error says where and why
};
