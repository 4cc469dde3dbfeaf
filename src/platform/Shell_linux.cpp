// The shell on Linux: a web address or document goes to xdg-open, a program
// is started itself. Either is started directly with its arguments, never
// through a command interpreter, so a filled-in address cannot run commands.
// The started program is handed to init at once (a child in between ends
// right away), so it leaves no zombie behind in the host; it gets none of the
// host's open files and starts with the default signal handling.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/Shell.h"

namespace platform {
namespace {

int resultOf(int error) {
    switch (error) {
        case 0: return kShellStarted;
        case ENOENT: return kShellFileNotFound;
        case ENOTDIR: return kShellPathNotFound;
        case EACCES:
        case EPERM: return kShellAccessDenied;
        default: return kShellNoAssociation;
    }
}

constexpr int kMostDescriptors = 65536;

// In the new process, before exec: every descriptor above the standard three
// is closed when the program starts (`keep` stays usable until then).
void closeOnExecAbove2(int highest, int keep) {
#if defined(SYS_close_range) && defined(CLOSE_RANGE_CLOEXEC)
    if (::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) == 0) return;
#endif
    for (int fd = 3; fd <= highest; ++fd) {
        if (fd != keep) ::close(fd);
    }
}

// In the new process: no blocked signals, no ignored ones.
void defaultSignals() {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP) ::sigaction(sig, &dfl, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Starts argv[0] (searched along PATH when it holds no slash); 0 or errno.
int startDetached(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    long openMax = ::sysconf(_SC_OPEN_MAX);
    const int highest = openMax > 0 && openMax < kMostDescriptors ? static_cast<int>(openMax) - 1 : kMostDescriptors;
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return errno;
    pid_t child = ::fork();
    if (child < 0) {
        int e = errno;
        ::close(report[0]);
        ::close(report[1]);
        return e;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild == 0) {
            defaultSignals();
            closeOnExecAbove2(highest, report[1]);
            int devnull = ::open("/dev/null", O_RDWR);
            if (devnull >= 0) {
                ::dup2(devnull, 0);
                if (devnull > 2) ::close(devnull);
            }
            ::execvp(argv[0], argv.data());
            int e = errno;
            ssize_t ignored = ::write(report[1], &e, sizeof e);
            (void)ignored;
            ::_exit(127);
        }
        if (grandchild < 0) {
            int e = errno;
            ssize_t ignored = ::write(report[1], &e, sizeof e);
            (void)ignored;
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    return n == static_cast<ssize_t>(sizeof error) ? error : 0;
}

bool hasScheme(const std::string& s) {
    // "scheme:" as web addresses begin: a letter, then letters, digits, "+", "-", ".".
    std::size_t colon = s.find(':');
    if (colon == std::string::npos || colon < 2) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        char c = s[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) return false;
    }
    return true;
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        std::size_t j = text.find(' ', i);
        if (j == std::string::npos) j = text.size();
        if (j > i) out.push_back(text.substr(i, j - i));
        i = j;
    }
    return out;
}

class LinuxShell : public Shell {
public:
    int execute(const std::string& verb, const std::string& file, const std::string& parameters, int) override {
        if (file.empty()) return kShellFileNotFound;
        struct stat st{};
        const bool exists = ::stat(file.c_str(), &st) == 0;
        if (!hasScheme(file) && !exists) return kShellFileNotFound;
        // A program given with parameters (or opened explicitly) is started
        // itself; everything else is opened with the desktop's choice.
        const bool program = exists && S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0 &&
                             (!parameters.empty() || verb == "open");
        std::vector<std::string> args;
        if (program) {
            // A name without a slash is the file here, not one found along PATH.
            args.push_back(file.find('/') == std::string::npos ? "./" + file : file);
            for (std::string& w : words(parameters)) args.push_back(w);
        } else if (!hasScheme(file) && file[0] == '-') {
            args = {"xdg-open", "./" + file};  // a file name, never an option
        } else {
            args = {"xdg-open", file};
        }
        int error = startDetached(args);
        if (error == ENOENT && !program) return kShellNoAssociation;  // no xdg-open
        return resultOf(error);
    }
};

}  // namespace

Shell* nativeShell() {
    static LinuxShell instance;
    return &instance;
}

}  // namespace platform
