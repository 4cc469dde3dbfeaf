// The auto-type dispatch behind the global hot key: the hot key pressed in a
// window of another program types the entry that matches the window, asks
// which one when several do, asks for the master password first when the
// store is locked, and restarts the autolock countdown. What is typed is read
// back from the keys and characters the in-memory desktop of auto-type
// received.
#include <atomic>
#include <chrono>
#include <thread>

#include "AutoTypeDispatch.h"
#include "Execute.h"
#include "LockTimer.h"
#include "RenameMoveCopy.h"
#include "StoreChanges.h"
#include "StoreFixture.h"
#include "hkhandler/KeyholdHK.h"
#include "res/resource.h"

namespace {

using namespace std::chrono_literals;
using platform::MemoryAutoTypeDesktop;

void* const kBrowser = reinterpret_cast<void*>(0x900);
void* const kHostWindow = reinterpret_cast<void*>(0x77);

// An entry of the store file, its fields in plain text.
std::string entryXml(const std::string& title, int id, const std::string& user, const std::string& password,
                     const std::string& notes) {
    return "<file name=\"" + title + "\" id=\"" + std::to_string(id) + "\"><username>" + user +
           "</username><password>" + password + "</password><notes>" + notes + "</notes></file>";
}

class AutoTypeDispatchTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        desktop.active = kHostWindow;  // the host window, taken by FsInit
        autoType.foreground = kBrowser;
        autoType.titles[kBrowser] = "Bank Login - Web Browser";
    }
    void TearDown() override {
        StoreFixture::TearDown();
        CKeyholdHK::setKeyReleaseWaitForTesting(CKeyholdHK::kKeyReleaseWait);
        theApp().setLastWindowTitle("");
    }
    // Starts the plug-in over a store with these entries in the folder Web and opens it.
    void open(const std::string& entries) {
        files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" +
                               hashOf("pw") + "\"><folder name=\"Web\" id=\"2\">" + entries + "</folder></pswd>";
        start();
        willType("pw");
        list("\\");
        ASSERT_TRUE(navigation().databaseLoaded);
        dialogs.opened.clear();
        theApp().m_lockTimer->stopTimer();
    }
    bool press() { return autoType.press(); }
    bool locked() {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        return navigation().isLocked();
    }
    bool countdownRuns() { return theApp().m_lockTimer->isStarted(); }
    // What was typed: characters as themselves, Tab and Enter as \t and \n,
    // a key typed with a modifier held as <^x>, <%x>...
    std::string typed() const { return autoType.typedText(); }
    // The one message the user was shown ("" when none, "<n messages>" when several).
    std::string toldUser() const {
        if (messageBoxes.shown.size() > 1) return "<" + std::to_string(messageBoxes.shown.size()) + " messages>";
        return messageBoxes.shown.empty() ? "" : messageBoxes.shown[0].text;
    }
    bool logHolds(const std::string& needle) {
        std::lock_guard<std::mutex> guard(log.mutex);
        for (const auto& l : log.lines)
            if (l.message.find(needle) != std::string::npos) return true;
        return false;
    }
    // Answers the chooser: picks the item, then OK; or Cancel when `item` is empty.
    void willChoose(const std::string& item, std::vector<std::string>* shown = nullptr) {
        dialogs.users.push_back([item, shown](platform::MemoryDialogControls& c) {
            if (shown) *shown = c.control(IDC_MATCHED_LIST).items;
            if (item.empty()) {
                c.click(kDialogCancel);
                return;
            }
            c.select(IDC_MATCHED_LIST, item);
            c.click(kDialogOk);
        });
    }
};

const std::string kBank = entryXml("Bank", 3, "alice", "S3cret!", "Auto-Type-Window:*Web Browser");
const std::string kShop = entryXml("Shop", 4, "bob", "shop-pw", "Auto-Type-Window:*Shop Window");

TEST_F(AutoTypeDispatchTest, TheOneMatchingEntryIsTypedIntoTheWindow) {
    open(kBank + kShop);
    ASSERT_TRUE(press());
    EXPECT_EQ(typed(), "alice\tS3cret!\n");
    EXPECT_TRUE(dialogs.opened.empty());
    EXPECT_TRUE(autoType.down.empty());  // nothing left held
    EXPECT_EQ(theApp().lastWindowTitle(), "bank login - web browser");
    EXPECT_TRUE(countdownRuns());
    // The window is still in front: nothing to bring there.
    EXPECT_TRUE(autoType.broughtToFront().empty());
    EXPECT_TRUE(logHolds("Sending string ("));
    EXPECT_FALSE(logHolds("S3cret"));
    EXPECT_FALSE(logHolds("alice"));
}

