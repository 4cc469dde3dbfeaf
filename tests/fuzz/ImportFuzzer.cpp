// Export files are whatever the user copies into the panel: each reader
// takes any bytes without a crash, and what it reads is consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ImportCsv.h"
#include "ImportKeePassXml.h"
#include "ImportText.h"

namespace {

void check(eImportRead result, const tImportedData& data, const std::string& error) {
    if (result == eImportRead::eMalformed && error.empty()) std::abort();  // the user is told why
    if (result != eImportRead::eRead && (!data.entries.empty() || !data.folders.empty())) std::abort();
    if (result == eImportRead::eRead && data.format.empty()) std::abort();
    for (const tImportedEntry& e : data.entries) {
        // Everything read is UTF-8, whatever the export's encoding was.
        std::size_t where = 0;
        for (const std::string* s : {&e.title, &e.userName, &e.password, &e.url, &e.notes})
            if (!importtext::isValidUtf8(*s, where)) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    {
        tImportedData data;
        std::string error;
        check(ReadKeePassXmlExport(text, data, error), data, error);
    }
    {
        tImportedData data;
        std::string error;
        check(ReadCsvExport(text, data, error), data, error);
    }
    return 0;
}
