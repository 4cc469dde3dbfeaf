// The file logger on the in-memory platform: names of the daily files, both
// layouts byte for byte, the day's rotation, failing files, the cleaner and
// the start-up from the settings.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "FileLogger.h"
#include "LogFileNames.h"
#include "TestSupport.h"

namespace {

using logfilenames::tDate;
using platform::MemoryClock;

// Thread numbers as the test sets them.
struct FixedThreads : platform::MemoryThreads {
    std::atomic<unsigned long> id{42};
    unsigned long currentThreadId() override { return id; }
};

class FileLoggerTest : public PlatformFixture {
protected:
    std::string sep = std::string(1, platform::kPathSeparator);
    std::string plug = sep + "plug";
    std::string folder = plug + sep + "Keyhold";
    FixedThreads fixedThreads;

    void SetUp() override {
        PlatformFixture::SetUp();
        platform::services().threads = &fixedThreads;
        clock.now = MemoryClock::fileTimeOf(2024, 3, 5, 14, 7, 9);  // a Tuesday
        process.path = sep + "opt" + sep + "tc" + sep + "doublecmd";
        process.processId = 3170;
    }
    void TearDown() override {
        logger.reset();
        destroyFileLogger();
        PlatformFixture::TearDown();
    }
    std::string inFolder(const std::string& name) const { return folder + sep + name; }
    // A started logger in the one-line or the block layout.
    CFileLogger& started(CFileLogger::eLayout layout = CFileLogger::eLayout::Block) {
        logger.reset(new CFileLogger());
        logger->setLayout(layout);
        EXPECT_TRUE(logger->init(plug, "Keyhold", 7, true));
        return *logger;
    }

