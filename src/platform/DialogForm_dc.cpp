#include "platform/DialogForm_dc.h"

#include <algorithm>
#include <climits>
#include <sstream>

namespace platform {
namespace dcform {
namespace {

// Pixels for four horizontal and eight vertical dialog units: a dialog font
// of the size GTK dialogs use.
constexpr int kPixelsPer4X = 7;
constexpr int kPixelsPer8Y = 16;
// The notes box under a list, and the gaps around it (dialog units).
constexpr int kNotesHeight = 40;
constexpr int kGap = 3;

const char* kindPrefix(eControlKind kind) {
    switch (kind) {
        case eControlKind::Static:
            return "Label";
        case eControlKind::Edit:
        case eControlKind::SecureEdit:
            return "Edit";
        case eControlKind::Button:
            return "Button";
        case eControlKind::ListBox:
            return "List";
        case eControlKind::ComboBox:
            return "Combo";
        case eControlKind::CheckBox:
            return "Check";
    }
    return "Control";
}

// One UTF-8 sequence at `i`: its code point, `i` moved past it. A byte that
// starts no valid sequence stands for itself.
unsigned long nextCodePoint(const std::string& s, std::size_t& i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const std::size_t more = (c & 0xE0u) == 0xC0u ? 1 : (c & 0xF0u) == 0xE0u ? 2 : (c & 0xF8u) == 0xF0u ? 3 : 0;
    if (more == 0 || i + more >= s.size()) {
        ++i;
        return c;
    }
    unsigned long cp = c & (0x3Fu >> more);
    for (std::size_t k = 1; k <= more; ++k) {
        const unsigned char n = static_cast<unsigned char>(s[i + k]);
        if ((n & 0xC0u) != 0x80u) {
            ++i;
            return c;
        }
        cp = (cp << 6) | (n & 0x3Fu);
    }
    i += more + 1;
    return cp;
}

struct tWriter {
    std::ostringstream out;
    int depth = 0;
    void line(const std::string& text) { out << std::string(static_cast<std::size_t>(depth) * 2, ' ') << text << '\n'; }
    void prop(const std::string& name, const std::string& value) { line(name + " = " + value); }
    void prop(const std::string& name, int value) { prop(name, std::to_string(value)); }
};

void writeBounds(tWriter& w, const tPlace& p) {
    w.prop("Left", pixelsX(p.x));
    w.prop("Height", pixelsY(p.cy));
    w.prop("Top", pixelsY(p.y));
    w.prop("Width", pixelsX(p.cx));
}

}  // namespace

const char* const kFormName = "DialogBox";

int pixelsX(int dialogUnits) { return (dialogUnits * kPixelsPer4X + 2) / 4; }
int pixelsY(int dialogUnits) { return (dialogUnits * kPixelsPer8Y + 4) / 8; }

std::string controlName(const tDialogTemplate& t, std::size_t index) {
    const tControlTemplate& c = t.controls.at(index);
    if (c.id < 0) return std::string(kindPrefix(c.kind)) + std::to_string(index);
    return std::string(kindPrefix(c.kind)) + std::to_string(c.id);
}

std::string plainName(const std::string& secureEditName) { return secureEditName + "Plain"; }
std::string notesName(const std::string& listName) { return listName + "Notes"; }

std::string lfmString(const std::string& text) {
    std::string out;
    bool quoted = false;
    auto quote = [&](bool on) {
        if (quoted != on) out += '\'';
        quoted = on;
    };
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            quote(true);
            out += static_cast<char>(c);
            if (c == '\'') out += '\'';
            ++i;
        } else {
            quote(false);
            out += '#' + std::to_string(c < 0x80 ? (++i, static_cast<unsigned long>(c)) : nextCodePoint(text, i));
        }
    }
    if (out.empty()) return "''";
    quote(false);
    return out;
}

tFormLayout layout(const tDialogTemplate& t, bool listNotes) {
    tFormLayout l{t.cx, t.cy, {}, false, {}, 0};
    for (const tControlTemplate& c : t.controls) l.places.push_back({c.x, c.y, c.cx, c.cy});
    if (!listNotes) return l;
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        if (t.controls[i].kind != eControlKind::ListBox) continue;
        tPlace& list = l.places[i];
        // The first control below the list's top marks where the list ends.
        int below = INT_MAX;
        for (std::size_t k = 0; k < l.places.size(); ++k) {
            if (k != i && l.places[k].y > list.y) below = std::min(below, l.places[k].y);
        }
        int listBottom = list.y + list.cy;
        if (below != INT_MAX) listBottom = std::min(listBottom, below - kGap);
        list.cy = std::max(listBottom - list.y, 8);
        l.notes = {list.x, list.y + list.cy + kGap, list.cx, kNotesHeight};
        const int notesBottom = l.notes.y + l.notes.cy + kGap;
        const int shift = below != INT_MAX ? std::max(0, notesBottom - below) : 0;
        for (std::size_t k = 0; k < l.places.size(); ++k) {
            if (k != i && l.places[k].y > list.y) l.places[k].y += shift;
        }
        l.cy = std::max(t.cy + shift, notesBottom + kGap);
        l.hasNotes = true;
        l.notesList = i;
        break;  // one list with notes per form
    }
    return l;
}

