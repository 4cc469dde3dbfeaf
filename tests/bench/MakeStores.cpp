// Writes the benchmark's entries as a Keyhold store and as KeePass 2 XML, for
// scripts/compare-keepassxc.sh:
//   keyhold_make_stores ENTRIES PASSWORD STORE.xml KEEPASS.xml
// (100 folders; the store is encrypted under PASSWORD).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "StoreGenerator.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s ENTRIES PASSWORD STORE.xml KEEPASS.xml\n", argv[0]);
        return 2;
    }
    const int entries = std::atoi(argv[1]);
    if (entries < 100) {
        std::fprintf(stderr, "at least 100 entries (one per folder)\n");
        return 2;
    }
    std::ofstream(argv[3], std::ios::binary) << generateStore(100, entries, argv[2]);
    std::ofstream(argv[4], std::ios::binary) << generateKeePassXml(100, entries);
    return 0;
}
