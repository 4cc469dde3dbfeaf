// The panel's main window. On Windows this is a real top-level window, in
// front while the plug-in runs, the owner plug-ins expect for their dialogs
// and the target of their posted messages; elsewhere there is none.
#pragma once

#include <iosfwd>

#include "WfxApi.h"

namespace panel {
namespace mainwindow {

// Creates and shows the window and brings it to the foreground; OUT receives
// the lines for the messages it reports. False if it cannot be created.
bool create(std::ostream& out);

// Null where there is no window.
wfx::HWND handle();

// Brings the window to the foreground again.
void activate();

// Dispatches every message waiting for this thread.
void pump();

void destroy();

// Destroys an icon handle the plug-in handed over to the host.
void destroyIcon(wfx::HICON icon);

}  // namespace mainwindow

// Ends the process at once with the code once the panel is done (Windows);
// elsewhere it returns and the program ends as usual.
void endProcess(int code);

}  // namespace panel
