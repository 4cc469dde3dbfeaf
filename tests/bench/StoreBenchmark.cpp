// The first listing of a large store and one single change, each beside the
// floor that no implementation of this file format can beat.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <tinyxml.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/modes.h>
#include <cryptopp/pwdbased.h>
#include <cryptopp/sha.h>

#include <cstdio>
#include <fstream>

#include "KeyholdApp.h"
#include "Listing.h"
#include "MasterPassword.h"
#include "StoreGenerator.h"
#include "XmlData.h"
#include "platform/Files.h"
#include "platform/Platform.h"

namespace {

constexpr int kFolders = 100;
constexpr int kEntries = 10000;

struct Store {
    std::string dir, ini, path, content;
    Store() {
        char tmpl[] = "/tmp/keyhold-bench-XXXXXX";
        dir = mkdtemp(tmpl);
        ini = dir + "/keyHold.ini";
        path = dir + "/database.xml";
        content = generateStore(kFolders, kEntries, "bench");
        std::ofstream(path, std::ios::binary) << content;
        std::ofstream(ini) << "[MAIN]\ndatafile=" << path << "\nNewEntryFolder=1\n[DEVELOPMENT]\nMasterPassword=bench\n";
        settings().load(ini, dir);
    }
};

Store& store() {
    static Store s;
    return s;
}

void reset() {
    xmlData().resetForTesting();
    resetTreeForTesting();
    resetUniqueNumbersForTesting();
}

double peakRssMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void BM_FirstListing(benchmark::State& state) {
    store();
    for (auto _ : state) {
        reset();
        wfx::WIN32_FIND_DATAA fd;
        wfx::HANDLE h = FindFirst("\\", &fd);
        if (h == wfx::invalidHandle()) state.SkipWithError("the store did not open");
        int n = 1;
        while (FindNext(h, &fd)) ++n;
        FindClose(h);
        benchmark::DoNotOptimize(n);
    }
    state.counters["peak_rss_MB"] = peakRssMb();
}

// What any loader of this format must do: parse the file and, per entry,
// derive two keys and decrypt two values (the title and the creation time
// the listing shows).
void BM_FloorFirstListing(benchmark::State& state) {
    const std::string& content = store().content;
    for (auto _ : state) {
        TiXmlDocument doc;
        doc.Parse(content.c_str());
        for (int i = 0; i < 2 * kEntries; ++i) {
            CryptoPP::byte key[16], salt[8] = {1, 2, 3, 4, 5, 6, 7, static_cast<CryptoPP::byte>(i)};
            CryptoPP::PKCS5_PBKDF2_HMAC<CryptoPP::SHA1>().DeriveKey(key, 16, 0,
                                                                     reinterpret_cast<const CryptoPP::byte*>("bench"),
                                                                     5, salt, 8, 10, 0.0);
            std::string cipher(32, '\0'), plain;
            CryptoPP::ECB_Mode<CryptoPP::AES>::Encryption e(key, 16);
            CryptoPP::StringSource(std::string("Account 0-0 at example"), true,
                                   new CryptoPP::StreamTransformationFilter(e, new CryptoPP::StringSink(plain)));
            CryptoPP::ECB_Mode<CryptoPP::AES>::Decryption d(key, 16);
            std::string back;
            CryptoPP::StringSource(plain, true,
                                   new CryptoPP::StreamTransformationFilter(d, new CryptoPP::StringSink(back)));
            benchmark::DoNotOptimize(back);
        }
        benchmark::DoNotOptimize(doc.RootElement());
    }
}

void BM_SingleChange(benchmark::State& state) {
    store();
    reset();
    wfx::WIN32_FIND_DATAA fd;
    FindClose(FindFirst("\\", &fd));
    TreePos entry = passwordTree().begin();
    while (entry != passwordTree().end() && !entry->isEntry()) ++entry;
    for (auto _ : state) {
        entry->setLastAccessTimeNow();
        if (xmlData().updateXML(*entry) != 1) state.SkipWithError("the change was not saved");
    }
}

// Printing the whole document, writing it and flushing it to the disk.
void BM_FloorSingleChange(benchmark::State& state) {
    TiXmlDocument doc;
    doc.Parse(store().content.c_str());
    std::string path = store().dir + "/floor.xml";
    for (auto _ : state) {
        TiXmlPrinter printer;
        doc.Accept(&printer);
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(printer.CStr(), 1, printer.Size(), f);
        std::fflush(f);
        fsync(fileno(f));
        std::fclose(f);
    }
}

BENCHMARK(BM_FirstListing)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FloorFirstListing)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SingleChange)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_FloorSingleChange)->Unit(benchmark::kMillisecond)->Iterations(10);
// Peak memory of one first listing, alone in a fresh process: the child opens
// the store from the file and lists the root; the parent reads its peak.
int measureMemory() {
    std::string path = store().path, ini = store().ini, dir = store().dir;
    pid_t pid = fork();
    if (pid == 0) {
        reset();
        std::string().swap(store().content);
        wfx::WIN32_FIND_DATAA fd;
        wfx::HANDLE h = FindFirst("\\", &fd);
        _exit(h == wfx::invalidHandle() ? 1 : 0);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    std::printf("store file: %.1f MB, first listing alone: peak RSS %.1f MB (exit %d)\n",
                static_cast<double>(store().content.size()) / 1e6, static_cast<double>(usage.ru_maxrss) / 1024.0,
                WEXITSTATUS(status));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--memory") return measureMemory();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
