// Saves that fail halfway, on real files: the old store must stay whole.
#if !defined(_WIN32)
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "StoreFixture.h"

namespace {

class AtomicSaveTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        char tmpl[] = "/tmp/keyhold-save-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        path = dir + "/database.xml";
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        StoreFixture::TearDown();
    }
    std::string readBack() {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<std::string> entries() {
        std::vector<std::string> names;
        DIR* d = opendir(dir.c_str());
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
        return names;
    }
    // Runs a save of `content` in a child process that can write only half of it.
    int saveInChildThatRunsOutOfSpace(const std::string& content) {
        pid_t pid = fork();
        if (pid == 0) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{content.size() / 2, content.size() / 2};
            setrlimit(RLIMIT_FSIZE, &limit);
            std::string error;
            bool ok = platform::nativeServices().files->replaceAtomically(path, content, error);
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string dir, path;
};

TEST_F(AtomicSaveTest, SaveCutOffHalfwayLeavesTheOldStoreWholeAndLoadable) {
    const std::string old = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
                            "\">\n    <folder name=\"Mail\" id=\"2\" creationtime=\"1\" />\n</pswd>\n";
    { std::ofstream(path, std::ios::binary) << old; }
    std::string bigger = old;
    while (bigger.size() < 1 << 20) bigger.insert(bigger.size() - 8, "<folder name=\"Filler\" id=\"0\" />\n");

    EXPECT_EQ(saveInChildThatRunsOutOfSpace(bigger), 1) << "the failed save is reported";
    EXPECT_EQ(readBack(), old);
    EXPECT_EQ(entries(), std::vector<std::string>{"database.xml"}) << "no half-written file is left";

    // And what is on disk still opens as the store.
    files.content[path] = readBack();
    start(std::string("[MAIN]\ndatafile=") + path + "\n");
    willType("pw");
    EXPECT_EQ(list("\\").back(), "Mail");
}

TEST_F(AtomicSaveTest, KilledWriterNeverLeavesATruncatedStore) {
    const std::string old(100000, 'o');
    { std::ofstream(path, std::ios::binary) << old; }
    const std::string replacement(64 << 20, 'n');
    for (int delayMs : {0, 2, 20, 100}) {
        pid_t pid = fork();
        if (pid == 0) {
            std::string error;
            platform::nativeServices().files->replaceAtomically(path, replacement, error);
            _exit(0);
        }
        usleep(static_cast<useconds_t>(delayMs) * 1000);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        std::string now = readBack();
        EXPECT_TRUE(now == old || now == replacement) << "size after the kill: " << now.size();
        if (now == replacement) { std::ofstream(path, std::ios::binary | std::ios::trunc) << old; }
    }
}

// A new store is created only where no file is, and appears whole or not at
// all: a writer killed halfway leaves no part of it under the store's name.
TEST_F(AtomicSaveTest, NewStoreAppearsWholeOrNotAtAll) {
    platform::Files& real = *platform::nativeServices().files;
    const std::string content(64 << 20, 'n');
    for (int delayMs : {0, 2, 20, 100}) {
        pid_t pid = fork();
        if (pid == 0) {
            std::string error;
            real.createNew(path, content, error);
            _exit(0);
        }
        usleep(static_cast<useconds_t>(delayMs) * 1000);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        if (access(path.c_str(), F_OK) == 0) {
            EXPECT_EQ(readBack().size(), content.size()) << "killed after " << delayMs << " ms";
            unlink(path.c_str());
        }
    }
    // What a killed writer leaves beside it is no store.
    for (const std::string& name : entries()) unlink((dir + "/" + name).c_str());

    std::string error;
    ASSERT_TRUE(real.createNew(path, "first", error)) << error;
    EXPECT_EQ(readBack(), "first");
    EXPECT_FALSE(real.createNew(path, "second", error));
    EXPECT_EQ(readBack(), "first") << "a file that is there is never replaced";
    EXPECT_EQ(entries(), std::vector<std::string>{"database.xml"});
}

}  // namespace
#endif
