#include <windows.h>

#include "platform/Threads.h"

namespace platform {
namespace {

std::uint64_t millisecondsOf(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return v.QuadPart / 10000u;  // 100-ns units
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

    bool runContained(const std::function<void()>& body, ThreadFault&) override {
        body();
        return true;
    }

    // Once a process ends, the system stops its other threads before it lets
    // the libraries go; ntdll tells whether that is under way.
    bool processEnding() override {
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
