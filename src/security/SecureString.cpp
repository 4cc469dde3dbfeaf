#include "security/SecureString.h"

#include <cryptopp/osrng.h>

#include <cstring>
#include <random>

namespace {

void fillRandom(unsigned char* out, std::size_t n) {
    try {
        CryptoPP::OS_GenerateRandomBlock(false, out, n);
        return;
    } catch (const std::exception&) {
        // No system generator reachable: fall through to the library's.
    }
    std::random_device rd;
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(rd());
}

void freeCell(unsigned char* cell) {
    secureWipe(cell, 1);
    delete cell;
}

}  // namespace

void secureWipe(void* p, std::size_t n) {
    volatile unsigned char* q = static_cast<volatile unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) q[i] = 0;
}

void secureWipe(std::string& text) {
    if (!text.empty()) secureWipe(&text[0], text.size());
    text.clear();
}

void secureWipe(WipedString& text) {
    if (!text.empty()) secureWipe(&text[0], text.size());
    text.clear();
}

void releasePlainCopy(char* copy) {
    if (copy == nullptr) return;
    secureWipe(copy, std::strlen(copy));
    delete[] copy;
}

CSecureString::CSecureString() { fillRandom(m_mask, kMaskSize); }

CSecureString::~CSecureString() {
    clear();
    secureWipe(m_mask, kMaskSize);
}

CSecureString::CSecureString(const CSecureString& other) : CSecureString() {
    CPlainCopy plain(other);
    setText(plain.c_str());
}

CSecureString& CSecureString::operator=(const CSecureString& other) {
    if (this != &other) {
        CPlainCopy plain(other);
        setText(plain.c_str());
    }
    return *this;
}

void CSecureString::setText(const char* text) {
    clear();
    if (text != nullptr && *text != '\0') insertCharacters(0, text, std::strlen(text));
}

char* CSecureString::getText() const {
    const std::size_t n = m_cells.size();
    char* copy = new char[n + 1];
    for (std::size_t i = 0; i < n; ++i) copy[i] = static_cast<char>(*m_cells[i] ^ m_mask[i % kMaskSize]);
    copy[n] = '\0';
    return copy;
}

bool CSecureString::isEmpty() const { return m_cells.empty(); }

void CSecureString::clear() {
    for (unsigned char* cell : m_cells) freeCell(cell);
    m_cells.clear();
}

// XOR is its own inverse: the same pass masks plain cells and unmasks masked ones.
void CSecureString::toggleMask() {
    for (std::size_t i = 0; i < m_cells.size(); ++i) *m_cells[i] ^= m_mask[i % kMaskSize];
}

void CSecureString::insertCharacters(std::size_t position, const char* text, std::size_t count) {
    if (text == nullptr || count == 0 || position > m_cells.size()) return;
    // Room first, so that nothing can fail between unmasking and masking.
    std::vector<unsigned char*> fresh(count, nullptr);
    try {
        for (unsigned char*& cell : fresh) cell = new unsigned char(0);
        m_cells.reserve(m_cells.size() + count);
    } catch (...) {
        for (unsigned char* cell : fresh) delete cell;
        throw;
    }
    toggleMask();  // plain
    for (std::size_t i = 0; i < count; ++i) *fresh[i] = static_cast<unsigned char>(text[i]);
    m_cells.insert(m_cells.begin() + static_cast<std::ptrdiff_t>(position), fresh.begin(), fresh.end());
    toggleMask();  // masked again
}

void CSecureString::deleteCharacters(std::size_t position, std::size_t count) {
    if (count == 0 || position > m_cells.size() || count > m_cells.size() - position) return;
    toggleMask();  // plain
    auto first = m_cells.begin() + static_cast<std::ptrdiff_t>(position);
    auto last = first + static_cast<std::ptrdiff_t>(count);
    for (auto it = first; it != last; ++it) freeCell(*it);
    m_cells.erase(first, last);
    toggleMask();  // masked again
}
