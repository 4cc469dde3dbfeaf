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

// Copies TEXT into the plug-in's buffer of MAXLEN bytes: at most MAXLEN-1
// bytes and a terminating NUL, nothing at all when MAXLEN is not positive.
void writeReturnedText(const std::string& text, char* returned, int maxlen);

// A script line read as an answer: "> text" (or ">" alone, the empty text)
// answers, "!cancel" cancels, anything else is no answer.
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
    // buffer of MAXLEN bytes that holds the preset text. False: cancelled.
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
