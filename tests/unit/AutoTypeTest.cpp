// Auto-type: the notes language, window matching, and the key sequences that
// type an entry.
#include "AutoType.h"

#include <cctype>

#include "StoreFixture.h"

namespace {

// Reads a key sequence the way the key sender does and writes what it would
// do: typed characters as themselves, Tab and Enter as <TAB> and <ENTER>, a
// character typed while a modifier is held as <mods+c>, other brace commands
// as <NAME>. A sequence that only types text reads back as exactly that text.
std::string readKeys(const std::string& seq) {
    static const std::pair<const char*, char> kCharacterKeys[] = {
        {"AT", '@'},        {"CARET", '^'},      {"LEFTBRACE", '{'}, {"LEFTPAREN", '('}, {"PERCENT", '%'},
        {"PLUS", '+'},      {"RIGHTBRACE", '}'}, {"RIGHTPAREN", ')'}, {"TILDE", '~'},
    };
    std::string out, mods;
    bool group = false;
    auto key = [&](const std::string& k) {
        out += mods.empty() ? k : "<" + mods + k + ">";
        if (!group) mods.clear();
    };
    for (std::size_t i = 0; i < seq.size(); ++i) {
        const char c = seq[i];
        if (c == '+' || c == '^' || c == '%' || c == '@') {
            mods += c;
        } else if (c == '(') {
            group = true;
        } else if (c == ')') {
            group = false;
            mods.clear();
        } else if (c == '~') {
            key("<ENTER>");
        } else if (c == '{') {
            const std::size_t end = seq.find('}', i + 1);
            std::string name = seq.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            i = end == std::string::npos ? seq.size() : end;
            std::string upper;
            for (char n : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(n)));
            bool done = false;
            for (const auto& ck : kCharacterKeys) {
                if (upper == ck.first) {
                    key(std::string(1, ck.second));
                    done = true;
                }
            }
            if (!done) key("<" + upper + ">");
        } else {
            key(std::string(1, c));
        }
    }
    return out;
}

TEST(KeyReaderTest, ReadsModifiersCommandsAndText) {
    EXPECT_EQ(readKeys("a+b^c{TAB}~{PLUS}{at}(%xy)z"), "a<+b><^c><TAB><ENTER>+@<%x><%y>z");
}

const std::string kSpecials = "{ } % ( ) @ + ^ ~";

}  // namespace

class AutoTypeTest : public StoreFixture {
protected:
    tTreeNode entry(const std::string& title, const std::string& notes = "", const std::string& user = "",
                    const std::string& password = "") {
        tTreeNode e = makeEntry(title);
        e.notes = notes;
        e.userName = user;
        e.password = password;
        return e;
    }
    bool logged(const std::string& needle) const {
        for (const auto& l : log.lines)
            if (l.message.find(needle) != std::string::npos) return true;
        return false;
    }
};

// ---- Window matching ----------------------------------------------------

struct MatchCase {
    std::vector<std::string> patterns;  // as stored (lower case)
    bool defaultATW;
    std::string title;  // lower-cased window title
    bool matches;
};

