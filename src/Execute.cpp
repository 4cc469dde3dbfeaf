#include "Execute.h"

#include <mutex>
#include <string>
#include <vector>

#include "AutoType.h"
#include "EntryDataDlg.h"
#include "KeyholdApp.h"
#include "Listing.h"
#include "Log.h"
#include "MasterPassword.h"
#include "NewEntryDlg.h"
#include "PassWordDlg.h"
#include "URLFieldFeatures.h"
#include "VirtualPath.h"
#include "XmlData.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "platform/Shell.h"
#include "security/SecureString.h"

namespace {

void message(const std::string& text) {
    platform::messageBoxes().show(text, "Keyhold", platform::MessageButtons::Ok);
}

// A path of the panel, resolved from the active root (the unlock root while
// the store is locked).
struct Resolved {
    std::vector<std::string> components;
    TreePos node;
    bool complete = false;  // every component was found
};

Resolved resolve(const std::string& path) {
    Resolved r;
    SplitVirtualPath(path, r.components, false);
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    std::string missing;
    int found = FindNodeByPath(r.components, nav.currentNode, nav.listingCursor, missing, nav.activeRoot);
    r.node = nav.currentNode;
    r.complete = r.node.valid() && (found == 1 || (missing.empty() && !r.components.empty()));
    return r;
}

// The node a path named, looked up again: a dialog was open in between, and
// the tree may have changed meanwhile.
TreePos stillThere(const std::string& path, std::uint32_t uniqueNumber) {
    Resolved r = resolve(path);
    if (!r.complete) return TreePos();
    std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
    return r.node->uniqueNumber == uniqueNumber ? r.node : TreePos();
}

const char* shellReason(int result) {
    switch (result) {
        case 2: return "The specified file was not found.";
        case 3: return "The specified path was not found.";
        case 5: return "The operating system denied access to the specified file.";
        case 11: return "The .exe file is invalid (non-Microsoft Win32 .exe or error in .exe image).";
        case 26: return "A sharing violation occurred.";
        case 27: return "The file name association is incomplete or invalid.";
        case 30:
            return "The Dynamic Data Exchange (DDE) transaction could not be completed because other DDE "
                   "transactions were being";
        case 31: return "There is no application associated with the given filename extension.";
        default: return "";
    }
}

// "properties" of the root: a new master password, with every encrypted
// field of the store encrypted again under it.
int changeMasterPassword() {
    bool locked;
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        locked = navigation().isLocked();
    }
    if (locked) {
        message("Unlock Keyhold first!");
        return wfx::FS_EXEC_OK;
    }
    // A store that is to be read again (after "Reload Database") is opened
    // first, so that the password its fields are encrypted under is known and
    // the tree written back is the file's.
    if (!xmlData().isInitialized()) {
        if (openDatabase() != eOpenResult::List || !xmlData().isInitialized()) return wfx::FS_EXEC_ERROR;
        RefreshHostPanel();
    }
    // The dialog leaves the new password in `chosen` and the current one in
    // its oldPassword; the master password itself changes only together
    // with the fields encrypted under it.
    CSecureString chosen = theApp().masterPassword();
    CPassWordDlg dialog(chosen, [](const CSecureString& candidate) { return xmlData().checkMasterKey(candidate); });
    dialog.setMode(1);
    if (dialog.DoModal(theApp().m_host.hostWindow) != kDialogOk) return wfx::FS_EXEC_ERROR;
    // The fields are decrypted under the password the store had: it must be
    // the store's own, or the change would write garbage.
    if (IsStorePassword(dialog.oldPassword) && ReEncryptAll(dialog.oldPassword, chosen) != 0) return wfx::FS_EXEC_OK;
    // Nothing was written: the store keeps its master password.
    // A failed save has said why already.
    if (xmlData().lastError().empty()) {
        message("The master password was not changed: a field of the store does not decrypt under the current one.");
    }
    return wfx::FS_EXEC_ERROR;
}

