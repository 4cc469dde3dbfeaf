#include "TestSupport.h"

namespace {

using UniqueNumberTest = PlatformFixture;

std::uint32_t registered(std::uint32_t n) {
    tTreeNode node;
    node.setUniqueNumber(n, 1);
    return node.uniqueNumber;
}

TEST_F(UniqueNumberTest, FirstFreshNumberIsOne) { EXPECT_EQ(registered(0), 1u); }

TEST_F(UniqueNumberTest, FreshNumbersSkipThoseInUse) {
    EXPECT_EQ(registered(7), 7u);
    EXPECT_EQ(registered(3), 3u);
    EXPECT_EQ(registered(0), 1u);
    EXPECT_EQ(registered(0), 2u);
    EXPECT_EQ(log.count("Unique Number already exists!Generating a new one"), 0);
    EXPECT_EQ(registered(3), 4u);
    EXPECT_TRUE(log.has(eError, "Unique Number already exists!Generating a new one"));
    EXPECT_EQ(registered(0), 5u);
    EXPECT_EQ(registered(0), 6u);
    EXPECT_EQ(registered(0), 8u);  // 7 is taken
}

TEST_F(UniqueNumberTest, ModeZeroSetsWithoutRegistering) {
    tTreeNode node;
    node.setUniqueNumber(5, 0);
    EXPECT_EQ(node.uniqueNumber, 5u);
    EXPECT_EQ(registered(5), 5u);  // still free
    node.setUniqueNumber(9, 2);    // unknown mode: nothing
    EXPECT_EQ(node.uniqueNumber, 5u);
}

TEST_F(UniqueNumberTest, ReleasedNumbersCanBeRegisteredAgain) {
    EXPECT_EQ(registered(12), 12u);
    tTreeNode::releaseUniqueNumber(12);
    tTreeNode::releaseUniqueNumber(99);  // never used: nothing happens
    EXPECT_EQ(registered(12), 12u);
    EXPECT_EQ(log.count("Unique Number already exists!Generating a new one"), 0);
}

TEST_F(UniqueNumberTest, ManyNumbersStayDistinct) {
    // Numbers read from a large store first, then fresh ones: no clash.
    std::vector<std::uint32_t> seen;
    for (std::uint32_t n = 2; n <= 200000; n += 2) seen.push_back(registered(n));
    for (int i = 0; i < 100000; ++i) seen.push_back(registered(0));
    std::sort(seen.begin(), seen.end());
    EXPECT_TRUE(std::adjacent_find(seen.begin(), seen.end()) == seen.end());
    EXPECT_EQ(seen.size(), 200000u);
}

}  // namespace
