#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <sstream>
#include <vector>

#include "HostCallbacks.h"
#include "LineInput.h"
#include "Requests.h"
#include "ScriptLines.h"

namespace panel {
namespace {

// A script held in memory; remembers how many raw lines were taken.
struct MemoryScript {
    explicit MemoryScript(std::vector<std::string> text)
        : lines(text.begin(), text.end()), script([this](std::string& line) {
              if (lines.empty()) return false;
              line = lines.front();
              lines.pop_front();
              return true;
          }) {}

    std::string nextCommand() {
        std::string line;
        return script.next(line) ? line : "(end)";
    }

    std::deque<std::string> lines;
    ScriptLines script;
};

// As a file manager does it: MAXLEN characters and a terminating zero, in a
// buffer of MAXLEN+1 bytes.
TEST(WriteReturnedText, CutsToMaxlenAndTerminatesBehindIt) {
    struct Case {
        const char* text;
        int maxlen;
        const char* stored;
    };
    const Case cases[] = {
        {"secret", 16, "secret"},
        {"secret", 6, "secret"},    // exactly fills MaxLen
        {"secrets", 6, "secret"},   // one character too long
        {"supersecretpassword", 7, "superse"},
        {"x", 0, ""},
        {"", 4, ""},
    };
    for (const auto& c : cases) {
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        writeReturnedText(c.text, buffer, c.maxlen);
        EXPECT_STREQ(buffer, c.stored) << c.text << " into " << c.maxlen;
        for (int i = c.maxlen + 1; i < static_cast<int>(sizeof buffer); ++i)
            ASSERT_EQ(buffer[i], '#') << "wrote past maxlen+1 " << c.maxlen << " at " << i;
    }
}

TEST(WriteReturnedText, NothingIsWrittenWithoutABuffer) {
    char buffer[4] = {'#', '#', '#', '#'};
    writeReturnedText("abc", buffer, -5);
    writeReturnedText("abc", nullptr, 4);
    EXPECT_EQ(std::string(buffer, 4), "####");
}

TEST(ParseAnswerLine, AnswersCancelsAndOtherLines) {
    struct Case {
        const char* line;
        ScriptAnswer::Kind kind;
        const char* text;
    };
    const Case cases[] = {
        {"> alice", ScriptAnswer::Text, "alice"},
        {">  two blanks", ScriptAnswer::Text, " two blanks"},
        {"> ", ScriptAnswer::Text, ""},
        {">", ScriptAnswer::Text, ""},
        {">tight", ScriptAnswer::Text, "tight"},
        {"!cancel", ScriptAnswer::Cancel, ""},
        {"ls", ScriptAnswer::None, ""},
        {" > indented", ScriptAnswer::None, ""},
        {"", ScriptAnswer::None, ""},
    };
    for (const auto& c : cases) {
        const ScriptAnswer answer = parseAnswerLine(c.line);
        EXPECT_EQ(answer.kind, c.kind) << c.line;
        EXPECT_EQ(answer.text, c.text) << c.line;
    }
}

TEST(ScriptLines, SkipsBlankAndCommentLinesAndPeeksWithoutConsuming) {
    MemoryScript memory({"", "# comment", "   # indented comment", "ls\r", "  ", "> answer", "pwd"});
    std::string line;
    ASSERT_TRUE(memory.script.peek(line));
    EXPECT_EQ(line, "ls");
    ASSERT_TRUE(memory.script.peek(line));
    EXPECT_EQ(line, "ls");
    EXPECT_EQ(memory.nextCommand(), "ls");
    EXPECT_EQ(memory.nextCommand(), "> answer");
    EXPECT_EQ(memory.nextCommand(), "pwd");
    EXPECT_FALSE(memory.script.peek(line));
    EXPECT_EQ(memory.nextCommand(), "(end)");
}

TEST(ScriptAnswerer, TextAnswerIsCutAndTheNextCommandStaysInPlace) {
    MemoryScript memory({"> supersecretpassword", "ls"});
    std::ostringstream out;
    ScriptAnswerer answerer(memory.script, out);
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_TRUE(answerer.request(wfx::RT_UserName, buffer, 7));
    EXPECT_STREQ(buffer, "superse");
    EXPECT_EQ(buffer[8], 'X');
    EXPECT_EQ(out.str(), "answered \"superse\"\n");
    EXPECT_EQ(memory.nextCommand(), "ls");
}

TEST(ScriptAnswerer, PasswordsAreNeverPrinted) {
    MemoryScript memory({"> hunter2"});
    std::ostringstream out;
    ScriptAnswerer answerer(memory.script, out);
    char buffer[32] = {};
    EXPECT_TRUE(answerer.request(wfx::RT_Password, buffer, sizeof buffer - 1));
    EXPECT_STREQ(buffer, "hunter2");
    EXPECT_EQ(out.str(), "answered *****\n");
    EXPECT_EQ(out.str().find("hunter2"), std::string::npos);
}

TEST(ScriptAnswerer, EmptyAnswerReplacesThePreset) {
    MemoryScript memory({"> "});
    std::ostringstream out;
    ScriptAnswerer answerer(memory.script, out);
    char buffer[16] = "preset";
    EXPECT_TRUE(answerer.request(wfx::RT_Other, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "");
}

TEST(ScriptAnswerer, UnansweredCancelsAndLeavesTheLine) {
    MemoryScript memory({"pwd"});
    std::ostringstream out;
    ScriptAnswerer answerer(memory.script, out);
    char buffer[16] = "preset";
    EXPECT_FALSE(answerer.request(wfx::RT_Password, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "preset");
    EXPECT_EQ(out.str(), "request unanswered\n");
    EXPECT_EQ(memory.nextCommand(), "pwd");
}

TEST(ScriptAnswerer, CancelAndEndOfScriptCancel) {
    MemoryScript memory({"!cancel"});
    std::ostringstream out;
    ScriptAnswerer answerer(memory.script, out);
    char buffer[16] = "preset";
    EXPECT_FALSE(answerer.request(wfx::RT_UserName, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "preset");
    EXPECT_FALSE(answerer.request(wfx::RT_MsgOK, nullptr, 0));
    EXPECT_EQ(out.str(), "cancelled\nrequest unanswered (end of script)\n");
}

TEST(ScriptAnswerer, MessageRequests) {
    struct Case {
        int type;
        const char* line;
        bool result;
        const char* printed;
    };
    const Case cases[] = {
        {wfx::RT_MsgOK, "> ok", true, "answered ok\n"},
        {wfx::RT_MsgOK, "> ", true, "answered ok\n"},
        {wfx::RT_MsgYesNo, "> yes", true, "answered yes\n"},
        {wfx::RT_MsgYesNo, "> Y", true, "answered yes\n"},
        {wfx::RT_MsgYesNo, "> no", false, "answered no\n"},
        {wfx::RT_MsgOKCancel, "> ok", true, "answered yes\n"},
        {wfx::RT_MsgOKCancel, "!cancel", false, "cancelled\n"},
        {wfx::RT_MsgYesNo, "yes", false, "request unanswered\n"},
    };
    for (const auto& c : cases) {
        MemoryScript memory({c.line});
        std::ostringstream out;
        ScriptAnswerer answerer(memory.script, out);
        char untouched[8] = "keep";
        EXPECT_EQ(answerer.request(c.type, untouched, sizeof untouched), c.result) << c.type << " " << c.line;
        EXPECT_EQ(out.str(), c.printed) << c.type << " " << c.line;
        EXPECT_STREQ(untouched, "keep");
    }
}

TEST(ScriptAnswerer, ConfirmTakesAnswersAndBareReplies) {
    struct Case {
        const char* line;
        bool yes;
        const char* left;  // the next command afterwards
    };
    const Case cases[] = {
        {"> y", true, "ls"}, {"y", true, "ls"},   {"yes", true, "ls"},      {"n", false, "ls"},
        {"> no", false, "ls"}, {"!cancel", false, "ls"}, {"pwd", false, "pwd"},
    };
    for (const auto& c : cases) {
        MemoryScript memory({c.line, "ls"});
        std::ostringstream out;
        ScriptAnswerer answerer(memory.script, out);
        EXPECT_EQ(answerer.confirm(), c.yes) << c.line;
        EXPECT_EQ(memory.nextCommand(), c.left) << c.line;
    }
}

// Replies as a user at the terminal would, recording how it was asked.
class ScriptedUser : public LineInput {
public:
    explicit ScriptedUser(std::vector<std::string> replies) : replies_(replies.begin(), replies.end()) {}

    bool readCommand(const std::string&, std::string& line) override { return take("command", line); }
    bool readText(const std::string&, const std::string& preset, std::string& line) override {
        presets.push_back(preset);
        return take("text", line);
    }
    bool readSecret(const std::string&, std::string& line) override { return take("secret", line); }

    std::vector<std::string> kinds;
    std::vector<std::string> presets;

private:
    bool take(const char* kind, std::string& line) {
        kinds.push_back(kind);
        if (replies_.empty()) return false;
        line = replies_.front();
        replies_.pop_front();
        return true;
    }
    std::deque<std::string> replies_;
};

TEST(TerminalAnswerer, PasswordsAreReadHiddenAndTextStartsFromThePreset) {
    ScriptedUser user({"hunter2", "bob", "y", "n"});
    std::ostringstream out;
    TerminalAnswerer answerer(user, out);
    char password[4] = {};
    EXPECT_TRUE(answerer.request(wfx::RT_Password, password, sizeof password - 1));
    EXPECT_STREQ(password, "hun");
    char name[16] = "alice";
    EXPECT_TRUE(answerer.request(wfx::RT_UserName, name, sizeof name - 1));
    EXPECT_STREQ(name, "bob");
    EXPECT_TRUE(answerer.request(wfx::RT_MsgYesNo, nullptr, 0));
    EXPECT_FALSE(answerer.request(wfx::RT_MsgOKCancel, nullptr, 0));
    EXPECT_EQ(user.kinds, (std::vector<std::string>{"secret", "text", "text", "text"}));
    EXPECT_EQ(user.presets.at(0), "alice");
}

// A script gives an answer of several lines as the answer line followed by
// continuation lines; they are joined with CR LF, the line break of the
// Windows multi-line edits, so that notes keep their lines.
TEST(ScriptAnswerer, ContinuationLinesMakeAMultiLineAnswer) {
    MemoryScript memory({"> first line", "+ second line", "+", "+  indented", "# a comment between", "+last",
                         "> next answer", "+ its own line", "ls"});
    std::ostringstream out;
    ScriptAnswerer answerer(memory.script, out);
    std::vector<char> buffer(256, 'X');
    EXPECT_TRUE(answerer.request(wfx::RT_Other, buffer.data(), static_cast<int>(buffer.size()) - 1));
    EXPECT_STREQ(buffer.data(), "first line\r\nsecond line\r\n\r\n indented\r\nlast");
    EXPECT_EQ(out.str(), "answered \"first line\\r\\nsecond line\\r\\n\\r\\n indented\\r\\nlast\"\n");
    EXPECT_TRUE(answerer.request(wfx::RT_Other, buffer.data(), static_cast<int>(buffer.size()) - 1));
    EXPECT_STREQ(buffer.data(), "next answer\r\nits own line");
    EXPECT_EQ(memory.nextCommand(), "ls");
}

// A long answer arrives whole when the buffer holds it, and exactly MaxLen
// characters and the zero of it when not.
TEST(ScriptAnswerer, LongAnswerFillsMaxLenAndTheZeroOnly) {
    const std::string longText(100000, 'n');
    MemoryScript memory({"> " + longText, "> " + longText});
    std::ostringstream out;
    ScriptAnswerer answerer(memory.script, out);
    std::vector<char> roomy(200001, 'X');
    EXPECT_TRUE(answerer.request(wfx::RT_Other, roomy.data(), 200000));
    EXPECT_EQ(std::string(roomy.data()), longText);
    std::vector<char> tight(1026, 'X');
    EXPECT_TRUE(answerer.request(wfx::RT_Other, tight.data(), 1024));
    EXPECT_EQ(std::string(tight.data()), longText.substr(0, 1024));
    EXPECT_EQ(tight[1025], 'X');
}

// At the terminal a preset of several lines is offered line by line; the
// answer keeps them as lines.
TEST(TerminalAnswerer, MultiLinePresetIsOfferedLineByLine) {
    ScriptedUser user({"one", "two changed", ""});
    std::ostringstream out;
    TerminalAnswerer answerer(user, out);
    char notes[64] = "one\r\ntwo\nthree";
    EXPECT_TRUE(answerer.request(wfx::RT_Other, notes, sizeof notes - 1));
    EXPECT_EQ(user.presets, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_STREQ(notes, "one\r\ntwo changed\r\n");
}

TEST(TerminalAnswerer, EndOfInputCancels) {
    ScriptedUser user({});
    std::ostringstream out;
    TerminalAnswerer answerer(user, out);
    char name[16] = "alice";
    EXPECT_FALSE(answerer.request(wfx::RT_UserName, name, sizeof name));
    EXPECT_STREQ(name, "alice");
    EXPECT_FALSE(answerer.request(wfx::RT_MsgYesNo, nullptr, 0));
    EXPECT_FALSE(answerer.confirm());
}

TEST(HostCallbacks, PrintRequestsLogAndProgressLines) {
    MemoryScript memory({"> alice"});
    std::ostringstream out;
    ScriptAnswerer answerer(memory.script, out);
    attachCallbacks(out, answerer);
    char title[] = "Log in";
    char text[] = "User \"name\":\n";
    char returned[16] = {};
    EXPECT_EQ(requestCallback(1, wfx::RT_UserName, title, text, returned, sizeof returned), 1);
    EXPECT_EQ(requestCallback(1, wfx::RT_MsgOK, nullptr, nullptr, nullptr, 0), 0);
    char message[] = "connected";
    logCallback(1, wfx::MSGTYPE_CONNECT, message);
    char from[] = "\\Email\\Gmail";
    char to[] = "\\Bank\\Gmail";
    EXPECT_EQ(progressCallback(1, from, to, 50), 0);
    detachCallbacks();
    EXPECT_STREQ(returned, "alice");
    EXPECT_EQ(out.str(),
              "request RT_UserName title=\"Log in\" text=\"User \"name\":\\n\"\n"
              "answered \"alice\"\n"
              "request RT_MsgOK title=\"\" text=\"\"\n"
              "request unanswered (end of script)\n"
              "log[MSGTYPE_CONNECT]: connected\n"
              "progress: \\Email\\Gmail -> \\Bank\\Gmail 50%\n");
}

}  // namespace
}  // namespace panel
