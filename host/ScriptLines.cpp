#include "ScriptLines.h"

#include <utility>

namespace panel {

bool isIgnoredScriptLine(const std::string& line) {
    const auto first = line.find_first_not_of(" \t");
    return first == std::string::npos || line[first] == '#';
}

ScriptLines::ScriptLines(Reader read) : read_(std::move(read)) {}

bool ScriptLines::fill() {
    while (!havePending_ && !ended_) {
        std::string line;
        if (!read_(line)) {
            ended_ = true;
            break;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (isIgnoredScriptLine(line)) continue;
        pending_ = line;
        havePending_ = true;
    }
    return havePending_;
}

bool ScriptLines::next(std::string& line) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!fill()) return false;
    line = pending_;
    havePending_ = false;
    return true;
}

bool ScriptLines::peek(std::string& line) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!fill()) return false;
    line = pending_;
    return true;
}

bool ScriptLines::nextIf(const std::function<bool(const std::string&)>& accept, std::string& line) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!fill() || !accept(pending_)) return false;
    line = pending_;
    havePending_ = false;
    return true;
}

}  // namespace panel
