// What a host that offers Double Commander's extension API handed to the
// plug-in: its dialog and message box callbacks and its configuration folder.
// The exported ExtensionInitialize copies them in here (the host's structure
// lives on its stack); the Linux dialogs and message boxes use them when they
// are there. Every callback may be missing: test it before calling it.
#pragma once

#include <mutex>
#include <string>

#include "ExtensionApi.h"

namespace platform {

struct HostExtensionCalls {
    dcext::tInputBoxProc inputBox = nullptr;
    dcext::tMessageBoxProc messageBox = nullptr;
    dcext::tDialogBoxLFMProc dialogBoxLFM = nullptr;
    dcext::tDlgProc sendDlgMsg = nullptr;
    // Real dialogs need both: the form and the messages to its controls.
    bool hasDialogs() const { return dialogBoxLFM != nullptr && sendDlgMsg != nullptr; }
};

class HostExtension {
public:
    // Copies what the host filled in; fields past its StructSize stay empty.
    // A null structure forgets everything.
    void initialize(const dcext::tExtensionStartupInfo* info) noexcept;
    // The host is about to unload the plug-in: its callbacks are forgotten.
    void finalize() noexcept;
    HostExtensionCalls calls() const;
    // The host's writable configuration folder; empty when none was given.
    std::string pluginConfDir() const;

private:
    mutable std::mutex mutex_;
    HostExtensionCalls calls_;
    std::string confDir_;
};

HostExtension& hostExtension();

}  // namespace platform
