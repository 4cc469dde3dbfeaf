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

class PosixLogFiles : public LogFiles {
public:
    bool createFolder(const std::string& path) override {
        if (::mkdir(path.c_str(), 0777) == 0) return true;
        struct stat st{};
        return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    LogOpenResult open(const std::string& path, std::unique_ptr<LogFile>& file) override {
        int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0) return LogOpenResult::Failed;
        struct stat st{};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return LogOpenResult::Failed;
        }
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
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) return names;
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

    bool remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }
};

}  // namespace

LogFiles* nativeLogFiles() {
    static PosixLogFiles instance;
    return &instance;
}

}  // namespace platform
