// Auto-type definitions in entry notes, their matching against window titles,
// and the key sequence that types an entry.
//
// Notes language: three keywords, case-sensitive, anywhere in the notes:
//   "Auto-Type:"         the entry's own key sequence (first occurrence only)
//   "Auto-Type-Window:"  one window-title pattern (every occurrence, in order)
//   "Comment:"           the entry's comment (first occurrence, and only when
//                        the ExplicitComment setting is on)
// A keyword's value runs from the character after the keyword up to the next
// line end (CR LF, a lone CR or a lone LF) or the end of the notes; it is not
// trimmed. Text before a keyword on its line is ignored.
//
// Window patterns: "*" alone (matches every window when DefaultATW is on),
// "*text" (title ends with text), "text*" (title begins with text), any other
// pattern with a star (its first and last character dropped, the rest must
// occur in the title), and patterns without a star (title equals the pattern).
// Patterns are lower-cased when parsed; titles are lower-cased by the caller.
#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <vector>

struct tTreeNode;

// Notes text and key sequence of one matched entry, as the chooser shows them.
struct AutoTypeInfo {
    std::string notesText;
    std::string keySequence;
};

// The value of the keyword's first occurrence; "" when it is absent.
std::string keywordValue(const std::string& text, const std::string& keyword);
// Appends the value of every occurrence, in order; returns the list's new length.
std::size_t keywordValues(const std::string& text, const std::string& keyword, std::list<std::string>& values);
// The text cut at every line end (CR LF, lone CR, lone LF), the line end
// belonging to neither side; the piece after the last line end is the last
// line (possibly empty).
std::vector<std::string> splitLines(const std::string& text);
// A copy of the text with every piece from an occurrence of the keyword
// through its line end (or to the end of the text) erased.
std::string removeKeywordLines(const std::string& text, const std::string& keyword);
// True for an empty line, a single blank, or a line holding an auto-type keyword.
bool isAutoTypeLine(const std::string& line);

// Set `autoTypeSequence` / `autoTypeWindows` from the entry's notes. Both start
// afresh, so parsing an entry again (a second unlock, an edit) never doubles
// the window list; notes that cannot be decrypted leave the fields as they were.
void parseAutoType(tTreeNode& entry);
void parseAutoTypeWindows(tTreeNode& entry);

// Both at once, the notes decrypted once: what a store's unlock and an edit
// use. In two steps for many entries: `readAutoTypeDefinitions` only reads
// the entry and logs nothing but the decryption, so that entries can be read
// on several threads at once; `applyAutoTypeDefinitions` then sets the fields
// and logs what the two parses log.
struct tAutoTypeDefinitions {
    bool read = false;  // false: the notes could not be decrypted
    std::string sequence;
    std::list<std::string> windows;  // lower-cased
};
tAutoTypeDefinitions readAutoTypeDefinitions(const tTreeNode& entry);
void applyAutoTypeDefinitions(tTreeNode& entry, tAutoTypeDefinitions&& definitions);
void parseAutoTypeDefinitions(tTreeNode& entry);

// True when the entry may be typed into the window; `lowerTitle` is the
// window's title, already lower-cased. An entry without patterns matches a
// window whose title holds the entry's (lower-cased) title.
bool matchesWindow(const tTreeNode& entry, const std::string& lowerTitle);

// A text that the key sender types as exactly its characters: every character
// with a meaning in a key sequence is written by its brace name.
std::string escapeKeyText(const std::string& text);

// The key sequence that types the entry. Without an "Auto-Type:" definition:
// Delay, user name, {TAB}, Delay, password, Enter. With one: the definition,
// where {USERNAME} / %USERNAME% and {PASSWORD} / %PASSWORD% become the Delay
// setting followed by the escaped value, {NOTES} / %NOTES% the escaped notes
// with every line break as one {ENTER}, and every other "@" of the
// definition {AT}; the rest keeps its meaning.
std::string buildAutoTypeSequence(tTreeNode& entry);

// The entry's key sequence and its notes without the auto-type definitions
// (their lines end in a single CR).
AutoTypeInfo autoTypeInfo(tTreeNode& entry);

// The comment the "Comment" column shows: the "Comment:" value when the
// ExplicitComment setting is on, else the first line of the notes that is not
// an auto-type line.
std::string entryComment(const tTreeNode& entry);

// Replaces every occurrence of `find` by `replacement`, searching on after each
// inserted replacement; an occurrence where the text already reads as the
// whole replacement is left. Logs `find` and the count only, never the texts, so it
// may be used on secrets (but `find` itself must not be one).
void replaceAll(std::string& text, const std::string& find, const std::string& replacement);
