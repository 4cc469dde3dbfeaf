// Runs bodies that fault on purpose inside Threads::runContained on worker
// threads: each fault must end its body there and come back as false with the
// system's code and its description, a C++ exception must come through as
// itself, and faults that other code deals with must stay with that code. Each
// case runs on a thread of its own, then all of them twice over on one thread,
// then on several threads at once. Prints "N passed, M failed" and exits
// non-zero when a check failed; a fault that got away ends the process.
#include <float.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "NPException.h"
#include "platform/Platform.h"
#include "platform/Threads.h"

#include "Checks.h"

namespace {

std::string hex(DWORD v) {
    char text[16];
    std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(v));
    return text;
}

// Read through volatile objects, so that the compiler can neither see the
// null pointer, the zero divisor or the end of the recursion, nor drop the
// faulting access.
int* volatile g_null = nullptr;
volatile int g_zero = 0;
volatile int g_one = 1;
volatile int g_sink = 0;
volatile double g_zeroF = 0.0;
volatile double g_sinkF = 0.0;
volatile int g_never = -1;

const std::size_t kPage = 4096;
const std::size_t kDemandPages = 16;
char* g_unmapped = nullptr;  // reserved, never committed: every access faults
char* g_probed = nullptr;    // the same, only ever probed by IsBadReadPtr
char* g_demand = nullptr;    // committed page by page by our own vectored handler
std::atomic<unsigned> g_demandNext{0};
DWORD g_probeSlot = TLS_OUT_OF_INDEXES;  // access violations at g_probed seen on this thread

bool inside(ULONG_PTR address, const char* base, std::size_t size) {
    return address >= reinterpret_cast<ULONG_PTR>(base) && address < reinterpret_cast<ULONG_PTR>(base) + size;
}

