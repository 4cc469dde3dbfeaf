// The secure edit on the in-memory edit window, and the masked store under it.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "platform/EditWindow_memory.h"
#include "security/SecureEditEx.h"
#include "security/SecureString.h"

// Reads the raw cells and the mask of a secure string.
struct SecureStringInspector {
    static unsigned char cell(const CSecureString& s, std::size_t i) { return *s.m_cells.at(i); }
    static unsigned char mask(const CSecureString& s, std::size_t i) { return s.m_mask[i]; }
};

namespace {

std::string plain(const CSecureString& s) {
    CPlainCopy copy(s);
    return copy.c_str();
}

std::string stars(std::size_t n) { return std::string(n, '*'); }

// Every cell holds its character XOR the mask byte of its position.
::testing::AssertionResult maskedAtRest(const CSecureString& s, const std::string& expected) {
    if (s.length() != expected.size()) {
        return ::testing::AssertionFailure() << "length " << s.length() << ", expected " << expected.size();
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        unsigned char c = SecureStringInspector::cell(s, i) ^
                          SecureStringInspector::mask(s, i % CSecureString::kMaskSize);
        if (c != static_cast<unsigned char>(expected[i])) {
            return ::testing::AssertionFailure() << "cell " << i << " unmasks to " << int(c);
        }
    }
    return ::testing::AssertionSuccess();
}

class SecureEditTest : public ::testing::Test {
protected:
    SecureEditTest() {
        window.attach(&edit);
        window.onChange = [this] { ++changes; };
    }
    std::string secret() { return plain(edit.secret()); }
    std::string text() {
        char* t = edit.getText();
        std::string s = t;
        releasePlainCopy(t);
        return s;
    }

