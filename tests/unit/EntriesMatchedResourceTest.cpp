// The chooser of matching entries exists twice: as DIALOGEX 3019 in
// keyhold.rc (what Windows shows) and as the template its logic and the
// in-memory dialogs work with. These tests read the resource and compare.
#include <gtest/gtest.h>

#include "EntriesMatched.h"
#include "RcDialogReader.h"
#include "res/resource.h"

namespace {

class EntriesMatchedResourceTest : public ::testing::Test {
protected:
    const tDialogTemplate& t = CEntriesMatched::resourceTemplate();
    rc::RcDialog d = rc::readDialog(IDD_ENTRIES_MATCHED);
};

TEST_F(EntriesMatchedResourceTest, DialogMatchesTheTemplate) {
    ASSERT_TRUE(d.found) << "no DIALOGEX " << IDD_ENTRIES_MATCHED << " in keyhold.rc";
    EXPECT_EQ(t.resourceId, 3019);
    EXPECT_EQ(d.cx, 194);
    EXPECT_EQ(d.cy, 80);
    EXPECT_EQ(d.cx, t.cx);
    EXPECT_EQ(d.cy, t.cy);
    EXPECT_EQ(d.caption, "Possible entries");
    EXPECT_EQ(d.caption, t.title);
    EXPECT_EQ(d.font, "MS Shell Dlg");
    for (const char* flag : {"DS_MODALFRAME", "DS_SETFONT", "WS_POPUP", "WS_CAPTION", "WS_SYSMENU"}) {
        EXPECT_TRUE(rc::has(d.style, flag)) << flag;
    }
}

TEST_F(EntriesMatchedResourceTest, EveryControlMatchesItsTemplateInOrder) {
    ASSERT_TRUE(d.found);
    ASSERT_EQ(d.controls.size(), t.controls.size());
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        const tControlTemplate& want = t.controls[i];
        const rc::RcControl& got = d.controls[i];  // the order is the tab order and the z-order
        SCOPED_TRACE("control " + std::to_string(want.id) + " \"" + want.text + "\"");
        rc::expectControlMatches(got, want);
    }
}

TEST_F(EntriesMatchedResourceTest, TheListSortsNotifiesAndScrollsAndOkIsTheDefault) {
    ASSERT_TRUE(d.found);
    const rc::RcControl* list = d.find(IDC_MATCHED_LIST);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->id, 3035);
    ASSERT_NE(t.find(IDC_MATCHED_LIST), nullptr);
    EXPECT_TRUE(t.find(IDC_MATCHED_LIST)->sorted) << "the in-memory list sorts as the real one does";
    EXPECT_FALSE(t.find(IDC_MATCHED_LIST)->label.empty()) << "the Linux dialog asks with it";
    for (const char* flag : {"LBS_SORT", "LBS_NOTIFY", "WS_VSCROLL", "WS_HSCROLL", "WS_BORDER", "WS_TABSTOP",
                             "LBS_NOINTEGRALHEIGHT"}) {
        EXPECT_TRUE(rc::has(list->style, flag)) << flag;
    }
    int defaults = 0;
    for (const rc::RcControl& c : d.controls) {
        if (c.statement == "DEFPUSHBUTTON") {
            ++defaults;
            EXPECT_EQ(c.id, kDialogOk);
        }
    }
    EXPECT_EQ(defaults, 1);
    const rc::RcControl* cancel = d.find(kDialogCancel);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->statement, "PUSHBUTTON");
}

}  // namespace
