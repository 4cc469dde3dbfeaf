// A secret held in scrubbed, masked memory. Each character is stored XOR a
// per-object random mask; every block that held a character is wiped before
// it is freed. Plain copies handed out must be released with releasePlainCopy.
#pragma once

#include <cstddef>

// Wipes a plain copy up to its terminating zero and frees it; null is fine.
void releasePlainCopy(char* copy);

class CSecureString {
public:
    CSecureString();
    virtual ~CSecureString();
    CSecureString(const CSecureString& other);
    CSecureString& operator=(const CSecureString& other);

    void setText(const char* text);
    // A new plain copy with a terminating zero; release it with releasePlainCopy.
    char* getText() const;
    bool isEmpty() const;
    std::size_t length() const { return m_length; }
    void clear();
    void insertCharacters(std::size_t position, const char* text, std::size_t count);

private:
    static constexpr std::size_t kMaskSize = 32;
    unsigned char m_mask[kMaskSize];
    unsigned char* m_cells = nullptr;
    std::size_t m_length = 0;
};

// Holds a plain copy for the length of a scope and releases it on the way out.
class CPlainCopy {
public:
    explicit CPlainCopy(const CSecureString& s) : m_text(s.getText()) {}
    ~CPlainCopy() { releasePlainCopy(m_text); }
    CPlainCopy(const CPlainCopy&) = delete;
    CPlainCopy& operator=(const CPlainCopy&) = delete;
    const char* c_str() const { return m_text; }

private:
    char* m_text;
};
