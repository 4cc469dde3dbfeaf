#include "AutoType.h"

#include <cctype>

#include "KeyholdApp.h"
#include "Log.h"
#include "PluginSettings.h"
#include "TreeNode.h"
#include "security/SecureString.h"
#include "security/Util.h"

namespace {

const char kAutoType[] = "Auto-Type:";
const char kAutoTypeWindow[] = "Auto-Type-Window:";
const char kComment[] = "Comment:";

// Position of the first line end (CR or LF) at or after `from`, or npos.
std::size_t lineEnd(const std::string& text, std::size_t from) { return text.find_first_of("\r\n", from); }

// Length of the line end at `at`: 2 for CR LF, 1 for a lone CR or LF.
std::size_t lineEndLength(const std::string& text, std::size_t at) {
    return (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ? 2 : 1;
}

// The value that starts at `from`: up to the next line end or the end of the text.
std::string valueAt(const std::string& text, std::size_t from) {
    std::size_t end = lineEnd(text, from);
    return text.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

std::string lowerCased(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool startsWith(const std::string& text, std::size_t at, const std::string& prefix) {
    return text.compare(at, prefix.size(), prefix) == 0;
}

// Every line end becomes a single CR.
std::string lineEndsAsCR(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            if (i == 0 || text[i - 1] != '\r') out += '\r';
        } else {
            out += text[i];
        }
    }
    return out;
}

// Settings read at every use; before the settings are loaded the defaults hold.
bool defaultWindowOn() { return settings().m_defaultATW && settings().m_defaultATW->GetValue(); }
bool explicitCommentOn() { return settings().m_explicitComment && settings().m_explicitComment->GetValue(); }
std::string delayText() { return settings().m_delay ? settings().m_delay->GetValue() : std::string(); }

// The plain notes for parsing. False when they are stored encrypted and the
// decryption fails; then nothing is to be parsed.
bool plainNotes(const tTreeNode& entry, std::string& notes) {
    if (entry.notesSalt.empty()) {
        notes = entry.notes;
        return true;
    }
    notes.clear();
    return security::decrypt(entry.notes, entry.notesSalt, notes) == 1;
}

// The log names a pattern by its number in the entry's list: the patterns
// come from the notes, which never reach the log.
bool matchesPattern(const std::string& pattern, const std::string& title, int number) {
    const std::size_t n = pattern.size();
    const std::size_t firstStar = pattern.find('*');
    if (firstStar == std::string::npos) {
        if (title == pattern) {
            KH_LOG(eRubbish, "Found a match for STRING in Auto-Type-Window: #%d", number);
            return true;
        }
        KH_LOG(eRubbish, "No match found (STRING) in Auto-Type-Window: #%d", number);
        return false;
    }
    if (n == 1) {
        // "*" alone: every window, but only while DefaultATW is on.
        if (!defaultWindowOn()) return false;
        KH_LOG(eRubbish, "Found a match for * (default Auto-Type-Window)in Auto-Type-Window:");
        return true;
    }
    const std::size_t lastStar = pattern.rfind('*');
    if (firstStar == 0 && lastStar == 0) {  // *STRING
        const std::string s = pattern.substr(1);
        const std::size_t at = title.rfind(s);
        if (at == std::string::npos) return false;
        if (at + s.size() == title.size()) {
            KH_LOG(eRubbish, "Found a match for *STRING in Auto-Type-Window: #%d", number);
            return true;
        }
        KH_LOG(eRubbish, "No match found (*STRING) in Auto-Type-Window: #%d", number);
        return false;
    }
    if (firstStar == n - 1) {  // STRING*
        const std::string s = pattern.substr(0, n - 1);
        if (startsWith(title, 0, s)) {
            KH_LOG(eRubbish, "Found a match for STRING* in Auto-Type-Window: #%d", number);
            return true;
        }
        KH_LOG(eRubbish, "No match found (STRING*) in Auto-Type-Window: #%d", number);
        return false;
    }
    // *STRING*, and any pattern with stars elsewhere: the middle must occur.
    const std::string s = pattern.substr(1, n - 2);
    if (title.find(s) != std::string::npos) {
        KH_LOG(eRubbish, "Found a match for *STRING* in Auto-Type-Window: #%d", number);
        return true;
    }
    KH_LOG(eRubbish, "No match found (*STRING*) in Auto-Type-Window: #%d", number);
    return false;
}

}  // namespace

std::string keywordValue(const std::string& text, const std::string& keyword) {
    if (keyword.empty()) return std::string();
    const std::size_t at = text.find(keyword);
    if (at == std::string::npos) return std::string();
    return valueAt(text, at + keyword.size());
}

std::size_t keywordValues(const std::string& text, const std::string& keyword, std::list<std::string>& values) {
    if (keyword.empty()) return values.size();
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(keyword, from)) != std::string::npos;) {
        const std::size_t start = at + keyword.size();
        values.push_back(valueAt(text, start));
        from = start + values.back().size();
    }
    return values.size();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = lineEnd(text, from)) != std::string::npos;) {
        lines.push_back(text.substr(from, end - from));
        from = end + lineEndLength(text, end);
    }
    lines.push_back(text.substr(from));
    return lines;
}

