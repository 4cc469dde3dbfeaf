// The diagnostic log: daily files in a folder beside the plug-in, written by
// every thread of the process, and a cleaner thread that deletes old ones once
// a day. It exists only while the setting DebugLogging is on.
//
// Files are named base_MM_DD_YYYY.log (local date); when another process
// holds the day's file without sharing it, base_MM_DD_YYYY_App#2.log (then #3,
// ...) is used instead. Each message is written as a block of labelled lines
// or, with LogFormat other than "multiline", as one line.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Log.h"
#include "LogFileNames.h"
#include "platform/Clock.h"
#include "platform/LogFiles.h"

class CFileLogger : public CLogSink {
public:
    enum class eLayout { Block, OneLine };
    // Longest folder, base name and file path the logger accepts.
    static constexpr std::size_t kMaxPath = 260;

    CFileLogger();
    // Ends the cleaner, flushes and closes the file.
    ~CFileLogger() override;
    CFileLogger(const CFileLogger&) = delete;
    CFileLogger& operator=(const CFileLogger&) = delete;

    // Makes the log folder (directory, then base name) and opens the file of
    // the day in it, then starts the cleaner, which deletes the logs and
    // archives dated more than ageLimitDays ago. With `serialise` every
    // message is written whole before the next one starts. False, after a
    // message box "Handle to log file is invalid!", when no file could be
    // opened; false without one for a directory or base name that is too long
    // or a cleaner that could not be started.
    bool init(const std::string& directory, const std::string& baseName, int ageLimitDays, bool serialise);
    void setLayout(eLayout layout) { m_layout = layout; }

    // A message from a source file (its name without folders) and line.
    void log(int level, const char* file, int line, const std::string& message) override;
    // A message of the logger's own, without source: written in the block
    // layout only.
    void log(const std::string& message, int level);

    // Ends the cleaner thread and waits for it. To be called from the host's
    // thread before the library is unloaded: while the system unloads it no
    // thread can be waited for (the destructor calls it too, in case).
    // While the process is ending the cleaner is let go instead: the system
    // has stopped it, and it is neither woken nor waited for.
    void stopThreads();
    // One pass of the cleaner.
    void cleanOnce();

    const std::string& folder() const { return m_folder; }
    // Full path of the file written now; empty when none is open.
    std::string currentPath();

private:
    class CHold;
    void writeMessage(int level, const std::string& module, const std::string& line, const std::string& message,
                      bool oneLineToo);
    void createNewLogFile(const logfilenames::tDate& date, std::uint64_t now);
    void writeText(const std::string& text);
    void cleanerMain();

    std::string m_base;
    std::string m_folder;
    std::string m_fileName;
    std::string m_path;
    int m_ageLimitDays = 7;
    logfilenames::tDate m_openedDate;
    std::uint64_t m_lastFailedOpen = 0;  // FILETIME of the last attempt that found no file
    std::unique_ptr<platform::LogFile> m_file;
    std::string m_processPath;
    std::atomic<eLayout> m_layout{eLayout::Block};

    // Serialises the messages (a semaphore of one).
    bool m_serialise = true;
    std::mutex m_writeMutex;
    std::condition_variable m_writeFree;
    bool m_writing = false;

    // The cleaner thread.
    std::mutex m_threadControl;  // starting and stopping
    std::thread m_cleaner;
    std::mutex m_cleanerMutex;
    std::condition_variable m_cleanerWake;
    bool m_stopCleaner = false;
    bool m_cleanerEnded = false;
    void* m_moduleHold = nullptr;
};

// The plug-in's logger. Starts it when the setting DebugLogging is on (the
// settings are loaded), in a "Keyhold" folder inside the plug-in folder, and
// makes it the process's logger; a logger that fails to start is dropped and
// the plug-in runs without one. Once started, the logger stays until
// destroyFileLogger, so a second call keeps it.
void startFileLogger(const std::string& pluginFolder);
// Ends the logger's cleaner thread; logging goes on. For the unload path.
// While the process is ending logging stops here too.
void stopFileLoggerThreads();
// Removes the logger and closes its file; the last step of unloading, when
// the plug-in's other threads have ended. While the process is ending it is
// only removed, and left to the process with whatever the stopped threads
// left in it.
void destroyFileLogger();
