#include "ImportAutoType.h"

#include <cstring>

#include "SendKeys/SendKeys.h"
#include "security/SecureString.h"

namespace {

const char kCrLf[] = "\r\n";
const char kKeePassDefault[] = "{USERNAME}{TAB}{PASSWORD}{ENTER}";
const char kKeePassDefaultTilde[] = "{USERNAME}{TAB}{PASSWORD}~";
// What the hot key looks for in the notes, anywhere and in this case.
const char kSequenceKeyword[] = "Auto-Type:";
const char kWindowKeyword[] = "Auto-Type-Window:";

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool equalIgnoringAsciiCase(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (upperAscii(a[i]) != upperAscii(b[i])) return false;
    return true;
}

bool hasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

bool hasKeyword(const std::string& s) {
    return s.find(kSequenceKeyword) != std::string::npos || s.find(kWindowKeyword) != std::string::npos;
}

// KeePass types its default when the sequence is empty.
bool isKeePassDefault(const std::string& sequence) {
    return sequence.empty() || equalIgnoringAsciiCase(sequence, kKeePassDefault) ||
           equalIgnoringAsciiCase(sequence, kKeePassDefaultTilde);
}

bool sameSequence(const std::string& a, const std::string& b) {
    return a == b || (isKeePassDefault(a) && isKeePassDefault(b));
}

// A value shown on a line of its own that the hot key must not read: line
// breaks become blanks, and its keywords lose their capital T.
void appendPlain(WipedString& out, const std::string& value) {
    const std::size_t start = out.size();
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\r' || c == '\n') {
            out += ' ';
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
        } else {
            out += c;
        }
    }
    DefuseAutoTypeKeywords(out, start);
}

void appendPlainLine(WipedString& out, const char* label, const std::string& value) {
    out += label;
    appendPlain(out, value);
    out += kCrLf;
}

// The hot key's name for a character KeePass writes as "{c}"; null for others.
const char* escapedCharacterName(const WipedString& inner) {
    static const struct {
        const char* character;
        const char* name;
    } kEscapes[] = {
        {"+", "PLUS"},      {"^", "CARET"},      {"%", "PERCENT"},   {"~", "TILDE"},
        {"(", "LEFTPAREN"}, {")", "RIGHTPAREN"}, {"{", "LEFTBRACE"}, {"}", "RIGHTBRACE"},
    };
    for (const auto& e : kEscapes)
        if (inner == e.character) return e.name;
    return nullptr;
}

// The sender's check wants a plain string; the copy is wiped.
bool knowsCommand(const WipedString& inner) {
    std::string text(inner.data(), inner.size());
    const bool known = CSendKeys::knowsCommand(text);
    secureWipe(text);
    return known;
}

}  // namespace

bool KeyholdSequence(const std::string& keePassSequence, std::string& converted) {
    secureWipe(converted);
    if (hasLineBreak(keePassSequence)) return false;
    const std::string& s = keePassSequence;
    WipedString out;
    bool ok = true;
    std::size_t i = 0;
    while (ok && i < s.size()) {
        if (s[i] != '{') {
            out += s[i++];
            continue;
        }
        WipedString inner;
        std::size_t length;
        if (s.compare(i, 3, "{}}") == 0) {
            // A closing brace written as KeePass escapes it.
            inner = "}";
            length = 3;
        } else {
            const std::size_t close = s.find('}', i + 1);
            if (close == std::string::npos) {
                ok = false;
                break;
            }
            inner.assign(s.data() + i + 1, close - i - 1);
            length = close - i + 1;
        }
        WipedString upper;
        for (char c : inner) upper += upperAscii(c);
        const char* name = nullptr;
        if (upper == "USERNAME" || upper == "PASSWORD" || upper == "NOTES") {
            out += '{';
            out += upper;
            out += '}';
        } else if ((name = escapedCharacterName(inner)) != nullptr) {
            out += '{';
            out += name;
            out += '}';
        } else if (knowsCommand(inner)) {
            out += '{';
            out += inner;
            out += '}';
        } else {
            ok = false;
        }
        secureWipe(inner);
        secureWipe(upper);
        i += length;
    }
    // The hot key also fills in "%USERNAME%", "%PASSWORD%" and "%NOTES%",
    // which KeePass types as keys.
    for (const char* placeholder : {"%USERNAME%", "%PASSWORD%", "%NOTES%"})
        if (out.find(placeholder) != WipedString::npos) ok = false;
    if (ok) converted.assign(out.data(), out.size());
    secureWipe(out);
    return ok;
}

bool KeyholdWindowPattern(const std::string& keePassWindow) {
    const std::string& w = keePassWindow;
    if (w.empty() || hasLineBreak(w)) return false;
    // KeePass reads "//...//" as a regular expression.
    if (w.size() >= 2 && w.compare(0, 2, "//") == 0 && w.compare(w.size() - 2, 2, "//") == 0) return false;
    const std::size_t star = w.find('*', 1);
    return star == std::string::npos || star == w.size() - 1;
}

std::string AutoTypeNotesLines(const tKeePassAutoType& autoType) {
    const bool enabled = autoType.enabled;
    // The hot key has one sequence for every window: the entry's own, or
    // else the first a window has.
    const std::string* sequence = &autoType.defaultSequence;
    if (sequence->empty())
        for (const auto& a : autoType.associations)
            if (!a.sequence.empty()) {
                sequence = &a.sequence;
                break;
            }

    WipedString lines;
    if (!enabled) lines += "Auto-type was off for this entry in the export.\r\n";
    if (!isKeePassDefault(*sequence)) {
        std::string converted;
        if (enabled && KeyholdSequence(*sequence, converted) && !hasKeyword(converted)) {
            lines += kSequenceKeyword;
            lines.append(converted.data(), converted.size());
            lines += kCrLf;
        } else {
            appendPlainLine(lines, "Auto-type sequence not used by the hot key: ", *sequence);
        }
        secureWipe(converted);
    }
    for (const auto& a : autoType.associations) {
        if (enabled && KeyholdWindowPattern(a.window) && !hasKeyword(a.window)) {
            lines += kWindowKeyword;
            lines.append(a.window.data(), a.window.size());
            lines += kCrLf;
        } else if (!a.window.empty()) {
            appendPlainLine(lines, "Auto-type window not used by the hot key: ", a.window);
        }
        if (!a.sequence.empty() && !sameSequence(a.sequence, *sequence))
            appendPlainLine(lines, "Auto-type sequence for that window, not used by the hot key: ", a.sequence);
    }
    std::string result(lines.data(), lines.size());
    secureWipe(lines);
    return result;
}

void DefuseAutoTypeKeywords(WipedString& text, std::size_t from) {
    // "Auto-Type-Window:" holds "Auto-Type", so one search finds both.
    const char stem[] = "Auto-Type";
    for (std::size_t at = text.find(stem, from); at != WipedString::npos; at = text.find(stem, at + 1)) {
        const std::size_t after = at + sizeof stem - 1;
        if (text.compare(after, 1, ":") == 0 || text.compare(after, 8, "-Window:") == 0)
            text[at + 5] = 't';  // the T of "Auto-Type"
    }
}
