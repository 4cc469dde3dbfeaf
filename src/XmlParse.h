// The store's text parsed into a document, the children of its root on all
// cores. The result is the document the library builds from the whole text in
// one call; whenever that cannot be shown for a text (a root that holds other
// nodes than elements, a child that does not end where the scanner found its
// end, any error) the whole text is parsed in that one call instead, so that
// errors read as they always did.
#pragma once
#include <string>

#include "XmlNesting.h"

class TiXmlDocument;

// Parses `text`, which ends in guard zeros, into the empty `document`, as
// document.Parse(text, nullptr, TIXML_ENCODING_UNKNOWN) does.
void parseDocument(TiXmlDocument& document, const std::string& text, const XmlRootReadings& readings);

// For tests: how the last parseDocument on this thread went; true when the
// root's children were parsed on their own.
bool lastParseWasSplit();
