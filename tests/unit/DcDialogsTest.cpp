// The dialogs in Double Commander: every dialog is one form made from its
// template and shown through the extension API, driven by a model of DC
// 1.0.10's dialog engine (DcDialogModel) as a user would drive the real one.
// The model fails a test for every message DC 1.0.10 does not know, every
// item name that matches no control, and every handler DC lacks.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "DcDialogModel.h"
#include "EntriesMatched.h"
#include "EntryDataDlg.h"
#include "ModifyPassDlg.h"
#include "NewEntryDlg.h"
#include "PassWordDlg.h"
#include "StoreFixture.h"
#include "platform/DialogForm_dc.h"
#include "platform/Dialogs.h"
#include "platform/HostExtension.h"
#include "platform/MessageBoxes.h"
#include "res/resource.h"

namespace {

using dcmodel::Form;
using platform::dcform::controlName;

std::string plain(const CSecureString& s) {
    CPlainCopy p(s);
    return p.c_str() != nullptr ? p.c_str() : "";
}

std::string decrypted(const std::string& cipher, const std::string& salt) {
    std::string out;
    EXPECT_EQ(security::decrypt(cipher, salt, out), 1) << "no salt";
    return out;
}

const std::vector<const tDialogTemplate*>& allTemplates() {
    static const std::vector<const tDialogTemplate*> t{
        &CPassWordDlg::resourceTemplate(), &CModifyPassDlg::resourceTemplate(), &CNewEntryDlg::resourceTemplate(),
        &CEntryDataDlg::resourceTemplate(), &CEntriesMatched::resourceTemplate()};
    return t;
}

TEST(DcFormTest, EveryFormParsesAndHoldsEveryControlOfItsTemplate) {
    for (const tDialogTemplate* t : allTemplates()) {
        SCOPED_TRACE(t->title + " " + std::to_string(t->resourceId));
        const std::string text = platform::dcform::formText(*t, t->title, 7, true);
        Form form;
        std::string why;
        ASSERT_TRUE(dcmodel::parse(text, form, why)) << why << "\n" << text;
        EXPECT_EQ(form.caption, t->title);
        EXPECT_EQ(form.tag, 7);
        EXPECT_EQ(form.props["OnShow"], "DialogBoxShow");
        EXPECT_EQ(form.props["BorderStyle"], "bsDialog");
        std::vector<int> tabOrders;
        for (std::size_t i = 0; i < t->controls.size(); ++i) {
            const tControlTemplate& c = t->controls[i];
            const std::string name = controlName(*t, i);
            SCOPED_TRACE(name);
            const dcmodel::Component* got = form.find(name);
            ASSERT_NE(got, nullptr);
            EXPECT_EQ(got->visible, c.visible);
            EXPECT_EQ(got->enabled, c.enabled);
            EXPECT_EQ(got->left, platform::dcform::pixelsX(c.x));
            EXPECT_EQ(got->width, platform::dcform::pixelsX(c.cx));
            switch (c.kind) {
                case eControlKind::Static:
                    EXPECT_EQ(got->cls, "TLabel");
                    EXPECT_EQ(got->text, c.text);
                    break;
                case eControlKind::Button:
                    EXPECT_EQ(got->cls, "TButton");
                    EXPECT_EQ(got->text, c.text);
                    EXPECT_EQ(got->prop("OnClick"), "ButtonClick");
                    EXPECT_EQ(got->prop("Default") == "True", c.id == kDialogOk);
                    EXPECT_EQ(got->prop("Cancel") == "True", c.id == kDialogCancel);
                    break;
                case eControlKind::CheckBox:
                    EXPECT_EQ(got->cls, "TCheckBox");
                    EXPECT_EQ(got->text, c.text);
                    EXPECT_EQ(got->prop("OnChange"), "CheckBoxChange");
                    break;
                case eControlKind::Edit:
                    EXPECT_EQ(got->cls, c.multiLine ? "TMemo" : "TEdit");
                    if (!c.multiLine) {
                        EXPECT_EQ(got->prop("OnChange"), "EditChange");
                    }
                    EXPECT_FALSE(got->has("PasswordChar"));
                    break;
                case eControlKind::SecureEdit: {
                    EXPECT_EQ(got->cls, "TEdit");
                    EXPECT_EQ(got->prop("PasswordChar"), "'*'");
                    EXPECT_EQ(got->prop("OnChange"), "EditChange");
                    const dcmodel::Component* twin = form.find(platform::dcform::plainName(name));
                    ASSERT_NE(twin, nullptr);
                    EXPECT_EQ(twin->cls, "TEdit");
                    EXPECT_FALSE(twin->has("PasswordChar"));
                    EXPECT_FALSE(twin->visible);
                    EXPECT_EQ(twin->left, got->left);
                    EXPECT_EQ(twin->top, got->top);
                    EXPECT_EQ(twin->tabOrder, got->tabOrder + 1);
                    break;
                }
                case eControlKind::ComboBox:
                    EXPECT_EQ(got->cls, "TComboBox");
                    EXPECT_EQ(got->prop("Style"), "csDropDownList");
                    break;
                case eControlKind::ListBox:
                    EXPECT_EQ(got->cls, "TListBox");
                    EXPECT_EQ(got->prop("OnDblClick"), "ListBoxDblClick");
                    EXPECT_EQ(got->prop("OnSelectionChange"), "ListBoxSelectionChange");
                    EXPECT_NE(form.find(platform::dcform::notesName(name)), nullptr);
                    break;
            }
            if (!c.toolTip.empty()) {
                EXPECT_EQ(got->prop("ShowHint"), "True");
                EXPECT_NE(got->prop("Hint"), "");
            }
            if (c.kind != eControlKind::Static) tabOrders.push_back(got->tabOrder);
        }
        // The tab order is the template's (the Windows resource's) order.
        EXPECT_TRUE(std::is_sorted(tabOrders.begin(), tabOrders.end()));
        EXPECT_EQ(std::set<int>(tabOrders.begin(), tabOrders.end()).size(), tabOrders.size());
    }
}

TEST(DcFormTest, TheToolTipsTheDialogsGiveAreTheFormsHints) {
    // The insert buttons' tool tips, as the entry dialogs attach them.
    std::map<int, std::string> inserts;
    for (const tControlTemplate& c : CNewEntryDlg::resourceTemplate().controls) {
        if (c.kind == eControlKind::Button && c.text.size() == 1) inserts[c.id] = c.toolTip;
    }
    EXPECT_EQ(inserts.size(), 9u);
    EXPECT_EQ(inserts[IDC_INSERT_LAST_WINDOW], "Last window found (via hot key)");
    EXPECT_EQ(inserts[IDC_INSERT_AUTOTYPE], "AutopType");
    for (const tDialogTemplate* t :
         {&CNewEntryDlg::resourceTemplate(), &CEntryDataDlg::resourceTemplate(), &CPassWordDlg::resourceTemplate()}) {
        Form form;
        std::string why;
        ASSERT_TRUE(dcmodel::parse(platform::dcform::formText(*t, t->title, 1, true), form, why)) << why;
        for (std::size_t i = 0; i < t->controls.size(); ++i) {
            const tControlTemplate& c = t->controls[i];
            if (c.toolTip.empty()) continue;
            EXPECT_EQ(form.at(controlName(*t, i)).prop("Hint"), platform::dcform::lfmString(c.toolTip));
        }
    }
    const tControlTemplate* second = CPassWordDlg::resourceTemplate().find(IDC_PASSWORD_SECOND);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->toolTip, "Both passwords must match.");
}

