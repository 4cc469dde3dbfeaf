// The key sender against the recording keyboard: what each piece of the key
// sequence language sends, the bounds on counts, pauses and command lengths,
// and that no sequence leaves a key pressed.
#include "SendKeys/SendKeys.h"

#include <cstdio>
#include <memory>
#include <set>
#include <tuple>

#include "AutoType.h"
#include "StoreFixture.h"
#include "platform/KeyInput.h"

namespace {

using Kind = platform::MemoryKeyInput::Kind;
using Call = platform::MemoryKeyInput::Call;

std::string keyName(std::uint8_t vk) {
    switch (vk) {
        case 0x08: return "Back";
        case 0x09: return "Tab";
        case 0x0D: return "Enter";
        case 0x10: return "Shift";
        case 0x11: return "Ctrl";
        case 0x12: return "Alt";
        case 0x2E: return "Del";
        case 0x5B: return "LWin";
        case 0x5C: return "RWin";
        case 0x70: return "F1";
        case 0x90: return "NumLock";
        case 0xBB: return "OemPlus";
        default: break;
    }
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return std::string(1, static_cast<char>(vk));
    char hex[8];
    std::snprintf(hex, sizeof hex, "vk%02X", vk);
    return hex;
}

// A Unicode event's character: "uE9" for U+00E9.
std::string unicodeName(std::uint16_t unit) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "u%02X", unit);
    return hex;
}

// "+A" a key going down, "-A" going up, "+uE9" "-uE9" a Unicode character, "sleep50", "beep440/200", "pump",
// "activate2"; the window searches are left out. Items are separated by blanks.
std::string render(const std::vector<Call>& calls) {
    std::string out;
    for (const Call& c : calls) {
        std::string item;
        switch (c.kind) {
            case Kind::KeyEvent:
                item = ((c.flags & platform::kKeyUp) ? "-" : "+") +
                       ((c.flags & platform::kKeyUnicode) ? unicodeName(c.scan) : keyName(c.vk));
                break;
            case Kind::Sleep: item = "sleep" + std::to_string(c.first); break;
            case Kind::Beep: item = "beep" + std::to_string(c.first) + "/" + std::to_string(c.second); break;
            case Kind::Pump: item = "pump"; break;
            case Kind::Activate: item = "activate" + std::to_string(reinterpret_cast<std::uintptr_t>(c.window)); break;
            case Kind::FindWindow:
            case Kind::FindContaining: continue;
        }
        if (!out.empty()) out += ' ';
        out += item;
    }
    return out;
}

std::string repeat(const std::string& item, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += (out.empty() ? "" : " ") + item;
    return out;
}

std::string printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out.size() > 60 ? out.substr(0, 60) + "..." : out;
}

}  // namespace

// The sender types through the Win32 desktop of auto-type, here over the
// recording keyboard: the key events are those Windows receives.
class SendKeysTest : public PlatformFixture {
protected:
    CSendKeys keys;

    void SetUp() override {
        PlatformFixture::SetUp();
        useWin32AutoType();
    }

    // Types the sequence; whatever it was, no key may be left down after it.
    bool type(const std::string& sequence, bool wait = false) {
        const bool done = keys.sendKeys(sequence, wait);
        std::string held;
        for (std::uint8_t vk : keyInput.down) held += keyName(vk) + " ";
        EXPECT_TRUE(keyInput.down.empty()) << "left down after \"" << printable(sequence) << "\": " << held;
        return done;
    }
    std::string events() const { return render(keyInput.calls); }
    std::string typed(const std::string& sequence) {
        keyInput.calls.clear();
        keys.sendKeys(sequence, false);
        EXPECT_TRUE(keyInput.down.empty()) << printable(sequence);
        return events();
    }
};

struct SequenceCase {
    std::string sequence;
    std::string events;
};

class SequenceTest : public SendKeysTest, public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(SequenceTest, SendsTheKeys) {
    EXPECT_TRUE(type(GetParam().sequence)) << printable(GetParam().sequence);
    EXPECT_EQ(events(), GetParam().events) << printable(GetParam().sequence);
}

