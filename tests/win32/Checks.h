// The tally of the Windows check programs: every check counts, a failed one
// is printed at once.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

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

// Nothing in a check may wait forever: after `ms` the program reports the
// time-out as a failed check and ends.
inline void startWatchdog(DWORD ms) {
    std::thread([ms] {
        Sleep(ms);
        std::printf("FAILED: timed out\n%d passed, %d failed\n", g_passed.load(), g_failed.load() + 1);
        std::fflush(stdout);
        ExitProcess(3);
    }).detach();
}
