#include "Requests.h"

#include <cstring>
#include <ostream>
#include <vector>

#include "Format.h"
#include "LineInput.h"
#include "ScriptLines.h"

namespace panel {

namespace {

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool isYes(const std::string& reply) {
    const std::string word = lowered(reply);
    return word == "y" || word == "yes" || word == "ok";
}

bool isNo(const std::string& reply) {
    const std::string word = lowered(reply);
    return word == "n" || word == "no" || word == "cancel";
}

std::string textIn(const char* buffer, int maxlen) {
    if (!buffer || maxlen <= 0) return {};
    std::size_t length = 0;
    while (length < static_cast<std::size_t>(maxlen) && buffer[length] != '\0') ++length;
    return std::string(buffer, length);
}

// The lines of a text, split at CR LF, a lone CR or LF.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.emplace_back();
        } else {
            lines.back() += text[i];
        }
    }
    return lines;
}

bool isContinuationLine(const std::string& line) { return !line.empty() && line[0] == '+'; }

}  // namespace

std::string requestTypeName(int type) {
    static const char* const names[] = {"RT_Other",   "RT_UserName",         "RT_Password",
                                        "RT_Account", "RT_UserNameFirewall", "RT_PasswordFirewall",
                                        "RT_TargetDir", "RT_URL",            "RT_MsgOK",
                                        "RT_MsgYesNo", "RT_MsgOKCancel"};
    if (type >= 0 && type <= 10) return names[type];
    return "RT_?(" + std::to_string(type) + ")";
}

bool isMessageRequest(int type) {
    return type == wfx::RT_MsgOK || type == wfx::RT_MsgYesNo || type == wfx::RT_MsgOKCancel;
}

bool isPasswordRequest(int type) {
    return type == wfx::RT_Password || type == wfx::RT_PasswordFirewall;
}

void writeReturnedText(const std::string& text, char* returned, int maxlen) {
    if (!returned || maxlen < 0) return;
    const std::size_t room = static_cast<std::size_t>(maxlen);
    const std::size_t length = text.size() < room ? text.size() : room;
    std::memcpy(returned, text.data(), length);
    returned[length] = '\0';
}

ScriptAnswer parseAnswerLine(const std::string& line) {
    ScriptAnswer answer;
    if (!line.empty() && line[0] == '>') {
        answer.kind = ScriptAnswer::Text;
        answer.text = line.substr(line.size() > 1 && line[1] == ' ' ? 2 : 1);
    } else if (!line.empty() && line[0] == '!') {
        answer.kind = ScriptAnswer::Cancel;
    }
    return answer;
}

std::string continuedText(const std::string& line) {
    if (!isContinuationLine(line)) return {};
    return line.substr(line.size() > 1 && line[1] == ' ' ? 2 : 1);
}

bool acceptsMessage(int type, const std::string& reply) {
    if (type == wfx::RT_MsgOK) return true;  // the only button there is
    return isYes(reply);
}

ScriptAnswerer::ScriptAnswerer(ScriptLines& lines, std::ostream& out) : lines_(lines), out_(out) {}

bool ScriptAnswerer::request(int type, char* returned, int maxlen) {
    std::string line;
    if (!lines_.peek(line)) {
        out_ << "request unanswered (end of script)\n";
        return false;
    }
    const ScriptAnswer answer = parseAnswerLine(line);
    if (answer.kind == ScriptAnswer::None) {
        out_ << "request unanswered\n";
        return false;
    }
    lines_.next(line);
    if (answer.kind == ScriptAnswer::Cancel) {
        if (line != "!cancel") out_ << "unknown answer " << line << ", taken as !cancel\n";
        out_ << "cancelled\n";
        return false;
    }
    if (isMessageRequest(type)) {
        const bool accepted = acceptsMessage(type, answer.text);
        out_ << "answered " << (type == wfx::RT_MsgOK ? "ok" : accepted ? "yes" : "no") << "\n";
        return accepted;
    }
    std::string text = answer.text;
    while (lines_.nextIf(isContinuationLine, line)) text += kAnswerLineBreak + continuedText(line);
    writeReturnedText(text, returned, maxlen);
    if (isPasswordRequest(type))
        out_ << "answered *****\n";
    else
        out_ << "answered \"" << escapeText(textIn(returned, maxlen)) << "\"\n";
    return true;
}

bool ScriptAnswerer::confirm() {
    std::string line;
    if (!lines_.peek(line)) {
        out_ << "unanswered (end of script), taken as no\n";
        return false;
    }
    const ScriptAnswer answer = parseAnswerLine(line);
    std::string reply;
    if (answer.kind == ScriptAnswer::Text) {
        reply = answer.text;
    } else if (answer.kind == ScriptAnswer::Cancel || isYes(line) || isNo(line)) {
        reply = answer.kind == ScriptAnswer::Cancel ? "no" : line;
    } else {
        out_ << "unanswered, taken as no\n";
        return false;
    }
    lines_.next(line);
    const bool yes = isYes(reply);
    out_ << "answered " << (yes ? "yes" : "no") << "\n";
    return yes;
}

TerminalAnswerer::TerminalAnswerer(LineInput& input, std::ostream& out) : input_(input), out_(out) {}

bool TerminalAnswerer::request(int type, char* returned, int maxlen) {
    std::string reply;
    if (type == wfx::RT_MsgOK) return input_.readText("(press Enter) ", "", reply);
    if (isMessageRequest(type)) {
        if (!input_.readText(type == wfx::RT_MsgYesNo ? "(y/n) " : "(y = OK, n = Cancel) ", "", reply)) {
            out_ << "\ncancelled\n";
            return false;
        }
        return acceptsMessage(type, reply);
    }
    if (isPasswordRequest(type)) {
        if (!input_.readSecret("password: ", reply)) {
            out_ << "\ncancelled\n";
            return false;
        }
        writeReturnedText(reply, returned, maxlen);
        return true;
    }
    // A preset of several lines is offered line by line, each on a prompt of
    // its own; the answer has as many lines.
    const std::vector<std::string> preset = linesOf(textIn(returned, maxlen));
    for (std::size_t i = 0; i < preset.size(); ++i) {
        std::string line;
        if (!input_.readText(i == 0 ? "answer: " : "     + ", preset[i], line)) {
            out_ << "\ncancelled\n";
            return false;
        }
        reply += (i == 0 ? std::string() : std::string(kAnswerLineBreak)) + line;
    }
    writeReturnedText(reply, returned, maxlen);
    return true;
}

bool TerminalAnswerer::confirm() {
    std::string reply;
    return input_.readText("", "", reply) && isYes(reply);
}

wfx::BOOL handleRequest(Answerer& answerer, std::ostream& out, int type, const char* title, const char* text,
                        char* returned, int maxlen) {
    out << "request " << requestTypeName(type) << " title=\"" << escapeText(title ? title : "") << "\" text=\""
        << escapeText(text ? text : "") << "\"\n";
    return answerer.request(type, returned, maxlen) ? 1 : 0;
}

}  // namespace panel