    std::unique_ptr<CFileLogger> logger;
};

// The names of the day's file ------------------------------------------------

TEST_F(FileLoggerTest, DayFileIsNamedByTheLocalDateInsideTheFolderOfTheBaseName) {
    // 23:30 UTC is already the next day an hour east of Greenwich.
    clock.now = MemoryClock::fileTimeOf(2024, 12, 31, 23, 30, 0);
    clock.utcOffsetMinutes = 60;
    CFileLogger& log = started();
    EXPECT_TRUE(logFiles.folders.count(folder));
    EXPECT_EQ(log.folder(), folder);
    EXPECT_EQ(log.currentPath(), inFolder("Keyhold_01_01_2025.log"));
    EXPECT_EQ(logFiles.handlesOpen(inFolder("Keyhold_01_01_2025.log")), 1);
}

TEST_F(FileLoggerTest, FileHeldByAnotherProcessGivesTheNextAppNumber) {
    struct Case {
        std::vector<std::string> held;
        std::string expected;
    };
    const Case cases[] = {
        {{"Keyhold_03_05_2024.log"}, "Keyhold_03_05_2024_App#2.log"},
        {{"Keyhold_03_05_2024.log", "Keyhold_03_05_2024_App#2.log"}, "Keyhold_03_05_2024_App#3.log"},
    };
    for (const Case& c : cases) {
        logFiles.held.clear();
        for (const std::string& h : c.held) logFiles.held.insert(inFolder(h));
        CFileLogger& log = started();
        EXPECT_EQ(log.currentPath(), inFolder(c.expected));
        log.log(eImportant, "A.cpp", 1, "written");
        EXPECT_NE(logFiles.content(inFolder(c.expected)).find("written"), std::string::npos);
        EXPECT_FALSE(logFiles.exists(inFolder("Keyhold_03_05_2024.log")));
        logger.reset();
    }
}

TEST_F(FileLoggerTest, WithoutBaseNameTheDirectoryIsTheFolderAndNamesStartWithTheMonth) {
    logger.reset(new CFileLogger());
    ASSERT_TRUE(logger->init(plug + sep, "", 7, true));
    EXPECT_EQ(logger->folder(), plug);
    EXPECT_EQ(logger->currentPath(), plug + sep + "03_05_2024.log");
    logger.reset();

    logFiles.held.insert(plug + sep + "03_05_2024.log");
    logger.reset(new CFileLogger());
    ASSERT_TRUE(logger->init(plug, "", 7, true));
    EXPECT_EQ(logger->currentPath(), plug + sep + "03_05_2024_App#2.log");
}

TEST(LogFileNames, DailyNames) {
    EXPECT_EQ(logfilenames::dailyName("Keyhold", tDate{2024, 3, 5}), "Keyhold_03_05_2024.log");
    EXPECT_EQ(logfilenames::dailyName("Keyhold", tDate{2024, 11, 25}, 2), "Keyhold_11_25_2024_App#2.log");
    EXPECT_EQ(logfilenames::dailyName("Keyhold", tDate{2024, 11, 25}, 1), "Keyhold_11_25_2024.log");
    EXPECT_EQ(logfilenames::dailyName("", tDate{1999, 1, 9}), "01_09_1999.log");
    EXPECT_EQ(logfilenames::dailyName("", tDate{1999, 1, 9}, 12), "01_09_1999_App#12.log");
}

// The two layouts -------------------------------------------------------------

TEST_F(FileLoggerTest, BlockLayoutByteForByte) {
    CFileLogger& log = started();
    log.log(eWarning, "Listing.cpp", 66, "Entering FsFindFirst(\\)");
    const std::string expected =
        "\r\n"
        "============================================================\r\n"
        "DATE & TIME OF LOGGING THIS MESSAGE:Tuesday, March 05 2024, 14:07:09 PM\r\n"
        "PROCESS NAME:" + process.path + "\r\n"
        "COMPONENT NAME:         Keyholder\r\n"
        "MODULE NAME:         Listing.cpp\r\n"
        "MODULE LINE NO:         66\r\n"
        "MODULE VERSION:         \r\n"
        "Process Id:         3170\r\n"
        "Thread Id:         42\r\n"
        "MESSAGE LEVEL:         60\r\n"
        "MESSAGE:         Entering FsFindFirst(\\)\r\n";
    EXPECT_EQ(logFiles.content(log.currentPath()), expected);
}

TEST_F(FileLoggerTest, BlockDateInTheMorningOfAnotherMonth) {
    clock.now = MemoryClock::fileTimeOf(2023, 11, 26, 9, 5, 0);  // a Sunday
    CFileLogger& log = started();
    log.log(eRubbish, "X.cpp", 1, "m");
    EXPECT_NE(logFiles.content(log.currentPath())
                  .find("DATE & TIME OF LOGGING THIS MESSAGE:Sunday, November 26 2023, 09:05:00 AM\r\n"),
              std::string::npos)
        << logFiles.content(log.currentPath());
}

TEST_F(FileLoggerTest, OneLineLayoutByteForByte) {
    CFileLogger& log = started(CFileLogger::eLayout::OneLine);
    log.log(eImportant, "Listing.cpp", 66, "Entering FsFindFirst(\\)");
    fixedThreads.id = 1234567;
    log.log(eFatal, "src\\security\\Util.cpp", 168, "m");  // a name with folders keeps only its last part
    log.log(eError, "a/b/Tree.h", 3, "n");
    EXPECT_EQ(logFiles.content(log.currentPath()),
              "Thr   42 | Listing.cpp(66) | eImportant: Entering FsFindFirst(\\) \r\n"
              "Thr1234567 | Util.cpp(168) | eFatal: m \r\n"
              "Thr1234567 | Tree.h(3) | eError: n \r\n");
}

TEST_F(FileLoggerTest, EveryLevelHasItsNameAndNumber) {
    const struct {
        int level;
        const char* name;
        const char* number;
    } levels[] = {{eRubbish, "eRubbish", "5"},         {eInformation, "eInformation", "40"},
                  {eImportant, "eImportant", "50"},    {eWarning, "eWarning", "60"},
                  {eTroubleShoot, "eTroubleShoot", "70"}, {eError, "eError", "80"},
                  {eFatal, "eFatal", "90"}};
    for (const auto& l : levels) {
        CFileLogger& block = started();
        block.log(l.level, "A.cpp", 1, "m");
        EXPECT_NE(logFiles.content(block.currentPath()).find(std::string("MESSAGE LEVEL:         ") + l.number + "\r\n"),
                  std::string::npos)
            << l.name;
        logger.reset();
        logFiles.files.clear();
        CFileLogger& line = started(CFileLogger::eLayout::OneLine);
        line.log(l.level, "A.cpp", 1, "m");
        EXPECT_EQ(logFiles.content(line.currentPath()), std::string("Thr   42 | A.cpp(1) | ") + l.name + ": m \r\n");
        logger.reset();
        logFiles.files.clear();
    }
}

TEST_F(FileLoggerTest, ShortFormWritesABlockWithoutSourceAndNothingInOneLine) {
    CFileLogger& block = started();
    block.log("FileLogCleaner: something", eError);
    const std::string written = logFiles.content(block.currentPath());
    EXPECT_NE(written.find("MODULE NAME:         \r\nMODULE LINE NO:         \r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("MESSAGE LEVEL:         80\r\nMESSAGE:         FileLogCleaner: something\r\n"),
              std::string::npos)
        << written;
    logger.reset();
    logFiles.files.clear();

    CFileLogger& line = started(CFileLogger::eLayout::OneLine);
    line.log("FileLogCleaner: something", eError);
    line.log(eError, "A.cpp", 2, "");  // an empty message is no message
    EXPECT_EQ(logFiles.content(line.currentPath()), "");
}

TEST_F(FileLoggerTest, TheLogCallNamesTheSourceFileAndLine) {
    CFileLogger& log = started(CFileLogger::eLayout::OneLine);
    keyholdlog::setLogger(&log);
    const int line = __LINE__ + 1;
    KH_LOG(eInformation, "%d entries in %s", 3, "Mail");
    keyholdlog::setLogger(&this->log);
    EXPECT_EQ(logFiles.content(log.currentPath()),
              "Thr   42 | FileLoggerTest.cpp(" + std::to_string(line) + ") | eInformation: 3 entries in Mail \r\n");
}

// The day's rotation and failing files ----------------------------------------

TEST_F(FileLoggerTest, FirstMessageOfANewDayGoesToTheNewDaysFileAndClosesTheOld) {
    clock.now = MemoryClock::fileTimeOf(2024, 3, 5, 23, 59, 59);
    CFileLogger& log = started(CFileLogger::eLayout::OneLine);
    const std::string first = inFolder("Keyhold_03_05_2024.log");
    log.log(eImportant, "A.cpp", 1, "before midnight");
    clock.now = MemoryClock::fileTimeOf(2024, 3, 6, 0, 0, 1);
    log.log(eImportant, "A.cpp", 2, "after midnight");
    const std::string second = inFolder("Keyhold_03_06_2024.log");
    EXPECT_EQ(log.currentPath(), second);
    EXPECT_EQ(logFiles.content(first), "Thr   42 | A.cpp(1) | eImportant: before midnight \r\n");
    EXPECT_EQ(logFiles.content(second), "Thr   42 | A.cpp(2) | eImportant: after midnight \r\n");
    EXPECT_EQ(logFiles.handlesOpen(first), 0);
    EXPECT_EQ(logFiles.handlesOpen(second), 1);

    // The same day of the next month is another day too.
    clock.now = MemoryClock::fileTimeOf(2024, 4, 6, 12, 0, 0);
    log.log(eImportant, "A.cpp", 3, "a month on");
    EXPECT_EQ(log.currentPath(), inFolder("Keyhold_04_06_2024.log"));
    EXPECT_EQ(logFiles.handlesOpen(second), 0);
}

TEST_F(FileLoggerTest, AnExistingDayFileIsAppendedTo) {
    logFiles.folders.insert(folder);
    logFiles.files[inFolder("Keyhold_03_05_2024.log")] = "earlier\r\n";
    CFileLogger& log = started(CFileLogger::eLayout::OneLine);
    log.log(eImportant, "A.cpp", 1, "now");
    EXPECT_EQ(logFiles.content(log.currentPath()), "earlier\r\nThr   42 | A.cpp(1) | eImportant: now \r\n");
}

TEST_F(FileLoggerTest, FileGoneFromUnderTheHandleIsOpenedAgainAndTheMessageWrittenOnce) {
    CFileLogger& log = started(CFileLogger::eLayout::OneLine);
    const std::string path = log.currentPath();
    log.log(eImportant, "A.cpp", 1, "one");
    logFiles.files.erase(path);  // deleted: the next write finds no file
    log.log(eImportant, "A.cpp", 2, "two");
    EXPECT_EQ(logFiles.content(path), "Thr   42 | A.cpp(2) | eImportant: two \r\n");
    EXPECT_EQ(logFiles.handlesOpen(path), 1);

    // The system says the file is gone although it is there: opened again,
    // the message lands once.
    logFiles.writeResults.push_back(platform::LogWriteResult::FileNotFound);
    log.log(eImportant, "A.cpp", 3, "three");
    EXPECT_EQ(logFiles.content(path),
              "Thr   42 | A.cpp(2) | eImportant: two \r\nThr   42 | A.cpp(3) | eImportant: three \r\n");
    EXPECT_EQ(logFiles.handlesOpen(path), 1);
}

TEST_F(FileLoggerTest, RefusedWriteIsDroppedAndTheNextOneLands) {
    CFileLogger& log = started(CFileLogger::eLayout::OneLine);
    logFiles.writeResults.push_back(platform::LogWriteResult::Failed);
    log.log(eImportant, "A.cpp", 1, "lost");
    log.log(eImportant, "A.cpp", 2, "kept");
    EXPECT_EQ(logFiles.content(log.currentPath()), "Thr   42 | A.cpp(2) | eImportant: kept \r\n");
    EXPECT_EQ(logFiles.opened.size(), 1u);
}

TEST_F(FileLoggerTest, NewDaysFileThatCannotBeOpenedEndsTheOldOneWithTheErrorLines) {
    CFileLogger& log = started(CFileLogger::eLayout::OneLine);
    const std::string old = log.currentPath();
    logFiles.unopenable.insert(inFolder("Keyhold_03_06_2024.log"));
    clock.now = MemoryClock::fileTimeOf(2024, 3, 6, 8, 0, 0);
    log.log(eImportant, "A.cpp", 1, "lost");
    EXPECT_EQ(logFiles.content(old),
              "[ERROR]   INTERNAL CreateNewLogFile: CreateFile() returned error!\r\n"
              "[ERROR]   INTERNAL CreateNewLogFile: SetFilePointer() returned error!\r\n");
    EXPECT_EQ(logFiles.handlesOpen(old), 0);
    EXPECT_EQ(log.currentPath(), "");

    // Without a file, a message tries again once a minute has passed.
    logFiles.unopenable.clear();
    clock.now += 30 * 10000000ULL;
    log.log(eImportant, "A.cpp", 2, "too soon");
    EXPECT_EQ(log.currentPath(), "");
    clock.now += 31 * 10000000ULL;
    log.log(eImportant, "A.cpp", 3, "again");
    EXPECT_EQ(log.currentPath(), inFolder("Keyhold_03_06_2024.log"));
    EXPECT_EQ(logFiles.content(log.currentPath()), "Thr   42 | A.cpp(3) | eImportant: again \r\n");
}

TEST_F(FileLoggerTest, NewDaysFileHeldElsewhereGivesTheAppNumberAtRotationToo) {
    CFileLogger& log = started(CFileLogger::eLayout::OneLine);
    logFiles.held.insert(inFolder("Keyhold_03_06_2024.log"));
    clock.now = MemoryClock::fileTimeOf(2024, 3, 6, 8, 0, 0);
    log.log(eImportant, "A.cpp", 1, "next day");
    EXPECT_EQ(log.currentPath(), inFolder("Keyhold_03_06_2024_App#2.log"));
    EXPECT_EQ(logFiles.content(log.currentPath()), "Thr   42 | A.cpp(1) | eImportant: next day \r\n");
}

TEST_F(FileLoggerTest, FileThatCannotBeMovedToItsEndSaysSoInBothFiles) {
    CFileLogger& log = started(CFileLogger::eLayout::OneLine);
    const std::string old = log.currentPath();
    logFiles.seekFails = true;
    clock.now = MemoryClock::fileTimeOf(2024, 3, 6, 8, 0, 0);
    log.log(eImportant, "A.cpp", 1, "m");
    const std::string line = "[ERROR]   INTERNAL CreateNewLogFile: SetFilePointer() returned error!\r\n";
    EXPECT_EQ(logFiles.content(old), line);
    EXPECT_EQ(logFiles.content(log.currentPath()), line + "Thr   42 | A.cpp(1) | eImportant: m \r\n");
}

// A clock an hour further on at every reading, safe to read from many threads.
struct AdvancingClock : MemoryClock {
    std::atomic<std::uint64_t> next{0};
    bool currentFileTime(std::uint64_t& fileTime) override {
        fileTime = next.fetch_add(3600ULL * 10000000ULL);
        return true;
    }
};

TEST_F(FileLoggerTest, MessagesOfManyThreadsStayWholeAcrossTheDays) {
    CFileLogger& log = started();
    log.stopThreads();
    AdvancingClock advancing;
    advancing.next = MemoryClock::fileTimeOf(2024, 3, 5, 12, 0, 0);
    platform::services().clock = &advancing;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&log, t] {
            for (int i = 0; i < 200; ++i) log.log(eInformation, "W.cpp", t, "message " + std::to_string(i));
        });
    }
    for (std::thread& w : writers) w.join();
    platform::services().clock = &clock;

    // Each day's file was opened once, and holds whole blocks only.
    std::set<std::string> days(logFiles.opened.begin(), logFiles.opened.end());
    EXPECT_EQ(days.size(), logFiles.opened.size());
    EXPECT_EQ(days.size(), 34u);  // 800 readings an hour apart from noon on 5 March: to 7 April
    const std::string head = "\r\n" + std::string(60, '=') + "\r\n";
    std::size_t blocks = 0;
    for (const std::string& path : days) {
        const std::string written = logFiles.content(path);
        ASSERT_EQ(written.rfind(head, 0), 0u) << path;
        for (std::size_t at = 0; at != std::string::npos;) {
            std::size_t end = written.find(head, at + 1);
            std::string block = written.substr(at, end == std::string::npos ? std::string::npos : end - at);
            // Twelve pieces, each ending in CR LF, the message last.
            std::size_t pieces = 0;
            for (std::size_t p = block.find("\r\n"); p != std::string::npos; p = block.find("\r\n", p + 2)) ++pieces;
            ASSERT_EQ(pieces, 12u) << block;
            ASSERT_NE(block.find("MESSAGE:         message "), std::string::npos) << block;
            ++blocks;
            at = end;
        }
    }
    EXPECT_EQ(blocks, 800u);
}

