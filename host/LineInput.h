// Where the panel's lines come from: a terminal with line editing, a script
// file, or standard input.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace panel {

class LineInput {
public:
    virtual ~LineInput() = default;

    // A command line, without its line end; false at the end of input.
    // Terminal inputs keep a history of these and complete names.
    virtual bool readCommand(const std::string& prompt, std::string& line) = 0;

    // An answer typed by the user, starting out as PRESET where the input
    // can edit a line.
    virtual bool readText(const std::string& prompt, const std::string& preset, std::string& line) = 0;

    // An answer that is not shown while it is typed (passwords).
    virtual bool readSecret(const std::string& prompt, std::string& line) = 0;
};

// Completion candidates for WORD, the word under the cursor; COMMAND is true
// for the first word of the line.
using Completer = std::function<std::vector<std::string>(const std::string& word, bool command)>;

// Lines of a stream that nobody types at; prompts are not shown.
std::unique_ptr<LineInput> openStream(std::istream& in);

// Lines of a script file; null if it cannot be opened.
std::unique_ptr<LineInput> openScriptFile(const std::string& path);

// Standard input. INTERACTIVE: it is a terminal the user types at, so it gets
// prompts, line editing and COMPLETE where the system offers them.
std::unique_ptr<LineInput> openStandardInput(bool interactive, Completer complete);

// True when standard input is a terminal.
bool standardInputIsTerminal();

}  // namespace panel