INSTANTIATE_TEST_SUITE_P(
    Language, SequenceTest,
    ::testing::Values(
        // Modifier characters hold their key down for the next key only.
        SequenceCase{"a+b", "+A -A +Shift +B -B -Shift"}, SequenceCase{"+", "+Shift -Shift"},
        SequenceCase{"^a{DEL}", "+Ctrl +A -A -Ctrl +Del -Del"}, SequenceCase{"@r", "+LWin +R -R -LWin"},
        SequenceCase{"%", "+Alt -Alt"},  // a trailing modifier is released at the end
        SequenceCase{"a%", "+A -A +Alt -Alt"},
        SequenceCase{"+^%@x", "+Shift +Ctrl +Alt +LWin +X -X -Shift -Ctrl -Alt -LWin"},
        // Groups keep them down for every key inside.
        SequenceCase{"+(ab)", "+Shift +A -A +B -B -Shift"}, SequenceCase{"(^ab)c", "+Ctrl +A -A +B -B -Ctrl +C -C"},
        // Characters come from the layout, with its shift state around them.
        SequenceCase{"A", "+Shift +A -A -Shift"}, SequenceCase{"}", "+Shift +vkDD -vkDD -Shift"},
        SequenceCase{"1 ", "+1 -1 +vk20 -vk20"},
        // Enter at "~", also under a modifier.
        SequenceCase{"~", "+Enter -Enter"}, SequenceCase{"^~a", "+Ctrl +Enter -Enter -Ctrl +A -A"},
        // Named keys in any case, with counts.
        SequenceCase{"{TAB 3}", "+Tab -Tab +Tab -Tab +Tab -Tab"}, SequenceCase{"{tab}", "+Tab -Tab"},
        SequenceCase{"{TaB 2}", "+Tab -Tab +Tab -Tab"}, SequenceCase{"{F1}", "+F1 -F1"},
        SequenceCase{"{BS}{bksp}{Backspace}", "+Back -Back +Back -Back +Back -Back"},
        SequenceCase{"{NUMPAD0}{numpad9}{ADD}", "+vk60 -vk60 +vk69 -vk69 +vk6B -vk6B"},
        SequenceCase{"{WIN}{LWIN}{RWIN}", "+LWin -LWin +LWin -LWin +RWin -RWin"},
        SequenceCase{"{ENTER 2}", "+Enter -Enter +Enter -Enter"},
        SequenceCase{"+{TAB 2}", "+Shift +Tab -Tab +Tab -Tab -Shift"},
        // Character names go through the layout; a bare "+" only holds Shift.
        SequenceCase{"{PLUS}", "+Shift +OemPlus -OemPlus -Shift"},
        SequenceCase{"{percent}{AT}", "+Shift +5 -5 -Shift +Shift +2 -2 -Shift"},
        // Unknown names send nothing and leave the modifiers for the next key.
        SequenceCase{"{}", ""}, SequenceCase{"{NOSUCHKEY}", ""}, SequenceCase{"%{NOSUCHKEY}a", "+Alt +A -A -Alt"},
        SequenceCase{"{TABS}", ""}, SequenceCase{"{ TAB}", ""},
        // Raw key values: low byte the key, high byte Shift 1, Ctrl 2, Alt 4.
        SequenceCase{"{VKEY 65}", "+A -A"}, SequenceCase{"{vkey   65}", "+A -A"},
        SequenceCase{"{VKEY 321}", "+Shift +A -A -Shift"},
        SequenceCase{"{VKEY 1857}", "+Shift +Ctrl +Alt +A -A -Shift -Ctrl -Alt"},
        SequenceCase{"^{VKEY 66}", "+Ctrl +B -B -Ctrl"},
        // Characters the layout has no key for go out as Unicode characters,
        // under the modifiers held for them.
        SequenceCase{"a\xA7" "b", "+A -A +uA7 -uA7 +B -B"}, SequenceCase{"+\xE9" "b", "+Shift +uE9 -uE9 -Shift +B -B"},
        SequenceCase{"{DELAY 20}\xE9", "sleep20 +uE9 -uE9"}));

// Whatever the sequence, it ends without a crash and with every key up.
INSTANTIATE_TEST_SUITE_P(
    BadInput, SequenceTest,
    ::testing::Values(
        // Counts: none for 0 or less, at most a thousand; a count that is not a number is absent.
        SequenceCase{"{TAB 0}", ""}, SequenceCase{"{TAB -3}", ""}, SequenceCase{"{TAB x}", "+Tab -Tab"},
        SequenceCase{"^{TAB 0}a", "+Ctrl -Ctrl +A -A"},
        // Raw values outside 0..FFFF, FFFF itself, and no value at all.
        SequenceCase{"{VKEY 65535}", ""}, SequenceCase{"{VKEY 65536}", ""}, SequenceCase{"{VKEY -1}", ""},
        SequenceCase{"{VKEY}", ""}, SequenceCase{"{VKEY 99999999999999999999999}", ""},
        SequenceCase{"+{VKEY 70000}", "+Shift -Shift"},
        // Unbalanced braces and parentheses.
        SequenceCase{"{abc", ""}, SequenceCase{"{TAB", "+Tab -Tab"}, SequenceCase{"a{", "+A -A"},
        SequenceCase{"+{", "+Shift -Shift"}, SequenceCase{"}}", "+Shift +vkDD -vkDD -Shift +Shift +vkDD -vkDD -Shift"},
        SequenceCase{"((a", "+A -A"}, SequenceCase{"+(a", "+Shift +A -A -Shift"}, SequenceCase{")a", "+A -A"},
        SequenceCase{"+)a", "+Shift -Shift +A -A"}, SequenceCase{"^(%(a", "+Ctrl +Alt +A -A -Ctrl -Alt"},
        SequenceCase{"{BEEP}{APPACTIVATE}{DELAY}", ""}, SequenceCase{"{BEEP 440}", ""},
        SequenceCase{"{BEEP -1 100}", ""}, SequenceCase{"{BEEP 440 -5}", ""}));

