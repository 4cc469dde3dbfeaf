// Texts of exports: encodings turned into UTF-8, UTF-8 checked, line ends.
#include <gtest/gtest.h>

#include "ImportText.h"

namespace {

using importtext::eEncoding;

struct Conversion {
    const char* name;
    std::string bytes;
    eEncoding from;
    bool ok;
    std::string utf8;  // when ok
};

TEST(ImportTextTest, ConvertsOrRefusesEachEncoding) {
    const Conversion cases[] = {
        {"utf-8 kept", "caf\xC3\xA9 \xF0\x9F\x94\x91", eEncoding::eUtf8, true, "caf\xC3\xA9 \xF0\x9F\x94\x91"},
        {"utf-8 lone continuation", "ab\x80", eEncoding::eUtf8, false, ""},
        {"utf-8 overlong slash", "\xC0\xAF", eEncoding::eUtf8, false, ""},
        {"utf-8 three-byte overlong", "\xE0\x80\xAF", eEncoding::eUtf8, false, ""},
        {"utf-8 surrogate", "\xED\xA0\x80", eEncoding::eUtf8, false, ""},
        {"utf-8 above U+10FFFF", "\xF4\x90\x80\x80", eEncoding::eUtf8, false, ""},
        {"utf-8 cut short", "a\xE2\x82", eEncoding::eUtf8, false, ""},
        {"latin-1", "caf\xE9 \xFF", eEncoding::eLatin1, true, "caf\xC3\xA9 \xC3\xBF"},
        {"windows-1252 euro and quotes", "\x80 \x93x\x94", eEncoding::eWindows1252, true,
         "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D"},
        {"windows-1252 unassigned byte", "a\x81", eEncoding::eWindows1252, false, ""},
        {"utf-16le with a pair", std::string("a\0\xE9\0\x3D\xD8\x11\xDD", 8), eEncoding::eUtf16LE, true,
         "a\xC3\xA9\xF0\x9F\x94\x91"},
        {"utf-16be", std::string("\0a\0\xE9", 4), eEncoding::eUtf16BE, true, "a\xC3\xA9"},
        {"utf-16le odd length", std::string("a\0b", 3), eEncoding::eUtf16LE, false, ""},
        {"utf-16le lone low surrogate", std::string("\x11\xDD", 2), eEncoding::eUtf16LE, false, ""},
        {"utf-16le high surrogate at the end", std::string("a\0\x3D\xD8", 4), eEncoding::eUtf16LE, false, ""},
    };
    for (const Conversion& c : cases) {
        std::string text = c.bytes, error;
        EXPECT_EQ(importtext::toUtf8(text, c.from, error), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(text, c.utf8) << c.name;
        } else {
            EXPECT_EQ(text, c.bytes) << c.name << ": a refused text stays as it was";
            EXPECT_NE(error.find("byte"), std::string::npos) << c.name << ": " << error;
        }
    }
}

TEST(ImportTextTest, NamesAndMarks) {
    EXPECT_EQ(importtext::fromName("UTF-8"), eEncoding::eUtf8);
    EXPECT_EQ(importtext::fromName("iso_8859-1"), eEncoding::eLatin1);
    EXPECT_EQ(importtext::fromName("Windows-1252"), eEncoding::eWindows1252);
    EXPECT_EQ(importtext::fromName("Shift_JIS"), eEncoding::eUnknown);
    std::size_t length = 9;
    EXPECT_EQ(importtext::fromByteOrderMark("\xEF\xBB\xBFx", length), eEncoding::eUtf8);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(importtext::fromByteOrderMark("\xFF\xFEx", length), eEncoding::eUtf16LE);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(importtext::fromByteOrderMark("\xFE\xFFx", length), eEncoding::eUtf16BE);
    EXPECT_EQ(importtext::fromByteOrderMark("<x", length), eEncoding::eUnknown);
    EXPECT_EQ(length, 0u);
}

TEST(ImportTextTest, EveryLineEndBecomesCrLf) {
    EXPECT_EQ(importtext::withCrLf("a\nb\r\nc\rd\n\n"), "a\r\nb\r\nc\r\nd\r\n\r\n");
    EXPECT_EQ(importtext::withCrLf("\r\r\n"), "\r\n\r\n");
    EXPECT_EQ(importtext::withCrLf("plain"), "plain");
}

}  // namespace