TEST_F(AutoTypeDispatchTest, AnEntryWithoutPatternsMatchesByItsTitleAndTypesItsOwnSequence) {
    open(entryXml("Bank Login", 3, "carol", "x", "Auto-Type:{USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}"));
    ASSERT_TRUE(press());
    EXPECT_EQ(typed(), "carol\t\tx\n");
}

TEST_F(AutoTypeDispatchTest, SeveralMatchesAskTheChooserAndOnlyTheChosenEntryIsTyped) {
    open(kBank + entryXml("Brokerage", 5, "dave", "b-pw", "Auto-Type-Window:bank login*") + kShop);
    std::vector<std::string> shown;
    willChoose("Brokerage", &shown);
    ASSERT_TRUE(press());
    EXPECT_EQ(dialogs.opened, std::vector<int>{IDD_ENTRIES_MATCHED});
    EXPECT_EQ(shown, (std::vector<std::string>{"Bank", "Brokerage"}));
    EXPECT_EQ(typed(), "dave\tb-pw\n");
    EXPECT_TRUE(countdownRuns());
}

TEST_F(AutoTypeDispatchTest, CancellingTheChooserTypesNothing) {
    open(kBank + entryXml("Brokerage", 5, "dave", "b-pw", "Auto-Type-Window:bank login*"));
    willChoose("");
    ASSERT_TRUE(press());
    EXPECT_EQ(dialogs.opened, std::vector<int>{IDD_ENTRIES_MATCHED});
    EXPECT_TRUE(autoType.keyEvents().empty());
    EXPECT_TRUE(countdownRuns());
}

TEST_F(AutoTypeDispatchTest, EntriesTitledAlikeAreOneMatchAndTheLaterOneIsTyped) {
    files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
                           "\"><folder name=\"Web\" id=\"2\">" + kBank + "</folder><folder name=\"Old\" id=\"6\">" +
                           entryXml("Bank", 7, "old", "old-pw", "Auto-Type-Window:*web browser") + "</folder></pswd>";
    start();
    willType("pw");
    list("\\");
    dialogs.opened.clear();
    ASSERT_TRUE(press());
    EXPECT_TRUE(dialogs.opened.empty());
    EXPECT_EQ(typed(), "old\told-pw\n");
}

TEST_F(AutoTypeDispatchTest, ALockedStoreAsksForThePasswordFirstAndCancelTypesNothing) {
    open(kBank);
    lock();
    willCancel();
    ASSERT_TRUE(press());
    EXPECT_EQ(dialogs.opened, std::vector<int>{IDD_PASSWORD});
    EXPECT_TRUE(autoType.keyEvents().empty());
    EXPECT_TRUE(locked());
    EXPECT_FALSE(countdownRuns());
    EXPECT_TRUE(logHolds("In Unlock Branch"));

    // The right password: unlocked, and typed into the browser, which the
    // dialog had pushed back.
    dialogs.opened.clear();
    dialogs.users.push_back([this](platform::MemoryDialogControls& c) {
        autoType.foreground = kHostWindow;
        c.type(3024, "pw");
        c.click(kDialogOk);
    });
    ASSERT_TRUE(press());
    EXPECT_EQ(dialogs.opened, std::vector<int>{IDD_PASSWORD});
    EXPECT_FALSE(locked());
    EXPECT_EQ(autoType.broughtToFront(), std::vector<void*>{kBrowser});
    EXPECT_EQ(autoType.foreground, kBrowser);
    EXPECT_EQ(typed(), "alice\tS3cret!\n");
    EXPECT_TRUE(countdownRuns());
}

TEST_F(AutoTypeDispatchTest, AWindowNoEntryMatchesTypesNothingButRestartsTheCountdown) {
    open(kBank + kShop);
    autoType.titles[kBrowser] = "Text Editor";
    ASSERT_TRUE(press());
    EXPECT_TRUE(autoType.events.empty());
    EXPECT_TRUE(dialogs.opened.empty());
    EXPECT_TRUE(countdownRuns());
    EXPECT_EQ(theApp().lastWindowTitle(), "text editor");
}

