// Matching of file names against wildcard patterns: "*" stands for any run of
// characters (also none), "?" for exactly one.
#pragma once
#include <cctype>
#include <string>

namespace platform {

inline bool wildcardMatch(const std::string& pattern, const std::string& name, bool ignoreCase = false) {
    auto same = [ignoreCase](char a, char b) {
        if (!ignoreCase) return a == b;
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    std::size_t p = 0, n = 0;
    std::size_t star = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && same(pattern[p], name[n])))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace platform
