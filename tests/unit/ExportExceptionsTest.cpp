// No C++ exception leaves an export: the host is not C++. Each export is made
// to throw inside (the in-memory platform throws where the plug-in calls it)
// and must answer its failure value instead, with one log line that names the
// export and not what the exception said.
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "Exports.h"
#include "StoreFixture.h"

namespace {

const char* const kSecret = "secret-text-of-the-exception";

// The host's progress callback, which a case may make throw.
bool progressThrows = false;
int WFX_CALL progress(int, char*, char*, int) {
    if (progressThrows) throw std::runtime_error(kSecret);
    return 0;
}
void WFX_CALL hostLog(int, int, char*) {}

struct Faults {
    bool read = false, write = false, shell = false, icons = false, module = false;
};

struct FaultyFiles : platform::MemoryFiles {
    Faults& faults;
    explicit FaultyFiles(Faults& f) : faults(f) {}
    platform::ReadResult readAll(const std::string& path, std::string& out) override {
        if (faults.read) throw std::bad_alloc();
        return MemoryFiles::readAll(path, out);
    }
    platform::ReadResult readStamped(const std::string& path, std::string& out, platform::FileStamp& stamp,
                                     std::uint64_t limit) override {
        if (faults.read) throw std::bad_alloc();
        return MemoryFiles::readStamped(path, out, stamp, limit);
    }
    bool replaceAtomically(const std::string& path, const std::string& data, std::string& error) override {
        if (faults.write) throw std::bad_alloc();
        return MemoryFiles::replaceAtomically(path, data, error);
    }
};
struct FaultyShell : platform::MemoryShell {
    Faults& faults;
    explicit FaultyShell(Faults& f) : faults(f) {}
    int execute(const std::string& verb, const std::string& file, const std::string& parameters, int show) override {
        if (faults.shell) throw std::runtime_error(kSecret);
        return MemoryShell::execute(verb, file, parameters, show);
    }
};
struct FaultyIcons : platform::MemoryIcons {
    Faults& faults;
    explicit FaultyIcons(Faults& f) : faults(f) {}
    void* load(int id, int pixels) override {
        if (faults.icons) throw std::length_error(kSecret);
        return MemoryIcons::load(id, pixels);
    }
};
struct FaultyModule : platform::MemoryModule {
    Faults& faults;
    explicit FaultyModule(Faults& f) : faults(f) {}
    std::string fileName() const override {
        if (faults.module) throw 42;  // not even a std::exception
        return MemoryModule::fileName();
    }
};

// A log that throws at every line: the plug-in's own log calls become the
// fault, and the export's report of it cannot be written either.
struct ThrowingLog : CLogSink {
    void log(int, const char*, int, const std::string&) override { throw std::runtime_error(kSecret); }
};

class ExportExceptionsTest : public StoreFixture {
protected:
    FaultyFiles faultyFiles{faults};
    FaultyShell faultyShell{faults};
    FaultyIcons faultyIcons{faults};
    FaultyModule faultyModule{faults};
    ThrowingLog throwingLog;

    void SetUp() override {
        StoreFixture::SetUp();
        platform::Services& s = platform::services();
        s.files = &faultyFiles;
        s.shell = &faultyShell;
        s.icons = &faultyIcons;
        s.module = &faultyModule;
        faultyModule.name = module.name;
        faultyFiles.content[ini] = "[MAIN]\nNewEntryFolder=1\n[AUTOLOCK]\nAutolock=0\n[DEVELOPMENT]\nMasterPassword=pw\n";
        faultyFiles.content[store] =
            "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
            "\">\n<folder name=\"Email\" id=\"2\"><folder name=\"Sub\" id=\"3\"/></folder>\n"
            "<file name=\"Key\" id=\"6\"><url>http://key.example/</url></file>\n</pswd>\n";
        FsInit(1, progress, hostLog, nullptr);
        wfx::WIN32_FIND_DATAA fd;
        wfx::HANDLE h = FsFindFirst(HostText("\\"), &fd);
        ASSERT_NE(h, wfx::invalidHandle());
        FsFindClose(h);
        stored = faultyFiles.content[store];
    }
    void TearDown() override {
        faults = Faults();
        progressThrows = false;
        keyholdlog::setLogger(&log);
        FsContentPluginUnloading();
        StoreFixture::TearDown();
    }
    int reportsOf(const std::string& exportName) {
        int n = 0;
        for (const auto& line : log.lines) {
            EXPECT_EQ(line.message.find(kSecret), std::string::npos) << line.message;
            if (line.level == eError && line.message.rfind(exportName + " stopped by an exception", 0) == 0) ++n;
        }
        return n;
    }

