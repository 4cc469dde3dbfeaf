// Exports in CSV: KeePassXC's, KeePass 2's own, Chrome's and Firefox's, each
// recognised by its header line.
#pragma once

#include <string>

#include "ImportedData.h"

// Reads `text` (the file's bytes; a UTF-8 or UTF-16 byte-order mark is
// honoured, UTF-8 otherwise). eNotAnExport when the first line is no header
// of a known export; eMalformed, with `error` for the user, when the text
// is not valid in its encoding or a quoted field is never closed.
eImportRead ReadCsvExport(const std::string& text, tImportedData& out, std::string& error);
