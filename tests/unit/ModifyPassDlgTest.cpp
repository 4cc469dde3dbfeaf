// The entry password dialog as its user meets it: typed into, clicked, read
// back from the in-memory controls; and the same dialog on Linux, where every
// question is a request through the host's callback.
#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>
#include <string>

#include "KeyholdApp.h"
#include "ModifyPassDlg.h"
#include "PasswordGenerator.h"
#include "TestSupport.h"
#include "WfxApi.h"
#include "platform/Dialogs.h"
#include "res/resource.h"

namespace {

constexpr int kFirst = IDC_MODIFY_FIRST;
constexpr int kSecond = IDC_MODIFY_SECOND;
constexpr int kSecondLabel = IDC_MODIFY_SECOND_LABEL;
constexpr int kEncrypt = IDC_MODIFY_ENCRYPT;
constexpr int kGenerate = IDC_MODIFY_GENERATE;
const char* const kNotEqual = "Passwords not equal.\nRetype password!";

std::string plain(const CSecureString& s) {
    CPlainCopy p(s);
    return p.c_str();
}

CSecureString secret(const char* text) {
    CSecureString s;
    s.setText(text);
    return s;
}

class ModifyPassDlgTest : public PlatformFixture {
protected:
    void SetUp() override {
        PlatformFixture::SetUp();
        savedOptions_ = theApp().m_options;
    }
    void TearDown() override {
        theApp().m_options = savedOptions_;
        PlatformFixture::TearDown();
    }