class MatchesWindowTest : public AutoTypeTest, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(MatchesWindowTest, FollowsThePatternForms) {
    const MatchCase& c = GetParam();
    start(c.defaultATW ? "[AUTOTYPE]\nDefaultATW=1\n" : "[AUTOTYPE]\nDefaultATW=0\n");
    tTreeNode e = entry("Bank");
    e.autoTypeWindows.assign(c.patterns.begin(), c.patterns.end());
    EXPECT_EQ(matchesWindow(e, c.title), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, MatchesWindowTest,
    ::testing::Values(
        // "*" alone: every window with DefaultATW on, none with it off.
        MatchCase{{"*"}, true, "anything at all", true}, MatchCase{{"*"}, false, "anything at all", false},
        MatchCase{{"*"}, true, "", true},
        // exact
        MatchCase{{"login form"}, false, "login form", true}, MatchCase{{"login form"}, false, "login form 2", false},
        MatchCase{{" login"}, false, "login", false}, MatchCase{{" login"}, false, " login", true},
        // leading star: the title ends with the rest
        MatchCase{{"*web browser"}, false, "bank login - web browser", true},
        MatchCase{{"*web browser"}, false, "web browser - bank", false},
        MatchCase{{"*ab"}, false, "ab xab", true},  // the last occurrence counts
        // trailing star: the title begins with the rest
        MatchCase{{"login*"}, false, "login form", true}, MatchCase{{"login*"}, false, "bank login", false},
        // both stars: the middle occurs anywhere
        MatchCase{{"*mail*"}, false, "webmail - inbox", true}, MatchCase{{"*mail*"}, false, "web - inbox", false},
        MatchCase{{"**"}, false, "whatever", true},
        // a star in the middle: first and last character dropped, "*" must occur
        MatchCase{{"a*b"}, false, "a b", false}, MatchCase{{"a*b"}, false, "x*y", true},
        // case: patterns and titles are compared byte for byte
        MatchCase{{"Login*"}, false, "login form", false},
        // several patterns: any one matching is enough, none matching is false
        MatchCase{{"*web browser", "login*"}, false, "login form", true},
        MatchCase{{"*web browser", "login*"}, false, "form", false},
        MatchCase{{"*", "exact"}, false, "exact", true}));

struct DefaultMatchCase {
    std::string entryTitle;
    std::string windowTitle;
    bool matches;
};

class DefaultWindowTest : public AutoTypeTest, public ::testing::WithParamInterface<DefaultMatchCase> {};

TEST_P(DefaultWindowTest, WithoutPatternsTheEntryTitleIsSearchedInTheWindowTitle) {
    start();
    EXPECT_EQ(matchesWindow(entry(GetParam().entryTitle), GetParam().windowTitle), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(Titles, DefaultWindowTest,
                         ::testing::Values(DefaultMatchCase{"GitHub", "sign in to github - browser", true},
                                           DefaultMatchCase{"GitHub", "gitlab", false},
                                           DefaultMatchCase{"Bank Login", "bank", false}));

TEST_F(AutoTypeTest, DefaultWindowSettingIsReadAtEveryMatch) {
    start("[AUTOTYPE]\nDefaultATW=0\n");
    tTreeNode e = entry("x");
    e.autoTypeWindows = {"*"};
    EXPECT_FALSE(matchesWindow(e, "editor"));
    settings().store().setText("AUTOTYPE", "DefaultATW", "1");
    EXPECT_TRUE(matchesWindow(e, "editor"));
}

// ---- Parsing the notes --------------------------------------------------

struct ParseCase {
    std::string notes;
    std::string sequence;
    std::vector<std::string> windows;
};

class ParseTest : public AutoTypeTest, public ::testing::WithParamInterface<ParseCase> {};

TEST_P(ParseTest, FindsTheDefinitions) {
    start();
    tTreeNode e = entry("t", GetParam().notes);
    parseAutoType(e);
    parseAutoTypeWindows(e);
    EXPECT_EQ(e.autoTypeSequence, GetParam().sequence);
    EXPECT_EQ(std::vector<std::string>(e.autoTypeWindows.begin(), e.autoTypeWindows.end()), GetParam().windows);
}

INSTANTIATE_TEST_SUITE_P(
    Notes, ParseTest,
    ::testing::Values(
        ParseCase{"", "", {}}, ParseCase{"just text\r\nmore", "", {}},
        // no line end at all
        ParseCase{"Auto-Type:{USERNAME}{TAB}{PASSWORD}~", "{USERNAME}{TAB}{PASSWORD}~", {}},
        ParseCase{"Auto-Type-Window:*Web Browser", "", {"*web browser"}},
        // keywords at the very end: empty values
        ParseCase{"x\r\nAuto-Type:", "", {}}, ParseCase{"Auto-Type-Window:", "", {""}},
        // several windows, lower-cased, in order; the first sequence only
        ParseCase{"Auto-Type-Window:*Web Browser\r\nAuto-Type:a\r\nAuto-Type-Window:Login*\r\nAuto-Type:b\r\n",
                  "a",
                  {"*web browser", "login*"}},
        // lone CR, lone LF and CR LF all end a value; text before a keyword is ignored
        ParseCase{"Auto-Type-Window:One\rAuto-Type-Window:Two\nAuto-Type-Window:Three\r\nx", "", {"one", "two", "three"}},
        ParseCase{"first\nnote: Auto-Type:{PASSWORD}\rtrailing", "{PASSWORD}", {}},
        ParseCase{"Auto-Type-Window:a\r", "", {"a"}}, ParseCase{"Auto-Type-Window:a\n\n", "", {"a"}},
        // the value is not trimmed; keywords are case-sensitive
        ParseCase{"Auto-Type-Window: Bank \r\nauto-type:x", "", {" bank "}}));

TEST_F(AutoTypeTest, ParsingAgainReplacesTheDefinitions) {
    start();
    tTreeNode e = entry("t", "Auto-Type-Window:A\r\nAuto-Type-Window:B\r\nAuto-Type:x");
    parseAutoType(e);
    parseAutoTypeWindows(e);
    parseAutoTypeWindows(e);  // a second unlock parses the same entry again
    EXPECT_EQ(e.autoTypeWindows, (std::list<std::string>{"a", "b"}));
    e.notes = "";  // an edit removed the definitions
    parseAutoType(e);
    parseAutoTypeWindows(e);
    EXPECT_EQ(e.autoTypeSequence, "");
    EXPECT_TRUE(e.autoTypeWindows.empty());
}

TEST_F(AutoTypeTest, NothingOfTheNotesReachesTheLog) {
    start();
    tTreeNode e = entry("t", "Auto-Type-Window:*Pin4711*\r\nAuto-Type-Window:Vault7\r\nAuto-Type:{USERNAME}4711~");
    parseAutoType(e);
    parseAutoTypeWindows(e);
    for (const char* title : {"vault7", "no pin4711 here", "other"}) matchesWindow(e, title);
    EXPECT_TRUE(log.has(eRubbish, "Auto-Type-Window Found: #2"));
    EXPECT_TRUE(log.has(eRubbish, "Found a match for STRING in Auto-Type-Window: #2"));
    EXPECT_TRUE(log.has(eRubbish, "Found a match for *STRING* in Auto-Type-Window: #1"));
    for (const auto& line : log.lines) {
        for (const char* secret : {"4711", "ault7"}) {
            EXPECT_EQ(line.message.find(secret), std::string::npos) << line.message;
        }
    }
}

TEST_F(AutoTypeTest, EncryptedNotesAreDecryptedForParsing) {
    start();
    theApp().m_masterPassword.setText("master");
    tTreeNode e = entry("t");
    security::encrypt("Auto-Type-Window:Mail*\r\nAuto-Type:{PASSWORD}~", e.notes, e.notesSalt);
    ASSERT_FALSE(e.notesSalt.empty());
    parseAutoType(e);
    parseAutoTypeWindows(e);
    EXPECT_EQ(e.autoTypeSequence, "{PASSWORD}~");
    EXPECT_EQ(e.autoTypeWindows, (std::list<std::string>{"mail*"}));
}

TEST_F(AutoTypeTest, LoadingTheStoreParsesEveryEntry) {
    start();
    PasswordTree& tree = passwordTree();
    TreePos root = tree.insert(tree.end(), MakeBaseNode("db"));
    TreePos a = tree.appendChild(root, entry("a", "Auto-Type-Window:X*\r\nAuto-Type:{USERNAME}~"));
    TreePos b = tree.appendChild(root, entry("b", "Auto-Type-Window:Y"));
    DecryptTitle();
    DecryptTitle();  // unlocked a second time
    EXPECT_EQ(a->autoTypeSequence, "{USERNAME}~");
    EXPECT_EQ(a->autoTypeWindows, (std::list<std::string>{"x*"}));
    EXPECT_EQ(b->autoTypeWindows, (std::list<std::string>{"y"}));
}

TEST_F(AutoTypeTest, MegabytesOfNotesAreParsed) {
    start();
    std::string notes(5 * 1024 * 1024, 'x');
    for (std::size_t i = 1000; i < notes.size(); i += 100000) notes.replace(i, 20, "\r\nAuto-Type-Window:w");
    notes += "\nAuto-Type:";
    tTreeNode e = entry("t", notes);
    parseAutoType(e);
    parseAutoTypeWindows(e);
    EXPECT_EQ(e.autoTypeSequence, "");
    ASSERT_EQ(e.autoTypeWindows.size(), 53u);
    EXPECT_EQ(e.autoTypeWindows.front(), "w" + std::string(99980, 'x'));
    EXPECT_EQ(e.autoTypeWindows.back(), "w" + std::string(5242880 - 5201020, 'x'));
    const AutoTypeInfo info = autoTypeInfo(e);
    EXPECT_EQ(info.notesText, std::string(1000, 'x') + "\r");
}

// ---- Line helpers ---------------------------------------------------------

struct LinesCase {
    std::string text;
    std::vector<std::string> lines;
};

class SplitLinesTest : public ::testing::TestWithParam<LinesCase> {};

TEST_P(SplitLinesTest, CutsAtEveryLineEnd) { EXPECT_EQ(splitLines(GetParam().text), GetParam().lines); }

INSTANTIATE_TEST_SUITE_P(Texts, SplitLinesTest,
                         ::testing::Values(LinesCase{"", {""}}, LinesCase{"a", {"a"}},
                                           LinesCase{"a\r\nb\r\n", {"a", "b", ""}},
                                           LinesCase{"a\rb\nc\r\n\r\nd", {"a", "b", "c", "", "d"}},
                                           LinesCase{"\n\r", {"", "", ""}}));

struct RemoveCase {
    std::string text;
    std::string result;
};

class RemoveKeywordLinesTest : public ::testing::TestWithParam<RemoveCase> {};

TEST_P(RemoveKeywordLinesTest, ErasesFromTheKeywordThroughTheLineEnd) {
    EXPECT_EQ(removeKeywordLines(GetParam().text, "Auto-Type:"), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Texts, RemoveKeywordLinesTest,
                         ::testing::Values(RemoveCase{"a\r\nAuto-Type:x\r\nb", "a\r\nb"},
                                           RemoveCase{"front Auto-Type:x\r\nb", "front b"},
                                           RemoveCase{"a\r\nAuto-Type:x", "a\r\n"},
                                           RemoveCase{"Auto-Type:x\nAuto-Type:y\rz", "z"},
                                           RemoveCase{"Auto-Type-Window:w", "Auto-Type-Window:w"}));

TEST_F(AutoTypeTest, InfoHoldsTheNotesWithoutDefinitionsAndTheSequence) {
    start();
    tTreeNode e = entry("t", "Auto-Type-Window:W\r\nline one\r\nAuto-Type:{PASSWORD}\r\nline two\nthree", "u", "p");
    parseAutoType(e);
    const AutoTypeInfo info = autoTypeInfo(e);
    EXPECT_EQ(info.keySequence, "p");
    EXPECT_EQ(info.notesText, "line one\rline two\rthree");
}

struct ReplaceCase {
    std::string text, find, replacement, result;
};

class ReplaceAllTest : public AutoTypeTest, public ::testing::WithParamInterface<ReplaceCase> {};

TEST_P(ReplaceAllTest, ReplacesEveryOccurrenceOnce) {
    std::string text = GetParam().text;
    replaceAll(text, GetParam().find, GetParam().replacement);
    EXPECT_EQ(text, GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReplaceAllTest,
    ::testing::Values(ReplaceCase{"a{b{", "{", "{LEFTBRACE}", "a{LEFTBRACE}b{LEFTBRACE}"},
                      ReplaceCase{"{LEFTBRACE}{x", "{", "{LEFTBRACE}", "{LEFTBRACE}{LEFTBRACE}x"},  // already there
                      ReplaceCase{"aaa", "a", "aa", "aaaa"}  /* "aa" at 0 is kept */, ReplaceCase{"abc", "x", "y", "abc"},
                      ReplaceCase{"a-b-", "-", "", "ab"}, ReplaceCase{"abc", "", "y", "abc"}));

TEST_F(AutoTypeTest, ReplaceAllNeverLogsTheTexts) {
    std::string text = "user hunter2";
    replaceAll(text, "user", "secret-name");
    replaceAll(text, "absent", "x");
    EXPECT_EQ(text, "secret-name hunter2");
    EXPECT_FALSE(logged("hunter2"));
    EXPECT_FALSE(logged("secret-name"));
    EXPECT_TRUE(logged("Substituting user"));
}

// ---- Key sequences ------------------------------------------------------

struct ValueCase {
    std::string user;
    std::string password;
};

class EscapingTest : public AutoTypeTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(EscapingTest, DefaultSequenceTypesTheValuesExactly) {
    start();
    tTreeNode e = entry("t", "", GetParam().user, GetParam().password);
    EXPECT_EQ(readKeys(buildAutoTypeSequence(e)), GetParam().user + "<TAB>" + GetParam().password + "<ENTER>");
}

TEST_P(EscapingTest, CustomSequenceTypesTheValuesExactly) {
    start();
    tTreeNode e = entry("t", "", GetParam().user, GetParam().password);
    e.autoTypeSequence = "{USERNAME}{TAB}{PASSWORD}{ENTER}%USERNAME%|%PASSWORD%";
    EXPECT_EQ(readKeys(buildAutoTypeSequence(e)),
              GetParam().user + "<TAB>" + GetParam().password + "<ENTER>" + GetParam().user + "|" +
                  GetParam().password);
}

TEST_P(EscapingTest, ValuesNeverReachTheLog) {
    start();
    tTreeNode e = entry("t", "", GetParam().user, GetParam().password);
    e.autoTypeSequence = "{USERNAME}{TAB}{PASSWORD}";
    buildAutoTypeSequence(e);
    e.autoTypeSequence.clear();
    buildAutoTypeSequence(e);
    EXPECT_FALSE(logged(GetParam().user));
    EXPECT_FALSE(logged(GetParam().password));
    EXPECT_TRUE(logged("{PASSWORD}"));
}

INSTANTIATE_TEST_SUITE_P(
    Values, EscapingTest,
    ::testing::Values(ValueCase{"usr" + kSpecials, "pw" + kSpecials}, ValueCase{"a^b~c", "x+y@z"},
                      ValueCase{"{LEFTBRACE}", "{PLUS}{}"},  // brace names in a value are typed as text
                      ValueCase{"{USERNAME}%PASSWORD%", "{NOTES}{PASSWORD}"},  // placeholders in values stay text
                      ValueCase{"}}{{", "((%%))"}, ValueCase{"name@example.org", "{ pw {"}));

TEST_F(AutoTypeTest, EscapedTextsUseTheKeyNames) {
    EXPECT_EQ(escapeKeyText("a{b}c%d(e)f@g+h^i~j"),
              "a{LEFTBRACE}b{RIGHTBRACE}c{PERCENT}d{LEFTPAREN}e{RIGHTPAREN}f{AT}g{PLUS}h{CARET}i{TILDE}j");
}

TEST_F(AutoTypeTest, EmptyValuesStillTypeTabAndEnter) {
    start();
    tTreeNode e = entry("t");
    EXPECT_EQ(buildAutoTypeSequence(e), "{TAB}~");
}

struct DelayCase {
    std::string definition;  // "" for the default sequence
    std::string sequence;
};

class DelayTest : public AutoTypeTest, public ::testing::WithParamInterface<DelayCase> {};

TEST_P(DelayTest, DelayGoesBeforeEveryValue) {
    start("[AUTOTYPE]\nDelay={DELAY 200}\n");
    tTreeNode e = entry("t", "", "u", "p");
    e.autoTypeSequence = GetParam().definition;
    EXPECT_EQ(buildAutoTypeSequence(e), GetParam().sequence);
}

INSTANTIATE_TEST_SUITE_P(
    Definitions, DelayTest,
    ::testing::Values(DelayCase{"", "{DELAY 200}u{TAB}{DELAY 200}p~"},
                      DelayCase{"{USERNAME}{TAB}{PASSWORD}~", "{DELAY 200}u{TAB}{DELAY 200}p~"},
                      DelayCase{"%USERNAME%-%PASSWORD%", "{DELAY 200}u-{DELAY 200}p"},
                      DelayCase{"{TAB}{NOTES}", "{TAB}"}));  // no delay before the notes

struct CustomCase {
    std::string definition;
    std::string sequence;
};

class CustomSequenceTest : public AutoTypeTest, public ::testing::WithParamInterface<CustomCase> {};

TEST_P(CustomSequenceTest, DefinitionTextKeepsItsMeaning) {
    start();
    tTreeNode e = entry("t", "my notes", "u", "p");
    e.autoTypeSequence = GetParam().definition;
    EXPECT_EQ(buildAutoTypeSequence(e), GetParam().sequence);
}

INSTANTIATE_TEST_SUITE_P(
    Definitions, CustomSequenceTest,
    ::testing::Values(CustomCase{"{USERNAME}{TAB}{PASSWORD}~", "u{TAB}p~"},
                      CustomCase{"^a{DEL}{USERNAME}+{TAB}{PASSWORD}{ENTER}", "^a{DEL}u+{TAB}p{ENTER}"},
                      CustomCase{"me@{USERNAME}", "me{AT}u"},  // an "@" written in the definition is typed
                      CustomCase{"{NOTES}|%NOTES%", "my notes|my notes"},
                      CustomCase{"{username}{Password}", "{username}{Password}"},  // placeholders are case-sensitive
                      CustomCase{"{USERNAME", "{USERNAME"}));

TEST_F(AutoTypeTest, DefinitionFromTheNotesIsUsed) {
    start();
    tTreeNode e = entry("t", "Auto-Type:{PASSWORD}{TAB}{USERNAME}~", "u+", "p^");
    parseAutoType(e);
    EXPECT_EQ(buildAutoTypeSequence(e), "p{CARET}{TAB}u{PLUS}~");
}

// ---- Comment ------------------------------------------------------------

struct CommentCase {
    bool explicitComment;
    std::string notes;
    std::string comment;
};

class CommentTest : public AutoTypeTest, public ::testing::WithParamInterface<CommentCase> {};

TEST_P(CommentTest, TakesTheRightLine) {
    start(GetParam().explicitComment ? "[CustomColumn]\nExplicitComment=1\n" : "[CustomColumn]\nExplicitComment=0\n");
    EXPECT_EQ(entryComment(entry("t", GetParam().notes)), GetParam().comment);
}

INSTANTIATE_TEST_SUITE_P(
    Notes, CommentTest,
    ::testing::Values(
        CommentCase{false, "\r\nAuto-Type:{PASSWORD}\r\n \r\nfourth\r\nfifth", "fourth"},
        CommentCase{false, "Auto-Type-Window:x\nreal one\rComment:c", "real one"},
        CommentCase{false, "Auto-Type:x\r\n\r\n ", ""}, CommentCase{false, "", ""},
        CommentCase{false, "first\r\nComment:second", "first"},
        CommentCase{true, "first\r\nComment: second\r\nComment:third", " second"},
        CommentCase{true, "first line only", ""}, CommentCase{true, "x Comment:at the end", "at the end"}));
