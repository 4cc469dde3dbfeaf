// In-memory files for tests. Names listed in `unreadable` exist but cannot be
// read; `failWrites` makes every replacement fail and keeps the old content.
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
    int writes = 0;
    std::function<void(const std::string& path)> beforeReplace;

    bool exists(const std::string& path) override { return content.count(path) || unreadable.count(path); }
    ReadResult readAll(const std::string& path, std::string& out) override {
        if (unreadable.count(path)) return ReadResult::Unreadable;
        auto it = content.find(path);
        if (it == content.end()) return ReadResult::Missing;
        out = it->second;
        return ReadResult::Ok;
    }
    bool replaceAtomically(const std::string& path, const std::string& data, std::string& error) override {
        if (beforeReplace) beforeReplace(path);
        if (failWrites || unreadable.count(path)) {
            error = "write refused";
            return false;
        }
        content[path] = data;
        ++writes;
        return true;
    }
};

}  // namespace platform
