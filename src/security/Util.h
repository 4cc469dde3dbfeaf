// Field encryption and the master password hash.
//
// A value is encrypted under a key derived from the master password and a
// fresh 8-byte salt: PBKDF2-HMAC-SHA1 with 10 iterations gives a 16-byte key
// for AES-128 in ECB mode with PKCS #7 padding; the ciphertext and the salt are
// written as uppercase hexadecimal text. The master password itself is never
// stored, only its SHA-1 hash.
#pragma once

#include <string>

class CGuardedSecret;
class CSecureString;

namespace security {

// The master password the operations below use (owned by the application);
// each operation takes its copy of it under its guard.
void setMasterPassword(const CGuardedSecret* password);

// Encrypts `plain` under a new salt; always 1. An empty text leaves both
// outputs unchanged. `plain` and `cipherOut` may be the same string.
int encrypt(const std::string& plain, std::string& cipherOut, std::string& saltOut);
// The same under a given password instead of the master password.
int encryptWith(const CSecureString& password, const std::string& plain, std::string& cipherOut, std::string& saltOut);

// 0 without touching `plainOut` when the salt is empty; otherwise 1 with the
// decrypted bytes appended (a damaged text or a wrong password gives what could
// be decrypted before the fault).
int decrypt(const std::string& cipher, const std::string& salt, std::string& plainOut);
// The text form: always 1; an empty ciphertext leaves `plainOut` as it was,
// otherwise it becomes the decrypted text (empty without a salt).
int decryptText(const std::string& cipher, const std::string& salt, std::string& plainOut);
// The same into a secure string, whose previous content is discarded.
int decrypt(const std::string& cipher, const std::string& salt, CSecureString& plainOut);

// The same under a given password instead of the master password.
int decryptWith(const CSecureString& password, const std::string& cipher, const std::string& salt,
                std::string& plainOut);

// Like decryptWith, but a decryption that fails says so: 1 with the decrypted
// bytes appended to `plainOut`; 0 with `plainOut` untouched when the salt is
// empty or the text does not decrypt under the password (not a whole number of
// blocks, invalid padding: what a wrong password almost always gives).
int decryptChecked(const CSecureString& password, const std::string& cipher, const std::string& salt,
                   std::string& plainOut);

// The 40-character uppercase SHA-1 hash of the password; "" when it is empty.
std::string applySH1(const CSecureString& password);

}  // namespace security