std::string formText(const tDialogTemplate& t, const std::string& caption, long tag, bool listNotes) {
    const tFormLayout l = layout(t, listNotes);
    tWriter w;
    w.line(std::string("object ") + kFormName + ": TDialogBox");
    w.depth = 1;
    w.prop("Left", 0);
    w.prop("Height", pixelsY(l.cy));
    w.prop("Top", 0);
    w.prop("Width", pixelsX(l.cx));
    w.prop("BorderStyle", "bsDialog");
    w.prop("Caption", lfmString(caption));
    w.prop("ClientHeight", pixelsY(l.cy));
    w.prop("ClientWidth", pixelsX(l.cx));
    w.prop("OnShow", "DialogBoxShow");
    w.prop("Position", "poScreenCenter");
    w.prop("Tag", std::to_string(tag));

    int tabOrder = 0;
    auto common = [&](const tControlTemplate& c, const tPlace& p, bool visible) {
        writeBounds(w, p);
        if (!visible) w.prop("Visible", "False");
        if (!c.enabled) w.prop("Enabled", "False");
        if (!c.toolTip.empty()) {
            w.prop("Hint", lfmString(c.toolTip));
            w.prop("ShowHint", "True");
        }
    };
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        const tControlTemplate& c = t.controls[i];
        const tPlace& p = l.places[i];
        const std::string name = controlName(t, i);
        switch (c.kind) {
            case eControlKind::Static:
                w.line("object " + name + ": TLabel");
                ++w.depth;
                common(c, p, c.visible);
                w.prop("Caption", lfmString(c.text));
                w.prop("ParentColor", "False");
                break;
            case eControlKind::Edit:
                if (c.multiLine) {
                    w.line("object " + name + ": TMemo");
                    ++w.depth;
                    common(c, p, c.visible);
                    w.prop("ScrollBars", "ssAutoVertical");
                    w.prop("TabOrder", tabOrder++);
                } else {
                    w.line("object " + name + ": TEdit");
                    ++w.depth;
                    common(c, p, c.visible);
                    w.prop("AutoSize", "False");
                    w.prop("OnChange", "EditChange");
                    w.prop("TabOrder", tabOrder++);
                }
                break;
            case eControlKind::SecureEdit:
                // The masked edit; its plain twin follows it.
                w.line("object " + name + ": TEdit");
                ++w.depth;
                common(c, p, c.visible);
                w.prop("AutoSize", "False");
                w.prop("EchoMode", "emPassword");
                w.prop("PasswordChar", "'*'");
                w.prop("OnChange", "EditChange");
                w.prop("TabOrder", tabOrder++);
                --w.depth;
                w.line("end");
                w.line("object " + plainName(name) + ": TEdit");
                ++w.depth;
                common(c, p, false);
                w.prop("AutoSize", "False");
                w.prop("OnChange", "EditChange");
                w.prop("TabOrder", tabOrder++);
                break;
            case eControlKind::Button:
                w.line("object " + name + ": TButton");
                ++w.depth;
                common(c, p, c.visible);
                w.prop("Caption", lfmString(c.text));
                if (c.id == kDialogOk) w.prop("Default", "True");
                if (c.id == kDialogCancel) w.prop("Cancel", "True");
                w.prop("OnClick", "ButtonClick");
                w.prop("TabOrder", tabOrder++);
                break;
            case eControlKind::CheckBox:
                w.line("object " + name + ": TCheckBox");
                ++w.depth;
                common(c, p, c.visible);
                w.prop("Caption", lfmString(c.text));
                w.prop("OnChange", "CheckBoxChange");
                w.prop("TabOrder", tabOrder++);
                break;
            case eControlKind::ComboBox:
                w.line("object " + name + ": TComboBox");
                ++w.depth;
                common(c, p, c.visible);
                w.prop("ItemHeight", 0);
                w.prop("Style", "csDropDownList");
                w.prop("OnChange", "ComboBoxChange");
                w.prop("TabOrder", tabOrder++);
                break;
            case eControlKind::ListBox:
                w.line("object " + name + ": TListBox");
                ++w.depth;
                common(c, p, c.visible);
                w.prop("ItemHeight", 0);
                w.prop("OnClick", "ListBoxClick");
                w.prop("OnDblClick", "ListBoxDblClick");
                w.prop("OnSelectionChange", "ListBoxSelectionChange");
                w.prop("TabOrder", tabOrder++);
                if (l.hasNotes && l.notesList == i) {
                    --w.depth;
                    w.line("end");
                    w.line("object " + notesName(name) + ": TMemo");
                    ++w.depth;
                    writeBounds(w, l.notes);
                    w.prop("ReadOnly", "True");
                    w.prop("ScrollBars", "ssAutoVertical");
                    w.prop("TabStop", "False");
                    w.prop("TabOrder", tabOrder++);
                }
                break;
        }
        --w.depth;
        w.line("end");
    }
    w.depth = 0;
    w.line("end");
    return w.out.str();
}

}  // namespace dcform
}  // namespace platform
