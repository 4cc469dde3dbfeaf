// The chooser of matching entries as its user meets it: the sorted titles
// with their notes as tool tips, picked by OK or a double click, or
// cancelled; and the same dialog on Linux, where the title is asked for
// through the host's request callback.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "EntriesMatched.h"
#include "TestSupport.h"
#include "WfxApi.h"
#include "platform/Dialogs.h"
#include "res/resource.h"

namespace {

constexpr int kList = IDC_MATCHED_LIST;

AutoTypeInfo info(const std::string& notes) { return AutoTypeInfo{notes, "{USERNAME}{TAB}{PASSWORD}~"}; }

// Byte order (the map's): "Alpha" < "Gamma" < "alpha" < "beta". The list's
// caseless order: "Alpha", "alpha" (they compare equal and keep the order
// they came in), "beta", "Gamma".
std::map<std::string, AutoTypeInfo> matches() {
    return {{"beta", info("b notes")},
            {"Alpha", info("first line\rsecond line\r")},
            {"alpha", info("")},
            {"Gamma", info("g1\r\ng2\rg3\r")}};
}

const std::vector<std::string> kSorted{"Alpha", "alpha", "beta", "Gamma"};

class EntriesMatchedTest : public PlatformFixture {};

TEST_F(EntriesMatchedTest, ListsTheTitlesCaselesslySortedWithTheirNotesAndTheFirstSelected) {
    CEntriesMatched dialog(matches());
    platform::MemoryDialogControls c(dialog);
    c.start();
    EXPECT_EQ(c.title(), "Possible entries");
    EXPECT_EQ(c.control(kList).items, kSorted);
    EXPECT_EQ(c.control(kList).selected, 0);
    EXPECT_EQ(c.shown(kList), "Alpha");
    // Each tool tip went where its title went ("Gamma" came second and is
    // last now); the notes' line ends are line feeds.
    EXPECT_EQ(c.itemToolTip(kList, "Alpha"), "Notes:\n\nfirst line\nsecond line");
    EXPECT_EQ(c.itemToolTip(kList, "alpha"), "Notes:\n\n");
    EXPECT_EQ(c.itemToolTip(kList, "beta"), "Notes:\n\nb notes");
    EXPECT_EQ(c.itemToolTip(kList, "Gamma"), "Notes:\n\ng1\ng2\ng3");
}

TEST_F(EntriesMatchedTest, OkAndADoubleClickReturnTheSelectedTitle) {
    struct tCase {
        const char* name;
        std::function<void(platform::MemoryDialogControls&)> play;
        std::string title;
    };
    const std::vector<tCase> cases{
        {"OK at once: the first item", [](platform::MemoryDialogControls& c) { c.click(kDialogOk); }, "Alpha"},
        {"an item picked, then OK",
         [](platform::MemoryDialogControls& c) {
             ASSERT_TRUE(c.select(kList, "alpha"));
             EXPECT_FALSE(c.ended()) << "picking an item does not close the dialog";
             c.click(kDialogOk);
         },
         "alpha"},
        {"a double click", [](platform::MemoryDialogControls& c) { ASSERT_TRUE(c.doubleClick(kList, "Gamma")); },
         "Gamma"},
        {"a double click after another item was picked",
         [](platform::MemoryDialogControls& c) {
             c.select(kList, "beta");
             ASSERT_TRUE(c.doubleClick(kList, "alpha"));
         },
         "alpha"},
    };
    for (const tCase& k : cases) {
        SCOPED_TRACE(k.name);
        CEntriesMatched dialog(matches());
        platform::MemoryDialogControls c(dialog);
        c.start();
        k.play(c);
        EXPECT_TRUE(c.ended());
        EXPECT_EQ(c.result(), kDialogOk);
        EXPECT_EQ(dialog.m_selectedTitle, k.title);
    }
}

TEST_F(EntriesMatchedTest, OkWithNothingSelectedReturnsAnEmptyTitle) {
    CEntriesMatched dialog(matches());
    platform::MemoryDialogControls c(dialog);
    c.start();
    c.selectIndex(kList, -1);
    ASSERT_TRUE(c.click(kDialogOk));
    EXPECT_EQ(c.result(), kDialogOk);
    EXPECT_EQ(dialog.m_selectedTitle, "");
    EXPECT_EQ(matches().count(dialog.m_selectedTitle), 0u) << "an empty title matches no entry";
}

TEST_F(EntriesMatchedTest, NoMatchesGiveAnEmptyListAndAnEmptyTitle) {
    CEntriesMatched dialog({});
    platform::MemoryDialogControls c(dialog);
    c.start();
    EXPECT_TRUE(c.control(kList).items.empty());
    EXPECT_EQ(c.control(kList).selected, -1);
    c.click(kDialogOk);
    EXPECT_EQ(dialog.m_selectedTitle, "");
}

TEST_F(EntriesMatchedTest, CancelReturnsNoTitle) {
    CEntriesMatched dialog(matches());
    platform::MemoryDialogControls c(dialog);
    c.start();
    c.select(kList, "beta");
    ASSERT_TRUE(c.click(kDialogCancel));
    EXPECT_TRUE(c.ended());
    EXPECT_EQ(c.result(), kDialogCancel);
    EXPECT_EQ(dialog.m_selectedTitle, "");
}

TEST_F(EntriesMatchedTest, ADoubleClickBesideTheItemsDoesNothing) {
    CEntriesMatched dialog(matches());
    platform::MemoryDialogControls c(dialog);
    c.start();
    EXPECT_FALSE(c.doubleClick(kList, "ALPHA")) << "no item is written so";
    EXPECT_FALSE(c.ended());
    EXPECT_EQ(c.shown(kList), "Alpha");
}

TEST_F(EntriesMatchedTest, DoModalShowsDialog3019AndLogsNeitherTitlesNorNotes) {
    std::map<std::string, AutoTypeInfo> m{{"Mail", info("secret note")}, {"Bank", info("pin 1234\r")}};
    CEntriesMatched dialog(m);
    dialogs.users.push_back([](platform::MemoryDialogControls& c) {
        c.select(kList, "Mail");
        c.click(kDialogOk);
    });
    EXPECT_EQ(dialog.DoModal(), kDialogOk);
    EXPECT_EQ(dialogs.opened, std::vector<int>{3019});
    EXPECT_EQ(dialog.m_selectedTitle, "Mail");
    // Titles may be those of encrypted entries.
    EXPECT_TRUE(log.has(eRubbish, "2 entries match"));
    for (const RecordingLog::Line& line : log.lines) {
        EXPECT_EQ(line.message.find("Bank"), std::string::npos) << line.message;
        EXPECT_EQ(line.message.find("Mail"), std::string::npos) << line.message;
        EXPECT_EQ(line.message.find("secret"), std::string::npos) << line.message;
        EXPECT_EQ(line.message.find("1234"), std::string::npos) << line.message;
        EXPECT_EQ(line.message.find("{TAB}"), std::string::npos) << line.message;
    }
}

TEST(EntriesMatchedToolTipTest, NotesBecomeLinesUnderAHeading) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"", "Notes:\n\n"},
        {"one", "Notes:\n\none"},
        {"a\rb\r", "Notes:\n\na\nb"},          // the notes of auto-typed entries: lines end in CR
        {"a\r\nb\r\n", "Notes:\n\na\nb"},      // CR LF
        {"a\nb", "Notes:\n\na\nb"},            // line feeds stay
        {"a\r\rb", "Notes:\n\na\n\nb"},        // an empty line inside stays
        {"a \t\r\r \r", "Notes:\n\na"},        // nothing blank at the end
        {" \r\r", "Notes:\n\n"},
        {"  indented", "Notes:\n\n  indented"},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(CEntriesMatched::toolTipText(k.first), k.second) << "notes: " << k.first;
    }
}

