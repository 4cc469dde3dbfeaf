#include <cstdlib>
#include <ctime>

#include "TestSupport.h"
#include "TimeUtil.h"

namespace {

// FILETIME of a count of seconds since 1970.
FILETIME fromUnix(std::int64_t seconds, std::int64_t extraTicks = 0) {
    return timeutil::fromUInt64(
        static_cast<std::uint64_t>(116444736000000000LL + seconds * 10000000LL + extraTicks));
}

struct TimeCase {
    const char* label;
    FILETIME ft;
    std::string text;
};

class FileTimeToTextTest : public PlatformFixture, public ::testing::WithParamInterface<TimeCase> {};

TEST_P(FileTimeToTextTest, WritesSecondsSince1970) {
    EXPECT_EQ(timeutil::fileTimeToText(GetParam().ft), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Times, FileTimeToTextTest,
    ::testing::Values(TimeCase{"Example", fromUnix(1258363200), "1258363200"},
                      TimeCase{"Epoch", fromUnix(0), "0"},
                      TimeCase{"FractionsAreCut", fromUnix(1258363200, 9999999), "1258363200"},
                      TimeCase{"Before1970", fromUnix(-86400), "-86400"},
                      TimeCase{"JustBeforeEpoch", fromUnix(0, -1), "-1"},
                      TimeCase{"Before1900", fromUnix(-2208988801LL), "0"},
                      TimeCase{"Year1601", FILETIME{0, 0}, "0"},
                      // Past 2038 only the low 32 bits are kept, as the file has always had them.
                      TimeCase{"Past2038", fromUnix(2147483648LL), "-2147483648"},
                      TimeCase{"NoTime", timeutil::kNoTime, ""}),
    [](const ::testing::TestParamInfo<TimeCase>& i) { return std::string(i.param.label); });

TEST_F(FileTimeToTextTest, Year1900KeepsItsLow32Bits) {
    // -2208988800 does not fit 32 bits; the low word is what gets written.
    EXPECT_EQ(timeutil::fileTimeToText(fromUnix(-2208988800LL)),
              std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(-2208988800LL))));
}

struct TextCase {
    const char* label;
    const char* text;
    std::int64_t seconds;
};

class TextToFileTimeTest : public PlatformFixture, public ::testing::WithParamInterface<TextCase> {};

TEST_P(TextToFileTimeTest, ReadsSignedSeconds) {
    EXPECT_TRUE(timeutil::textToFileTime(GetParam().text) == fromUnix(GetParam().seconds));
}

INSTANTIATE_TEST_SUITE_P(Texts, TextToFileTimeTest,
                         ::testing::Values(TextCase{"Example", "1258363200", 1258363200},
                                           TextCase{"Zero", "0", 0}, TextCase{"Negative", "-86400", -86400},
                                           TextCase{"LeadingBlanks", "  77", 77},
                                           TextCase{"TrailingText", "77abc", 77},
                                           TextCase{"Letters", "abc", 0}, TextCase{"Empty", "", 0},
                                           TextCase{"TooLarge", "99999999999", 0},
                                           TextCase{"Min", "-2147483648", -2147483648LL}),
                         [](const ::testing::TestParamInfo<TextCase>& i) { return std::string(i.param.label); });

TEST_F(TextToFileTimeTest, UnreadableTextIsLogged) {
    timeutil::textToFileTime("abc");
    EXPECT_TRUE(log.has(eTroubleShoot, "BadConversion: convertToDouble() of a text of 3 characters"));
}

TEST_F(TextToFileTimeTest, RoundTripIgnoresTheLocalZone) {
    // 2021-10-31 00:30 UTC is 02:30 in Berlin in the hour that repeats when
    // daylight saving time ends; 01:30 UTC is 02:30 again. Both must survive.
    const char* saved = std::getenv("TZ");
    std::string savedTz = saved ? saved : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    for (std::int64_t s : {1635640200LL, 1635643800LL, 1616893200LL /* spring forward */}) {
        std::string text = timeutil::fileTimeToText(fromUnix(s));
        EXPECT_EQ(text, std::to_string(s));
        EXPECT_TRUE(timeutil::textToFileTime(text) == fromUnix(s));
    }
    if (saved) {
        setenv("TZ", savedTz.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST_F(TextToFileTimeTest, CurrentTimeComesFromTheClock) {
    clock.now = timeutil::toUInt64(fromUnix(1258363200, 5));
    EXPECT_TRUE(timeutil::currentFileTime() == fromUnix(1258363200, 5));
    clock.fails = true;
    EXPECT_TRUE(timeutil::isNoTime(timeutil::currentFileTime()));
    EXPECT_TRUE(log.has(eError, "Error ocurred in cinvertion between SysteTime and fileTime"));
}

}  // namespace
