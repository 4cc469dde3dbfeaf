// The store's field encryption done with OpenSSL instead of the plug-in's own
// code: PBKDF2-HMAC-SHA1 (10 iterations) over the password and the 8-byte
// salt gives an AES-128 key; ECB with PKCS #7 padding; ciphertext and salt as
// uppercase hexadecimal. Lets the tests read and write stores independently.
#pragma once

#include <string>

namespace independent {

// False when the text does not decrypt (bad hex, wrong key: bad padding).
bool decrypt(const std::string& password, const std::string& cipherHex, const std::string& saltHex,
             std::string& plain);
// Encrypts under a new random salt: {ciphertext, salt}.
std::pair<std::string, std::string> encrypt(const std::string& password, const std::string& plain);
// The store's masterkey for a password: uppercase hexadecimal SHA-1.
std::string masterKey(const std::string& password);

}  // namespace independent
