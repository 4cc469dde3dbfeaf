#include "PasswordGenerator.h"

#include <cryptopp/osrng.h>

#include <climits>
#include <cstdlib>

#include "KeyholdApp.h"
#include "security/SecureString.h"

namespace {

// Random bytes from the operating system's generator (/dev/urandom; the
// system's cryptographic provider on Windows), fetched a block at a time and
// wiped once used.
class CRandomBytes {
public:
    ~CRandomBytes() { secureWipe(m_block, sizeof m_block); }
    unsigned char next() {
        if (m_used == sizeof m_block) {
            m_rng.GenerateBlock(m_block, sizeof m_block);
            m_used = 0;
        }
        return m_block[m_used++];
    }

private:
    CryptoPP::NonblockingRng m_rng;
    unsigned char m_block[64] = {};
    std::size_t m_used = sizeof m_block;
};

// A uniform choice among n (2..256) by rejection: of the 256 byte values only
// the largest multiple of n below 256 is used, so each index has exactly
// 256 / n values behind it. A byte in the short remainder is drawn again.
std::size_t uniformIndex(CRandomBytes& bytes, std::size_t n) {
    const unsigned limit = 256u - 256u % static_cast<unsigned>(n);
    for (;;) {
        unsigned b = bytes.next();
        if (b < limit) return b % n;
    }
}

}  // namespace

std::string GeneratorAlphabet(const tKeyholdOptions& options) {
    std::string alphabet;
    if (options.genNoUpperCase == 0) alphabet += "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    if (options.genNoLowerCase == 0) alphabet += "abcdefghijklmnopqrstuvwxyz";
    if (options.genNoDigits == 0) alphabet += "0123456789";
    if (options.genNoMinus == 0) alphabet += "-";
    if (options.genNoUnderline == 0) alphabet += "_";
    if (options.genNoBlank == 0) alphabet += " ";
    if (options.genNoSpecials == 0) alphabet += "|!\"#$%&/=?";
    if (options.genNoBrackets == 0) alphabet += "{[]}()";
    return alphabet;
}

int GeneratorLength(const tKeyholdOptions& options) {
    if (options.genLength.empty()) return 12;
    // As atoi reads it, but with a defined result for numbers out of range.
    long n = std::strtol(options.genLength.c_str(), nullptr, 10);
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

std::string GeneratePassword(const tKeyholdOptions& options) {
    const std::string alphabet = GeneratorAlphabet(options);
    if (alphabet.size() < 2) return std::string();
    const int n = GeneratorLength(options);
    std::string password;
    if (n <= 0) return password;
    // Reserved at once: a growing string would leave copies in freed memory.
    password.reserve(static_cast<std::size_t>(n));
    CRandomBytes bytes;
    for (int i = 0; i < n; ++i) password += alphabet[uniformIndex(bytes, alphabet.size())];
    return password;
}
