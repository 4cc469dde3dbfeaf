#include "FileLogger.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <system_error>
#include <vector>

#include "KeyholdApp.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "platform/Process.h"
#include "platform/Threads.h"

namespace {

using logfilenames::tDate;

constexpr std::uint64_t kFileTimePerSecond = 10000000ULL;
constexpr std::uint64_t kSecondsPerDay = 86400ULL;
// With no file open, how often a message tries to open one again.
constexpr std::uint64_t kReopenInterval = 60 * kFileTimePerSecond;
// How many numbered names are tried while the files of the day are held.
constexpr long kLastAppNumber = 100;
// How long a waiting thread sleeps before it looks whether the process ends.
constexpr std::chrono::milliseconds kWaitSlice{50};

const char* const kCreateFileFailed = "[ERROR]   INTERNAL CreateNewLogFile: CreateFile() returned error!\r\n";
const char* const kSeekFailed = "[ERROR]   INTERNAL CreateNewLogFile: SetFilePointer() returned error!\r\n";
const char* const kBlanks = "         ";  // between a label and its value

struct tLevel {
    const char* name;
    int number;
};
const tLevel kLevels[] = {{"eRubbish", 5},       {"eInformation", 40}, {"eImportant", 50}, {"eWarning", 60},
                          {"eTroubleShoot", 70}, {"eError", 80},       {"eFatal", 90}};

tLevel levelOf(int level) {
    if (level >= 0 && level < static_cast<int>(sizeof kLevels / sizeof kLevels[0])) return kLevels[level];
    return {"eUnknown", level};
}

std::string format(const char* pattern, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::string format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    std::string text = keyholdlog::formatV(pattern, args);
    va_end(args);
    return text;
}

// The time as "%A, %B %d %Y, %H:%M:%S %p" gives it in the C locale.
std::string dateAndTime(const platform::LocalTime& t) {
    static const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    static const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
    const char* day = t.weekday >= 0 && t.weekday < 7 ? kDays[t.weekday] : "?";
    const char* month = t.month >= 1 && t.month <= 12 ? kMonths[t.month - 1] : "?";
    return format("%s, %s %02d %d, %02d:%02d:%02d %s", day, month, t.day, t.year, t.hour, t.minute, t.second,
                  t.hour < 12 ? "AM" : "PM");
}

// The module of the one-line layout: the file name behind its last folder.
std::string moduleOf(const std::string& file) {
    std::string::size_type cut = file.find_last_of("\\/");
    return cut == std::string::npos ? file : file.substr(cut + 1);
}

bool localNow(platform::LocalTime& local, std::uint64_t& now) {
    platform::Clock& clock = platform::clock();
    return clock.currentFileTime(now) && clock.toLocalTime(now, local);
}

}  // namespace

// Holds the right to write for one message. Without serialising it always
// holds. It waits as long as another message is being written, except while
// the process ends: then the writer may have been stopped by the system
// half-way and will never give the right back, and the message is dropped.
class CFileLogger::CHold {
public:
    explicit CHold(CFileLogger& logger) : m_logger(logger) {
        if (!logger.m_serialise) {
            m_held = true;
            return;
        }
        std::unique_lock<std::mutex> lock(logger.m_writeMutex);
        while (logger.m_writing) {
            if (logger.m_writeFree.wait_for(lock, kWaitSlice, [&] { return !logger.m_writing; })) break;
            if (platform::threads().processEnding()) return;
        }
        logger.m_writing = true;
        m_held = true;
    }
    ~CHold() {
        if (!m_held || !m_logger.m_serialise) return;
        {
            std::lock_guard<std::mutex> guard(m_logger.m_writeMutex);
            m_logger.m_writing = false;
        }
        m_logger.m_writeFree.notify_one();
    }
    explicit operator bool() const { return m_held; }

private:
    CFileLogger& m_logger;
    bool m_held = false;
};

CFileLogger::CFileLogger() = default;

CFileLogger::~CFileLogger() {
    stopThreads();
    CHold hold(*this);
    if (m_file) m_file->flush();
    m_file.reset();
}

bool CFileLogger::init(const std::string& directory, const std::string& baseName, int ageLimitDays,
                       bool serialise) {
    if (directory.size() > kMaxPath || baseName.size() > kMaxPath) return false;
    if (m_file || m_cleaner.joinable()) return false;  // once only
    const char sep = platform::kPathSeparator;
    m_base = baseName;
    m_ageLimitDays = ageLimitDays;
    m_serialise = serialise;
    m_folder = directory;
    if (m_base.empty()) {
        if (m_folder.size() > 1 && m_folder.back() == sep) m_folder.pop_back();
    } else {
        if (m_folder.empty() || m_folder.back() != sep) m_folder += sep;
        m_folder += m_base;
    }
    platform::logFiles().createFolder(m_folder);  // one there already is fine; the opening tells the rest
    m_processPath = platform::process().executablePath();
    if (m_processPath.size() > kMaxPath) m_processPath.resize(kMaxPath);

    platform::LocalTime local;
    std::uint64_t now = 0;
    {
        CHold hold(*this);
        if (localNow(local, now)) createNewLogFile(logfilenames::dateOf(local), now);
    }
    if (!m_file) {
        platform::messageBoxes().show("Handle to log file is invalid!", "Keyhold", platform::MessageButtons::Ok);
        return false;
    }

    std::lock_guard<std::mutex> control(m_threadControl);
    m_stopCleaner = false;
    m_cleanerEnded = false;
    m_moduleHold = platform::threads().holdModule();
    try {
        m_cleaner = std::thread(&CFileLogger::cleanerMain, this);
    } catch (const std::system_error&) {
        platform::threads().releaseModule(m_moduleHold);
        m_moduleHold = nullptr;
        CHold hold(*this);
        m_file.reset();
        return false;
    }
    return true;
}

