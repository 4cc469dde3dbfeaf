#include "TestSupport.h"
#include "VirtualPath.h"

namespace {

struct SplitCase {
    const char* path;
    bool dropLast;
    std::vector<std::string> components;
};

class SplitVirtualPathTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitVirtualPathTest, GivesComponents) {
    const SplitCase& c = GetParam();
    std::vector<std::string> parts{"left over"};
    EXPECT_EQ(SplitVirtualPath(c.path, parts, c.dropLast), c.components.size());
    EXPECT_EQ(parts, c.components);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SplitVirtualPathTest,
    ::testing::Values(SplitCase{"\\", false, {""}}, SplitCase{"\\", true, {}}, SplitCase{"", false, {""}},
                      SplitCase{"\\Email", false, {"Email"}}, SplitCase{"\\Email\\", false, {"Email"}},
                      SplitCase{"\\A\\B", false, {"A", "B"}}, SplitCase{"\\A\\B\\", false, {"A", "B"}},
                      SplitCase{"\\A\\B", true, {"A"}}, SplitCase{"\\A\\B\\", true, {"A"}},
                      SplitCase{"\\New Entry", false, {"New Entry"}},
                      SplitCase{"\\A\\\\B", false, {"A", "", "B"}},  // an empty component stays empty
                      // A gap is kept whole, even without the last component,
                      // so that it never looks like the root or a folder.
                      SplitCase{"\\A\\\\B", true, {"A", "", "B"}},
                      SplitCase{"\\A\\\\", false, {"A", "", ""}},
                      SplitCase{"\\\\", false, {"", ""}}, SplitCase{"\\\\", true, {"", ""}},
                      SplitCase{"\\\\A", true, {"", "A"}},
                      // the first character is dropped unchecked
                      SplitCase{"XA\\B", false, {"A", "B"}}));

// A path names a node only when every component names one: two separators
// in a row, or separators alone beyond the root, leave an empty component.
TEST(HasEmptyComponentTest, TellsGapsFromTheRootAndAClosingSeparator) {
    for (const char* gap : {"\\\\", "\\\\\\", "\\Email\\\\", "\\Email\\\\Work", "\\\\Email",
                            "\\Email\\Work\\\\", "\\Email\\\\\\"}) {
        EXPECT_TRUE(HasEmptyComponent(gap)) << gap;
    }
    for (const char* whole : {"", "\\", "\\Email", "\\Email\\", "\\Email\\Work", "\\Email\\Work\\",
                              "\\New Entry"}) {
        EXPECT_FALSE(HasEmptyComponent(whole)) << whole;
    }
#if !defined(_WIN32)
    EXPECT_TRUE(HasEmptyComponent(VirtualPathFromHost("/Email//Sub")));
    EXPECT_TRUE(HasEmptyComponent(VirtualPathFromHost("//")));
    EXPECT_FALSE(HasEmptyComponent(VirtualPathFromHost("/")));
    EXPECT_FALSE(HasEmptyComponent(VirtualPathFromHost("/Email/")));
#endif
}

TEST(VirtualPathFromHostTest, AcceptsTheLinuxSeparator) {
#if defined(_WIN32)
    EXPECT_EQ(VirtualPathFromHost("/Email/Work"), "/Email/Work");
#else
    EXPECT_EQ(VirtualPathFromHost("/Email/Work"), "\\Email\\Work");
    EXPECT_EQ(VirtualPathFromHost("/"), "\\");
#endif
    EXPECT_EQ(VirtualPathFromHost("\\Email\\Work"), "\\Email\\Work");
    EXPECT_EQ(VirtualPathFromHost(nullptr), "\\");
}

TEST(VirtualPathFromHostTest, LongPathsStayWhole) {
    std::string longPath(5000, 'x');
    longPath[0] = '\\';
    std::vector<std::string> parts;
    EXPECT_EQ(SplitVirtualPath(VirtualPathFromHost(longPath.c_str()), parts, false), 1u);
    EXPECT_EQ(parts[0].size(), 4999u);
}

