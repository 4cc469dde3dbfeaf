// Moving in: an export of another password manager (KeePass, KeePassXC, a
// browser) copied into a folder of the store becomes folders and entries of
// that folder, encrypted under the master password, in one save.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The largest export that is read.
constexpr std::uint64_t kMaxExportSize = 64ull * 1024 * 1024;

// The host's copy of the local file `localName` to `path` (a virtual path; its
// last component names nothing: the entries go into the folder before it).
// An FS_FILE_* result: NOTSUPPORTED when the file is no export known here
// (nothing changed, nothing said); NOTFOUND when the local file or the
// folder is not there; USERABORT when the master password was not given or
// the user stopped the import; READERROR when the export cannot be read and
// WRITEERROR when the store could not be saved (both said to the user; the
// store unchanged); OK when the import was saved (or had nothing new).
// With FS_COPYFLAGS_MOVE the export is deleted once everything in it is in
// the store.
int ImportExport(const std::string& localName, const std::string& path, int copyFlags);

// Tests only: the conversion of UTF-8 texts to the store's form in place of
// the platform's (null restores it).
void SetImportTextConversionForTesting(std::function<bool(const std::string&, std::string&)> convert);
