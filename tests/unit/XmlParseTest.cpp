// The store's text parsed with the root's children on several threads gives
// the very document the library builds from the whole text in one call: the
// same nodes, the same printed text, the same error. Texts whose root holds
// anything but elements, or that the scanner reads otherwise than the
// library, are parsed in one call.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>
#include <vector>

#include "ParallelWork.h"
#include "XmlNesting.h"
#include "XmlParse.h"

namespace {

struct Parsed {
    bool error = false;
    int errorId = 0;
    std::string errorText, printed;
    bool split = false;
};

std::string print(const TiXmlDocument& d) {
    TiXmlPrinter printer;
    d.Accept(&printer);
    return printer.Str();
}

// As the store loader hands a text over: guard zeros behind it, blanks kept.
Parsed inOneCall(std::string text) {
    text.append(8, '\0');
    TiXmlBase::SetCondenseWhiteSpace(false);
    TiXmlDocument d;
    d.SetTabSize(0);
    d.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    return {d.Error(), d.ErrorId(), d.ErrorDesc(), print(d), false};
}

Parsed withSplit(std::string text) {
    XmlRootReadings readings;
    XmlElementDepth(text, 256, &readings);
    text.append(8, '\0');
    TiXmlBase::SetCondenseWhiteSpace(false);
    TiXmlDocument d;
    d.SetTabSize(0);
    parseDocument(d, text, readings);
    return {d.Error(), d.ErrorId(), d.ErrorDesc(), print(d), lastParseWasSplit()};
}

std::string folders(int count, const std::string& entry) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += "\n    <folder name=\"F" + std::to_string(i) + "\" id=\"" + std::to_string(i + 2) + "\">" + entry +
               "</folder>";
    return out;
}

const std::string kEntry =
    "<file name=\"E\" salt=\"01\"><username salt=\"02\">  a  b </username><notes>x &lt; y &amp; \xC3\xA9</notes>"
    "<image /></file>";
const std::string kDeclaration = "<?xml version=\"1.0\" ?>\n";

struct Case {
    const char* what;
    std::string text;
    bool split;  // whether the root's children are parsed on their own
};

class XmlParseTest : public ::testing::Test {
protected:
    void TearDown() override { parallel::setThreadCountForTesting(0); }
};

TEST_F(XmlParseTest, GivesTheDocumentOfOneCallOnAnyText) {
    const std::string store = kDeclaration + "<pswd basename=\"B\" id=\"1\">" + folders(40, kEntry) + "\n</pswd>\n";
    std::vector<Case> cases = {
        {"a store", store, true},
        {"no declaration", "<pswd>" + folders(3, kEntry) + "</pswd>", true},
        {"byte-order mark", "\xEF\xBB\xBF" + kDeclaration + "<pswd>" + folders(3, kEntry) + "</pswd>", true},
        {"legacy encoding",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?><pswd>" + folders(3, "<file name=\"\xE9\xE0\"/>") + "</pswd>",
         true},
        // Read as UTF-8, a lead byte takes the quote after it along: the value
        // runs on, and the children are not where a byte-by-byte reading puts them.
        {"lead byte before a quote", kDeclaration + "<pswd><a x=\"\xE0\"/>\" y=\"1\"/><b/></pswd>", true},
        // The lead byte last of eight read at once, the quote first of the next.
        {"lead byte before a quote after a long run",
         kDeclaration + "<pswd><a x=\"" + std::string(23, 'x') + "\xE0\"/>\" y=\"1\"/><b/></pswd>", true},
        {"lead byte before a quote after a long run, legacy",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?><pswd><a x=\"" + std::string(23, 'x') +
             "\xE0\"/>\" y=\"1\"/><b/></pswd>",
         false},
        {"lead byte before a quote, legacy",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?><pswd><a x=\"\xE0\"/>\" y=\"1\"/><b/></pswd>", false},
        {"a comment between children", "<pswd><a/><!-- c --><b/></pswd>", false},
        {"text between children", "<pswd><a/>text<b/></pswd>", false},
        {"CDATA between children", "<pswd><a/><![CDATA[x]]><b/></pswd>", false},
        {"one child", "<pswd><a><b/><c/></a></pswd>", false},
        {"root before the declaration", "<pswd><a/><b/></pswd><?xml version=\"1.0\" ?>", true},
        {"second root", "<pswd><a/><b/></pswd><pswd><c/><d/></pswd>", true},
        {"comments around the root", "<!-- x --><pswd><a/><b/></pswd><!-- y -->", true},
        {"slash-gt in quotes", "<pswd x=\"/>\"><a y=\"/>\"/><b z='>'>t</b></pswd>", true},
        {"end tags with blanks", "<pswd ><a></a ><b/></pswd >", true},
        // Errors, which must read exactly as those of one call.
        {"a child not closed", "<pswd><a/><b><c/></pswd>", false},
        {"a child closed wrongly", "<pswd><a></b><c/></pswd>", false},
        {"the same attribute twice", "<pswd><a x=\"1\" x=\"2\"/><b/></pswd>", false},
        {"a comment not closed in a child", "<pswd><a/><b><!-- </b></pswd>", false},
        {"root not closed", "<pswd><a/><b/>", false},
        {"text after a cut", std::string("<pswd><a/><b>\xE0", 14), false},
        {"empty", "", false},
        {"no root", "just text", false},
    };
    for (std::size_t threads : {1u, 2u, 8u}) {
        parallel::setThreadCountForTesting(threads);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", threads " + std::to_string(threads));
            const Parsed one = inOneCall(c.text), split = withSplit(c.text);
            EXPECT_EQ(split.error, one.error);
            EXPECT_EQ(split.errorId, one.errorId);
            EXPECT_EQ(split.errorText, one.errorText);
            EXPECT_EQ(split.printed, one.printed);
            EXPECT_EQ(split.split, c.split);
        }
    }
}

