// In-memory files for tests. Names listed in `unreadable` exist but cannot be
// read; `failWrites` makes every replacement fail and keeps the old content.
// A file's stamp changes whenever it is written, here or by `writeByOther`
// (another program), and `locked` holds the lock files held now.
// `beforeReplace`, when set, runs at the start of every replacement.
#pragma once
#include <functional>
#include <map>
#include <set>

#include "platform/Files.h"

namespace platform {

class MemoryFiles : public Files {
public:
    std::map<std::string, std::string> content;
    std::set<std::string> unreadable;
    bool failWrites = false;
    // How many more replacements succeed (negative: no limit).
    int writesLeft = -1;
    int writes = 0;
    // Sizes to report in place of the content's own, for files too large to
    // hold in a test.
    std::map<std::string, std::uint64_t> reportedSize;
    std::set<std::string> locked;
    // Last write times (FILETIME values) to report in stamps.
    std::map<std::string, std::uint64_t> lastWrite;
    // Called after each stamp is taken, before the caller goes on: lets a
    // test act as another program at that very moment.
    std::function<void(const std::string&)> onStamp;

    // Another program replaces (or creates) the file.
    void writeByOther(const std::string& path, const std::string& data) {
        content[path] = data;
        m_identity[path] = ++m_nextIdentity;
        ++m_version[path];
    }
    void removeByOther(const std::string& path) {
        content.erase(path);
        m_identity.erase(path);
    }
    std::function<void(const std::string& path)> beforeReplace;
    // Folders in which (and below which) nothing can be created.
    std::set<std::string> readOnlyFolders;
    // Folders made by createPrivateFolder.
    std::set<std::string> folders;

    // Files that cannot be deleted.
    std::set<std::string> undeletable;
    bool remove(const std::string& path, std::string& error) override {
        if (!content.count(path) || undeletable.count(path)) {
            error = content.count(path) ? "permission denied" : "no such file";
            return false;
        }
        content.erase(path);
        m_identity.erase(path);
        return true;
    }

    bool canCreateIn(const std::string& folder) override { return !underReadOnly(folder); }
    bool createPrivateFolder(const std::string& path, std::string& error) override {
        if (content.count(path)) {
            error = "a file is in the way";
            return false;
        }
        if (!folders.count(path) && underReadOnly(path)) {
            error = "permission denied";
            return false;
        }
        folders.insert(path);
        return true;
    }

    bool exists(const std::string& path) override { return content.count(path) || unreadable.count(path); }
    ReadResult readAll(const std::string& path, std::string& out) override {
        FileStamp ignored;
        return readStamped(path, out, ignored, UINT64_MAX);
    }
    ReadResult readStamped(const std::string& path, std::string& out, FileStamp& s, std::uint64_t maxSize) override {
        if (unreadable.count(path)) return ReadResult::Unreadable;
        auto it = content.find(path);
        if (it == content.end()) return ReadResult::Missing;
        std::uint64_t size = reportedSize.count(path) ? reportedSize[path] : it->second.size();
        if (size > maxSize) return ReadResult::TooLarge;
        out = it->second;
        s = stampOf(path);
        return ReadResult::Ok;
    }
    ReadResult stamp(const std::string& path, FileStamp& s) override {
        if (unreadable.count(path)) return ReadResult::Unreadable;
        if (!content.count(path)) return ReadResult::Missing;
        s = stampOf(path);
        if (onStamp) onStamp(path);
        return ReadResult::Ok;
    }
    bool replaceAtomically(const std::string& path, const std::string& data, std::string& error) override {
        if (beforeReplace) beforeReplace(path);
        if (failWrites || writesLeft == 0 || unreadable.count(path)) {
            error = "write refused";
            return false;
        }
        if (writesLeft > 0) --writesLeft;
        content[path] = data;
        m_identity[path] = ++m_nextIdentity;  // a new file renamed into place
        ++m_version[path];
        ++writes;
        return true;
    }
    bool createNew(const std::string& path, const std::string& data, std::string& error) override {
        if (exists(path)) {
            error = "a file of that name appeared meanwhile";
            return false;
        }
        return replaceAtomically(path, data, error);
    }
    bool copyKeepingMode(const std::string& original, const std::string& copy, std::string& error) override {
        auto it = content.find(original);
        if (it == content.end()) {
            error = "cannot read " + original;
            return false;
        }
        // Not counted among the writes of the store.
        content[copy] = it->second;
        m_identity[copy] = ++m_nextIdentity;
        return true;
    }
    std::unique_ptr<FileLock> lockExclusive(const std::string& lockPath, std::string& error) override {
        // One thread in tests: a lock held already would never be released.
        if (locked.count(lockPath)) {
            error = "locked by another program";
            return nullptr;
        }
        locked.insert(lockPath);
        return std::unique_ptr<FileLock>(new Held(*this, lockPath));
    }

private:
    bool underReadOnly(const std::string& path) const {
        for (const std::string& r : readOnlyFolders) {
            if (path == r) return true;
            if (path.size() > r.size() && path.compare(0, r.size(), r) == 0 &&
                (path[r.size()] == '/' || path[r.size()] == '\\'))
                return true;
        }
        return false;
    }

    class Held : public FileLock {
    public:
        Held(MemoryFiles& files, std::string path) : m_files(files), m_path(std::move(path)) {}
        ~Held() override { m_files.locked.erase(m_path); }

    private:
        MemoryFiles& m_files;
        std::string m_path;
    };

    FileStamp stampOf(const std::string& path) {
        FileStamp s;
        s.size = content[path].size();
        s.modified = m_version[path];
        if (!m_identity.count(path)) m_identity[path] = ++m_nextIdentity;  // put in place by a test
        s.identity = m_identity[path];
        if (lastWrite.count(path)) s.lastWrite = lastWrite[path];
        return s;
    }

    std::map<std::string, std::uint64_t> m_identity;
    std::map<std::string, std::int64_t> m_version;
    std::uint64_t m_nextIdentity = 0;
};

}  // namespace platform