std::string CFileLogger::currentPath() {
    CHold hold(*this);
    return m_file ? m_path : std::string();
}

void CFileLogger::createNewLogFile(const tDate& date, std::uint64_t now) {
    std::unique_ptr<platform::LogFile> previous = std::move(m_file);
    m_openedDate = date;
    m_fileName.clear();
    m_path.clear();
    for (long number = 1; number <= kLastAppNumber; ++number) {
        std::string name = logfilenames::dailyName(m_base, date, number);
        std::string path = m_folder + platform::kPathSeparator + name;
        if (path.size() > kMaxPath) break;
        std::unique_ptr<platform::LogFile> file;
        platform::LogOpenResult opened = platform::logFiles().open(path, file);
        if (opened == platform::LogOpenResult::Held) continue;  // the next number
        if (opened != platform::LogOpenResult::Opened) break;
        if (!file->seekToEnd()) {
            if (previous) previous->write(kSeekFailed);
            file->write(kSeekFailed);
        }
        m_fileName = name;
        m_path = path;
        m_file = std::move(file);
        return;  // the previous file closes here
    }
    // No file: the old one says why it ends.
    if (previous) {
        previous->write(kCreateFileFailed);
        previous->write(kSeekFailed);
    }
    m_lastFailedOpen = now;
}

void CFileLogger::writeText(const std::string& text) {
    if (!m_file) return;
    if (m_file->write(text) != platform::LogWriteResult::FileNotFound) return;  // other failures are dropped
    platform::LocalTime local;
    std::uint64_t now = 0;
    if (!localNow(local, now)) return;
    createNewLogFile(logfilenames::dateOf(local), now);
    if (m_file) m_file->write(text);
}

void CFileLogger::log(int level, const char* file, int line, const std::string& message) {
    writeMessage(level, file != nullptr ? file : "", std::to_string(line), message, true);
}

void CFileLogger::log(const std::string& message, int level) { writeMessage(level, "", "", message, false); }

void CFileLogger::writeMessage(int level, const std::string& module, const std::string& line,
                               const std::string& message, bool oneLineToo) {
    if (message.empty()) return;
    const eLayout layout = m_layout;
    if (layout == eLayout::OneLine && !oneLineToo) return;
    CHold hold(*this);
    if (!hold) return;

    platform::LocalTime local;
    std::uint64_t now = 0;
    if (localNow(local, now)) {
        // A new day starts a new file; without a file, one is looked for now
        // and then.
        if (m_file ? logfilenames::dateOf(local) != m_openedDate : now - m_lastFailedOpen >= kReopenInterval)
            createNewLogFile(logfilenames::dateOf(local), now);
    }

    const tLevel lv = levelOf(level);
    const unsigned long thread = platform::threads().currentThreadId();
    std::string text;
    if (layout == eLayout::OneLine) {
        text = format("Thr%5lu | %s(%s) | %s: %s \r\n", thread, moduleOf(module).c_str(), line.c_str(), lv.name,
                      message.c_str());
    } else {
        text.reserve(512 + message.size());
        text += "\r\n";
        text += std::string(60, '=') + "\r\n";
        text += "DATE & TIME OF LOGGING THIS MESSAGE:" + dateAndTime(local) + "\r\n";
        text += format("%s%s\r\n", "PROCESS NAME:", m_processPath.c_str());
        text += format("%sKeyholder\r\n", (std::string("COMPONENT NAME:") + kBlanks).c_str());
        text += format("%s%s\r\n", (std::string("MODULE NAME:") + kBlanks).c_str(), module.c_str());
        text += format("%s%s\r\n", (std::string("MODULE LINE NO:") + kBlanks).c_str(), line.c_str());
        text += format("%s%s\r\n", (std::string("MODULE VERSION:") + kBlanks).c_str(), "");
        text += format("%s%ld\r\n", (std::string("Process Id:") + kBlanks).c_str(),
                       static_cast<long>(platform::process().id()));
        text += format("%s%ld\r\n", (std::string("Thread Id:") + kBlanks).c_str(), static_cast<long>(thread));
        text += format("%s%d\r\n", (std::string("MESSAGE LEVEL:") + kBlanks).c_str(), lv.number);
        text += format("%s%s\r\n", (std::string("MESSAGE:") + kBlanks).c_str(), message.c_str());
    }
    // One write for the whole message, so that another process writing the
    // same file cannot come in between its lines.
    writeText(text);
}

