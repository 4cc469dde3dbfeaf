#include "platform/DialogControls_dc.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

#include "platform/DialogForm_dc.h"
#include "platform/ListItems.h"
#include "security/SecureString.h"

namespace platform {
namespace {

using namespace dcext;

// A multi-line edit of the host separates lines with LF; the notes keep
// Windows line ends (CR LF), as the Windows edit gives them.
std::string toHostLines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += '\n';
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string fromHostLines(const std::string& text) {
    std::string out;
    out.reserve(text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

struct tWiped {
    std::string& text;
    ~tWiped() { secureWipe(text); }
};

}  // namespace

DcDialogControls::DcDialogControls(CDialogLogic& logic, tDlgProc send, bool listNotes) : m_logic(logic), m_send(send) {
    const tDialogTemplate& t = logic.dialogTemplate();
    const dcform::tFormLayout layout = dcform::layout(t, listNotes);
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        const tControlTemplate& tpl = t.controls[i];
        const std::string name = dcform::controlName(t, i);
        if (tpl.id < 0) continue;  // statics without id: nothing to say to them
        Control& c = m_controls[tpl.id];
        c.tpl = tpl;
        c.name = name;
        c.visible = tpl.visible;
        c.enabled = tpl.enabled;
        m_byName[name] = tpl.id;
        if (tpl.kind == eControlKind::SecureEdit) {
            c.plainName = dcform::plainName(name);
            m_byName[c.plainName] = tpl.id;
        }
        if (layout.hasNotes && layout.notesList == i) c.notesName = dcform::notesName(name);
    }
}

DcDialogControls::~DcDialogControls() {
    for (auto& entry : m_controls) {
        wipeAll(entry.second.items);
        wipeAll(entry.second.toolTips);
    }
}

std::intptr_t DcDialogControls::send(const std::string& name, std::intptr_t message, std::intptr_t wParam,
                                     std::intptr_t lParam) {
    if (m_send == nullptr || m_dialog == 0) return 0;
    ++m_sending;
    struct tDone {
        int& sending;
        ~tDone() { --sending; }
    } done{m_sending};
    return m_send(m_dialog, const_cast<char*>(name.c_str()), message, wParam, lParam);
}

std::intptr_t DcDialogControls::sendText(const std::string& name, std::intptr_t message, const std::string& text) {
    return send(name, message, reinterpret_cast<std::intptr_t>(text.c_str()), 0);
}

std::string DcDialogControls::getText(const std::string& name) {
    const char* text = reinterpret_cast<const char*>(send(name, DM_GETTEXT));
    return text != nullptr ? std::string(text) : std::string();
}

DcDialogControls::Control& DcDialogControls::at(int id) {
    auto it = m_controls.find(id);
    if (it == m_controls.end()) throw std::invalid_argument("no control " + std::to_string(id));
    return it->second;
}

void DcDialogControls::event(const char* itemName, std::intptr_t message) {
    if (message == DN_INITDIALOG) {
        if (m_initialized || m_ended) return;
        m_initialized = true;
        m_logic.onInit(*this);
        return;
    }
    // Our own changes, and anything before the dialog began or after it ended.
    if (m_sending > 0 || !m_initialized || m_ended || itemName == nullptr) return;
    auto named = m_byName.find(itemName);
    if (named == m_byName.end()) return;
    const int id = named->second;
    Control& c = at(id);
    switch (c.tpl.kind) {
        case eControlKind::Button:
            if (message == DN_CLICK) m_logic.onCommand(*this, id, eClicked);
            break;
        case eControlKind::CheckBox:
            // A check box changes with a click, by mouse or keyboard.
            if (message == DN_CHANGE) m_logic.onCommand(*this, id, eClicked);
            break;
        case eControlKind::Edit:
        case eControlKind::ComboBox:
            if (message == DN_CHANGE) m_logic.onCommand(*this, id, eChanged);
            break;
        case eControlKind::SecureEdit:
            if (message == DN_CHANGE && itemName == holder(c)) m_logic.onCommand(*this, id, eChanged);
            break;
        case eControlKind::ListBox:
            if (message == DN_CHANGE || message == DN_CLICK || message == DN_DBLCLICK) updateNotes(c);
            if (message == DN_CHANGE) m_logic.onCommand(*this, id, eChanged);
            if (message == DN_DBLCLICK) m_logic.onCommand(*this, id, eDoubleClicked);
            break;
        case eControlKind::Static:
            break;
    }
}

std::string DcDialogControls::text(int id) {
    Control& c = at(id);
    switch (c.tpl.kind) {
        case eControlKind::SecureEdit: {
            std::string shown = getText(holder(c));
            if (c.secureMode) std::fill(shown.begin(), shown.end(), '*');
            return shown;
        }
        case eControlKind::ComboBox:
        case eControlKind::ListBox:
            return selectedItem(id);
        case eControlKind::Edit:
            if (c.tpl.multiLine) {
                std::string lines = getText(c.name);
                tWiped wiped{lines};
                return fromHostLines(lines);
            }
            return getText(c.name);
        default:
            return getText(c.name);
    }
}

void DcDialogControls::setText(int id, const std::string& text) {
    Control& c = at(id);
    switch (c.tpl.kind) {
        case eControlKind::SecureEdit:
            sendText(holder(c), DM_SETTEXT, text);
            sendText(c.secureMode ? c.plainName : c.name, DM_SETTEXT, "");
            break;
        case eControlKind::ComboBox:
        case eControlKind::ListBox:
            selectItem(id, text);
            break;
        case eControlKind::Edit:
            if (c.tpl.multiLine) {
                std::string lines = toHostLines(text);
                tWiped wiped{lines};
                sendText(c.name, DM_SETTEXT, lines);
                break;
            }
            sendText(c.name, DM_SETTEXT, text);
            break;
        default:
            sendText(c.name, DM_SETTEXT, text);
            break;
    }
}

void DcDialogControls::secureText(int id, CSecureString& out) {
    Control& c = at(id);
    std::string plain = c.tpl.kind == eControlKind::SecureEdit ? getText(holder(c)) : text(id);
    tWiped wiped{plain};
    out.setText(plain.c_str());
}

bool DcDialogControls::checked(int id) { return send(at(id).name, DM_GETCHECK) == 1; }
void DcDialogControls::setChecked(int id, bool on) { send(at(id).name, DM_SETCHECK, on ? 1 : 0); }

void DcDialogControls::applyEnabled(const Control& c) {
    // Read-only fields are disabled: 1.0.10 has no read-only message.
    const std::intptr_t on = c.enabled && !c.readOnly ? 1 : 0;
    send(c.name, DM_ENABLE, on);
    if (!c.plainName.empty()) send(c.plainName, DM_ENABLE, on);
}

void DcDialogControls::applyVisible(const Control& c) {
    if (c.tpl.kind == eControlKind::SecureEdit) {
        send(c.name, DM_SHOWITEM, c.visible && c.secureMode ? 1 : 0);
        send(c.plainName, DM_SHOWITEM, c.visible && !c.secureMode ? 1 : 0);
        return;
    }
    send(c.name, DM_SHOWITEM, c.visible ? 1 : 0);
    if (!c.notesName.empty()) send(c.notesName, DM_SHOWITEM, c.visible ? 1 : 0);
}

void DcDialogControls::enable(int id, bool on) {
    Control& c = at(id);
    c.enabled = on;
    applyEnabled(c);
}

bool DcDialogControls::isEnabled(int id) { return at(id).enabled; }

void DcDialogControls::show(int id, bool on) {
    Control& c = at(id);
    c.visible = on;
    applyVisible(c);
}

bool DcDialogControls::isVisible(int id) { return at(id).visible; }

void DcDialogControls::setReadOnly(int id, bool on) {
    Control& c = at(id);
    c.readOnly = on;
    applyEnabled(c);
}

void DcDialogControls::insertAtCaret(int id, const std::string& text) {
    // No caret to be had: the text goes to the end.
    std::string now = this->text(id);
    tWiped wiped{now};
    std::string joined;
    tWiped wipedJoined{joined};
    joined.reserve(now.size() + text.size());
    joined += now;
    joined += text;
    setText(id, joined);
}

void DcDialogControls::setListItems(int id, const std::vector<std::string>& items) { fillList(at(id), items, nullptr); }

void DcDialogControls::setListItems(int id, const std::vector<std::string>& items,
                                    const std::vector<std::string>& toolTips) {
    Control& c = at(id);
    fillList(c, items, c.tpl.kind == eControlKind::ListBox ? &toolTips : nullptr);
}

void DcDialogControls::fillList(Control& c, const std::vector<std::string>& items,
                                const std::vector<std::string>* toolTips) {
    // The list is sorted here, not by the host: its order is then known
    // without asking for the items' texts back.
    const std::vector<std::size_t> order = listOrder(items, c.tpl.sorted);
    for (std::intptr_t n = send(c.name, DM_LISTGETCOUNT); n > 0; --n) send(c.name, DM_LISTDELETE, n - 1);
    wipeAll(c.items);
    wipeAll(c.toolTips);
    c.items.reserve(items.size());
    c.toolTips.reserve(items.size());
    for (std::size_t i : order) {
        c.items.push_back(items[i]);
        c.toolTips.push_back(toolTips != nullptr && i < toolTips->size() ? (*toolTips)[i] : std::string());
        sendText(c.name, DM_LISTADD, items[i]);
    }
    updateNotes(c);
}

bool DcDialogControls::selectItem(int id, const std::string& text) {
    Control& c = at(id);
    for (std::size_t i = 0; i < c.items.size(); ++i) {
        if (c.items[i] == text) {
            send(c.name, DM_LISTSETITEMINDEX, static_cast<std::intptr_t>(i));
            updateNotes(c);
            return true;
        }
    }
    return false;
}

void DcDialogControls::selectIndex(int id, int index) {
    Control& c = at(id);
    const bool valid = index >= 0 && static_cast<std::size_t>(index) < c.items.size();
    send(c.name, DM_LISTSETITEMINDEX, valid ? index : -1);
    updateNotes(c);
}

std::string DcDialogControls::selectedItem(int id) {
    Control& c = at(id);
    const std::intptr_t index = send(c.name, DM_LISTGETITEMINDEX);
    if (index < 0 || static_cast<std::size_t>(index) >= c.items.size()) return std::string();
    return c.items[static_cast<std::size_t>(index)];
}

void DcDialogControls::updateNotes(const Control& c) {
    if (c.notesName.empty()) return;
    const std::intptr_t index = send(c.name, DM_LISTGETITEMINDEX);
    const bool valid = index >= 0 && static_cast<std::size_t>(index) < c.toolTips.size();
    sendText(c.notesName, DM_SETTEXT, valid ? c.toolTips[static_cast<std::size_t>(index)] : std::string());
}

// DC 1.0.10 has no message for hints: the form got them from the template.
void DcDialogControls::setToolTip(int id, const std::string&) { at(id); }

void DcDialogControls::setSecureMode(int id, bool on) {
    Control& c = at(id);
    if (c.tpl.kind != eControlKind::SecureEdit || c.secureMode == on) {
        c.secureMode = on;
        return;
    }
    std::string moved = getText(holder(c));
    tWiped wiped{moved};
    const std::string& from = holder(c);
    c.secureMode = on;
    sendText(holder(c), DM_SETTEXT, moved);
    sendText(from, DM_SETTEXT, "");
    applyVisible(c);
}

bool DcDialogControls::isSecureMode(int id) { return at(id).secureMode; }

void DcDialogControls::setSecureText(int id, const CSecureString& text) {
    Control& c = at(id);
    std::string plain;
    tWiped wiped{plain};
    {
        CPlainCopy copy(text);
        if (copy.c_str() != nullptr) plain = copy.c_str();
    }
    if (c.tpl.kind == eControlKind::SecureEdit) {
        sendText(holder(c), DM_SETTEXT, plain);
        sendText(c.secureMode ? c.plainName : c.name, DM_SETTEXT, "");
    } else {
        setText(id, plain);
    }
}

// The caption was given to the form when it was made (windowTitle).
void DcDialogControls::setTitle(const std::string&) {}

void DcDialogControls::moveControl(int id, int x, int y, int cx, int cy) {
    Control& c = at(id);
    // DC reads a RECT of four 32-bit values: left, top, right, bottom.
    std::int32_t rect[4] = {dcform::pixelsX(x), dcform::pixelsY(y), dcform::pixelsX(x + cx), dcform::pixelsY(y + cy)};
    send(c.name, DM_SETITEMBOUNDS, reinterpret_cast<std::intptr_t>(rect));
    if (!c.plainName.empty()) send(c.plainName, DM_SETITEMBOUNDS, reinterpret_cast<std::intptr_t>(rect));
}

void DcDialogControls::resizeDialog(int cx, int cy) {
    std::int32_t rect[4] = {0, 0, 0, 0};
    const auto* now = reinterpret_cast<const std::int32_t*>(send(dcform::kFormName, DM_GETDLGBOUNDS));
    if (now != nullptr) std::memcpy(rect, now, sizeof rect);
    rect[2] = rect[0] + dcform::pixelsX(cx);
    rect[3] = rect[1] + dcform::pixelsY(cy);
    send(dcform::kFormName, DM_SETDLGBOUNDS, reinterpret_cast<std::intptr_t>(rect));
}

void DcDialogControls::clearSecrets() {
    for (auto& entry : m_controls) {
        const Control& c = entry.second;
        if (c.tpl.kind != eControlKind::SecureEdit) continue;
        sendText(c.name, DM_SETTEXT, "");
        sendText(c.plainName, DM_SETTEXT, "");
        // DC keeps the text it last handed out; now that is an empty one.
        send(c.name, DM_GETTEXT);
    }
}

void DcDialogControls::endDialog(int result) {
    if (m_ended) return;
    clearSecrets();
    m_ended = true;
    m_result = result;
    send(dcform::kFormName, DM_CLOSE, result);
}

}  // namespace platform