// Starting that fails ---------------------------------------------------------

TEST_F(FileLoggerTest, InitFailsCleanlyWhenNoFileCanBeOpened) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        bool messageBox;
    };
    const std::string tooLong(CFileLogger::kMaxPath + 1, 'd');
    const Case cases[] = {
        {"folder cannot be made", [&] { logFiles.refuseFolders = true; }, true},
        {"file cannot be opened", [&] { logFiles.unopenable.insert(inFolder("Keyhold_03_05_2024.log")); }, true},
        {"every numbered file held", [&] {
             logFiles.held.insert(inFolder("Keyhold_03_05_2024.log"));
             for (int n = 2; n <= 100; ++n) logFiles.held.insert(inFolder("Keyhold_03_05_2024_App#" + std::to_string(n) + ".log"));
         }, true},
        {"clock cannot be read", [&] { clock.fails = true; }, true},
    };
    for (const Case& c : cases) {
        logFiles.refuseFolders = false;
        logFiles.unopenable.clear();
        logFiles.held.clear();
        clock.fails = false;
        messageBoxes.shown.clear();
        c.arrange();
        CFileLogger failing;
        EXPECT_FALSE(failing.init(plug, "Keyhold", 7, true)) << c.what;
        EXPECT_EQ(failing.currentPath(), "") << c.what;
        ASSERT_EQ(messageBoxes.shown.size(), 1u) << c.what;
        EXPECT_EQ(messageBoxes.shown[0].text, "Handle to log file is invalid!");
        EXPECT_EQ(fixedThreads.moduleHolds, 0) << c.what << ": no cleaner was started";
    }
    messageBoxes.shown.clear();
    CFileLogger longDirectory, longBase;
    EXPECT_FALSE(longDirectory.init(sep + tooLong, "Keyhold", 7, true));
    EXPECT_FALSE(longBase.init(plug, tooLong, 7, true));
    EXPECT_TRUE(messageBoxes.shown.empty());
    EXPECT_TRUE(logFiles.opened.empty());
}

