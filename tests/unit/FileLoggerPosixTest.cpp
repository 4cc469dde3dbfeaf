// The file logger on real files: another process that holds the day's file
// with an exclusive flock keeps us out of it (as a sharing violation would on
// Windows), one with a shared lock (another copy of the plug-in) does not.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "FileLogger.h"
#include "TestSupport.h"

namespace {

bool fileExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A child process that opens a file, takes a flock on it and holds it until
// told to let go.
class LockHolder {
public:
    LockHolder(const std::string& path, int operation) {
        int ready[2], done[2];
        if (pipe(ready) != 0 || pipe(done) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(done[1]);
            int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0666);
            char ok = (fd >= 0 && ::flock(fd, operation) == 0) ? '1' : '0';
            if (::write(ready[1], &ok, 1) != 1) _exit(2);
            char c;
            while (::read(done[0], &c, 1) < 0) {
            }
            _exit(0);
        }
        ::close(ready[1]);
        ::close(done[0]);
        m_done = done[1];
        char ok = '0';
        if (::read(ready[0], &ok, 1) == 1) m_holding = ok == '1';
        ::close(ready[0]);
    }
    ~LockHolder() {
        if (m_done >= 0) ::close(m_done);  // the child reads the end and goes
        int status = 0;
        if (m_pid > 0) waitpid(m_pid, &status, 0);
    }
    bool holding() const { return m_holding; }

private:
    pid_t m_pid = -1;
    int m_done = -1;
    bool m_holding = false;
};

class FileLoggerPosixTest : public PlatformFixture {
protected:
    std::string plug;
    std::string folder;
    std::string day;

    void SetUp() override {
        PlatformFixture::SetUp();
        platform::Services native = platform::nativeServices();
        platform::services().logFiles = native.logFiles;
        char pattern[] = "/tmp/keyhold-log-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        plug = pattern;
        folder = plug + "/Keyhold";
        clock.now = platform::MemoryClock::fileTimeOf(2024, 3, 5, 10, 0, 0);
        day = folder + "/Keyhold_03_05_2024";
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + plug + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        PlatformFixture::TearDown();
    }
};

TEST_F(FileLoggerPosixTest, FileHeldExclusivelyByAnotherProcessGivesAppTwo) {
    LockHolder holder(day + ".log", LOCK_EX);
    ASSERT_TRUE(holder.holding());
    {
        CFileLogger logger;
        logger.setLayout(CFileLogger::eLayout::OneLine);
        ASSERT_TRUE(logger.init(plug, "Keyhold", 7, true));
        EXPECT_EQ(logger.currentPath(), day + "_App#2.log");
        logger.log(eImportant, "A.cpp", 1, "beside the held file");
    }
    EXPECT_NE(readWhole(day + "_App#2.log").find("| A.cpp(1) | eImportant: beside the held file \r\n"),
              std::string::npos);
    EXPECT_EQ(readWhole(day + ".log"), "");
}

TEST_F(FileLoggerPosixTest, FileSharedWithAnotherCopyIsWrittenByBoth) {
    {
        std::ofstream earlier(day + ".log", std::ios::binary);
        earlier << "earlier\r\n";
    }
    LockHolder holder(day + ".log", LOCK_SH);
    ASSERT_TRUE(holder.holding());
    {
        CFileLogger logger;
        logger.setLayout(CFileLogger::eLayout::OneLine);
        ASSERT_TRUE(logger.init(plug, "Keyhold", 7, true));
        EXPECT_EQ(logger.currentPath(), day + ".log");
        logger.log(eImportant, "A.cpp", 1, "appended");
    }
    std::string written = readWhole(day + ".log");
    EXPECT_EQ(written.rfind("earlier\r\nThr", 0), 0u) << written;
    EXPECT_NE(written.find("eImportant: appended \r\n"), std::string::npos) << written;
}

TEST_F(FileLoggerPosixTest, CleanerDeletesOldFilesOnDisk) {
    for (const char* name : {"Keyhold_01_01_2024.log", "Keyhold_13_01_2020.zip", "Keyhold_03_01_2024.log",
                             "notes.txt"}) {
        std::ofstream(folder + "/" + name) << "x";
    }
    ASSERT_EQ(::mkdir((folder + "/Keyhold_01_01_2020.zip").c_str(), 0700), 0);  // a folder is no file
    {
        CFileLogger logger;
        ASSERT_TRUE(logger.init(plug, "Keyhold", 7, true));
        logger.stopThreads();  // after its first pass
    }
    EXPECT_FALSE(fileExists(folder + "/Keyhold_01_01_2024.log"));
    EXPECT_FALSE(fileExists(folder + "/Keyhold_13_01_2020.zip"));
    EXPECT_TRUE(fileExists(folder + "/Keyhold_03_01_2024.log"));
    EXPECT_TRUE(fileExists(folder + "/notes.txt"));
    EXPECT_TRUE(fileExists(folder + "/Keyhold_01_01_2020.zip"));
    EXPECT_TRUE(fileExists(day + ".log"));
}