    Faults faults;
    std::string stored;
};

struct FaultCase {
    const char* exportName;
    std::function<void(Faults&)> fault;
    std::function<int()> call;
    int failure;
};

TEST_F(ExportExceptionsTest, AnExceptionBecomesTheFailureValueAndOneLogLine) {
    const std::vector<FaultCase> cases = {
        {"FsInit", [](Faults& f) { f.module = true; }, [] { return FsInit(1, progress, hostLog, nullptr); }, 0},
        {"FsFindFirst",
         [](Faults& f) {
             f.read = true;  // the store is read again, and there is no memory for it
             xmlData().resetInitialized();
         },
         [] {
             wfx::WIN32_FIND_DATAA fd;
             wfx::HANDLE h = FsFindFirst(HostText("\\"), &fd);
             return h == wfx::invalidHandle() ? -1 : 1;
         },
         -1},
        {"FsMkDir", [](Faults& f) { f.write = true; }, [] { return FsMkDir(HostText("\\New")); }, 0},
        {"FsDeleteFile", [](Faults& f) { f.write = true; }, [] { return FsDeleteFile(HostText("\\Key")); }, 0},
        {"FsRemoveDir", [](Faults& f) { f.write = true; }, [] { return FsRemoveDir(HostText("\\Email\\Sub")); }, 0},
        {"FsRenMovFile", [](Faults&) { progressThrows = true; },
         [] { return FsRenMovFile(HostText("\\Key"), HostText("\\Email\\Key"), 1, 0, nullptr); },
         wfx::FS_FILE_WRITEERROR},
        {"FsPutFile", [](Faults&) { progressThrows = true; },
         [] { return FsPutFile(HostText("/tmp/local"), HostText("\\Key"), 0); }, wfx::FS_FILE_WRITEERROR},
        {"FsExecuteFile", [](Faults& f) { f.shell = true; },
         [] { return FsExecuteFile(nullptr, HostText("\\Key"), HostText("properties")); }, wfx::FS_EXEC_ERROR},
        {"FsExtractCustomIcon", [](Faults& f) { f.icons = true; },
         [] {
             wfx::HICON icon = nullptr;
             return FsExtractCustomIcon(HostText("\\Key"), wfx::FS_ICONFLAG_SMALL, &icon);
         },
         wfx::FS_ICON_USEDEFAULT},
    };
    for (const FaultCase& c : cases) {
        log.lines.clear();
        faults = Faults();
        progressThrows = false;
        c.fault(faults);
        int result = -100;
        EXPECT_NO_THROW(result = c.call()) << c.exportName;
        EXPECT_EQ(result, c.failure) << c.exportName;
        EXPECT_EQ(reportsOf(c.exportName), 1) << c.exportName;
        EXPECT_EQ(faultyFiles.content[store], stored) << c.exportName;
    }
}

// When the log itself throws, the export still answers, with nothing to say.
TEST_F(ExportExceptionsTest, AThrowingLogDoesNotGetOutEither) {
    keyholdlog::setLogger(&throwingLog);
    int put = -100;
    EXPECT_NO_THROW(put = FsPutFile(HostText("/tmp/local"), HostText("\\Key"), 0));
    EXPECT_EQ(put, wfx::FS_FILE_WRITEERROR);
    wfx::HANDLE h = nullptr;
    wfx::WIN32_FIND_DATAA fd;
    EXPECT_NO_THROW(h = FsFindFirst(HostText("\\Email"), &fd));
    EXPECT_EQ(h, wfx::invalidHandle());
    int exec = -100;
    EXPECT_NO_THROW(exec = FsExecuteFile(nullptr, HostText("\\Email"), HostText("open")));
    EXPECT_EQ(exec, wfx::FS_EXEC_ERROR);
    EXPECT_NO_THROW(FsContentPluginUnloading());
    keyholdlog::setLogger(&log);
    EXPECT_EQ(faultyFiles.content[store], stored);
}

}  // namespace
