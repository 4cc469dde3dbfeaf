#include "platform/DialogControls_memory.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "platform/ListItems.h"

namespace platform {

MemoryDialogControls::~MemoryDialogControls() {
    // What the fields and lists showed may be secrets: field values, titles
    // of encrypted entries, notes as tool tips.
    for (auto& entry : m_controls) {
        Control& c = entry.second;
        secureWipe(c.text);
        secureWipe(c.toolTip);
        wipeAll(c.items);
        wipeAll(c.itemToolTips);
    }
}

MemoryDialogControls::MemoryDialogControls(CDialogLogic& logic) : m_logic(logic) {
    const tDialogTemplate& t = logic.dialogTemplate();
    m_title = t.title;
    m_cx = t.cx;
    m_cy = t.cy;
    for (const tControlTemplate& c : t.controls) {
        Control& control = m_controls[c.id];
        control.tpl = c;
        control.text = c.kind == eControlKind::SecureEdit ? "" : c.text;
        control.visible = c.visible;
        control.enabled = c.enabled;
    }
}

MemoryDialogControls::Control& MemoryDialogControls::at(int id) {
    auto it = m_controls.find(id);
    if (it == m_controls.end()) throw std::invalid_argument("no control " + std::to_string(id));
    return it->second;
}

const MemoryDialogControls::Control& MemoryDialogControls::control(int id) const {
    auto it = m_controls.find(id);
    if (it == m_controls.end()) throw std::invalid_argument("no control " + std::to_string(id));
    return it->second;
}

void MemoryDialogControls::start() { m_logic.onInit(*this); }

void MemoryDialogControls::type(int id, const std::string& text) {
    Control& c = at(id);
    if (!c.visible || !c.enabled || c.readOnly || m_ended) return;
    if (c.tpl.kind == eControlKind::SecureEdit) {
        c.secret.insertCharacters(c.secret.length(), text.c_str(), text.size());
    } else {
        c.text += text;
    }
    m_logic.onCommand(*this, id, eChanged);
}

void MemoryDialogControls::replace(int id, const std::string& text) {
    Control& c = at(id);
    if (!c.visible || !c.enabled || c.readOnly || m_ended) return;
    c.secret.clear();
    c.text.clear();
    m_logic.onCommand(*this, id, eChanged);
    if (!text.empty()) type(id, text);
}

bool MemoryDialogControls::click(int id) {
    Control& c = at(id);
    if (!c.visible || !c.enabled || m_ended) return false;
    if (c.tpl.kind == eControlKind::CheckBox) c.checked = !c.checked;
    m_logic.onCommand(*this, id, eClicked);
    return true;
}

bool MemoryDialogControls::select(int id, const std::string& item) {
    Control& c = at(id);
    if (!c.visible || !c.enabled || m_ended) return false;
    if (!selectItem(id, item)) return false;
    m_logic.onCommand(*this, id, eChanged);
    return true;
}

bool MemoryDialogControls::doubleClick(int id, const std::string& item) {
    Control& c = at(id);
    if (!c.visible || !c.enabled || m_ended) return false;
    if (!selectItem(id, item)) return false;
    m_logic.onCommand(*this, id, eDoubleClicked);
    return true;
}

std::string MemoryDialogControls::shown(int id) const {
    const Control& c = control(id);
    if (c.tpl.kind == eControlKind::SecureEdit) {
        if (c.secureMode) return std::string(c.secret.length(), '*');
        CPlainCopy plain(c.secret);
        return plain.c_str();
    }
    if (c.tpl.kind == eControlKind::ComboBox || c.tpl.kind == eControlKind::ListBox) {
        return c.selected >= 0 ? c.items[static_cast<std::size_t>(c.selected)] : std::string();
    }
    return c.text;
}

std::string MemoryDialogControls::text(int id) { return shown(id); }

void MemoryDialogControls::setText(int id, const std::string& text) {
    Control& c = at(id);
    if (c.tpl.kind == eControlKind::SecureEdit) {
        c.secret.setText(text.c_str());
    } else {
        c.text = text;
    }
}

void MemoryDialogControls::secureText(int id, CSecureString& out) {
    Control& c = at(id);
    if (c.tpl.kind == eControlKind::SecureEdit) {
        out = c.secret;
    } else {
        out.setText(c.text.c_str());
    }
}

bool MemoryDialogControls::checked(int id) { return at(id).checked; }
void MemoryDialogControls::setChecked(int id, bool on) { at(id).checked = on; }
void MemoryDialogControls::enable(int id, bool on) { at(id).enabled = on; }
bool MemoryDialogControls::isEnabled(int id) { return at(id).enabled; }
void MemoryDialogControls::show(int id, bool on) { at(id).visible = on; }
bool MemoryDialogControls::isVisible(int id) { return at(id).visible; }
void MemoryDialogControls::setReadOnly(int id, bool on) { at(id).readOnly = on; }
void MemoryDialogControls::insertAtCaret(int id, const std::string& text) { at(id).text += text; }
void MemoryDialogControls::setListItems(int id, const std::vector<std::string>& items) {
    Control& c = at(id);
    fillList(c, items, nullptr);
}

void MemoryDialogControls::setListItems(int id, const std::vector<std::string>& items,
                                        const std::vector<std::string>& toolTips) {
    Control& c = at(id);
    fillList(c, items, c.tpl.kind == eControlKind::ListBox ? &toolTips : nullptr);
}

void MemoryDialogControls::fillList(Control& c, const std::vector<std::string>& items,
                                    const std::vector<std::string>* toolTips) {
    // Items may be titles of encrypted entries and tool tips their notes:
    // they are sorted by their places, so that no sorting buffer is freed
    // with a copy in it, and what the list held before is wiped.
    const std::vector<std::size_t> order = listOrder(items, c.tpl.sorted);
    wipeAll(c.items);
    wipeAll(c.itemToolTips);
    c.items.reserve(items.size());
    if (toolTips != nullptr) c.itemToolTips.reserve(items.size());
    for (std::size_t i : order) {
        c.items.push_back(items[i]);
        // Each tool tip goes where its item goes; copied straight into place.
        if (toolTips != nullptr && i < toolTips->size()) {
            c.itemToolTips.push_back((*toolTips)[i]);
        } else if (toolTips != nullptr) {
            c.itemToolTips.emplace_back();
        }
    }
    c.selected = -1;
}

std::string MemoryDialogControls::itemToolTip(int id, const std::string& item) const {
    const Control& c = control(id);
    for (std::size_t i = 0; i < c.items.size() && i < c.itemToolTips.size(); ++i) {
        if (c.items[i] == item) return c.itemToolTips[i];
    }
    return std::string();
}

bool MemoryDialogControls::selectItem(int id, const std::string& text) {
    Control& c = at(id);
    for (std::size_t i = 0; i < c.items.size(); ++i) {
        if (c.items[i] == text) {
            c.selected = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

void MemoryDialogControls::selectIndex(int id, int index) {
    Control& c = at(id);
    c.selected = index >= 0 && static_cast<std::size_t>(index) < c.items.size() ? index : -1;
}

std::string MemoryDialogControls::selectedItem(int id) {
    Control& c = at(id);
    return c.selected >= 0 ? c.items[static_cast<std::size_t>(c.selected)] : std::string();
}

void MemoryDialogControls::setSecureMode(int id, bool on) { at(id).secureMode = on; }
bool MemoryDialogControls::isSecureMode(int id) { return at(id).secureMode; }

void MemoryDialogControls::setSecureText(int id, const CSecureString& text) {
    Control& c = at(id);
    if (c.tpl.kind == eControlKind::SecureEdit) {
        c.secret = text;
    } else {
        CPlainCopy plain(text);
        c.text = plain.c_str();
    }
}

void MemoryDialogControls::setTitle(const std::string& title) { m_title = title; }
void MemoryDialogControls::setToolTip(int id, const std::string& text) { at(id).toolTip = text; }

void MemoryDialogControls::moveControl(int id, int x, int y, int cx, int cy) {
    tControlTemplate& t = at(id).tpl;
    t.x = x;
    t.y = y;
    t.cx = cx;
    t.cy = cy;
}

void MemoryDialogControls::resizeDialog(int cx, int cy) {
    m_cx = cx;
    m_cy = cy;
}

void MemoryDialogControls::endDialog(int result) {
    m_ended = true;
    m_result = result;
}

}  // namespace platform
