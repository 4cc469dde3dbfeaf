// The nesting found without parsing is never below the nesting the XML library
// builds, however the text hides tags in quotes, comments, sections and
// multi-byte characters; and plain stores are not refused.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <string>
#include <vector>

#include "XmlNesting.h"

namespace {

int builtDepth(const TiXmlNode* n) {
    int deepest = 0;
    for (const TiXmlNode* c = n->FirstChild(); c != nullptr; c = c->NextSibling())
        if (c->ToElement() != nullptr) deepest = std::max(deepest, 1 + builtDepth(c));
    return deepest;
}

// What the library builds from a text, as the store loader hands it over.
int libraryDepth(std::string text) {
    text.append(8, '\0');
    TiXmlDocument d;
    d.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    return builtDepth(&d);
}

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

struct Case {
    const char* what;
    std::string text;
    int depth;  // what both must find
};

TEST(XmlNestingTest, FindsTheDepthTheLibraryBuilds) {
    const std::string open3 = "<a><b><c>", close3 = "</c></b></a>";
    std::vector<Case> cases = {
        {"plain", "<?xml version=\"1.0\" ?>\n<pswd><folder><file><username>u</username></file></folder></pswd>", 4},
        {"self-closing", "<a><b/><b/><b><c/></b></a>", 3},
        {"slash-gt in a double-quoted value", "<a x=\"/>\"><b y=\"/>\"><c/></b></a>", 3},
        {"slash-gt in a single-quoted value", "<a x='/>'><b y='/>'><c/></b></a>", 3},
        {"a tag in a value", "<a x=\"<b>\"><c/></a>", 2},
        {"tags in a comment", "<a><!-- <b><c><d> --><e/></a>", 2},
        {"tags in CDATA", "<a><![CDATA[<b><c><d>]]><e/></a>", 2},
        {"unknown tag", "<a><!DOCTYPE x><b/></a>", 2},
        {"unquoted value", "<a x=1><b y=2/></a>", 2},
        {"quote in a declaration value", "<?xml version=\"a>b\" ?>" + open3 + close3, 3},
        {"byte-order mark", "\xEF\xBB\xBF<a><b/></a>", 2},
        {"entity before a tag", "<a>&amp;<b>&#x41;<c/></b></a>", 3},
        {"end tag with spaces", "<a><b></b ><c/></a >", 2},
        // Read as UTF-8 (no declaration encoding), a lead byte takes the quote
        // after it: the value goes on to the next quote.
        {"lead byte before a quote, UTF-8", "<?xml version=\"1.0\" ?><a x=\"\xE0\"><b>\"><c/></b></a>", 2},
        {"lead byte before a quote, legacy",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?><a x=\"\xE0\"><b>\"><c/></b></a>", 3},
        {"lead byte before a tag in text", "<?xml version=\"1.0\" ?><a>\xE0<b><c/></a>", 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(libraryDepth(c.text), c.depth) << c.what << " (the case itself)";
        EXPECT_GE(XmlElementDepth(c.text, 1000), libraryDepth(c.text)) << c.what;
    }
}

TEST(XmlNestingTest, TextsThatHideTheirDepthFromATagCountAreFound) {
    struct Deep {
        const char* what;
        std::string unit;
    };
    for (const Deep& d : std::vector<Deep>{{"quoted slash-gt", "<folder x=\"/>\">"},
                                           {"quoted slash-gt, single", "<folder x='/>'>"},
                                           {"comment start in a value", "<folder x='<!--'>"},
                                           {"end tag in a value", "<folder x=\"</folder>\">"},
                                           {"CDATA start in a value", "<folder x=\"<![CDATA[\">"}}) {
        std::string text = "<?xml version=\"1.0\" ?><pswd>" + repeat(d.unit, 300);
        EXPECT_GT(XmlElementDepth(text, 256), 256) << d.what;
        EXPECT_EQ(libraryDepth("<?xml version=\"1.0\" ?><pswd>" + repeat(d.unit, 50) + repeat("</folder>", 50) +
                               "</pswd>"),
                  51)
            << d.what << ": the library nests it";
    }
}

TEST(XmlNestingTest, AStoreOfManyEntriesIsShallow) {
    std::string text = "<?xml version=\"1.0\" ?><pswd basename=\"B\" id=\"1\">";
    for (int i = 0; i < 2000; ++i)
        text += "<folder name=\"f/>\" id=\"" + std::to_string(i) + "\"><file name=\"e\"><notes>a &lt; b</notes>"
                "<url/></file></folder>";
    text += "</pswd>";
    EXPECT_EQ(XmlElementDepth(text, 256), 4);
}

}  // namespace
