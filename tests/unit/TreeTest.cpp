#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Tree.h"

namespace {

std::string preOrder(const Tree<std::string>& t) {
    std::string s;
    for (auto p = t.begin(); p != t.end(); ++p) s += *p;
    return s;
}

TEST(TreeTest, KeepsInsertionOrderAndWalksPreOrder) {
    Tree<std::string> t;
    EXPECT_TRUE(t.empty());
    EXPECT_TRUE(t.begin() == t.end());
    auto a = t.insert(t.end(), "a");
    auto c = t.insert(t.end(), "c");
    auto b = t.insert(c, "b");  // in front of c
    t.appendChild(a, "1");
    auto two = t.appendChild(a, "2");
    t.appendChild(two, "x");
    t.appendChild(c, "3");
    auto zero = t.insert(t.firstChild(a), "0");  // in front of a first child
    EXPECT_EQ(preOrder(t), "a012xbc3");
    EXPECT_EQ(t.size(), 8u);
    EXPECT_EQ(t.numberOfChildren(a), 3u);
    EXPECT_EQ(t.numberOfSiblings(a), 2u);
    EXPECT_TRUE(t.parent(zero) == a);
    EXPECT_TRUE(t.parent(a) == t.end());
    EXPECT_TRUE(t.subtreeEnd(a) == b);
    EXPECT_TRUE(t.subtreeEnd(c) == t.end());

    std::string post;
    t.forEachPostOrder(t.end(), [&](Tree<std::string>::Position p) { post += *p; });
    EXPECT_EQ(post, "01x2ab3c");

    std::string kids;
    for (auto& k : t.children(a)) kids += k;
    EXPECT_EQ(kids, "012");
    std::string top;
    for (auto& k : t.topLevel()) top += k;
    EXPECT_EQ(top, "abc");
}

TEST(TreeTest, EraseRemovesTheWholeSubtreeAndKeepsLinks) {
    Tree<std::string> t;
    auto a = t.insert(t.end(), "a");
    t.appendChild(a, "1");
    auto two = t.appendChild(a, "2");
    t.appendChild(two, "x");
    auto three = t.appendChild(a, "3");
    t.erase(two);
    EXPECT_EQ(preOrder(t), "a13");
    t.erase(three);  // the last child
    t.appendChild(a, "4");
    EXPECT_EQ(preOrder(t), "a14");
    t.erase(t.firstChild(a));  // the first child
    EXPECT_EQ(preOrder(t), "a4");
    t.erase(a);
    EXPECT_TRUE(t.empty());
    t.erase(t.end());  // harmless
    EXPECT_TRUE(t.empty());
}

TEST(TreeTest, DeepTreesAreWalkedAndFreed) {
    Tree<int> t;
    auto p = t.insert(t.end(), 0);
    for (int i = 1; i < 5000; ++i) p = t.appendChild(p, i);
    EXPECT_EQ(t.size(), 5000u);
    t.clear();
    EXPECT_TRUE(t.empty());
}

}  // namespace

namespace {

TEST(TreeTest, SubtreesMoveAndMoveBack) {
    Tree<std::string> t;
    auto a = t.insert(t.end(), "a");
    auto b = t.insert(t.end(), "b");
    auto x = t.appendChild(a, "x");
    t.appendChild(x, "1");
    auto y = t.appendChild(a, "y");
    t.moveAsLastChild(x, b);
    EXPECT_EQ(preOrder(t), "ayb" "x1");
    EXPECT_TRUE(t.parent(x) == b);
    t.moveBefore(x, a, y);
    EXPECT_EQ(preOrder(t), "ax1yb");
    t.moveBefore(y, a, Tree<std::string>::Position());
    EXPECT_EQ(preOrder(t), "ax1yb");
    t.moveAsLastChild(y, b);
    t.moveAsLastChild(x, b);
    EXPECT_EQ(preOrder(t), "abyx1");
    EXPECT_EQ(t.numberOfChildren(a), 0u);
}

}  // namespace
