// Modal dialogs. On Windows a real dialog from the library's resources; on
// Linux the user answers through the host's request callback; in tests an
// in-memory dialog that a test drives.
#pragma once

#include "DialogControls.h"
#include "platform/MessageBoxes.h"

namespace platform {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows the dialog modally and returns the result its logic ended it with
    // (1 OK, 2 Cancel), or 0 when it could not be shown.
    virtual int runModal(CDialogLogic& logic, void* parentWindow) = 0;
    // The host's request callback, handed over by FsInit (used on Linux).
    virtual void setHostRequest(HostRequest request) = 0;
};

}  // namespace platform
