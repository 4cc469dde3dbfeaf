// In-memory dialogs for tests: each dialog that opens is handed to the next
// user action in the queue, which types and clicks on its controls. A dialog
// its user leaves open is cancelled.
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "platform/DialogControls_memory.h"
#include "platform/Dialogs.h"

namespace platform {

class MemoryDialogs : public Dialogs {
public:
    using User = std::function<void(MemoryDialogControls&)>;
    std::deque<User> users;
    std::vector<int> opened;  // resource ids of the dialogs shown

    int runModal(CDialogLogic& logic, void*) override {
        opened.push_back(logic.dialogTemplate().resourceId);
        MemoryDialogControls controls(logic);
        controls.start();
        if (!users.empty()) {
            User user = users.front();
            users.pop_front();
            user(controls);
        }
        if (!controls.ended()) controls.endDialog(kDialogCancel);
        return controls.result();
    }
    void setHostRequest(HostRequest) override {}
};

}  // namespace platform