TEST_F(XmlParseTest, ValuesKeepTheirBlanksAndEntitiesAcrossTheSplit) {
    parallel::setThreadCountForTesting(4);
    const std::string text = "<pswd>" + folders(20, kEntry) + "</pswd>";
    XmlRootReadings readings;
    ASSERT_EQ(XmlElementDepth(text, 256, &readings), 4);
    std::string guarded = text + std::string(8, '\0');
    TiXmlDocument d;
    TiXmlBase::SetCondenseWhiteSpace(false);
    parseDocument(d, guarded, readings);
    ASSERT_TRUE(lastParseWasSplit());
    ASSERT_FALSE(d.Error());
    int count = 0;
    for (const TiXmlElement* f = d.RootElement()->FirstChildElement("folder"); f != nullptr;
         f = f->NextSiblingElement("folder"), ++count) {
        EXPECT_EQ(std::string(f->Attribute("name")), "F" + std::to_string(count));
        EXPECT_EQ(f->Parent(), d.RootElement());
        const TiXmlElement* file = f->FirstChildElement("file");
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->GetDocument(), &d);
        EXPECT_STREQ(file->FirstChildElement("username")->GetText(), "  a  b ");
        EXPECT_STREQ(file->FirstChildElement("notes")->GetText(), "x < y & \xC3\xA9");
    }
    EXPECT_EQ(count, 20);
}

// Readings that do not fit the text (a scanner that read it otherwise than
// the library) are not trusted: the text is parsed in one call.
TEST_F(XmlParseTest, ReadingsThatDoNotFitTheTextAreNotTrusted) {
    parallel::setThreadCountForTesting(2);
    const std::string fits = "<pswd><a x=\"1\"/> <b>t</b></pswd>";
    XmlRootReadings fitting;
    XmlElementDepth(fits, 256, &fitting);
    ASSERT_TRUE(fitting.legacy.found);
    const XmlRootChildren good = fitting.legacy;
    ASSERT_EQ(good.contentStart, 6u);
    ASSERT_EQ(good.contentEnd, 25u);

    struct Wrong {
        const char* what;
        XmlRootChildren children;
    };
    std::vector<Wrong> wrongs;
    auto with = [&](const char* what, auto change) {
        XmlRootChildren c = good;
        change(c);
        wrongs.push_back({what, c});
    };
    with("a child's end too early", [](XmlRootChildren& c) { c.elements[0].second -= 2; });
    with("a child's end too late", [](XmlRootChildren& c) { c.elements[1].second += 1; });
    with("a child's start inside it", [](XmlRootChildren& c) { c.elements[1].first += 1; });
    with("the content's end elsewhere", [](XmlRootChildren& c) { c.contentEnd -= 1; });
    with("the content's start elsewhere", [](XmlRootChildren& c) { c.contentStart = 3; });
    with("a child left out", [](XmlRootChildren& c) { c.elements.erase(c.elements.begin()); });
    with("children given twice", [](XmlRootChildren& c) { c.elements.push_back(c.elements[1]); });
    // Blanks and starts all fit; only the parse shows that the first child
    // ends before the blank that the reading gives it.
    with("a child's end after the blank behind it", [](XmlRootChildren& c) { c.elements[0].second += 1; });
    std::string guarded = fits + std::string(8, '\0');
    const Parsed one = inOneCall(fits);
    for (const Wrong& w : wrongs) {
        SCOPED_TRACE(w.what);
        XmlRootReadings readings;
        readings.legacy = w.children;
        readings.utf8 = w.children;
        TiXmlDocument d;
        parseDocument(d, guarded, readings);
        EXPECT_FALSE(lastParseWasSplit());
        EXPECT_EQ(print(d), one.printed);
    }
    // The right readings of the same text are used.
    TiXmlDocument d;
    parseDocument(d, guarded, fitting);
    EXPECT_TRUE(lastParseWasSplit());
    EXPECT_EQ(print(d), one.printed);
}

}  // namespace