// A byte that is no character cannot be typed, and skipping it would type
// another text: the sequence stops there.
TEST_F(SendKeysTest, BytesThatAreNoCharacterStopTheSequence) {
    EXPECT_EQ(keys.send(std::string("+(a\0b)", 7), false), CSendKeys::Result::eNoCharacter);
    EXPECT_EQ(events(), "+Shift +A -A -Shift");
    EXPECT_TRUE(keyInput.down.empty());
    EXPECT_TRUE(log.has(eWarning, "CSendKeys: the sequence holds bytes that are no character; the rest of it is dropped"));
}

TEST_F(SendKeysTest, RepeatCountsStopAtAThousand) {
    for (const char* sequence : {"{TAB 1000}", "{TAB 5000}", "{TAB 99999999999999999999}"}) {
        SCOPED_TRACE(sequence);
        keyInput.calls.clear();
        EXPECT_TRUE(type(sequence));
        EXPECT_EQ(events(), repeat("+Tab -Tab", CSendKeys::kMaxRepeat));
    }
    // Calling the key directly is bounded too.
    keyInput.calls.clear();
    keys.sendKey(0x09, 1 << 30, true, false);
    EXPECT_EQ(events(), repeat("+Tab -Tab", CSendKeys::kMaxRepeat));
}

// Braces around 299 characters are a command like any other; from 300 on the
// sequence stops there, with the keys before it typed and nothing held.
struct LongCommandCase {
    std::string before;
    std::size_t length;
    bool closed;
    bool done;
    std::string events;
};

class LongCommandTest : public SendKeysTest, public ::testing::WithParamInterface<LongCommandCase> {};

TEST_P(LongCommandTest, StopsFromThreeHundredCharacters) {
    const LongCommandCase& c = GetParam();
    // An open brace takes the rest of the sequence: nothing follows it then.
    const std::string sequence = c.before + "{" + std::string(c.length, 'x') + (c.closed ? "}b" : "");
    EXPECT_EQ(type(sequence), c.done);
    EXPECT_EQ(events(), c.events);
    // The next sequence starts afresh: no group, no modifier.
    keyInput.calls.clear();
    EXPECT_TRUE(type("c"));
    EXPECT_EQ(events(), "+C -C");
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, LongCommandTest,
    ::testing::Values(LongCommandCase{"a", 299, true, true, "+A -A +B -B"},
                      LongCommandCase{"a", 300, true, false, "+A -A"},
                      LongCommandCase{"a", 10000, true, false, "+A -A"},
                      LongCommandCase{"%", 300, true, false, "+Alt -Alt"},
                      LongCommandCase{"+(a", 300, true, false, "+Shift +A -A -Shift"},
                      LongCommandCase{"^@", 10000, false, false, "+Ctrl +LWin -Ctrl -LWin"},
                      LongCommandCase{"^", 299, false, true, "+Ctrl -Ctrl"}));  // the command runs to the end

TEST_F(SendKeysTest, ExtendedKeysCarryTheFlagOnBothEvents) {
    struct Key {
        const char* sequence;
        std::uint8_t vk;
        bool extended;
    };
    const Key table[] = {{"{UP}", 0x26, true},    {"{DOWN}", 0x28, true},   {"{LEFT}", 0x25, true},
                         {"{RIGHT}", 0x27, true}, {"{HOME}", 0x24, true},   {"{END}", 0x23, true},
                         {"{PGUP}", 0x21, true},  {"{PGDN}", 0x22, true},   {"{INS}", 0x2D, true},
                         {"{DEL}", 0x2E, true},   {"{DELETE}", 0x2E, true}, {"{VKEY 38}", 0x26, true},
                         {"{TAB}", 0x09, false},  {"~", 0x0D, false},       {"{ENTER}", 0x0D, false},
                         {"a", 'A', false},       {"{F1}", 0x70, false},    {"{PRTSC}", 0x2A, false},
                         {"{HELP}", 0x2F, false}, {"{SNAPSHOT}", 0x2C, false}};
    for (const Key& k : table) {
        SCOPED_TRACE(k.sequence);
        keyInput.calls.clear();
        EXPECT_TRUE(type(k.sequence));
        const auto events = keyInput.keyEvents();
        ASSERT_EQ(events.size(), 2u);
        const unsigned extended = k.extended ? platform::kKeyExtended : 0;
        EXPECT_EQ(events[0].vk, k.vk);
        EXPECT_EQ(events[0].flags, extended);
        EXPECT_EQ(events[1].vk, k.vk);
        EXPECT_EQ(events[1].flags, extended | platform::kKeyUp);  // the release is the same key's
        // Scan codes come from the layout.
        EXPECT_EQ(events[0].scan, 0x200 + k.vk);
        EXPECT_EQ(events[1].scan, 0x200 + k.vk);
    }
    keyInput.calls.clear();
    keys.keyUp(0x25);
    keys.keyUp(0x10);
    const auto ups = keyInput.keyEvents();
    ASSERT_EQ(ups.size(), 2u);
    EXPECT_EQ(ups[0].flags, platform::kKeyExtended | platform::kKeyUp);
    EXPECT_EQ(ups[1].flags, platform::kKeyUp);
    EXPECT_EQ(ups[1].scan, 0x210);
}

