#include "XmlParse.h"

#include <tinyxml.h>

#include <atomic>
#include <memory>
#include <vector>

#include "ParallelWork.h"
#include "security/SecureString.h"

namespace {

thread_local bool t_lastSplit = false;

// The library's own reading of blanks and of the start of a node, so that
// the checks below hold the text to exactly what its parse would do.
struct Reading : TiXmlBase {
    using TiXmlBase::SkipWhiteSpace;
    using TiXmlBase::StringEqual;
};
struct Identifier : TiXmlElement {
    Identifier() : TiXmlElement("") {}
    bool startsElement(const char* p, TiXmlEncoding encoding) {
        std::unique_ptr<TiXmlNode> node(Identify(p, encoding));
        return node && node->ToElement() != nullptr;
    }
};

// The encoding the library was in when it came to the root element: UTF-8
// after a byte-order mark, else as the first declaration before it says.
TiXmlEncoding rootEncoding(const TiXmlDocument& document, const std::string& text) {
    if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
        static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF)
        return TIXML_ENCODING_UTF8;
    for (const TiXmlNode* n = document.FirstChild(); n != nullptr && n->ToElement() == nullptr; n = n->NextSibling()) {
        const TiXmlDeclaration* declaration = n->ToDeclaration();
        if (declaration == nullptr) continue;
        const char* encoding = declaration->Encoding();
        if (*encoding == 0 || Reading::StringEqual(encoding, "UTF-8", true, TIXML_ENCODING_UNKNOWN) ||
            Reading::StringEqual(encoding, "UTF8", true, TIXML_ENCODING_UNKNOWN))
            return TIXML_ENCODING_UTF8;
        return TIXML_ENCODING_LEGACY;
    }
    return TIXML_ENCODING_UNKNOWN;
}

// The children of the root parsed on their own, in the order of the text; an
// empty list when the text does not read as `children` says.
std::vector<std::unique_ptr<TiXmlElement>> parseChildren(const std::string& text, const XmlRootChildren& children,
                                                         TiXmlEncoding encoding) {
    const char* base = text.c_str();
    const auto& elements = children.elements;
    // Blanks only between the root's start tag, its children and its end tag,
    // and every child an element: the nodes the root's parse would read.
    auto next = [&](std::size_t from) { return Reading::SkipWhiteSpace(base + from, encoding); };
    if (next(children.contentStart) != base + elements.front().first) return {};
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const std::size_t following = i + 1 < elements.size() ? elements[i + 1].first : children.contentEnd;
        if (elements[i].second <= elements[i].first || next(elements[i].second) != base + following) return {};
    }
    if (!Reading::StringEqual(base + children.contentEnd, "</", false, encoding)) return {};
    Identifier identifier;
    for (const auto& element : elements)
        if (!identifier.startsElement(base + element.first, encoding)) return {};

    std::vector<std::unique_ptr<TiXmlElement>> parsed(elements.size());
    std::atomic<bool> failed{false};
    parallel::forEachIndex(
        elements.size(),
        [&](std::size_t i) {
            if (failed.load(std::memory_order_relaxed)) return;
            auto element = std::make_unique<TiXmlElement>("");
            // Not yet in a document: an error ends the parse with a null end
            // and is read again below by the parse of the whole text.
            const char* end = element->Parse(base + elements[i].first, nullptr, encoding);
            if (end != base + elements[i].second) {
                failed = true;
                return;
            }
            parsed[i] = std::move(element);
        },
        8);
    if (failed) return {};
    return parsed;
}

bool parseSplit(TiXmlDocument& document, const std::string& text, const XmlRootReadings& readings) {
    // First the text without the root's children: all of it is read as in the
    // whole text, up to the root's start tag and from its end tag on.
    const XmlRootChildren& any = readings.legacy.found ? readings.legacy : readings.utf8;
    if (!any.found || any.elements.size() < 2) return false;
    std::string frame = text.substr(0, any.contentStart);
    frame.append(text, any.contentEnd, std::string::npos);
    document.Parse(frame.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    secureWipe(frame);
    TiXmlElement* root = document.RootElement();
    if (document.Error() || root == nullptr || root->FirstChild() != nullptr) return false;

    const TiXmlEncoding encoding = rootEncoding(document, text);
    const XmlRootChildren& children = encoding == TIXML_ENCODING_UTF8 ? readings.utf8 : readings.legacy;
    if (!children.found || children.elements.size() < 2 || children.contentStart != any.contentStart ||
        children.contentEnd != any.contentEnd)
        return false;
    std::vector<std::unique_ptr<TiXmlElement>> parsed = parseChildren(text, children, encoding);
    if (parsed.empty()) return false;
    for (auto& child : parsed) root->LinkEndChild(child.release());
    return true;
}

}  // namespace

void parseDocument(TiXmlDocument& document, const std::string& text, const XmlRootReadings& readings) {
    t_lastSplit = parseSplit(document, text, readings);
    if (t_lastSplit) return;
    document.Clear();
    document.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
}

bool lastParseWasSplit() { return t_lastSplit; }
