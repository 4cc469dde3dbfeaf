// The entry dialogs exist twice: as dialog resources in src/res/keyhold.rc
// (what Windows shows) and as the templates their logic and the in-memory
// dialogs work with. These tests read the resources and compare.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "EntryDataDlg.h"
#include "NewEntryDlg.h"
#include "RcDialogReader.h"
#include "platform/DialogControls_memory.h"
#include "res/resource.h"

namespace {

using namespace rc;

struct tDialogCase {
    const char* name;
    const tDialogTemplate& (*get)();
    CDialogLogic* (*make)();
};

class EntryDialogsResourceTest : public ::testing::TestWithParam<tDialogCase> {};

TEST_P(EntryDialogsResourceTest, DialogMatchesTheTemplate) {
    const tDialogTemplate& t = GetParam().get();
    RcDialog d = readDialog(t.resourceId);
    ASSERT_TRUE(d.found) << "no DIALOGEX " << t.resourceId << " in keyhold.rc";
    EXPECT_EQ(d.cx, 284);
    EXPECT_EQ(d.cy, 239);
    EXPECT_EQ(d.cx, t.cx);
    EXPECT_EQ(d.cy, t.cy);
    EXPECT_EQ(d.caption, t.title);
    EXPECT_EQ(d.font, "MS Shell Dlg");
    for (const char* flag : {"DS_MODALFRAME", "DS_SETFONT", "WS_POPUP", "WS_CAPTION", "WS_SYSMENU"}) {
        EXPECT_TRUE(has(d.style, flag)) << flag;
    }
    ASSERT_EQ(d.controls.size(), t.controls.size());
    for (const tControlTemplate& want : t.controls) {
        SCOPED_TRACE("control " + std::to_string(want.id) + " \"" + want.text + "\"");
        const RcControl* got = d.find(want.id, want.text);
        ASSERT_NE(got, nullptr);
        expectControlMatches(*got, want);
        if (want.kind == eControlKind::ComboBox) {
            EXPECT_TRUE(want.sorted);
            for (const char* flag : {"CBS_DROPDOWNLIST", "CBS_SORT", "WS_VSCROLL"}) {
                EXPECT_TRUE(has(got->style, flag)) << flag;
            }
        }
    }
}

TEST_P(EntryDialogsResourceTest, ReadOnlyFieldsAreReadOnlyInTheResourceToo) {
    // The logic makes fields read-only when the dialog opens; the resource
    // says the same, so nothing is writable for a moment on Windows.
    const tDialogTemplate& t = GetParam().get();
    RcDialog d = readDialog(t.resourceId);
    ASSERT_TRUE(d.found);
    std::unique_ptr<CDialogLogic> logic(GetParam().make());
    platform::MemoryDialogControls controls(*logic);
    controls.start();
    int readOnly = 0;
    for (const tControlTemplate& c : t.controls) {
        if (c.kind != eControlKind::Edit && c.kind != eControlKind::SecureEdit) continue;
        const RcControl* got = d.find(c.id);
        ASSERT_NE(got, nullptr) << c.id;
        EXPECT_EQ(has(got->style, "ES_READONLY"), controls.control(c.id).readOnly) << c.id;
        readOnly += controls.control(c.id).readOnly ? 1 : 0;
    }
    EXPECT_GE(readOnly, 2) << "the password fields at least";
}

TEST_P(EntryDialogsResourceTest, EditsAreOrdinaryEditsAndTheNotesTakeLines) {
    const tDialogTemplate& t = GetParam().get();
    RcDialog d = readDialog(t.resourceId);
    ASSERT_TRUE(d.found);
    for (int id : {IDC_ENTRY_PASSWORD, IDC_ENTRY_PASSWORD_AGAIN}) {
        // Secure edits draw their own asterisks: no ES_PASSWORD; they scroll.
        ASSERT_NE(t.find(id), nullptr);
        EXPECT_EQ(t.find(id)->kind, eControlKind::SecureEdit) << id;
        const RcControl* c = d.find(id);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->statement, "EDITTEXT");
        EXPECT_FALSE(has(c->style, "ES_PASSWORD")) << id;
        EXPECT_TRUE(has(c->style, "ES_AUTOHSCROLL")) << id;
    }
    const RcControl* notes = d.find(IDC_ENTRY_NOTES);
    ASSERT_NE(notes, nullptr);
    for (const char* flag : {"ES_MULTILINE", "ES_WANTRETURN", "WS_VSCROLL", "ES_AUTOVSCROLL"}) {
        EXPECT_TRUE(has(notes->style, flag)) << flag;
    }
    int defaults = 0;
    for (const RcControl& c : d.controls) {
        if (c.statement == "DEFPUSHBUTTON") {
            ++defaults;
            EXPECT_EQ(c.id, kDialogOk);
        }
        if (c.statement == "EDITTEXT") {
            EXPECT_FALSE(has(c.style, "NOT\\s+WS_TABSTOP")) << c.id;
        }
    }
    EXPECT_EQ(defaults, 1);
    // Every field the user fills in has its label for the Linux dialogs.
    for (const tControlTemplate& c : t.controls) {
        if ((c.kind == eControlKind::Edit || c.kind == eControlKind::SecureEdit || c.kind == eControlKind::ComboBox) &&
            c.visible) {
            EXPECT_FALSE(c.label.empty()) << c.id;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Both, EntryDialogsResourceTest,
    ::testing::Values(tDialogCase{"NewEntry", &CNewEntryDlg::resourceTemplate,
                                  [] { return static_cast<CDialogLogic*>(new CNewEntryDlg()); }},
                      tDialogCase{"ViewEntry", &CEntryDataDlg::resourceTemplate,
                                  [] { return static_cast<CDialogLogic*>(new CEntryDataDlg()); }}),
    [](const ::testing::TestParamInfo<tDialogCase>& info) { return std::string(info.param.name); });

}  // namespace
