#include "platform/Platform.h"

namespace platform {

// Defined by the native implementation of each concern for this build.
Module* nativeModule();
Environment* nativeEnvironment();
Desktop* nativeDesktop();
MessageBoxes* nativeMessageBoxes();
Clock* nativeClock();
Files* nativeFiles();
Dialogs* nativeDialogs();
LastError* nativeLastError();
Icons* nativeIcons();
Threads* nativeThreads();
LogFiles* nativeLogFiles();
Process* nativeProcess();
Shell* nativeShell();
AutoTypeDesktop* nativeAutoTypeDesktop();

Services nativeServices() {
    Services s;
    s.module = nativeModule();
    s.environment = nativeEnvironment();
    s.desktop = nativeDesktop();
    s.messageBoxes = nativeMessageBoxes();
    s.clock = nativeClock();
    s.files = nativeFiles();
    s.dialogs = nativeDialogs();
    s.lastError = nativeLastError();
    s.icons = nativeIcons();
    s.threads = nativeThreads();
    s.logFiles = nativeLogFiles();
    s.process = nativeProcess();
    s.shell = nativeShell();
    s.autoTypeDesktop = nativeAutoTypeDesktop();
    return s;
}

Services& services() {
    static Services current = nativeServices();
    return current;
}

}  // namespace platform
