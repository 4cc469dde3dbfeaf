// In-memory log files for tests. Files live in `files` (path to content) and
// can be opened only inside a folder listed in `folders`. Paths in `held` are
// held by "another process" without sharing; paths in `unopenable` fail to
// open; `refuseFolders` makes every folder creation fail; `writeResults`
// forces the results of the next writes (a forced failure writes nothing). A
// write to a file that was removed from `files` finds it gone.
#pragma once
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "platform/LogFiles.h"
#include "platform/Platform.h"
#include "platform/Wildcard.h"

namespace platform {

class MemoryLogFiles : public LogFiles {
public:
    std::set<std::string> folders;
    std::map<std::string, std::string> files;
    std::set<std::string> held;
    std::set<std::string> unopenable;
    bool refuseFolders = false;
    bool seekFails = false;
    std::deque<LogWriteResult> writeResults;
    std::vector<std::string> opened;  // every path opened, in order
    std::vector<std::string> removed;
    std::map<std::string, int> openHandles;  // path to handles open now
    int flushes = 0;

    // For reading the fields while the logger's threads may run.
    std::recursive_mutex mutex;

    bool createFolder(const std::string& path) override {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        if (refuseFolders) return false;
        folders.insert(path);
        return true;
    }

    LogOpenResult open(const std::string& path, std::unique_ptr<LogFile>& file) override {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        if (held.count(path)) return LogOpenResult::Held;
        if (unopenable.count(path) || !folders.count(folderOf(path))) return LogOpenResult::Failed;
        files[path];  // created when missing, kept when there
        opened.push_back(path);
        ++openHandles[path];
        file.reset(new File(*this, path));
        return LogOpenResult::Opened;
    }

    std::vector<std::string> list(const std::string& folder, const std::string& pattern) override {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        std::vector<std::string> names;
        for (const auto& f : files) {
            if (folderOf(f.first) != folder) continue;
            std::string name = f.first.substr(folder.size() + 1);
            if (wildcardMatch(pattern, name)) names.push_back(name);
        }
        return names;
    }

    bool remove(const std::string& path) override {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        if (!files.erase(path)) return false;
        removed.push_back(path);
        return true;
    }

    // Helpers for the tests.
    std::string content(const std::string& path) {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        auto it = files.find(path);
        return it == files.end() ? std::string() : it->second;
    }
    bool exists(const std::string& path) {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        return files.count(path) != 0;
    }
    int handlesOpen(const std::string& path) {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        auto it = openHandles.find(path);
        return it == openHandles.end() ? 0 : it->second;
    }

private:
    static std::string folderOf(const std::string& path) {
        std::string::size_type cut = path.rfind(kPathSeparator);
        return cut == std::string::npos ? std::string() : path.substr(0, cut);
    }

    class File : public LogFile {
    public:
        File(MemoryLogFiles& owner, std::string path) : m_owner(owner), m_path(std::move(path)) {}
        ~File() override {
            std::lock_guard<std::recursive_mutex> guard(m_owner.mutex);
            --m_owner.openHandles[m_path];
        }
        bool seekToEnd() override {
            std::lock_guard<std::recursive_mutex> guard(m_owner.mutex);
            return !m_owner.seekFails;
        }
        LogWriteResult write(const std::string& text) override {
            std::lock_guard<std::recursive_mutex> guard(m_owner.mutex);
            if (!m_owner.writeResults.empty()) {
                LogWriteResult forced = m_owner.writeResults.front();
                m_owner.writeResults.pop_front();
                if (forced != LogWriteResult::Written) return forced;
            }
            auto it = m_owner.files.find(m_path);
            if (it == m_owner.files.end()) return LogWriteResult::FileNotFound;
            it->second += text;
            return LogWriteResult::Written;
        }
        bool flush() override {
            std::lock_guard<std::recursive_mutex> guard(m_owner.mutex);
            ++m_owner.flushes;
            return true;
        }

    private:
        MemoryLogFiles& m_owner;
        std::string m_path;
    };
};

}  // namespace platform