TEST(DcFormTest, TextsWithQuotesLineEndsAndNonAsciiSurviveTheLfmString) {
    for (const std::string& text : {std::string("it's"), std::string("a\nb\r\n"),
                                    std::string("Gr\xC3\xBC\xC3\x9F"
                                                "e"),
                                    std::string(""), std::string("\xE2\x82\xAC 5"), std::string("''")}) {
        std::string back;
        tDialogTemplate t{1, text, 100, 50, {{kDialogOk, eControlKind::Button, text, 1, 1, 20, 10, true, true, ""}}};
        Form form;
        std::string why;
        ASSERT_TRUE(dcmodel::parse(platform::dcform::formText(t, text, 1, false), form, why)) << why;
        EXPECT_EQ(form.caption, text);
        EXPECT_EQ(form.at("Button1").text, text);
    }
}

TEST(DcFormTest, TheChoosersNotesGoUnderTheListAndTheButtonsBelowThem) {
    const tDialogTemplate& t = CEntriesMatched::resourceTemplate();
    const platform::dcform::tFormLayout l = platform::dcform::layout(t, true);
    ASSERT_TRUE(l.hasNotes);
    const platform::dcform::tPlace& list = l.places[l.notesList];
    EXPECT_GE(l.notes.y, list.y + list.cy);
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        if (i == l.notesList) continue;
        EXPECT_GE(l.places[i].y, l.notes.y + l.notes.cy) << t.controls[i].id;  // nothing overlaps the box
        EXPECT_LE(l.places[i].y + l.places[i].cy, l.cy) << t.controls[i].id;
    }
}