TEST_F(SendKeysTest, ModifiersAndTheirReleasesUseTheLayoutsScanCodes) {
    EXPECT_TRUE(type("+^%@x"));
    for (const Call& e : keyInput.keyEvents()) {
        EXPECT_EQ(e.scan, 0x200 + e.vk) << keyName(e.vk);
        EXPECT_EQ(e.flags & platform::kKeyExtended, 0u) << keyName(e.vk);
    }
}

TEST_F(SendKeysTest, StandingDelayAppliesToEveryDelayedKeyAlsoInLaterCalls) {
    EXPECT_EQ(typed("{DELAY=50}ab"), "sleep50 +A -A sleep50 +B -B");
    EXPECT_EQ(typed("c"), "sleep50 +C -C");
    // Modifiers, shift states and "~" do not wait.
    EXPECT_EQ(typed("+aB~"), "+Shift sleep50 +A -A -Shift +Shift sleep50 +B -B -Shift +Enter -Enter");
    EXPECT_EQ(typed("{TAB 2}"), "sleep50 +Tab -Tab sleep50 +Tab -Tab");
    EXPECT_EQ(typed("{delay=0}d"), "+D -D");
    // A fresh sender has none.
    CSendKeys other;
    keyInput.calls.clear();
    other.sendKeys("e", false);
    EXPECT_EQ(events(), "+E -E");
}

TEST_F(SendKeysTest, NextDelayAppliesToTheNextDelayedKeyOnly) {
    EXPECT_EQ(typed("{DELAY 200}ab"), "sleep200 +A -A +B -B");
    // "~" goes at once; the pause waits for the next delayed key.
    EXPECT_EQ(typed("{DELAY 200}~a"), "+Enter -Enter sleep200 +A -A");
    // Not used by the end of a sequence, it waits for the next one.
    EXPECT_EQ(typed("{DELAY 200}"), "");
    EXPECT_EQ(typed("ab"), "sleep200 +A -A +B -B");
    // Over a standing delay it wins once.
    EXPECT_EQ(typed("{DELAY=50}{DELAY 200}ab"), "sleep200 +A -A sleep50 +B -B");
}

TEST_F(SendKeysTest, DelaysAreBounded) {
    const struct {
        const char* sequence;
        const char* events;
    } table[] = {
        {"{DELAY 99999999}a", "sleep10000 +A -A"},
        {"{DELAY 4294967296}a", "sleep10000 +A -A"},  // would wrap to 0 as 32 bits
        {"{DELAY 99999999999999999999999}a", "sleep10000 +A -A"},
        {"{DELAY=10000}a{DELAY=0}", "sleep10000 +A -A"},
        {"{DELAY -5}a", "+A -A"},
        {"{DELAY=-1}a", "+A -A"},
        {"{DELAY=}a", "+A -A"},
        {"{DELAY=x}a", "+A -A"},
        {"{DELAY 25x}a", "sleep25 +A -A"},
    };
    for (const auto& row : table) EXPECT_EQ(typed(row.sequence), row.events) << row.sequence;
    // A long standing delay is cut too.
    EXPECT_EQ(typed("{DELAY=99999999}ab{DELAY=0}"), "sleep10000 +A -A sleep10000 +B -B");
}

TEST_F(SendKeysTest, BeepSoundsWithItsFrequencyAndDuration) {
    EXPECT_EQ(typed("{BEEP 440 200}"), "beep440/200");
    EXPECT_EQ(typed("{beep 1000 50}a"), "beep1000/50 +A -A");
    EXPECT_EQ(typed("{BEEP 440 99999999}"), "beep440/10000");  // no beep of hours
    EXPECT_EQ(typed("{BEEP 99999999 100}"), "");
    // A beep is no key: a held modifier stays for the next one.
    EXPECT_EQ(typed("^{BEEP 440 10}a"), "+Ctrl beep440/10 +A -A -Ctrl");
}

