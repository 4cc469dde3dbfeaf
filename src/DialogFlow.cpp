// The default way a dialog goes without windows: the fields in order, then OK.
#include "DialogControls.h"

namespace {

// A host that keeps answering while the dialog never accepts stops here.
constexpr int kMaxRounds = 1000;

}  // namespace

void CDialogLogic::runWithoutWindows(IDialogUser& user) {
    const tDialogTemplate& t = dialogTemplate();
    for (int round = 0; round < kMaxRounds && !user.ended(); ++round) {
        for (const tControlTemplate& c : t.controls) {
            if (user.ended()) return;
            if (c.kind != eControlKind::Edit && c.kind != eControlKind::SecureEdit &&
                c.kind != eControlKind::ComboBox) {
                continue;
            }
            if (!user.askField(c.id)) {
                user.click(kDialogCancel);
                if (!user.ended()) user.controls().endDialog(kDialogCancel);
                return;
            }
        }
        if (!user.ended()) user.click(kDialogOk);
    }
}