// ---- The extension API's state ----

TEST(HostExtensionTest, CopiesOnlyWhatTheHostsStructureHolds) {
    dcmodel::Host host;
    dcext::tExtensionStartupInfo info = host.startupInfo();
    platform::HostExtension ext;
    ext.initialize(&info);
    EXPECT_TRUE(ext.calls().hasDialogs());
    EXPECT_NE(ext.calls().messageBox, nullptr);
    EXPECT_EQ(ext.pluginConfDir(), "/home/user/.config/doublecmd/");

    // A structure that ends before the dialog callbacks.
    info.StructSize = static_cast<std::uint32_t>(offsetof(dcext::tExtensionStartupInfo, DialogBoxLFM));
    ext.initialize(&info);
    EXPECT_FALSE(ext.calls().hasDialogs());
    EXPECT_NE(ext.calls().messageBox, nullptr);

    ext.finalize();
    EXPECT_EQ(ext.calls().messageBox, nullptr);
    ext.initialize(nullptr);
    EXPECT_FALSE(ext.calls().hasDialogs());
    EXPECT_EQ(ext.pluginConfDir(), "");
}

// ---- The dialogs in the host ----

class DcDialogsTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        info_ = host.startupInfo();
        platform::hostExtension().initialize(&info_);
        // The plug-in's own dialogs and message boxes on Linux, the host's
        // request callback unused.
        platform::services().dialogs = platform::nativeServices().dialogs;
        platform::services().messageBoxes = platform::nativeServices().messageBoxes;
        platform::services().dialogs->setHostRequest(
            [](int, const std::string& title, const std::string& text, std::string&) {
                ADD_FAILURE() << "request callback: " << title << " / " << text;
                return false;
            });
        platform::services().messageBoxes->setHostRequest(
            platform::services().dialogs == nullptr
                ? platform::HostRequest()
                : [](int, const std::string& title, const std::string& text, std::string&) {
                      ADD_FAILURE() << "request: " << title << text;
                      return false;
                  });
        savedTitle_ = theApp().m_lastWindowTitle;
        theApp().m_lastWindowTitle = "the last window";
    }
    void TearDown() override {
        theApp().m_lastWindowTitle = savedTitle_;
        platform::nativeServices().dialogs->setHostRequest({});
        platform::nativeServices().messageBoxes->setHostRequest({});
        platform::hostExtension().finalize();
        platform::hostExtension().initialize(nullptr);
        EXPECT_EQ(host.inputBoxes, 0);
        EXPECT_TRUE(host.users.empty()) << host.users.size() << " users never got a form";
        for (const auto& f : host.shown) {
            for (const dcmodel::Component& c : f->components) {
                if (c.has("PasswordChar") || isPlainTwin(*f, c)) {
                    EXPECT_EQ(c.text, "") << f->caption << ": " << c.name << " kept its secret";
                }
            }
        }
        StoreFixture::TearDown();
    }
    static bool isPlainTwin(Form& f, const dcmodel::Component& c) {
        const std::string suffix = "Plain";
        if (c.name.size() <= suffix.size() || c.name.compare(c.name.size() - suffix.size(), suffix.size(), suffix) != 0)
            return false;
        const dcmodel::Component* masked = f.find(c.name.substr(0, c.name.size() - suffix.size()));
        return masked != nullptr && masked->has("PasswordChar");
    }

    // A store under "pw" with folders, opened through the password form.
    void open() {
        files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"Base\" id=\"1\" masterkey=\"" +
                               hashOf("pw") +
                               "\"><folder name=\"Mail\" id=\"2\"><folder name=\"Work\" id=\"3\"/></folder>"
                               "<folder name=\"bank\" id=\"4\"/><folder name=\"Zeta\" id=\"5\"/></pswd>";
        start();
        host.users.push_back([](Form& f) {
            f.type("Edit3024", "pw");
            f.pressEnter();
        });
        list("\\");
        ASSERT_EQ(plain(theApp().m_masterPassword), "pw");
        host.shown.clear();
    }

    tTreeNode storedEntry(bool encrypt) {
        tTreeNode e = makeEntry("Giro");
        e.group = "bank";
        e.uniqueNumber = 42;
        if (!encrypt) {
            e.userName = "ann";
            e.password = "hunter2";
            e.notes = "pin 1234";
            return e;
        }
        security::encrypt("ann", e.userName, e.userNameSalt);
        security::encrypt("http://bank.example", e.url, e.urlSalt);
        security::encrypt("hunter2", e.password, e.passwordSalt);
        security::encrypt("pin 1234\r\nline two", e.notes, e.notesSalt);
        security::encrypt(e.name, e.encryptedTitle, e.titleSalt);
        e.encrypted = true;
        return e;
    }

    dcmodel::Host host;

