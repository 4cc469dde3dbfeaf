// How deeply the XML library would nest the elements of a text, found without
// recursion by reading the text the way the library reads it: quoted
// attribute values, comments, CDATA sections, declarations and unknown tags
// hide their contents, and where the library steps over a UTF-8 sequence by
// its lead byte, so does this. The library parses recursively, one level of
// the stack per element level; a text whose depth is above a limit is never
// given to it.
#pragma once
#include <string>

// The deepest element nesting the library would reach in `text` (read up to
// its end, with the library's handling of an early zero byte), or a number
// above `limit` as soon as one is found. Where the library's choice of
// encoding is open (no byte-order mark; a first declaration decides), the
// text after that declaration is read both ways and the deeper one counts.
int XmlElementDepth(const std::string& text, int limit);
