#include "platform/HostExtension.h"

#include <cstring>

namespace platform {
namespace {

// Whether the host's structure reaches to the end of the field at `offset`.
bool has(const dcext::tExtensionStartupInfo& info, std::size_t offset, std::size_t size) {
    return info.StructSize >= offset + size;
}

std::string boundedText(const char* text, std::size_t size) {
    const void* end = std::memchr(text, '\0', size);
    return std::string(text, end != nullptr ? static_cast<const char*>(end) - text : size);
}

}  // namespace

void HostExtension::initialize(const dcext::tExtensionStartupInfo* info) noexcept {
    HostExtensionCalls calls;
    std::string confDir;
    try {
        if (info != nullptr) {
            using S = dcext::tExtensionStartupInfo;
            if (has(*info, offsetof(S, PluginConfDir), sizeof info->PluginConfDir)) {
                confDir = boundedText(info->PluginConfDir, sizeof info->PluginConfDir);
            }
            if (has(*info, offsetof(S, InputBox), sizeof(void*))) calls.inputBox = info->InputBox;
            if (has(*info, offsetof(S, MessageBox), sizeof(void*))) calls.messageBox = info->MessageBox;
            if (has(*info, offsetof(S, DialogBoxLFM), sizeof(void*))) calls.dialogBoxLFM = info->DialogBoxLFM;
            if (has(*info, offsetof(S, SendDlgMsg), sizeof(void*))) calls.sendDlgMsg = info->SendDlgMsg;
        }
    } catch (...) {
        // Out of memory for the folder's name: the callbacks still count.
        confDir.clear();
    }
    std::lock_guard<std::mutex> guard(mutex_);
    calls_ = calls;
    confDir_.swap(confDir);
}

void HostExtension::finalize() noexcept {
    std::lock_guard<std::mutex> guard(mutex_);
    calls_ = HostExtensionCalls();
}

HostExtensionCalls HostExtension::calls() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return calls_;
}

std::string HostExtension::pluginConfDir() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return confDir_;
}

HostExtension& hostExtension() {
    static HostExtension instance;
    return instance;
}

}  // namespace platform