private:
    dcext::tExtensionStartupInfo info_;
    std::string savedTitle_;
};

TEST_F(DcDialogsTest, NewStorePasswordIsTypedTwiceInOneFormAndAMismatchKeepsItOpen) {
    files.content.erase(store);
    start();
    bool okWasDisabled = false;
    host.users.push_back([&](Form& f) {
        EXPECT_EQ(f.caption, kNewStorePasswordTitle);
        EXPECT_TRUE(f.at("Edit3025").visible);
        okWasDisabled = !f.at("Button1").enabled;
        EXPECT_TRUE(f.type("Edit3024", "new one"));
        EXPECT_TRUE(f.at("Button1").enabled);
        EXPECT_TRUE(f.type("Edit3025", "new onf"));
        EXPECT_TRUE(f.pressEnter());
        EXPECT_FALSE(f.closed);  // not equal: told, and the form stays
        EXPECT_TRUE(f.type("Edit3025", "new one"));
        EXPECT_TRUE(f.pressEnter());
        EXPECT_TRUE(f.closed);
    });
    list("\\");
    EXPECT_TRUE(okWasDisabled);
    EXPECT_EQ(plain(theApp().m_masterPassword), "new one");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Passwords not equal.\nRetype password!");
    EXPECT_EQ(host.boxes[0].flags, dcext::MB_OK | dcext::MB_ICONERROR);
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(host.shown[0]->modalResult, 1);
}

TEST_F(DcDialogsTest, AnExistingStoresPasswordFormIsShortenedAndEscapeCancels) {
    files.content[store] =
        "<?xml version=\"1.0\" ?>\n<pswd basename=\"Base\" id=\"1\" masterkey=\"" + hashOf("pw") + "\"></pswd>";
    start();
    host.users.push_back([](Form& f) {
        EXPECT_EQ(f.caption, "Enter Password");
        EXPECT_FALSE(f.at("Edit3025").visible);
        EXPECT_FALSE(f.at("Label3026").visible);
        // The buttons a quarter button height below the field, the form
        // two button heights below it.
        const int below = platform::dcform::pixelsY(21 + 15);
        EXPECT_EQ(f.at("Button1").top, platform::dcform::pixelsY(21 + 15 + 14 / 4));
        EXPECT_EQ(f.height, platform::dcform::pixelsY(21 + 15 + 28));
        EXPECT_GT(f.at("Button1").top, below - 1);
        f.type("Edit3024", "typed");
        EXPECT_TRUE(f.pressEscape());
    });
    EXPECT_TRUE(list("\\").empty());
    EXPECT_TRUE(plain(theApp().m_masterPassword).empty());
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(host.shown[0]->modalResult, 2);
    // The refusal is a message box of the host, not a request.
    ASSERT_FALSE(host.boxes.empty());
    EXPECT_EQ(host.boxes.back().text, "Deny access");
}

