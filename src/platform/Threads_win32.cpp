// On x86_64 a frame's handler is named in the unwind data of its function,
// and GCC names only its own personality routine there. So the body is called
// from this small function, whose unwind data names our handler (defined below
// with the rest). It keeps the containment in its caller's home slot for the
// first argument, 48 bytes above its frame (the stack pointer after
// `sub $40`), where the handler finds it. The `nop` keeps the return address
// out of the epilogue, where the system would not look for a handler.
//
// It comes first in the file so that nothing GCC emits precedes it: it
// switches to .text, which is where GCC stands at the start.
#if defined(__x86_64__)
__asm__(R"(
    .text
    .p2align 4
    .def keyhold_contained_call; .scl 3; .type 32; .endef
keyhold_contained_call:
    .seh_proc keyhold_contained_call
    .seh_handler keyhold_contained_handler, @except
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    movq %rcx, 48(%rsp)
    call *%rdx
    nop
    addq $40, %rsp
    ret
    .seh_endproc
    .text
)");
#endif

#include <malloc.h>  // _resetstkoflw
#include <windows.h>

#include <atomic>

#include "NPException.h"
#include "platform/Threads.h"

namespace platform {
namespace {

std::uint64_t millisecondsOf(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return v.QuadPart / 10000u;  // 100-ns units
}

// Containing a hardware fault. GCC for Windows has neither __try/__except nor
// _set_se_translator, so this is built from what the system offers any
// compiler: an exception handler of our own, registered for the frame from
// which the body is called. The system offers an exception to the handlers of
// the frames from the faulting one outwards, so ours is asked only once every
// handler the body's callees registered has passed it by: a fault a library
// takes care of itself (a pointer probed under its own __try, the exception
// OutputDebugString raises, the host's own try/except around its callbacks)
// never reaches us, and a fault on any other thread never walks our frame.
// Vectored handlers come before every frame; they stay their owners' business.
//
// When the handler takes a fault, it lets the thread go on, not at the
// faulting instruction, but in land(), which jumps back to runGuarded. The
// body's frames in between are abandoned as they are: no destructor runs in
// them, no catch sees anything, and what they held stays held (a mutex, a
// critical section, the heap's lock when the fault hit inside the allocator,
// memory they owned). A fault is a bug; this keeps the process alive to say
// so, it does not make the body's state whole.
//
// A stack overflow is taken too, but by a vectored handler: to reach a frame
// handler the system walks the frames out to ours, with copies of the context
// on the stack, and what is left of the stack after an overflow is not always
// enough for that (wine ends the thread on its first overflow). So a stack
// overflow is taken before any frame sees it; a body that handles its own
// stack overflows cannot be contained. The vectored handler is installed once,
// for the life of the library, and takes nothing but a stack overflow on a
// thread that is inside runContained; every other thread and code goes by.
// land() needs almost no stack, and it runs high up, where the body began. The
// system turned the guard page at the end of the stack into an ordinary page
// to deliver the overflow; _resetstkoflw puts it back once we are out of the
// deep end, so a second overflow on the same thread is caught the same way.

// The codes of faults a body can cause by itself, taken by our frame's handler
// (a stack overflow is taken before, see above). Breakpoints, single steps,
// debugger output, thread names, C++ exceptions (GCC's 0x20474343, MSVC's
// 0xE06D7363) and anyone's own codes are passed on untouched.
constexpr DWORD kFloatMultipleFaults = 0xC00002B4;  // SSE faults, reported together
constexpr DWORD kFloatMultipleTraps = 0xC00002B5;

bool containable(DWORD code) {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION:
        case EXCEPTION_IN_PAGE_ERROR:
        case EXCEPTION_ILLEGAL_INSTRUCTION:
        case EXCEPTION_PRIV_INSTRUCTION:
        case EXCEPTION_DATATYPE_MISALIGNMENT:
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        case EXCEPTION_FLT_DENORMAL_OPERAND:
        case EXCEPTION_FLT_DIVIDE_BY_ZERO:
        case EXCEPTION_FLT_INEXACT_RESULT:
        case EXCEPTION_FLT_INVALID_OPERATION:
        case EXCEPTION_FLT_OVERFLOW:
        case EXCEPTION_FLT_STACK_CHECK:
        case EXCEPTION_FLT_UNDERFLOW:
        case kFloatMultipleFaults:
        case kFloatMultipleTraps:
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
        case EXCEPTION_INT_OVERFLOW:
            return true;
        default:
            return false;
    }
}

struct Containment {
    void* jump[5] = {};  // __builtin_setjmp's buffer
    const std::function<void()>* body = nullptr;
    ULONG_PTR stack = 0;  // where the body's frames begin, below runGuarded's
    DWORD code = 0;
    bool taken = false;  // once taken, a fault on the way to the landing is not ours
};

// Reached in place of the faulting instruction, with the containment in the
// first argument register (ecx on i686, rcx on x86_64).
#if defined(__i386__)
__attribute__((noinline, noreturn, fastcall))
#else
__attribute__((noinline, noreturn))
#endif
void land(Containment* c) {
    __builtin_longjmp(c->jump, 1);
}

// Lets the thread resume in land() instead of at the fault, unless the fault
// cannot be continued from or one was taken already.
bool take(const EXCEPTION_RECORD* record, CONTEXT* context, Containment* c) {
    if (record->ExceptionFlags & (EXCEPTION_NONCONTINUABLE | EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return false;
    if (c->taken || c->stack == 0) return false;
    c->taken = true;
    c->code = record->ExceptionCode;
    // land() runs where the body's first frames were. That memory is in use
    // (or was, until the fault) and is committed even after a stack overflow;
    // the context is copied away before the thread resumes on it.
    const ULONG_PTR stack = (c->stack - 256) & ~ULONG_PTR(15);
#if defined(__x86_64__)
    context->Rsp = stack - 8;  // as if land() had been called
    context->Rip = reinterpret_cast<DWORD64>(&land);
    context->Rcx = reinterpret_cast<DWORD64>(c);
#else
    context->Esp = stack - 4;
    context->Eip = reinterpret_cast<DWORD>(&land);
    context->Ecx = reinterpret_cast<DWORD>(c);
#endif
    return true;
}

void enter(Containment* c) {
    c->stack = reinterpret_cast<ULONG_PTR>(__builtin_frame_address(0));
    (*c->body)();
}

// The containment the calling thread is in, if any, for the vectored handler.
DWORD g_currentSlot = TLS_OUT_OF_INDEXES;

LONG CALLBACK overflowHandler(EXCEPTION_POINTERS* info) {
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_STACK_OVERFLOW) return EXCEPTION_CONTINUE_SEARCH;
    Containment* c = static_cast<Containment*>(TlsGetValue(g_currentSlot));
    if (c == nullptr) return EXCEPTION_CONTINUE_SEARCH;
    return take(info->ExceptionRecord, info->ContextRecord, c) ? EXCEPTION_CONTINUE_EXECUTION
                                                               : EXCEPTION_CONTINUE_SEARCH;
}

// Installed by the first runContained at the end of the list of vectored
// handlers (those before it see a stack overflow first), and removed when the
// library goes.
class OverflowWatch {
public:
    OverflowWatch() {
        g_currentSlot = TlsAlloc();
        if (g_currentSlot != TLS_OUT_OF_INDEXES) m_handler = AddVectoredExceptionHandler(0, overflowHandler);
    }
    ~OverflowWatch() {
        if (m_handler != nullptr) RemoveVectoredExceptionHandler(m_handler);
        if (g_currentSlot != TLS_OUT_OF_INDEXES) TlsFree(g_currentSlot);
    }
    OverflowWatch(const OverflowWatch&) = delete;
    OverflowWatch& operator=(const OverflowWatch&) = delete;

    static bool ready() {
        static OverflowWatch watch;
        return watch.m_handler != nullptr;
    }

private:
    void* m_handler = nullptr;
};

// Makes a containment the calling thread's current one for as long as it
// lives, and the one it was in before current again afterwards.
class Current {
public:
    explicit Current(Containment* c) : m_active(OverflowWatch::ready()) {
        if (!m_active) return;
        m_outer = TlsGetValue(g_currentSlot);
        TlsSetValue(g_currentSlot, c);
    }
    ~Current() {
        if (m_active) TlsSetValue(g_currentSlot, m_outer);
    }
    Current(const Current&) = delete;
    Current& operator=(const Current&) = delete;

private:
    bool m_active;
    void* m_outer = nullptr;
};

// Set when the system detaches the library from a process that is ending
// (ExitProcess, from whichever thread, or a return from main): by then it has
// stopped every other thread, wherever each one was.
std::atomic<bool> g_processEnding{false};

// The floating-point control state at the start of the body, put back after a
// fault: the body may have unmasked exceptions, and a fault of the x87 unit
// stays pending until it is cleared.
struct FloatState {
    unsigned short x87 = 0;
    unsigned int sse = 0;
};

bool hasSse() {
#if defined(__x86_64__)
    return true;
#else
    static const bool present = IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != FALSE;
    return present;
#endif
}

FloatState saveFloatState() {
    FloatState s;
    __asm__ __volatile__("fnstcw %0" : "=m"(s.x87));
    if (hasSse()) __asm__ __volatile__("stmxcsr %0" : "=m"(s.sse));
    return s;
}

void restoreFloatState(const FloatState& s) {
    __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(s.x87));
    if (hasSse()) __asm__ __volatile__("ldmxcsr %0" : : "m"(s.sse));
}

}  // namespace
}  // namespace platform

