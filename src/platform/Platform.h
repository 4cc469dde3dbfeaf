// The platform layer: one small interface per service of the operating system
// that the plug-in uses. Each concern has a Win32 implementation, a Linux one
// where Linux offers the service, and an in-memory one for tests
// (platform/memory). Logic code reaches them only through services().
#pragma once

namespace platform {

class Module;
class Environment;
class Desktop;
class MessageBoxes;
class Clock;
class Files;
class Dialogs;
class LastError;
class Icons;
class Threads;
class LogFiles;
class Process;
class Shell;
class AutoTypeDesktop;

struct Services {
    Module* module = nullptr;
    Environment* environment = nullptr;
    Desktop* desktop = nullptr;
    MessageBoxes* messageBoxes = nullptr;
    Clock* clock = nullptr;
    Files* files = nullptr;
    Dialogs* dialogs = nullptr;
    LastError* lastError = nullptr;
    Icons* icons = nullptr;
    Threads* threads = nullptr;
    LogFiles* logFiles = nullptr;
    Process* process = nullptr;
    Shell* shell = nullptr;
    AutoTypeDesktop* autoTypeDesktop = nullptr;
};

// The services in use. Starts with the native implementations of the build.
Services& services();

// The native implementations, for restoring after a test replaced some.
Services nativeServices();

inline Module& module() { return *services().module; }
inline Environment& environment() { return *services().environment; }
inline Desktop& desktop() { return *services().desktop; }
inline MessageBoxes& messageBoxes() { return *services().messageBoxes; }
inline Clock& clock() { return *services().clock; }
inline Files& files() { return *services().files; }
inline Dialogs& dialogs() { return *services().dialogs; }
inline LastError& lastError() { return *services().lastError; }
inline Icons& icons() { return *services().icons; }
inline Threads& threads() { return *services().threads; }
inline LogFiles& logFiles() { return *services().logFiles; }
inline Process& process() { return *services().process; }
inline Shell& shell() { return *services().shell; }
inline AutoTypeDesktop& autoTypeDesktop() { return *services().autoTypeDesktop; }

// Separator of file-system paths on this platform.
#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

}  // namespace platform