    struct Place {
        int x, y;
        bool operator==(const Place& o) const { return x == o.x && y == o.y; }
    };
    static Place at(const platform::MemoryDialogControls& c, int id) {
        const tControlTemplate& t = c.control(id).tpl;
        return {t.x, t.y};
    }
    // The full layout as the resource has it.
    static void expectFullLayout(const platform::MemoryDialogControls& c) {
        EXPECT_EQ(c.width(), 180);
        EXPECT_EQ(c.height(), 99);
        EXPECT_TRUE(at(c, kDialogOk) == (Place{15, 78}));
        EXPECT_TRUE(at(c, kGenerate) == (Place{67, 78}));
        EXPECT_TRUE(at(c, kDialogCancel) == (Place{120, 78}));
        EXPECT_TRUE(c.control(kSecond).visible);
        EXPECT_TRUE(c.control(kSecondLabel).visible);
    }
    // Without the second field: the first field ends at 21 + 15 = 36; the
    // buttons stand a quarter button height (3) below it, the dialog ends two
    // button heights (28) below it, the width stays.
    static void expectShortLayout(const platform::MemoryDialogControls& c) {
        EXPECT_EQ(c.width(), 180);
        EXPECT_EQ(c.height(), 36 + 28);
        EXPECT_TRUE(at(c, kDialogOk) == (Place{15, 39}));
        EXPECT_TRUE(at(c, kGenerate) == (Place{67, 39}));
        EXPECT_TRUE(at(c, kDialogCancel) == (Place{120, 39}));
        EXPECT_EQ(c.control(kDialogOk).tpl.cy, 14);
        EXPECT_FALSE(c.control(kSecond).visible);
        EXPECT_FALSE(c.control(kSecondLabel).visible);
    }

private:
    tKeyholdOptions savedOptions_;
};

TEST_F(ModifyPassDlgTest, EncryptOnAsksTwiceAndEnablesOkOnlyWithText) {
    CModifyPassDlg dialog(true);
    platform::MemoryDialogControls c(dialog);
    c.start();
    EXPECT_EQ(c.title(), "Enter Password");
    EXPECT_TRUE(c.control(kEncrypt).checked);
    expectFullLayout(c);
    EXPECT_TRUE(c.control(kFirst).secureMode);
    EXPECT_TRUE(c.control(kSecond).secureMode);
    EXPECT_FALSE(c.control(kDialogOk).enabled) << "OK starts disabled";

    c.type(kFirst, "ab");
    EXPECT_EQ(c.shown(kFirst), "**");
    EXPECT_TRUE(c.control(kDialogOk).enabled);
    c.replace(kFirst, "");
    EXPECT_FALSE(c.control(kDialogOk).enabled) << "an emptied first field disables OK again";
    // The second field alone does not count.
    c.type(kSecond, "ab");
    EXPECT_FALSE(c.control(kDialogOk).enabled);
    c.type(kFirst, "ab");
    ASSERT_TRUE(c.click(kDialogOk));
    EXPECT_TRUE(c.ended());
    EXPECT_EQ(c.result(), kDialogOk);
    EXPECT_EQ(plain(dialog.password), "ab");
    EXPECT_TRUE(dialog.isEncrypt());
    EXPECT_TRUE(messageBoxes.shown.empty());
}

TEST_F(ModifyPassDlgTest, DifferentTextsKeepTheDialogOpenWithTheMessage) {
    CModifyPassDlg dialog(true);
    platform::MemoryDialogControls c(dialog);
    c.start();
    c.type(kFirst, "secret");
    c.type(kSecond, "secreT");
    ASSERT_TRUE(c.click(kDialogOk));
    EXPECT_FALSE(c.ended());
    ASSERT_EQ(messageBoxes.shown.size(), 1u);
    EXPECT_EQ(messageBoxes.shown[0].text, kNotEqual);
    EXPECT_EQ(messageBoxes.shown[0].caption, "Keyhold");
    EXPECT_EQ(messageBoxes.shown[0].buttons, platform::MessageButtons::Ok);
    EXPECT_TRUE(dialog.password.isEmpty()) << "nothing is accepted";

    // A prefix is not equal either (byte comparison up to the end).
    c.replace(kSecond, "secre");
    c.click(kDialogOk);
    EXPECT_FALSE(c.ended());
    EXPECT_EQ(messageBoxes.shown.size(), 2u);

    c.replace(kSecond, "secret");
    c.click(kDialogOk);
    EXPECT_EQ(c.result(), kDialogOk);
    EXPECT_EQ(plain(dialog.password), "secret");
}

// Controls whose secure edits fail when read, once armed.
class FailingControls : public platform::MemoryDialogControls {
public:
    using MemoryDialogControls::MemoryDialogControls;
    bool failing = false;
    void secureText(int id, CSecureString& out) override {
        if (failing) throw std::runtime_error("no memory for the copy");
        MemoryDialogControls::secureText(id, out);
    }
};

TEST_F(ModifyPassDlgTest, AStandardExceptionOnOkIsShownAndTheDialogStaysOpen) {
    CModifyPassDlg dialog(true);
    FailingControls c(dialog);
    c.start();
    c.type(kFirst, "pw");
    c.type(kSecond, "pw");
    c.failing = true;
    ASSERT_TRUE(c.click(kDialogOk));
    EXPECT_FALSE(c.ended());
    ASSERT_EQ(messageBoxes.shown.size(), 1u);
    EXPECT_EQ(messageBoxes.shown[0].text, "Exception: no memory for the copy");
    EXPECT_EQ(messageBoxes.shown[0].caption, "Exception caught");
    EXPECT_TRUE(dialog.password.isEmpty());
    c.failing = false;
    c.click(kDialogOk);
    EXPECT_EQ(c.result(), kDialogOk);
}

TEST_F(ModifyPassDlgTest, PresetShowsInBothFields) {
    {
        CModifyPassDlg dialog(true);
        dialog.setPassword(secret("old"));
        platform::MemoryDialogControls c(dialog);
        c.start();
        EXPECT_EQ(c.shown(kFirst), "***");
        EXPECT_EQ(c.shown(kSecond), "***");
        EXPECT_TRUE(c.control(kDialogOk).enabled) << "the rule runs on text the dialog sets itself";
        c.click(kDialogOk);
        EXPECT_EQ(c.result(), kDialogOk);
        EXPECT_EQ(plain(dialog.password), "old");
    }
    {
        CModifyPassDlg dialog(false);
        dialog.setPassword(secret("old"));
        platform::MemoryDialogControls c(dialog);
        c.start();
        EXPECT_FALSE(c.control(kFirst).secureMode);
        EXPECT_EQ(c.shown(kFirst), "old") << "readable with encrypt off";
        CSecureString second;
        c.secureText(kSecond, second);
        EXPECT_EQ(plain(second), "old");
    }
}

TEST_F(ModifyPassDlgTest, EncryptOffShortensTheDialogAndAcceptsAnEmptyPassword) {
    CModifyPassDlg dialog(false);
    dialog.setPassword(secret("abc"));
    platform::MemoryDialogControls c(dialog);
    c.start();
    EXPECT_FALSE(c.control(kEncrypt).checked);
    expectShortLayout(c);
    EXPECT_TRUE(c.control(kDialogOk).enabled);

    c.replace(kFirst, "");
    EXPECT_TRUE(c.control(kDialogOk).enabled) << "with encrypt off an empty password is fine";
    ASSERT_TRUE(c.click(kDialogOk));
    EXPECT_EQ(c.result(), kDialogOk);
    EXPECT_TRUE(dialog.password.isEmpty());
    EXPECT_FALSE(dialog.isEncrypt());
}

TEST_F(ModifyPassDlgTest, EncryptOffTakesTheFirstFieldAlone) {
    CModifyPassDlg dialog(true);
    platform::MemoryDialogControls c(dialog);
    c.start();
    c.type(kFirst, "one");
    c.type(kSecond, "two");
    c.click(kEncrypt);
    EXPECT_FALSE(c.control(kFirst).secureMode);
    EXPECT_EQ(c.shown(kFirst), "one");
    c.click(kDialogOk);
    EXPECT_EQ(c.result(), kDialogOk);
    EXPECT_EQ(plain(dialog.password), "one");
    EXPECT_TRUE(messageBoxes.shown.empty());
    EXPECT_FALSE(dialog.isEncrypt());
}

TEST_F(ModifyPassDlgTest, EncryptOffAndOnAgainRestoresTheFullDialog) {
    // Opened with encrypt on, and opened with it off: both ways round.
    for (bool start : {true, false}) {
        SCOPED_TRACE(start ? "opened with encrypt on" : "opened with encrypt off");
        CModifyPassDlg dialog(start);
        platform::MemoryDialogControls c(dialog);
        c.start();
        if (start) {
            c.click(kEncrypt);
            EXPECT_FALSE(c.control(kEncrypt).checked);
            expectShortLayout(c);
            EXPECT_FALSE(c.control(kFirst).secureMode);
            EXPECT_TRUE(c.control(kDialogOk).enabled);
        }
        c.type(kFirst, "xy");
        EXPECT_EQ(c.shown(kFirst), "xy");

        c.click(kEncrypt);
        EXPECT_TRUE(c.control(kEncrypt).checked);
        EXPECT_TRUE(dialog.isEncrypt());
        expectFullLayout(c);
        EXPECT_TRUE(c.control(kFirst).secureMode);
        EXPECT_TRUE(c.control(kSecond).secureMode);
        EXPECT_EQ(c.shown(kFirst), "**") << "switching keeps the text";

        c.replace(kFirst, "");
        EXPECT_FALSE(c.control(kDialogOk).enabled);
        c.click(kEncrypt);
        EXPECT_TRUE(c.control(kDialogOk).enabled) << "switching off enables OK at once";
        c.click(kEncrypt);
        EXPECT_FALSE(c.control(kDialogOk).enabled) << "switching on applies the rule at once";
        expectFullLayout(c);
    }
}

TEST_F(ModifyPassDlgTest, GenerateFillsBothFieldsInClearSoOkAcceptsAtOnce) {
    CModifyPassDlg dialog(true);
    platform::MemoryDialogControls c(dialog);
    c.start();
    ASSERT_TRUE(c.click(kGenerate));
    EXPECT_FALSE(c.control(kFirst).secureMode);
    EXPECT_FALSE(c.control(kSecond).secureMode);
    const std::string generated = c.shown(kFirst);
    EXPECT_EQ(c.shown(kSecond), generated);
    ASSERT_EQ(generated.size(), 12u);
    const std::string alphabet = GeneratorAlphabet(theApp().m_options);
    for (char ch : generated) EXPECT_NE(alphabet.find(ch), std::string::npos) << ch;
    EXPECT_EQ(generated.find('_'), std::string::npos);
    EXPECT_TRUE(c.control(kDialogOk).enabled);

    c.click(kGenerate);
    const std::string again = c.shown(kFirst);
    EXPECT_NE(again, generated) << "a second press gives another password";
    EXPECT_EQ(c.shown(kSecond), again);

    c.click(kDialogOk);
    EXPECT_EQ(c.result(), kDialogOk);
    EXPECT_EQ(plain(dialog.password), again);
    EXPECT_TRUE(dialog.isEncrypt());
    EXPECT_TRUE(messageBoxes.shown.empty());
}

TEST_F(ModifyPassDlgTest, GenerateFollowsTheOptions) {
    theApp().m_options.genLength = "5";
    theApp().m_options.genNoUpperCase = 1;
    theApp().m_options.genNoLowerCase = 1;
    theApp().m_options.genNoSpecials = 1;
    theApp().m_options.genNoBrackets = 1;
    theApp().m_options.genNoBlank = 1;
    theApp().m_options.genNoMinus = 1;
    CModifyPassDlg dialog(false);
    platform::MemoryDialogControls c(dialog);
    c.start();
    c.click(kGenerate);
    const std::string generated = c.shown(kFirst);
    EXPECT_EQ(generated.size(), 5u);
    EXPECT_EQ(generated.find_first_not_of("0123456789"), std::string::npos) << generated;

    // One class of one character left: the press does nothing at all.
    theApp().m_options.genNoDigits = 1;
    theApp().m_options.genNoMinus = 0;
    CModifyPassDlg secure(true);
    platform::MemoryDialogControls s(secure);
    s.start();
    s.type(kFirst, "kept");
    s.click(kGenerate);
    EXPECT_TRUE(s.control(kFirst).secureMode);
    EXPECT_TRUE(s.control(kSecond).secureMode);
    EXPECT_EQ(s.shown(kFirst), "****");
    EXPECT_EQ(s.shown(kSecond), "");

    // A length of 0: both fields emptied in clear; with encrypt on OK goes off.
    theApp().m_options.genNoDigits = 0;
    theApp().m_options.genLength = "0";
    s.click(kGenerate);
    EXPECT_FALSE(s.control(kFirst).secureMode);
    EXPECT_EQ(s.shown(kFirst), "");
    EXPECT_FALSE(s.control(kDialogOk).enabled);
}

TEST_F(ModifyPassDlgTest, DoModalHandsBackThePasswordAndTheEncryptState) {
    dialogs.users.push_back([](platform::MemoryDialogControls& c) {
        c.type(kFirst, "pw");
        c.type(kSecond, "pw");
        c.click(kEncrypt);  // off
        c.click(kEncrypt);  // on
        c.click(kEncrypt);  // off
        c.click(kDialogOk);
    });
    CModifyPassDlg dialog(true);
    EXPECT_EQ(dialog.DoModal(), kDialogOk);
    EXPECT_EQ(dialogs.opened, std::vector<int>{IDD_MODIFY_PASSWORD});
    EXPECT_EQ(plain(dialog.password), "pw");
    EXPECT_FALSE(dialog.isEncrypt());
}

TEST_F(ModifyPassDlgTest, CancelHandsBackNothing) {
    dialogs.users.push_back([](platform::MemoryDialogControls& c) {
        c.type(kFirst, "typed");
        c.type(kSecond, "typed");
        c.click(kGenerate);
        c.click(kDialogCancel);
    });
    CModifyPassDlg dialog(true);
    dialog.setPassword(secret("preset"));
    EXPECT_EQ(dialog.DoModal(), kDialogCancel);
    EXPECT_TRUE(dialog.password.isEmpty());
    EXPECT_TRUE(messageBoxes.shown.empty());
}

// ---- Linux: the dialog through the host's request callback ----

struct Request {
    int type;
    std::string text;
    std::string answer;  // for text requests
    bool ok = true;      // false: the user cancels (or answers No)
};

class ModifyPassDlgLinuxTest : public ModifyPassDlgTest {
protected:
    void SetUp() override {
        ModifyPassDlgTest::SetUp();
        native_ = platform::nativeServices().dialogs;
        native_->setHostRequest([this](int type, const std::string& title, const std::string& text,
                                       std::string& answer) {
            EXPECT_EQ(title, "Enter Password");
            asked.push_back({type, text, answer});
            if (script.empty()) {
                ADD_FAILURE() << "unexpected request: " << text;
                return false;
            }
            Request r = script.front();
            script.pop_front();
            EXPECT_EQ(type, r.type) << text;
            EXPECT_EQ(text.substr(0, r.text.size()), r.text);
            if (r.ok && (type == wfx::RT_Password || type == wfx::RT_Other)) answer = r.answer;
            return r.ok;
        });
    }
    void TearDown() override {
        native_->setHostRequest({});
        EXPECT_TRUE(script.empty()) << script.size() << " requests never came";
        ModifyPassDlgTest::TearDown();
    }
    int run(CModifyPassDlg& dialog) { return native_->runModal(dialog, nullptr); }

