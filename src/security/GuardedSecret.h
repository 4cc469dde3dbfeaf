// A secret shared by several threads: the master password, which every field
// encryption and decryption reads on whatever thread it runs, and which the
// host's thread and the hot-key thread replace (unlocking, a new password).
// Every access holds the guard, and no one is handed the secret itself:
// readers take a copy, writers hand one in. The guard is held only for the
// copy, never while anything else is done.
#pragma once

#include <mutex>

#include "security/SecureString.h"

class CGuardedSecret {
public:
    CGuardedSecret() = default;
    CGuardedSecret(const CGuardedSecret&) = delete;
    CGuardedSecret& operator=(const CGuardedSecret&) = delete;

    CSecureString copy() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_secret;
    }
    operator CSecureString() const { return copy(); }

    void set(const CSecureString& secret) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_secret = secret;
    }
    CGuardedSecret& operator=(const CSecureString& secret) {
        set(secret);
        return *this;
    }
    void setText(const char* text) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_secret.setText(text);
    }
    void clear() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_secret.clear();
    }
    bool isEmpty() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_secret.isEmpty();
    }
    // A plain copy with a terminating zero; release it with releasePlainCopy.
    char* plainCopy() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_secret.getText();
    }

private:
    mutable std::mutex m_lock;
    CSecureString m_secret;
};