TEST_F(AutoTypeDispatchTest, ALongTitleIsCutBeforeItIsMatched) {
    // Only the beginning survives the cut: "*Web Browser" would match the
    // whole title, "Login*" matches what is left of it.
    open(entryXml("Tail", 3, "t", "t", "Auto-Type-Window:*Web Browser") +
         entryXml("Head", 4, "h", "h", "Auto-Type-Window:Login*"));
    autoType.titles[kBrowser] = "Login " + std::string(10000, 'a') + " Web Browser";
    ASSERT_TRUE(press());
    EXPECT_TRUE(dialogs.opened.empty());
    EXPECT_EQ(typed(), "h\th\n");
    EXPECT_EQ(theApp().lastWindowTitle(), "login " + std::string(kMaxWindowTitle - 6, 'a'));
}

// The hot key's window cannot be brought back to the front after the chooser
// (it was closed, or the system refused): nothing is typed into the window
// that is in front instead, and the user is told.
TEST_F(AutoTypeDispatchTest, AWindowThatCannotComeBackToTheFrontGetsNothing) {
    open(kBank + entryXml("Brokerage", 5, "dave", "b-pw", "Auto-Type-Window:bank login*"));
    dialogs.users.push_back([this](platform::MemoryDialogControls& c) {
        autoType.foreground = kHostWindow;
        c.select(IDC_MATCHED_LIST, "Brokerage");
        c.click(kDialogOk);
    });
    autoType.frontFails = true;
    ASSERT_TRUE(press());
    EXPECT_EQ(autoType.broughtToFront(), std::vector<void*>{kBrowser});
    EXPECT_TRUE(autoType.keyEvents().empty()) << typed();
    EXPECT_NE(toldUser().find("Auto-type typed nothing"), std::string::npos) << toldUser();
    EXPECT_TRUE(logHolds("could not be brought back to the front: nothing is typed"));
    EXPECT_FALSE(logHolds("dave"));
    EXPECT_FALSE(logHolds("b-pw"));
    EXPECT_TRUE(countdownRuns());

    // The same after unlocking: the password dialog was in front.
    messageBoxes.shown.clear();
    lock();
    dialogs.users.push_back([this](platform::MemoryDialogControls& c) {
        autoType.foreground = kHostWindow;
        c.type(3024, "pw");
        c.click(kDialogOk);
    });
    autoType.foreground = kBrowser;
    willChoose("Bank");
    ASSERT_TRUE(press());
    EXPECT_FALSE(locked());
    EXPECT_TRUE(autoType.keyEvents().empty()) << typed();
    EXPECT_NE(toldUser().find("Auto-type typed nothing"), std::string::npos) << toldUser();
}

// The user brings another window to the front while the entry is typed: the
// rest of it goes nowhere, every key is let go, and the user is told.
TEST_F(AutoTypeDispatchTest, AnotherWindowComingToTheFrontStopsTheTyping) {
    open(kBank);
    autoType.onEvent = [this](const MemoryAutoTypeDesktop::Event& e) {
        if (e.kind == MemoryAutoTypeDesktop::Kind::Key && e.key == 0x09 && !e.down) autoType.foreground = kHostWindow;
    };
    ASSERT_TRUE(press());
    EXPECT_EQ(typed(), "alice\t");
    EXPECT_TRUE(autoType.down.empty());
    EXPECT_NE(toldUser().find("no longer in front"), std::string::npos) << toldUser();
    EXPECT_TRUE(logHolds("Auto-type stopped: the window left the front"));
    EXPECT_FALSE(logHolds("S3cret"));
    EXPECT_TRUE(countdownRuns());
}

// An entry's own {APPACTIVATE} moves the typing to the window it brings forward.
TEST_F(AutoTypeDispatchTest, TheWindowTheSequenceActivatesIsTypedInto) {
    open(entryXml("Bank Login", 3, "carol", "x(y)", "Auto-Type:{USERNAME}{APPACTIVATE Sign-in}{TAB}{PASSWORD}~"));
    autoType.windows = {{"Dialog", "Sign-in"}};
    ASSERT_TRUE(press());
    EXPECT_EQ(typed(), "carol\tx(y)\n");
    EXPECT_EQ(autoType.foreground, MemoryAutoTypeDesktop::handleOf(0));
    EXPECT_EQ(toldUser(), "");
}

