// The content columns and the custom icons as the host sees them, on a store
// with known entries.
#include <gtest/gtest.h>

#include <algorithm>

#include "PanelSession.h"

namespace {

class ColumnsE2ETest : public ::testing::Test {
protected:
    E2ETarget target = E2ETarget::fromEnvironment();
    PluginFolder folder{target};

    void SetUp() override {
        // Made with the password "pw": its SHA-1 is the masterkey. "Secret"
        // counts as encrypted by its salted password, which no column shows.
        writeFile(folder.file("database.xml"),
                  "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" "
                  "masterkey=\"1A91D62F7CA67399625A4368A6AB5D4A3BAA6073\">\n"
                  "<folder name=\"Mail\" id=\"2\" creationtime=\"1\">"
                  "<file name=\"Plain\" id=\"3\"><notes>&#x0D;&#x0A;Auto-Type:{USERNAME}&#x0D;&#x0A;"
                  "Shown line&#x0D;&#x0A;Comment: explicit text</notes>"
                  "<expiretime expires=\"true\">31-12-2010</expiretime></file>"
                  "<file name=\"Secret\" id=\"4\"><password salt=\"0011223344556677\">00112233445566778899AABBCCDDEEFF"
                  "</password></file></folder>\n"
                  "<folder name=\"Email\" id=\"5\" creationtime=\"1\"/>\n</pswd>\n");
    }
    void settings(const std::string& text) { writeFile(folder.file("keyHold.ini"), text); }
    // Opens the store with a first listing.
    void open(PanelSession& panel) {
        panel.send("ls");
        panel.answerPasswordDialog({"pw"});
        std::vector<std::string> shown = panel.sync();
        ASSERT_TRUE(anyLineHas(shown, "Mail")) << joinLines(shown);
    }
    std::vector<std::string> col(PanelSession& panel, const std::string& path) {
        panel.send("col \"" + path + "\"");
        return panel.sync();
    }
    // Quoted only when it holds a blank: the host reads a backslash before
    // a closing quote as an escape.
    static std::string argument(const std::string& path) {
        return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
    }
    std::vector<std::string> icon(PanelSession& panel, const std::string& path, const std::string& size) {
        panel.send("icon " + argument(path) + " " + size);
        return panel.sync();
    }
};

TEST_F(ColumnsE2ETest, FieldsAndDefaultView) {
    PanelSession panel(target, folder);
    panel.send("columns");
    std::vector<std::string> shown = panel.sync();
    for (const char* line : {"0 Encrypted units=\"Boolean\" ft_boolean", "1 Expired Date units=\"\" ft_date",
                             "2 Comment units=\"\" ft_string", "contents: [=<fs>.Encrypted.Boolean]",
                             "headers: Encrypted", "widths: 80,30,80", "options: -1|0"}) {
        EXPECT_TRUE(anyLineHas(shown, line)) << line << "\n" << joinLines(shown);
    }
    EXPECT_FALSE(anyLineHas(shown, "3 ")) << joinLines(shown);
    EXPECT_EQ(panel.quit(), 0);
}

struct ColumnRow {
    const char* settings;
    const char* path;
    std::vector<std::string> lines;
};

TEST_F(ColumnsE2ETest, ValuesOfEntriesFoldersAndCommands) {
    const ColumnRow rows[] = {
        {"[MAIN]\ndatafile=database.xml\nDateFormat=dd-mm-yyyy\n", "\\Mail\\Plain",
         {"Encrypted: false", "Expired Date: 2010-12-31", "Comment: Shown line"}},
        {"[MAIN]\ndatafile=database.xml\nDateFormat=mm/dd/yyyy\n[CustomColumn]\nExplicitComment=1\n",
         "\\Mail\\Plain", {"Encrypted: false", "Expired Date: (empty)", "Comment:  explicit text"}},
        {"", "\\Mail\\Secret", {"Encrypted: true", "Expired Date: (empty)", "Comment: "}},
        {"", "\\Mail", {"Encrypted: (empty)", "Expired Date: (empty)", "Comment: (empty)"}},
        {"", "\\Lock Keyhold", {"Encrypted: (empty)", "Expired Date: (empty)", "Comment: (empty)"}},
    };
    for (const ColumnRow& row : rows) {
        if (*row.settings) settings(row.settings);
        PanelSession panel(target, folder);
        open(panel);
        std::vector<std::string> shown = col(panel, row.path);
        for (const std::string& line : row.lines) {
            EXPECT_TRUE(std::find(shown.begin(), shown.end(), line) != shown.end())
                << row.path << ": " << line << "\n" << joinLines(shown);
        }
        EXPECT_EQ(panel.quit(), 0);
    }
}

TEST_F(ColumnsE2ETest, NoValuesBeforeTheStoreIsOpen) {
    PanelSession panel(target, folder);
    std::vector<std::string> shown = col(panel, "\\Mail\\Secret");
    EXPECT_TRUE(anyLineHas(shown, "Encrypted: (empty)")) << joinLines(shown);
    EXPECT_EQ(panel.passwordFieldsAsked(shown), 0) << joinLines(shown);
    EXPECT_EQ(panel.quit(), 0);
}

// Which resource each icon is, is checked by the Windows icon check
// (tests/win32); here the host gets an icon exactly for the mapped paths.
TEST_F(ColumnsE2ETest, IconsForMappedPaths) {
    struct Row {
        const char* path;
        bool mapped;
    };
    // Folders are left out: this host names them without the trailing
    // backslash their rows are kept under.
    const Row rows[] = {{"\\Lock Keyhold", true},    {"\\Mail\\Plain", true}, {"\\Mail\\[New Entry]", true},
                        {"\\Mail\\..", false}, {"\\Unknown thing", false}};
    PanelSession panel(target, folder);
    open(panel);
    for (const Row& row : rows) {
        for (const char* size : {"small", "big"}) {
            std::vector<std::string> shown = icon(panel, row.path, size);
            const bool extracted = target.isWindows() && row.mapped;
            const char* expected = extracted ? "FS_ICON_EXTRACTED icon=yes" : "FS_ICON_USEDEFAULT icon=no";
            EXPECT_TRUE(anyLineHas(shown, expected)) << row.path << " " << size << "\n" << joinLines(shown);
        }
    }
    EXPECT_EQ(panel.quit(), 0);
}

}  // namespace
