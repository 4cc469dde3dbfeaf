#include "platform/LogFiles.h"

#include <windows.h>

#include "platform/Wildcard.h"

namespace platform {
namespace {

class Win32LogFile : public LogFile {
public:
    explicit Win32LogFile(HANDLE handle) : m_handle(handle) {}
    ~Win32LogFile() override { CloseHandle(m_handle); }

    bool seekToEnd() override {
        LARGE_INTEGER zero;
        zero.QuadPart = 0;
        return SetFilePointerEx(m_handle, zero, nullptr, FILE_END) != FALSE;
    }

    LogWriteResult write(const std::string& text) override {
        const char* p = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
            DWORD written = 0;
            if (!WriteFile(m_handle, p, chunk, &written, nullptr)) {
                return GetLastError() == ERROR_FILE_NOT_FOUND ? LogWriteResult::FileNotFound : LogWriteResult::Failed;
            }
            if (written == 0) return LogWriteResult::Failed;
            p += written;
            left -= written;
        }
        return LogWriteResult::Written;
    }

    bool flush() override { return FlushFileBuffers(m_handle) != FALSE; }

private:
    HANDLE m_handle;
};

class Win32LogFiles : public LogFiles {
public:
    bool createFolder(const std::string& path) override {
        if (CreateDirectoryA(path.c_str(), nullptr)) return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
        DWORD attributes = GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }

    LogOpenResult open(const std::string& path, std::unique_ptr<LogFile>& file) override {
        // Append access alone: every write lands at the end of the file, also
        // when another process writes the same log.
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return GetLastError() == ERROR_SHARING_VIOLATION ? LogOpenResult::Held : LogOpenResult::Failed;
        file.reset(new Win32LogFile(h));
        return LogOpenResult::Opened;
    }

    std::vector<std::string> list(const std::string& folder, const std::string& pattern) override {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
        if (h == INVALID_HANDLE_VALUE) return names;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            // The system also matches the short 8.3 names ("*.zip" finds
            // "a.zipped"); only the long name counts here.
            if (!wildcardMatch(pattern, found.cFileName, true)) continue;
            names.push_back(found.cFileName);
        } while (FindNextFileA(h, &found));
        FindClose(h);
        return names;
    }

    bool remove(const std::string& path) override { return DeleteFileA(path.c_str()) != FALSE; }
};

}  // namespace

LogFiles* nativeLogFiles() {
    static Win32LogFiles instance;
    return &instance;
}

}  // namespace platform