class FindNodeByPathTest : public PlatformFixture {
protected:
    void SetUp() override {
        PlatformFixture::SetUp();
        files.content["/plug/keyHold.ini"] = "[MAIN]\n";
        settings().load("/plug/keyHold.ini", "/plug");
        tTreeNode base = MakeBaseNode("Keyhold");
        root = BuildCommandNodes(base);
        PasswordTree& t = passwordTree();
        email = t.appendChild(root, MakeFolderNode("Email"));
        gmail = t.appendChild(email, makeEntry("Gmail"));
        empty = t.appendChild(root, MakeFolderNode("Empty"));
        router = t.appendChild(root, makeEntry("Router"));
    }
    int find(const std::string& path) {
        std::vector<std::string> parts;
        SplitVirtualPath(path, parts, false);
        return FindNodeByPath(parts, current, cursor, missing, passwordTree().begin());
    }
    TreePos root, email, gmail, empty, router;
    TreePos current, cursor;
    std::string missing = "unset";
};

TEST_F(FindNodeByPathTest, FolderWithChildren) {
    EXPECT_EQ(find("\\Email"), 1);
    EXPECT_TRUE(current == email);
    EXPECT_TRUE(cursor == gmail);
    EXPECT_EQ(missing, "");
}

TEST_F(FindNodeByPathTest, RootListsTheDatabaseRoot) {
    // "\" gives one empty component, which names no child.
    EXPECT_EQ(find("\\"), 0);
    EXPECT_TRUE(current == root);
    EXPECT_EQ(missing, "");
}

TEST_F(FindNodeByPathTest, EmptyFolderAndEntryEndOnTheNode) {
    EXPECT_EQ(find("\\Empty"), 0);
    EXPECT_TRUE(current == empty);
    EXPECT_EQ(missing, "");
    EXPECT_EQ(find("\\Email\\Gmail"), 0);
    EXPECT_TRUE(current == gmail);
    EXPECT_EQ(missing, "");
}

TEST_F(FindNodeByPathTest, MissingComponentIsNamed) {
    EXPECT_EQ(find("\\Nope\\X"), 0);
    EXPECT_TRUE(current == root);
    EXPECT_EQ(missing, "Nope");

    EXPECT_EQ(find("\\Email\\Yahoo"), 0);
    EXPECT_TRUE(current == email);
    EXPECT_EQ(missing, "Yahoo");
}

TEST_F(FindNodeByPathTest, PathThroughALeafNamesTheNextComponent) {
    EXPECT_EQ(find("\\Router\\New"), 0);
    EXPECT_TRUE(current == router);
    EXPECT_EQ(missing, "New");
    EXPECT_EQ(find("\\New Entry\\X"), 0);
    EXPECT_EQ(current->name, "New Entry");
    EXPECT_EQ(missing, "X");
}

TEST_F(FindNodeByPathTest, NamesMatchExactly) {
    EXPECT_EQ(find("\\email"), 0);
    EXPECT_EQ(missing, "email");
    EXPECT_EQ(find("\\Email "), 0);
    EXPECT_EQ(find("\\Email\\\\Gmail"), 0);  // an empty component matches nothing
    EXPECT_EQ(missing, "");
}

// Before, the walk stopped at an empty component as if the path ended
// there, and answered for the node before it: "\Email\\" named Email, and
// "\Router\\X" the entry Router.
TEST_F(FindNodeByPathTest, AnEmptyComponentNamesNoNode) {
    for (const char* path : {"\\Email\\\\", "\\Email\\\\Gmail", "\\Email\\Gmail\\\\", "\\Router\\\\X",
                             "\\\\Email", "\\\\", "\\\\\\", "\\Empty\\\\", "\\Nope\\\\X"}) {
        for (bool dropLast : {false, true}) {
            std::vector<std::string> parts;
            SplitVirtualPath(path, parts, dropLast);
            current = root;
            missing = "unset";
            EXPECT_EQ(FindNodeByPath(parts, current, cursor, missing, passwordTree().begin()), 0) << path;
            EXPECT_FALSE(current.valid()) << path << (dropLast ? " without the last component" : "");
            EXPECT_EQ(missing, "") << path;
        }
    }
    // One separator after the last name still names the node.
    EXPECT_EQ(find("\\Email\\"), 1);
    EXPECT_TRUE(current == email);
    EXPECT_EQ(find("\\Email\\Gmail\\"), 0);
    EXPECT_TRUE(current == gmail);
    EXPECT_EQ(missing, "");
}

TEST_F(FindNodeByPathTest, EmptyListAndEmptyTree) {
    std::vector<std::string> none;
    EXPECT_EQ(FindNodeByPath(none, current, cursor, missing, passwordTree().begin()), 0);
    EXPECT_TRUE(current == root);
    resetTreeForTesting();
    EXPECT_EQ(find("\\Email"), 0);
    EXPECT_TRUE(current == passwordTree().end());
}

}  // namespace
