#include <gtest/gtest.h>

#include "Arguments.h"

namespace panel {
namespace {

struct SplitCase {
    const char* line;
    std::vector<std::string> words;
};

TEST(SplitArguments, SplitsOnBlanksAndKeepsQuotedBlanks) {
    const SplitCase cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"ls", {"ls"}},
        {"  mv   a\tb  ", {"mv", "a", "b"}},
        {"col \"Work Mail\"", {"col", "Work Mail"}},
        {"mv \"New Entry\" \"Old  Entry\"", {"mv", "New Entry", "Old  Entry"}},
        {"cd \\Email\\Gmail", {"cd", "\\Email\\Gmail"}},
        {"cd \\", {"cd", "\\"}},
        {"put \"\" x", {"put", "", "x"}},
        {"open pre\"fix suf\"fix", {"open", "prefix suffix"}},
        {"open \"never closed  here", {"open", "never closed  here"}},
    };
    for (const auto& c : cases) EXPECT_EQ(splitArguments(c.line), c.words) << "line: [" << c.line << "]";
}

}  // namespace
}  // namespace panel
