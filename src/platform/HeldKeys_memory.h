// The user's keyboard in the in-memory desktops: keys a test holds down, each
// for a number of reads of its state or for ever, and how often the state was
// read. Not locked: its owner guards it.
#pragma once
#include <map>

namespace platform {

class HeldKeys {
public:
    // Holds a key down for the next `reads` reads of its state (-1: for ever).
    void hold(unsigned key, int reads) { m_held[key] = reads; }
    // Reads the key's state, and counts the read.
    bool read(unsigned key) {
        ++m_reads;
        auto it = m_held.find(key);
        if (it == m_held.end()) return false;
        if (it->second < 0) return true;
        if (it->second == 0) {
            m_held.erase(it);
            return false;
        }
        --it->second;
        return true;
    }
    int reads() const { return m_reads; }

private:
    std::map<unsigned, int> m_held;
    int m_reads = 0;
};

}  // namespace platform
