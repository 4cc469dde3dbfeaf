// The plug-in's process-wide state: the application object with the host's
// connection, the password tree with its named positions, and the settings.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "PluginSettings.h"
#include "TreeNode.h"
#include "WfxApi.h"
#include "platform/MessageBoxes.h"
#include "security/GuardedSecret.h"
#include "security/SecureString.h"

class CLockThread;
class CLockTimer;

// Options of the running plug-in.
struct tKeyholdOptions {
    // Follows the DefaultATW setting; switched by the auto-type window command.
    bool autoTypeWindow = false;
    // The password generator. The flags exclude a class of characters.
    std::string genLength;  // decimal; empty means 12
    int genNoUpperCase = 0;
    int genNoLowerCase = 0;
    int genNoDigits = 0;
    int genNoUnderline = 1;
    int genNoMinus = 0;
    int genNoBlank = 0;
    int genNoSpecials = 0;
    int genNoBrackets = 0;
};

// The host's side of the connection, written once by FsInit.
struct tHostConnection {
    int pluginNr = 0;
    wfx::tProgressProc progress = nullptr;
    wfx::tLogProc log = nullptr;
    wfx::tRequestProc request = nullptr;
    void* hostWindow = nullptr;
    void* moduleHandle = nullptr;
};

// A text shared by two threads: every read and every write holds its lock.
// Reads as a std::string and takes one by assignment.
class CGuardedText {
public:
    CGuardedText() = default;
    CGuardedText(const CGuardedText&) = delete;
    CGuardedText& operator=(const CGuardedText&) = delete;
    CGuardedText& operator=(const std::string& text) {
        set(text);
        return *this;
    }
    operator std::string() const { return get(); }
    std::string get() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_text;
    }
    void set(const std::string& text) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_text = text;
    }

private:
    mutable std::mutex m_lock;
    std::string m_text;
};

class CKeyholdApp {
public:
    CKeyholdApp();
    virtual ~CKeyholdApp();
    CKeyholdApp(const CKeyholdApp&) = delete;
    CKeyholdApp& operator=(const CKeyholdApp&) = delete;

    virtual bool InitInstance();
    virtual int ExitInstance();

    int fsInit(int pluginNr, wfx::tProgressProc progress, wfx::tLogProc log, wfx::tRequestProc request);
    // Ends the plug-in's own threads while the host still has us loaded
    // (threads cannot be waited for once the system is unloading us): the
    // hot-key thread first (its dispatch restarts the autolock countdown),
    // then the autolock thread and the logger's. A later FsInit starts them
    // again. While the process is ending (the system has stopped every other
    // thread already) they are let go instead, without a wait or a wake-up.
    void stopThreads();

    // Members, in order
    std::string m_dataFileName;
    tKeyholdOptions m_options;
    // The lower-cased title of the window in which the hot key was last
    // pressed: written by the hot-key thread, read by the entry dialogs on
    // the host's thread.
    CGuardedText m_lastWindowTitle;
    std::string lastWindowTitle() const { return m_lastWindowTitle.get(); }
    void setLastWindowTitle(const std::string& title) { m_lastWindowTitle.set(title); }
    // The master password: read by every encryption on any thread, replaced
    // on the host's thread and the hot-key thread. Used through its guard
    // only; a reader gets a copy.
    CGuardedSecret m_masterPassword;
    CSecureString masterPassword() const { return m_masterPassword.copy(); }
    void setMasterPassword(const CSecureString& password) { m_masterPassword.set(password); }
    std::unique_ptr<CLockThread> m_lockThread;
    std::unique_ptr<CLockTimer> m_lockTimer;

    tHostConnection m_host;
    std::string m_pluginFolder;
    std::string m_settingsFile;
    // The folder of the settings file: the plug-in folder, or the plug-in's
    // own configuration folder when that one cannot be written. A store
    // named without a folder lies here, and so does the log folder.
    std::string m_dataFolder;

private:
    void letGoOfLockThread();
};

// Where the host and the plug-in stand in the password tree. Shared by the
// host's threads and the plug-in's own, so it is guarded by `mutex`; no one
// holds it while a dialog is open.
struct tNavigationState {
    std::recursive_mutex mutex;
    TreePos baseNode;
    TreePos unlockRoot;
    TreePos activeRoot;
    TreePos currentNode;
    TreePos listingCursor;
    TreePos autoTypeWindowNode;
    std::atomic<bool> databaseLoaded{false};
    // Set when a folder was made whose name repeats an ancestor's; read by the next move.
    bool bFsMkDir = false;

    tNavigationState();
    bool isLocked() const { return unlockRoot.valid() && activeRoot == unlockRoot; }
};

CKeyholdApp& theApp();
tNavigationState& navigation();
PluginSettings& settings();

// The plug-in folder of a module file name: the name cut before its last
// separator, or the whole name when it holds none.
std::string pluginFolderOf(const std::string& moduleFileName, char separator);

// The host's request callback as the dialogs and message boxes use it.
// Empty when the host gave none.
platform::HostRequest hostRequestOf(const tHostConnection& host);

// Command nodes
// The time the command nodes made from now on show. The Linux build shows
// the store file's time (set when the store is read or made), as its host
// shows every time as a date and the host's "no date" would read as 1999;
// the Windows builds always show "no date".
#if defined(_WIN32)
constexpr bool kDatedCommandNodes = false;
#else
constexpr bool kDatedCommandNodes = true;
#endif
void setCommandNodeTime(const FILETIME& time);
FILETIME commandNodeTime();
tTreeNode MakeCommandNode(const std::string& name, int nodeType);
TreePos BuildCommandNodes(const tTreeNode& databaseRoot);
TreePos GetBaseNode();
void UpdateNumberOfEntries();

// Host services
void RefreshHostPanel();
// Reports progress to the host; true when the user asked to abort.
bool ReportProgress(const std::string& source, const std::string& target, int percent);
std::string GetForegroundWindowTitle();

// Tree sizes
std::size_t TreeSize();
std::size_t ChildCount(TreePos position);

// Tests only: empty the tree and reset the navigation state.
void resetTreeForTesting();
