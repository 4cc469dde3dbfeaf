// A host that sends a path with an empty component (two separators in a
// row, or separators alone beyond the root) is refused by every export that
// takes a path, with that export's failure value, and the store file stays
// exactly as it was. The terminal host's "raw" prefix passes the names on
// as written, as a careless file manager would.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "PanelSession.h"

namespace {

class PathsE2ETest : public ::testing::Test {
protected:
    E2ETarget target = E2ETarget::fromEnvironment();
    PluginFolder folder{target};

    void SetUp() override {
        // Made with the password "pw": its SHA-1 is the masterkey.
        writeFile(folder.file("database.xml"),
                  "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" "
                  "masterkey=\"1A91D62F7CA67399625A4368A6AB5D4A3BAA6073\">\n"
                  "<folder name=\"Mail\" id=\"2\"><folder name=\"Sub\" id=\"3\">"
                  "<file name=\"Deep\" id=\"4\"/></folder><file name=\"Gmail\" id=\"5\"><url>http://mail.example/"
                  "</url></file></folder>\n<file name=\"Key\" id=\"6\"/>\n</pswd>\n");
        writeFile(folder.file("local.txt"), "not a store\n");
    }
};

struct Case {
    std::string command;   // with %s for the bad path
    std::vector<std::string> answers;  // the lines the host prints for it
};

std::string with(const std::string& command, const std::string& path) {
    std::string line = command;
    line.replace(line.find("%s"), 2, "\"" + path + "\"");
    return "raw " + line;
}

TEST_F(PathsE2ETest, APathWithAnEmptyComponentChangesNothing) {
    std::vector<std::string> bad = {"\\\\",         "\\Mail\\\\",         "\\Mail\\\\Sub", "\\Mail\\Gmail\\\\",
                                    "\\\\Key",      "\\Mail\\Sub\\\\Deep", "\\\\Lock Keyhold", "\\Mail\\\\New"};
    if (!target.isWindows()) {
        // Linux hosts separate with "/".
        for (const char* p : {"//", "/Mail//", "/Mail//Sub", "/Mail/Gmail//", "//Key"}) bad.push_back(p);
    }
    const std::string local = folder.asTargetPath("local.txt");
    const std::vector<Case> cases = {
        {"rmdir %s", {"FALSE"}},
        {"rm %s", {"FALSE"}},
        {"mkdir %s", {"FALSE"}},
        {"mv %s \\Moved", {"FS_FILE_NOTFOUND"}},
        {"cp %s \\Copied", {"FS_FILE_NOTFOUND"}},
        {"mv \\Key %s", {"FS_FILE_NOTFOUND"}},
        {"mv \\Mail\\Sub %s", {"FS_FILE_NOTFOUND"}},
        {"cp \\Key %s", {"FS_FILE_NOTFOUND"}},
        {"put \"" + local + "\" %s", {"FS_FILE_NOTFOUND"}},
        {"open %s", {"FS_EXEC_ERROR"}},
        {"props %s", {"FS_EXEC_ERROR"}},
        {"ls %s", {"(empty)"}},
        {"col %s", {"Encrypted: (empty)", "Expired Date: (empty)", "Comment: (empty)"}},
        {"icon %s", {"FS_ICON_USEDEFAULT icon=no"}},
    };

    PanelSession panel(target, folder);
    panel.send("ls");
    panel.answerPasswordDialog({"pw"});
    panel.sync();
    const std::string stored = readFile(folder.file("database.xml"));
    for (const Case& c : cases) {
        for (const std::string& path : bad) {
            const std::string line = with(c.command, path);
            panel.send(line);
            std::vector<std::string> out;
            for (std::string l : panel.sync()) {
                if (l.rfind("> ", 0) == 0) continue;  // the command as the host read it
                // "ls" prints "(empty)" with the system's reason after it.
                if (l.rfind("(empty) ", 0) == 0) l = "(empty)";
                out.push_back(l);
            }
            EXPECT_EQ(out, c.answers) << line;
            EXPECT_EQ(readFile(folder.file("database.xml")), stored) << line;
        }
    }
    // The store still lists what it held.
    panel.send("ls \\Mail");
    std::vector<std::string> names = listedNames(panel.sync());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Gmail", "Sub", "[New Entry]"}));
    EXPECT_EQ(panel.quit(), 0);
    EXPECT_EQ(readFile(folder.file("database.xml")), stored);
}

}  // namespace
