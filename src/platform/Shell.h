// Opening a web address, document or program with the system's shell.
#pragma once
#include <string>

namespace platform {

// Results of Shell::execute, with the meaning of the Windows shell's results.
constexpr int kShellFileNotFound = 2;
constexpr int kShellPathNotFound = 3;
constexpr int kShellAccessDenied = 5;
constexpr int kShellNoAssociation = 31;
constexpr int kShellStarted = 42;  // anything above 32 means success

constexpr int kShowNormal = 1;
constexpr int kShow = 5;

class Shell {
public:
    virtual ~Shell() = default;
    // Opens `file` (a web address, a document or a program) with `verb`
    // (empty: the default verb), handing a program `parameters`. The result
    // is above 32 when something was started, otherwise the error code.
    // Never goes through a command interpreter: nothing in `file` or
    // `parameters` is run as a command of its own.
    virtual int execute(const std::string& verb, const std::string& file, const std::string& parameters,
                        int show) = 0;
};

}  // namespace platform
