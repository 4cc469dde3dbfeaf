// Drives the terminal host with a plug-in binary of one target, the way a
// person at the terminal would: lines go to its standard input, the
// transcript comes back from its standard output.
//
// The target comes from the environment that CTest sets, KH_E2E holding four
// fields separated by "|":
//   the target (linux, win32 or win64), the terminal host binary of that
//   target, the plug-in binary of that target, and the wine launcher for the
//   Windows targets (empty on Linux).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

struct E2ETarget {
    std::string name;
    std::string panel;
    std::string plugin;
    std::string wine;
    bool isWindows() const { return !wine.empty(); }
    // Timeouts are generous under wine, whose first start in a session is slow.
    std::chrono::seconds timeout() const { return std::chrono::seconds(isWindows() ? 60 : 30); }
    static E2ETarget fromEnvironment();
};

// A fresh folder holding a copy of the plug-in, like a plug-in installed
// into a file manager. Removed at the end.
class PluginFolder {
public:
    explicit PluginFolder(const E2ETarget& target);
    ~PluginFolder();
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    // The plug-in as the target's host names it (a Windows path under wine).
    std::string pluginForHost() const;
    const std::string& pluginName() const { return m_pluginName; }
    // A path inside the folder as the plug-in sees it on its target.
    std::string asTargetPath(const std::string& name) const;

private:
    const E2ETarget& m_target;
    std::string m_path;
    std::string m_pluginName;
};

class PanelSession {
public:
    // The host runs in the plug-in's folder; with relativePath it names the
    // plug-in relative to that folder, as a host started there may.
    PanelSession(const E2ETarget& target, const PluginFolder& folder, bool relativePath = false);
    ~PanelSession();
    PanelSession(const PanelSession&) = delete;
    PanelSession& operator=(const PanelSession&) = delete;

    // Sends one line (a command or an answer to a request).
    void send(const std::string& line);
    // Waits until everything sent so far has been handled and returns the
    // transcript lines that came since the last call.
    std::vector<std::string> sync();
    // Sends "quit", waits for the host to end and returns its exit code; the
    // remaining transcript is in `rest`.
    int quit(std::vector<std::string>* rest = nullptr);
    // Kills the host at once, as a crash or the task manager would (SIGKILL
    // to the host, under wine to the Windows process itself), and returns the
    // transcript lines it wrote since the last report.
    std::vector<std::string> kill();
    // Answers the master password dialog with one or two fields and OK: on
    // Linux the host's password requests, on Windows the real dialog's edits
    // (typed into key by key) and its OK button.
    void answerPasswordDialog(const std::vector<std::string>& fields);
    // Closes a message box with OK.
    void answerMessage() { send("> ok"); }
    // Cancels the dialog or request that is up.
    void cancel() { send("!cancel"); }
    // How many password fields the plug-in asked for in these lines.
    int passwordFieldsAsked(const std::vector<std::string>& lines) const;

    // The whole transcript so far.
    const std::vector<std::string>& transcript() const { return m_all; }

private:
    bool readLine(std::string& line, std::chrono::steady_clock::time_point deadline);
    int waitForExit(std::chrono::steady_clock::time_point deadline);

    const E2ETarget& m_target;
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_pending;
    std::vector<std::string> m_all;
    std::size_t m_reported = 0;
    int m_syncs = 0;
    bool m_exited = false;
    bool m_eof = false;  // the host's output has ended
    int m_status = 0;
};

// A settings file read back: section -> key -> value (names as written).
using IniContent = std::map<std::string, std::map<std::string, std::string>>;
IniContent readIni(const std::string& path);
bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);
// Names in a folder, without . and ..
std::vector<std::string> folderEntries(const std::string& path);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
// One item of a listing the host printed: its attributes ("00000010" for a
// folder) and its name.
struct ListedItem {
    std::string attributes;
    std::string size;
    std::string name;
};
// The items in listing lines, in order; other lines are skipped.
std::vector<ListedItem> listedItems(const std::vector<std::string>& lines);
std::vector<std::string> listedNames(const std::vector<std::string>& lines);
// Whether any line contains the text.
bool anyLineHas(const std::vector<std::string>& lines, const std::string& text);
std::string joinLines(const std::vector<std::string>& lines);
