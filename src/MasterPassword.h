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

// Re-encrypts every encrypted field of the store under the new master
// password `next`; `previous` is the one they are encrypted under now. The
// new fields and `next` as the master password are put in place in one step
// under the navigation lock, so that another thread sees the old password
// with the old fields or the new one with the new fields. All or nothing: 1
// when every field was encrypted again and the store saved; 0 when the tree
// is empty, when a field does not decrypt under `previous`, or when the save
// failed. With 0 the tree, the store's document and the file are as they
// were (the document carries the hash of `previous` again), and so is the
// master password.
int ReEncryptAll(const CSecureString& previous, const CSecureString& next);
// One field, from `previous` to `next`: false, with field and newSalt
// untouched, when it does not decrypt under `previous`.
bool ReEncryptOne(const CSecureString& previous, const CSecureString& next, std::string& field, const std::string& salt,
                  std::string& newSalt);

// Whether `candidate` is the password the store is kept under now: the hash
// the store's file holds is its hash, and the encrypted fields of the tree
// decrypt under it. Usable while the store is marked for reading again.
bool IsStorePassword(const CSecureString& candidate);