    std::deque<Request> script;
    std::vector<Request> asked;  // what came, with the text it carried

private:
    platform::Dialogs* native_ = nullptr;
};

TEST_F(ModifyPassDlgLinuxTest, AsksEncryptGenerateThenBothFields) {
    script = {{wfx::RT_MsgYesNo, "Encrypt this entry?", "", true},
              {wfx::RT_MsgYesNo, "Generate a password?", "", false},
              {wfx::RT_Password, "Type Password", "pw"},
              {wfx::RT_Password, "ReType Password", "pw"}};
    CModifyPassDlg dialog(true);
    EXPECT_EQ(run(dialog), kDialogOk);
    EXPECT_EQ(plain(dialog.password), "pw");
    EXPECT_TRUE(dialog.isEncrypt());
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[0].text, "Encrypt this entry?");
    EXPECT_EQ(asked[1].text, "Generate a password?");
}

TEST_F(ModifyPassDlgLinuxTest, EncryptOffAsksOneFieldAndAcceptsItEmpty) {
    script = {{wfx::RT_MsgYesNo, "Encrypt this entry?", "", false},
              {wfx::RT_MsgYesNo, "Generate a password?", "", false},
              {wfx::RT_Password, "Type Password", ""}};
    CModifyPassDlg dialog(true);
    EXPECT_EQ(run(dialog), kDialogOk);
    EXPECT_TRUE(dialog.password.isEmpty());
    EXPECT_FALSE(dialog.isEncrypt());
}

