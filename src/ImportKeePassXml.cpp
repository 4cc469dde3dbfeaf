#include "ImportKeePassXml.h"

#include <tinyxml.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ImportAutoType.h"
#include "ImportText.h"
#include "XmlNesting.h"
#include "security/SecureString.h"

namespace {

using importtext::eEncoding;

// The parser recurses once per element level; a deeper text is not parsed.
constexpr int kMaxNesting = 256;
const char kCrLf[] = "\r\n";
const char kRefusedEncrypted[] = "a value is encrypted inside the export";
const char kZeroUuid[] = "AAAAAAAAAAAAAAAAAAAAAA==";

// ---- Before parsing: which encoding, and whether it is an export at all

// The file's code units after the byte-order mark: bytes, or UTF-16 units.
struct RawUnits {
    const std::string& bytes;
    std::size_t start = 0;
    bool wide = false;
    bool littleEndian = false;

    std::size_t size() const { return (bytes.size() - start) / (wide ? 2 : 1); }
    unsigned at(std::size_t i) const {
        if (!wide) return static_cast<unsigned char>(bytes[start + i]);
        const auto a = static_cast<unsigned char>(bytes[start + 2 * i]);
        const auto b = static_cast<unsigned char>(bytes[start + 2 * i + 1]);
        return littleEndian ? (a | (b << 8)) : ((a << 8) | b);
    }
    bool startsAt(std::size_t i, const char* ascii) const {
        for (std::size_t k = 0; ascii[k] != '\0'; ++k)
            if (i + k >= size() || at(i + k) != static_cast<unsigned char>(ascii[k])) return false;
        return true;
    }
    // Where `ascii` starts at or after i; size() when nowhere.
    std::size_t find(std::size_t i, const char* ascii) const {
        for (; i < size(); ++i)
            if (startsAt(i, ascii)) return i;
        return size();
    }
};

bool isBlank(unsigned c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct Prolog {
    bool hasEncoding = false;
    std::string encoding;      // as the declaration names it
    std::string firstElement;  // the name of the first element
};

// Reads what comes before the first element: blanks, the declaration,
// processing instructions, comments, a document type. False when something
// else comes first.
bool readProlog(const RawUnits& u, Prolog& prolog) {
    std::size_t i = 0;
    bool first = true;
    for (;;) {
        while (i < u.size() && isBlank(u.at(i))) ++i;
        if (i >= u.size() || u.at(i) != '<') return false;
        if (u.startsAt(i, "<?")) {
            const std::size_t end = u.find(i + 2, "?>");
            if (end >= u.size()) return false;
            if (first && u.startsAt(i, "<?xml") && i + 5 < end && isBlank(u.at(i + 5))) {
                const std::size_t name = u.find(i + 5, "encoding");
                if (name < end) {
                    std::size_t k = name + 8;
                    while (k < end && isBlank(u.at(k))) ++k;
                    if (k < end && u.at(k) == '=') ++k;
                    while (k < end && isBlank(u.at(k))) ++k;
                    if (k < end && (u.at(k) == '"' || u.at(k) == '\'')) {
                        const unsigned quote = u.at(k++);
                        prolog.hasEncoding = true;
                        for (; k < end && u.at(k) != quote && prolog.encoding.size() < 40; ++k) {
                            const unsigned c = u.at(k);
                            prolog.encoding += (c > ' ' && c < 0x7F) ? static_cast<char>(c) : '?';
                        }
                    }
                }
            }
            i = end + 2;
        } else if (u.startsAt(i, "<!--")) {
            const std::size_t end = u.find(i + 4, "-->");
            if (end >= u.size()) return false;
            i = end + 3;
        } else if (u.startsAt(i, "<!")) {
            // A document type, with an internal subset in brackets.
            std::size_t k = i + 2;
            int depth = 0;
            for (; k < u.size(); ++k) {
                const unsigned c = u.at(k);
                if (c == '[') ++depth;
                if (c == ']') --depth;
                if (c == '>' && depth <= 0) break;
            }
            if (k >= u.size()) return false;
            i = k + 1;
        } else {
            for (std::size_t k = i + 1; k < u.size() && prolog.firstElement.size() < 64; ++k) {
                const unsigned c = u.at(k);
                if (isBlank(c) || c == '>' || c == '/' || c == 0 || c >= 0x7F) break;
                prolog.firstElement += static_cast<char>(c);
            }
            return true;
        }
        first = false;
    }
}

// ---- The text handed to the parser

// Line ends as an XML reader sees them: CR LF and a lone CR become LF.
void normaliseLineEnds(std::string& text) {
    std::size_t w = 0;
    const std::size_t n = text.size();
    for (std::size_t r = 0; r < n; ++r) {
        if (text[r] == '\r') {
            text[w++] = '\n';
            if (r + 1 < n && text[r + 1] == '\n') ++r;
        } else {
            text[w++] = text[r];
        }
    }
    if (w < n) {
        secureWipe(&text[w], n - w);
        text.resize(w);
    }
}

// The parser drops a text made of blanks only, so a password of blanks
// would be lost: such contents are wrapped in a CDATA section, which it keeps.
void keepBlankContents(std::string& text) {
    const std::size_t n = text.size();
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    std::size_t i = 0;
    auto skipTo = [&](std::size_t from, const char* end) {
        const std::size_t at = text.find(end, from);
        return at == std::string::npos ? n : at + std::strlen(end);
    };
    while ((i = text.find('<', i)) != std::string::npos) {
        if (text.compare(i, 4, "<!--") == 0) {
            i = skipTo(i + 4, "-->");
        } else if (text.compare(i, 9, "<![CDATA[") == 0) {
            i = skipTo(i + 9, "]]>");
        } else if (text.compare(i, 2, "<?") == 0) {
            i = skipTo(i + 2, "?>");
        } else if (text.compare(i, 2, "<!") == 0 || text.compare(i, 2, "</") == 0) {
            i = skipTo(i + 2, ">");
        } else {
            // A start tag: its end is the first '>' outside quotes.
            std::size_t k = i + 1;
            char quote = 0;
            for (; k < n; ++k) {
                const char c = text[k];
                if (quote != 0) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
            }
            if (k >= n) break;
            if (text[k - 1] != '/') {
                std::size_t end = k + 1;
                while (end < n && isBlank(static_cast<unsigned char>(text[end]))) ++end;
                if (end > k + 1 && text.compare(end, 2, "</") == 0) runs.emplace_back(k + 1, end);
            }
            i = k + 1;
        }
    }
    if (runs.empty()) return;
    const char open[] = "<![CDATA[", close[] = "]]>";
    std::string wrapped;
    wrapped.reserve(n + runs.size() * (sizeof open + sizeof close - 2) + 1);
    std::size_t from = 0;
    for (const auto& run : runs) {
        wrapped.append(text, from, run.first - from);
        wrapped += open;
        wrapped.append(text, run.first, run.second - run.first);
        wrapped += close;
        from = run.second;
    }
    wrapped.append(text, from, n - from);
    secureWipe(text);
    text.swap(wrapped);
}

// ---- The parsed document

// TinyXML has no call that wipes: every value and attribute value is
// overwritten in place before the document frees them.
void wipeDocument(TiXmlDocument& document) {
    std::vector<TiXmlNode*> stack{&document};
    while (!stack.empty()) {
        TiXmlNode* node = stack.back();
        stack.pop_back();
        secureWipe(const_cast<std::string&>(node->ValueStr()));
        if (TiXmlElement* e = node->ToElement())
            for (TiXmlAttribute* a = e->FirstAttribute(); a != nullptr; a = a->Next())
                secureWipe(const_cast<std::string&>(a->ValueStr()));
        for (TiXmlNode* c = node->FirstChild(); c != nullptr; c = c->NextSibling()) stack.push_back(c);
    }
}

struct WipedDocument {
    TiXmlDocument document;
    WipedDocument() = default;
    WipedDocument(const WipedDocument&) = delete;
    WipedDocument& operator=(const WipedDocument&) = delete;
    ~WipedDocument() { wipeDocument(document); }
};

// A plain text held for a moment.
struct Scratch {
    std::string text;
    Scratch() = default;
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() { secureWipe(text); }
};

std::size_t textLength(const TiXmlElement* e) {
    std::size_t n = 0;
    if (e != nullptr)
        for (const TiXmlNode* c = e->FirstChild(); c != nullptr; c = c->NextSibling())
            if (c->ToText() != nullptr) n += c->ValueStr().size();
    return n;
}

// Replaces `out` by the element's text (its text and CDATA parts as the
// parser decoded them), in one allocation.
void readText(const TiXmlElement* e, std::string& out) {
    secureWipe(out);
    out.reserve(textLength(e));
    if (e != nullptr)
        for (const TiXmlNode* c = e->FirstChild(); c != nullptr; c = c->NextSibling())
            if (c->ToText() != nullptr) out += c->ValueStr();
}

std::string childText(const TiXmlElement* parent, const char* name) {
    std::string out;
    if (parent != nullptr) readText(parent->FirstChildElement(name), out);
    return out;
}

bool equalIgnoringAsciiCase(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// ---- Dates

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool validDate(int y, int m, int d) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    return d <= kDays[m - 1] + (m == 2 && isLeap(y) ? 1 : 0);
}

bool digitsAt(const std::string& s, std::size_t at, std::size_t count, int& value) {
    if (at + count > s.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

// "YYYY-MM-DDThh:mm:ss" with an optional fraction and "Z" or offset, as
// KeePass 2.x and KDBX 3 write it; the date as written.
bool readIsoDate(const std::string& s, int& year, int& month, int& day) {
    int h = 0, mi = 0, sec = 0;
    if (!digitsAt(s, 0, 4, year) || s.compare(4, 1, "-") != 0 || !digitsAt(s, 5, 2, month) ||
        s.compare(7, 1, "-") != 0 || !digitsAt(s, 8, 2, day) || !validDate(year, month, day))
        return false;
    if (s.size() == 10) return true;
    if (s[10] != 'T' || !digitsAt(s, 11, 2, h) || s.compare(13, 1, ":") != 0 || !digitsAt(s, 14, 2, mi) ||
        s.compare(16, 1, ":") != 0 || !digitsAt(s, 17, 2, sec) || h > 23 || mi > 59 || sec > 60)
        return false;
    std::size_t i = 19;
    if (i < s.size() && s[i] == '.') {
        ++i;
        const std::size_t digits = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        if (i == digits) return false;
    }
    if (i == s.size()) return true;
    if (s[i] == 'Z') return i + 1 == s.size();
    int oh = 0, om = 0;
    return (s[i] == '+' || s[i] == '-') && i + 6 == s.size() && digitsAt(s, i + 1, 2, oh) && s[i + 3] == ':' &&
           digitsAt(s, i + 4, 2, om) && oh <= 23 && om <= 59;
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// KDBX 4 writes a time as the base64 of 8 bytes: seconds since
// 0001-01-01T00:00:00Z, little-endian.
bool readBase64Date(const std::string& s, int& year, int& month, int& day) {
    // 8 bytes: two groups of four characters and one of three and a '='.
    if (s.size() != 12 || s[11] != '=') return false;
    unsigned char bytes[9];
    for (std::size_t group = 0; group < 3; ++group) {
        std::uint32_t bits = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const char c = s[group * 4 + k];
            const int v = (group == 2 && k == 3) ? 0 : base64Value(c);
            if (v < 0) return false;
            bits = (bits << 6) | static_cast<std::uint32_t>(v);
        }
        bytes[group * 3] = static_cast<unsigned char>(bits >> 16);
        bytes[group * 3 + 1] = static_cast<unsigned char>(bits >> 8);
        bytes[group * 3 + 2] = static_cast<unsigned char>(bits);
    }
    if (bytes[8] != 0) return false;  // bits the padding leaves unused
    std::uint64_t seconds = 0;
    for (int k = 7; k >= 0; --k) seconds = (seconds << 8) | bytes[k];
    if (seconds > static_cast<std::uint64_t>(INT64_MAX)) return false;
    // Days since 0001-01-01 into a civil date (days counted from 0000-03-01).
    const std::int64_t days = static_cast<std::int64_t>(seconds / 86400) + 306;
    const std::int64_t era = days / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    if (y > 9999) return false;
    year = static_cast<int>(y);
    month = static_cast<int>(m);
    day = static_cast<int>(d);
    return true;
}

// ---- Groups and entries

struct GroupInfo {
    const TiXmlElement* element;
    int parent;  // index of the enclosing group; -1 for a root group
    int folder;  // index in the folders; -1 for a root group
};

struct Walk {
    std::string recycleBin;
    std::vector<GroupInfo> groups;
    std::vector<std::pair<const TiXmlElement*, int>> entries;  // with their group
};

void walkGroup(const TiXmlElement* group, int parent, tImportedData& out, Walk& walk) {
    const int self = static_cast<int>(walk.groups.size());
    int folder = -1;
    if (parent >= 0) {
        std::vector<std::string> path;
        const int above = walk.groups[parent].folder;
        if (above >= 0) path = out.folders[above];
        path.push_back(childText(group, "Name"));
        folder = static_cast<int>(out.folders.size());
        out.folders.push_back(std::move(path));
    }
    walk.groups.push_back({group, parent, folder});
    for (const TiXmlElement* c = group->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
        if (c->ValueStr() == "Entry") {
            walk.entries.emplace_back(c, self);
        } else if (c->ValueStr() == "Group") {
            const std::string uuid = childText(c, "UUID");
            if (!walk.recycleBin.empty() && uuid == walk.recycleBin) continue;
            walkGroup(c, self, out, walk);
        }
    }
}

// A "Key: value" line or a note of ours, in the entry's notes: the hot key
// must not read it as a definition of its own.
void appendNoteLine(WipedString& lines, const std::string& key, const std::string& value) {
    const std::size_t start = lines.size();
    std::string crLf = importtext::withCrLf(key);
    lines.append(crLf.data(), crLf.size());
    secureWipe(crLf);
    lines += ": ";
    crLf = importtext::withCrLf(value);
    lines.append(crLf.data(), crLf.size());
    secureWipe(crLf);
    lines += kCrLf;
    DefuseAutoTypeKeywords(lines, start);
}

void wipeAutoType(tKeePassAutoType& autoType) {
    secureWipe(autoType.defaultSequence);
    for (auto& a : autoType.associations) {
        secureWipe(a.window);
        secureWipe(a.sequence);
    }
}

void readAutoType(const TiXmlElement* e, tKeePassAutoType& autoType) {
    Scratch enabled;
    readText(e->FirstChildElement("Enabled"), enabled.text);
    if (equalIgnoringAsciiCase(enabled.text, "False")) autoType.enabled = false;
    readText(e->FirstChildElement("DefaultSequence"), autoType.defaultSequence);
    for (const TiXmlElement* a = e->FirstChildElement("Association"); a != nullptr;
         a = a->NextSiblingElement("Association")) {
        autoType.associations.emplace_back();
        readText(a->FirstChildElement("Window"), autoType.associations.back().window);
        readText(a->FirstChildElement("KeystrokeSequence"), autoType.associations.back().sequence);
    }
}

// What an entry's groups say about auto-type: the nearest non-empty
// sequence, and the nearest group that switches it on or off.
void inheritAutoType(const Walk& walk, int group, tKeePassAutoType& autoType) {
    bool sequenceFound = !autoType.defaultSequence.empty();
    bool switchFound = false;
    for (int g = group; g >= 0 && (!sequenceFound || !switchFound); g = walk.groups[g].parent) {
        const TiXmlElement* e = walk.groups[g].element;
        if (!sequenceFound) {
            readText(e->FirstChildElement("DefaultAutoTypeSequence"), autoType.defaultSequence);
            sequenceFound = !autoType.defaultSequence.empty();
        }
        if (!switchFound) {
            Scratch on;
            readText(e->FirstChildElement("EnableAutoType"), on.text);
            if (equalIgnoringAsciiCase(on.text, "false")) {
                autoType.enabled = false;
                switchFound = true;
            } else if (equalIgnoringAsciiCase(on.text, "true")) {
                switchFound = true;
            }
        }
    }
}

void readEntry(const TiXmlElement* entry, const Walk& walk, int group, const tImportedData& out, tImportedEntry& e,
               int& attachments) {
    if (walk.groups[group].folder >= 0) e.groups = out.folders[walk.groups[group].folder];
    Scratch notes;
    WipedString lines;  // lines to append to the notes, in file order
    bool seen[5] = {false, false, false, false, false};
    std::string* fields[5] = {&e.title, &e.userName, &e.password, &e.url, &notes.text};
    static const char* const kFieldKeys[5] = {"Title", "UserName", "Password", "URL", "Notes"};
    tKeePassAutoType autoType;

    for (const TiXmlElement* c = entry->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
        const std::string& name = c->ValueStr();
        if (name == "String") {
            Scratch key, value;
            readText(c->FirstChildElement("Key"), key.text);
            const TiXmlElement* v = c->FirstChildElement("Value");
            const char* protectedAttribute = v != nullptr ? v->Attribute("Protected") : nullptr;
            if (protectedAttribute != nullptr && equalIgnoringAsciiCase(protectedAttribute, "True") &&
                textLength(v) > 0) {
                // Encrypted with the database's inner stream: useless as it stands.
                e.refused = kRefusedEncrypted;
                continue;
            }
            readText(v, value.text);
            int field = -1;
            for (int k = 0; k < 5; ++k)
                if (key.text == kFieldKeys[k]) field = k;
            if (field >= 0 && !seen[field]) {
                seen[field] = true;
                secureWipe(*fields[field]);
                fields[field]->swap(value.text);
            } else if (!value.text.empty()) {
                appendNoteLine(lines, key.text, value.text);
            }
        } else if (name == "Binary") {
            ++attachments;
        } else if (name == "Times") {
            Scratch expires, expiry;
            readText(c->FirstChildElement("Expires"), expires.text);
            readText(c->FirstChildElement("ExpiryTime"), expiry.text);
            if (!equalIgnoringAsciiCase(expires.text, "True")) continue;
            int y = 0, m = 0, d = 0;
            if (readIsoDate(expiry.text, y, m, d) || readBase64Date(expiry.text, y, m, d)) {
                e.expiryYear = y;
                e.expiryMonth = m;
                e.expiryDay = d;
            } else if (!expiry.text.empty()) {
                appendNoteLine(lines, "Expiry date in the export", expiry.text);
            }
        } else if (name == "AutoType") {
            readAutoType(c, autoType);
        }
        // History (earlier versions of the entry) and the rest are not read.
    }
    inheritAutoType(walk, group, autoType);
    std::string autoTypeLines = AutoTypeNotesLines(autoType);
    wipeAutoType(autoType);

    Scratch crLfNotes;
    crLfNotes.text = importtext::withCrLf(notes.text);
    const std::size_t add = lines.size() + autoTypeLines.size();
    const std::string& base = crLfNotes.text;
    const bool separate =
        add > 0 && !base.empty() && !(base.size() >= 2 && base.compare(base.size() - 2, 2, kCrLf) == 0);
    secureWipe(e.notes);
    e.notes.reserve(base.size() + (separate ? 2 : 0) + add);
    e.notes = base;
    if (separate) e.notes += kCrLf;
    e.notes.append(lines.data(), lines.size());
    e.notes += autoTypeLines;
    secureWipe(lines);
    secureWipe(autoTypeLines);
}

}  // namespace

eImportRead ReadKeePassXmlExport(const std::string& text, tImportedData& out, std::string& error) {
    // Which encoding: a byte-order mark, UTF-16 without one, or else the
    // declaration.
    std::size_t mark = 0;
    eEncoding encoding = importtext::fromByteOrderMark(text, mark);
    RawUnits units{text, mark};
    if (encoding == eEncoding::eUtf16LE || encoding == eEncoding::eUtf16BE) {
        units.wide = true;
        units.littleEndian = encoding == eEncoding::eUtf16LE;
    } else if (encoding == eEncoding::eUnknown && text.size() >= 2 && (text[0] == '\0') != (text[1] == '\0') &&
               (text[0] == '<' || text[1] == '<')) {
        units.wide = true;
        units.littleEndian = text[1] == '\0';
        encoding = units.littleEndian ? eEncoding::eUtf16LE : eEncoding::eUtf16BE;
    }
    Prolog prolog;
    if (!readProlog(units, prolog) || prolog.firstElement != "KeePassFile") return eImportRead::eNotAnExport;

    if (encoding == eEncoding::eUnknown) {
        encoding = eEncoding::eUtf8;
        if (prolog.hasEncoding) {
            encoding = importtext::fromName(prolog.encoding);
            if (encoding == eEncoding::eUnknown) {
                error = "The export's encoding \"" + prolog.encoding + "\" is not supported.";
                return eImportRead::eMalformed;
            }
            if (encoding == eEncoding::eUtf16LE || encoding == eEncoding::eUtf16BE) {
                error = "The export's encoding \"" + prolog.encoding + "\" does not match its bytes.";
                return eImportRead::eMalformed;
            }
        }
    }

    Scratch utf8;
    utf8.text.assign(text, mark, std::string::npos);
    std::string why;
    if (!importtext::toUtf8(utf8.text, encoding, why)) {
        error = why;
        return eImportRead::eMalformed;
    }
    normaliseLineEnds(utf8.text);
    keepBlankContents(utf8.text);
    if (XmlElementDepth(utf8.text, kMaxNesting) > kMaxNesting) {
        error = "The export's groups are nested too deeply to be read.";
        return eImportRead::eMalformed;
    }

    WipedDocument parsed;
    TiXmlDocument& document = parsed.document;
    // Values are read as written: no blanks folded or dropped.
    TiXmlBase::SetCondenseWhiteSpace(false);
    document.Parse(utf8.text.c_str(), nullptr, TIXML_ENCODING_UTF8);
    secureWipe(utf8.text);
    if (document.Error()) {
        error = std::string("The export is not well-formed XML: ") + document.ErrorDesc();
        // The parser gives no row for some errors (a text cut off, among others).
        if (document.ErrorRow() > 0) error += " (line " + std::to_string(document.ErrorRow()) + ")";
        return eImportRead::eMalformed;
    }
    const TiXmlElement* file = document.RootElement();
    if (file == nullptr || file->ValueStr() != "KeePassFile") {
        error = "The export has no KeePassFile element.";
        return eImportRead::eMalformed;
    }
    const TiXmlElement* root = file->FirstChildElement("Root");
    if (root == nullptr) {
        error = "The export has no Root element.";
        return eImportRead::eMalformed;
    }

    const TiXmlElement* meta = file->FirstChildElement("Meta");
    Walk walk;
    walk.recycleBin = childText(meta, "RecycleBinUUID");
    if (walk.recycleBin == kZeroUuid) walk.recycleBin.clear();
    out.format = childText(meta, "Generator") == "KeePassXC" ? "KeePassXC XML" : "KeePass XML";
    // The groups right below Root are the export's root: not folders.
    for (const TiXmlElement* g = root->FirstChildElement("Group"); g != nullptr; g = g->NextSiblingElement("Group"))
        walkGroup(g, -1, out, walk);

    // Room for all entries at once: no entry is moved once it holds values.
    out.entries.reserve(out.entries.size() + walk.entries.size());
    for (const auto& found : walk.entries) {
        out.entries.emplace_back();
        readEntry(found.first, walk, found.second, out, out.entries.back(), out.attachments);
    }
    return eImportRead::eRead;
}