// The cleaner -----------------------------------------------------------------

TEST(LogFileNames, DateOfANameInTheLogFolder) {
    struct Case {
        const char* name;
        const char* base;
        bool ours;
        tDate date;
    };
    const tDate epoch{1970, 1, 1};
    const Case cases[] = {
        {"Keyhold_03_05_2024.log", "Keyhold", true, {2024, 3, 5}},
        {"Keyhold_03_05_2024_App#2.log", "Keyhold", true, {2024, 3, 5}},
        {"Keyhold_11_30_2023.zip", "Keyhold", true, {2023, 11, 30}},
        {"Keyhold_13_01_2020.zip", "Keyhold", true, epoch},  // month 13
        {"Keyhold_00_01_2020.zip", "Keyhold", true, epoch},  // month 0
        {"Keyhold_03_00_2024.zip", "Keyhold", true, epoch},  // day 0
        {"Keyhold_04_31_2024.zip", "Keyhold", true, epoch},  // April has 30 days
        {"Keyhold_02_29_2024.zip", "Keyhold", true, {2024, 2, 29}},  // leap year
        {"Keyhold_02_29_2023.zip", "Keyhold", true, epoch},
        {"Keyhold_02_28_2023.zip", "Keyhold", true, {2023, 2, 28}},
        {"Keyhold_01_01_1969.zip", "Keyhold", true, epoch},  // before the range
        {"Keyhold_01_01_2040.zip", "Keyhold", true, epoch},  // after it
        {"Keyhold_01_01_1970.zip", "Keyhold", true, {1970, 1, 1}},
        {"Keyhold_12_31_2039.zip", "Keyhold", true, {2039, 12, 31}},
        {"Keyhold_99999999_01_2020.zip", "Keyhold", true, epoch},
        {"Other_01_01_2020.zip", "Keyhold", false, {}},      // another program's
        {"Keyholder_01_01_2020.zip", "Keyhold", false, {}},  // another base name
        {"Keyhold_notes_01_2020.zip", "Keyhold", false, {}},  // no date
        {"Keyhold_01_01.zip", "Keyhold", false, {}},
        {"03_05_2024.log", "", true, {2024, 3, 5}},
        {"13_05_2024_App#3.zip", "", true, epoch},
        {"notes_03_05_2024.zip", "", false, {}},
    };
    for (const Case& c : cases) {
        tDate date{1, 1, 1};
        EXPECT_EQ(logfilenames::dateOfName(c.name, c.base, date), c.ours) << c.name;
        if (c.ours) {
            EXPECT_TRUE(date == c.date) << c.name << ": " << date.year << "-" << date.month << "-" << date.day;
        }
    }
}

