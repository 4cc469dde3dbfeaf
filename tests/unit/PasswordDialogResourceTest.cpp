// The master password dialog exists twice: as a dialog resource in
// src/res/keyhold.rc (what Windows shows) and as the template its logic and
// the in-memory dialogs work with. These tests read the resource and compare.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "PassWordDlg.h"
#include "RcDialogReader.h"

namespace {

using namespace rc;

class PasswordDialogResourceTest : public ::testing::Test {
protected:
    const tDialogTemplate& t = CPassWordDlg::resourceTemplate();
    RcDialog rc = readDialog(IDD_PASSWORD);
};

TEST_F(PasswordDialogResourceTest, DialogMatchesTheTemplate) {
    ASSERT_TRUE(rc.found) << "no DIALOGEX " << IDD_PASSWORD << " in keyhold.rc";
    EXPECT_EQ(t.resourceId, IDD_PASSWORD);
    EXPECT_EQ(rc.cx, t.cx);
    EXPECT_EQ(rc.cy, t.cy);
    EXPECT_EQ(rc.caption, t.title);
    for (const char* flag : {"DS_MODALFRAME", "WS_POPUP", "WS_CAPTION", "WS_SYSMENU"}) {
        EXPECT_TRUE(has(rc.style, flag)) << flag;
    }
}

TEST_F(PasswordDialogResourceTest, EveryControlMatchesItsTemplate) {
    ASSERT_TRUE(rc.found);
    ASSERT_EQ(rc.controls.size(), t.controls.size());
    for (const tControlTemplate& want : t.controls) {
        SCOPED_TRACE("control " + std::to_string(want.id) + " \"" + want.text + "\"");
        const RcControl* got = nullptr;
        for (const RcControl& c : rc.controls) {
            if (c.id == want.id && (want.id != -1 || c.text == want.text)) got = &c;
        }
        ASSERT_NE(got, nullptr);
        expectControlMatches(*got, want);
    }
}

TEST_F(PasswordDialogResourceTest, SecureEditsAreOrdinaryEditsThatScroll) {
    // A secure edit draws its own asterisks; ES_PASSWORD would hide what it
    // shows, and without ES_AUTOHSCROLL a long password stops at the border.
    ASSERT_TRUE(rc.found);
    int edits = 0;
    for (const RcControl& c : rc.controls) {
        if (c.statement != "EDITTEXT") continue;
        ++edits;
        EXPECT_FALSE(has(c.style, "ES_PASSWORD")) << c.id;
        EXPECT_TRUE(has(c.style, "ES_AUTOHSCROLL")) << c.id;
        EXPECT_FALSE(has(c.style, "NOT\\s+WS_TABSTOP")) << c.id;
        EXPECT_FALSE(has(c.style, "NOT\\s+WS_BORDER")) << c.id;
    }
    EXPECT_EQ(edits, 2);
    // The default button is OK.
    for (const RcControl& c : rc.controls) {
        if (c.statement == "DEFPUSHBUTTON") {
            EXPECT_EQ(c.id, kDialogOk);
        }
    }
}

}  // namespace