#if defined(__x86_64__)
// The function at the top of the file, and its handler.
extern "C" void keyhold_contained_call(platform::Containment* c, void (*enter)(platform::Containment*));
extern "C" __attribute__((used)) EXCEPTION_DISPOSITION keyhold_contained_handler(EXCEPTION_RECORD* record, void* frame,
                                                                                 CONTEXT* context, void*) {
    platform::Containment* c = *reinterpret_cast<platform::Containment**>(static_cast<char*>(frame) + 48);
    return platform::containable(record->ExceptionCode) && platform::take(record, context, c)
               ? ExceptionContinueExecution
               : ExceptionContinueSearch;
}
#endif

namespace platform {
namespace {

#if defined(__i386__)
// On i686 a frame's handler is a record on the stack, linked into the list the
// thread's information block starts; ours carries the containment behind it.
struct Registration {
    EXCEPTION_REGISTRATION_RECORD record;
    Containment* c;
};

EXCEPTION_DISPOSITION NTAPI containedHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context, void*) {
    Containment* c = static_cast<Registration*>(frame)->c;
    return containable(record->ExceptionCode) && take(record, context, c) ? ExceptionContinueExecution
                                                                          : ExceptionContinueSearch;
}

// The list's head is the first word of the thread information block, at fs:0.
EXCEPTION_REGISTRATION_RECORD* exceptionList() {
    EXCEPTION_REGISTRATION_RECORD* head;
    __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
    return head;
}
void setExceptionList(EXCEPTION_REGISTRATION_RECORD* head) {
    __asm__ __volatile__("movl %0, %%fs:0" : : "r"(head) : "memory");
}
#endif

// Even a vectored handler is called on the thread's own stack, after the
// system has put the context there. A thread that runs contained bodies keeps
// some stack in reserve for that (from then on; the reserve only grows).
void reserveOverflowStack() {
    ULONG size = 16 * 1024;
    SetThreadStackGuarantee(&size);
}

// True when the body returned; false when a fault was taken. A C++ exception
// from the body goes on to our caller.
__attribute__((noinline)) bool runGuarded(Containment& c) {
    const FloatState floats = saveFloatState();
    const Current current(&c);
#if defined(__i386__)
    Registration registration;
    registration.record.Next = exceptionList();
    registration.record.Handler = &containedHandler;
    registration.c = &c;
    // Unlinked on every way out. After a fault, the records of the abandoned
    // frames go with it.
    struct Unlink {
        EXCEPTION_REGISTRATION_RECORD* outer;
        ~Unlink() { setExceptionList(outer); }
    } unlink{registration.record.Next};
#endif
    if (__builtin_setjmp(c.jump) == 0) {
#if defined(__i386__)
        setExceptionList(&registration.record);
        enter(&c);
#else
        keyhold_contained_call(&c, &enter);
#endif
        return true;
    }
    restoreFloatState(floats);
    if (c.code == EXCEPTION_STACK_OVERFLOW) _resetstkoflw();
    return false;
}

class Win32Threads : public Threads {
public:
    unsigned long currentThreadId() override { return GetCurrentThreadId(); }

