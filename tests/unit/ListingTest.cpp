// Listing folders for the host.
#include "Execute.h"
#include "StoreFixture.h"

namespace {

class ListingTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
                               "\"><folder name=\"Mail\" id=\"2\" creationtime=\"1258363200\">"
                               "<file name=\"Gmail\" id=\"3\"><creationtime>1258363201</creationtime></file>"
                               "<file name=\"Yahoo\" id=\"4\"/></folder><folder name=\"Empty\" id=\"5\"/>"
                               "<file name=\"" + std::string(300, 'L') + "\" id=\"6\"/></pswd>";
        start("[MAIN]\nNewEntryFolder=0\n");
        willType("pw");
    }
};

TEST_F(ListingTest, FindDataDescribesEachNode) {
    wfx::WIN32_FIND_DATAA fd;
    std::memset(&fd, 0x5A, sizeof fd);
    wfx::HANDLE h = FindFirst("\\", &fd);
    ASSERT_NE(h, wfx::invalidHandle());
    EXPECT_STREQ(fd.cFileName, "New Entry");
    EXPECT_EQ(fd.dwFileAttributes, 0x80u);
    EXPECT_EQ(fd.nFileSizeLow, 3u) << "the number of entries in the store";
    EXPECT_EQ(fd.ftLastWriteTime.dwHighDateTime, 0xFFFFFFFFu);
    EXPECT_EQ(fd.ftLastWriteTime.dwLowDateTime, 0xFFFFFFFEu);
    EXPECT_EQ(fd.ftCreationTime.dwLowDateTime, 0u);
    EXPECT_EQ(fd.dwReserved0, 0u);
    EXPECT_EQ(fd.cAlternateFileName[0], '\0');
    std::vector<std::string> names{fd.cFileName};
    while (FindNext(h, &fd)) {
        names.push_back(fd.cFileName);
        if (names.back() == "Mail") {
            EXPECT_EQ(fd.dwFileAttributes, 0x10u);
            EXPECT_EQ(timeutil::fileTimeToText(fd.ftLastWriteTime), "1258363200");
        }
    }
    EXPECT_FALSE(FindNext(h, &fd));
    EXPECT_FALSE(FindNext(h, &fd));
    EXPECT_EQ(FindClose(h), 0);
    ASSERT_EQ(names.size(), 6u);
    EXPECT_EQ(names[5].size(), 259u) << "names are cut to the host's buffer";
    EXPECT_EQ(names[5], std::string(259, 'L'));
}

TEST_F(ListingTest, EntryDatesAreTheirCreationTimes) {
    wfx::WIN32_FIND_DATAA fd;
    wfx::HANDLE h = FindFirst("\\Mail", &fd);
    ASSERT_NE(h, wfx::invalidHandle());
    EXPECT_STREQ(fd.cFileName, "Gmail");
    EXPECT_EQ(fd.dwFileAttributes, 0x80u);
    EXPECT_EQ(timeutil::fileTimeToText(fd.ftLastWriteTime), "1258363201");
    FindClose(h);
}

TEST_F(ListingTest, NothingToListAnswersNoMoreFiles) {
    list("\\");
    for (const char* path : {"\\Empty", "\\Mail\\Gmail", "\\Nope", "\\Mail\\Nope\\Deeper", "\\mail"}) {
        lastError.code = 0;
        wfx::WIN32_FIND_DATAA fd;
        EXPECT_EQ(FindFirst(path, &fd), wfx::invalidHandle()) << path;
        EXPECT_EQ(lastError.code, 18u) << path;
        EXPECT_EQ(fd.dwFileAttributes, 0u) << path;
    }
}

TEST_F(ListingTest, ListingsKeepTheirOwnPlace) {
    wfx::WIN32_FIND_DATAA a, b;
    wfx::HANDLE root = FindFirst("\\", &a);
    FindNext(root, &a);  // Lock Keyhold
    // The host lists another folder (or asks for columns) in the middle.
    wfx::HANDLE mail = FindFirst("\\Mail", &b);
    EXPECT_STREQ(b.cFileName, "Gmail");
    ASSERT_TRUE(FindNext(root, &a));
    EXPECT_STREQ(a.cFileName, "Default Auto Type Window is OFF");
    ASSERT_TRUE(FindNext(mail, &b));
    EXPECT_STREQ(b.cFileName, "Yahoo");
    ASSERT_TRUE(FindNext(root, &a));
    EXPECT_STREQ(a.cFileName, "Mail");
    FindClose(mail);
    FindClose(root);
}

