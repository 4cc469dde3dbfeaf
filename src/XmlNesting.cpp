#include "XmlNesting.h"

#include <algorithm>
#include <cctype>
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

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) || c == '\n' || c == '\r'; }
bool isAlpha(unsigned char c) { return c < 127 ? std::isalpha(c) != 0 : true; }
bool isAlphaNum(unsigned char c) { return c < 127 ? std::isalnum(c) != 0 : true; }

class Scanner {
public:
    Scanner(const std::string& text, std::size_t from, bool utf8, int limit)
        : m_text(text), m_p(from), m_utf8(utf8), m_limit(limit) {}

    // Reads from the start position to the end or the first error. With
    // `stopAfterDeclaration`, stops after a declaration at the top level and
    // gives its end (else npos).
    int run(bool stopAfterDeclaration, std::size_t* declarationEnd) {
        if (declarationEnd) *declarationEnd = std::string::npos;
        std::vector<std::string> open;  // names of the elements open now
        skipSpace();
        while (!done()) {
            if (open.empty()) {
                if (at(0) != '<') break;  // the library stops at text outside the root
            } else if (at(0) != '<') {
                if (!text()) break;
                skipSpace();
                continue;
            } else if (startsWith("</", false)) {
                std::string end = "</" + open.back();
                if (!startsWith(end.c_str(), false)) break;
                m_p += end.size();
                skipSpace();
                if (at(0) != '>') break;
                ++m_p;
                open.pop_back();
                skipSpace();
                continue;
            }
            // One node, as the library tells them apart.
            if (startsWith("<?xml", true)) {
                if (!declaration()) break;
                if (open.empty() && stopAfterDeclaration) {
                    if (declarationEnd) *declarationEnd = m_p;
                    return m_deepest;
                }
            } else if (startsWith("<!--", false)) {
                m_p += 4;
                while (!done() && !startsWith("-->", false)) ++m_p;
                if (!done()) m_p += 3;
            } else if (startsWith("<![CDATA[", false)) {
                m_p += 9;
                while (!done() && !startsWith("]]>", false)) ++m_p;
                if (!done()) m_p += 3;
            } else if (startsWith("<!", false) || !(isAlpha(at(1)) || at(1) == '_')) {
                ++m_p;
                while (!done() && at(0) != '>') ++m_p;
                if (!done()) ++m_p;
            } else {
                std::string name;
                int opened = startTag(name);
                if (opened < 0) break;
                // The element itself is one level, whether or not it holds others.
                m_deepest = std::max(m_deepest, static_cast<int>(open.size()) + 1);
                if (m_deepest > m_limit) return m_deepest;
                if (opened == 1) open.push_back(name);
            }
            skipSpace();
        }
        return m_deepest;
    }

private:
    const std::string& m_text;
    std::size_t m_p;
    bool m_utf8;
    int m_limit;
    int m_deepest = 0;

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
            } else if (isSpace(static_cast<char>(at(0)))) {
                ++m_p;
            } else {
                break;
            }
        }
    }

    // One character of a text or an attribute value.
    void step() { m_p += m_utf8 ? static_cast<std::size_t>(utf8Length(at(0))) : 1; }

    bool name() {
        if (done() || !(isAlpha(at(0)) || at(0) == '_')) return false;
        while (!done() && (isAlphaNum(at(0)) || at(0) == '_' || at(0) == '-' || at(0) == '.' || at(0) == ':')) ++m_p;
        return true;
    }

    // Text up to the next '<', which stays.
    bool text() {
        skipSpace();
        while (!done() && at(0) != '<') {
            if (isSpace(static_cast<char>(at(0)))) {
                ++m_p;
            } else {
                step();
            }
        }
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
            while (!done() && at(0) != quote) step();
            if (done()) return false;
            ++m_p;
        } else {
            while (!done() && !isSpace(static_cast<char>(at(0))) && at(0) != '/' && at(0) != '>') {
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
                while (!done() && at(0) != '>' && !isSpace(static_cast<char>(at(0)))) ++m_p;
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

int XmlElementDepth(const std::string& text, int limit) {
    if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
        static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF) {
        return Scanner(text, 0, true, limit).run(false, nullptr);
    }
    // Until a first declaration the library reads byte by byte; after it,
    // as the declaration says.
    std::size_t after = std::string::npos;
    int deepest = Scanner(text, 0, false, limit).run(true, &after);
    if (after == std::string::npos || deepest > limit) return deepest;
    deepest = std::max(deepest, Scanner(text, after, false, limit).run(false, nullptr));
    if (deepest > limit) return deepest;
    return std::max(deepest, Scanner(text, after, true, limit).run(false, nullptr));
}
