// Where the plug-in keeps its own files: the settings file, the default store
// and the log folder. Beside the plug-in when its folder can be written;
// otherwise (a system-wide install) in a folder "keyhold" for the user alone
// inside a configuration folder: the one the host names first, else the
// user's own.
#pragma once

#include <string>

struct tSettingsLocation {
    // The folder of the settings file, the default store and the log folder.
    std::string folder;
    std::string settingsFile;
    // The plug-in's own folder is used.
    bool besidePlugin = true;
    // No folder could be written: the plug-in's folder is used, and nothing
    // it writes there will last.
    bool nowhereWritable = false;
};

// Chooses the folder (making the "keyhold" folder when it is needed).
tSettingsLocation locateSettings(const std::string& pluginFolder);

// A settings file kept beside the plug-in that a configuration folder takes
// over is copied there once, the first time, so that its settings go on; its
// store location is written as a full path. True when a copy was made.
bool takeOverSettings(const std::string& pluginFolder, const tSettingsLocation& location);

// The configuration folders the host named (see PluginSettings.h).
std::string hostConfigFolder();
std::string hostDefaultIniFolder();
