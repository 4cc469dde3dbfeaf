// KeePass 2 XML exports, as KeePass and KeePassXC write them.
#pragma once

#include <string>

#include "ImportedData.h"

// Reads `text` (the file's bytes). eNotAnExport when it is not XML whose root
// element is "KeePassFile"; eMalformed, with `error` for the user, when it is
// but cannot be read (bad XML, an encoding not known here, bytes not valid
// in the encoding).
eImportRead ReadKeePassXmlExport(const std::string& text, tImportedData& out, std::string& error);
