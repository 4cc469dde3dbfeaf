// Typed access to one setting: section, key and default. Every read asks the
// store anew, so a value set by one reader is seen by the next.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// The INI store behind the settings, shared by the host's thread and the
// plug-in's own threads, so every access is serialised.
class CSettingsStore {
public:
    CSettingsStore();
    ~CSettingsStore();
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    // The store's own result codes: negative on failure.
    int load(const std::string& content);
    // The text to write. Sections and keys of the file that would not read
    // back as themselves (none of ours) are dropped from the store first, as
    // they are at every load.
    int saveToString(std::string& out);
    // The stored text, or the default when the key is absent.
    std::string getText(const std::string& section, const std::string& key, const std::string& defaultText) const;
    // 2 when the key was inserted, 1 when it was updated, negative on failure.
    int setText(const std::string& section, const std::string& key, const std::string& value);
    void reset();

private:
    struct Impl;
    mutable std::mutex m_mutex;
    std::unique_ptr<Impl> m_impl;
};

namespace settingsconv {
// Decimal conversion as the settings read it: leading blanks, an optional
// sign, then digits up to the first other character; no digits give 0.
// Values beyond the 32-bit range are clamped.
std::int32_t toInt(const std::string& text);
bool toBool(const std::string& text);
std::string fromBool(bool value);
std::string fromInt(std::int32_t value);
}  // namespace settingsconv

template <class T>
class CSettingsAccess;

template <class T>
class CSettingsAccessBase {
public:
    CSettingsAccessBase(CSettingsStore& store, std::string section, std::string key, T defaultValue)
        : m_store(store), m_section(std::move(section)), m_key(std::move(key)), m_default(std::move(defaultValue)) {}
    const std::string& section() const { return m_section; }
    const std::string& key() const { return m_key; }
    const T& defaultValue() const { return m_default; }

protected:
    CSettingsStore& m_store;
    std::string m_section;
    std::string m_key;
    T m_default;
};

template <>
class CSettingsAccess<std::string> : public CSettingsAccessBase<std::string> {
public:
    using CSettingsAccessBase::CSettingsAccessBase;
    std::string GetValue() const {
        try {
            return m_store.getText(m_section, m_key, m_default);
        } catch (...) {
            return std::string();
        }
    }
};

template <>
class CSettingsAccess<std::int32_t> : public CSettingsAccessBase<std::int32_t> {
public:
    using CSettingsAccessBase::CSettingsAccessBase;
    std::int32_t GetValue() const {
        try {
            return settingsconv::toInt(m_store.getText(m_section, m_key, settingsconv::fromInt(m_default)));
        } catch (...) {
            return m_default;
        }
    }
};

template <>
class CSettingsAccess<bool> : public CSettingsAccessBase<bool> {
public:
    using CSettingsAccessBase::CSettingsAccessBase;
    bool GetValue() const {
        try {
            return settingsconv::toBool(m_store.getText(m_section, m_key, settingsconv::fromBool(m_default)));
        } catch (...) {
            return m_default;
        }
    }
    // Writes into the store only; the file follows at unload.
    int SetValue(bool value);
};
