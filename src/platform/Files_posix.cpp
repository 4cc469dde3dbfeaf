#include "platform/Files.h"
#include "platform/ReadBuffers.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <cerrno>
#include <cstdint>
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

bool writeAll(int fd, std::string_view content) {
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

FileStamp stampOf(const struct stat& st) {
    FileStamp s;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    // FILETIME counts from 1601, 11644473600 seconds before 1970.
    s.lastWrite = (static_cast<std::uint64_t>(st.st_mtim.tv_sec) + 11644473600u) * 10000000u +
                  static_cast<std::uint64_t>(st.st_mtim.tv_nsec) / 100;
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.identity = static_cast<std::uint64_t>(st.st_ino);
    return s;
}

void syncFolderOf(const std::string& path) {
    int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

// How a file written beside `path` takes its place.
enum class Placing { Replace, CreateOnly };

// Copies what is left of `in` to `out` through a small buffer, so that a
// large file never stands whole in memory; errno tells why it failed.
bool copyAll(int in, int out) {
    char buffer[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (!writeAll(out, std::string_view(buffer, static_cast<std::size_t>(n)))) {
            ok = false;
            break;
        }
    }
    const int why = errno;
    explicit_bzero(buffer, sizeof buffer);  // the store's text passed through it
    errno = why;
    return ok;
}

// Writes a new file beside `path` with `mode` (its bytes written by `write`),
// flushed, and puts it in place: renamed over `path`, or (CreateOnly) linked
// as `path`, which fails when a file of that name appeared meanwhile
// (`linkRefused` tells a file system that has no links). Either way the name
// shows the whole new file or nothing of it; the folder is flushed too.
bool writeBesideAndPlace(const std::string& path, const std::function<bool(int)>& write, mode_t mode,
                         Placing placing, std::string& error, bool& linkRefused) {
    linkRefused = false;
    std::string pattern = path + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = std::string("cannot create a new file beside it: ") + std::strerror(errno);
        return false;
    }
    ::fchmod(fd, mode);
    bool ok = write(fd);
    if (!ok) error = std::string("cannot write: ") + std::strerror(errno);
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        error = std::string("cannot flush: ") + std::strerror(errno);
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = std::string("cannot close: ") + std::strerror(errno);
    }
    if (ok && placing == Placing::Replace && ::rename(name.data(), path.c_str()) != 0) {
        ok = false;
        error = std::string("cannot replace: ") + std::strerror(errno);
    }
    if (ok && placing == Placing::CreateOnly) {
        if (::link(name.data(), path.c_str()) != 0) {
            ok = false;
            error = errno == EEXIST ? std::string("a file of that name appeared meanwhile")
                                    : std::string("cannot link it: ") + std::strerror(errno);
            linkRefused = errno != EEXIST;
        }
        ::unlink(name.data());
    }
    if (!ok) {
        ::unlink(name.data());
        return false;
    }
    syncFolderOf(path);
    return true;
}

// The same with `content` as the new file's bytes.
bool writeBesideAndPlace(const std::string& path, const std::string& content, mode_t mode, Placing placing,
                         std::string& error, bool& linkRefused) {
    return writeBesideAndPlace(
        path, [&content](int fd) { return writeAll(fd, content); }, mode, placing, error, linkRefused);
}

class PosixLock : public FileLock {
public:
    explicit PosixLock(int fd) : m_fd(fd) {}
    ~PosixLock() override {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
    }

private:
    int m_fd;
};

class PosixFiles : public Files {
public:
    bool exists(const std::string& path) override {
        struct stat st{};
        return ::stat(path.c_str(), &st) == 0;
    }

    bool remove(const std::string& path, std::string& error) override {
        if (::unlink(path.c_str()) == 0) return true;
        error = std::strerror(errno);
        return false;
    }

    ReadResult readAll(const std::string& path, std::string& content) override {
        FileStamp ignored;
        return readStamped(path, content, ignored, UINT64_MAX);
    }

