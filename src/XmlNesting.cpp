#include "XmlNesting.h"

#include "ParallelWork.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// How many bytes the library takes for one character starting with `lead`
// when it reads UTF-8.
int utf8Length(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

// The library's classes of a byte, asked of the C library once per text (in
// the locale in force, as the library asks) instead of at every byte.
struct ByteClasses {
    bool space[256], alpha[256], alphaNum[256];
    ByteClasses() {
        for (int c = 0; c < 256; ++c) {
            space[c] = std::isspace(c) || c == '\n' || c == '\r';
            alpha[c] = c < 127 ? std::isalpha(c) != 0 : true;
            alphaNum[c] = c < 127 ? std::isalnum(c) != 0 : true;
        }
    }
};

class Scanner {
public:
    Scanner(const std::string& text, std::size_t from, bool utf8, int limit, const ByteClasses& classes)
        : m_text(text), m_p(from), m_utf8(utf8), m_limit(limit), m_classes(classes) {}

    // Where the first top-level element this scanner read holds its
    // children, when they are all elements with only blanks between them.
    XmlRootChildren children;

    // Reads from the start position to the end or the first error. With
    // `stopAfterDeclaration`, stops after a declaration at the top level and
    // gives its end (else npos).
    int run(bool stopAfterDeclaration, std::size_t* declarationEnd) {
        if (declarationEnd) *declarationEnd = std::string::npos;
        std::vector<std::string> open;  // names of the elements open now
        skipSpace();
        while (!done()) {
            const std::size_t nodeStart = m_p;
            if (open.empty()) {
                if (at(0) != '<') break;  // the library stops at text outside the root
            } else if (at(0) != '<') {
                if (inRoot(open)) m_split = Split::Unusable;
                if (!text()) break;
                skipSpace();
                continue;
            } else if (startsWith("</", false)) {
                if (inRoot(open)) children.contentEnd = m_p;
                std::string end = "</" + open.back();
                if (!startsWith(end.c_str(), false)) break;
                m_p += end.size();
                skipSpace();
                if (at(0) != '>') break;
                ++m_p;
                open.pop_back();
                if (inRoot(open)) children.elements.back().second = m_p;
                if (open.empty() && m_split == Split::Reading) m_split = Split::Done;
                skipSpace();
                continue;
            }
            // One node, as the library tells them apart.
            const bool child = inRoot(open);
            if (startsWith("<?xml", true)) {
                if (child) m_split = Split::Unusable;
                if (!declaration()) break;
                if (open.empty() && stopAfterDeclaration) {
                    if (declarationEnd) *declarationEnd = m_p;
                    return finish();
                }
            } else if (startsWith("<!--", false)) {
                if (child) m_split = Split::Unusable;
                m_p += 4;
                while (!done() && !startsWith("-->", false)) ++m_p;
                if (!done()) m_p += 3;
            } else if (startsWith("<![CDATA[", false)) {
                if (child) m_split = Split::Unusable;
                m_p += 9;
                while (!done() && !startsWith("]]>", false)) ++m_p;
                if (!done()) m_p += 3;
            } else if (startsWith("<!", false) || !(isAlpha(at(1)) || at(1) == '_')) {
                if (child) m_split = Split::Unusable;
                ++m_p;
                while (!done() && at(0) != '>') ++m_p;
                if (!done()) ++m_p;
            } else {
                std::string name;
                int opened = startTag(name);
                if (opened < 0) break;
                // The element itself is one level, whether or not it holds others.
                m_deepest = std::max(m_deepest, static_cast<int>(open.size()) + 1);
                if (m_deepest > m_limit) return finish();
                if (open.empty() && m_split == Split::NotSeen) {
                    // The first element at the top: the root whose children are found.
                    m_split = opened == 1 ? Split::Reading : Split::Unusable;
                    children.contentStart = m_p;
                } else if (child) {
                    children.elements.emplace_back(nodeStart, m_p);
                }
                if (opened == 1) open.push_back(name);
            }
            skipSpace();
        }
        return finish();
    }

private:
    enum class Split { NotSeen, Reading, Done, Unusable };

    const std::string& m_text;
    std::size_t m_p;
    bool m_utf8;
    int m_limit;
    const ByteClasses& m_classes;
    int m_deepest = 0;
    Split m_split = Split::NotSeen;

    // Inside the root, at the level of its children.
    bool inRoot(const std::vector<std::string>& open) const { return open.size() == 1 && m_split == Split::Reading; }

    int finish() {
        children.found = m_split == Split::Done && m_deepest <= m_limit;
        if (!children.found) children.elements.clear();
        return m_deepest;
    }

    bool isSpace(unsigned char c) const { return m_classes.space[c]; }
    bool isAlpha(unsigned char c) const { return m_classes.alpha[c]; }
    bool isAlphaNum(unsigned char c) const { return m_classes.alphaNum[c]; }

    unsigned char at(std::size_t i) const {
        return m_p + i < m_text.size() ? static_cast<unsigned char>(m_text[m_p + i]) : 0;
    }
    bool done() const { return m_p >= m_text.size() || m_text[m_p] == '\0'; }

    bool startsWith(const char* tag, bool ignoreCase) const {
        for (std::size_t i = 0; tag[i] != '\0'; ++i) {
            unsigned char c = at(i);
            if (c == 0) return false;
            if (ignoreCase ? std::tolower(c) != std::tolower(static_cast<unsigned char>(tag[i]))
                           : c != static_cast<unsigned char>(tag[i]))
                return false;
        }
        return true;
    }

    void skipSpace() {
        while (!done()) {
            if (m_utf8 && at(0) == 0xEF &&
                ((at(1) == 0xBB && at(2) == 0xBF) || (at(1) == 0xBF && (at(2) == 0xBE || at(2) == 0xBF)))) {
                m_p += 3;
            } else if (isSpace(at(0))) {
                ++m_p;
            } else {
                break;
            }
        }
    }

    bool name() {
        if (done() || !(isAlpha(at(0)) || at(0) == '_')) return false;
        while (!done() && (isAlphaNum(at(0)) || at(0) == '_' || at(0) == '-' || at(0) == '.' || at(0) == ':')) ++m_p;
        return true;
    }

    // True when none of the eight bytes at `s` is `stop` or zero and, read
    // as UTF-8, none is above 127.
    bool plainRun(const unsigned char* s, unsigned char stop) const {
        constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
        std::uint64_t w;
        std::memcpy(&w, s, sizeof w);
        auto hasZero = [](std::uint64_t v) { return ((v - ones) & ~v & highs) != 0; };
        if (m_utf8 && (w & highs) != 0) return false;
        return !hasZero(w) && !hasZero(w ^ (ones * stop));
    }

    // Steps over the characters of a text or an attribute value (blanks by
    // one byte when `blanksByOne`; else one byte, or as many as a UTF-8 lead
    // byte says) up to `stop`, a zero or the end.
    void stepTo(unsigned char stop, bool blanksByOne) {
        const unsigned char* s = reinterpret_cast<const unsigned char*>(m_text.data());
        const std::size_t n = m_text.size();
        std::size_t p = m_p;
        while (p < n) {
            // Eight bytes at a time while none of them ends the run or, read
            // as UTF-8, could begin a longer character.
            while (p + 8 <= n && plainRun(s + p, stop)) p += 8;
            const unsigned char c = s[p];
            if (c == stop || c == 0) break;
            p += !m_utf8 || (blanksByOne && isSpace(c)) ? 1 : static_cast<std::size_t>(utf8Length(c));
        }
        m_p = p;
    }

    // Text up to the next '<', which stays.
    bool text() {
        skipSpace();
        stepTo('<', true);
        return !done();
    }

    bool attribute() {
        skipSpace();
        if (!name()) return false;
        skipSpace();
        if (done() || at(0) != '=') return false;
        ++m_p;
        skipSpace();
        if (done()) return false;
        unsigned char quote = at(0);
        if (quote == '\'' || quote == '"') {
            ++m_p;
            stepTo(quote, false);
            if (done()) return false;
            ++m_p;
        } else {
            while (!done() && !isSpace(at(0)) && at(0) != '/' && at(0) != '>') {
                if (at(0) == '\'' || at(0) == '"') return false;
                ++m_p;
            }
        }
        return !done();
    }

    bool declaration() {
        m_p += 5;
        while (!done()) {
            if (at(0) == '>') {
                ++m_p;
                return true;
            }
            skipSpace();
            if (startsWith("version", true) || startsWith("encoding", true) || startsWith("standalone", true)) {
                if (!attribute()) return false;
            } else {
                while (!done() && at(0) != '>' && !isSpace(at(0))) ++m_p;
            }
        }
        return false;
    }

    // A start tag: 1 when it opens an element, 0 when it closes itself, -1 on
    // an error (where the library stops).
    int startTag(std::string& tagName) {
        ++m_p;
        skipSpace();
        std::size_t start = m_p;
        if (!name()) return -1;
        tagName.assign(m_text, start, m_p - start);
        while (!done()) {
            skipSpace();
            if (done()) return -1;
            if (at(0) == '/') {
                ++m_p;
                if (at(0) != '>') return -1;
                ++m_p;
                return 0;
            }
            if (at(0) == '>') {
                ++m_p;
                return 1;
            }
            if (!attribute()) return -1;
        }
        return -1;
    }
};

}  // namespace

