#include "SettingsLocation.h"

#include <mutex>

#include "PluginSettings.h"
#include "PluginSettingsHelper.h"
#include "platform/Environment.h"
#include "platform/Files.h"
#include "platform/Platform.h"

namespace {

std::mutex g_hostFoldersLock;
std::string g_hostConfigFolder;
std::string g_hostDefaultIniFolder;

const char kSettingsName[] = "keyHold.ini";
const char kOwnFolderName[] = "keyhold";

#if defined(_WIN32)
const char kSeparators[] = "\\/";
#else
const char kSeparators[] = "/";
#endif

std::string joined(const std::string& folder, const std::string& name) {
    if (!folder.empty() && std::string(kSeparators).find(folder.back()) != std::string::npos) return folder + name;
    return folder + platform::kPathSeparator + name;
}

bool isFullPath(const std::string& path) {
#if defined(_WIN32)
    return path.find('\\') != std::string::npos;
#else
    return !path.empty() && path[0] == '/';
#endif
}

// The user's own configuration folder.
std::string userConfigFolder() {
    std::string value;
#if defined(_WIN32)
    if (platform::environment().get("APPDATA", value) && !value.empty()) return value;
    return std::string();
#else
    // A relative XDG_CONFIG_HOME is no configuration folder: it is ignored,
    // as the desktop's own programs ignore it.
    if (platform::environment().get("XDG_CONFIG_HOME", value) && isFullPath(value)) return value;
    if (platform::environment().get("HOME", value) && isFullPath(value)) return joined(value, ".config");
    return std::string();
#endif
}

}  // namespace

void setHostConfigFolder(const std::string& folder) {
    std::lock_guard<std::mutex> guard(g_hostFoldersLock);
    g_hostConfigFolder = folder;
}

void setHostDefaultIniFile(const std::string& iniFile) {
    std::string::size_type cut = iniFile.find_last_of(kSeparators);
    std::lock_guard<std::mutex> guard(g_hostFoldersLock);
    g_hostDefaultIniFolder = cut == std::string::npos ? std::string() : iniFile.substr(0, cut == 0 ? 1 : cut);
}

std::string hostConfigFolder() {
    std::lock_guard<std::mutex> guard(g_hostFoldersLock);
    return g_hostConfigFolder;
}

std::string hostDefaultIniFolder() {
    std::lock_guard<std::mutex> guard(g_hostFoldersLock);
    return g_hostDefaultIniFolder;
}

tSettingsLocation locateSettings(const std::string& pluginFolder) {
    platform::Files& files = platform::files();
    tSettingsLocation location;
    location.folder = pluginFolder;
    location.settingsFile = joined(pluginFolder, kSettingsName);
    if (files.canCreateIn(pluginFolder)) return location;

    const std::string candidates[] = {hostConfigFolder(), hostDefaultIniFolder(), userConfigFolder()};
    for (const std::string& base : candidates) {
        if (!isFullPath(base)) continue;
        std::string folder = joined(base, kOwnFolderName);
        std::string error;
        if (!files.createPrivateFolder(folder, error) || !files.canCreateIn(folder)) continue;
        location.folder = folder;
        location.settingsFile = joined(folder, kSettingsName);
        location.besidePlugin = false;
        return location;
    }
    location.nowhereWritable = true;
    return location;
}

bool takeOverSettings(const std::string& pluginFolder, const tSettingsLocation& location) {
    if (location.besidePlugin) return false;
    platform::Files& files = platform::files();
    if (files.exists(location.settingsFile)) return false;
    std::string content;
    if (files.readAll(joined(pluginFolder, kSettingsName), content) != platform::ReadResult::Ok) return false;
    CSettingsStore store;
    if (store.load(content) < 0) return false;

    // A store named by its bare name lay beside the plug-in: it stays there
    // when it is there, a new one goes into the new folder.
    std::string datafile = store.getText("MAIN", "datafile", "");
    bool variable = datafile.compare(0, 16, "%COMMANDER_PATH%") == 0 || datafile.compare(0, 13, "%USERPROFILE%") == 0;
    if (!variable && !isFullPath(datafile)) {
        if (datafile.empty()) datafile = "database.xml";
        std::string besidePlugin = joined(pluginFolder, datafile);
        datafile = files.exists(besidePlugin) ? besidePlugin : joined(location.folder, datafile);
        if (store.setText("MAIN", "datafile", datafile) < 0) return false;
    }
    std::string text, error;
    if (store.saveToString(text) < 0) return false;
    return files.createNew(location.settingsFile, text, error);
}
