// Answering the plug-in's requests (user name, password, message boxes) and
// the panel's own yes/no questions, from a script or from the user.
#pragma once

#include <iosfwd>
#include <string>

#include "WfxApi.h"

namespace panel {

class LineInput;
class ScriptLines;

std::string requestTypeName(int type);  // RT_Password, RT_MsgOK, ...
bool isMessageRequest(int type);        // RT_MsgOK, RT_MsgYesNo, RT_MsgOKCancel
bool isPasswordRequest(int type);       // RT_Password, RT_PasswordFirewall

// Copies TEXT into the plug-in's buffer as a file manager does: at most MAXLEN
// characters and a terminating NUL (the buffer holds MAXLEN+1 bytes); nothing
// at all when MAXLEN is negative.
void writeReturnedText(const std::string& text, char* returned, int maxlen);

// The line break between the lines of a multi-line answer, as the plug-ins'
// multi-line edits on Windows hold it.
constexpr const char* kAnswerLineBreak = "\r\n";

// The text a continuation line ("+ text", or "+" alone for an empty line)
// adds to the answer before it, after a line break; "" for other lines.
std::string continuedText(const std::string& line);

// A script line read as an answer: "> text" (or ">" alone, the empty text)
// answers, "!cancel" cancels, anything else is no answer. Continuation lines
// right behind an answer add further lines to it (see continuedText).
struct ScriptAnswer {
    enum Kind { None, Text, Cancel } kind = None;
    std::string text;
};
ScriptAnswer parseAnswerLine(const std::string& line);

// Whether REPLY to a message request of TYPE means OK / yes.
bool acceptsMessage(int type, const std::string& reply);

class Answerer {
public:
    virtual ~Answerer() = default;

    // Answers a request the plug-in made. Text answers go into RETURNED, a
    // buffer of MAXLEN+1 bytes that holds the preset text. False: cancelled.
    virtual bool request(int type, char* returned, int maxlen) = 0;

    // Answers a yes/no question of the panel's own, already printed.
    virtual bool confirm() = 0;
};

// Takes the answers from the script, at the moment they are needed.
class ScriptAnswerer : public Answerer {
public:
    ScriptAnswerer(ScriptLines& lines, std::ostream& out);
    bool request(int type, char* returned, int maxlen) override;
    bool confirm() override;

private:
    ScriptLines& lines_;
    std::ostream& out_;
};

// Asks the user at the terminal.
class TerminalAnswerer : public Answerer {
public:
    TerminalAnswerer(LineInput& input, std::ostream& out);
    bool request(int type, char* returned, int maxlen) override;
    bool confirm() override;

private:
    LineInput& input_;
    std::ostream& out_;
};

// The host's side of the request callback: prints the request and lets
// ANSWERER reply. Title and text may be null.
wfx::BOOL handleRequest(Answerer& answerer, std::ostream& out, int type, const char* title, const char* text,
                        char* returned, int maxlen);

}  // namespace panel
