#include "platform/LogFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Wildcard.h"

namespace platform {
namespace {

class PosixLogFile : public LogFile {
public:
    explicit PosixLogFile(int fd) : m_fd(fd) {}
    ~PosixLogFile() override { ::close(m_fd); }  // also lets go of the flock

    bool seekToEnd() override { return ::lseek(m_fd, 0, SEEK_END) != static_cast<off_t>(-1); }

    LogWriteResult write(const std::string& text) override {
        const char* p = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            ssize_t n = ::write(m_fd, p, left);
            if (n < 0) {
                if (errno == EINTR) continue;
                return errno == ESTALE ? LogWriteResult::FileNotFound : LogWriteResult::Failed;
            }
            if (n == 0) return LogWriteResult::Failed;
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        return LogWriteResult::Written;
    }

    bool flush() override { return ::fsync(m_fd) == 0; }

private:
    int m_fd;
};

// The log may name folders and carries diagnostics of a password store: its
// folder is the user's alone (0700) and so are its files (0600). A link where
// the folder or a file goes is refused, so that nothing is ever written,
// listed or deleted through one.
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

// Opens a folder itself, never a link in its place.
int openFolder(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// A folder or file of ours that an earlier version left open to others is
// closed to them.
void restrict(int fd, const struct stat& st, mode_t mode) {
    if ((st.st_mode & 07777) != mode && st.st_uid == ::geteuid()) ::fchmod(fd, mode);
}

// Splits a path into its folder (the root "/" stays itself) and its name.
bool splitPath(const std::string& path, std::string& folder, std::string& name) {
    std::string::size_type cut = path.rfind('/');
    if (cut == std::string::npos) {
        folder = ".";
        name = path;
    } else {
        folder = cut == 0 ? std::string("/") : path.substr(0, cut);
        name = path.substr(cut + 1);
    }
    return !name.empty();
}

class PosixLogFiles : public LogFiles {
public:
    bool createFolder(const std::string& path) override {
        if (::mkdir(path.c_str(), kFolderMode) != 0 && errno != EEXIST) return false;
        int fd = openFolder(path);
        if (fd < 0) return false;  // a link or a file where the folder goes
        struct stat st{};
        bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
        if (ok) restrict(fd, st, kFolderMode);
        ::close(fd);
        return ok;
    }

    LogOpenResult open(const std::string& path, std::unique_ptr<LogFile>& file) override {
        std::string folder, name;
        if (!splitPath(path, folder, name)) return LogOpenResult::Failed;
        int dir = openFolder(folder);
        if (dir < 0) return LogOpenResult::Failed;
        int fd = ::openat(dir, name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW,
                          kFileMode);
        ::close(dir);
        if (fd < 0) return LogOpenResult::Failed;
        struct stat st{};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return LogOpenResult::Failed;
        }
        restrict(fd, st, kFileMode);
        // Share modes as Windows has them: our shared lock lives with others
        // of its kind, an exclusive one held elsewhere keeps us out.
        while (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            int e = errno;
            ::close(fd);
            return e == EWOULDBLOCK ? LogOpenResult::Held : LogOpenResult::Failed;
        }
        file.reset(new PosixLogFile(fd));
        return LogOpenResult::Opened;
    }

    std::vector<std::string> list(const std::string& folder, const std::string& pattern) override {
        std::vector<std::string> names;
        int fd = openFolder(folder);
        if (fd < 0) return names;
        DIR* dir = ::fdopendir(fd);
        if (dir == nullptr) {
            ::close(fd);
            return names;
        }
        while (dirent* e = ::readdir(dir)) {
            std::string name = e->d_name;
            if (!wildcardMatch(pattern, name)) continue;
            struct stat st{};
            if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
            names.push_back(name);
        }
        ::closedir(dir);
        return names;
    }

    bool remove(const std::string& path) override {
        std::string folder, name;
        if (!splitPath(path, folder, name)) return false;
        int dir = openFolder(folder);
        if (dir < 0) return false;
        bool removed = ::unlinkat(dir, name.c_str(), 0) == 0;
        ::close(dir);
        return removed;
    }
};

}  // namespace

LogFiles* nativeLogFiles() {
    static PosixLogFiles instance;
    return &instance;
}

}  // namespace platform
