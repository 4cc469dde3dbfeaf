// In script mode on Windows the plug-in's dialogs and message boxes are real
// windows. The dialog driver watches for them and answers them from the
// script, as a person would click and type:
//   "> ok", "> yes", "> no"      press that button
//   "!cancel"                    press Cancel (or close the box)
//   "> click ID"                 press the button with that control id
//   "> set ID TEXT"              put TEXT into the control with that id
//   "> type ID TEXT"             type TEXT into that control, key by key
//   "> select ID TEXT"           pick the item TEXT of that drop-down list or list box
// "set", "type" and "select" leave the dialog open for the next answer line. A dialog
// with no answer line waiting is reported and cancelled, so a script never
// hangs. Elsewhere the driver does nothing: requests come through the
// request callback instead.
#pragma once

#include <iosfwd>

namespace panel {

class ScriptLines;

namespace dialogs {

void start(ScriptLines& script, std::ostream& out);
void stop();

}  // namespace dialogs
}  // namespace panel
