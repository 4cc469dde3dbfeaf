// The file manager's operations as panel commands, run against the loaded
// plug-in in the panel's current folder.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "WfxApi.h"

namespace panel {

class Answerer;
struct PluginExports;

class Session {
public:
    // MAINWINDOW is passed to FsExecuteFile; ANSWERER answers the panel's
    // own questions (overwrite?).
    Session(const PluginExports& plugin, Answerer& answerer, std::ostream& out, wfx::HWND mainWindow);

    // Runs one command line; false when it was "quit".
    bool run(const std::string& line);

    const std::string& currentFolder() const { return folder_; }

    // Completion candidates: command names for the first word, otherwise the
    // names in the folder the word points into (from a fresh listing).
    std::vector<std::string> complete(const std::string& word, bool command);

private:
    struct Entry {
        wfx::WIN32_FIND_DATAA data;
        std::string name;
    };

    // Lists FOLDER; false when FsFindFirst failed (also for an empty folder).
    bool list(const std::string& folder, std::vector<Entry>& entries);
    bool exported(bool present, const char* name);
    std::string path(const std::string& name) const;

    void ls(const std::vector<std::string>& args);
    void cd(const std::vector<std::string>& args);
    void execute(const std::string& name, const std::string& verb);
    void mkdir(const std::string& name);
    void remove(const std::string& name, bool folder);
    void renameOrCopy(const std::string& oldName, const std::string& newName, bool move);
    void put(const std::vector<std::string>& args);
    void stopAt(const std::string& value);
    void columns();
    void col(const std::string& name);
    void icon(const std::vector<std::string>& args);
    void help();
    void echo(const std::string& line);
    void wait(const std::string& seconds);

    const PluginExports& fn_;
    Answerer& answerer_;
    std::ostream& out_;
    wfx::HWND mainWindow_;
    std::string folder_ = "\\";
    bool raw_ = false;  // names are passed on as written (the raw prefix)
};

// Every command name, for help and completion.
const std::vector<std::string>& commandNames();

// "overwrite", "move", "resume", "samecase", "differentcase" joined with
// "," or "|", or a number; -1 when it is neither.
int parseCopyFlags(const std::string& text);

}  // namespace panel