TEST_F(ModifyPassDlgLinuxTest, AGeneratedPasswordIsShownAndKeptByEmptyAnswers) {
    script = {{wfx::RT_MsgYesNo, "Encrypt this entry?", "", true},
              {wfx::RT_MsgYesNo, "Generate a password?", "", true},
              {wfx::RT_MsgOK, "Generated password: ", ""},
              {wfx::RT_Password, "Type Password", ""},
              {wfx::RT_Password, "ReType Password", ""}};
    CModifyPassDlg dialog(true);
    EXPECT_EQ(run(dialog), kDialogOk);
    ASSERT_EQ(asked.size(), 5u);
    const std::string shown = asked[2].text.substr(std::string("Generated password: ").size());
    EXPECT_EQ(shown.size(), 12u);
    EXPECT_EQ(plain(dialog.password), shown);
}

TEST_F(ModifyPassDlgLinuxTest, DifferentTextsAskTheFieldsAgain) {
    script = {{wfx::RT_MsgYesNo, "Encrypt this entry?", "", true},
              {wfx::RT_MsgYesNo, "Generate a password?", "", false},
              {wfx::RT_Password, "Type Password", "one"},
              {wfx::RT_Password, "ReType Password", "two"},
              {wfx::RT_Password, "Type Password", ""},  // keeps "one"
              {wfx::RT_Password, "ReType Password", "one"}};
    CModifyPassDlg dialog(true);
    EXPECT_EQ(run(dialog), kDialogOk);
    ASSERT_EQ(messageBoxes.shown.size(), 1u);
    EXPECT_EQ(messageBoxes.shown[0].text, kNotEqual);
    EXPECT_EQ(plain(dialog.password), "one");
}

