// Texts of export files: which encoding they are in, and turning them into
// UTF-8 before they are read.
#pragma once

#include <cstdint>
#include <string>

namespace importtext {

// Appends the UTF-8 form of a code point.
void appendUtf8(std::string& out, std::uint32_t cp);

enum class eEncoding { eUtf8, eUtf16LE, eUtf16BE, eLatin1, eWindows1252, eUnknown };

// The encoding a byte-order mark at the start of `bytes` names, and its
// length in `markLength`; eUnknown (length 0) without one.
eEncoding fromByteOrderMark(const std::string& bytes, std::size_t& markLength);

// The encoding an XML declaration's or charset's name stands for, any case:
// "UTF-8", "UTF8", "US-ASCII", "ASCII", "ISO-8859-1", "Latin1", "Windows-1252",
// "CP1252", "UTF-16" (with its byte order from the mark). eUnknown otherwise.
eEncoding fromName(const std::string& name);

// Replaces `text` (bytes in `from`, without a byte-order mark) by the same
// text in UTF-8. False, with `error` saying where, when the bytes are not
// valid in that encoding (the text then is unchanged). Every intermediate
// copy is wiped.
bool toUtf8(std::string& text, eEncoding from, std::string& error);

// True when `text` is valid UTF-8 (no overlong forms, no surrogates, nothing
// above U+10FFFF); `where` is the offset of the first invalid byte.
bool isValidUtf8(const std::string& text, std::size_t& where);

// Line ends made CR LF: every CR LF, lone CR and lone LF becomes CR LF.
std::string withCrLf(const std::string& text);

}  // namespace importtext
