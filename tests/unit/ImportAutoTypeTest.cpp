// KeePass auto-type settings turned into lines of an entry's notes. What the
// hot key makes of the lines is read back with the store's own keyword
// reading, so a line that defines more (or less) than it should is seen.
#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "AutoType.h"
#include "ImportAutoType.h"

namespace {

struct HotKeyReads {
    std::string sequence;
    std::list<std::string> windows;
};

HotKeyReads hotKeyReads(const std::string& notes) {
    HotKeyReads r;
    r.sequence = keywordValue(notes, "Auto-Type:");
    keywordValues(notes, "Auto-Type-Window:", r.windows);
    return r;
}

TEST(ImportAutoTypeTest, SequencesTheHotKeyCanTypeAreWrittenInItsLanguage) {
    struct Case {
        const char* keePass;
        const char* keyhold;
    };
    const Case cases[] = {
        {"{USERNAME}{TAB}{PASSWORD}{ENTER}", "{USERNAME}{TAB}{PASSWORD}{ENTER}"},
        // Placeholders are matched by the hot key in upper case only; key
        // names in any case.
        {"{username}{Tab}{Password}~", "{USERNAME}{Tab}{PASSWORD}~"},
        {"{UserName}{TAB 2}{notes}", "{USERNAME}{TAB 2}{NOTES}"},
        // KeePass's escaped characters, which would be modifiers, groups or
        // braces in the hot key's language.
        {"{+}{^}{%}{~}{(}{)}{{}{}}", "{PLUS}{CARET}{PERCENT}{TILDE}{LEFTPAREN}{RIGHTPAREN}{LEFTBRACE}{RIGHTBRACE}"},
        {"a{{}b{}}c", "a{LEFTBRACE}b{RIGHTBRACE}c"},
        {"{}}{PASSWORD}", "{RIGHTBRACE}{PASSWORD}"},
        {"{{}{PASSWORD}{}}", "{LEFTBRACE}{PASSWORD}{RIGHTBRACE}"},
        // Commands the sender knows, and plain text, stay as written.
        {"^a{DEL}+(ab)%{F4}{DELAY 250}{DELAY=20}{VKEY 13}{BEEP 800 100}{APPACTIVATE Mail - Inbox}{PASSWORD}",
         "^a{DEL}+(ab)%{F4}{DELAY 250}{DELAY=20}{VKEY 13}{BEEP 800 100}{APPACTIVATE Mail - Inbox}{PASSWORD}"},
        {"me@example.com{TAB}Gr\xC3\xBC\xC3\x9F"
         "e }",
         "me@example.com{TAB}Gr\xC3\xBC\xC3\x9F"
         "e }"},
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string converted = "left over";
        EXPECT_TRUE(KeyholdSequence(c.keePass, converted)) << c.keePass;
        EXPECT_EQ(converted, c.keyhold) << c.keePass;
    }
}

TEST(ImportAutoTypeTest, SequencesNeedingMoreThanTheHotKeyDoesAreRefused) {
    const char* const cases[] = {
        "{TITLE}",
        "{URL}{TAB}{PASSWORD}",
        "{USERNAME}{TAB}{S:PIN}{ENTER}",
        "{TOTP}",
        "{CLEARFIELD}{USERNAME}",
        "{REF:P@I:46C9B1FFBD4ABC4BBB260C6190BAD20C}",
        "{PICKCHARS}",
        "{GROUP}",
        "{NOSUCHKEY}",
        "{}",
        "{ }",
        // A brace never closed.
        "{USERNAME",
        "{PASSWORD}{ENTER",
        "abc{",
        // Line breaks: a notes line cannot hold them.
        "{USERNAME}\r\n{PASSWORD}",
        "a\nb",
        "{PASSWORD}\r",
        // Text the hot key would fill in, where KeePass types Alt and keys.
        "%USERNAME%",
        "{APPACTIVATE %PASSWORD%}",
    };
    for (const char* c : cases) {
        std::string converted;
        EXPECT_FALSE(KeyholdSequence(c, converted)) << c;
    }
}

TEST(ImportAutoTypeTest, WindowPatternsWithStarsOnlyAtTheEnds) {
    struct Case {
        const char* window;
        bool usable;
    };
    const Case cases[] = {
        {"Mail - Inbox", true},
        {"*Firefox", true},
        {"Login*", true},
        {"*Bank*", true},
        {"*", true},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         true},
        {"", false},
        {"//^Bank.*//", false},
        {"//x//", false},
        {"Sign*in", false},
        {"*a*b*", false},
        {"a*b*", false},
        {"Mail\r\nInbox", false},
        {"Mail\n", false},
        {"\rMail", false},
    };
    for (const Case& c : cases) EXPECT_EQ(KeyholdWindowPattern(c.window), c.usable) << c.window;
}

tKeePassAutoType settings(const std::string& sequence, std::vector<tKeePassAutoType::Association> associations = {},
                          bool enabled = true) {
    tKeePassAutoType at;
    at.enabled = enabled;
    at.defaultSequence = sequence;
    at.associations = std::move(associations);
    return at;
}