TEST_F(ListingTest, LinuxHostsSendSlashes) {
#if !defined(_WIN32)
    list("\\");
    EXPECT_EQ(list("/Mail"), (std::vector<std::string>{"Gmail", "Yahoo"}));
    EXPECT_EQ(list("/").size(), 6u);
#endif
}

TEST_F(ListingTest, StandInHandlesAreHarmless) {
    wfx::WIN32_FIND_DATAA fd;
    wfx::HANDLE one = reinterpret_cast<wfx::HANDLE>(static_cast<std::intptr_t>(1));
    EXPECT_FALSE(FindNext(one, &fd));
    EXPECT_EQ(FindClose(one), 0);
    EXPECT_FALSE(FindNext(wfx::invalidHandle(), &fd));
    EXPECT_EQ(FindClose(wfx::invalidHandle()), 0);
}

}  // namespace

namespace {

// Double Commander shows every time as a date, and "no date" reads as 1999
// there: the Linux build dates the command nodes with the store file's time
// (the time it was made, for a new store). The Windows builds keep "no date".
class CommandNodeTimeTest : public StoreFixture {
protected:
    // The time of each command node listed in a folder.
    std::vector<std::pair<std::string, FILETIME>> commandTimes(const std::string& path) {
        std::vector<std::pair<std::string, FILETIME>> times;
        wfx::WIN32_FIND_DATAA fd;
        wfx::HANDLE h = FindFirst(path.c_str(), &fd);
        if (h == wfx::invalidHandle()) return times;
        do {
            std::string name = fd.cFileName;
            if (!(fd.dwFileAttributes & wfx::kAttrDirectory) && name != "Gmail")
                times.push_back({name, fd.ftLastWriteTime});
        } while (FindNext(h, &fd));
        FindClose(h);
        return times;
    }
    void expectAllAt(const std::string& path, const FILETIME& expected, std::size_t count) {
        auto times = commandTimes(path);
        EXPECT_EQ(times.size(), count) << path;
        for (const auto& t : times) {
            EXPECT_EQ(timeutil::toUInt64(t.second), timeutil::toUInt64(expected)) << path << ": " << t.first;
        }
    }
};

TEST_F(CommandNodeTimeTest, CommandNodesShowTheStoreFileTime) {
    const FILETIME stored = timeutil::textToFileTime("1700000000");
    files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
                           "\"><folder name=\"Mail\" id=\"2\"><file name=\"Gmail\" id=\"3\"/></folder></pswd>";
    files.lastWrite[store] = timeutil::toUInt64(stored);
    start("[MAIN]\nNewEntryFolder=1\n[AUTOLOCK]\nAutolock=0\n[DEVELOPMENT]\nMasterPassword=pw\n");
    const FILETIME expected = kDatedCommandNodes ? stored : timeutil::kNoTime;
    expectAllAt("\\", expected, 3);
    expectAllAt("\\Mail", expected, 1);  // its "[New Entry]"
    // The node put in place by the auto-type window command.
    ExecuteFile("\\Default Auto Type Window is OFF", "open");
    expectAllAt("\\", expected, 3);
    // Locked, the root lists "UnLock Keyhold" alone.
    ExecuteFile("\\Lock Keyhold", "open");
    expectAllAt("\\", expected, 1);
}

TEST_F(CommandNodeTimeTest, ANewStoreDatesThemWithItsMaking) {
    const FILETIME made = timeutil::textToFileTime("1600000000");
    clock.now = timeutil::toUInt64(made);
    start("[MAIN]\nNewEntryFolder=1\n[AUTOLOCK]\nAutolock=0\n");
    willType("pw");
    const FILETIME expected = kDatedCommandNodes ? made : timeutil::kNoTime;
    expectAllAt("\\", expected, 3);
    expectAllAt("\\Email", expected, 1);
}

}  // namespace