void CFileLogger::cleanOnce() {
    platform::Clock& clock = platform::clock();
    std::uint64_t now = 0;
    if (!clock.currentFileTime(now)) return;
    const std::uint64_t age =
        static_cast<std::uint64_t>(m_ageLimitDays > 0 ? m_ageLimitDays : 0) * kSecondsPerDay * kFileTimePerSecond;
    platform::LocalTime cutoff;
    if (now < age || !clock.toLocalTime(now - age, cutoff)) return;
    platform::LogFiles& files = platform::logFiles();
    for (const std::string& pattern : logfilenames::cleanerPatterns(m_base)) {
        for (const std::string& name : files.list(m_folder, pattern)) {
            tDate date;
            if (!logfilenames::dateOfName(name, m_base, date) || !logfilenames::midnightBefore(date, cutoff)) continue;
            if (files.remove(m_folder + platform::kPathSeparator + name))
                KH_LOG(eInformation, "FileLogCleaner: deleted %s", name.c_str());
        }
    }
}

void CFileLogger::cleanerMain() {
    std::unique_lock<std::mutex> lock(m_cleanerMutex);
    do {
        lock.unlock();
        cleanOnce();
        lock.lock();
        m_cleanerWake.wait_for(lock, std::chrono::hours(24), [this] { return m_stopCleaner; });
    } while (!m_stopCleaner);
    m_cleanerEnded = true;
    m_cleanerWake.notify_all();
}

void CFileLogger::stopThreads() {
    platform::Threads& threads = platform::threads();
    if (threads.processEnding()) {
        // The system has stopped the cleaner, perhaps waiting on its wake-up
        // condition: waking a waiter that is gone would leave the condition
        // waiting for it for ever. Nothing of the cleaner's is touched.
        platform::letGoOf(m_cleaner);
        m_moduleHold = nullptr;
        return;
    }
    std::lock_guard<std::mutex> control(m_threadControl);
    if (!m_cleaner.joinable()) return;
    bool ended;
    {
        std::unique_lock<std::mutex> lock(m_cleanerMutex);
        m_stopCleaner = true;
        m_cleanerWake.notify_all();
        // Waited for in slices: once the process ends, the system has stopped
        // the thread already and it will never say that it ended.
        while (!m_cleanerEnded && !threads.processEnding()) m_cleanerWake.wait_for(lock, kWaitSlice);
        ended = m_cleanerEnded;
    }
    if (ended) {
        m_cleaner.join();
        threads.releaseModule(m_moduleHold);
    } else {
        platform::letGoOf(m_cleaner);  // gone with the process
    }
    m_moduleHold = nullptr;
}

namespace {
CFileLogger* g_fileLogger = nullptr;
CLogSink* g_replacedLogger = nullptr;  // whatever was installed before (tests)
}  // namespace

void startFileLogger(const std::string& pluginFolder) {
    if (g_fileLogger != nullptr) return;
    PluginSettings& s = settings();
    if (!s.m_debugLogging || !s.m_debugLogging->GetValue()) return;
    std::unique_ptr<CFileLogger> logger(new CFileLogger());
    // Read once: nothing changes the layout while the plug-in runs.
    logger->setLayout(s.m_logFormat && s.m_logFormat->GetValue() != "multiline" ? CFileLogger::eLayout::OneLine
                                                                                 : CFileLogger::eLayout::Block);
    if (!logger->init(pluginFolder, "Keyhold", 7, true)) return;
    g_fileLogger = logger.release();
    g_replacedLogger = keyholdlog::setLogger(g_fileLogger);
    KH_LOG(eImportant, "Log Path: %s", g_fileLogger->folder().c_str());
}

void stopFileLoggerThreads() {
    if (g_fileLogger == nullptr) return;
    if (platform::threads().processEnding()) {
        // A thread the system stopped may have been half-way through a line,
        // holding the logger's guard: nothing is logged from here on.
        if (keyholdlog::logger() == g_fileLogger) keyholdlog::setLogger(g_replacedLogger);
    }
    g_fileLogger->stopThreads();
}

void destroyFileLogger() {
    CFileLogger* logger = g_fileLogger;
    if (logger == nullptr) return;
    if (platform::threads().processEnding()) {
        // Its guard and conditions may be left half-used by threads the
        // system stopped; the process takes it with it. Every line is in the
        // file already: each one is written through at once.
        if (keyholdlog::logger() == logger) keyholdlog::setLogger(g_replacedLogger);
        logger->stopThreads();
        return;
    }
    g_fileLogger = nullptr;
    if (keyholdlog::logger() == logger) keyholdlog::setLogger(g_replacedLogger);
    g_replacedLogger = nullptr;
    delete logger;
}
