#include "IndependentCrypt.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <memory>
#include <vector>

namespace independent {
namespace {

std::string hex(const unsigned char* p, std::size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

bool unhex(const std::string& text, std::vector<unsigned char>& out) {
    if (text.size() % 2 != 0) return false;
    auto value = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int hi = value(text[i]), lo = value(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<unsigned char>(hi * 16 + lo));
    }
    return true;
}

bool key(const std::string& password, const std::vector<unsigned char>& salt, unsigned char out[16]) {
    return PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), salt.data(),
                                  static_cast<int>(salt.size()), 10, 16, out) == 1;
}

using Context = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

}  // namespace

bool decrypt(const std::string& password, const std::string& cipherHex, const std::string& saltHex,
             std::string& plain) {
    std::vector<unsigned char> cipher, salt;
    unsigned char k[16];
    if (!unhex(cipherHex, cipher) || !unhex(saltHex, salt) || !key(password, salt, k)) return false;
    Context ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    std::vector<unsigned char> out(cipher.size() + 16);
    int n = 0, m = 0;
    if (EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, k, nullptr) != 1 ||
        EVP_DecryptUpdate(ctx.get(), out.data(), &n, cipher.data(), static_cast<int>(cipher.size())) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), out.data() + n, &m) != 1) {
        return false;
    }
    plain.assign(reinterpret_cast<char*>(out.data()), static_cast<std::size_t>(n + m));
    return true;
}

std::pair<std::string, std::string> encrypt(const std::string& password, const std::string& plain) {
    std::vector<unsigned char> salt(8);
    RAND_bytes(salt.data(), 8);
    unsigned char k[16];
    key(password, salt, k);
    Context ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    std::vector<unsigned char> out(plain.size() + 32);
    int n = 0, m = 0;
    EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, k, nullptr);
    EVP_EncryptUpdate(ctx.get(), out.data(), &n, reinterpret_cast<const unsigned char*>(plain.data()),
                      static_cast<int>(plain.size()));
    EVP_EncryptFinal_ex(ctx.get(), out.data() + n, &m);
    return {hex(out.data(), static_cast<std::size_t>(n + m)), hex(salt.data(), salt.size())};
}

std::string masterKey(const std::string& password) {
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(password.data()), password.size(), digest);
    return hex(digest, sizeof digest);
}

}  // namespace independent
