// The entry dialogs' check in two halves: the logic half shows the dialogs
// and reads what they hand back (it sees the plug-in's headers); the Windows
// half plays the user on the real windows (it sees <windows.h>). The two sets
// of headers cannot meet in one file, so only plain types cross here.
#pragma once

#include <string>

struct tEntryOutcome {
    int result = 0;
    int modified = 0;
    std::string chosenPath, chosenName;
    unsigned idForDir = 0;
    unsigned number = 0;
    bool encrypted = false, expires = false;
    // Fields in plain text, decrypted where they were stored encrypted.
    std::string title, password, userName, url, notes, expiry;
    // How many of the entry's fields (password, user name, notes, URL,
    // expiry date, title) were stored encrypted.
    int encryptedFields = 0;
};

// A store with the folders \Mail, \Mail\Work, \bank and \Zeta in memory,
// under the master password "pw"; the last window "the last window". False
// when it did not load.
bool prepareStore();
// Shows "New Entry" (its group preset when `presetGroup` is not empty).
tEntryOutcome showNewEntry(const std::string& presetGroup);
// Shows "View Entry" of an entry "Giro" in folder "bank": encrypted with
// number 42 (user "ann", URL "http://bank.example", password "hunter2", notes
// "pin 1234", expiring "2031-01-01"), or plain with number 7 (password
// "hunter2", user "ann", nothing else).
tEntryOutcome showViewEntry(bool encrypted);
