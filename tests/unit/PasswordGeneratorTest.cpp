// The password generator: which characters it may use, how long its
// passwords are, and that every character of the alphabet is equally likely
// and drawn afresh each time.
#include <gtest/gtest.h>

#include <cryptopp/osrng.h>

#include <set>
#include <string>
#include <vector>

#include "KeyholdApp.h"
#include "PasswordGenerator.h"

namespace {

const std::string kUpper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const std::string kLower = "abcdefghijklmnopqrstuvwxyz";
const std::string kDigits = "0123456789";
const std::string kSpecials = "|!\"#$%&/=?";
const std::string kBrackets = "{[]}()";

TEST(PasswordGeneratorTest, TheInitialOptionsGiveEightyCharactersWithBlankAndWithoutUnderline) {
    tKeyholdOptions options;
    const std::string alphabet = GeneratorAlphabet(options);
    EXPECT_EQ(alphabet, kUpper + kLower + kDigits + "-" + " " + kSpecials + kBrackets);
    EXPECT_EQ(alphabet.size(), 80u);
}

TEST(PasswordGeneratorTest, EachFlagExcludesItsClassAndTheOrderIsFixed) {
    struct Case {
        const char* name;
        int tKeyholdOptions::*flag;
        int value;
        std::string expected;
    };
    const std::string rest = kSpecials + kBrackets;
    const std::vector<Case> cases = {
        {"no upper case", &tKeyholdOptions::genNoUpperCase, 1, kLower + kDigits + "- " + rest},
        {"no lower case", &tKeyholdOptions::genNoLowerCase, 1, kUpper + kDigits + "- " + rest},
        {"no digits", &tKeyholdOptions::genNoDigits, 1, kUpper + kLower + "- " + rest},
        {"no minus", &tKeyholdOptions::genNoMinus, 1, kUpper + kLower + kDigits + " " + rest},
        {"underline in, after the minus", &tKeyholdOptions::genNoUnderline, 0,
         kUpper + kLower + kDigits + "-_ " + rest},
        {"no blank", &tKeyholdOptions::genNoBlank, 1, kUpper + kLower + kDigits + "-" + rest},
        {"no specials", &tKeyholdOptions::genNoSpecials, 1, kUpper + kLower + kDigits + "- " + kBrackets},
        {"no brackets", &tKeyholdOptions::genNoBrackets, 1, kUpper + kLower + kDigits + "- " + kSpecials},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tKeyholdOptions options;
        options.*c.flag = c.value;
        EXPECT_EQ(GeneratorAlphabet(options), c.expected);
    }
    // Only the two single characters: minus first.
    tKeyholdOptions two;
    two.genNoUpperCase = two.genNoLowerCase = two.genNoDigits = 1;
    two.genNoBlank = two.genNoSpecials = two.genNoBrackets = 1;
    two.genNoUnderline = 0;
    EXPECT_EQ(GeneratorAlphabet(two), "-_");
    std::string p = GeneratePassword(two);
    EXPECT_EQ(p.size(), 12u);
    EXPECT_EQ(p.find_first_not_of("-_"), std::string::npos) << p;
}

TEST(PasswordGeneratorTest, FewerThanTwoCharactersGiveNothing) {
    tKeyholdOptions none;
    none.genNoUpperCase = none.genNoLowerCase = none.genNoDigits = none.genNoMinus = 1;
    none.genNoBlank = none.genNoSpecials = none.genNoBrackets = 1;
    EXPECT_EQ(GeneratorAlphabet(none), "");
    EXPECT_EQ(GeneratePassword(none), "");
    tKeyholdOptions one = none;
    one.genNoBlank = 0;
    EXPECT_EQ(GeneratorAlphabet(one), " ");
    EXPECT_EQ(GeneratePassword(one), "");
}

TEST(PasswordGeneratorTest, LengthIsTwelveWhenEmptyElseTheLeadingNumber) {
    struct Case {
        const char* text;
        int length;
    };
    for (const Case& c : std::vector<Case>{{"", 12}, {"0", 0}, {"-3", -3}, {"20", 20}, {"7abc", 7},
                                           {"abc", 0}, {" 5", 5}, {"1", 1}}) {
        SCOPED_TRACE(std::string("length text \"") + c.text + "\"");
        tKeyholdOptions options;
        options.genLength = c.text;
        EXPECT_EQ(GeneratorLength(options), c.length);
        const std::string p = GeneratePassword(options);
        EXPECT_EQ(static_cast<int>(p.size()), c.length > 0 ? c.length : 0);
        EXPECT_EQ(p.find_first_not_of(GeneratorAlphabet(options)), std::string::npos) << p;
    }
}

TEST(PasswordGeneratorTest, PressesInQuickSuccessionNeverRepeat) {
    // A generator seeded from the clock gives the same password twice within
    // one tick; 12 characters of 80 collide by chance with a probability far
    // below 1e-15 here.
    tKeyholdOptions options;
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) seen.insert(GeneratePassword(options));
    EXPECT_EQ(seen.size(), 1000u);
}

