// KeePass auto-type settings of one entry, turned into lines of its notes
// that the hot key understands ("Auto-Type-Window:" and "Auto-Type:"), or,
// where they ask for what it cannot do, into plain lines that keep them.
#pragma once

#include <string>
#include <vector>

#include "security/SecureString.h"

struct tKeePassAutoType {
    struct Association {
        std::string window;
        std::string sequence;  // empty: the entry's sequence
    };
    bool enabled = true;
    std::string defaultSequence;  // empty: KeePass's default
    std::vector<Association> associations;
};

// The lines, each ending in CR LF, to append to the entry's notes; empty when
// there is nothing to say.
std::string AutoTypeNotesLines(const tKeePassAutoType& autoType);

// The sequence in the hot key's language, placeholders it knows ({USERNAME},
// {PASSWORD}, {NOTES}, any case) written as it knows them and KeePass's
// escaped characters ({+}, {{}, ...) by their names; false when the sequence
// needs anything the hot key cannot do (another placeholder, an unknown
// brace command, an unclosed brace).
bool KeyholdSequence(const std::string& keePassSequence, std::string& converted);

// A window title pattern the hot key matches as KeePass does: not a
// //regular expression//, no line break, and stars only as the first and/or
// last character.
bool KeyholdWindowPattern(const std::string& keePassWindow);

// From `from` on, "Auto-Type:" and "Auto-Type-Window:" written with a lower-case
// t: a line that only keeps what an export said must not be read as a
// definition of the hot key's.
void DefuseAutoTypeKeywords(WipedString& text, std::size_t from);
