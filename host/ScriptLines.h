// A script read line by line: commands interleaved with the answers to the
// requests those commands bring up.
#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace panel {

class ScriptLines {
public:
    // READ yields the next raw line, false at the end.
    using Reader = std::function<bool(std::string&)>;
    explicit ScriptLines(Reader read);

    // The next line that is neither blank nor a "#" comment; false at the end.
    bool next(std::string& line);

    // The same line next() would give, left in place.
    bool peek(std::string& line);

    // Takes the next line only when ACCEPT says it is one; false otherwise
    // (the line stays in place) or at the end. One reader at a time.
    bool nextIf(const std::function<bool(const std::string&)>& accept, std::string& line);

private:
    bool fill();

    Reader read_;
    std::string pending_;
    bool havePending_ = false;
    bool ended_ = false;
    std::recursive_mutex mutex_;  // the panel's main thread and its dialog driver both read
};

// Blank lines and lines whose first non-blank character is '#'.
bool isIgnoredScriptLine(const std::string& line);

}  // namespace panel
