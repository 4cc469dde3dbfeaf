// The master password dialog exists twice: as a dialog resource in
// src/res/keyhold.rc (what Windows shows) and as the template its logic and
// the in-memory dialogs work with. These tests read the resource and compare.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "PassWordDlg.h"

namespace {

std::string sourceFile(const std::string& relative) {
    std::string here = __FILE__;  // .../tests/unit/PasswordDialogResourceTest.cpp
    for (int i = 0; i < 3; ++i) here = here.substr(0, here.find_last_of("/\\"));
    return here + "/" + relative;
}

std::vector<std::string> lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

struct RcControl {
    std::string statement;  // EDITTEXT, DEFPUSHBUTTON, ...
    std::string text;
    int id;
    int x, y, cx, cy;
    std::string style;
};

struct RcDialog {
    bool found = false;
    int cx = 0, cy = 0;
    std::string style, caption;
    std::vector<RcControl> controls;
};

// The #defines of resource.h and the few standard ids the .rc uses.
std::map<std::string, int> symbols() {
    std::map<std::string, int> ids{{"IDOK", 1}, {"IDCANCEL", 2}, {"IDC_STATIC", -1}};
    std::regex define(R"(^\s*#define\s+(\w+)\s+\(?(-?\d+)\)?)");
    for (const std::string& line : lines(sourceFile("src/res/resource.h"))) {
        std::smatch m;
        if (std::regex_search(line, m, define)) ids[m[1]] = std::stoi(m[2]);
    }
    return ids;
}

int resolve(const std::map<std::string, int>& ids, const std::string& word) {
    if (std::regex_match(word, std::regex(R"(-?\d+)"))) return std::stoi(word);
    auto it = ids.find(word);
    if (it == ids.end()) throw std::runtime_error("unknown id " + word);
    return it->second;
}

// Reads the DIALOGEX block with the given resource id: its size, style,
// caption and one control statement a line.
RcDialog readDialog(int resourceId) {
    const std::map<std::string, int> ids = symbols();
    const std::regex header(R"(^\s*(\w+)\s+DIALOGEX\s+(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+))");
    const std::regex control(
        R"re(^\s*([A-Z]+)\s+(?:"([^"]*)"\s*,\s*)?([\w-]+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*(?:,\s*(.*?))?\s*$)re");
    const std::regex caption(R"re(^\s*CAPTION\s+"([^"]*)")re");
    const std::regex style(R"(^\s*STYLE\s+(.*?)\s*$)");
    RcDialog d;
    enum { Outside, Header, Body } where = Outside;
    for (const std::string& line : lines(sourceFile("src/res/keyhold.rc"))) {
        std::smatch m;
        if (where == Outside) {
            if (std::regex_search(line, m, header) && resolve(ids, m[1]) == resourceId) {
                d.found = true;
                d.cx = std::stoi(m[4]);
                d.cy = std::stoi(m[5]);
                where = Header;
            }
        } else if (where == Header) {
            if (std::regex_search(line, m, caption)) d.caption = m[1];
            if (std::regex_search(line, m, style)) d.style = m[1];
            if (std::regex_match(line, std::regex(R"(\s*BEGIN\s*)"))) where = Body;
        } else {
            if (std::regex_match(line, std::regex(R"(\s*END\s*)"))) break;
            if (std::regex_match(line, m, control)) {
                d.controls.push_back({m[1], m[2], resolve(ids, m[3]), std::stoi(m[4]), std::stoi(m[5]),
                                      std::stoi(m[6]), std::stoi(m[7]), m[8]});
            } else if (!std::regex_match(line, std::regex(R"(\s*)"))) {
                ADD_FAILURE() << "unread line in the dialog: " << line;
            }
        }
    }
    return d;
}

bool has(const std::string& style, const std::string& flag) {
    return std::regex_search(style, std::regex("(^|[|\\s])" + flag + "($|[|\\s])"));
}

eControlKind kindOf(const RcControl& c) {
    if (c.statement == "EDITTEXT") return eControlKind::Edit;
    if (c.statement == "PUSHBUTTON" || c.statement == "DEFPUSHBUTTON") return eControlKind::Button;
    if (c.statement == "LTEXT" || c.statement == "RTEXT" || c.statement == "CTEXT") return eControlKind::Static;
    return eControlKind::ListBox;  // anything else is not in this dialog's template
}

// A secure edit is an EDITTEXT in the resource; it becomes one at run time.
eControlKind asInResource(eControlKind k) { return k == eControlKind::SecureEdit ? eControlKind::Edit : k; }

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
        EXPECT_EQ(kindOf(*got), asInResource(want.kind));
        EXPECT_EQ(got->text, want.text);
        EXPECT_EQ(got->x, want.x);
        EXPECT_EQ(got->y, want.y);
        EXPECT_EQ(got->cx, want.cx);
        EXPECT_EQ(got->cy, want.cy);
        EXPECT_EQ(!has(got->style, "NOT\\s+WS_VISIBLE"), want.visible);
        EXPECT_EQ(!has(got->style, "WS_DISABLED"), want.enabled);
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
