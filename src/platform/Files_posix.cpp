#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {
namespace {

std::string folderOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool writeAll(int fd, const std::string& content) {
    const char* p = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

class PosixFiles : public Files {
public:
    bool exists(const std::string& path) override {
        struct stat st{};
        return ::stat(path.c_str(), &st) == 0;
    }

    ReadResult readAll(const std::string& path, std::string& content) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Unreadable;
        struct stat st{};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return ReadResult::Unreadable;
        }
        std::string data;
        char buffer[65536];
        for (;;) {
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0) {
                if (errno == EINTR) continue;
                ::close(fd);
                return ReadResult::Unreadable;
            }
            if (n == 0) break;
            data.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fd);
        content.swap(data);
        return ReadResult::Ok;
    }

    bool replaceAtomically(const std::string& path, const std::string& content, std::string& error) override {
        std::string pattern = path + ".XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        int fd = ::mkstemp(name.data());
        if (fd < 0) {
            error = std::string("cannot create a new file beside it: ") + std::strerror(errno);
            return false;
        }
        // Keep the permissions of the file being replaced; a new file is private.
        struct stat st{};
        ::fchmod(fd, ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600);
        bool ok = writeAll(fd, content);
        if (!ok) error = std::string("cannot write: ") + std::strerror(errno);
        if (ok && ::fsync(fd) != 0) {
            ok = false;
            error = std::string("cannot flush: ") + std::strerror(errno);
        }
        if (::close(fd) != 0 && ok) {
            ok = false;
            error = std::string("cannot close: ") + std::strerror(errno);
        }
        if (ok && ::rename(name.data(), path.c_str()) != 0) {
            ok = false;
            error = std::string("cannot replace: ") + std::strerror(errno);
        }
        if (!ok) {
            ::unlink(name.data());
            return false;
        }
        int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return true;
    }
};

}  // namespace

Files* nativeFiles() {
    static PosixFiles instance;
    return &instance;
}

}  // namespace platform
