// A dialog as a Double Commander form: LFM text (Lazarus's form format) made
// from the dialog's template, for the extension API's DialogBoxLFM. The form
// has the template's controls, texts, places (dialog units as pixels) and
// first enabled and visible states; each control has a stable name, and the
// events the dialog needs name DC's handlers (OnClick = ButtonClick,
// OnChange = EditChange / CheckBoxChange / ComboBoxChange, OnDblClick =
// ListBoxDblClick, OnSelectionChange = ListBoxSelectionChange, OnShow =
// DialogBoxShow). The tab order is the template's order, as on Windows.
//
// Tool tips are the controls' hints, from the template: DC 1.0.10 has no
// message that sets a hint once the form is shown.
//
// Where DC's dialogs lack what a Windows control does:
// - a secure edit is two edits in one place: a masked one (PasswordChar '*')
//   named after the control, and a plain one named with "Plain" after it;
//   one of them is shown at a time;
// - a list box whose items have tool tips gets a read-only box of several
//   lines under it, named with "Notes" after the list, that shows the
//   selected item's tool tip; the controls below the list move down to make
//   room, and the form grows by as much.
#pragma once

#include <string>
#include <vector>

#include "DialogControls.h"

namespace platform {
namespace dcform {

// Dialog units to pixels.
int pixelsX(int dialogUnits);
int pixelsY(int dialogUnits);

// The name of a control of a template: a kind and the id ("Edit3027",
// "Button1"); statics without id are "Label" and their place in the template.
std::string controlName(const tDialogTemplate& t, std::size_t index);
std::string plainName(const std::string& secureEditName);
std::string notesName(const std::string& listName);
// The form's own name.
extern const char* const kFormName;

// Where a control stands on the form (dialog units), after room was made
// for the notes under a list.
struct tPlace {
    int x, y, cx, cy;
};
struct tFormLayout {
    int cx, cy;
    std::vector<tPlace> places;  // one for each control of the template
    bool hasNotes = false;       // a list with notes: the notes box's place
    tPlace notes{};
    std::size_t notesList = 0;  // index of that list
};
tFormLayout layout(const tDialogTemplate& t, bool listNotes);

// The LFM text of the form. `caption` is the form's title, `tag` a number
// the dialog procedure reads back (DM_GETDLGDATA) to know the form.
// `listNotes`: list boxes show their items' tool tips in a box under them.
std::string formText(const tDialogTemplate& t, const std::string& caption, long tag, bool listNotes);

// A text as an LFM string literal ('it''s'#10'next').
std::string lfmString(const std::string& text);

}  // namespace dcform
}  // namespace platform