std::string removeKeywordLines(const std::string& text, const std::string& keyword) {
    if (keyword.empty()) return text;
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t at = text.find(keyword, from);
        if (at == std::string::npos) break;
        out.append(text, from, at - from);
        const std::size_t end = lineEnd(text, at + keyword.size());
        if (end == std::string::npos) return out;
        from = end + lineEndLength(text, end);
    }
    if (from < text.size()) out.append(text, from, std::string::npos);
    return out;
}

bool isAutoTypeLine(const std::string& line) {
    return line.empty() || line == " " || line.find(kAutoTypeWindow) != std::string::npos ||
           line.find(kAutoType) != std::string::npos;
}

tAutoTypeDefinitions readAutoTypeDefinitions(const tTreeNode& entry) {
    tAutoTypeDefinitions definitions;
    std::string notes;
    if (!plainNotes(entry, notes)) return definitions;
    definitions.read = true;
    definitions.sequence = keywordValue(notes, kAutoType);
    keywordValues(notes, kAutoTypeWindow, definitions.windows);
    for (std::string& pattern : definitions.windows) pattern = lowerCased(pattern);
    secureWipe(notes);
    return definitions;
}

namespace {

void applySequence(tTreeNode& entry, std::string&& sequence) {
    entry.autoTypeSequence = std::move(sequence);
    if (!entry.autoTypeSequence.empty())
        KH_LOG(eRubbish, "Auto-Type Found: %d characters", static_cast<int>(entry.autoTypeSequence.size()));
    else
        KH_LOG(eRubbish, "No Auto-Type Found");
}

// Starts afresh: the same entry is parsed again after every unlock and edit.
void applyWindows(tTreeNode& entry, std::list<std::string>&& windows) {
    entry.autoTypeWindows = std::move(windows);
    if (entry.autoTypeWindows.empty()) {
        KH_LOG(eRubbish, "No Auto-Type-Window Found");
        return;
    }
    KH_LOG(eRubbish, "Found %d Auto-Type-Window ", static_cast<int>(entry.autoTypeWindows.size()));
    for (int number = 1; number <= static_cast<int>(entry.autoTypeWindows.size()); ++number)
        KH_LOG(eRubbish, "Auto-Type-Window Found: #%d", number);
}

}  // namespace

void applyAutoTypeDefinitions(tTreeNode& entry, tAutoTypeDefinitions&& definitions) {
    if (!definitions.read) return;
    applySequence(entry, std::move(definitions.sequence));
    applyWindows(entry, std::move(definitions.windows));
}

