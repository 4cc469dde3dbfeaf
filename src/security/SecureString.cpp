#include "security/SecureString.h"

#include <cstring>
#include <random>

namespace {

void wipe(volatile unsigned char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) p[i] = 0;
}

}  // namespace

void releasePlainCopy(char* copy) {
    if (copy == nullptr) return;
    wipe(reinterpret_cast<volatile unsigned char*>(copy), std::strlen(copy));
    delete[] copy;
}

CSecureString::CSecureString() {
    std::random_device rd;
    for (std::size_t i = 0; i < kMaskSize; ++i) m_mask[i] = static_cast<unsigned char>(rd());
}

CSecureString::~CSecureString() {
    clear();
    wipe(m_mask, kMaskSize);
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
    char* copy = new char[m_length + 1];
    for (std::size_t i = 0; i < m_length; ++i) copy[i] = static_cast<char>(m_cells[i] ^ m_mask[i % kMaskSize]);
    copy[m_length] = '\0';
    return copy;
}

bool CSecureString::isEmpty() const { return m_length == 0; }

void CSecureString::clear() {
    if (m_cells != nullptr) {
        wipe(m_cells, m_length);
        delete[] m_cells;
    }
    m_cells = nullptr;
    m_length = 0;
}

void CSecureString::insertCharacters(std::size_t position, const char* text, std::size_t count) {
    if (text == nullptr || count == 0 || position > m_length) return;
    std::size_t n = m_length + count;
    unsigned char* cells = new unsigned char[n];
    // Unmask into the new positions, then mask again for where each one lands.
    for (std::size_t i = 0; i < position; ++i) cells[i] = m_cells[i] ^ m_mask[i % kMaskSize];
    for (std::size_t i = 0; i < count; ++i) cells[position + i] = static_cast<unsigned char>(text[i]);
    for (std::size_t i = position; i < m_length; ++i) cells[i + count] = m_cells[i] ^ m_mask[i % kMaskSize];
    for (std::size_t i = 0; i < n; ++i) cells[i] ^= m_mask[i % kMaskSize];
    clear();
    m_cells = cells;
    m_length = n;
}
