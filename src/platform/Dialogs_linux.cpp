// Dialogs on Linux, where the host offers no windows to the plug-in: the
// dialog's logic runs on in-memory controls and the user fills them through
// the host's request callback. Each visible input field, in the dialog's
// order, is one request titled with the dialog's title and labelled with the
// field's label (RT_Password for secret fields); a cancelled request is
// Cancel. Then OK is pressed; when the logic keeps the dialog open (a wrong
// password, say) the fields are asked for again.
#include <mutex>

#include "WfxApi.h"
#include "platform/DialogControls_memory.h"
#include "platform/Dialogs.h"

namespace platform {
namespace {

constexpr int kMaxRounds = 1000;  // a host that never stops answering empty texts

class LinuxDialogs : public Dialogs {
public:
    int runModal(CDialogLogic& logic, void*) override {
        HostRequest request;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            request = request_;
        }
        if (!request) return 0;
        const tDialogTemplate& t = logic.dialogTemplate();
        MemoryDialogControls controls(logic);
        controls.start();
        for (int round = 0; round < kMaxRounds && !controls.ended(); ++round) {
            for (const tControlTemplate& c : t.controls) {
                if (controls.ended()) break;
                bool secret = c.kind == eControlKind::SecureEdit;
                if ((c.kind != eControlKind::Edit && !secret) || !controls.isVisible(c.id) ||
                    !controls.isEnabled(c.id) || controls.control(c.id).readOnly) {
                    continue;
                }
                std::string answer = secret ? std::string() : controls.text(c.id);
                bool ok = request(secret ? wfx::RT_Password : wfx::RT_Other, t.title, c.label, answer);
                if (!ok) {
                    std::fill(answer.begin(), answer.end(), '\0');
                    controls.click(kDialogCancel);
                    break;
                }
                controls.replace(c.id, answer);
                std::fill(answer.begin(), answer.end(), '\0');
            }
            if (!controls.ended()) controls.click(kDialogOk);
        }
        if (!controls.ended()) controls.endDialog(kDialogCancel);
        return controls.result();
    }
    void setHostRequest(HostRequest request) override {
        std::lock_guard<std::mutex> guard(mutex_);
        request_ = std::move(request);
    }

private:
    std::mutex mutex_;
    HostRequest request_;
};

}  // namespace

Dialogs* nativeDialogs() {
    static LinuxDialogs instance;
    return &instance;
}

}  // namespace platform