// Someone else's vectored handler, as a host or a library might install one:
// it commits the pages of g_demand on first touch and lets the thread go on,
// and it counts (without handling) the faults at g_probed.
LONG CALLBACK demandPager(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* r = info->ExceptionRecord;
    if (r->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || r->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    const ULONG_PTR address = r->ExceptionInformation[1];
    if (inside(address, g_demand, kDemandPages * kPage)) {
        VirtualAlloc(reinterpret_cast<void*>(address & ~ULONG_PTR(kPage - 1)), kPage, MEM_COMMIT, PAGE_READWRITE);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    if (inside(address, g_probed, kPage)) {
        const ULONG_PTR seen = reinterpret_cast<ULONG_PTR>(TlsGetValue(g_probeSlot));
        TlsSetValue(g_probeSlot, reinterpret_cast<void*>(seen + 1));
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// An exception code of our own, as any program may raise and handle one. The
// outermost handler, the process's unhandled-exception filter, counts it on
// the thread's behalf and lets the thread go on after RaiseException.
const DWORD kOwnCode = 0xE0C0FFEE;
DWORD g_ownSlot = TLS_OUT_OF_INDEXES;

ULONG_PTR ownCodesSeen() { return reinterpret_cast<ULONG_PTR>(TlsGetValue(g_ownSlot)); }

// Our own code, raised here, walks every handler out to the filter: true when
// it got there, so nothing on the way (a stale record of runContained among
// them) took it or lost it.
bool ownCodeReachesTheFilter() {
    const ULONG_PTR before = ownCodesSeen();
    RaiseException(kOwnCode, 0, 0, nullptr);
    return ownCodesSeen() == before + 1;
}

// A fault that got away: said so at once, instead of waiting on a debugger.
LONG WINAPI uncontained(EXCEPTION_POINTERS* info) {
    if (info->ExceptionRecord->ExceptionCode == kOwnCode) {
        TlsSetValue(g_ownSlot, reinterpret_cast<void*>(ownCodesSeen() + 1));
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    std::printf("FAILED: fault %s at %p was not contained\n%d passed, %d failed\n",
                hex(info->ExceptionRecord->ExceptionCode).c_str(), info->ExceptionRecord->ExceptionAddress,
                g_passed.load(), g_failed.load() + 1);
    std::fflush(stdout);
    ExitProcess(4);
}

__attribute__((noinline)) int recurse(int depth) {
    volatile char frame[512];
    frame[depth & 511] = static_cast<char>(depth);
    if (depth == g_never) return 0;
    return recurse(depth + 1) + frame[(depth * 7) & 511];
}

enum class Outcome { returns, faults, throws };

struct Case {
    const char* name;
    void (*body)();
    Outcome outcome;
    std::vector<DWORD> codes;  // for a fault: the codes the system may report
};

const std::vector<Case> kCases = {
    {"normal return", [] { g_sink = g_one; }, Outcome::returns, {}},
    {"null write", [] { *g_null = 1; }, Outcome::faults, {EXCEPTION_ACCESS_VIOLATION}},
    {"read of an unmapped address",
     [] { g_sink = *reinterpret_cast<volatile int*>(g_unmapped + 8); },
     Outcome::faults,
     {EXCEPTION_ACCESS_VIOLATION}},
    {"integer divide by zero", [] { g_sink = g_one / g_zero; }, Outcome::faults, {EXCEPTION_INT_DIVIDE_BY_ZERO}},
    {"illegal instruction", [] { __asm__ __volatile__("ud2"); }, Outcome::faults, {EXCEPTION_ILLEGAL_INSTRUCTION}},
    {"privileged instruction", [] { __asm__ __volatile__("hlt"); }, Outcome::faults, {EXCEPTION_PRIV_INSTRUCTION}},
    // x87 and SSE report it differently, and SSE differently again on x86_64.
    {"float divide by zero with the trap unmasked",
     [] {
         _controlfp(_MCW_EM & ~_EM_ZERODIVIDE, _MCW_EM);
         g_sinkF = 1.0 / g_zeroF;
     },
     Outcome::faults,
     {EXCEPTION_FLT_DIVIDE_BY_ZERO, 0xC00002B4, 0xC00002B5}},
    {"stack overflow", [] { g_sink = recurse(0); }, Outcome::faults, {EXCEPTION_STACK_OVERFLOW}},
    {"C++ exception", [] { throw std::runtime_error("thrown through"); }, Outcome::throws, {}},
    {"exception code of another program's own",
     [] {
         if (!ownCodeReachesTheFilter()) throw std::logic_error("raised inside, it did not reach the filter");
     },
     Outcome::returns,
     {}},
    // The probe faults, and the library's own handler deals with it.
    {"fault handled inside the callee",
     [] {
         const ULONG_PTR before = reinterpret_cast<ULONG_PTR>(TlsGetValue(g_probeSlot));
         if (!IsBadReadPtr(g_probed, 4)) throw std::logic_error("IsBadReadPtr took an unmapped page for readable");
         if (reinterpret_cast<ULONG_PTR>(TlsGetValue(g_probeSlot)) == before)
             throw std::logic_error("IsBadReadPtr did not fault");
         OutputDebugStringA("thread-fault-check: debugger output raises an exception of its own\n");
     },
     Outcome::returns,
     {}},
    {"fault handled by another vectored handler",
     [] {
         char* page = g_demand + (g_demandNext++ % kDemandPages) * kPage;
         g_sink = *reinterpret_cast<volatile int*>(page + 16);  // zero once committed
         if (g_sink != 0) throw std::logic_error("a committed page that is not zero");
         VirtualFree(page, kPage, MEM_DECOMMIT);
     },
     Outcome::returns,
     {}},
    // Faults in a contained body inside another one end only the inner body;
    // the outer one goes on.
    {"faults in a nested contained body",
     [] {
         platform::ThreadFault inner;
         if (platform::threads().runContained([] { *g_null = 2; }, inner) || inner.code != EXCEPTION_ACCESS_VIOLATION)
             throw std::logic_error("the inner null write was not contained, code " + hex(inner.code));
         if (platform::threads().runContained([] { g_sink = recurse(0); }, inner) ||
             inner.code != EXCEPTION_STACK_OVERFLOW)
             throw std::logic_error("the inner stack overflow was not contained, code " + hex(inner.code));
     },
     Outcome::returns,
     {}},
};

std::atomic<int> g_runs{0};  // cases run to their last check: a thread that died leaves some out

void runCase(const Case& c, const std::string& where) {
    struct Counted {
        ~Counted() { ++g_runs; }
    } counted;
    const std::string what = where + ", " + c.name + ": ";
    const unsigned floatControl = _controlfp(0, 0);
    bool finished = false, threw = false, returned = false;
    std::string message;
    platform::ThreadFault fault;
    try {
        returned = platform::threads().runContained(
            [&] {
                c.body();
                finished = true;
            },
            fault);
    } catch (const std::runtime_error& e) {
        threw = true;
        message = e.what();
    } catch (const std::exception& e) {
        check(false, what + "unexpected exception: " + e.what());
        return;
    }
    switch (c.outcome) {
        case Outcome::returns:
            check(returned && finished && !threw, what + "returns, having run to the end");
            break;
        case Outcome::faults: {
            check(!returned && !finished && !threw, what + "ends at the fault and reports it");
            bool known = false;
            for (DWORD code : c.codes) known = known || fault.code == code;
            check(known, what + "code " + hex(fault.code));
            check(fault.description == CNPSEHException::describe(fault.code),
                  what + "description \"" + fault.description + "\"");
            break;
        }
        case Outcome::throws:
            check(threw && message == "thrown through" && !finished, what + "the exception comes through");
            break;
    }
    check(ownCodeReachesTheFilter(), what + "afterwards, an exception raised outside reaches the outermost handler");
    // After a fault the floating-point control is as it was before the body.
    check(_controlfp(0, 0) == floatControl,
          what + "floating-point control word " + hex(_controlfp(0, 0)) + ", was " + hex(floatControl));
}

void runAll(const std::string& where) {
    for (const Case& c : kCases) runCase(c, where);
}

}  // namespace

int main() {
    startWatchdog(240000);

    SetUnhandledExceptionFilter(uncontained);
    g_unmapped = static_cast<char*>(VirtualAlloc(nullptr, kPage, MEM_RESERVE, PAGE_NOACCESS));
    g_probed = static_cast<char*>(VirtualAlloc(nullptr, kPage, MEM_RESERVE, PAGE_NOACCESS));
    g_demand = static_cast<char*>(VirtualAlloc(nullptr, kDemandPages * kPage, MEM_RESERVE, PAGE_NOACCESS));
    g_probeSlot = TlsAlloc();
    g_ownSlot = TlsAlloc();
    if (!g_unmapped || !g_probed || !g_demand || g_probeSlot == TLS_OUT_OF_INDEXES || g_ownSlot == TLS_OUT_OF_INDEXES ||
        !AddVectoredExceptionHandler(1, demandPager)) {
        std::printf("FAILED: setting up\n");
        return 1;
    }

    // Each case on a thread of its own.
    for (const Case& c : kCases) std::thread([&c] { runCase(c, "own thread"); }).join();

    // Every case twice on one thread: a second fault of each kind, a second
    // stack overflow included, on a thread that already had one.
    std::thread([] {
        runAll("one thread, first round");
        runAll("one thread, second round");
    }).join();

    // Several threads at once, while one that never enters runContained
    // probes memory on its own.
    std::atomic<bool> done{false};
    int probes = 0, misread = 0;
    std::thread prober([&] {
        while (!done) {
            ++probes;
            if (!IsBadReadPtr(g_probed, 4)) ++misread;
            Sleep(1);
        }
    });
    const int kWorkers = 4, kRounds = 5;
    std::vector<std::thread> workers;
    for (int t = 0; t < kWorkers; ++t)
        workers.emplace_back([t] {
            for (int round = 0; round < kRounds; ++round)
                runAll("thread " + std::to_string(t) + " of " + std::to_string(kWorkers) + ", round " +
                       std::to_string(round));
        });
    for (std::thread& w : workers) w.join();
    done = true;
    prober.join();
    check(probes > 0 && misread == 0, "thread outside: " + std::to_string(misread) + " of " + std::to_string(probes) +
                                          " probes took the page for readable");

    const int expected = static_cast<int>(kCases.size()) * (1 + 2 + kWorkers * kRounds);
    check(g_runs == expected, std::to_string(g_runs.load()) + " of " + std::to_string(expected) + " cases ran");

    std::printf("%d passed, %d failed\n", g_passed.load(), g_failed.load());
    return g_failed == 0 ? 0 : 1;
}
