#include "PluginSettingsHelper.h"

// The store's implementation is compiled here, in the one unit that uses it.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cctype>
#include <limits>

#include "Log.h"

using CSimpleIniStore = CSimpleIniTempl<char, SI_NoCase<char>, SI_ConvertA<char>>;

struct CSettingsStore::Impl {
    // UTF-8 off, one value per key (a repeated key keeps the later value),
    // multi-line values off: none of the settings has more than one line,
    // and a multi-line value left open takes the rest of the file, which
    // written back reads differently (its carriage returns become line
    // feeds, a line of it may end it early, the lines after it become
    // settings). "Key=<<<TAG" is read as that text.
    CSimpleIniStore ini{false, false, false};
};

CSettingsStore::CSettingsStore() : m_impl(std::make_unique<Impl>()) {}
CSettingsStore::~CSettingsStore() = default;

namespace {

// Whether a name read from a file is written back so that it reads back as
// itself. The loader takes any text before "=" as a key, so a file may hold
// keys that begin with what opens a section or a comment, or with a byte
// order mark, which the next load takes for something else: the lines after
// them, our own settings among them, would then be read wrongly.
bool keyWritesBack(const char* name) {
    const std::string key(name);
    if (key.empty() || key[0] == '[' || key[0] == ';' || key[0] == '#') return false;
    if (key.compare(0, 3, "\xEF\xBB\xBF") == 0) return false;
    return key.find_first_of("=\r\n") == std::string::npos;
}

// The same for the name of a section: the loader may take a name across a
// line end, and written back such a section reads as two, its comment
// doubled at every save.
bool sectionWritesBack(const char* name) { return std::string(name).find_first_of("]\r\n") == std::string::npos; }

// Sections and keys that would not read back as themselves are dropped: they
// are none of ours, and kept they would take our settings with them.
void dropWhatDoesNotWriteBack(CSimpleIniStore& ini) {
    CSimpleIniStore::TNamesDepend sections;
    ini.GetAllSections(sections);
    for (const auto& section : sections) {
        if (!sectionWritesBack(section.pItem)) {
            ini.Delete(section.pItem, nullptr, false);
            continue;
        }
        CSimpleIniStore::TNamesDepend keys;
        ini.GetAllKeys(section.pItem, keys);
        for (const auto& key : keys) {
            if (!keyWritesBack(key.pItem)) ini.Delete(section.pItem, key.pItem, false);
        }
    }
}

}  // namespace

int CSettingsStore::load(const std::string& content) {
    std::lock_guard<std::mutex> guard(m_mutex);
    const int loaded = m_impl->ini.LoadData(content.data(), content.size());
    if (loaded < 0) return loaded;
    dropWhatDoesNotWriteBack(m_impl->ini);
    return loaded;
}

int CSettingsStore::saveToString(std::string& out) {
    std::lock_guard<std::mutex> guard(m_mutex);
    out.clear();
    dropWhatDoesNotWriteBack(m_impl->ini);
    return m_impl->ini.Save(out, false);
}

std::string CSettingsStore::getText(const std::string& section, const std::string& key,
                                    const std::string& defaultText) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    const char* v = m_impl->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return v ? std::string(v) : defaultText;
}

int CSettingsStore::setText(const std::string& section, const std::string& key, const std::string& value) {
    // A line break would end the value in the file and begin a line of its own.
    if (value.find_first_of("\r\n") != std::string::npos) return -1;
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_impl->ini.SetValue(section.c_str(), key.c_str(), value.c_str(), nullptr, true);
}

void CSettingsStore::reset() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_impl->ini.Reset();
}

namespace settingsconv {

std::int32_t toInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    const std::int64_t limit = static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value < limit) value = value * 10 + (text[i] - '0');
    }
    if (value > limit) value = limit;
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) value = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

bool toBool(const std::string& text) { return toInt(text) != 0; }
std::string fromBool(bool value) { return value ? "1" : "0"; }
std::string fromInt(std::int32_t value) { return std::to_string(value); }

}  // namespace settingsconv

int CSettingsAccess<bool>::SetValue(bool value) {
    int rc = m_store.setText(m_section, m_key, settingsconv::fromBool(value));
    KH_LOG(eInformation, "CSettingsAccess<bool>.SetValue: %s returned %d", rc == SI_INSERTED ? "inserted" : "updated",
           rc);
    if (rc < 0) KH_LOG(eError, "CSettingsAccess<bool>.SetValue failed!");
    return rc;
}
