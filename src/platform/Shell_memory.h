// A shell for tests: records what it was asked to open and answers with the
// results queued in `results` (kShellStarted when none is queued).
#pragma once

#include <deque>
#include <vector>

#include "platform/Shell.h"

namespace platform {

class MemoryShell : public Shell {
public:
    struct Call {
        std::string verb, file, parameters;
        int show;
    };
    std::vector<Call> calls;
    std::deque<int> results;

    int execute(const std::string& verb, const std::string& file, const std::string& parameters,
                int show) override {
        calls.push_back({verb, file, parameters, show});
        if (results.empty()) return kShellStarted;
        int r = results.front();
        results.pop_front();
        return r;
    }
};

}  // namespace platform