// Pearson's statistic of the counts against equal frequencies.
double chiSquare(const std::vector<long>& counts, long total) {
    const double expected = static_cast<double>(total) / static_cast<double>(counts.size());
    double x = 0;
    for (long n : counts) x += (static_cast<double>(n) - expected) * (static_cast<double>(n) - expected) / expected;
    return x;
}

// The upper 1e-6 point of the chi-square distribution with 79 degrees of
// freedom: a uniform generator exceeds it once in a million runs.
constexpr double kChiSquare79At1e6 = 153.7;

TEST(PasswordGeneratorTest, EveryCharacterIsEquallyLikelyAndDrawnIndependently) {
    tKeyholdOptions options;
    options.genLength = "1000";
    const std::string alphabet = GeneratorAlphabet(options);
    ASSERT_EQ(alphabet.size(), 80u);
    std::vector<long> counts(alphabet.size(), 0);
    long total = 0, pairs = 0, equalPairs = 0;
    for (int press = 0; press < 200; ++press) {
        const std::string p = GeneratePassword(options);
        ASSERT_EQ(p.size(), 1000u);
        for (std::size_t i = 0; i < p.size(); ++i) {
            std::size_t at = alphabet.find(p[i]);
            ASSERT_NE(at, std::string::npos) << p[i];
            ++counts[at];
            ++total;
            if (i > 0) {
                ++pairs;
                if (p[i] == p[i - 1]) ++equalPairs;
            }
        }
    }
    // 200000 characters, 2500 expected of each. Taking a random byte modulo
    // 80 gives the first 16 characters 4/256 instead of 3.2/256 and a
    // statistic near 3100.
    const double x = chiSquare(counts, total);
    EXPECT_LT(x, kChiSquare79At1e6) << "character frequencies are not uniform";

    // Neighbours agree with probability 1/80: 2497.5 of 199800 pairs, with a
    // standard deviation near 50. Six of those (p < 1e-8) is the bound; a
    // generator that hands out one draw twice gives about 100000.
    const double expectedPairs = static_cast<double>(pairs) / 80.0;
    EXPECT_NEAR(static_cast<double>(equalPairs), expectedPairs, 300.0);
}

TEST(PasswordGeneratorTest, TheBoundRejectsARandomByteTakenModuloTheAlphabetSize) {
    // The same statistic and bound on the obvious shortcut: it must fail, or
    // the test above proves nothing.
    CryptoPP::NonblockingRng rng;
    std::vector<unsigned char> bytes(200000);
    rng.GenerateBlock(bytes.data(), bytes.size());
    std::vector<long> counts(80, 0);
    for (unsigned char b : bytes) ++counts[b % 80];
    EXPECT_GT(chiSquare(counts, static_cast<long>(bytes.size())), kChiSquare79At1e6);
}

}  // namespace
