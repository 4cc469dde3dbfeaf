// Secure edits on real Win32 EDIT controls. The control is subclassed: key and
// mouse messages get the edit's own processing, then the selection collapses.
// EN_UPDATE and EN_SETFOCUS go to the parent, whose dialog procedure must hand
// them back here with reflectToSecureEdit().
#pragma once

class CSecureEditEx;

namespace platform {
namespace win32 {

// Makes an EDIT control (an HWND) a secure edit for the rest of its life and
// returns its logic; a control that already is one keeps its logic.
CSecureEditEx* makeSecureEdit(void* edit);
// The logic of a secure edit, or null for any other window.
CSecureEditEx* secureEditOf(void* edit);
// A notification the parent got from a secure edit; EN_UPDATE and EN_SETFOCUS
// reach the logic, anything else is ignored. True when it was one of the two.
bool reflectToSecureEdit(void* edit, unsigned notification);

}  // namespace win32
}  // namespace platform