    ReadResult readStamped(const std::string& path, std::string& content, FileStamp& stamp,
                           std::uint64_t maxSize) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Unreadable;
        struct stat st{};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return ReadResult::Unreadable;
        }
        if (static_cast<std::uint64_t>(st.st_size) > maxSize) {
            ::close(fd);
            return ReadResult::TooLarge;
        }
        ReadBuffers read;
        std::string& data = read.data;
        // Room for the file and the few guard bytes a reader puts behind it,
        // so that neither grows the buffer by copying it.
        data.reserve(static_cast<std::size_t>(st.st_size) + 16);
        char* buffer = read.chunk;
        for (;;) {
            ssize_t n = ::read(fd, buffer, sizeof read.chunk);
            if (n < 0) {
                if (errno == EINTR) continue;
                ::close(fd);
                return ReadResult::Unreadable;
            }
            if (n == 0) break;
            if (data.size() + static_cast<std::size_t>(n) > maxSize) {
                ::close(fd);
                return ReadResult::TooLarge;  // it grew while being read
            }
            data.append(buffer, static_cast<std::size_t>(n));
        }
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return ReadResult::Unreadable;
        }
        ::close(fd);
        content.swap(data);
        stamp = stampOf(st);
        return ReadResult::Ok;
    }

    ReadResult stamp(const std::string& path, FileStamp& out) override {
        struct stat st{};
        if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Unreadable;
        if (!S_ISREG(st.st_mode)) return ReadResult::Unreadable;
        out = stampOf(st);
        return ReadResult::Ok;
    }

    bool replaceAtomically(const std::string& path, const std::string& content, std::string& error) override {
        // Keep the permissions of the file being replaced; a new file is private.
        struct stat st{};
        mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600;
        bool linkRefused = false;
        return writeBesideAndPlace(path, content, mode, Placing::Replace, error, linkRefused);
    }

    bool createNew(const std::string& path, const std::string& content, std::string& error) override {
        // A new store is private, and appears whole or not at all.
        bool linkRefused = false;
        if (writeBesideAndPlace(path, content, 0600, Placing::CreateOnly, error, linkRefused)) return true;
        if (!linkRefused) return false;
        // A file system without links: made in place, still only where no
        // file of that name exists.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            error = errno == EEXIST ? std::string("a file of that name appeared meanwhile")
                                    : std::string("cannot create it: ") + std::strerror(errno);
            return false;
        }
        bool ok = writeAll(fd, content) && ::fsync(fd) == 0;
        if (!ok) error = std::string("cannot write: ") + std::strerror(errno);
        if (::close(fd) != 0 && ok) {
            ok = false;
            error = std::string("cannot close: ") + std::strerror(errno);
        }
        if (!ok) {
            ::unlink(path.c_str());
            return false;
        }
        syncFolderOf(path);
        return true;
    }

    bool copyKeepingMode(const std::string& original, const std::string& copy, std::string& error) override {
        int in = ::open(original.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st{};
        if (in < 0 || ::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
            if (in >= 0) ::close(in);
            error = "cannot read " + original;
            return false;
        }
        // Streamed from the original into the new file: a large store is not
        // read into memory for its copy.
        bool linkRefused = false;
        bool ok = writeBesideAndPlace(
            copy, [in](int out) { return copyAll(in, out); }, st.st_mode & 07777, Placing::Replace, error,
            linkRefused);
        ::close(in);
        return ok;
    }

    std::unique_ptr<FileLock> lockExclusive(const std::string& lockPath, std::string& error) override {
        int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            error = std::string("cannot open the lock file ") + lockPath + ": " + std::strerror(errno);
            return nullptr;
        }
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            error = std::string("cannot lock ") + lockPath + ": " + std::strerror(errno);
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixLock>(fd);
    }

    bool canCreateIn(const std::string& folder) override {
        std::string pattern = (folder.empty() ? std::string(".") : folder) + "/.keyhold-probe.XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        int fd = ::mkstemp(name.data());
        if (fd < 0) return false;
        ::close(fd);
        ::unlink(name.data());
        return true;
    }

    bool createPrivateFolder(const std::string& path, std::string& error) override {
        // Each missing folder on the way is made for the user alone.
        for (std::string::size_type at = path.find('/', 1);; at = path.find('/', at + 1)) {
            std::string part = at == std::string::npos ? path : path.substr(0, at);
            // A folder above that cannot be made shows in the last one.
            bool made = part.empty() || ::mkdir(part.c_str(), 0700) == 0 || errno == EEXIST;
            if (at != std::string::npos) continue;
            if (!made) {
                error = "cannot make " + part + ": " + std::strerror(errno);
                return false;
            }
            break;
        }
        struct stat st{};
        if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            error = path + " is not a folder";
            return false;
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