TEST_F(SendKeysTest, WaitModeProcessesMessagesAfterEveryKeyEvent) {
    EXPECT_TRUE(type("+a", true));
    EXPECT_EQ(events(), "+Shift pump +A pump -A pump -Shift pump");
    keyInput.calls.clear();
    EXPECT_TRUE(type("a", false));
    EXPECT_EQ(events(), "+A -A");
    // NumLock goes straight out.
    keyInput.calls.clear();
    EXPECT_TRUE(type("{NUMLOCK}", true));
    EXPECT_EQ(events(), "+NumLock -NumLock");
}

TEST_F(SendKeysTest, NumLockOnTheNtFamilyIsAnExtendedKeyWithItsOwnScanCode) {
    EXPECT_TRUE(type("{NUMLOCK 2}"));
    const auto events = keyInput.keyEvents();
    ASSERT_EQ(events.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(events[i].vk, 0x90);
        EXPECT_EQ(events[i].scan, 0x45);
        EXPECT_EQ(events[i].flags, platform::kKeyExtended | (i % 2 ? platform::kKeyUp : 0));
    }
    EXPECT_EQ(log.count("CSendKeys: dwVersion < 0x80000000"), 2);
    EXPECT_TRUE(log.has(eTroubleShoot, "CSendKeys: dwVersion < 0x80000000"));
    // Delayed like any key.
    EXPECT_EQ(typed("{DELAY 30}{NUMLOCK}"), "sleep30 +NumLock -NumLock");
}

TEST_F(SendKeysTest, NumLockOnOlderSystemsIsAPlainPress) {
    keyInput.version = 0x80000A04;
    EXPECT_TRUE(type("{NUMLOCK}"));
    const auto events = keyInput.keyEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].flags, 0u);
    EXPECT_EQ(events[1].flags, platform::kKeyUp);
    EXPECT_TRUE(log.has(eTroubleShoot, "CSendKeys, Win98 and later"));
    EXPECT_EQ(log.count("CSendKeys: dwVersion < 0x80000000"), 0);
}

class AppActivateTest : public SendKeysTest {
protected:
    void SetUp() override {
        SendKeysTest::SetUp();
        keyInput.windows = {{"Notepad", "Untitled - Notepad"},
                            {"Chrome_WidgetWin_1", "Login - Browser"},
                            {"Edit", ""}};
    }
    std::vector<Call> finds() const {
        std::vector<Call> out;
        for (const Call& c : keyInput.calls)
            if (c.kind == Kind::FindWindow || c.kind == Kind::FindContaining) out.push_back(c);
        return out;
    }
};

TEST_F(AppActivateTest, FindsByExactTitleThenBySubstring) {
    EXPECT_EQ(typed("{APPACTIVATE Login - Browser}a"), "activate2 +A -A");
    auto f = finds();
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].kind, Kind::FindWindow);
    EXPECT_FALSE(f[0].hasClass);
    EXPECT_EQ(f[0].title, "Login - Browser");

    EXPECT_EQ(typed("{appactivate Notepad}"), "activate1");
    f = finds();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[1].kind, Kind::FindContaining);
    EXPECT_EQ(f[1].title, "Notepad");
    // The substring test heeds case.
    EXPECT_EQ(typed("{APPACTIVATE notepad}"), "");
}

TEST_F(AppActivateTest, AWindowThatIsNotThereSendsNothing) {
    EXPECT_EQ(typed("{APPACTIVATE No such window}"), "");
    EXPECT_EQ(typed("%{APPACTIVATE No such window}"), "+Alt -Alt");
    EXPECT_FALSE(keys.appActivate("No such window", nullptr));
    EXPECT_EQ(keyInput.active, nullptr);
}

TEST_F(AppActivateTest, AnEmptyTitleActivatesNoUntitledWindow) {
    EXPECT_EQ(typed("{APPACTIVATE}{APPACTIVATE }"), "");
    EXPECT_TRUE(finds().empty());
    EXPECT_FALSE(keys.appActivate("", ""));
    EXPECT_FALSE(keys.appActivate(nullptr, nullptr));
    EXPECT_TRUE(finds().empty());
}

TEST_F(AppActivateTest, FindsByClass) {
    EXPECT_TRUE(keys.appActivate(nullptr, "Notepad"));
    EXPECT_EQ(keyInput.active, platform::MemoryKeyInput::handleOf(0));
    EXPECT_TRUE(keys.appActivate(nullptr, "Chrome"));  // part of the class name
    EXPECT_EQ(keyInput.active, platform::MemoryKeyInput::handleOf(1));
    // Either the class or the title may hold the text.
    EXPECT_TRUE(keys.appActivate("Browser", "Notepad"));
    EXPECT_EQ(keyInput.active, platform::MemoryKeyInput::handleOf(0));
    EXPECT_FALSE(keys.appActivate("Nothing", "Nothing"));
}

