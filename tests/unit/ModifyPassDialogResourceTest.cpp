// The entry password dialog exists twice: as DIALOGEX 3031 in keyhold.rc
// (what Windows shows) and as the template its logic and the in-memory
// dialogs work with. These tests read the resource and compare.
#include <gtest/gtest.h>

#include "ModifyPassDlg.h"
#include "RcDialogReader.h"
#include "res/resource.h"

namespace {

class ModifyPassDialogResourceTest : public ::testing::Test {
protected:
    const tDialogTemplate& t = CModifyPassDlg::resourceTemplate();
    rc::RcDialog d = rc::readDialog(IDD_MODIFY_PASSWORD);
};

TEST_F(ModifyPassDialogResourceTest, DialogMatchesTheTemplate) {
    ASSERT_TRUE(d.found) << "no DIALOGEX " << IDD_MODIFY_PASSWORD << " in keyhold.rc";
    EXPECT_EQ(t.resourceId, 3031);
    EXPECT_EQ(d.cx, t.cx);
    EXPECT_EQ(d.cy, t.cy);
    EXPECT_EQ(d.caption, t.title);
    EXPECT_EQ(d.font, "MS Sans Serif");
    for (const char* flag : {"DS_MODALFRAME", "WS_POPUP", "WS_CAPTION", "WS_SYSMENU"}) {
        EXPECT_TRUE(rc::has(d.style, flag)) << flag;
    }
}

TEST_F(ModifyPassDialogResourceTest, EveryControlMatchesItsTemplateInOrder) {
    ASSERT_TRUE(d.found);
    ASSERT_EQ(d.controls.size(), t.controls.size());
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        const tControlTemplate& want = t.controls[i];
        const rc::RcControl& got = d.controls[i];  // the order is the tab order
        SCOPED_TRACE("control " + std::to_string(want.id) + " \"" + want.text + "\"");
        rc::expectControlMatches(got, want);
    }
}

TEST_F(ModifyPassDialogResourceTest, SecureEditsAreOrdinaryEditsAndOkIsTheDefault) {
    // A secure edit draws its own asterisks; ES_PASSWORD would hide what it
    // shows in plain mode, and without ES_AUTOHSCROLL a long password stops
    // at the border.
    ASSERT_TRUE(d.found);
    int edits = 0;
    for (const rc::RcControl& c : d.controls) {
        if (rc::kindOf(c) != eControlKind::Edit) continue;
        ++edits;
        EXPECT_FALSE(rc::has(c.style, "ES_PASSWORD")) << c.id;
        EXPECT_TRUE(rc::has(c.style, "ES_AUTOHSCROLL")) << c.id;
        EXPECT_FALSE(rc::has(c.style, "NOT\\s+WS_TABSTOP")) << c.id;
    }
    EXPECT_EQ(edits, 2);
    const rc::RcControl* ok = d.find(kDialogOk);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->statement, "DEFPUSHBUTTON");
    // The check box checks itself when clicked; the logic reads its state.
    const rc::RcControl* encrypt = d.find(IDC_MODIFY_ENCRYPT);
    ASSERT_NE(encrypt, nullptr);
    EXPECT_TRUE(encrypt->statement == "AUTOCHECKBOX" || rc::has(encrypt->style, "BS_AUTOCHECKBOX"));
}

}  // namespace