TEST_F(FileLoggerTest, CleanerDeletesWhatIsDatedMoreThanTheAgeLimitAgo) {
    clock.now = MemoryClock::fileTimeOf(2024, 3, 12, 12, 0, 0);
    CFileLogger& log = started();
    log.stopThreads();  // the passes below are the test's own
    const std::vector<std::string> kept = {
        "Keyhold_03_12_2024.log",        // today's, open
        "Keyhold_03_06_2024.log",        // six days old
        "Keyhold_03_06_2024.zip",
        "Keyhold_02_29_2024.txt",        // no log, no archive
        "Other_01_01_2020.zip",          // not ours
        "Keyhold_notes_2020.zip",
        "Keyhold_12_31_2039.zip",        // in the future
    };
    const std::vector<std::string> deleted = {
        "Keyhold_03_05_2024.log",        // seven days old
        "Keyhold_03_04_2024_App#2.log",  // eight
        "Keyhold_01_01_2024.zip",
        "Keyhold_13_01_2020.zip",        // impossible dates count as 1970
        "Keyhold_03_00_2024.zip",
        "Keyhold_02_30_2024.zip",
        "Keyhold_03_10_2041.zip",
    };
    for (const auto* list : {&kept, &deleted})
        for (const std::string& n : *list) logFiles.files[inFolder(n)] += "";
    logFiles.files[plug + sep + "Keyhold_01_01_2020.zip"] = "";  // outside the log folder
    log.cleanOnce();
    for (const std::string& n : kept) EXPECT_TRUE(logFiles.exists(inFolder(n))) << n;
    for (const std::string& n : deleted) EXPECT_FALSE(logFiles.exists(inFolder(n))) << n;
    EXPECT_TRUE(logFiles.exists(plug + sep + "Keyhold_01_01_2020.zip"));
    EXPECT_EQ(logFiles.removed.size(), deleted.size());
    EXPECT_TRUE(this->log.has(eInformation, "FileLogCleaner: deleted Keyhold_13_01_2020.zip"));

    // With the day a file turns seven days old, it goes.
    clock.now = MemoryClock::fileTimeOf(2024, 3, 13, 0, 0, 1);
    log.cleanOnce();
    EXPECT_FALSE(logFiles.exists(inFolder("Keyhold_03_06_2024.log")));
    EXPECT_TRUE(logFiles.exists(inFolder("Keyhold_03_12_2024.log")));
}

