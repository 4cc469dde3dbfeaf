// Feeds arbitrary bytes to the store loader as the content of the store file:
// parse, build the tree, the pass after loading (which decrypts and encrypts
// fields), list it, write it back and read the folders. Nothing may crash,
// hang or grow out of proportion. The same bytes parsed with the root's
// children on their own threads must give the document of one parse.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <tinyxml.h>

#include "KeyholdApp.h"
#include "Listing.h"
#include "MasterPassword.h"
#include "ParallelWork.h"
#include "XmlData.h"
#include "XmlNesting.h"
#include "XmlParse.h"
#include "platform/Services_memory.h"

namespace {

struct Harness : platform::MemoryServices {
    Harness() {
        install();
        module.name = "/f/keyhold.wfx";
        files.content["/f/keyHold.ini"] = "[MAIN]\ndatafile=/f/db.xml\nNewEntryFolder=1\n";
        theApp().fsInit(1, nullptr, nullptr, nullptr);
        theApp().m_masterPassword.setText("pw");
    }
};

void listAll(TreePos folder) {
    PasswordTree& tree = passwordTree();
    for (auto c = tree.children(folder).begin(); c != tree.children(folder).end(); ++c) {
        if (c->isFolder()) {
            wfx::WIN32_FIND_DATAA fd;
            wfx::HANDLE h = FindFirst(c->absolutePath.c_str(), &fd);
            if (h != wfx::invalidHandle()) {
                while (FindNext(h, &fd)) {
                }
                FindClose(h);
            }
            listAll(c.position());
        }
        c->getUserName();
        c->getNotes();
    }
}

std::string printed(const TiXmlDocument& d) {
    TiXmlPrinter printer;
    d.Accept(&printer);
    return std::string(d.Error() ? "error " + std::string(d.ErrorDesc()) + "\n" : "") + printer.Str();
}

void parsesAsInOneCall(std::string text) {
    XmlRootReadings readings;
    if (XmlElementDepth(text, 256, &readings) > 256) return;
    text.append(8, '\0');
    TiXmlBase::SetCondenseWhiteSpace(false);
    TiXmlDocument one, split;
    one.SetTabSize(0);
    split.SetTabSize(0);
    one.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    parseDocument(split, text, readings);
    if (printed(one) != printed(split)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Harness& harness = *new Harness;  // outlives the settings written at exit
    parallel::setThreadCountForTesting(2);
    parsesAsInOneCall(std::string(reinterpret_cast<const char*>(data), size));
    harness.files.content["/f/db.xml"].assign(reinterpret_cast<const char*>(data), size);
    XmlData& xml = xmlData();
    if (xml.initializeXmlData() == eXmlLoaded) {
        // The document read becomes the store's with the tree built from it.
        xml.loadTree(2);
        TreePos base = GetBaseNode();
        if (base != passwordTree().end()) listAll(base);
        xml.writeWholeXml();
        std::map<std::string, std::uint32_t> folders;
        xml.getAllFolders(folders);
    }
    xml.resetForTesting();
    resetTreeForTesting();
    resetUniqueNumbersForTesting();
    return 0;
}
