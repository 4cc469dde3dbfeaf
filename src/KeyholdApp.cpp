#include "KeyholdApp.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "Autolock.h"
#include "FileLogger.h"
#include "Listing.h"
#include "LockThread.h"
#include "LockTimer.h"
#include "Log.h"
#include "SettingsLocation.h"
#include "XmlData.h"
#include "hkhandler/KeyholdHK.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/Module.h"
#include "platform/Platform.h"
#include "platform/Threads.h"
#include "security/Util.h"

namespace {

constexpr unsigned kPanelRefreshMessage = 1075;  // WM_USER + 51
constexpr unsigned kPanelRefreshCommand = 540;
constexpr std::size_t kTitleBuffer = 260;
// An answer comes back in a buffer of at least this size; one preset with a
// text gets this much room beyond it as well.
constexpr std::size_t kRequestBuffer = 1024 * 1024;
constexpr std::size_t kRequestRoom = 64 * 1024;

using WipedBuffer = std::vector<char, WipingAllocator<char>>;

WipedBuffer terminated(const std::string& text) {
    WipedBuffer buffer;
    buffer.reserve(text.size() + 1);
    buffer.assign(text.begin(), text.end());
    buffer.push_back('\0');
    return buffer;
}

}  // namespace

// Hands a request to the host through its callback, with buffers it may
// write. A host writes up to MaxLen characters and a terminating zero, so
// MaxLen is one less than the answer buffer holds. Every buffer may carry a
// secret (an entry's summary, a generated password, a field's value) and is
// wiped before it is freed.
platform::HostRequest hostRequestOf(const tHostConnection& host) {
    wfx::tRequestProc proc = host.request;
    int pluginNr = host.pluginNr;
    if (proc == nullptr) return platform::HostRequest();
    return [proc, pluginNr](int type, const std::string& title, const std::string& text, std::string& answer) {
        WipedBuffer t = terminated(title);
        WipedBuffer x = terminated(text);
        const std::size_t size =
            std::min<std::size_t>(std::max(kRequestBuffer, answer.size() + kRequestRoom), INT_MAX);
        WipedBuffer r(size, '\0');
        std::memcpy(r.data(), answer.data(), std::min(answer.size(), size - 1));
        bool ok = proc(pluginNr, type, t.data(), x.data(), r.data(), static_cast<int>(size - 1)) != 0;
        if (platform::isLetGo()) {
            // Given back by a host that is leaving: the answer (perhaps a
            // password) is wiped, and the thread stays here.
            WipedBuffer().swap(r);
            platform::parkIfLetGo();
        }
        r.back() = '\0';
        std::string given(r.data(), static_cast<std::size_t>(std::find(r.begin(), r.end(), '\0') - r.begin()));
        secureWipe(answer);
        answer.swap(given);
        return ok;
    };
}

tNavigationState::tNavigationState() {
    TreePos none = passwordTree().end();
    baseNode = unlockRoot = activeRoot = currentNode = listingCursor = autoTypeWindowNode = none;
}

CKeyholdApp::CKeyholdApp() { security::setMasterPassword(&m_masterPassword); }

CKeyholdApp::~CKeyholdApp() {
    if (platform::threads().processEnding()) {
        letGoOfLockThread();
    } else {
        if (m_lockTimer) m_lockTimer->stopTimer();
        m_lockThread.reset();
    }
    security::setMasterPassword(nullptr);
    destroyFileLogger();  // last, so that the lines of the unload still land
}

bool CKeyholdApp::InitInstance() {
    m_host.moduleHandle = platform::module().handle();
    return true;
}

int CKeyholdApp::ExitInstance() {
    stopThreads();
    if (platform::threads().processEnding())
        letGoOfLockThread();
    else
        m_lockThread.reset();
    return 0;
}

void CKeyholdApp::letGoOfLockThread() {
    // The system has stopped the autolock thread wherever it was: its object,
    // with the queue it may have been waiting on, and the timer whose guard
    // it may have held go with the process, untouched.
    if (m_lockThread) m_lockThread->stop();  // lets go of the thread itself
    (void)m_lockThread.release();
    (void)m_lockTimer.release();
}

