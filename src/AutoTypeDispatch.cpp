#include "AutoTypeDispatch.h"

#include <cctype>
#include <map>
#include <string>

#include "AutoType.h"
#include "Autolock.h"
#include "DialogControls.h"
#include "EntriesMatched.h"
#include "KeyholdApp.h"
#include "Log.h"
#include "MasterPassword.h"
#include "SendKeys/SendKeys.h"
#include "hkhandler/KeyholdHK.h"
#include "platform/AutoTypeDesktop.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "security/SecureString.h"

namespace {

using Matches = std::map<std::string, AutoTypeInfo>;

// The matches of one dispatch. Their key sequences hold user names and
// passwords in plain text: wiped when the dispatch ends.
struct tWipedMatches {
    Matches entries;
    tWipedMatches() = default;
    tWipedMatches(const tWipedMatches&) = delete;
    tWipedMatches& operator=(const tWipedMatches&) = delete;
    ~tWipedMatches() {
        for (auto& e : entries) {
            secureWipe(e.second.keySequence);
            secureWipe(e.second.notesText);
        }
    }
};

// Locked after it was opened. Before the first listing has opened the store
// the positions all stand at the tree's end, which reads as locked too; but
// there is nothing to unlock then (the tree is empty).
bool storeLocked() {
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    return nav.databaseLoaded && nav.isLocked();
}

bool treeEmpty() {
    std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
    return passwordTree().empty();
}

// A copy of an entry to build its sequence from: reading the password marks
// the node, and the tree itself is only read here. Its fields are wiped when
// it goes (they may be stored in plain text).
struct tEntryCopy {
    tTreeNode node;
    explicit tEntryCopy(const tTreeNode& entry) : node(entry) {}
    tEntryCopy(const tEntryCopy&) = delete;
    tEntryCopy& operator=(const tEntryCopy&) = delete;
    ~tEntryCopy() {
        secureWipe(node.userName);
        secureWipe(node.password);
        secureWipe(node.notes);
        secureWipe(node.url);
    }
};

// Every entry of the tree that may be typed into the window, by title; of
// entries titled alike the later one counts. Holds the store's guard, under
// which the host's thread changes the tree, and only reads the tree: the
// host's thread reads it without the guard.
void collectMatches(const std::string& lowerTitle, Matches& matches) {
    std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
    PasswordTree& tree = passwordTree();
    for (TreePos p = tree.begin(); p != tree.end(); ++p) {
        if (!p->isEntry() || !matchesWindow(*p, lowerTitle)) continue;
        tEntryCopy entry(*p);
        AutoTypeInfo info = autoTypeInfo(entry.node);
        AutoTypeInfo& slot = matches[p->name];
        secureWipe(slot.keySequence);
        secureWipe(slot.notesText);
        slot = std::move(info);
    }
}

void tell(const char* text) { platform::messageBoxes().show(text, "Keyhold", platform::MessageButtons::Ok); }

// Types the sequence into the window the hot key was pressed in, and into no
// other: when that window cannot be brought back to the front nothing is
// typed, and when it leaves the front while the keys go out (or the time of
// a sequence runs out) the rest is dropped with every modifier released.
// The user is told; the log names no value.
void typeInto(void* window, const std::string& lowerTitle, const std::string& sequence) {
    if (window == nullptr) {
        KH_LOG(eWarning, "No window was in front when the hot key was pressed: nothing is typed");
        tell("Auto-type typed nothing: no window was in front when the hot key was pressed.");
        return;
    }
    platform::AutoTypeDesktop& desktop = platform::autoTypeDesktop();
    if (desktop.foregroundWindow() != window) {
        KH_LOG(eRubbish, "Activating window %s", lowerTitle.c_str());
        if (!desktop.bringToFront(window)) {
            KH_LOG(eWarning, "The window could not be brought back to the front: nothing is typed");
            tell("Auto-type typed nothing: the window in which the hot key was pressed could not be brought back "
                 "to the front (it may have been closed).");
            return;
        }
    }
    KH_LOG(eRubbish, "Sending string (%d characters)", static_cast<int>(sequence.size()));
    switch (sendKeysEngine().send(sequence, false, window)) {
        case CSendKeys::Result::eDone: break;
        case CSendKeys::Result::eWindowLeft:
            KH_LOG(eWarning, "Auto-type stopped: the window left the front");
            tell("Auto-type stopped: the window it was typing into is no longer in front. The rest of the entry "
                 "was not typed.");
            break;
        case CSendKeys::Result::eTimeUp:
            KH_LOG(eWarning, "Auto-type stopped: the sequence took too long");
            tell("Auto-type stopped after 60 seconds. The rest of the entry was not typed.");
            break;
        case CSendKeys::Result::eNoCharacter:
            KH_LOG(eWarning, "Auto-type stopped: the sequence holds text that cannot be typed");
            tell("Auto-type stopped: the entry holds text that cannot be typed. The rest of it was not typed.");
            break;
        case CSendKeys::Result::eCommandTooLong:
            KH_LOG(eWarning, "Auto-type stopped at an over-long command");
            tell("Auto-type stopped at a command of 300 characters or more. The rest of the entry was not typed.");
            break;
    }
}

}  // namespace

void onHotKey(std::uint32_t) {
    KH_ENTER("onHotKey");
    // The countdown stops here, stays stopped while the dialogs below are
    // open, and runs again from the full time-out on every way out (when
    // the store is unlocked by then).
    CStoreActivity activity;

    if (!keyholdHotKey().waitForKeysReleased()) {
        KH_LOG(eWarning, "The hot key's keys are still held: nothing is typed");
        return;
    }
    platform::AutoTypeDesktop& desktop = platform::autoTypeDesktop();
    void* window = desktop.foregroundWindow();
    std::string title = desktop.windowTitle(window, kMaxWindowTitle + 1);
    if (title.size() > kMaxWindowTitle) title.resize(kMaxWindowTitle);

    if (storeLocked()) {
        KH_LOG(eInformation, "In Unlock Branch");
        if (!unlock()) {
            RefreshHostPanel();
            return;
        }
    }

    for (char& c : title) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    KH_LOG(eRubbish, "Active window title is %s", title.c_str());
    theApp().setLastWindowTitle(title);

    if (treeEmpty()) {
        KH_LOG(eTroubleShoot, "Tree is empty!");
        return;
    }

    tWipedMatches matches;
    collectMatches(title, matches.entries);
    const std::string* sequence = nullptr;
    if (matches.entries.size() == 1) {
        sequence = &matches.entries.begin()->second.keySequence;
    } else if (matches.entries.size() > 1) {
        KH_LOG(eInformation, "More than 1 match found");
        CEntriesMatched chooser(matches.entries, nullptr);
        if (chooser.DoModal() == kDialogOk) {
            auto chosen = matches.entries.find(chooser.m_selectedTitle);
            if (chosen != matches.entries.end()) sequence = &chosen->second.keySequence;
        }
    }
    if (sequence == nullptr) return;
    // The chooser may have stood open for a long while, and the user may
    // have locked the store in the host meanwhile.
    if (storeLocked()) {
        KH_LOG(eInformation, "The store was locked meanwhile: nothing is typed");
        return;
    }
    typeInto(window, title, *sequence);
    KH_LEAVE("onHotKey");
}