// A value is typed one whole character at a time, however many bytes it
// takes (UTF-8 here), with the characters that mean something in a key
// sequence typed as themselves; a character the desktop cannot type stops
// the typing, and the user is told.
TEST_F(AutoTypeDispatchTest, EveryCharacterOfAValueIsTypedWhole) {
    const std::string password = "p\xC3\xA4{\xE2\x82\xAC}(\xF0\x9F\x98\x80)~^+%@";
    open(entryXml("Bank", 3, "\xC3\xA9mile", password, "Auto-Type-Window:*Web Browser"));
    ASSERT_TRUE(press());
    EXPECT_EQ(typed(), "\xC3\xA9mile\t" + password + "\n");
    std::vector<std::string> characters;
    for (const MemoryAutoTypeDesktop::Event& e : autoType.events)
        if (e.kind == MemoryAutoTypeDesktop::Kind::Character) characters.push_back(e.character);
    const std::vector<std::string> expected{"\xC3\xA9", "m", "i", "l", "e", "p", "\xC3\xA4", "{", "\xE2\x82\xAC", "}", "(",
                                            "\xF0\x9F\x98\x80", ")", "~", "^", "+", "%", "@"};
    EXPECT_EQ(characters, expected);
    EXPECT_TRUE(autoType.down.empty());
    EXPECT_EQ(toldUser(), "");

    autoType.events.clear();
    autoType.untypable.insert("\xE2\x82\xAC");
    ASSERT_TRUE(press());
    EXPECT_EQ(typed(), "\xC3\xA9mile\tp\xC3\xA4{");
    EXPECT_TRUE(autoType.down.empty());
    EXPECT_NE(toldUser().find("cannot be typed"), std::string::npos) << toldUser();
}

// The setting's combination is what the desktop registers, and the unload
// takes it back; a desktop without a hot key registers nothing, and the log
// says so once.
TEST_F(AutoTypeDispatchTest, TheSettingIsRegisteredWithTheDesktopUntilTheUnload) {
    start("[MAIN]\nHotKey=alt-shift-k\n");
    EXPECT_EQ(autoType.registered(), std::make_pair(platform::kHotKeyAlt | platform::kHotKeyShift, 0x4Bu));
    EXPECT_TRUE(keyholdHotKey().isStarted());
    theApp().stopThreads();
    EXPECT_EQ(autoType.registered(), std::make_pair(0u, 0u));
    EXPECT_FALSE(autoType.press());

    autoType.available = false;
    start();
    EXPECT_EQ(autoType.registered(), std::make_pair(0u, 0u));
    EXPECT_EQ(log.count("Global hot key not available on this desktop"), 1);
    EXPECT_TRUE(log.has(eImportant, "Error initializing HotKey: 5"));
}

// Before the first listing has opened the store there is nothing to type,
// and no master password to ask for.
TEST_F(AutoTypeDispatchTest, BeforeTheStoreIsOpenNothingIsTyped) {
    start();
    ASSERT_TRUE(press());
    EXPECT_FALSE(logHolds("In Unlock Branch"));
    EXPECT_TRUE(logHolds("Tree is empty!"));
    EXPECT_TRUE(autoType.events.empty());
    EXPECT_TRUE(dialogs.opened.empty());
    EXPECT_EQ(theApp().lastWindowTitle(), "bank login - web browser");
}

TEST_F(AutoTypeDispatchTest, KeysHeldDownAreWaitedForAndAStuckKeyTypesNothing) {
    open(kBank);
    autoType.holdKey(0x11, 20);  // Ctrl, for twenty looks: typed once it is up
    ASSERT_TRUE(press());
    EXPECT_EQ(typed(), "alice\tS3cret!\n");
    EXPECT_GT(autoType.keyPolls(), 20);

    autoType.events.clear();
    CKeyholdHK::setKeyReleaseWaitForTesting(30ms);
    autoType.holdKey(0x12, -1);  // Alt stuck
    theApp().m_lockTimer->stopTimer();
    ASSERT_TRUE(press());
    EXPECT_TRUE(autoType.events.empty());
    EXPECT_TRUE(countdownRuns());
}

