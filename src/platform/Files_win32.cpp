#include "platform/Files.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace platform {
namespace {

std::string lastErrorText(const char* what) {
    return std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
}

class Win32Files : public Files {
public:
    bool exists(const std::string& path) override {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    ReadResult readAll(const std::string& path, std::string& content) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD e = GetLastError();
            if ((e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) && !exists(path)) return ReadResult::Missing;
            return ReadResult::Unreadable;
        }
        std::string data;
        char buffer[65536];
        for (;;) {
            DWORD n = 0;
            if (!ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
                CloseHandle(h);
                return ReadResult::Unreadable;
            }
            if (n == 0) break;
            data.append(buffer, n);
        }
        CloseHandle(h);
        content.swap(data);
        return ReadResult::Ok;
    }

    bool replaceAtomically(const std::string& path, const std::string& content, std::string& error) override {
        static std::atomic<unsigned> counter{0};
        std::string temp = path + "." + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(++counter) + ".new";
        HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            error = lastErrorText("cannot create a new file beside it");
            return false;
        }
        bool ok = true;
        const char* p = content.data();
        std::size_t left = content.size();
        while (ok && left > 0) {
            DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
            DWORD written = 0;
            if (!WriteFile(h, p, chunk, &written, nullptr) || written == 0) {
                error = lastErrorText("cannot write");
                ok = false;
                break;
            }
            p += written;
            left -= written;
        }
        if (ok && !FlushFileBuffers(h)) {
            error = lastErrorText("cannot flush");
            ok = false;
        }
        CloseHandle(h);
        if (ok && !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            error = lastErrorText("cannot replace");
            ok = false;
        }
        if (!ok) DeleteFileA(temp.c_str());
        return ok;
    }
};

}  // namespace

Files* nativeFiles() {
    static Win32Files instance;
    return &instance;
}

}  // namespace platform
