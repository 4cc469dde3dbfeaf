// The tally of the Windows check programs: every check counts, a failed one
// is printed at once.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

inline std::atomic<int> g_passed{0};
inline std::atomic<int> g_failed{0};

inline bool check(bool ok, const std::string& what) {
    if (ok) {
        ++g_passed;
    } else {
        ++g_failed;
        std::printf("FAILED: %s\n", what.c_str());
        std::fflush(stdout);
    }
    return ok;
}
