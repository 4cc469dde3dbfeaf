#include "ThreadCount.h"

#include <windows.h>
#include <tlhelp32.h>

namespace panel {

int threadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    const DWORD self = GetCurrentProcessId();
    int n = 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == self) ++n;
        entry.dwSize = sizeof entry;
    }
    CloseHandle(snapshot);
    return n;
}

}  // namespace panel
