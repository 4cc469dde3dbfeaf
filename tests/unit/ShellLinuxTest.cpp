// The Linux shell on real processes: a recording program written by the test
// shows which arguments arrived, which files it was handed and whose child it
// was. Nothing may go through a command interpreter, and no child may be left
// behind.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/Shell.h"

namespace platform {
Shell* nativeShell();
}

namespace {

namespace fs = std::filesystem;

std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class ShellLinuxTest : public ::testing::Test {
protected:
    fs::path dir;
    fs::path bin;
    std::string savedPath;

    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "keyhold-shell-XXXXXX").string();
        ASSERT_NE(::mkdtemp(&templ[0]), nullptr);
        dir = templ;
        bin = dir / "bin";
        fs::create_directories(bin);
        const char* path = std::getenv("PATH");
        savedPath = path ? path : "";
        // Our own xdg-open comes first on the search path.
        ::setenv("PATH", (bin.string() + ":" + savedPath).c_str(), 1);
        writeRecorder(bin / "xdg-open", "xdg-open");
    }
    void TearDown() override {
        ::setenv("PATH", savedPath.c_str(), 1);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // A program that writes its parent's process id, its open descriptors and
    // then, as its last act, its arguments (one per line) beside the test.
    fs::path writeRecorder(const fs::path& where, const std::string& name) {
        const std::string out = (dir / ("argv-" + name)).string();
        std::ofstream script(where);
        script << "#!/bin/sh\n"
               << "printf '%s\\n' \"$PPID\" > '" << out << ".ppid'\n"
               << "for f in /proc/$$/fd/*; do printf '%s\\n' \"${f##*/}\"; done > '" << out << ".fds'\n"
               << "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << out << ".part'\n"
               << "mv '" << out << ".part' '" << out << "'\n";
        script.close();
        ::chmod(where.c_str(), 0755);
        return where;
    }
    // The recorded arguments of a program, once it has written them.
    bool waitForRecord(const std::string& name, std::vector<std::string>& args) {
        const fs::path record = dir / ("argv-" + name);
        for (int i = 0; i < 1000; ++i) {
            if (fs::exists(record)) {
                args = linesOf(record.string());
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    std::vector<std::string> recorded(const std::string& name, const char* what) {
        return linesOf((dir / ("argv-" + name + what)).string());
    }
    // The started program was not our child, and no child of ours is left.
    void expectNoChildLeft(const std::string& name) {
        std::vector<std::string> ppid = recorded(name, ".ppid");
        ASSERT_EQ(ppid.size(), 1u);
        EXPECT_NE(ppid[0], std::to_string(::getpid())) << "the program was started as our own child";
        int status = 0;
        pid_t reaped = ::waitpid(-1, &status, WNOHANG);
        EXPECT_LE(reaped, 0) << "a child of ours had ended without being waited for";
    }
    std::string side(const char* name) const { return (dir / name).string(); }

    platform::Shell& shell() { return *platform::nativeShell(); }
};

TEST_F(ShellLinuxTest, ProgramGetsItsParametersAsSeparateWordsUninterpreted) {
    fs::path program = writeRecorder(dir / "prog", "prog");
    const std::string params = "a;touch${IFS}" + side("side1") + " $(touch${IFS}" + side("side2") + ") `touch${IFS}" +
                               side("side3") + "` \"q\" 'r' |cat &x >" + side("side4") + " $HOME";
    ASSERT_GT(shell().execute("open", program.string(), params, platform::kShow), 32);

    std::vector<std::string> args;
    ASSERT_TRUE(waitForRecord("prog", args));
    const std::vector<std::string> expected{"a;touch${IFS}" + side("side1"),
                                            "$(touch${IFS}" + side("side2") + ")",
                                            "`touch${IFS}" + side("side3") + "`",
                                            "\"q\"",
                                            "'r'",
                                            "|cat",
                                            "&x",
                                            ">" + side("side4"),
                                            "$HOME"};
    EXPECT_EQ(args, expected);
    for (const char* s : {"side1", "side2", "side3", "side4"}) EXPECT_FALSE(fs::exists(side(s))) << s;
    expectNoChildLeft("prog");
}

TEST_F(ShellLinuxTest, AddressGoesToXdgOpenAsExactlyOneArgument) {
    const std::vector<std::string> urls{
        "https://example.org/login?u=ann&p=s3cret",
        "https://example.org/a b?q=\"x y\"&r='z';touch${IFS}" + side("side5") + " $(touch " + side("side6") +
            ") `id` | cat > " + side("side7") + " &",
        "mailto:ann@example.org?subject=two words",
    };
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        ASSERT_GT(shell().execute("", url, "", platform::kShowNormal), 32);
        std::vector<std::string> args;
        ASSERT_TRUE(waitForRecord("xdg-open", args));
        EXPECT_EQ(args, std::vector<std::string>{url});
        expectNoChildLeft("xdg-open");
        fs::remove(dir / "argv-xdg-open");
    }
    for (const char* s : {"side5", "side6", "side7"}) EXPECT_FALSE(fs::exists(side(s))) << s;
}

TEST_F(ShellLinuxTest, DocumentGoesToXdgOpen) {
    const fs::path document = dir / "-report.txt";
    std::ofstream(document) << "text";
    for (const std::string& file : {document.string(), (dir / "bin").string()}) {
        ASSERT_GT(shell().execute("", file, "", platform::kShowNormal), 32) << file;
        std::vector<std::string> args;
        ASSERT_TRUE(waitForRecord("xdg-open", args));
        EXPECT_EQ(args, std::vector<std::string>{file});
        fs::remove(dir / "argv-xdg-open");
    }
}

TEST_F(ShellLinuxTest, RelativeNameBeginningWithADashIsNoOptionOfXdgOpen) {
    const fs::path saved = fs::current_path();
    fs::current_path(dir);
    std::ofstream("-v") << "text";
    int r = shell().execute("", "-v", "", platform::kShowNormal);
    fs::current_path(saved);
    ASSERT_GT(r, 32);
    std::vector<std::string> args;
    ASSERT_TRUE(waitForRecord("xdg-open", args));
    EXPECT_EQ(args, std::vector<std::string>{"./-v"});
}

TEST_F(ShellLinuxTest, ProgramNamedWithoutASlashIsTheOneThatWasFound) {
    writeRecorder(dir / "prog", "here");
    writeRecorder(bin / "prog", "alongPath");
    const fs::path saved = fs::current_path();
    fs::current_path(dir);
    int r = shell().execute("open", "prog", "p", platform::kShow);
    fs::current_path(saved);
    ASSERT_GT(r, 32);
    std::vector<std::string> args;
    ASSERT_TRUE(waitForRecord("here", args));
    EXPECT_EQ(args, std::vector<std::string>{"p"});
    EXPECT_FALSE(fs::exists(dir / "argv-alongPath"));
}

TEST_F(ShellLinuxTest, MissingFileIsNotFound) {
    writeRecorder(dir / "prog", "prog");
    for (const std::string& file : {(dir / "missing").string(), std::string("missing-program"),
                                    // A program and its parameters as one text: the caller's
                                    // second try cuts it at the blank.
                                    (dir / "prog").string() + " a b", std::string()}) {
        EXPECT_EQ(shell().execute("", file, "", platform::kShowNormal), platform::kShellFileNotFound) << file;
        EXPECT_EQ(shell().execute("open", file, "x y", platform::kShow), platform::kShellFileNotFound) << file;
    }
    EXPECT_FALSE(fs::exists(dir / "argv-prog"));
    EXPECT_FALSE(fs::exists(dir / "argv-xdg-open"));
}

TEST_F(ShellLinuxTest, WithoutXdgOpenAnAddressHasNoAssociation) {
    fs::remove(bin / "xdg-open");
    ::setenv("PATH", bin.string().c_str(), 1);
    EXPECT_EQ(shell().execute("", "https://example.org/", "", platform::kShowNormal), platform::kShellNoAssociation);
    int status = 0;
    EXPECT_LE(::waitpid(-1, &status, WNOHANG), 0);
}

TEST_F(ShellLinuxTest, StartedProgramInheritsNoneOfOurFiles) {
    int fd = ::open("/dev/null", O_RDONLY);  // without close-on-exec, as a host's file may be
    ASSERT_GE(fd, 0);
    const int held = 200;
    ASSERT_EQ(::dup2(fd, held), held);
    ::close(fd);
    fs::path program = writeRecorder(dir / "prog", "prog");
    int r = shell().execute("open", program.string(), "p", platform::kShow);
    std::vector<std::string> args;
    bool ran = waitForRecord("prog", args);
    ::close(held);
    ASSERT_GT(r, 32);
    ASSERT_TRUE(ran);
    std::vector<std::string> fds = recorded("prog", ".fds");
    EXPECT_FALSE(fds.empty());
    EXPECT_EQ(std::count(fds.begin(), fds.end(), std::to_string(held)), 0);
}

}  // namespace