TEST_F(FileLoggerPosixTest, FolderThatCannotBeMadeFailsInit) {
    std::ofstream(plug + "/blocker") << "a file where the folder would go";
    CFileLogger logger;
    EXPECT_FALSE(logger.init(plug + "/blocker", "Keyhold", 7, true));
    ASSERT_EQ(messageBoxes.shown.size(), 1u);
    EXPECT_EQ(messageBoxes.shown[0].text, "Handle to log file is invalid!");
}

// The log is the user's alone: its folder 0700 and its files 0600, whatever
// the umask; a folder and a file an earlier version left open to others are
// closed to them.
TEST_F(FileLoggerPosixTest, LogFolderAndFilesAreTheUsersAlone) {
    struct Case {
        const char* name;
        bool earlier;  // folder 0755 and the day's file 0644 are there already
    };
    const Case cases[] = {{"fresh", false}, {"left by an earlier version", true}};
    for (const Case& c : cases) {
        std::string cmd = "rm -rf '" + folder + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        if (c.earlier) {
            ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
            ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
            std::ofstream(day + ".log") << "earlier\r\n";
            ASSERT_EQ(::chmod((day + ".log").c_str(), 0644), 0);
        }
        mode_t saved = ::umask(022);
        {
            CFileLogger logger;
            EXPECT_TRUE(logger.init(plug, "Keyhold", 7, true)) << c.name;
            logger.log(eImportant, "A.cpp", 1, "private");
        }
        ::umask(saved);
        struct stat st{};
        ASSERT_EQ(::lstat(folder.c_str(), &st), 0) << c.name;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << c.name;
        EXPECT_EQ(st.st_mode & 07777, 0700u) << c.name;
        ASSERT_EQ(::lstat((day + ".log").c_str(), &st), 0) << c.name;
        EXPECT_EQ(st.st_mode & 07777, 0600u) << c.name;
        EXPECT_NE(readWhole(day + ".log").find("private"), std::string::npos) << c.name;
    }
}

// A link planted where the log folder or the day's file goes is never
// followed: the logger does without a file, and nothing is written, created
// or deleted where the link points.
TEST_F(FileLoggerPosixTest, LinkWhereTheLogGoesIsRefused) {
    const std::string elsewhere = plug + "/elsewhere";
    ASSERT_EQ(::mkdir(elsewhere.c_str(), 0700), 0);
    struct Case {
        const char* name;
        std::string link;    // planted here
        std::string target;  // pointing there
    };
    const Case cases[] = {
        {"folder linked to another folder", folder, elsewhere},
        {"day's file linked to a file", day + ".log", elsewhere + "/victim.txt"},
        {"day's file linked to a file not there yet", day + ".log", elsewhere + "/created.txt"},
    };
    for (const Case& c : cases) {
        std::string cmd = "rm -rf '" + folder + "' && mkdir -m 700 '" + folder + "' && rm -rf '" + elsewhere +
                          "' && mkdir -m 700 '" + elsewhere + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        std::ofstream(elsewhere + "/victim.txt") << "untouched";
        std::ofstream(elsewhere + "/Keyhold_01_01_2020.zip") << "an old archive, not ours";
        if (c.link == folder) ASSERT_EQ(::rmdir(folder.c_str()), 0);
        ASSERT_EQ(::symlink(c.target.c_str(), c.link.c_str()), 0) << c.name;
        messageBoxes.shown.clear();
        {
            CFileLogger logger;
            EXPECT_FALSE(logger.init(plug, "Keyhold", 7, true)) << c.name;
            logger.log(eImportant, "A.cpp", 1, "must not land behind the link");
        }
        ASSERT_EQ(messageBoxes.shown.size(), 1u) << c.name;
        EXPECT_EQ(messageBoxes.shown[0].text, "Handle to log file is invalid!");
        EXPECT_EQ(readWhole(elsewhere + "/victim.txt"), "untouched") << c.name;
        EXPECT_FALSE(fileExists(elsewhere + "/created.txt")) << c.name;
        EXPECT_FALSE(fileExists(elsewhere + "/Keyhold_03_05_2024.log")) << c.name;
        EXPECT_TRUE(fileExists(elsewhere + "/Keyhold_01_01_2020.zip")) << c.name;
        struct stat st{};
        ASSERT_EQ(::lstat(c.link.c_str(), &st), 0) << c.name;
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << c.name << ": the link was replaced";
    }
}

}  // namespace
