#include "security/Util.h"

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/modes.h>
#include <cryptopp/osrng.h>
#include <cryptopp/pwdbased.h>
#include <cryptopp/sha.h>

#include <atomic>
#include <mutex>

#include "Log.h"
#include "security/GuardedSecret.h"
#include "security/SecureString.h"

namespace security {
namespace {

constexpr std::size_t kSaltBytes = 8;
constexpr std::size_t kKeyBytes = 16;
constexpr unsigned kIterations = 10;

std::atomic<const CGuardedSecret*> g_masterPassword{nullptr};

// Salts come from a generator seeded by the operating system.
CryptoPP::AutoSeededRandomPool& randomPool() {
    static CryptoPP::AutoSeededRandomPool pool;
    return pool;
}
std::mutex& randomPoolMutex() {
    static std::mutex m;
    return m;
}

// A 16-byte key buffer that is zeroed before it is freed.
using KeyBuffer = CryptoPP::SecByteBlock;

// The text of the password a field is encrypted under, for one operation: a
// plain copy, taken from the master password under its guard or from a
// password given, and wiped when the operation ends. None is the empty one.
class KeyText {
public:
    explicit KeyText(const CSecureString* password) : m_text(password ? password->getText() : nullptr) {}
    explicit KeyText(const CGuardedSecret* master) : m_text(master ? master->plainCopy() : nullptr) {}
    ~KeyText() { releasePlainCopy(m_text); }
    KeyText(const KeyText&) = delete;
    KeyText& operator=(const KeyText&) = delete;
    const char* c_str() const { return m_text ? m_text : ""; }

private:
    char* m_text;
};

void deriveKey(const KeyText& password, const unsigned char* salt, std::size_t saltLength, KeyBuffer& key) {
    CryptoPP::PKCS5_PBKDF2_HMAC<CryptoPP::SHA1> pbkdf2;
    pbkdf2.DeriveKey(key.data(), key.size(), 0, reinterpret_cast<const CryptoPP::byte*>(password.c_str()),
                     std::strlen(password.c_str()), salt, saltLength, kIterations, 0.0);
}

std::string hexEncode(const unsigned char* data, std::size_t n) {
    std::string out;
    CryptoPP::StringSource(data, n, true, new CryptoPP::HexEncoder(new CryptoPP::StringSink(out), true));
    return out;
}

std::string hexDecode(const std::string& text) {
    std::string out;
    CryptoPP::StringSource(text, true, new CryptoPP::HexDecoder(new CryptoPP::StringSink(out)));
    return out;
}

// Appends to a string that may hold a plain text already: when it has to
// grow, the old buffer is wiped before it is freed.
void appendWiping(std::string& out, const WipedString& more) {
    if (more.empty()) return;
    if (out.capacity() - out.size() < more.size()) {
        std::string grown;
        grown.reserve(out.size() + more.size());
        grown.append(out);
        secureWipe(out);
        out.swap(grown);
    }
    out.append(more.data(), more.size());
}

}  // namespace

void setMasterPassword(const CGuardedSecret* password) { g_masterPassword = password; }

namespace {

int encryptUnder(const KeyText& password, const std::string& plain, std::string& cipherOut, std::string& saltOut) {
    KH_ENTER("encrypt()");
    if (plain.empty()) {
        KH_LOG(eInformation, "No text to encrypt!!");
        return 1;
    }
    unsigned char salt[kSaltBytes];
    {
        std::lock_guard<std::mutex> guard(randomPoolMutex());
        randomPool().GenerateBlock(salt, sizeof salt);
    }
    KeyBuffer key(kKeyBytes);
    deriveKey(password, salt, sizeof salt, key);
    std::string cipher;
    CryptoPP::ECB_Mode<CryptoPP::AES>::Encryption aes(key.data(), key.size());
    CryptoPP::StringSource(plain, true,
                           new CryptoPP::StreamTransformationFilter(
                               aes, new CryptoPP::StringSink(cipher),
                               CryptoPP::BlockPaddingSchemeDef::PKCS_PADDING));
    saltOut = hexEncode(salt, sizeof salt);
    cipherOut = hexEncode(reinterpret_cast<const unsigned char*>(cipher.data()), cipher.size());
    KH_LEAVE("encrypt()");
    return 1;
}

}  // namespace

int encrypt(const std::string& plain, std::string& cipherOut, std::string& saltOut) {
    return encryptUnder(KeyText(g_masterPassword.load()), plain, cipherOut, saltOut);
}

int encryptWith(const CSecureString& password, const std::string& plain, std::string& cipherOut, std::string& saltOut) {
    return encryptUnder(KeyText(&password), plain, cipherOut, saltOut);
}

namespace {

// `failed`, when given, learns whether the decryption raised an error; the
// output then holds only what was decrypted before it.
int decryptUnder(const KeyText& password, const std::string& cipher, const std::string& salt, std::string& plainOut,
                 bool* failed = nullptr) {
    KH_ENTER("decrypt()");
    if (salt.empty()) return 0;
    bool fault = true;
    std::string saltBytes = hexDecode(salt);
    KeyBuffer key(kKeyBytes);
    deriveKey(password, reinterpret_cast<const unsigned char*>(saltBytes.data()), saltBytes.size(), key);
    // The plain text grows in a buffer that is wiped whenever it is given
    // back, and has room for all of it from the start.
    WipedString plain;
    try {
        const std::string cipherBytes = hexDecode(cipher);
        plain.reserve(cipherBytes.size());
        CryptoPP::ECB_Mode<CryptoPP::AES>::Decryption aes(key.data(), key.size());
        CryptoPP::StringSource(cipherBytes, true,
                               new CryptoPP::StreamTransformationFilter(
                                   aes, new CryptoPP::StringSinkTemplate<WipedString>(plain),
                                   CryptoPP::BlockPaddingSchemeDef::PKCS_PADDING));
        fault = false;
    } catch (const CryptoPP::InvalidCiphertext&) {
        KH_LOG(eFatal, "InvalidCiphertext raised");
    } catch (const CryptoPP::InvalidDataFormat&) {
        KH_LOG(eFatal, "InvalidDataFormat raised");
    } catch (const CryptoPP::Exception&) {
        KH_LOG(eFatal, "InvalidCiphertext raised");
    }
    if (failed != nullptr) *failed = fault;
    if (failed == nullptr || !fault) appendWiping(plainOut, plain);
    secureWipe(plain);
    return 1;
}

}  // namespace

int decrypt(const std::string& cipher, const std::string& salt, std::string& plainOut) {
    return decryptUnder(KeyText(g_masterPassword.load()), cipher, salt, plainOut);
}

int decryptText(const std::string& cipher, const std::string& salt, std::string& plainOut) {
    if (cipher.empty()) {
        KH_LOG(eInformation, "No text to dencrypt!");
        return 1;
    }
    std::string plain;
    decrypt(cipher, salt, plain);
    plainOut.swap(plain);
    std::fill(plain.begin(), plain.end(), '\0');
    KH_LEAVE("decrypt()");
    return 1;
}

int decrypt(const std::string& cipher, const std::string& salt, CSecureString& plainOut) {
    if (cipher.empty()) {
        KH_LOG(eInformation, "No text to dencrypt!");
        return 1;
    }
    std::string plain;
    decrypt(cipher, salt, plain);
    plainOut.setText(plain.c_str());
    std::fill(plain.begin(), plain.end(), '\0');
    KH_LEAVE("decrypt()");
    return 1;
}

int decryptWith(const CSecureString& password, const std::string& cipher, const std::string& salt,
                std::string& plainOut) {
    return decryptUnder(KeyText(&password), cipher, salt, plainOut);
}

int decryptChecked(const CSecureString& password, const std::string& cipher, const std::string& salt,
                   std::string& plainOut) {
    bool failed = true;
    if (decryptUnder(KeyText(&password), cipher, salt, plainOut, &failed) != 1) return 0;
    return failed ? 0 : 1;
}

std::string applySH1(const CSecureString& password) {
    KH_ENTER("applySH1()");
    CPlainCopy plain(password);
    std::size_t n = std::strlen(plain.c_str());
    if (n == 0) {
        KH_LOG(eFatal, "No text to apply SH1. String empty!!");
        return std::string();
    }
    try {
        CryptoPP::SHA1 sha;
        CryptoPP::byte digest[CryptoPP::SHA1::DIGESTSIZE];
        sha.CalculateDigest(digest, reinterpret_cast<const CryptoPP::byte*>(plain.c_str()), n);
        return hexEncode(digest, sizeof digest);
    } catch (const CryptoPP::Exception& e) {
        KH_LOG(eFatal, "Could not apply SH1 HASH. Error: %s", ("Exception: " + e.GetWhat()).c_str());
        return std::string();
    }
}

}  // namespace security
