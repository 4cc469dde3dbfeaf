// The file logger on real Windows files: a day's file that another handle
// holds without sharing sends the logger to the App#2 file; one shared as the
// plug-in shares it is written by both, every message at the end of the file;
// the cleaner finds old files by their long names. Exits non-zero when a
// check failed.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "FileLogger.h"
#include "platform/LogFiles.h"
#include "platform/Platform.h"

#include "Checks.h"

namespace {

std::string readWhole(const std::string& path) {
    std::string content;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return content;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) content.append(buffer, n);
    CloseHandle(h);
    return content;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void touch(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

HANDLE holdFile(const std::string& path, DWORD share) {
    return CreateFileA(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

int main() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string plug = std::string(temp) + "keyhold-log-check-" + std::to_string(GetCurrentProcessId());
    const std::string folder = plug + "\\Keyhold";
    CreateDirectoryA(plug.c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    SYSTEMTIME now;
    GetLocalTime(&now);
    char name[64];
    std::snprintf(name, sizeof name, "Keyhold_%02u_%02u_%04u", now.wMonth, now.wDay, now.wYear);
    const std::string day = folder + "\\" + name;

    // Held without sharing: the numbered file.
    HANDLE holder = holdFile(day + ".log", 0);
    check(holder != INVALID_HANDLE_VALUE, "a handle holds the day's file without sharing");
    {
        CFileLogger logger;
        logger.setLayout(CFileLogger::eLayout::OneLine);
        check(logger.init(plug, "Keyhold", 7, true), "init beside the held file");
        check(logger.currentPath() == day + "_App#2.log", "writes " + logger.currentPath());
        logger.log(eImportant, "A.cpp", 1, "beside");
    }
    CloseHandle(holder);
    check(readWhole(day + "_App#2.log").find("| A.cpp(1) | eImportant: beside \r\n") != std::string::npos,
          "the message is in the App#2 file");
    check(readWhole(day + ".log").empty(), "the held file got nothing");

    // Shared the way the plug-in shares it: the same file for two writers,
    // every message at its end.
    holder = holdFile(day + ".log", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    check(holder != INVALID_HANDLE_VALUE, "a handle shares the day's file");
    {
        CFileLogger first, second;
        first.setLayout(CFileLogger::eLayout::OneLine);
        second.setLayout(CFileLogger::eLayout::OneLine);
        check(first.init(plug, "Keyhold", 7, true) && second.init(plug, "Keyhold", 7, true), "two loggers start");
        check(first.currentPath() == day + ".log" && second.currentPath() == day + ".log", "both write the day's file");
        first.log(eImportant, "A.cpp", 1, "one");
        second.log(eImportant, "B.cpp", 2, "two");
        first.log(eImportant, "A.cpp", 3, "three");
    }
    CloseHandle(holder);
    const std::string shared = readWhole(day + ".log");
    const std::size_t one = shared.find("A.cpp(1) | eImportant: one \r\n");
    const std::size_t two = shared.find("B.cpp(2) | eImportant: two \r\n");
    const std::size_t three = shared.find("A.cpp(3) | eImportant: three \r\n");
    check(one != std::string::npos && two != std::string::npos && three != std::string::npos && one < two &&
              two < three,
          "no message overwrote another:\n" + shared);

    // Flushing an append-only handle.
    {
        std::unique_ptr<platform::LogFile> file;
        check(platform::logFiles().open(day + ".log", file) == platform::LogOpenResult::Opened, "open again");
        check(file && file->seekToEnd() && file->write("x\r\n") == platform::LogWriteResult::Written &&
                  file->flush(),
              "seek, write and flush");
    }

    // The cleaner by long names only.
    touch(folder + "\\Keyhold_13_01_2020.zip");
    touch(folder + "\\Keyhold_01_01_2020.zipped");
    {
        CFileLogger logger;
        check(logger.init(plug, "Keyhold", 7, true), "init with old files");
        logger.stopThreads();
    }
    check(!exists(folder + "\\Keyhold_13_01_2020.zip"), "an impossible date is deleted");
    check(exists(folder + "\\Keyhold_01_01_2020.zipped"), "a longer extension is kept");
    check(exists(day + ".log"), "today's file is kept");

    for (const char* n : {"_App#2.log", ".log"}) DeleteFileA((day + n).c_str());
    for (const char* n : {"Keyhold_13_01_2020.zip", "Keyhold_01_01_2020.zipped"})
        DeleteFileA((folder + "\\" + n).c_str());
    RemoveDirectoryA(folder.c_str());
    RemoveDirectoryA(plug.c_str());
    std::printf("%s\n", g_failed == 0 ? "all checks passed" : "some checks FAILED");
    return g_failed == 0 ? 0 : 1;
}
