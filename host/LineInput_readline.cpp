// Standard input on POSIX systems: GNU readline with history and completion
// when the user types at a terminal, plain lines otherwise.
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include <readline/history.h>
#include <readline/readline.h>

#include "LineInput.h"

namespace panel {

namespace {

Completer completer;
std::string presetText;

int insertPreset() {
    if (!presetText.empty()) rl_insert_text(presetText.c_str());
    presetText.clear();
    return 0;
}

bool commandWord = false;

char* nextCandidate(const char* text, int state) {
    static std::vector<std::string> candidates;
    static std::size_t index = 0;
    if (state == 0) {
        candidates = completer ? completer(text, commandWord) : std::vector<std::string>();
        index = 0;
    }
    if (index >= candidates.size()) return nullptr;
    return strdup(candidates[index++].c_str());
}

char** completeWord(const char* text, int start, int) {
    rl_attempted_completion_over = 1;  // never fall back to local file names
    // Quoting of names with blanks is readline's file name quoting, with the
    // double quote as the only quote character.
    rl_filename_completion_desired = 1;
    rl_filename_quoting_desired = 1;
    int first = 0;
    while (first < start && (rl_line_buffer[first] == ' ' || rl_line_buffer[first] == '\t')) ++first;
    commandWord = start == first;
    return rl_completion_matches(text, nextCandidate);
}

class ReadlineInput : public LineInput {
public:
    explicit ReadlineInput(Completer names) {
        completer = std::move(names);
        rl_readline_name = "keyhold-panel";
        rl_attempted_completion_function = completeWord;
        rl_basic_word_break_characters = const_cast<char*>(" \t");
        rl_completer_word_break_characters = const_cast<char*>(" \t");
        rl_completer_quote_characters = "\"";
        rl_filename_quote_characters = " \t";
        rl_startup_hook = insertPreset;
        using_history();
    }

    ~ReadlineInput() override {
        rl_startup_hook = nullptr;
        completer = nullptr;
    }

    bool readCommand(const std::string& prompt, std::string& line) override {
        rl_attempted_completion_function = completeWord;
        if (!edit(prompt, line)) return false;
        if (line.find_first_not_of(" \t") != std::string::npos) add_history(line.c_str());
        return true;
    }

    bool readText(const std::string& prompt, const std::string& preset, std::string& line) override {
        rl_attempted_completion_function = nullptr;
        presetText = preset;
        return edit(prompt, line);
    }

    bool readSecret(const std::string& prompt, std::string& line) override {
        std::fputs(prompt.c_str(), stdout);
        std::fflush(stdout);
        termios saved{};
        const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
        if (terminal) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            quiet.c_lflag |= ECHONL;
            tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        }
        // Byte by byte from the descriptor, as readline reads, so that no
        // buffered input is taken from the next line.
        line.clear();
        bool got = false;
        char c;
        while (::read(STDIN_FILENO, &c, 1) == 1) {
            got = true;
            if (c == '\n') break;
            line += c;
        }
        if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        return got;
    }

private:
    static bool edit(const std::string& prompt, std::string& line) {
        char* text = readline(prompt.c_str());
        if (!text) return false;
        line = text;
        std::free(text);
        return true;
    }
};

}  // namespace

bool standardInputIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

std::unique_ptr<LineInput> openStandardInput(bool interactive, Completer complete) {
    if (!interactive) return openStream(std::cin);
    return std::make_unique<ReadlineInput>(std::move(complete));
}

}  // namespace panel
