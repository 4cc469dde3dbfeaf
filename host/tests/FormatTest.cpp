#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "Format.h"

namespace panel {
namespace {

wfx::FILETIME fileTime(std::uint32_t high, std::uint32_t low) {
    wfx::FILETIME time;
    time.dwHighDateTime = high;
    time.dwLowDateTime = low;
    return time;
}

TEST(FormatFileTime, NoDateMarkerAndUtcTimes) {
    struct Case {
        wfx::FILETIME time;
        const char* text;
    };
    const Case cases[] = {
        {fileTime(0xFFFFFFFFu, 0xFFFFFFFEu), "-"},
        // Only the exact marker means "no date"; its neighbours are dates.
        {fileTime(0, 0), "1601-01-01 00:00:00"},
        {fileTime(0x019DB1DEu, 0xD53E8000u), "1970-01-01 00:00:00"},
        {fileTime(0x01da3d28u, 0x5848c080u), "2024-01-02 03:04:05"},
        {fileTime(0x01da3c45u, 0x75f12980u), "2023-12-31 23:59:59"},
        {fileTime(0x01be6311u, 0xddd0e000u), "1999-02-28 12:00:00"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatFileTime(c.time), c.text);
    EXPECT_NE(formatFileTime(fileTime(0xFFFFFFFFu, 0xFFFFFFFFu)), "-");
    EXPECT_NE(formatFileTime(fileTime(0xFFFFFFFEu, 0xFFFFFFFEu)), "-");
}

wfx::WIN32_FIND_DATAA entry(const char* name, std::uint32_t attributes, std::uint32_t high, std::uint32_t low) {
    wfx::WIN32_FIND_DATAA data{};
    data.dwFileAttributes = attributes;
    data.nFileSizeHigh = high;
    data.nFileSizeLow = low;
    data.ftCreationTime = fileTime(0x01da3d28u, 0x5848c080u);
    data.ftLastWriteTime = fileTime(0xFFFFFFFFu, 0xFFFFFFFEu);
    std::strcpy(data.cFileName, name);
    return data;
}

TEST(FormatFindData, SizesDirectoriesAttributesAndTimes) {
    EXPECT_EQ(formatFindData(entry("Gmail", 0x80, 0, 42)),
              "42           00000080 2024-01-02 03:04:05 -                   Gmail");
    // The high word counts 4 GiB steps.
    EXPECT_EQ(formatFindData(entry("big", 0x80, 1, 5)),
              "4294967301   00000080 2024-01-02 03:04:05 -                   big");
    EXPECT_EQ(formatFindData(entry("huge", 0x20, 0xFFFFFFFFu, 0xFFFFFFFFu)),
              "18446744073709551615 00000020 2024-01-02 03:04:05 -                   huge");
    EXPECT_EQ(formatFindData(entry("Work Mail", 0x11, 7, 7)),
              "<DIR>        00000011 2024-01-02 03:04:05 -                   Work Mail");
}

TEST(FormatFindData, NameIsReadWithinItsArrayAndKeptOnOneLine) {
    wfx::WIN32_FIND_DATAA data = entry("", 0x80, 0, 1);
    std::memset(data.cFileName, 'a', sizeof data.cFileName);  // no terminator at all
    std::memset(data.cAlternateFileName, 'b', sizeof data.cAlternateFileName);
    const std::string line = formatFindData(data);
    EXPECT_EQ(line.substr(line.size() - 260), std::string(260, 'a'));
    std::strcpy(data.cFileName, "two\nlines");
    EXPECT_EQ(formatFindData(data).find('\n'), std::string::npos);
}

TEST(ResultNames, KnownAndUnknownCodes) {
    EXPECT_EQ(fileResultName(0), "FS_FILE_OK");
    EXPECT_EQ(fileResultName(1), "FS_FILE_EXISTS");
    EXPECT_EQ(fileResultName(7), "FS_FILE_EXISTSRESUMEALLOWED");
    EXPECT_EQ(fileResultName(8), "FS_FILE_?(8)");
    EXPECT_EQ(execResultName(-2), "FS_EXEC_SYMLINK");
    EXPECT_EQ(execResultName(-1), "FS_EXEC_YOURSELF");
    EXPECT_EQ(execResultName(1), "FS_EXEC_ERROR");
    EXPECT_EQ(execResultName(-3), "FS_EXEC_?(-3)");
    EXPECT_EQ(iconResultName(2), "FS_ICON_EXTRACTED_DESTROY");
    EXPECT_EQ(iconResultName(3), "FS_ICON_DELAYED");
    EXPECT_EQ(fieldTypeName(-3), "ft_fieldempty");
    EXPECT_EQ(fieldTypeName(-2), "ft_fileerror");
    EXPECT_EQ(fieldTypeName(10), "ft_datetime");
    EXPECT_EQ(logTypeName(6), "MSGTYPE_IMPORTANTERROR");
    EXPECT_EQ(logTypeName(0), "MSGTYPE_?(0)");
}

TEST(FormatFieldValue, EachTypeFromItsBinaryForm) {
    alignas(8) unsigned char value[64] = {};
    const std::uint16_t date[3] = {2024, 2, 9};
    std::memcpy(value, date, sizeof date);
    EXPECT_EQ(formatFieldValue(wfx::ft_date, value, sizeof value), "2024-02-09");

    const std::uint16_t time[3] = {7, 5, 3};
    std::memcpy(value, time, sizeof time);
    EXPECT_EQ(formatFieldValue(wfx::ft_time, value, sizeof value), "07:05:03");

    // A boolean is a full 32-bit int: any non-zero byte of it means true.
    const std::int32_t truthy = 0x100;
    std::memcpy(value, &truthy, sizeof truthy);
    EXPECT_EQ(formatFieldValue(wfx::ft_boolean, value, sizeof value), "true");
    const std::int32_t falsy = 0;
    std::memcpy(value, &falsy, sizeof falsy);
    value[4] = 1;  // beyond the int
    EXPECT_EQ(formatFieldValue(wfx::ft_boolean, value, sizeof value), "false");

    const std::int32_t negative = -17;
    std::memcpy(value, &negative, sizeof negative);
    EXPECT_EQ(formatFieldValue(wfx::ft_numeric_32, value, sizeof value), "-17");
    const std::int64_t large = 5000000000LL;
    std::memcpy(value, &large, sizeof large);
    EXPECT_EQ(formatFieldValue(wfx::ft_numeric_64, value, sizeof value), "5000000000");
    const double half = 0.5;
    std::memcpy(value, &half, sizeof half);
    EXPECT_EQ(formatFieldValue(wfx::ft_numeric_floating, value, sizeof value), "0.5");
    const wfx::FILETIME when = fileTime(0x01da3d28u, 0x5848c080u);
    std::memcpy(value, &when, sizeof when);
    EXPECT_EQ(formatFieldValue(wfx::ft_datetime, value, sizeof value), "2024-01-02 03:04:05");

    std::strcpy(reinterpret_cast<char*>(value), "user@example.org");
    EXPECT_EQ(formatFieldValue(wfx::ft_string, value, sizeof value), "user@example.org");
    // A string that fills the buffer without a terminator stops at its end.
    std::memset(value, 'z', sizeof value);
    EXPECT_EQ(formatFieldValue(wfx::ft_string, value, 5), "zzzzz");

    EXPECT_EQ(formatFieldValue(wfx::ft_fieldempty, value, sizeof value), "(empty)");
    EXPECT_EQ(formatFieldValue(wfx::ft_nosuchfield, value, sizeof value), "ft_nosuchfield");
    EXPECT_EQ(formatFieldValue(wfx::ft_fileerror, value, sizeof value), "ft_fileerror");
}

TEST(EscapeText, ControlCharactersStayVisibleOnOneLine) {
    EXPECT_EQ(escapeText("a\nb\rc\td\x01"), "a\\nb\\rc\\td\\x01");
    EXPECT_EQ(escapeText("\\Email\\Gmail"), "\\Email\\Gmail");
}

}  // namespace
}  // namespace panel
