#include "PluginSettings.h"

#include "Log.h"
#include "platform/Files.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"

PluginSettings::PluginSettings() = default;

PluginSettings::~PluginSettings() {
    if (loaded()) save();
}

void PluginSettings::loadDefaults(const std::string& pluginFolder) {
    std::string content = "[MAIN]\n";
    content += "datafile=" + pluginFolder + platform::kPathSeparator + "database.xml";
    content += "\nNewEntryFolder=1";
    m_store.reset();
    int rc = m_store.load(content);
    if (rc < 0) {
        KH_LOG(eError, "Failed to load default ini data: %d", rc);
        return;
    }
    if (m_writeBack) save();
}

void PluginSettings::load(const std::string& settingsFile, const std::string& pluginFolder) {
    m_settingsFile = settingsFile;
    m_writeBack = true;
    m_store.reset();

    std::string content;
    platform::ReadResult read = platform::files().readAll(settingsFile, content);
    int rc = read == platform::ReadResult::Ok ? m_store.load(content) : -1;
    if (rc < 0) {
        KH_LOG(eError, "Failed to load ini file");
        KH_LOG(eImportant, "Loading defaults");
        if (read != platform::ReadResult::Missing) {
            // The file is there but could not be read now (locked, no access,
            // not a file). Overwriting it would lose the user's settings: run on
            // the defaults and leave it alone, at load and at unload.
            m_writeBack = false;
            platform::messageBoxes().show("Keyhold could not read its settings file\n" + settingsFile +
                                              "\nIt runs on the default settings and leaves the file unchanged.",
                                          "Keyhold", platform::MessageButtons::Ok);
        }
        loadDefaults(pluginFolder);
    }

    std::string serialised;
    if (m_store.saveToString(serialised) < 0) KH_LOG(eFatal, "Failed to save ini to string!!");

    createDescriptors();
}

void PluginSettings::save() {
    if (!m_writeBack || m_settingsFile.empty()) return;
    std::string content;
    if (m_store.saveToString(content) < 0) {
        KH_LOG(eError, "Failed to save ini to string!!");
        return;
    }
    std::string error;
    if (!platform::files().replaceAtomically(m_settingsFile, content, error)) {
        KH_LOG(eError, "Cannot write the settings file %s: %s", m_settingsFile.c_str(), error.c_str());
    }
}

void PluginSettings::createDescriptors() {
    using S = CSettingsAccess<std::string>;
    using B = CSettingsAccess<bool>;
    using I = CSettingsAccess<std::int32_t>;
    m_datafile = std::make_unique<S>(m_store, "MAIN", "datafile", "");
    m_debugLogging = std::make_unique<B>(m_store, "MAIN", "DebugLogging", false);
    m_newEntryFolder = std::make_unique<B>(m_store, "MAIN", "NewEntryFolder", true);
    m_hotKey = std::make_unique<S>(m_store, "MAIN", "HotKey", "CTRL-SHIFT-Q");
    m_masterPassword = std::make_unique<S>(m_store, "DEVELOPMENT", "MasterPassword", "");
    m_defaultATW = std::make_unique<B>(m_store, "AUTOTYPE", "DefaultATW", false);
    m_autolock = std::make_unique<B>(m_store, "AUTOLOCK", "Autolock", true);
    m_timeOutLock = std::make_unique<I>(m_store, "AUTOLOCK", "TimeOutLock", 30);
    m_enableReload = std::make_unique<B>(m_store, "MAIN", "EnableReload", false);
    m_delay = std::make_unique<S>(m_store, "AUTOTYPE", "Delay", "");
    m_explicitComment = std::make_unique<B>(m_store, "CustomColumn", "ExplicitComment", false);
    m_dateFormat = std::make_unique<S>(m_store, "MAIN", "DateFormat", "yyyy-mm-dd");
    m_logFormat = std::make_unique<S>(m_store, "MAIN", "LogFormat", "multiline");
    m_keyMain = std::make_unique<S>(m_store, "KEY", "MAIN", "");
    m_showAsFile = std::make_unique<B>(m_store, "MAIN", "showasfile", false);
    m_keygenLength = std::make_unique<I>(m_store, "KEYGEN", "Length", 8);
}
