// Files: existence, whole reads, and atomic replacement.
#pragma once
#include <string>

namespace platform {

enum class ReadResult { Ok, Missing, Unreadable };

class Files {
public:
    virtual ~Files() = default;
    // True when something (file or folder) exists under the name.
    virtual bool exists(const std::string& path) = 0;
    // Reads a whole regular file. Missing when nothing exists under the name,
    // Unreadable when something exists but could not be read as a file.
    virtual ReadResult readAll(const std::string& path, std::string& content) = 0;
    // Writes a complete new file beside the old one, flushes it and replaces
    // the old one in one step, so that a failure leaves the old file whole.
    // False (and `error` says why) when nothing was replaced.
    virtual bool replaceAtomically(const std::string& path, const std::string& content, std::string& error) = 0;
};

}  // namespace platform