// "properties" of an entry: its web address, filled in, to the shell.
int openUrl(const std::string& path) {
    Resolved r = resolve(path);
    tTreeNode copy;
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        if (!r.complete) return wfx::FS_EXEC_OK;
        copy = *r.node;
    }
    if (!copy.isEntry() || copy.url.empty()) return wfx::FS_EXEC_OK;
    std::string given = entryUrl(copy);
    std::string url = buildUrl(given, copy);
    secureWipe(given);
    int result = platform::shell().execute("", url, "", platform::kShowNormal);
    secureWipe(url);
    // The address may hold the user name and password: only its fate is logged.
    KH_LOG(eInformation, "ShellExecute open: the entry's URL");
    KH_LOG(eInformation, "hr: %d, reason: %s ", result, shellReason(result));
    if (result == platform::kShellFileNotFound) {
        // A program with arguments: the command up to the first blank after
        // its last backslash, the rest as its parameters.
        std::string text = copy.getUrl();
        std::string command, parameters;
        SplitCommandLine(text, command, parameters);
        secureWipe(text);
        KH_LOG(eRubbish, "verb: %s", "open");
        int second = platform::shell().execute("open", command, parameters, platform::kShow);
        secureWipe(command);
        secureWipe(parameters);
        KH_LOG(eInformation, "second hr: %d", second);
    }
    return wfx::FS_EXEC_OK;
}

// The folder that holds a "[New Entry]": its path, a backslash before each
// component.
std::string folderOf(const std::vector<std::string>& components) {
    std::string path;
    for (std::size_t i = 0; i + 1 < components.size(); ++i) path += "\\" + components[i];
    return path;
}

bool validTitle(const std::string& title) {
    return !title.empty() && title.find('\\') == std::string::npos && title.find('/') == std::string::npos;
}

int newEntry(const Resolved& at, const tTreeNode& command) {
    KH_LOG(eInformation, "NodeType: eNode_NewEntry");
    CNewEntryDlg dialog(theApp().m_host.hostWindow);
    if (settings().m_newEntryFolder->GetValue() && command.nodeType == eNode_FolderNewEntry) {
        dialog.setGroup(folderOf(at.components));
    }
    if (dialog.DoModal() != kDialogOk) return -1;
    tTreeNode entry;
    dialog.GetNodeData(entry);
    parseAutoTypeDefinitions(entry);
    if (!validTitle(entry.name)) {
        tTreeNode::releaseUniqueNumber(entry.uniqueNumber);
        message("A title cannot be empty or contain \"\\\" or \"/\".");
        return wfx::FS_EXEC_ERROR;
    }

    KH_LOG(eInformation, "Path to find: %s", dialog.m_chosenGroupPath.c_str());
    Resolved group = resolve(dialog.m_chosenGroupPath);
    tNavigationState& nav = navigation();
    std::unique_lock<std::recursive_mutex> guard(nav.mutex);
    if (!group.complete || !group.node->isFolder()) {
        guard.unlock();
        tTreeNode::releaseUniqueNumber(entry.uniqueNumber);
        message("The folder " + dialog.m_chosenGroupPath + " does not exist.");
        return wfx::FS_EXEC_ERROR;
    }
    if (tTreeNode::hasSiblingWithSameName(entry, group.node)) {
        guard.unlock();
        tTreeNode::releaseUniqueNumber(entry.uniqueNumber);
        message("Entry with the same name already exists!!");
        return wfx::FS_EXEC_ERROR;
    }
    entry.registerNode(group.node);
    TreePos added = passwordTree().appendChild(group.node, entry);
    std::uint32_t folderNumber = group.node->uniqueNumber;
    guard.unlock();
    if (xmlData().createXML(folderNumber, *added) == 1) return -1;
    // The file could not be written: the tree loses the entry again.
    {
        std::lock_guard<std::recursive_mutex> again(nav.mutex);
        ListingsLeave(added);
        passwordTree().erase(added);
    }
    tTreeNode::releaseUniqueNumber(entry.uniqueNumber);
    xmlData().rebuildDocumentFromTree();
    // The store has told the user why, where it knew.
    if (xmlData().lastError().empty()) message("The entry could not be saved.");
    return wfx::FS_EXEC_ERROR;
}

void toggleAutoTypeWindow(int nodeType) {
    const bool leavingOn = nodeType == eNode_AutoTypeWindowOn;
    tNavigationState& nav = navigation();
    {
        std::lock_guard<std::recursive_mutex> guard(nav.mutex);
        PasswordTree& tree = passwordTree();
        if (nav.autoTypeWindowNode.valid()) {
            ListingsLeave(nav.autoTypeWindowNode);
            tree.erase(nav.autoTypeWindowNode);
        }
        nav.autoTypeWindowNode = tree.appendChild(
            nav.activeRoot, leavingOn ? MakeCommandNode("Default Auto Type Window is OFF", eNode_AutoTypeWindowOff)
                                      : MakeCommandNode("Default Auto Type Window is ON", eNode_AutoTypeWindowOn));
        theApp().m_options.autoTypeWindow = !theApp().m_options.autoTypeWindow;
    }
    settings().m_defaultATW->SetValue(!leavingOn);
    settings().save();  // a choice of the user's, kept at once
    RefreshHostPanel();
}