TEST(MemoryListToolTipTest, PlainItemsDropTheToolTipsAndUnsortedListsKeepTheirOrder) {
    // A dialog of its own, with an unsorted list, to see the model alone.
    struct tOneList : CDialogLogic {
        const tDialogTemplate& dialogTemplate() const override {
            static const tDialogTemplate t{1, "t", 10, 10,
                                           {{7, eControlKind::ListBox, "", 0, 0, 5, 5, true, true, ""}}};
            return t;
        }
        void onInit(IDialogControls&) override {}
        void onCommand(IDialogControls&, int, eControlNotification) override {}
    } logic;
    platform::MemoryDialogControls c(logic);
    c.start();
    c.setListItems(7, {"b", "a"}, {"tip b", "tip a"});
    EXPECT_EQ(c.control(7).items, (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(c.itemToolTip(7, "a"), "tip a");
    c.setListItems(7, {"x"});
    EXPECT_EQ(c.itemToolTip(7, "x"), "");
    EXPECT_TRUE(c.control(7).itemToolTips.empty());
}

// ---- Linux: the dialog through the host's request callback ----

struct Request {
    int type;
    std::string answer;  // for text requests
    bool ok = true;      // false: the user cancels
};

class EntriesMatchedLinuxTest : public EntriesMatchedTest {
protected:
    void SetUp() override {
        EntriesMatchedTest::SetUp();
        native_ = platform::nativeServices().dialogs;
        native_->setHostRequest([this](int type, const std::string& title, const std::string& text,
                                       std::string& answer) {
            EXPECT_EQ(title, "Possible entries");
            texts.push_back(text);
            presets.push_back(answer);
            if (script.empty()) {
                ADD_FAILURE() << "unexpected request: " << text;
                return false;
            }
            Request r = script.front();
            script.pop_front();
            EXPECT_EQ(type, r.type) << text;
            if (r.ok && type == wfx::RT_Other) answer = r.answer;
            return r.ok;
        });
    }
    void TearDown() override {
        native_->setHostRequest({});
        EXPECT_TRUE(script.empty()) << script.size() << " requests never came";
        EntriesMatchedTest::TearDown();
    }
    int run(CEntriesMatched& dialog) { return native_->runModal(dialog, nullptr); }

    std::deque<Request> script;
    std::vector<std::string> texts, presets;

private:
    platform::Dialogs* native_ = nullptr;
};

TEST_F(EntriesMatchedLinuxTest, OneQuestionPresetWithTheFirstTitlePicksTheAnsweredOne) {
    struct tCase {
        std::string answer;
        std::string title;
    };
    for (const tCase& k : std::vector<tCase>{{"Alpha", "Alpha"},  // the preset sent back as it was
                                             {"alpha", "alpha"},  // written exactly: that one
                                             {"ALPHA", "Alpha"},  // in another case: the first of them
                                             {"gamma", "Gamma"}}) {
        SCOPED_TRACE(k.answer);
        texts.clear();
        presets.clear();
        script = {{wfx::RT_Other, k.answer}};
        CEntriesMatched dialog(matches());
        EXPECT_EQ(run(dialog), kDialogOk);
        EXPECT_EQ(dialog.m_selectedTitle, k.title);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0], "Entry:");
        EXPECT_EQ(presets[0], "Alpha");
    }
}

TEST_F(EntriesMatchedLinuxTest, AnUnknownTitleIsToldAndAskedAgain) {
    script = {{wfx::RT_Other, "delta"}, {wfx::RT_MsgOK, ""}, {wfx::RT_Other, "beta"}};
    CEntriesMatched dialog(matches());
    EXPECT_EQ(run(dialog), kDialogOk);
    EXPECT_EQ(dialog.m_selectedTitle, "beta");
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], "\"delta\" is not one of:\nAlpha\nalpha\nbeta\nGamma");
}

TEST_F(EntriesMatchedLinuxTest, ACancelledRequestCancels) {
    for (const std::deque<Request>& s :
         {std::deque<Request>{{wfx::RT_Other, "", false}},
          std::deque<Request>{{wfx::RT_Other, "delta"}, {wfx::RT_MsgOK, "", false}}}) {
        script = s;
        CEntriesMatched dialog(matches());
        EXPECT_EQ(run(dialog), kDialogCancel);
        EXPECT_EQ(dialog.m_selectedTitle, "");
    }
}

}  // namespace
