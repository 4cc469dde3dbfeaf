// Every service in memory, for tests and the fuzz targets: install() puts
// them in place of the native ones.
//
// Auto-type's desktop is the in-memory one (autoType); useWin32AutoType()
// puts the Win32 desktop in its place, run over the in-memory hot keys and
// keyboard of its own services (hotKeys, keyInput) and the desktop, for the
// tests of the Win32 steps.
#pragma once

#include "platform/AutoTypeDesktop_memory.h"
#include "platform/Clock_memory.h"
#include "platform/Desktop_memory.h"
#include "platform/Dialogs_memory.h"
#include "platform/Environment_memory.h"
#include "platform/Files_memory.h"
#include "platform/HotKeys_memory.h"
#include "platform/Icons_memory.h"
#include "platform/KeyInput_memory.h"
#include "platform/LastError_memory.h"
#include "platform/LogFiles_memory.h"
#include "platform/MessageBoxes_memory.h"
#include "platform/Module_memory.h"
#include "platform/Platform.h"
#include "platform/Process_memory.h"
#include "platform/Shell_memory.h"
#include "platform/Threads_memory.h"
#include "platform/Win32AutoType.h"

namespace platform {

struct MemoryServices {
    MemoryModule module;
    MemoryEnvironment environment;
    MemoryDesktop desktop;
    MemoryMessageBoxes messageBoxes;
    MemoryClock clock;
    MemoryFiles files;
    MemoryDialogs dialogs;
    MemoryLastError lastError;
    MemoryIcons icons;
    MemoryThreads threads;
    MemoryLogFiles logFiles;
    MemoryProcess process;
    MemoryShell shell;
    MemoryAutoTypeDesktop autoType;
    MemoryHotKeys hotKeys;
    MemoryKeyInput keyInput;
    Win32AutoType win32AutoType{hotKeys, keyInput, desktop};

    void install() {
        Services& s = services();
        s.module = &module;
        s.environment = &environment;
        s.desktop = &desktop;
        s.messageBoxes = &messageBoxes;
        s.clock = &clock;
        s.files = &files;
        s.dialogs = &dialogs;
        s.lastError = &lastError;
        s.icons = &icons;
        s.threads = &threads;
        s.logFiles = &logFiles;
        s.process = &process;
        s.shell = &shell;
        s.autoTypeDesktop = &autoType;
        hotKeys.desktop = &desktop;
        keyInput.desktop = &desktop;
    }
    void useWin32AutoType() { services().autoTypeDesktop = &win32AutoType; }
};

}  // namespace platform
