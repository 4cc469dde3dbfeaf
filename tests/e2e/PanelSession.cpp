#include "PanelSession.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string baseName(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Wine's Z: drive is the Unix root.
std::string windowsPathOf(const std::string& unixPath) {
    std::string p = "Z:" + unixPath;
    for (char& c : p) {
        if (c == '/') c = '\\';
    }
    return p;
}

std::string trim(const std::string& s) {
    std::string::size_type b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    std::string::size_type e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

}  // namespace

E2ETarget E2ETarget::fromEnvironment() {
    std::vector<std::string> fields;
    std::string config = env("KH_E2E");
    std::string::size_type start = 0, bar;
    while ((bar = config.find('|', start)) != std::string::npos) {
        fields.push_back(config.substr(start, bar - start));
        start = bar + 1;
    }
    fields.push_back(config.substr(start));
    if (fields.size() != 4 || fields[0].empty() || fields[1].empty() || fields[2].empty()) {
        throw std::runtime_error("KH_E2E must hold target|panel|plugin|wine");
    }
    E2ETarget t;
    t.name = fields[0];
    t.panel = fields[1];
    t.plugin = fields[2];
    t.wine = fields[3];
    return t;
}

PluginFolder::PluginFolder(const E2ETarget& target) : m_target(target) {
    std::string base = env("TMPDIR");
    if (base.empty()) base = "/tmp";
    std::string pattern = base + "/keyhold-e2e-" + target.name + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = buf.data();
    m_pluginName = baseName(target.plugin);
    writeFile(file(m_pluginName), readFile(target.plugin));
}

PluginFolder::~PluginFolder() {
    if (std::getenv("KH_E2E_KEEP") != nullptr) return;
    std::string cmd = "rm -rf '" + m_path + "'";
    if (std::system(cmd.c_str()) != 0) {
        // Left behind in the temporary folder; nothing else to do.
    }
}

std::string PluginFolder::pluginForHost() const { return asTargetPath(m_pluginName); }

std::string PluginFolder::asTargetPath(const std::string& name) const {
    std::string p = file(name);
    return m_target.isWindows() ? windowsPathOf(p) : p;
}

PanelSession::PanelSession(const E2ETarget& target, const PluginFolder& folder, bool relativePath)
    : m_target(target) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> args;
    if (target.isWindows()) args.push_back(target.wine);
    args.push_back(target.panel);
    args.push_back(relativePath ? (target.isWindows() ? ".\\" : "./") + folder.pluginName()
                                : folder.pluginForHost());
    m_pid = fork();
    if (m_pid < 0) throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(in[0]);
        close(in[1]);
        close(out[0]);
        close(out[1]);
        if (chdir(folder.path().c_str()) != 0) _exit(126);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    m_in = in[1];
    m_out = out[0];
    signal(SIGPIPE, SIG_IGN);
}

