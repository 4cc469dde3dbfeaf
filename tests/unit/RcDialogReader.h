// Reads dialog resources from src/res/keyhold.rc, so that tests can compare
// what Windows shows with the templates the dialogs' logic works with.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "DialogControls.h"

namespace rc {

struct RcControl {
    std::string statement;  // EDITTEXT, DEFPUSHBUTTON, COMBOBOX, CONTROL, ...
    std::string text;
    int id;
    int x, y, cx, cy;
    std::string style;
    std::string windowClass;  // CONTROL statements only: "Button", "ComboBox", ...
};

struct RcDialog {
    bool found = false;
    int cx = 0, cy = 0;
    std::string style, caption, font;
    std::vector<RcControl> controls;
    const RcControl* find(int id, const std::string& text = std::string()) const;
};

// A file of the source tree by its path from the top.
std::string sourceFile(const std::string& relative);
// The DIALOGEX block with this resource id; lines it cannot read are
// reported as test failures.
RcDialog readDialog(int resourceId);
// True when the style holds the flag ("NOT\\s+WS_VISIBLE" works too).
bool has(const std::string& style, const std::string& flag);
// The kind of control a statement makes.
eControlKind kindOf(const RcControl& c);
// A secure edit is an EDITTEXT in the resource; it becomes one at run time.
inline eControlKind asInResource(eControlKind k) { return k == eControlKind::SecureEdit ? eControlKind::Edit : k; }

// Test expectations: the resource's control is the template's (kind, text,
// place, size, shown and enabled at the start).
void expectControlMatches(const RcControl& got, const tControlTemplate& want);

}  // namespace rc