int openEntry(const std::string& path, const Resolved& at) {
    tTreeNode copy;
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        copy = *at.node;
    }
    copy.setLastAccessTimeNow();
    CEntryDataDlg dialog(theApp().m_host.hostWindow);
    dialog.SetNodeData(copy);
    int answer = dialog.DoModal();

    tTreeNode stored = copy;
    if (answer == kDialogOk && dialog.m_modified == 1) {
        tTreeNode edited;
        dialog.GetNodeData(edited);
        parseAutoTypeDefinitions(edited);
        edited.copyFileInfo(copy);
        // What the dialog does not show stays as stored.
        edited.icon = copy.icon;
        edited.image = copy.image;
        edited.absolutePath = copy.absolutePath;
        edited.setLastModTimeNow();
        stored = edited;
    }
    TreePos node = stillThere(path, copy.uniqueNumber);
    if (!node.valid()) {
        message("The entry is no longer there; nothing was saved.");
        return wfx::FS_EXEC_ERROR;
    }
    tTreeNode previous;
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        previous = *node;
        *node = stored;
    }
    if (xmlData().updateXML(*node) == 1) return -1;
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        *node = previous;
    }
    xmlData().rebuildDocumentFromTree();
    // The store has told the user why, where it knew.
    if (xmlData().lastError().empty()) message("The entry could not be saved.");
    return wfx::FS_EXEC_ERROR;
}

// "open": -1 when the common exit with a panel refresh follows.
int open(const std::string& path) {
    KH_LOG(eInformation, "open %s)", keyholdlog::pathForLog(path).c_str());
    Resolved at = resolve(path);
    tTreeNode node;
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        if (!at.node.valid() || at.node == passwordTree().end()) return wfx::FS_EXEC_ERROR;
        node = *at.node;
    }
    if (node.nodeType != eNode_UnLockKeyhold && !at.complete) {
        // The node is gone (deleted meanwhile): nothing else is opened in its place.
        KH_LOG(eTroubleShoot, "Not found: %s", keyholdlog::pathForLog(path).c_str());
        return wfx::FS_EXEC_ERROR;
    }
    switch (node.nodeType) {
        case eNode_NewEntry:
        case eNode_FolderNewEntry:
            return newEntry(at, node);
        case eNode_LockKeyhold:
            KH_LOG(eInformation, "NodeType: eNode_LockKeyhold");
            lock();
            return -1;
        case eNode_UnLockKeyhold:
            KH_LOG(eInformation, "NodeType: eNode_UnLockKeyhold");
            if (unlock()) RefreshHostPanel();
            return -1;
        case eNode_AutoTypeWindowOn:
        case eNode_AutoTypeWindowOff:
            toggleAutoTypeWindow(node.nodeType);
            return -1;
        case eNode_ReloadDatabase:
            KH_LOG(eInformation, "NodeType: eNode_ReloadDatabase");
            xmlData().resetInitialized();
            RefreshHostPanel();
            return -1;
        default:
            if (!node.isEntry()) return -1;  // folders open in the panel itself
            return openEntry(path, at);
    }
}

}  // namespace

void SplitCommandLine(const std::string& text, std::string& command, std::string& parameters) {
    std::size_t backslash = text.rfind('\\');
    std::size_t blank = text.find(' ', backslash == std::string::npos ? 0 : backslash);
    if (blank == std::string::npos) {
        command = text;
        parameters.clear();
    } else {
        command = text.substr(0, blank);
        parameters = text.substr(blank + 1);
    }
}

int ExecuteFile(const char* remoteName, const char* verb) {
    std::string path = VirtualPathFromHost(remoteName);
    KH_LOG(eImportant, "FsExecuteFile(remoteName:%s)", keyholdlog::pathForLog(path).c_str());
    std::string v = verb != nullptr ? verb : "";
    int result = wfx::FS_EXEC_OK;
    if (HasEmptyComponent(path)) {
        result = wfx::FS_EXEC_ERROR;  // names nothing, whatever the verb
    } else if (v == "properties") {
        result = path == "\\" ? changeMasterPassword() : openUrl(path);
    } else if (v == "open") {
        result = open(path);
        if (result == -1) {
            RefreshHostPanel();
            result = wfx::FS_EXEC_OK;
        }
    }
    KH_LOG(eRubbish, "Leaving %s", "FsExecuteFile");
    return result;
}