// The layouts a value is typed on: the US one; one without "(" and ")" (as
// wine's under a bare X server); one where "^", "~" and "`" are dead keys
// (as many European ones); one with "@", "{", "}" and "\\" behind AltGr (as
// the German one).
enum class Layout { Us, NoParentheses, DeadKeys, AltGr };

void useLayout(platform::MemoryKeyInput& keyInput, Layout layout) {
    if (layout == Layout::NoParentheses) keyInput.removeCharacters("()");
    if (layout == Layout::DeadKeys) keyInput.makeDead("^~`");
    if (layout == Layout::AltGr) {
        const std::uint16_t altGr = platform::kCtrlBit | platform::kAltBit;
        keyInput.setKey('@', altGr | 'Q');
        keyInput.setKey('{', altGr | '7');
        keyInput.setKey('}', altGr | '0');
        keyInput.setKey('\\', altGr | 0xDB);
    }
}

std::string layoutName(Layout layout) {
    switch (layout) {
        case Layout::Us: return "Us";
        case Layout::NoParentheses: return "NoParentheses";
        case Layout::DeadKeys: return "DeadKeys";
        case Layout::AltGr: break;
    }
    return "AltGr";
}

// User names and passwords with every character that means something in a
// key sequence, typed the way the auto-type dispatch types an entry, come out
// as exactly their characters, on every layout.
struct RoundTripCase {
    std::string userName;
    std::string password;
    std::string definition;  // "" for the default sequence
};

class RoundTripTest : public StoreFixture,
                      public ::testing::WithParamInterface<std::tuple<RoundTripCase, Layout>> {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        useWin32AutoType();
    }
};

TEST_P(RoundTripTest, TypesTheValuesExactly) {
    const RoundTripCase& c = std::get<0>(GetParam());
    useLayout(keyInput, std::get<1>(GetParam()));
    start("[AUTOTYPE]\nDelay={DELAY 200}\n");
    tTreeNode e = makeEntry("t");
    e.userName = c.userName;
    e.password = c.password;
    e.autoTypeSequence = c.definition;
    CSendKeys keys;
    EXPECT_TRUE(keys.sendKeys(buildAutoTypeSequence(e), false));
    EXPECT_EQ(keyInput.typedText(), c.userName + "\t" + c.password + "\n");
    EXPECT_TRUE(keyInput.down.empty());
    // The delay setting ran before each value.
    int sleeps = 0;
    for (const Call& call : keyInput.calls) sleeps += call.kind == Kind::Sleep && call.first == 200;
    EXPECT_EQ(sleeps, 2);
}

const std::string kSpecials = "{ } % ( ) @ + ^ ~";

INSTANTIATE_TEST_SUITE_P(
    Values, RoundTripTest,
    ::testing::Combine(
        ::testing::Values(RoundTripCase{"usr" + kSpecials, "pw" + kSpecials, ""},
                          RoundTripCase{"}{)(%@+^~", "~^+@%)(}{", ""},
                          RoundTripCase{"Name@Example.org", "P4ss{w}rd(1)+%^~", ""},
                          RoundTripCase{"x^e", "p^a~n`e(s)", ""},  // a dead key would accent the next letter
                          RoundTripCase{"{TAB}{ENTER}", "{DELAY 5000}+a", ""},  // commands in values are text
                          RoundTripCase{"usr" + kSpecials, "pw" + kSpecials, "{USERNAME}{TAB}{PASSWORD}~"},
                          RoundTripCase{"a@b", "(x)", "%USERNAME%{TAB}%PASSWORD%{ENTER}"}),
        ::testing::Values(Layout::Us, Layout::NoParentheses, Layout::DeadKeys, Layout::AltGr)),
    [](const ::testing::TestParamInfo<std::tuple<RoundTripCase, Layout>>& info) {
        return "Case" + std::to_string(info.index / 4) + layoutName(std::get<1>(info.param));
    });

// The notes of a definition's {NOTES} are text too: every character arrives
// as itself, and a line break is one Enter.
class NotesRoundTripTest : public StoreFixture, public ::testing::WithParamInterface<Layout> {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        useWin32AutoType();
    }
};

TEST_P(NotesRoundTripTest, TypesTheNotesExactly) {
    useLayout(keyInput, GetParam());
    start();
    const std::string notes = "pin ^1+2%3~4{5}6(7)8@9`a^e\r\nAuto-Type:{USERNAME}{TAB}%NOTES%{ENTER}\r\nlast";
    tTreeNode e = makeEntry("t");
    e.userName = "u";
    e.notes = notes;
    parseAutoType(e);
    ASSERT_EQ(e.autoTypeSequence, "{USERNAME}{TAB}%NOTES%{ENTER}");
    CSendKeys keys;
    EXPECT_TRUE(keys.sendKeys(buildAutoTypeSequence(e), false));
    EXPECT_EQ(keyInput.typedText(),
              "u\tpin ^1+2%3~4{5}6(7)8@9`a^e\nAuto-Type:{USERNAME}{TAB}%NOTES%{ENTER}\nlast\n");
    EXPECT_TRUE(keyInput.down.empty());
}