int XmlElementDepth(const std::string& text, int limit, XmlRootReadings* readings) {
    const ByteClasses classes;
    if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
        static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF) {
        Scanner utf8(text, 0, true, limit, classes);
        const int deepest = utf8.run(false, nullptr);
        if (readings) readings->utf8 = std::move(utf8.children);
        return deepest;
    }
    // Until a first declaration the library reads byte by byte; after it,
    // as the declaration says.
    std::size_t after = std::string::npos;
    Scanner first(text, 0, false, limit, classes);
    int deepest = first.run(true, &after);
    if (readings) readings->legacy = std::move(first.children);
    if (after == std::string::npos || deepest > limit) return deepest;
    // The two readings of the rest, side by side.
    Scanner rest[2] = {Scanner(text, after, false, limit, classes), Scanner(text, after, true, limit, classes)};
    int depths[2] = {0, 0};
    parallel::forEachIndex(2, [&](std::size_t i) { depths[i] = rest[i].run(false, nullptr); }, 1);
    if (readings) {
        // A root read before the declaration was read byte by byte; after
        // it, either way.
        if (!readings->legacy.found) {
            readings->legacy = std::move(rest[0].children);
            readings->utf8 = std::move(rest[1].children);
        }
    }
    return std::max({deepest, depths[0], depths[1]});
}