TEST(ImportAutoTypeTest, NotesLinesSayWhatTheHotKeyDoesAndKeepTheRest) {
    struct Case {
        const char* what;
        tKeePassAutoType autoType;
        std::string lines;
        std::string sequence;  // what the hot key reads back
        std::list<std::string> windows;
    };
    const Case cases[] = {
        {"nothing set", settings(""), "", "", {}},
        {"KeePass's default, as the hot key's own", settings("{username}{tab}{password}{enter}"), "", "", {}},
        {"the default with ~", settings("{USERNAME}{TAB}{PASSWORD}~"), "", "", {}},
        {"an own sequence",
         settings("{USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}"),
         "Auto-Type:{USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}\r\n",
         "{USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}",
         {}},
        {"escaped characters converted",
         settings("{PASSWORD}{+}1~"),
         "Auto-Type:{PASSWORD}{PLUS}1~\r\n",
         "{PASSWORD}{PLUS}1~",
         {}},
        {"a sequence the hot key cannot type",
         settings("{USERNAME}{TAB}{TOTP}{ENTER}"),
         "Auto-type sequence not used by the hot key: {USERNAME}{TAB}{TOTP}{ENTER}\r\n",
         "",
         {}},
        {"windows, usable or not",
         settings("", {{"Mail - Inbox", ""}, {"*Firefox", ""}, {"//^Bank.*//", ""}, {"Sign*in", ""}, {"", ""}}),
         "Auto-Type-Window:Mail - Inbox\r\nAuto-Type-Window:*Firefox\r\n"
         "Auto-type window not used by the hot key: //^Bank.*//\r\n"
         "Auto-type window not used by the hot key: Sign*in\r\n",
         "",
         {"Mail - Inbox", "*Firefox"}},
        {"an unusable window, a usable sequence",
         settings("{PASSWORD}{ENTER}", {{"//x//", ""}}),
         "Auto-Type:{PASSWORD}{ENTER}\r\nAuto-type window not used by the hot key: //x//\r\n",
         "{PASSWORD}{ENTER}",
         {}},
        {"the first window's sequence stands for the entry",
         settings("",
                  {{"A*", ""}, {"B*", "{PASSWORD}{ENTER}"}, {"C*", "{USERNAME}{ENTER}"}, {"D*", "{PASSWORD}{ENTER}"}}),
         "Auto-Type:{PASSWORD}{ENTER}\r\nAuto-Type-Window:A*\r\nAuto-Type-Window:B*\r\nAuto-Type-Window:C*\r\n"
         "Auto-type sequence for that window, not used by the hot key: {USERNAME}{ENTER}\r\n"
         "Auto-Type-Window:D*\r\n",
         "{PASSWORD}{ENTER}",
         {"A*", "B*", "C*", "D*"}},
        {"a window's sequence that is the default in other letters",
         settings("", {{"A*", "{USERNAME}{TAB}{PASSWORD}{ENTER}"}, {"B*", "{username}{tab}{password}~"}}),
         "Auto-Type-Window:A*\r\nAuto-Type-Window:B*\r\n",
         "",
         {"A*", "B*"}},
        {"a window's own sequence next to the entry's",
         settings("{USERNAME}{TAB}{TAB}{PASSWORD}~", {{"Shop*", "{PASSWORD}~"}}),
         "Auto-Type:{USERNAME}{TAB}{TAB}{PASSWORD}~\r\nAuto-Type-Window:Shop*\r\n"
         "Auto-type sequence for that window, not used by the hot key: {PASSWORD}~\r\n",
         "{USERNAME}{TAB}{TAB}{PASSWORD}~",
         {"Shop*"}},
        {"auto-type off",
         settings("{PASSWORD}{ENTER}", {{"Mail*", "{USERNAME}{ENTER}"}}, false),
         "Auto-type was off for this entry in the export.\r\n"
         "Auto-type sequence not used by the hot key: {PASSWORD}{ENTER}\r\n"
         "Auto-type window not used by the hot key: Mail*\r\n"
         "Auto-type sequence for that window, not used by the hot key: {USERNAME}{ENTER}\r\n",
         "",
         {}},
        {"auto-type off, nothing else set",
         settings("", {}, false),
         "Auto-type was off for this entry in the export.\r\n",
         "",
         {}},
        {"line breaks in values kept as blanks",
         settings("{USERNAME}\n{PASSWORD}", {{"Mail\r\nInbox", "a\rb"}}),
         "Auto-type sequence not used by the hot key: {USERNAME} {PASSWORD}\r\n"
         "Auto-type window not used by the hot key: Mail Inbox\r\n"
         "Auto-type sequence for that window, not used by the hot key: a b\r\n",
         "",
         {}},
        {"keywords inside values define nothing",
         settings("", {{"Auto-Type:{PASSWORD}", "x"}, {"*Auto-Type-Window:*", ""}, {"W", "{TITLE}Auto-Type:y"}}),
         "Auto-Type:x\r\n"
         "Auto-type window not used by the hot key: Auto-type:{PASSWORD}\r\n"
         "Auto-type window not used by the hot key: *Auto-type-Window:*\r\n"
         "Auto-Type-Window:W\r\n"
         "Auto-type sequence for that window, not used by the hot key: {TITLE}Auto-type:y\r\n",
         "x",
         {"W"}},
        {"a sequence typing a keyword as text",
         settings("Auto-Type-Window:*"),
         "Auto-type sequence not used by the hot key: Auto-type-Window:*\r\n",
         "",
         {}},
    };
    for (const Case& c : cases) {
        const std::string lines = AutoTypeNotesLines(c.autoType);
        EXPECT_EQ(lines, c.lines) << c.what;
        const HotKeyReads read = hotKeyReads("Notes of the user\r\n" + lines);
        EXPECT_EQ(read.sequence, c.sequence) << c.what;
        EXPECT_EQ(read.windows, c.windows) << c.what;
    }
}

}  // namespace