void parseAutoTypeDefinitions(tTreeNode& entry) { applyAutoTypeDefinitions(entry, readAutoTypeDefinitions(entry)); }

void parseAutoType(tTreeNode& entry) {
    tAutoTypeDefinitions definitions = readAutoTypeDefinitions(entry);
    if (definitions.read) applySequence(entry, std::move(definitions.sequence));
}

void parseAutoTypeWindows(tTreeNode& entry) {
    tAutoTypeDefinitions definitions = readAutoTypeDefinitions(entry);
    if (definitions.read) applyWindows(entry, std::move(definitions.windows));
}

bool matchesWindow(const tTreeNode& entry, const std::string& lowerTitle) {
    if (entry.autoTypeWindows.empty()) {
        const std::string title = lowerCased(entry.name);
        if (lowerTitle.find(title) == std::string::npos) return false;
        KH_LOG(eRubbish, "Found Default Auto-Type-Window of entry #%u", static_cast<unsigned>(entry.uniqueNumber));
        return true;
    }
    int number = 0;
    for (const std::string& pattern : entry.autoTypeWindows) {
        if (matchesPattern(pattern, lowerTitle, ++number)) return true;
    }
    return false;
}

std::string escapeKeyText(const std::string& text) {
    std::string out;
    // Room for every character escaped: the text may be a secret, and a
    // buffer that grew would be freed holding part of it.
    out.reserve(text.size() * 12);
    for (char c : text) {
        switch (c) {
            case '{': out += "{LEFTBRACE}"; break;
            case '}': out += "{RIGHTBRACE}"; break;
            case '%': out += "{PERCENT}"; break;
            case '(': out += "{LEFTPAREN}"; break;
            case ')': out += "{RIGHTPAREN}"; break;
            case '@': out += "{AT}"; break;
            case '+': out += "{PLUS}"; break;
            case '^': out += "{CARET}"; break;
            case '~': out += "{TILDE}"; break;
            default: out += c; break;
        }
    }
    return out;
}

namespace {

// Appends a field's plain text, escaped as the key sender needs it when
// `escaped`, to the sequence being put together; every temporary copy is
// wiped.
void appendField(WipedString& out, std::string value, bool escaped) {
    if (escaped) {
        std::string keys = escapeKeyText(value);
        out.append(keys.data(), keys.size());
        secureWipe(keys);
    } else {
        out.append(value.data(), value.size());
    }
    secureWipe(value);
}

// The finished sequence in a string of its own size; the working copy is wiped.
std::string finished(WipedString& out) {
    std::string sequence(out.data(), out.size());
    secureWipe(out);
    return sequence;
}

// Notes typed as they read: escaped like a user name, and each line break
// (CR LF, or a CR or an LF alone) one Enter.
std::string notesKeyText(const std::string& notes) {
    std::string escaped = escapeKeyText(notes);
    // Made in one allocation, so that no grown copy is left behind.
    std::size_t size = 0;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c == '\r' && i + 1 < escaped.size() && escaped[i + 1] == '\n') ++i;
        size += (c == '\r' || c == '\n') ? 7 : 1;
    }
    std::string out;
    out.reserve(size);
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < escaped.size() && escaped[i + 1] == '\n') ++i;
            out += "{ENTER}";
        } else {
            out += c;
        }
    }
    if (!escaped.empty()) secureWipe(&escaped[0], escaped.size());
    return out;
}

}  // namespace