INSTANTIATE_TEST_SUITE_P(Layouts, NotesRoundTripTest,
                         ::testing::Values(Layout::Us, Layout::NoParentheses, Layout::DeadKeys, Layout::AltGr),
                         [](const ::testing::TestParamInfo<Layout>& info) { return layoutName(info.param); });

// What the layout types directly goes out as keys; what it lacks, or has only
// behind a dead key, as Unicode characters.
TEST_F(SendKeysTest, OnlyCharactersTheLayoutTypesDirectlyAreSentAsKeys) {
    keyInput.removeCharacters("()");
    keyInput.makeDead("^~`");
    keyInput.setKey('@', platform::kCtrlBit | platform::kAltBit | 'Q');
    keyInput.setKey('{', platform::kCtrlBit | platform::kAltBit | '7');
    const struct {
        const char* sequence;
        const char* events;
    } table[] = {
        {"{LEFTPAREN}x{RIGHTPAREN}", "+u28 -u28 +X -X +u29 -u29"},
        {"{LEFTPAREN 2}", "+u28 -u28 +u28 -u28"},
        {"^{RIGHTPAREN}a", "+Ctrl +u29 -u29 -Ctrl +A -A"},
        {"{CARET}{TILDE}", "+u5E -u5E +u7E -u7E"},
        {"a`b", "+A -A +u60 -u60 +B -B"},
        {"{DELAY 30}{LEFTPAREN}", "sleep30 +u28 -u28"},
        // Characters behind AltGr (Ctrl with Alt), as "@" and "{" on German layouts.
        {"{AT}{LEFTBRACE}", "+u40 -u40 +u7B -u7B"},
        // Still keys: "~" is Enter, and the dead key's plain neighbours.
        {"~6'", "+Enter -Enter +6 -6 +vkDE -vkDE"},
    };
    for (const auto& row : table) EXPECT_EQ(typed(row.sequence), row.events) << row.sequence;
}

// ---- Typing into one window ----------------------------------------------

class TargetWindowTest : public SendKeysTest {
protected:
    platform::WindowHandle window = reinterpret_cast<platform::WindowHandle>(0x100);
    platform::WindowHandle other = reinterpret_cast<platform::WindowHandle>(0x200);

    void SetUp() override {
        SendKeysTest::SetUp();
        desktop.foreground = window;
    }
    // Another window comes to the front right after the n-th call of this kind
    // (key events: only presses count).
    void otherWindowAfter(Kind kind, int n) {
        auto count = std::make_shared<int>(0);
        keyInput.onCall = [this, kind, n, count](const Call& c) {
            if (c.kind != kind || (kind == Kind::KeyEvent && (c.flags & platform::kKeyUp))) return;
            if (++*count == n) {
                desktop.foreground = other;
                switched = keyInput.calls.size();
            }
        };
    }
    // Key presses recorded after the other window came to the front.
    int pressesAfterSwitch() const {
        int presses = 0;
        for (std::size_t i = switched; i < keyInput.calls.size(); ++i)
            presses += keyInput.calls[i].kind == Kind::KeyEvent && !(keyInput.calls[i].flags & platform::kKeyUp);
        return presses;
    }
    std::size_t switched = 0;
};

TEST_F(TargetWindowTest, AnotherWindowInFrontStopsTheTypingAndReleasesTheModifiers) {
    const struct {
        Kind kind;
        int n;
        const char* typed;
    } moments[] = {
        {Kind::KeyEvent, 1, ""},     // the first press is the held Shift
        {Kind::KeyEvent, 3, "AB"},   // during the group
        {Kind::KeyEvent, 4, "ABc"},  // between two keys
        {Kind::Sleep, 1, "ABc\t"},  // during the pause
    };
    for (const auto& m : moments) {
        SCOPED_TRACE(std::to_string(static_cast<int>(m.kind)) + "/" + std::to_string(m.n));
        keyInput.calls.clear();
        log.lines.clear();
        desktop.foreground = window;
        otherWindowAfter(m.kind, m.n);
        EXPECT_EQ(keys.send("+(ab)c{TAB}{DELAY 500}d^e", false, window), CSendKeys::Result::eWindowLeft);
        EXPECT_EQ(keyInput.typedText(), m.typed);
        EXPECT_EQ(pressesAfterSwitch(), 0);
        EXPECT_TRUE(keyInput.down.empty());
        EXPECT_EQ(log.count("CSendKeys: the window typed into is no longer in front; the rest of the sequence is "
                            "dropped"),
                  1);
    }
    // Left in front, the window gets it all.
    keyInput.calls.clear();
    keyInput.onCall = nullptr;
    desktop.foreground = window;
    EXPECT_EQ(keys.send("+(ab)c{TAB}{DELAY 500}d^e", false, window), CSendKeys::Result::eDone);
    EXPECT_EQ(keyInput.typedText(), "ABc\td<^e>");
}