TEST_F(DcDialogsTest, NewEntryWithAGeneratedPasswordAndEncryptOn) {
    open();
    std::string generated;
    host.users.push_back([&](Form& f) {
        EXPECT_EQ(f.caption, "New Entry");
        const dcmodel::Component& group = f.at("Combo3020");
        EXPECT_EQ(group.items, (std::vector<std::string>{"\\bank", "\\Mail", "\\Mail\\Work", "\\Zeta"}));
        EXPECT_EQ(group.itemIndex, 0);
        EXPECT_FALSE(f.at("Button1").enabled);   // no title yet
        EXPECT_FALSE(f.at("Edit3008").enabled);  // the password only through its dialog
        EXPECT_TRUE(f.pick("Combo3020", 2));
        EXPECT_TRUE(f.type("Edit3027", "Giro"));
        EXPECT_TRUE(f.at("Button1").enabled);
        EXPECT_TRUE(f.type("Edit3012", "ann"));
        EXPECT_TRUE(f.type("Edit3009", "line one\nline two"));
        EXPECT_TRUE(f.click("Button3043"));     // T: {TAB} at the end of the notes
        EXPECT_TRUE(f.click("Button3016"));     // "*****": the entry password form (next user)
        EXPECT_TRUE(f.at("Edit3008").visible);  // encrypted: the masked edit shows it
        EXPECT_FALSE(f.at("Edit3008Plain").visible);
        EXPECT_EQ(f.at("Edit3008").text, generated);
        EXPECT_TRUE(f.pressEnter());
    });
    host.users.push_back([&](Form& f) {
        EXPECT_EQ(f.caption, "Enter Password");
        EXPECT_TRUE(f.at("Check3022").checked);
        EXPECT_TRUE(f.click("Button3"));  // Generate: shown in clear in both fields
        EXPECT_FALSE(f.at("Edit3024").visible);
        EXPECT_TRUE(f.at("Edit3024Plain").visible);
        generated = f.at("Edit3024Plain").text;
        EXPECT_EQ(generated.size(), 12u);
        EXPECT_EQ(f.at("Edit3025Plain").text, generated);
        EXPECT_EQ(f.at("Edit3024").text, "");  // the text lives in one edit only
        EXPECT_TRUE(f.at("Button1").enabled);
        EXPECT_TRUE(f.pressEnter());
    });
    CNewEntryDlg dialog;
    ASSERT_EQ(dialog.DoModal(), kDialogOk);
    EXPECT_EQ(dialog.m_chosenGroupPath, "\\Mail\\Work");
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_TRUE(node.encrypted);
    EXPECT_EQ(decrypted(node.password, node.passwordSalt), generated);
    EXPECT_EQ(decrypted(node.userName, node.userNameSalt), "ann");
    EXPECT_EQ(decrypted(node.notes, node.notesSalt), "line one\r\nline two{TAB}");
    EXPECT_EQ(decrypted(node.encryptedTitle, node.titleSalt), "Giro");
    EXPECT_EQ(host.shown.size(), 2u);
}