// The chooser stays open while the user locks the store in the host: what
// they then pick is not typed.
TEST_F(AutoTypeDispatchTest, AStoreLockedWhileTheChooserIsOpenTypesNothing) {
    open(kBank + entryXml("Brokerage", 5, "dave", "b-pw", "Auto-Type-Window:bank login*"));
    dialogs.users.push_back([this](platform::MemoryDialogControls& c) {
        std::thread([] { lock(); }).join();  // "Lock Keyhold" in the host
        c.select(IDC_MATCHED_LIST, "Bank");
        c.click(kDialogOk);
    });
    ASSERT_TRUE(press());
    EXPECT_EQ(dialogs.opened, std::vector<int>{IDD_ENTRIES_MATCHED});
    EXPECT_TRUE(autoType.keyEvents().empty());
    EXPECT_TRUE(locked());
    EXPECT_TRUE(logHolds("locked meanwhile"));
}

// The hot key is pressed while the host changes the master password: after
// the new one was confirmed and before the fields are encrypted under it,
// while the store is saved, and afterwards. Each press types the entry as
// stored, never a text decrypted under the other password; afterwards the
// store opens under the password it then has (the old one when the save
// failed and the change was rolled back).
class PasswordChangeDispatchTest : public AutoTypeDispatchTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PasswordChangeDispatchTest, AHotKeyDuringTheChangeTypesTheStoredText) {
    const bool saveFails = GetParam();
    const std::string once = "alice\tS3cret!\n";
    open(
        "<file name=\"Bank\" id=\"3\" encrypt=\"true\"><username>alice</username><password>S3cret!</password>"
        "<notes>Auto-Type-Window:*Web Browser</notes></file>");
    int pressed = 0;
    dialogs.users.push_back([&](platform::MemoryDialogControls& c) {
        c.type(3024, "n3w");
        c.type(3025, "n3w");
        c.click(kDialogOk);
        pressed += press() ? 1 : 0;  // confirmed, not yet encrypted under it
    });
    files.failWrites = saveFails;
    files.beforeReplace = [&](const std::string&) { pressed += press() ? 1 : 0; };
    EXPECT_EQ(ExecuteFile("\\", "properties"), saveFails ? wfx::FS_EXEC_ERROR : wfx::FS_EXEC_OK);
    files.beforeReplace = nullptr;
    files.failWrites = false;
    pressed += press() ? 1 : 0;
    EXPECT_EQ(pressed, 3);
    EXPECT_EQ(typed(), once + once + once);

    xmlData().resetInitialized();
    willType(saveFails ? "pw" : "n3w");
    list("\\");
    EXPECT_TRUE(navigation().databaseLoaded);
    autoType.events.clear();
    ASSERT_TRUE(press());
    EXPECT_EQ(typed(), once);
}

INSTANTIATE_TEST_SUITE_P(SaveWorksOrFails, PasswordChangeDispatchTest, ::testing::Bool());

// The host's thread changes the tree (folders made and removed, the matching
// entry moved to and fro, another copied and deleted) while the hot key is
// pressed again and again: every dispatch sees one whole tree, and the
// matching entry, wherever it is, is typed each time.
TEST_F(AutoTypeDispatchTest, TheHostChangingTheTreeDuringDispatchesIsSafe) {
    open(kBank + entryXml("Other", 4, "o", "o", "Auto-Type-Window:nothing like it"));
    ASSERT_EQ(MakeFolder("\\Elsewhere"), 1);
    constexpr int kPresses = 150;
    std::atomic<bool> done{false};
    std::thread user([&] {
        for (int i = 0; i < kPresses; ++i) {
            if (!press()) break;
        }
        done = true;
    });
    int rounds = 0;
    while (!done) {
        MakeFolder("\\Web\\Tmp");
        RenameMoveCopy("\\Web\\Bank", "\\Elsewhere\\Bank", true, false);
        RenameMoveCopy("\\Web\\Other", "\\Web\\Tmp\\Other copy", false, false);
        RenameMoveCopy("\\Elsewhere\\Bank", "\\Web\\Bank", true, false);
        DeleteEntry("\\Web\\Tmp\\Other copy");
        RemoveFolder("\\Web\\Tmp");
        ++rounds;
    }
    user.join();
    EXPECT_EQ(autoType.handled(), kPresses);
    EXPECT_GT(rounds, 0);
    std::string once = "alice\tS3cret!\n", all;
    for (int i = 0; i < kPresses; ++i) all += once;
    EXPECT_EQ(typed(), all);
    EXPECT_TRUE(dialogs.opened.empty());
}

}  // namespace
