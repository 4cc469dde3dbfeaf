// The first listing of a large store, one single change and a change of the
// master password, each beside the floor that no implementation of this file
// format can beat, at 1,000, 10,000 and 100,000 entries; the time from the
// hot key to the first key sent; and the peak memory of a first listing
// (--memory). The work of a load and of a password change is spread over
// parallel::threadCount() threads, so those two are compared with their floor
// divided by that count; the table at the end prints both.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <tinyxml.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/modes.h>
#include <cryptopp/osrng.h>
#include <cryptopp/pwdbased.h>
#include <cryptopp/sha.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>

#include "AutoTypeDispatch.h"
#include "StoreChanges.h"
#include "KeyholdApp.h"
#include "Listing.h"
#include "MasterPassword.h"
#include "ParallelWork.h"
#include "StoreGenerator.h"
#include "XmlData.h"
#include "platform/AutoTypeDesktop_memory.h"
#include "platform/Files.h"
#include "platform/Platform.h"

namespace {

constexpr int kFolders = 100;

struct Store {
    std::string dir, ini, path, content;
    explicit Store(int entries) {
        char tmpl[] = "/tmp/keyhold-bench-XXXXXX";
        dir = mkdtemp(tmpl);
        ini = dir + "/keyHold.ini";
        path = dir + "/database.xml";
        content = generateStore(kFolders, entries, "bench");
        std::ofstream(path, std::ios::binary) << content;
        std::ofstream(ini) << "[MAIN]\ndatafile=" << path << "\nNewEntryFolder=1\n[DEVELOPMENT]\nMasterPassword=bench\n";
    }
};

// The store of that many entries, made on first use; its settings are the
// ones in force from then on.
Store& store(int entries) {
    static std::map<int, std::unique_ptr<Store>> stores;
    std::unique_ptr<Store>& s = stores[entries];
    if (!s) s = std::make_unique<Store>(entries);
    settings().load(s->ini, s->dir);
    return *s;
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

// Opens the store (the master password comes from the settings) and lists
// its root; false when it did not open.
bool firstListing() {
    wfx::WIN32_FIND_DATAA fd;
    wfx::HANDLE h = FindFirst("\\", &fd);
    if (h == wfx::invalidHandle()) return false;
    int n = 1;
    while (FindNext(h, &fd)) ++n;
    FindClose(h);
    benchmark::DoNotOptimize(n);
    return true;
}

void BM_FirstListing(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    store(entries);
    for (auto _ : state) {
        reset();
        if (!firstListing()) state.SkipWithError("the store did not open");
    }
    state.counters["threads"] = static_cast<double>(parallel::threadCount());
    state.counters["peak_rss_MB"] = peakRssMb();
}

// What any loader of this format must do: parse the file and, per entry,
// derive two keys and decrypt two values (the title and the creation time
// the listing shows).
void BM_FloorFirstListing(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    const std::string& content = store(entries).content;
    for (auto _ : state) {
        TiXmlDocument doc;
        doc.Parse(content.c_str());
        for (int i = 0; i < 2 * entries; ++i) {
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

// The first entry of a freshly opened store.
TreePos openFirstEntry(int entries) {
    store(entries);
    reset();
    firstListing();
    TreePos entry = passwordTree().begin();
    while (entry != passwordTree().end() && !entry->isEntry()) ++entry;
    return entry;
}

void BM_SingleChange(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    TreePos entry = openFirstEntry(entries);
    for (auto _ : state) {
        entry->setLastAccessTimeNow();
        if (xmlData().updateXML(*entry) != 1) state.SkipWithError("the change was not saved");
    }
}

// Printing the whole document, writing it and flushing it to the disk.
void BM_FloorSingleChange(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    TiXmlDocument doc;
    doc.Parse(store(entries).content.c_str());
    std::string path = store(entries).dir + "/floor.xml";
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

// Every value of the store encrypted anew under another master password and
// the store saved; the passwords take turns.
void BM_MasterPasswordChange(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    openFirstEntry(entries);
    CSecureString passwords[2];
    passwords[0].setText("bench");
    passwords[1].setText("bench, the second");
    int turn = 0;
    for (auto _ : state) {
        if (ReEncryptAll(passwords[turn], passwords[1 - turn]) != 1) state.SkipWithError("the change failed");
        turn = 1 - turn;
    }
    // The settings name "bench": the store is left under it.
    if (turn == 1) ReEncryptAll(passwords[1], passwords[0]);
}

// What any change of the password must do: parse the file; per stored value
// derive the old key and decrypt, draw a salt, derive the new key and
// encrypt; print the document, write it and flush it to the disk.
void BM_FloorMasterPasswordChange(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    const Store& s = store(entries);
    const std::string path = s.dir + "/floor.xml";
    // The generated entries hold nine encrypted values each.
    constexpr int kValues = 9;
    CryptoPP::AutoSeededRandomPool random;
    for (auto _ : state) {
        TiXmlDocument doc;
        doc.Parse(s.content.c_str());
        for (int i = 0; i < kValues * entries; ++i) {
            CryptoPP::byte key[16], salt[8] = {1, 2, 3, 4, 5, 6, 7, static_cast<CryptoPP::byte>(i)};
            CryptoPP::PKCS5_PBKDF2_HMAC<CryptoPP::SHA1>().DeriveKey(
                key, 16, 0, reinterpret_cast<const CryptoPP::byte*>("bench"), 5, salt, 8, 10, 0.0);
            std::string cipher;
            CryptoPP::ECB_Mode<CryptoPP::AES>::Encryption e(key, 16);
            CryptoPP::StringSource(std::string("Account 0-0 at example"), true,
                                   new CryptoPP::StreamTransformationFilter(e, new CryptoPP::StringSink(cipher)));
            std::string plain;
            CryptoPP::ECB_Mode<CryptoPP::AES>::Decryption d(key, 16);
            CryptoPP::StringSource(cipher, true,
                                   new CryptoPP::StreamTransformationFilter(d, new CryptoPP::StringSink(plain)));
            random.GenerateBlock(salt, sizeof salt);
            CryptoPP::PKCS5_PBKDF2_HMAC<CryptoPP::SHA1>().DeriveKey(
                key, 16, 0, reinterpret_cast<const CryptoPP::byte*>("other"), 5, salt, 8, 10, 0.0);
            std::string hex;
            CryptoPP::ECB_Mode<CryptoPP::AES>::Encryption again(key, 16);
            CryptoPP::StringSource(plain, true,
                                   new CryptoPP::StreamTransformationFilter(
                                       again, new CryptoPP::HexEncoder(new CryptoPP::StringSink(hex))));
            benchmark::DoNotOptimize(hex);
        }
        TiXmlPrinter printer;
        doc.Accept(&printer);
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(printer.CStr(), 1, printer.Size(), f);
        std::fflush(f);
        fsync(fileno(f));
        std::fclose(f);
    }
}

// The hot key pressed in a window that one entry of 10,000 matches: the time
// until the first key of its user name goes out. The desktop is the
// in-memory one: what is measured is the dispatch, not a display.
void BM_HotKeyToFirstKey(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    openFirstEntry(entries);
    platform::MemoryAutoTypeDesktop desktop;
    platform::AutoTypeDesktop* saved = platform::services().autoTypeDesktop;
    platform::services().autoTypeDesktop = &desktop;
    void* const window = reinterpret_cast<void*>(0x900);
    desktop.foreground = window;
    // The generated notes read "Auto-Type-Window: *Example Login F-E*": the
    // blank after the colon makes it a pattern whose middle, "*example login
    // F-E", must occur in the title: entry 7 of folder 50 matches, and no
    // other (entry 70 would need "50-70").
    const int folder = kFolders / 2, inFolder = 7;
    desktop.titles[window] = "*Example Login " + std::to_string(folder) + "-" + std::to_string(inFolder) + " - Browser";
    using Clock = std::chrono::steady_clock;
    Clock::time_point firstKey;
    bool sent = false;
    desktop.onEvent = [&](const platform::MemoryAutoTypeDesktop::Event&) {
        if (!sent) firstKey = Clock::now(), sent = true;
    };
    for (auto _ : state) {
        sent = false;
        desktop.events.clear();
        const Clock::time_point pressed = Clock::now();
        onHotKey(0);
        if (!sent) {
            state.SkipWithError("nothing was typed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(firstKey - pressed).count());
    }
    platform::services().autoTypeDesktop = saved;
}

// A KeePass 2 XML export of that many entries in 100 groups copied into the
// root of an empty store: read, every entry encrypted, one save. The store
// is made empty again before each run.
void BM_ImportExport(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    Store& empty = store(0);
    const std::string exportPath = empty.dir + "/export.xml";
    std::ofstream(exportPath, std::ios::binary) << generateKeePassXml(kFolders, entries);
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(empty.path, std::ios::binary) << empty.content;
        reset();
        if (!firstListing()) state.SkipWithError("the store did not open");
        state.ResumeTiming();
        if (PutFile(exportPath.c_str(), "\\export.xml", 0) != wfx::FS_FILE_OK) {
            state.SkipWithError("the import failed");
            break;
        }
    }
    state.counters["entries"] = entries;
    state.counters["per_entry"] =
        benchmark::Counter(static_cast<double>(entries), benchmark::Counter::kIsIterationInvariantRate |
                                                             benchmark::Counter::kInvert);
    std::remove(exportPath.c_str());
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int entries : {1000, 10000, 100000}) b->Arg(entries);
}

BENCHMARK(BM_FirstListing)->Apply(sizes)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FloorFirstListing)->Apply(sizes)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SingleChange)->Apply(sizes)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_FloorSingleChange)->Apply(sizes)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_MasterPasswordChange)->Apply(sizes)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FloorMasterPasswordChange)->Apply(sizes)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ImportExport)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HotKeyToFirstKey)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The console report, and at its end each benchmark beside its floor: for
// the work spread over threads, the floor divided by their number too.
class BesideTheFloor : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
            m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const double threads = static_cast<double>(parallel::threadCount());
        std::printf("\n%-22s %8s %10s %10s %12s %8s %14s\n", "beside its floor (ms)", "entries", "ours", "floor",
                    "floor/threads", "ratio", "ours per entry");
        for (const auto& [name, parallelWork] :
             {std::pair<const char*, bool>{"FirstListing", true}, {"SingleChange", false}, {"MasterPasswordChange", true}}) {
            for (int entries : {1000, 10000, 100000}) {
                const std::string suffix = "/" + std::to_string(entries) + "/iterations:";
                const double ours = find(std::string("BM_") + name + suffix);
                const double floor = find(std::string("BM_Floor") + name + suffix);
                if (ours <= 0 || floor <= 0) continue;
                const double yardstick = parallelWork ? floor / threads : floor;
                std::printf("%-22s %8d %10.1f %10.1f %12.1f %7.2fx %11.1f us\n", name, entries, ours, floor,
                            parallelWork ? floor / threads : floor, ours / yardstick, ours * 1000.0 / entries);
            }
        }
        std::printf("(threads: %d; the ratio is against floor/threads where the work is spread over them)\n",
                    static_cast<int>(threads));
    }

private:
    double find(const std::string& prefix) const {
        for (const auto& [name, time] : m_times)
            if (name.rfind(prefix, 0) == 0) return time;
        return 0;
    }
    std::map<std::string, double> m_times;
};

// Peak memory of one first listing, alone in a fresh process: the child opens
// the store from the file and lists the root; the parent reads its peak.
int measureMemory() {
    for (int entries : {1000, 10000, 100000}) {
        Store& s = store(entries);
        const double fileMb = static_cast<double>(s.content.size()) / 1e6;
        pid_t pid = fork();
        if (pid == 0) {
            reset();
            std::string().swap(s.content);
            _exit(firstListing() ? 0 : 1);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        std::printf("%6d entries, store file %.1f MB: first listing alone, peak RSS %.1f MB (exit %d)\n", entries,
                    fileMb, static_cast<double>(usage.ru_maxrss) / 1024.0, WEXITSTATUS(status));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--memory") return measureMemory();
    benchmark::Initialize(&argc, argv);
    BesideTheFloor reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