    bool currentThreadTimes(std::uint64_t& kernelMs, std::uint64_t& userMs) override {
        FILETIME created, exited, kernel, user;
        if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return false;
        kernelMs = millisecondsOf(kernel);
        userMs = millisecondsOf(user);
        return true;
    }

    // A thread still running when the library is freed would run on in
    // unmapped code, and one cannot be waited for while the system unloads the
    // library (it holds the loader lock the ending thread needs). So every
    // thread of ours holds a reference on the library; it is given back once
    // the thread has been joined, which happens before the host frees us.
    void* holdModule() override {
        HMODULE module = nullptr;
        if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&anchor), &module))
            return nullptr;
        return module;
    }
    void releaseModule(void* token) override {
        if (token != nullptr) FreeLibrary(static_cast<HMODULE>(token));
    }

    bool runContained(const std::function<void()>& body, ThreadFault& fault) override {
        reserveOverflowStack();
        Containment c;
        c.body = &body;
        if (runGuarded(c)) return true;
        fault.code = c.code;
        fault.description = CNPSEHException::describe(c.code);
        return false;
    }

    // Once a process ends, the system stops its other threads before it lets
    // the libraries go. The library hears of it first (below); ntdll tells
    // it as well.
    bool processEnding() override {
        if (g_processEnding.load()) return true;
        using Query = BOOLEAN(WINAPI*)();
        static const Query query = reinterpret_cast<Query>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlDllShutdownInProgress")));
        return query != nullptr && query() != FALSE;
    }

private:
    static void anchor() {}
};

}  // namespace

Threads* nativeThreads() {
    static Win32Threads instance;
    return &instance;
}

}  // namespace platform

// The library's entry point. The run-time calls it before the library's
// static objects are destroyed, so their destructors know why they run: a
// detach with a reason (lpReserved not null) is the end of the process, with
// the other threads stopped; one without is a FreeLibrary that dropped the
// last reference, which cannot happen while a thread of ours runs (each one
// holds a reference, see holdModule).
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) platform::g_processEnding = true;
    return TRUE;
}
