// A secret held in scrubbed, masked memory. Each character lives in its own
// one-byte heap cell, stored XOR a per-object 32-byte random mask (taken from
// the system's random source); every cell is wiped before it is freed. Plain
// copies handed out must be released with releasePlainCopy.
//
// At rest cell i holds character i XOR mask[i mod 32]. A change first unmasks
// every cell, moves the characters, then masks them again for their new
// positions.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Wipes a plain copy up to its terminating zero and frees it; null is fine.
void releasePlainCopy(char* copy);

// Overwrites n bytes with zeros in a way the compiler keeps.
void secureWipe(void* p, std::size_t n);
// Overwrites a plain text held in a string, then empties it.
void secureWipe(std::string& text);

// Hands out heap memory like std::allocator and overwrites it with zeros
// before it gives it back: a container of this kind leaves no copy of what it
// held behind, neither when it grows nor when it goes away.
template <class T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() noexcept = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, std::size_t n) noexcept {
        secureWipe(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }
    template <class U>
    bool operator==(const WipingAllocator<U>&) const noexcept {
        return true;
    }
    template <class U>
    bool operator!=(const WipingAllocator<U>&) const noexcept {
        return false;
    }
};

// A string for plain texts being put together. Its heap buffers are wiped
// by the allocator; a short text kept inside the object itself is wiped by
// secureWipe before the string goes away.
using WipedString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;
void secureWipe(WipedString& text);

class CSecureString {
public:
    static constexpr std::size_t kMaskSize = 32;

    CSecureString();
    virtual ~CSecureString();
    CSecureString(const CSecureString& other);
    CSecureString& operator=(const CSecureString& other);

    void setText(const char* text);
    // A new plain copy with a terminating zero; release it with releasePlainCopy.
    char* getText() const;
    bool isEmpty() const;
    std::size_t length() const { return m_cells.size(); }
    void clear();
    // Nothing happens when text is null, count is 0 or position is past the end.
    void insertCharacters(std::size_t position, const char* text, std::size_t count);
    // Nothing happens when position + count is past the end.
    void deleteCharacters(std::size_t position, std::size_t count);

private:
    friend struct SecureStringInspector;  // tests look at the raw cells
    void toggleMask();

    unsigned char m_mask[kMaskSize];
    std::vector<unsigned char*> m_cells;
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