TEST_F(FileLoggerTest, CleanerThreadCleansAtStartHoldsTheLibraryAndEndsWhenStopped) {
    logFiles.folders.insert(folder);
    logFiles.files[inFolder("Keyhold_13_01_2020.zip")] = "";
    {
        CFileLogger& log = started();
        EXPECT_EQ(fixedThreads.moduleHolds, 1);
        log.stopThreads();  // the thread waits a day between passes; it ends now
        EXPECT_EQ(fixedThreads.moduleReleases, 1);
        EXPECT_FALSE(logFiles.exists(inFolder("Keyhold_13_01_2020.zip"))) << "the first pass runs at once";
        log.stopThreads();  // a second stop has nothing to do
        EXPECT_EQ(fixedThreads.moduleReleases, 1);
        log.log(eImportant, "A.cpp", 1, "still logging");
        EXPECT_NE(logFiles.content(log.currentPath()).find("still logging"), std::string::npos);
    }
    logger.reset();
    const std::string path = inFolder("Keyhold_03_05_2024.log");
    EXPECT_EQ(logFiles.handlesOpen(path), 0);
    EXPECT_EQ(logFiles.flushes, 1);

    // The destructor stops a cleaner that is still running.
    started();
    EXPECT_EQ(fixedThreads.moduleHolds, 2);
    logger.reset();
    EXPECT_EQ(fixedThreads.moduleReleases, 2);
    EXPECT_EQ(logFiles.handlesOpen(path), 0);
}