TEST_F(DcDialogsTest, NewEntryWithEncryptOffShortensThePasswordFormAndKeepsThePasswordPlain) {
    open();
    host.users.push_back([&](Form& f) {
        f.type("Edit3027", "Plain one");
        EXPECT_TRUE(f.click("Button3016"));
        EXPECT_FALSE(f.at("Edit3008").visible);
        EXPECT_TRUE(f.at("Edit3008Plain").visible);
        EXPECT_EQ(f.at("Edit3008Plain").text, "open sesame");
        EXPECT_TRUE(f.pressEnter());
    });
    host.users.push_back([&](Form& f) {
        const int fullHeight = f.height;
        EXPECT_TRUE(f.click("Check3022"));  // Encrypt off
        EXPECT_FALSE(f.at("Edit3025").visible);
        EXPECT_FALSE(f.at("Edit3025Plain").visible);
        EXPECT_FALSE(f.at("Label3026").visible);
        EXPECT_LT(f.height, fullHeight);
        EXPECT_EQ(f.at("Button3").top, platform::dcform::pixelsY(21 + 15 + 14 / 4));
        EXPECT_TRUE(f.at("Edit3024Plain").visible);  // plain mode: readable
        EXPECT_TRUE(f.type("Edit3024Plain", "open sesame"));
        EXPECT_TRUE(f.click("Check3022"));  // on again: the full form
        EXPECT_EQ(f.height, fullHeight);
        EXPECT_TRUE(f.at("Edit3024").visible);
        EXPECT_EQ(f.at("Edit3024").text, "open sesame");
        EXPECT_TRUE(f.click("Check3022"));  // and off
        EXPECT_TRUE(f.pressEnter());
    });
    CNewEntryDlg dialog;
    ASSERT_EQ(dialog.DoModal(), kDialogOk);
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_FALSE(node.encrypted);
    EXPECT_EQ(node.password, "open sesame");
    EXPECT_EQ(node.name, "Plain one");
}

TEST_F(DcDialogsTest, ViewEntryIsReadOnlyUntilModifyAndRevealSwapsTheEdits) {
    open();
    host.users.push_back([&](Form& f) {
        EXPECT_EQ(f.caption, "View/Modify entry 42");
        for (const char* field : {"Edit3013", "Edit3027", "Edit3012", "Edit3030", "Edit3009", "Edit3011"}) {
            EXPECT_FALSE(f.at(field).enabled) << field;
        }
        EXPECT_EQ(f.at("Edit3012").text, "ann");
        EXPECT_EQ(f.at("Edit3009").text, "pin 1234\nline two");
        EXPECT_FALSE(f.type("Edit3012", "bob"));
        EXPECT_FALSE(f.at("Button2").visible);
        EXPECT_TRUE(f.at("Edit3008").visible);
        EXPECT_EQ(f.at("Edit3008").text, "hunter2");  // masked by the edit
        EXPECT_TRUE(f.click("Button3016"));           // reveal
        EXPECT_TRUE(f.at("Edit3008Plain").visible);
        EXPECT_FALSE(f.at("Edit3008").visible);
        EXPECT_EQ(f.at("Edit3008Plain").text, "hunter2");
        EXPECT_TRUE(f.click("Button3016"));  // and hide
        EXPECT_TRUE(f.at("Edit3008").visible);
        EXPECT_TRUE(f.click("Button3041"));  // nothing before "&Modify"
        EXPECT_EQ(f.at("Edit3009").text, "pin 1234\nline two");

        EXPECT_TRUE(f.click("Button3"));  // &Modify
        EXPECT_FALSE(f.at("Button3").enabled);
        EXPECT_TRUE(f.at("Button2").visible);
        EXPECT_TRUE(f.type("Edit3012", "bob"));
        EXPECT_TRUE(f.click("Button3041"));      // U
        EXPECT_FALSE(f.at("Edit3027").enabled);  // the title stays read-only
        EXPECT_TRUE(f.pressEnter());
    });
    CEntryDataDlg dialog;
    dialog.SetNodeData(storedEntry(true));
    ASSERT_EQ(dialog.DoModal(), kDialogOk);
    EXPECT_EQ(dialog.m_modified, 1);
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_EQ(decrypted(node.userName, node.userNameSalt), "bob");
    EXPECT_EQ(decrypted(node.notes, node.notesSalt), "pin 1234\r\nline two{USERNAME}");
    EXPECT_EQ(decrypted(node.password, node.passwordSalt), "hunter2");
}