void CKeyholdApp::stopThreads() {
    keyholdHotKey().stopHandler();
    shutdownAutolock();
    stopFileLoggerThreads();
}

std::string pluginFolderOf(const std::string& moduleFileName, char separator) {
    std::string::size_type cut = moduleFileName.rfind(separator);
    if (cut == std::string::npos) return moduleFileName;
    return moduleFileName.substr(0, cut);
}

int CKeyholdApp::fsInit(int pluginNr, wfx::tProgressProc progress, wfx::tLogProc log, wfx::tRequestProc request) {
    m_host.pluginNr = pluginNr;
    m_host.progress = progress;
    m_host.log = log;
    m_host.request = request;
    m_dataFileName = "database.xml";

    std::string moduleName = platform::module().fileName();
    if (moduleName.size() > 260) moduleName.resize(260);
    m_pluginFolder = pluginFolderOf(moduleName, platform::kPathSeparator);
    const tSettingsLocation location = locateSettings(m_pluginFolder);
    m_dataFolder = location.folder;
    m_settingsFile = location.settingsFile;

    // The host window is the window that is active while the host calls us;
    // it also owns the message boxes, including one about the settings.
    m_host.hostWindow = platform::desktop().activeWindow();
    platform::messageBoxes().setOwner(m_host.hostWindow);
    platform::messageBoxes().setHostRequest(hostRequestOf(m_host));
    platform::dialogs().setHostRequest(hostRequestOf(m_host));

    const bool tookOver = takeOverSettings(m_pluginFolder, location);
    settings().load(m_settingsFile, m_dataFolder);
    m_options.autoTypeWindow = settings().m_defaultATW->GetValue();
    startFileLogger(m_dataFolder);

    KH_LOG(eImportant, "Plugin path: %s)", m_pluginFolder.c_str());
    KH_LOG(eImportant, "Ini file: %s)", m_settingsFile.c_str());
    if (!location.besidePlugin) {
        KH_LOG(eImportant, "The plug-in folder cannot be written: settings, store and log are kept in %s",
               m_dataFolder.c_str());
    }
    if (tookOver) KH_LOG(eImportant, "Settings taken over from the plug-in folder");
    if (location.nowhereWritable) {
        // Said at every start: settings changed now would be lost at unload.
        KH_LOG(eError, "No folder for the settings can be written");
        platform::messageBoxes().show("Keyhold cannot write into its folder\n" + m_pluginFolder +
                                          "\nnor into a configuration folder. Changed settings and a new "
                                          "password store cannot be saved.",
                                      "Keyhold", platform::MessageButtons::Ok);
    }
    KH_LOG(eRubbish, "Leaving FsInit(PluginNr:%d)", pluginNr);

    setupAutolock();
    keyholdHotKey().setHotKey(settings().m_hotKey->GetValue());
    return 0;
}

namespace {
std::mutex g_commandNodeTimeLock;
FILETIME g_commandNodeTime = timeutil::kNoTime;
}  // namespace

void setCommandNodeTime(const FILETIME& time) {
    std::lock_guard<std::mutex> guard(g_commandNodeTimeLock);
    g_commandNodeTime = time;
}

FILETIME commandNodeTime() {
    std::lock_guard<std::mutex> guard(g_commandNodeTimeLock);
    return g_commandNodeTime;
}

tTreeNode MakeCommandNode(const std::string& name, int nodeType) {
    tTreeNode node;
    node.name = name;
    node.nodeType = nodeType;
    node.fileAttributes = wfx::kAttrNormal;
    node.fileSizeHigh = 0;
    node.fileSizeLow = 1;
    node.setCreationTime("");
    if (kDatedCommandNodes) node.ftCreationTime = commandNodeTime();
    return node;
}