TEST_F(TargetWindowTest, AWindowNotInFrontAtTheStartGetsNothing) {
    desktop.foreground = other;
    EXPECT_EQ(keys.send("abc{TAB}", false, window), CSendKeys::Result::eWindowLeft);
    EXPECT_TRUE(keyInput.keyEvents().empty());
    // Without a window to type into, the keys go wherever the focus is.
    EXPECT_EQ(keys.send("abc", false), CSendKeys::Result::eDone);
    EXPECT_EQ(keyInput.typedText(), "abc");
}

TEST_F(TargetWindowTest, TheWindowAppActivateBringsForwardIsTypedIntoNext) {
    keyInput.windows = {{"Notepad", "Untitled - Notepad"}};
    EXPECT_EQ(keys.send("a{APPACTIVATE Notepad}b", false, window), CSendKeys::Result::eDone);
    EXPECT_EQ(keyInput.typedText(), "ab");
    EXPECT_EQ(desktop.foreground, platform::MemoryKeyInput::handleOf(0));
    // Then the window of the hot key is the other one.
    keyInput.calls.clear();
    EXPECT_EQ(keys.send("c", false, window), CSendKeys::Result::eWindowLeft);
    EXPECT_TRUE(keyInput.keyEvents().empty());

    // A window that does not come forward gets nothing, nor does the one in front.
    desktop.foreground = window;
    keyInput.calls.clear();
    keyInput.refuseActivation = true;
    EXPECT_EQ(keys.send("+(a{APPACTIVATE Notepad}b)", false, window), CSendKeys::Result::eWindowLeft);
    EXPECT_EQ(keyInput.typedText(), "A");
    EXPECT_TRUE(keyInput.down.empty());
    // A window that is not there changes nothing.
    keyInput.calls.clear();
    EXPECT_EQ(keys.send("a{APPACTIVATE No such window}b", false, window), CSendKeys::Result::eDone);
    EXPECT_EQ(keyInput.typedText(), "ab");
}

// ---- The time of a sequence ------------------------------------------------

TEST_F(SendKeysTest, ASequenceEndsAfterSixtySeconds) {
    // Ten seconds before each letter: the sixth pause reaches the bound.
    EXPECT_EQ(keys.send("{DELAY=10000}+(abcdefghij)", false), CSendKeys::Result::eTimeUp);
    EXPECT_EQ(keyInput.typedText(), "ABCDE");
    EXPECT_EQ(keyInput.nowMilliseconds, CSendKeys::kMaxSequenceTime);
    EXPECT_TRUE(keyInput.down.empty());
    EXPECT_TRUE(log.has(eWarning, "CSendKeys: the sequence ran for 60 seconds; the rest of it is dropped"));

    // The next sequence has its own sixty seconds; a pause is cut where they end.
    keyInput.calls.clear();
    EXPECT_EQ(keys.send("{DELAY=7000}{TAB 20}{DELAY=0}", false), CSendKeys::Result::eTimeUp);
    EXPECT_EQ(keyInput.typedText(), std::string(8, '\t'));
    EXPECT_EQ(keyInput.nowMilliseconds, 2 * CSendKeys::kMaxSequenceTime);
    EXPECT_TRUE(events().find("sleep4000") != std::string::npos) << events();

    // Beeps take their time too.
    keyInput.calls.clear();
    std::string beeps;
    for (int i = 0; i < 7; ++i) beeps += "{BEEP 440 10000}";
    EXPECT_EQ(keys.send("^" + beeps + "a", false), CSendKeys::Result::eTimeUp);
    EXPECT_EQ(keyInput.nowMilliseconds, 3 * CSendKeys::kMaxSequenceTime);
    EXPECT_EQ(events(), "+Ctrl " + repeat("beep440/10000", 6) + " -Ctrl");
    EXPECT_TRUE(keyInput.down.empty());

    // Under the bound everything is typed; sendKeys says whether it was.
    keyInput.calls.clear();
    EXPECT_TRUE(keys.sendKeys("{DELAY=9000}abcdef{DELAY=0}", false));
    EXPECT_EQ(keyInput.typedText(), "abcdef");
    EXPECT_FALSE(keys.sendKeys("{DELAY=9000}abcdefg{DELAY=0}", false));
}

TEST_F(SendKeysTest, TheProcessWideSenderTypesThroughTheServices) {
    EXPECT_EQ(&sendKeysEngine(), &sendKeysEngine());
    EXPECT_TRUE(sendKeysEngine().sendKeys("Ab", false));
    EXPECT_EQ(events(), "+Shift +A -A -Shift +B -B");
    EXPECT_TRUE(keyInput.down.empty());
}