// Start-up from the settings --------------------------------------------------

TEST_F(FileLoggerTest, FsInitWithDebugLoggingStartsTheLoggerInTheConfiguredLayout) {
    module.name = plug + sep + "keyhold.wfx";
    files.content[plug + sep + "keyHold.ini"] = "[MAIN]\nDebugLogging=1\nLogFormat=oneline\n";
    theApp().fsInit(1, nullptr, nullptr, nullptr);
    ASSERT_NE(keyholdlog::logger(), &log);
    const std::string path = inFolder("Keyhold_03_05_2024.log");
    const std::string written = logFiles.content(path);
    EXPECT_NE(written.find("| FileLogger.cpp("), std::string::npos) << written;
    EXPECT_NE(written.find(") | eImportant: Log Path: " + folder + " \r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("| KeyholdApp.cpp("), std::string::npos) << written;
    EXPECT_NE(written.find(") | eImportant: Plugin path: " + plug + ") \r\n"), std::string::npos) << written;
    // The logger's own line comes first: it starts before anything else logs.
    EXPECT_EQ(written.rfind("Thr   42 | FileLogger.cpp(", 0), 0u) << written;

    // Started once only.
    theApp().fsInit(1, nullptr, nullptr, nullptr);
    EXPECT_EQ(logFiles.opened.size(), 1u);

    // The unload path: threads first, then the logger; the sink before it is back.
    theApp().stopThreads();
    EXPECT_EQ(fixedThreads.moduleHolds, fixedThreads.moduleReleases);
    destroyFileLogger();
    EXPECT_EQ(keyholdlog::logger(), &log);
    EXPECT_EQ(logFiles.handlesOpen(path), 0);
}

TEST_F(FileLoggerTest, StartUpMakesNoLoggerWhenOffOrWhenItFails) {
    module.name = plug + sep + "keyhold.wfx";
    const std::string ini = plug + sep + "keyHold.ini";

    files.content[ini] = "[MAIN]\nDebugLogging=0\n";
    theApp().fsInit(1, nullptr, nullptr, nullptr);
    EXPECT_EQ(keyholdlog::logger(), &log);
    EXPECT_TRUE(logFiles.folders.empty());
    EXPECT_TRUE(messageBoxes.shown.empty());

    files.content[ini] = "[MAIN]\nDebugLogging=1\n[AUTOLOCK]\nAutolock=0\n";  // no thread but the cleaner's
    logFiles.refuseFolders = true;
    const int holds = fixedThreads.moduleHolds;
    theApp().fsInit(1, nullptr, nullptr, nullptr);
    EXPECT_EQ(keyholdlog::logger(), &log);
    ASSERT_EQ(messageBoxes.shown.size(), 1u);
    EXPECT_EQ(messageBoxes.shown[0].text, "Handle to log file is invalid!");
    EXPECT_TRUE(logFiles.opened.empty());
    EXPECT_EQ(fixedThreads.moduleHolds, holds);
    // The plug-in goes on logging nowhere.
    EXPECT_TRUE(log.has(eImportant, "Plugin path: " + plug + ")"));
}

}  // namespace