    platform::MemoryEditWindow window;
    CSecureEditEx edit{window};
    int changes = 0;
};

// ---- typing and deleting --------------------------------------------------

struct EditCase {
    const char* label;
    std::function<void(platform::MemoryEditWindow&)> act;
    std::string secret;
    std::size_t caret;
};
void PrintTo(const EditCase& c, std::ostream* os) { *os << c.label; }

class SecureEditTypingTest : public SecureEditTest, public ::testing::WithParamInterface<EditCase> {};

TEST_P(SecureEditTypingTest, SecretFollowsTheUserWhileTheWindowShowsAsterisks) {
    GetParam().act(window);
    EXPECT_EQ(secret(), GetParam().secret);
    EXPECT_EQ(window.shown(), stars(GetParam().secret.size()));
    EXPECT_EQ(edit.shownLength(), GetParam().secret.size());
    EXPECT_EQ(window.caret(), GetParam().caret);
    EXPECT_FALSE(window.hasSelection());
    EXPECT_TRUE(maskedAtRest(edit.secret(), GetParam().secret));
}

using W = platform::MemoryEditWindow;
INSTANTIATE_TEST_SUITE_P(
    Edits, SecureEditTypingTest,
    ::testing::Values(
        EditCase{"TwoCharacters", [](W& w) { w.type("ab"); }, "ab", 2},
        EditCase{"ThirdBetweenTheTwo",
                 [](W& w) {
                     w.type("ac");
                     w.pressKey(vkey::kLeft);
                     w.type("b");
                 },
                 "abc", 2},
        EditCase{"BackspaceRemovesItAgain",
                 [](W& w) {
                     w.type("ac");
                     w.pressKey(vkey::kLeft);
                     w.type("b");
                     w.backspace();
                 },
                 "ac", 1},
        EditCase{"DeleteTakesTheOneAfterTheCaret",
                 [](W& w) {
                     w.type("abc");
                     w.pressKey(vkey::kHome);
                     w.pressKey(vkey::kRight);
                     w.pressKey(vkey::kDelete);
                 },
                 "ac", 1},
        EditCase{"BackspaceAtTheStartDoesNothing",
                 [](W& w) {
                     w.type("ab");
                     w.pressKey(vkey::kHome);
                     w.backspace();
                 },
                 "ab", 0},
        EditCase{"PasteInTheMiddle",
                 [](W& w) {
                     w.type("a");
                     w.type("e");
                     w.pressKey(vkey::kLeft);
                     w.paste("bcd");
                 },
                 "abcde", 4},
        // The dialog selects all when tabbing in; the key press collapses that
        // before the character arrives, so nothing typed is lost.
        EditCase{"TabbedIntoAFilledFieldTypingInsertsAtTheStart",
                 [](W& w) {
                     w.type("xy");
                     w.tabInto();
                     w.type("a");
                 },
                 "axy", 1},
        // Each Shift+Left selects one more character, which is collapsed at
        // once: the caret just walks left.
        EditCase{"ShiftArrowSelectsNothingSoTypingInserts",
                 [](W& w) {
                     w.type("abc");
                     w.pressKey(vkey::kLeft, true);
                     w.pressKey(vkey::kLeft, true);
                     w.type("X");
                 },
                 "aXbc", 2}),
    [](const ::testing::TestParamInfo<EditCase>& i) { return std::string(i.param.label); });

TEST_F(SecureEditTest, EveryChangeReachesTheParentAndLeavesTheCaretVisible) {
    window.type("ab");
    EXPECT_GE(changes, 2);
    EXPECT_GE(window.scrolls(), 2);
    EXPECT_EQ(text(), "ab");
}

// ---- selections -------------------------------------------------------------

TEST_F(SecureEditTest, MouseSelectionIsGoneAfterTheButtonIsReleased) {
    window.type("abcd");
    window.selectWithMouse(3, 1);
    EXPECT_FALSE(window.hasSelection());
    EXPECT_EQ(window.caret(), 1u);
    window.doubleClick(2);
    EXPECT_FALSE(window.hasSelection());
    EXPECT_EQ(secret(), "abcd");
}

TEST_F(SecureEditTest, FocusCollapsesASelection) {
    window.type("abcd");
    window.setSelection(1, 3);
    window.focus();
    EXPECT_FALSE(window.hasSelection());
    EXPECT_EQ(window.caret(), 1u);
}

struct ShiftCase {
    const char* label;
    int key;
    bool shift;
    std::string secret;
    std::size_t caret;
};
void PrintTo(const ShiftCase& c, std::ostream* os) { *os << c.label; }

class SecureEditShiftTest : public SecureEditTest, public ::testing::WithParamInterface<ShiftCase> {};

TEST_P(SecureEditShiftTest, ShiftHomeAndShiftEndEmptyTheControl) {
    window.type("abcd");
    window.pressKey(vkey::kLeft);
    window.pressKey(vkey::kLeft);
    int before = changes;
    window.pressKey(GetParam().key, GetParam().shift);
    EXPECT_EQ(secret(), GetParam().secret);
    EXPECT_EQ(window.shown(), stars(GetParam().secret.size()));
    EXPECT_EQ(edit.shownLength(), GetParam().secret.size());
    EXPECT_EQ(window.caret(), GetParam().caret);
    // The parent learns that the field emptied (its OK button depends on it).
    EXPECT_EQ(changes > before, GetParam().secret.empty());
    window.type("z");
    EXPECT_EQ(secret(), GetParam().secret.empty() ? "z" : GetParam().secret.substr(0, GetParam().caret) + "z" +
                                                              GetParam().secret.substr(GetParam().caret));
}

INSTANTIATE_TEST_SUITE_P(Keys, SecureEditShiftTest,
                         ::testing::Values(ShiftCase{"ShiftHome", vkey::kHome, true, "", 0},
                                           ShiftCase{"ShiftEnd", vkey::kEnd, true, "", 0},
                                           ShiftCase{"HomeAlone", vkey::kHome, false, "abcd", 0},
                                           ShiftCase{"EndAlone", vkey::kEnd, false, "abcd", 4}),
                         [](const ::testing::TestParamInfo<ShiftCase>& i) { return std::string(i.param.label); });

// ---- secure and plain mode --------------------------------------------------

TEST_F(SecureEditTest, SwitchingToPlainShowsTheTextAndBackHidesIt) {
    window.type("abc");
    edit.setSecureMode(false);
    EXPECT_FALSE(edit.secureMode());
    EXPECT_EQ(window.shown(), "abc");
    EXPECT_TRUE(edit.secret().isEmpty());
    EXPECT_EQ(text(), "abc");
    EXPECT_EQ(edit.shownLength(), 3u);

    // A plain edit keeps what is typed in the window only.
    window.pressKey(vkey::kEnd);
    window.type("d");
    EXPECT_EQ(window.shown(), "abcd");
    EXPECT_TRUE(edit.secret().isEmpty());
    EXPECT_EQ(edit.shownLength(), 4u);

    edit.setSecureMode(true);
    EXPECT_EQ(window.shown(), "****");
    EXPECT_EQ(secret(), "abcd");
    EXPECT_EQ(edit.shownLength(), 4u);

    edit.setSecureMode(true);  // unchanged: nothing happens
    EXPECT_EQ(secret(), "abcd");
    EXPECT_EQ(window.shown(), "****");
}

TEST_F(SecureEditTest, SwitchingAnEmptyControlLeavesItEmpty) {
    edit.setSecureMode(false);
    EXPECT_EQ(window.shown(), "");
    edit.setSecureMode(true);
    EXPECT_EQ(window.shown(), "");
    EXPECT_TRUE(edit.secret().isEmpty());
}

struct SetTextCase {
    const char* label;
    bool secure;
    const char* text;
    std::string shown;
    std::string secret;
};
void PrintTo(const SetTextCase& c, std::ostream* os) { *os << c.label; }

class SecureEditSetTextTest : public SecureEditTest, public ::testing::WithParamInterface<SetTextCase> {};

TEST_P(SecureEditSetTextTest, ReplacesWhatWasThere) {
    edit.setSecureMode(GetParam().secure);
    window.type("old");
    edit.setText(GetParam().text);
    EXPECT_EQ(window.shown(), GetParam().shown);
    EXPECT_EQ(secret(), GetParam().secret);
    EXPECT_EQ(edit.shownLength(), GetParam().shown.size());
    // Typing goes on from a consistent state.
    window.pressKey(vkey::kEnd);
    window.type("!");
    EXPECT_EQ(text(), std::string(GetParam().text ? GetParam().text : "") + "!");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SecureEditSetTextTest,
    ::testing::Values(SetTextCase{"Secure", true, "pass", "****", "pass"},
                      SetTextCase{"SecureEmpty", true, "", "", ""},
                      SetTextCase{"SecureNull", true, nullptr, "", ""},
                      SetTextCase{"Plain", false, "pass", "pass", ""},
                      SetTextCase{"PlainNull", false, nullptr, "", ""}),
    [](const ::testing::TestParamInfo<SetTextCase>& i) { return std::string(i.param.label); });

TEST_F(SecureEditTest, DeleteCharactersPastTheEndDoesNothing) {
    edit.setText("abc");
    edit.deleteCharacters(2, 2);
    EXPECT_EQ(secret(), "abc");
    edit.deleteCharacters(1, 2);
    EXPECT_EQ(secret(), "a");
}

// ---- masking ----------------------------------------------------------------

TEST_F(SecureEditTest, LongSecretReusesTheMaskCyclically) {
    const std::string typed = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJ";  // 46 characters
    window.type(typed);
    ASSERT_TRUE(maskedAtRest(edit.secret(), typed));
    // The cells do not hold the characters themselves.
    int plainCells = 0;
    for (std::size_t i = 0; i < typed.size(); ++i) {
        if (SecureStringInspector::cell(edit.secret(), i) == static_cast<unsigned char>(typed[i])) ++plainCells;
    }
    EXPECT_LT(plainCells, 10);

    // A character in front moves every other one to a new mask byte.
    window.pressKey(vkey::kHome);
    window.type("#");
    EXPECT_TRUE(maskedAtRest(edit.secret(), "#" + typed));
    window.pressKey(vkey::kDelete);
    window.pressKey(vkey::kEnd);
    window.backspace();
    EXPECT_TRUE(maskedAtRest(edit.secret(), "#" + typed.substr(1, typed.size() - 2)));
}

// ---- the masked store -------------------------------------------------------

class SecureStringRoundTripTest : public ::testing::TestWithParam<std::string> {};

TEST_P(SecureStringRoundTripTest, GetTextGivesBackWhatSetTextStored) {
    CSecureString s;
    s.setText(GetParam().c_str());
    EXPECT_EQ(plain(s), GetParam());
    EXPECT_EQ(s.length(), GetParam().size());
    EXPECT_EQ(s.isEmpty(), GetParam().empty());
    EXPECT_TRUE(maskedAtRest(s, GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Texts, SecureStringRoundTripTest,
                         ::testing::Values(std::string(), std::string("a"), std::string("p\xE4ssw\xF6rd \xFF"),
                                           std::string(100, 'x'), std::string("exactly thirty-two characters!!!")));

TEST(SecureStringTest, InsertionsThatCannotHappenChangeNothing) {
    CSecureString s;
    s.setText("abc");
    s.insertCharacters(4, "x", 1);  // past the end
    s.insertCharacters(1, nullptr, 1);
    s.insertCharacters(1, "x", 0);
    EXPECT_EQ(plain(s), "abc");
    s.insertCharacters(3, "de", 2);  // right at the end is fine
    EXPECT_EQ(plain(s), "abcde");
    s.deleteCharacters(4, 2);  // past the end
    EXPECT_EQ(plain(s), "abcde");
}

TEST(SecureStringTest, CopiesAreIndependentAndMaskedTheirOwnWay) {
    CSecureString a;
    a.setText("secret");
    CSecureString b(a);
    CSecureString c;
    c = a;
    a.setText("changed");
    EXPECT_EQ(plain(b), "secret");
    EXPECT_EQ(plain(c), "secret");
    c = c;
    EXPECT_EQ(plain(c), "secret");
    bool sameMask = true;
    for (std::size_t i = 0; i < CSecureString::kMaskSize; ++i) {
        sameMask = sameMask && SecureStringInspector::mask(b, i) == SecureStringInspector::mask(c, i);
    }
    EXPECT_FALSE(sameMask);
    c.clear();
    EXPECT_TRUE(c.isEmpty());
    EXPECT_EQ(plain(c), "");
}

TEST(SecureStringTest, ReleasePlainCopyWipesAndAcceptsNull) {
    EXPECT_NO_THROW(releasePlainCopy(nullptr));
    CSecureString s;
    s.setText("abc");
    char* copy = s.getText();
    EXPECT_STREQ(copy, "abc");
    secureWipe(copy, 3);
    EXPECT_EQ(copy[0] | copy[1] | copy[2], 0);
    releasePlainCopy(copy);
}

}  // namespace
