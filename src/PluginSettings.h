// The plug-in's settings: the file "keyHold.ini" in the plug-in folder, read
// once at start-up into an in-memory store and written back at unload.
#pragma once

#include <memory>
#include <string>

#include "PluginSettingsHelper.h"

class PluginSettings {
public:
    PluginSettings();
    ~PluginSettings();  // writes the settings file
    PluginSettings(const PluginSettings&) = delete;
    PluginSettings& operator=(const PluginSettings&) = delete;

    // Reads the settings file; a missing one is replaced by the default file.
    void load(const std::string& settingsFile, const std::string& pluginFolder);
    // Writes the store to the settings file (done at unload).
    void save();

    const std::string& settingsFile() const { return m_settingsFile; }
    bool loaded() const { return m_datafile != nullptr; }
    // False when the settings file exists but could not be read: then the
    // plug-in runs on the defaults and leaves the file alone.
    bool writesBack() const { return m_writeBack; }
    CSettingsStore& store() { return m_store; }

    // Descriptors (valid after load).
    std::unique_ptr<CSettingsAccess<std::string>> m_datafile;
    std::unique_ptr<CSettingsAccess<bool>> m_debugLogging;
    std::unique_ptr<CSettingsAccess<bool>> m_newEntryFolder;
    std::unique_ptr<CSettingsAccess<std::string>> m_hotKey;
    std::unique_ptr<CSettingsAccess<std::string>> m_masterPassword;
    std::unique_ptr<CSettingsAccess<bool>> m_defaultATW;
    std::unique_ptr<CSettingsAccess<bool>> m_autolock;
    std::unique_ptr<CSettingsAccess<std::int32_t>> m_timeOutLock;
    std::unique_ptr<CSettingsAccess<bool>> m_enableReload;
    std::unique_ptr<CSettingsAccess<std::string>> m_delay;
    std::unique_ptr<CSettingsAccess<bool>> m_explicitComment;
    std::unique_ptr<CSettingsAccess<std::string>> m_dateFormat;
    std::unique_ptr<CSettingsAccess<std::string>> m_logFormat;
    // Kept for the files that carry them; nothing reads them.
    std::unique_ptr<CSettingsAccess<std::string>> m_keyMain;
    std::unique_ptr<CSettingsAccess<bool>> m_showAsFile;
    std::unique_ptr<CSettingsAccess<std::int32_t>> m_keygenLength;

private:
    void createDescriptors();
    void loadDefaults(const std::string& pluginFolder);

    CSettingsStore m_store;
    std::string m_settingsFile;
    bool m_writeBack = true;
};

// Configuration folders a host names for its plug-ins. When the plug-in's own
// folder cannot be written, the settings, the default store and the log go
// into a folder "keyhold" inside the first of: the folder given here by the
// extension API (PluginConfDir), the folder of the host's DefaultIniName
// (FsSetDefaultParams), the user's configuration folder. Both take effect at
// the next FsInit; an empty text forgets the folder.
void setHostConfigFolder(const std::string& folder);
// The host's DefaultIniName: a file name; its folder is kept.
void setHostDefaultIniFile(const std::string& iniFile);
