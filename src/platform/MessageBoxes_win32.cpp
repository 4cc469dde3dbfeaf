#include "platform/MessageBoxes.h"

#include <windows.h>

#include <atomic>

namespace platform {
namespace {

class Win32MessageBoxes : public MessageBoxes {
public:
    MessageAnswer show(const std::string& text, const std::string& caption, MessageButtons buttons,
                       MessageIcon icon = MessageIcon::None) override {
        UINT type = (buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK) | MB_SETFOREGROUND;
        if (icon == MessageIcon::Error) type |= MB_ICONERROR;
        // A box asked from one of our dialogs belongs to that dialog, so the
        // dialog waits for it; otherwise it belongs to the host's window.
        HWND owner = GetActiveWindow();
        if (owner == nullptr) owner = static_cast<HWND>(owner_.load());
        int r = MessageBoxA(owner, text.c_str(), caption.c_str(), type);
        switch (r) {
            case IDOK: return MessageAnswer::Ok;
            case IDYES: return MessageAnswer::Yes;
            case IDNO: return MessageAnswer::No;
            default: return MessageAnswer::Cancel;
        }
    }
    void setHostRequest(HostRequest) override {}
    void setOwner(void* window) override { owner_ = window; }

private:
    std::atomic<void*> owner_{nullptr};
};

}  // namespace

MessageBoxes* nativeMessageBoxes() {
    static Win32MessageBoxes instance;
    return &instance;
}

}  // namespace platform
