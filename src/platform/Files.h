// Files: existence, whole reads, atomic replacement, and what a program needs
// to share one file safely with other programs: a stamp that tells whether
// the file is still the one read, an exclusive lock beside it, creation that
// fails when the file appeared meanwhile, and a copy that keeps permissions.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

enum class ReadResult { Ok, Missing, Unreadable, TooLarge };

// What tells one version of a file from another: its size, its last write
// time and its identity (device and inode, or volume and file index).
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds, or 100 ns units; only compared
    std::uint64_t device = 0;
    std::uint64_t identity = 0;
    // The last write time as a FILETIME value (UTC, 100 ns steps since
    // 1601), for showing; not compared.
    std::uint64_t lastWrite = 0;

    bool operator==(const FileStamp& o) const {
        return size == o.size && modified == o.modified && device == o.device && identity == o.identity;
    }
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};

// Held while it lives; the operating system releases it when the process ends.
class FileLock {
public:
    virtual ~FileLock() = default;
};

class Files {
public:
    virtual ~Files() = default;
    // True when something (file or folder) exists under the name.
    virtual bool exists(const std::string& path) = 0;
    // Deletes a file; false with the reason when it cannot.
    virtual bool remove(const std::string& path, std::string& error) = 0;
    // Reads a whole regular file. Missing when nothing exists under the name,
    // Unreadable when something exists but could not be read as a file.
    virtual ReadResult readAll(const std::string& path, std::string& content) = 0;
    // The same, refusing a file larger than `maxSize` bytes (TooLarge, nothing
    // read), and giving the stamp of the very file that was read.
    virtual ReadResult readStamped(const std::string& path, std::string& content, FileStamp& stamp,
                                   std::uint64_t maxSize) = 0;
    // The stamp of the file now: Ok, Missing, or Unreadable.
    virtual ReadResult stamp(const std::string& path, FileStamp& stamp) = 0;
    // Writes a complete new file beside the old one, flushes it and replaces
    // the old one in one step, so that a failure leaves the old file whole.
    // False (and `error` says why) when nothing was replaced.
    virtual bool replaceAtomically(const std::string& path, const std::string& content, std::string& error) = 0;
    // Writes a new file only where none exists: false (and `error`) when one
    // appeared meanwhile, or it could not be written whole (then it is removed).
    virtual bool createNew(const std::string& path, const std::string& content, std::string& error) = 0;
    // Replaces `copy` atomically with the content of `original`, with the
    // permissions of `original`.
    virtual bool copyKeepingMode(const std::string& original, const std::string& copy, std::string& error) = 0;
    // Waits for an exclusive lock on `lockPath` (created when missing);
    // null, with `error`, when it cannot be had.
    virtual std::unique_ptr<FileLock> lockExclusive(const std::string& lockPath, std::string& error) = 0;
    // True when a new file can be made in the folder now. Found out by making
    // one (and removing it at once): permission bits say nothing for a
    // privileged user or a read-only mount.
    virtual bool canCreateIn(const std::string& folder) = 0;
    // Makes a folder for the user alone, with any missing folder above it;
    // true when it is there (made now or before) and is a folder.
    virtual bool createPrivateFolder(const std::string& path, std::string& error) = 0;
};

}  // namespace platform
