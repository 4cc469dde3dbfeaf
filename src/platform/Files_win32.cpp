#include "platform/Files.h"
#include "platform/ReadBuffers.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>

namespace platform {
namespace {

std::string lastErrorText(const char* what) {
    return std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
}

bool stampOf(HANDLE h, FileStamp& s) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return false;
    s.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    s.modified = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                           info.ftLastWriteTime.dwLowDateTime);
    s.lastWrite = static_cast<std::uint64_t>(s.modified);
    s.device = info.dwVolumeSerialNumber;
    s.identity = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool writeWhole(HANDLE h, const std::string& content, std::string& error) {
    const char* p = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(h, p, chunk, &written, nullptr) || written == 0) {
            error = lastErrorText("cannot write");
            return false;
        }
        p += written;
        left -= written;
    }
    if (!FlushFileBuffers(h)) {
        error = lastErrorText("cannot flush");
        return false;
    }
    return true;
}

// A new file beside `path`, written whole and flushed, then moved over it;
// with `createOnly` moved only where no file of that name is (the move fails
// when one appeared meanwhile), so the name shows the whole file or none.
bool writeBesideAndMove(const std::string& path, const std::string& content, std::string& error,
                        bool createOnly = false) {
    static std::atomic<unsigned> counter{0};
    std::string temp =
        path + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + ".new";
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = lastErrorText("cannot create a new file beside it");
        return false;
    }
    bool ok = writeWhole(h, content, error);
    CloseHandle(h);
    const DWORD flags = createOnly ? MOVEFILE_WRITE_THROUGH : MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (ok && !MoveFileExA(temp.c_str(), path.c_str(), flags)) {
        DWORD e = GetLastError();
        error = createOnly && (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS)
                    ? std::string("a file of that name appeared meanwhile")
                    : lastErrorText(createOnly ? "cannot create it" : "cannot replace");
        ok = false;
    }
    if (!ok) DeleteFileA(temp.c_str());
    return ok;
}

class Win32Lock : public FileLock {
public:
    explicit Win32Lock(HANDLE h) : m_handle(h) {}
    ~Win32Lock() override {
        OVERLAPPED at{};
        UnlockFileEx(m_handle, 0, 1, 0, &at);
        CloseHandle(m_handle);
    }

private:
    HANDLE m_handle;
};

class Win32Files : public Files {
public:
    bool exists(const std::string& path) override {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    bool remove(const std::string& path, std::string& error) override {
        if (DeleteFileA(path.c_str())) return true;
        error = lastErrorText("cannot delete the file");
        return false;
    }

    ReadResult readAll(const std::string& path, std::string& content) override {
        FileStamp ignored;
        return readStamped(path, content, ignored, UINT64_MAX);
    }

    ReadResult readStamped(const std::string& path, std::string& content, FileStamp& stamp,
                           std::uint64_t maxSize) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD e = GetLastError();
            if ((e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) && !exists(path)) return ReadResult::Missing;
            return ReadResult::Unreadable;
        }
        FileStamp before;
        if (!stampOf(h, before)) {
            CloseHandle(h);
            return ReadResult::Unreadable;
        }
        if (before.size > maxSize) {
            CloseHandle(h);
            return ReadResult::TooLarge;
        }
        ReadBuffers read;
        std::string& data = read.data;
        // Room for the file and the few guard bytes a reader puts behind it,
        // so that neither grows the buffer by copying it.
        data.reserve(static_cast<std::size_t>(before.size) + 16);
        char* buffer = read.chunk;
        for (;;) {
            DWORD n = 0;
            if (!ReadFile(h, buffer, sizeof read.chunk, &n, nullptr)) {
                CloseHandle(h);
                return ReadResult::Unreadable;
            }
            if (n == 0) break;
            if (data.size() + n > maxSize) {
                CloseHandle(h);
                return ReadResult::TooLarge;
            }
            data.append(buffer, n);
        }
        bool stamped = stampOf(h, stamp);
        CloseHandle(h);
        if (!stamped) return ReadResult::Unreadable;
        content.swap(data);
        return ReadResult::Ok;
    }

    ReadResult stamp(const std::string& path, FileStamp& out) override {
        HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD e = GetLastError();
            if ((e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) && !exists(path)) return ReadResult::Missing;
            return ReadResult::Unreadable;
        }
        bool ok = stampOf(h, out);
        CloseHandle(h);
        return ok ? ReadResult::Ok : ReadResult::Unreadable;
    }

    bool replaceAtomically(const std::string& path, const std::string& content, std::string& error) override {
        return writeBesideAndMove(path, content, error);
    }

    bool createNew(const std::string& path, const std::string& content, std::string& error) override {
        return writeBesideAndMove(path, content, error, true);
    }

    bool copyKeepingMode(const std::string& original, const std::string& copy, std::string& error) override {
        // The copy takes the original's attributes; its access rights come
        // from the folder, as the store's own do.
        static std::atomic<unsigned> counter{0};
        std::string temp =
            copy + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + ".new";
        if (!CopyFileA(original.c_str(), temp.c_str(), TRUE)) {
            error = lastErrorText("cannot copy");
            return false;
        }
        if (!MoveFileExA(temp.c_str(), copy.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            error = lastErrorText("cannot replace");
            DeleteFileA(temp.c_str());
            return false;
        }
        return true;
    }

    std::unique_ptr<FileLock> lockExclusive(const std::string& lockPath, std::string& error) override {
        HANDLE h = CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            error = lastErrorText(("cannot open the lock file " + lockPath).c_str());
            return nullptr;
        }
        OVERLAPPED at{};
        if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
            error = lastErrorText(("cannot lock " + lockPath).c_str());
            CloseHandle(h);
            return nullptr;
        }
        return std::unique_ptr<FileLock>(new Win32Lock(h));
    }

    bool canCreateIn(const std::string& folder) override {
        static std::atomic<unsigned> counter{0};
        std::string name = folder + "\\.keyhold-probe-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(++counter);
        HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        CloseHandle(h);
        return true;
    }

    bool createPrivateFolder(const std::string& path, std::string& error) override {
        // Made with the access rights of the folder above, as every new
        // folder under the user's profile is private to the user.
        for (std::string::size_type at = path.find_first_of("\\/", 3);; at = path.find_first_of("\\/", at + 1)) {
            std::string part = at == std::string::npos ? path : path.substr(0, at);
            // A folder above that cannot be made (a share's own name) shows in the last one.
            bool made = CreateDirectoryA(part.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
            if (at != std::string::npos) continue;
            if (!made) {
                error = lastErrorText(("cannot make " + part).c_str());
                return false;
            }
            break;
        }
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            error = path + " is not a folder";
            return false;
        }
        return true;
    }
};

}  // namespace

Files* nativeFiles() {
    static Win32Files instance;
    return &instance;
}

}  // namespace platform