TEST_F(ModifyPassDlgLinuxTest, ACancelledRequestCancelsTheDialog) {
    {
        script = {{wfx::RT_MsgYesNo, "Encrypt this entry?", "", true},
                  {wfx::RT_MsgYesNo, "Generate a password?", "", false},
                  {wfx::RT_Password, "Type Password", "pw"},
                  {wfx::RT_Password, "ReType Password", "", false}};
        CModifyPassDlg dialog(true);
        EXPECT_EQ(run(dialog), kDialogCancel);
        EXPECT_TRUE(dialog.password.isEmpty());
    }
    {
        script = {{wfx::RT_MsgYesNo, "Encrypt this entry?", "", true},
                  {wfx::RT_MsgYesNo, "Generate a password?", "", true},
                  {wfx::RT_MsgOK, "Generated password: ", "", false}};
        CModifyPassDlg dialog(true);
        EXPECT_EQ(run(dialog), kDialogCancel);
        EXPECT_TRUE(dialog.password.isEmpty());
    }
}

TEST_F(ModifyPassDlgLinuxTest, AHostThatNeverAgreesIsAskedABoundedNumberOfTimes) {
    CModifyPassDlg dialog(true);
    platform::Dialogs* native = platform::nativeServices().dialogs;
    int requests = 0;
    native->setHostRequest([&](int type, const std::string&, const std::string& text, std::string& answer) {
        ++requests;
        if (type == wfx::RT_MsgYesNo) return text == "Encrypt this entry?";
        answer = text == "Type Password" ? "a" : "b";
        return true;
    });
    EXPECT_EQ(native->runModal(dialog, nullptr), kDialogCancel);
    EXPECT_GT(requests, 2);
    EXPECT_LE(requests, 2 + 2 * 1000);
    EXPECT_EQ(messageBoxes.shown.size(), static_cast<std::size_t>(requests - 2) / 2);
    EXPECT_TRUE(dialog.password.isEmpty());
}

}  // namespace
