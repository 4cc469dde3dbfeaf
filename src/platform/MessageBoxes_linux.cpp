// On Linux a message box is a request to the host: RT_MsgOK or RT_MsgYesNo,
// titled with the caption, with the message as its text.
#include "platform/MessageBoxes.h"

#include <mutex>

#include "WfxApi.h"

namespace platform {
namespace {

class LinuxMessageBoxes : public MessageBoxes {
public:
    MessageAnswer show(const std::string& text, const std::string& caption, MessageButtons buttons) override {
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