TEST_F(DcDialogsTest, ViewEntryChangesThePasswordThroughTheEntryPasswordForm) {
    open();
    std::string preset;
    host.users.push_back([&](Form& f) {
        EXPECT_TRUE(f.click("Button3"));
        EXPECT_TRUE(f.click("Button3016"));
        EXPECT_EQ(f.at("Edit3008").text, "s3cret!");
        EXPECT_TRUE(f.pressEnter());
    });
    host.users.push_back([&](Form& f) {
        preset = f.at("Edit3024").text;
        EXPECT_TRUE(f.type("Edit3024", "s3cret!"));
        EXPECT_TRUE(f.type("Edit3025", "s3cret!"));
        EXPECT_TRUE(f.pressEnter());
    });
    CEntryDataDlg dialog;
    dialog.SetNodeData(storedEntry(true));
    ASSERT_EQ(dialog.DoModal(), kDialogOk);
    EXPECT_EQ(preset, "hunter2");
    tTreeNode node;
    dialog.GetNodeData(node);
    EXPECT_EQ(decrypted(node.password, node.passwordSalt), "s3cret!");
}

TEST_F(DcDialogsTest, ChooserShowsTheSelectedEntrysNotesUnderTheListAndADoubleClickPicks) {
    std::map<std::string, AutoTypeInfo> matches;
    matches["zeta"].notesText = "Zeta notes\r\nsecond";
    matches["Alpha"].notesText = "Alpha notes";
    matches["beta"].notesText = "";
    host.users.push_back([](Form& f) {
        EXPECT_EQ(f.caption, "Possible entries");
        const dcmodel::Component& list = f.at("List3035");
        EXPECT_EQ(list.items, (std::vector<std::string>{"Alpha", "beta", "zeta"}));
        EXPECT_EQ(list.itemIndex, 0);
        EXPECT_EQ(f.at("List3035Notes").text, "Notes:\n\nAlpha notes");
        EXPECT_TRUE(f.pick("List3035", 2));
        EXPECT_EQ(f.at("List3035Notes").text, "Notes:\n\nZeta notes\nsecond");
        EXPECT_TRUE(f.pick("List3035", 1));
        EXPECT_EQ(f.at("List3035Notes").text, "Notes:\n\n");
        EXPECT_TRUE(f.doubleClick("List3035", 2));
        EXPECT_TRUE(f.closed);
    });
    CEntriesMatched chooser(matches);
    ASSERT_EQ(chooser.DoModal(), kDialogOk);
    EXPECT_EQ(chooser.m_selectedTitle, "zeta");
}

TEST_F(DcDialogsTest, AFormClosedByTheWindowIsCancelledAndNoLaterMessageReachesIt) {
    host.users.push_back([](Form& f) { f.type("Edit3024", "half typed"); });  // then the window's close button
    CModifyPassDlg dialog(true);
    EXPECT_EQ(dialog.DoModal(), kDialogCancel);
    EXPECT_TRUE(dialog.password.isEmpty());
    // DC 1.0.10 tells nothing of that close: the typed text went with its
    // form, which DC frees; nothing of ours could empty it.
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(host.shown[0]->at("Edit3024").text, "half typed");
    host.shown.clear();
}

TEST_F(DcDialogsTest, MessageBoxesGoToTheHostWithTheirButtons) {
    host.boxAnswers = {dcext::ID_NO};
    EXPECT_EQ(platform::messageBoxes().show("Sure?", "Keyhold", platform::MessageButtons::YesNo),
              platform::MessageAnswer::No);
    EXPECT_EQ(platform::messageBoxes().show("Done", "Keyhold", platform::MessageButtons::Ok),
              platform::MessageAnswer::Ok);
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(host.boxes[0].flags, dcext::MB_YESNO);
    EXPECT_EQ(host.boxes[0].caption, "Keyhold");
    EXPECT_EQ(host.boxes[1].flags, dcext::MB_OK);
    EXPECT_EQ(host.boxes[1].text, "Done");
}

}  // namespace
