// Files of the diagnostic log: a folder for them, files opened for appending
// while other processes may have them open too, and listing and deleting old
// ones.
#pragma once
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class LogOpenResult {
    Opened,
    // Another process holds the file and shares it with no one. On Windows a
    // sharing violation; on Linux, which has no share modes, another process
    // holds an exclusive flock on it (every log file opened here carries a
    // shared one, so writers of the same log never shut each other out).
    Held,
    Failed,
};

enum class LogWriteResult {
    Written,
    // The file is gone from under the open handle (ERROR_FILE_NOT_FOUND on
    // Windows; a stale handle, ESTALE, on Linux).
    FileNotFound,
    Failed,
};

// An open log file; closed when destroyed. Writes always go to the end of
// the file, also when another process appends to it meanwhile.
class LogFile {
public:
    virtual ~LogFile() = default;
    virtual bool seekToEnd() = 0;
    // Writes the whole text with one call to the system where it can.
    virtual LogWriteResult write(const std::string& text) = 0;
    virtual bool flush() = 0;
};

class LogFiles {
public:
    virtual ~LogFiles() = default;
    // Creates a folder; true when it was made or was there already.
    virtual bool createFolder(const std::string& path) = 0;
    // Opens a file for appending, creating it when missing and keeping what
    // it holds.
    virtual LogOpenResult open(const std::string& path, std::unique_ptr<LogFile>& file) = 0;
    // Names (without folder) of the files directly in a folder that match a
    // wildcard pattern ("*" any run of characters, "?" one character).
    virtual std::vector<std::string> list(const std::string& folder, const std::string& pattern) = 0;
    virtual bool remove(const std::string& path) = 0;
};

}  // namespace platform