std::string buildAutoTypeSequence(tTreeNode& entry) {
    const std::string delay = delayText();
    // Put together in a buffer that is wiped whenever it grows or goes away.
    WipedString out;
    if (entry.autoTypeSequence.empty()) {
        out.append(delay);
        appendField(out, entry.getUserName(), true);
        out += "{TAB}";
        out.append(delay);
        appendField(out, entry.getPassword(), true);
        out += "~";
        return finished(out);
    }

    // One pass over the definition: the values put in are never searched
    // again, so a user name, password or notes text holding a placeholder or
    // an "@" cannot change what the rest of the definition means.
    static const char* const kUserNames[] = {"{USERNAME}", "%USERNAME%"};
    static const char* const kPasswords[] = {"{PASSWORD}", "%PASSWORD%"};
    static const char* const kNotes[] = {"{NOTES}", "%NOTES%"};
    const std::string& def = entry.autoTypeSequence;
    out.reserve(def.size() + 64);
    auto placeholderAt = [&def](std::size_t i, const char* const (&names)[2]) -> std::size_t {
        for (const char* name : names) {
            const std::string n(name);
            if (startsWith(def, i, n)) return n.size();
        }
        return 0;
    };
    for (std::size_t i = 0; i < def.size();) {
        if (std::size_t len = placeholderAt(i, kUserNames)) {
            KH_LOG(eInformation, "Substituting %s", def.substr(i, len).c_str());
            out.append(delay);
            appendField(out, entry.getUserName(), true);
            i += len;
        } else if (std::size_t len = placeholderAt(i, kPasswords)) {
            KH_LOG(eInformation, "Substituting %s", def.substr(i, len).c_str());
            out.append(delay);
            appendField(out, entry.getPassword(), true);
            i += len;
        } else if (std::size_t len = placeholderAt(i, kNotes)) {
            KH_LOG(eInformation, "Substituting %s", def.substr(i, len).c_str());
            std::string notes = entry.getNotes();
            appendField(out, notesKeyText(notes), false);
            secureWipe(notes);
            i += len;
        } else if (def[i] == '@') {
            out += "{AT}";  // an at sign written in the definition is typed as one
            ++i;
        } else {
            out += def[i++];
        }
    }
    return finished(out);
}

AutoTypeInfo autoTypeInfo(tTreeNode& entry) {
    AutoTypeInfo info;
    info.keySequence = buildAutoTypeSequence(entry);
    info.notesText = lineEndsAsCR(removeKeywordLines(removeKeywordLines(entry.getNotes(), kAutoType), kAutoTypeWindow));
    return info;
}

std::string entryComment(const tTreeNode& entry) {
    const std::string notes = entry.getNotes();
    if (explicitCommentOn()) return keywordValue(notes, kComment);
    for (const std::string& line : splitLines(notes)) {
        if (!isAutoTypeLine(line)) return line;
    }
    return std::string();
}

void replaceAll(std::string& text, const std::string& find, const std::string& replacement) {
    if (find.empty()) return;
    // The text may hold secrets (a filled-in URL, say): the result is made in
    // one allocation that needs no growing, and the old text is wiped.
    std::size_t occurrences = 0;
    for (std::size_t at = 0; (at = text.find(find, at)) != std::string::npos; at += find.size()) ++occurrences;
    if (occurrences == 0) {
        KH_LOG(eInformation, "%s not found", find.c_str());
        return;
    }
    std::string out;
    out.reserve(text.size() + occurrences * replacement.size());
    std::size_t from = 0;
    int count = 0;
    for (std::size_t at; (at = text.find(find, from)) != std::string::npos;) {
        out.append(text, from, at - from);
        if (!replacement.empty() && startsWith(text, at, replacement)) {
            // Already the replacement: keep it and search on behind it.
            out.append(text, at, replacement.size());
            from = at + replacement.size();
        } else {
            out += replacement;
            from = at + find.size();
            ++count;
        }
        if (from >= text.size()) break;
    }
    if (count == 0) {
        secureWipe(&out[0], out.size());
        KH_LOG(eInformation, "%s not found", find.c_str());
        return;
    }
    if (from < text.size()) out.append(text, from, std::string::npos);
    text.swap(out);
    if (!out.empty()) secureWipe(&out[0], out.size());
    KH_LOG(eInformation, "Substituting %s: %d time(s)", find.c_str(), count);
}
