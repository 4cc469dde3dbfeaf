// How deeply the XML library would nest the elements of a text, found without
// recursion by reading the text the way the library reads it: quoted
// attribute values, comments, CDATA sections, declarations and unknown tags
// hide their contents, and where the library steps over a UTF-8 sequence by
// its lead byte, so does this. The library parses recursively, one level of
// the stack per element level; a text whose depth is above a limit is never
// given to it.
#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// Where the children of a text's first top-level element lie, as read by
// the scanner: found only when that element holds nothing but elements with
// blanks between them, and is closed. Offsets into the text: the end of the
// root's start tag, the start of its end tag, and each child element from its
// '<' to just after its last '>'.
struct XmlRootChildren {
    bool found = false;
    std::size_t contentStart = 0, contentEnd = 0;
    std::vector<std::pair<std::size_t, std::size_t>> elements;
};

// The root's children as read in each of the library's two ways of stepping
// over bytes (UTF-8 and byte by byte); the one that applies is the one the
// library parsed the root in.
struct XmlRootReadings {
    XmlRootChildren utf8, legacy;
};

// The deepest element nesting the library would reach in `text` (read up to
// its end, with the library's handling of an early zero byte), or a number
// above `limit` as soon as one is found. Where the library's choice of
// encoding is open (no byte-order mark; a first declaration decides), the
// text after that declaration is read both ways and the deeper one counts.
// With `readings`, also where the root's children lie. The readings of a
// text are made on two threads at once.
int XmlElementDepth(const std::string& text, int limit, XmlRootReadings* readings = nullptr);