TreePos BuildCommandNodes(const tTreeNode& databaseRoot) {
    PasswordTree& tree = passwordTree();
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);

    TreePos firstTop = tree.begin();
    TreePos root = tree.insert(firstTop, databaseRoot);
    nav.activeRoot = root;
    nav.currentNode = root;

    tree.appendChild(root, MakeCommandNode("New Entry", eNode_NewEntry));
    tree.appendChild(root, MakeCommandNode("Lock Keyhold", eNode_LockKeyhold));
    if (settings().m_defaultATW->GetValue()) {
        nav.autoTypeWindowNode =
            tree.appendChild(root, MakeCommandNode("Default Auto Type Window is ON", eNode_AutoTypeWindowOn));
    } else {
        nav.autoTypeWindowNode =
            tree.appendChild(root, MakeCommandNode("Default Auto Type Window is OFF", eNode_AutoTypeWindowOff));
    }
    // Once another program changed the store, reloading is offered whatever
    // the settings say.
    if (settings().m_enableReload->GetValue() || xmlData().reloadOffered()) {
        KH_LOG(eImportant, "Reload Feature ENABLED !!");
        KH_LOG(eImportant, "Feature Reload Database ENABLED!");
        tree.appendChild(root, MakeCommandNode("Reload Database", eNode_ReloadDatabase));
    } else {
        KH_LOG(eImportant, "Reload Feature DISABLED !!");
    }

    nav.unlockRoot = tree.insert(firstTop, MakeCommandNode("UnlockNode", eNode_UnLockKeyhold));
    tree.appendChild(nav.unlockRoot, MakeCommandNode("UnLock Keyhold", eNode_UnLockKeyhold));

    nav.baseNode = GetBaseNode();
    return root;
}

TreePos GetBaseNode() {
    KH_ENTER("GetBaseNode()");
    PasswordTree& tree = passwordTree();
    if (tree.empty()) {
        KH_LOG(eTroubleShoot, "Tree is empty!");
        return tree.end();
    }
    for (TreePos p = tree.begin(); p != tree.end(); ++p) {
        if (p->nodeType == eNode_Base) return p;
    }
    KH_LOG(eFatal, "BaseNode not found!!!");
    return tree.end();
}

void UpdateNumberOfEntries() {
    KH_ENTER("UpdateNumberOfEntries()");
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    if (!nav.databaseLoaded) return;
    PasswordTree& tree = passwordTree();
    if (nav.baseNode == tree.end() || !nav.baseNode.valid()) {
        KH_LOG(eTroubleShoot, "Tree is empty!");
        return;
    }
    std::uint32_t entries = 0;
    TreePos newEntry;
    for (TreePos p = nav.baseNode; p != tree.end(); ++p) {
        if (p->nodeType == eNode_File) ++entries;
        if (p->nodeType == eNode_NewEntry) newEntry = p;
    }
    if (newEntry.valid()) newEntry->fileSizeLow = entries;
}

void RefreshHostPanel() {
    platform::Desktop& desktop = platform::desktop();
    void* host = theApp().m_host.hostWindow;
    if (host != nullptr && desktop.foregroundWindow() == host) {
        KH_LOG(eRubbish, "Active window is TC!");
        if (!desktop.postMessage(host, kPanelRefreshMessage, kPanelRefreshCommand, 0)) {
            KH_LOG(eError, "PostMessase returned error!!!");
        }
    } else {
        KH_LOG(eRubbish, "Active window is NOT TC!");
    }
}

bool ReportProgress(const std::string& source, const std::string& target, int percent) {
    const tHostConnection& host = theApp().m_host;
    if (host.progress == nullptr) return false;
    std::vector<char> s(source.begin(), source.end()), t(target.begin(), target.end());
    s.push_back('\0');
    t.push_back('\0');
    return host.progress(host.pluginNr, s.data(), t.data(), percent) != 0;
}

std::string GetForegroundWindowTitle() {
    platform::Desktop& desktop = platform::desktop();
    return desktop.windowTitle(desktop.foregroundWindow(), kTitleBuffer);
}

std::size_t TreeSize() { return passwordTree().size(); }

std::size_t ChildCount(TreePos position) { return passwordTree().numberOfChildren(position); }

void resetTreeForTesting() {
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    ListingsLeaveAll();
    setCommandNodeTime(timeutil::kNoTime);
    passwordTree().clear();
    TreePos none = passwordTree().end();
    nav.baseNode = nav.unlockRoot = nav.activeRoot = nav.currentNode = nav.listingCursor = nav.autoTypeWindowNode =
        none;
    nav.databaseLoaded = false;
    nav.bFsMkDir = false;
}
