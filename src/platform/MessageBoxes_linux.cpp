// Message boxes on Linux. A host that offers Double Commander's extension API
// shows them with its MessageBox, with the buttons and icon asked for; other
// hosts get a request: RT_MsgOK or RT_MsgYesNo, titled with the caption, with
// the message as its text.
#include <mutex>

#include "WfxApi.h"
#include "platform/HostExtension.h"
#include "platform/MessageBoxes.h"
#include "platform/Threads.h"

namespace platform {
namespace {

MessageAnswer inHost(dcext::tMessageBoxProc messageBox, const std::string& text, const std::string& caption,
                     MessageButtons buttons, MessageIcon icon) {
    long flags = buttons == MessageButtons::YesNo ? dcext::MB_YESNO : dcext::MB_OK;
    if (icon == MessageIcon::Error) flags |= dcext::MB_ICONERROR;
    const int answer = messageBox(const_cast<char*>(text.c_str()), const_cast<char*>(caption.c_str()), flags);
    parkIfLetGo();  // given back by a host that is leaving
    switch (answer) {
        case dcext::ID_OK:
            return MessageAnswer::Ok;
        case dcext::ID_YES:
            return MessageAnswer::Yes;
        case dcext::ID_NO:
            return MessageAnswer::No;
        default:
            return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel;
    }
}

class LinuxMessageBoxes : public MessageBoxes {
public:
    MessageAnswer show(const std::string& text, const std::string& caption, MessageButtons buttons,
                       MessageIcon icon = MessageIcon::None) override {
        const HostExtensionCalls calls = hostExtension().calls();
        if (calls.messageBox != nullptr) return inHost(calls.messageBox, text, caption, buttons, icon);
        HostRequest request;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            request = request_;
        }
        if (!request) return MessageAnswer::Cancel;
        std::string answer;
        if (buttons == MessageButtons::YesNo) {
            return request(wfx::RT_MsgYesNo, caption, text, answer) ? MessageAnswer::Yes : MessageAnswer::No;
        }
        return request(wfx::RT_MsgOK, caption, text, answer) ? MessageAnswer::Ok : MessageAnswer::Cancel;
    }
    void setHostRequest(HostRequest request) override {
        std::lock_guard<std::mutex> guard(mutex_);
        request_ = std::move(request);
    }
    void setOwner(void*) override {}

private:
    std::mutex mutex_;
    HostRequest request_;
};

}  // namespace

MessageBoxes* nativeMessageBoxes() {
    static LinuxMessageBoxes instance;
    return &instance;
}

}  // namespace platform