PanelSession::~PanelSession() {
    if (m_in >= 0) close(m_in);
    if (!m_exited && m_pid > 0) {
        if (waitForExit(std::chrono::steady_clock::now() + std::chrono::seconds(5)) < 0) {
            ::kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    if (m_out >= 0) close(m_out);
}

void PanelSession::send(const std::string& line) {
    std::string data = line + "\n";
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = write(m_in, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("the terminal host stopped reading its input");
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

bool PanelSession::readLine(std::string& line, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        std::string::size_type nl = m_pending.find('\n');
        if (nl != std::string::npos) {
            line = m_pending.substr(0, nl);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            m_pending.erase(0, nl + 1);
            m_all.push_back(line);
            return true;
        }
        if (m_eof) return false;
        auto now = std::chrono::steady_clock::now();
        // A deadline that has passed still gets one look at what is there.
        int ms = now >= deadline
                     ? 0
                     : static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count());
        pollfd pfd{m_out, POLLIN, 0};
        int r = poll(&pfd, 1, ms);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        char buf[4096];
        ssize_t n = read(m_out, buf, sizeof buf);
        if (n <= 0) {
            m_eof = true;
            if (!m_pending.empty()) {
                m_pending += '\n';
                continue;
            }
            return false;
        }
        m_pending.append(buf, static_cast<std::size_t>(n));
    }
}

std::vector<std::string> PanelSession::sync() {
    std::string token = "__sync_" + std::to_string(++m_syncs) + "__";
    send("echo " + token);
    auto deadline = std::chrono::steady_clock::now() + m_target.timeout();
    std::string line;
    for (;;) {
        if (!readLine(line, deadline)) {
            throw std::runtime_error("the terminal host did not answer in time; transcript:\n" + joinLines(m_all));
        }
        if (line == token) break;
    }
    // Everything since the last report, without the sync lines themselves.
    std::vector<std::string> lines;
    for (std::size_t i = m_reported; i < m_all.size(); ++i) {
        if (m_all[i] == token || m_all[i] == "> echo " + token) continue;
        lines.push_back(m_all[i]);
    }
    m_reported = m_all.size();
    return lines;
}

int PanelSession::waitForExit(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        int status = 0;
        pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_exited = true;
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return m_status;
        }
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int PanelSession::quit(std::vector<std::string>* rest) {
    send("quit");
    close(m_in);
    m_in = -1;
    auto deadline = std::chrono::steady_clock::now() + m_target.timeout();
    // The host's end is its exit, not the end of its output: under wine a
    // process it started (the wine server, say) may hold the output open
    // long after the host has gone.
    std::string line;
    int code = -1;
    while (std::chrono::steady_clock::now() < deadline) {
        auto slice = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(100));
        bool got = readLine(line, slice);
        code = waitForExit(std::chrono::steady_clock::now());
        if (code >= 0 || (!got && m_eof)) break;
    }
    if (code >= 0) {
        // What the host wrote before it ended is in the pipe already.
        while (readLine(line, std::chrono::steady_clock::now())) {
        }
    } else {
        code = waitForExit(deadline);
    }
    if (rest != nullptr) rest->assign(m_all.begin() + static_cast<std::ptrdiff_t>(m_reported), m_all.end());
    m_reported = m_all.size();
    if (code < 0) throw std::runtime_error("the terminal host did not end; transcript:\n" + joinLines(m_all));
    return code;
}

std::vector<std::string> PanelSession::kill() {
    if (!m_exited && m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        if (waitForExit(std::chrono::steady_clock::now() + m_target.timeout()) < 0) {
            throw std::runtime_error("the terminal host did not end when killed");
        }
    }
    // What it wrote before it died is in the pipe already.
    std::string line;
    while (readLine(line, std::chrono::steady_clock::now())) {
    }
    std::vector<std::string> lines(m_all.begin() + static_cast<std::ptrdiff_t>(m_reported), m_all.end());
    m_reported = m_all.size();
    return lines;
}

void PanelSession::answerPasswordDialog(const std::vector<std::string>& fields) {
    static const int kFieldIds[] = {3024, 3025};
    for (std::size_t i = 0; i < fields.size() && i < 2; ++i) {
        if (m_target.isWindows()) {
            send("> set " + std::to_string(kFieldIds[i]));
            send("> type " + std::to_string(kFieldIds[i]) + " " + fields[i]);
        } else {
            send("> " + fields[i]);
        }
    }
    if (m_target.isWindows()) send("> click 1");
}

int PanelSession::passwordFieldsAsked(const std::vector<std::string>& lines) const {
    int n = 0;
    for (const std::string& l : lines) {
        if (!m_target.isWindows()) {
            if (l.rfind("request RT_Password title=\"Enter Password", 0) == 0) ++n;
        } else if (l.rfind("dialog title=\"Enter Password", 0) == 0) {
            n += l.find("ReType Password") != std::string::npos ? 2 : 1;
        }
    }
    return n;
}

IniContent readIni(const std::string& path) {
    IniContent ini;
    std::istringstream in(readFile(path));
    std::string line, section;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            ini[section];
            continue;
        }
        std::string::size_type eq = line.find('=');
        if (eq == std::string::npos) continue;
        ini[section][trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
    }
    return ini;
}

bool fileExists(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> folderEntries(const std::string& path) {
    std::vector<std::string> names;
    DIR* d = opendir(path.c_str());
    if (d == nullptr) return names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
    return names;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out << content;
}

bool anyLineHas(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& l : lines) {
        if (l.find(text) != std::string::npos) return true;
    }
    return false;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

std::vector<ListedItem> listedItems(const std::vector<std::string>& lines) {
    std::vector<ListedItem> items;
    for (const std::string& l : lines) {
        if (l.find("0000") == std::string::npos) continue;  // not an item line
        if (l.rfind("> ", 0) == 0 || l.find("(empty)") != std::string::npos) continue;
        // size, attributes, two dates ("-" or day and time), then the name
        std::istringstream in(l);
        ListedItem item;
        std::string word;
        in >> item.size >> item.attributes;
        for (int date = 0; date < 2; ++date) {
            in >> word;
            if (word != "-") in >> word;
        }
        std::getline(in >> std::ws, item.name);
        items.push_back(item);
    }
    return items;
}

std::vector<std::string> listedNames(const std::vector<std::string>& lines) {
    std::vector<std::string> names;
    for (const ListedItem& item : listedItems(lines)) names.push_back(item.name);
    return names;
}
