// Without a window system there is no main window: the handle passed to the
// plug-in is null and there are no messages to pump.
#include "MainWindow.h"

namespace panel {
namespace mainwindow {

bool create(std::ostream&) { return true; }
wfx::HWND handle() { return nullptr; }
void activate() {}
void pump() {}
void destroy() {}
void destroyIcon(wfx::HICON) {}

}  // namespace mainwindow

void endProcess(int) {}

}  // namespace panel
