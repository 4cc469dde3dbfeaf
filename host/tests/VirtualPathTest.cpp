#include <gtest/gtest.h>

#include "VirtualPath.h"

namespace panel {
namespace {

struct ResolveCase {
    const char* current;
    const char* name;
    const char* path;
};

TEST(ResolvePath, JoinsWithBackslashesTheWayTheFileManagerSendsPaths) {
    const ResolveCase cases[] = {
        {"\\", "", "\\"},
        {"\\", "Email", "\\Email"},
        {"\\Email", "Gmail", "\\Email\\Gmail"},
        {"\\Email", "Work Mail", "\\Email\\Work Mail"},
        {"\\Email", "\\Bank", "\\Bank"},
        {"\\Email", "\\", "\\"},
        {"\\Email\\Gmail", "..", "\\Email"},
        {"\\Email", "..", "\\"},
        {"\\", "..", "\\"},
        {"\\Email", "..\\..\\..\\Bank", "\\Bank"},
        {"\\Email", ".\\Gmail", "\\Email\\Gmail"},
        {"\\Email", "Sub\\\\Deep\\", "\\Email\\Sub\\Deep"},
        {"\\Email", "a..b", "\\Email\\a..b"},
        {"\\Email", "...", "\\Email\\..."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resolvePath(c.current, c.name), c.path) << c.current << " + " << c.name;
}

TEST(ResolvePath, ParentAndLastComponent) {
    EXPECT_EQ(parentPath("\\Email\\Gmail"), "\\Email");
    EXPECT_EQ(parentPath("\\Email"), "\\");
    EXPECT_EQ(parentPath("\\"), "\\");
    EXPECT_EQ(lastComponent("\\Email\\Work Mail"), "Work Mail");
    EXPECT_EQ(lastComponent("\\Email"), "Email");
    EXPECT_EQ(lastComponent("\\"), "");
}

}  // namespace
}  // namespace panel
