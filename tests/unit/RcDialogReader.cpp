#include "RcDialogReader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <stdexcept>

namespace rc {
namespace {

std::vector<std::string> lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

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

}  // namespace

const RcControl* RcDialog::find(int id, const std::string& text) const {
    for (const RcControl& c : controls) {
        if (c.id == id && (id != -1 || c.text == text)) return &c;
    }
    return nullptr;
}

std::string sourceFile(const std::string& relative) {
    std::string here = __FILE__;  // .../tests/unit/RcDialogReader.cpp
    for (int i = 0; i < 3; ++i) here = here.substr(0, here.find_last_of("/\\"));
    return here + "/" + relative;
}

RcDialog readDialog(int resourceId) {
    const std::map<std::string, int> ids = symbols();
    const std::regex header(R"(^\s*(\w+)\s+DIALOGEX\s+(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+))");
    // STATEMENT ["text",] id, x, y, cx, cy [, style...]
    const std::regex control(
        R"re(^\s*([A-Z]+)\s+(?:"([^"]*)"\s*,\s*)?([\w-]+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*(?:,\s*(.*?))?\s*$)re");
    // CONTROL "text", id, "class", style, x, y, cx, cy [, exstyle]
    const std::regex generic(
        R"re(^\s*CONTROL\s+"([^"]*)"\s*,\s*([\w-]+)\s*,\s*"([^"]*)"\s*,\s*(.*?)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*(?:,.*)?$)re");
    const std::regex caption(R"re(^\s*CAPTION\s+"([^"]*)")re");
    const std::regex font(R"re(^\s*FONT\s+\d+\s*,\s*"([^"]*)")re");
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
            if (std::regex_search(line, m, font)) d.font = m[1];
            if (std::regex_search(line, m, style)) d.style = m[1];
            if (std::regex_match(line, std::regex(R"(\s*BEGIN\s*)"))) where = Body;
        } else {
            if (std::regex_match(line, std::regex(R"(\s*END\s*)"))) break;
            if (std::regex_match(line, m, generic)) {
                d.controls.push_back({"CONTROL", m[1], resolve(ids, m[2]), std::stoi(m[5]), std::stoi(m[6]),
                                      std::stoi(m[7]), std::stoi(m[8]), m[4], m[3]});
            } else if (std::regex_match(line, m, control)) {
                d.controls.push_back({m[1], m[2], resolve(ids, m[3]), std::stoi(m[4]), std::stoi(m[5]),
                                      std::stoi(m[6]), std::stoi(m[7]), m[8], ""});
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
    const std::string& s = c.statement;
    if (s == "EDITTEXT") return eControlKind::Edit;
    if (s == "PUSHBUTTON" || s == "DEFPUSHBUTTON") return eControlKind::Button;
    if (s == "LTEXT" || s == "RTEXT" || s == "CTEXT") return eControlKind::Static;
    if (s == "COMBOBOX") return eControlKind::ComboBox;
    if (s == "LISTBOX") return eControlKind::ListBox;
    if (s == "AUTOCHECKBOX" || s == "CHECKBOX") return eControlKind::CheckBox;
    if (s == "CONTROL") {
        if (c.windowClass == "Button" && (has(c.style, "BS_AUTOCHECKBOX") || has(c.style, "BS_CHECKBOX"))) {
            return eControlKind::CheckBox;
        }
        if (c.windowClass == "Button") return eControlKind::Button;
        if (c.windowClass == "Edit") return eControlKind::Edit;
        if (c.windowClass == "ComboBox") return eControlKind::ComboBox;
        if (c.windowClass == "ListBox") return eControlKind::ListBox;
        if (c.windowClass == "Static") return eControlKind::Static;
    }
    return eControlKind::Static;
}

void expectControlMatches(const RcControl& got, const tControlTemplate& want) {
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(kindOf(got), asInResource(want.kind));
    EXPECT_EQ(got.text, want.text);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
    EXPECT_EQ(!has(got.style, "NOT\\s+WS_VISIBLE"), want.visible);
    EXPECT_EQ(!has(got.style, "WS_DISABLED"), want.enabled);
}

}  // namespace rc
