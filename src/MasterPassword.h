// The master password: opening the store on first access, locking and
// unlocking, the pass after loading, and re-encrypting under a new password.
#pragma once

#include <string>

class CSecureString;

enum class eOpenResult { List, Fail };

// The first-access part of a listing: opens or creates the store, asking for
// the master password. Fail: the listing answers nothing.
eOpenResult openDatabase();

// Asks for the master password and unlocks; true when the right one was given.
bool unlock();
// Locks the store (the master password stays) and asks the host to re-read.
void lock();

// After loading: decrypts titles, encrypts entries the file holds in plain
// text (or marks for encryption). True when it encrypted something.
bool DecryptTitle();

// Re-encrypts every encrypted entry under the current master password;
// `previous` is the one its fields are encrypted under now. 0 for an empty tree.
int ReEncryptAll(const CSecureString& previous);
void ReEncryptOne(const CSecureString& previous, std::string& field, const std::string& salt, std::string& newSalt);
