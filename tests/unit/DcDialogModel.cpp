#include "DcDialogModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <sstream>

#include "ImportText.h"

namespace dcmodel {
namespace {

using namespace dcext;

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(' ');
    const std::size_t e = s.find_last_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// An LFM string value: 'quoted' runs ('' for a quote) and #code characters.
bool parseString(const std::string& v, std::string& out) {
    out.clear();
    std::size_t i = 0;
    if (v.empty()) return false;
    while (i < v.size()) {
        if (v[i] == '\'') {
            ++i;
            for (;;) {
                if (i >= v.size()) return false;
                if (v[i] == '\'') {
                    if (i + 1 < v.size() && v[i + 1] == '\'') {
                        out += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                out += v[i++];
            }
        } else if (v[i] == '#') {
            ++i;
            std::size_t start = i;
            while (i < v.size() && std::isdigit(static_cast<unsigned char>(v[i]))) ++i;
            if (start == i) return false;
            importtext::appendUtf8(out, static_cast<std::uint32_t>(std::stoul(v.substr(start, i - start))));
        } else {
            return false;
        }
    }
    return true;
}

// DC's published handlers, the event property each belongs to and the
// classes its code casts the sender to.
struct tHandler {
    const char* name;
    const char* event;
    std::set<std::string> classes;
};
const std::vector<tHandler>& handlers() {
    static const std::vector<tHandler> h{
        {"ButtonClick", "OnClick", {"TButton", "TBitBtn"}},
        {"EditChange", "OnChange", {"TEdit"}},
        {"CheckBoxChange", "OnChange", {"TCheckBox"}},
        {"ComboBoxChange", "OnChange", {"TComboBox"}},
        {"ListBoxClick", "OnClick", {"TListBox"}},
        {"ListBoxDblClick", "OnDblClick", {"TListBox"}},
        {"ListBoxSelectionChange", "OnSelectionChange", {"TListBox"}},
    };
    return h;
}

const std::set<std::string>& knownClasses() {
    static const std::set<std::string> c{"TEdit",   "TMemo",     "TLabel",    "TButton",
                                         "TBitBtn", "TCheckBox", "TComboBox", "TListBox"};
    return c;
}

bool isFormMessage(std::intptr_t msg) {
    switch (msg) {
        case DM_CLOSE:
        case DM_GETDLGDATA:
        case DM_SETDLGDATA:
        case DM_GETDLGBOUNDS:
        case DM_SETDLGBOUNDS:
        case DM_SHOWDIALOG:
        case DM_REDRAW:
        case DM_KEYDOWN:
        case DM_KEYUP:
            return true;
        default:
            return false;
    }
}

std::set<Form*>& liveForms() {
    static std::set<Form*> forms;
    return forms;
}

}  // namespace

Host* Host::current = nullptr;

bool parse(const std::string& lfm, Form& form, std::string& why) {
    std::istringstream in(lfm);
    std::string line;
    int depth = 0;
    Component* current = nullptr;
    bool rootSeen = false;
    std::set<std::string> names;
    while (std::getline(in, line)) {
        const std::string t = trim(line);
        if (t.empty()) continue;
        if (t.rfind("object ", 0) == 0) {
            const std::size_t colon = t.find(':');
            if (colon == std::string::npos) return why = "no class: " + t, false;
            const std::string name = trim(t.substr(7, colon - 7));
            const std::string cls = trim(t.substr(colon + 1));
            if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_'))
                return why = "bad name: " + name, false;
            for (char ch : name) {
                if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_') return why = "bad name: " + name, false;
            }
            std::string lower = name;
            std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
            if (!names.insert(lower).second) return why = "duplicate name: " + name, false;
            if (depth == 0) {
                if (rootSeen) return why = "two roots", false;
                if (cls != "TDialogBox") return why = "root is not a TDialogBox: " + cls, false;
                rootSeen = true;
                form.name = name;
            } else if (depth == 1) {
                if (knownClasses().count(cls) == 0) return why = "unexpected class: " + cls, false;
                form.components.push_back(Component());
                current = &form.components.back();
                current->name = name;
                current->cls = cls;
            } else {
                return why = "nested controls", false;
            }
            ++depth;
            continue;
        }
        if (t == "end") {
            if (depth == 0) return why = "unbalanced end", false;
            --depth;
            current = nullptr;
            continue;
        }
        const std::size_t eq = t.find(" = ");
        if (eq == std::string::npos || depth == 0) return why = "not a property: " + t, false;
        const std::string prop = t.substr(0, eq), value = t.substr(eq + 3);
        if (depth == 1) {
            form.props[prop] = value;
        } else if (current != nullptr) {
            current->props[prop] = value;
        }
    }
    if (depth != 0 || !rootSeen) return why = "incomplete form", false;

    std::string caption;
    if (form.props.count("Caption") != 0 && !parseString(form.props["Caption"], caption))
        return why = "bad caption", false;
    form.caption = caption;
    if (form.props.count("Tag") != 0) form.tag = std::stol(form.props["Tag"]);
    for (const auto& p : form.props) {
        if (p.first.rfind("On", 0) == 0 && !(p.first == "OnShow" && p.second == "DialogBoxShow"))
            return why = "form handler " + p.first + " = " + p.second, false;
    }
    form.width = form.props.count("Width") != 0 ? std::stoi(form.props["Width"]) : 0;
    form.height = form.props.count("Height") != 0 ? std::stoi(form.props["Height"]) : 0;
    for (Component& c : form.components) {
        for (const auto& p : c.props) {
            if (p.first.rfind("On", 0) != 0) continue;
            bool ok = false;
            for (const tHandler& h : handlers()) {
                if (p.second == h.name) ok = p.first == h.event && h.classes.count(c.cls) != 0;
            }
            if (!ok)
                return why = c.name + ": " + p.first + " = " + p.second + " is no handler DC has for a " + c.cls, false;
        }
        std::string text;
        const char* textProp = c.cls == "TEdit" || c.cls == "TMemo" ? "Text" : "Caption";
        if (c.has(textProp) && !parseString(c.prop(textProp), text)) return why = "bad text of " + c.name, false;
        c.text = text;
        if (c.has("PasswordChar")) {
            std::string ch;
            if (!parseString(c.prop("PasswordChar"), ch) || ch.size() != 1) return why = "bad PasswordChar", false;
        }
        c.visible = c.prop("Visible") != "False";
        c.enabled = c.prop("Enabled") != "False";
        c.checked = c.prop("Checked") == "True";
        c.left = c.has("Left") ? std::stoi(c.prop("Left")) : 0;
        c.top = c.has("Top") ? std::stoi(c.prop("Top")) : 0;
        c.width = c.has("Width") ? std::stoi(c.prop("Width")) : 0;
        c.height = c.has("Height") ? std::stoi(c.prop("Height")) : 0;
        c.tabOrder = c.has("TabOrder") ? std::stoi(c.prop("TabOrder")) : -1;
    }
    return true;
}

Component* Form::find(const std::string& n) {
    for (Component& c : components) {
        if (sameName(c.name, n)) return &c;
    }
    return nullptr;
}

Component& Form::at(const std::string& n) {
    Component* c = find(n);
    if (c == nullptr) {
        ADD_FAILURE() << "the form has no control " << n;
        static Component none;
        none = Component();
        return none;
    }
    return *c;
}

void Form::fire(Component& c, const char* event, std::intptr_t message, std::intptr_t wParam) {
    if (closed || proc == nullptr || c.prop(event).empty()) return;
    std::string name = c.name;
    proc(reinterpret_cast<std::uintptr_t>(this), &name[0], message, wParam, 0);
}

bool Form::type(const std::string& n, const std::string& text) {
    Component& c = at(n);
    if (closed || !c.visible || !c.enabled || c.prop("ReadOnly") == "True") return false;
    if (c.cls != "TEdit" && c.cls != "TMemo") return false;
    if (c.text == text) return true;
    c.text = text;
    fire(c, "OnChange", DN_CHANGE, reinterpret_cast<std::intptr_t>(c.text.c_str()));
    return true;
}

bool Form::click(const std::string& n) {
    Component& c = at(n);
    if (closed || !c.visible || !c.enabled) return false;
    if (c.cls == "TCheckBox") {
        c.checked = !c.checked;
        fire(c, "OnChange", DN_CHANGE, c.checked ? 1 : 0);
        fire(c, "OnClick", DN_CLICK, 0);
        return true;
    }
    if (c.cls != "TButton" && c.cls != "TBitBtn") return false;
    fire(c, "OnClick", DN_CLICK, 0);
    return true;
}

bool Form::pick(const std::string& n, int index) {
    Component& c = at(n);
    if (closed || !c.visible || !c.enabled || index < 0 || index >= static_cast<int>(c.items.size())) return false;
    const bool changed = c.itemIndex != index;
    c.itemIndex = index;
    if (c.cls == "TListBox") {
        if (changed) fire(c, "OnSelectionChange", DN_CHANGE, index);
        fire(c, "OnClick", DN_CLICK, index);
    } else if (c.cls == "TComboBox") {
        c.text = c.items[static_cast<std::size_t>(index)];
        if (changed) fire(c, "OnChange", DN_CHANGE, index);
    } else {
        return false;
    }
    return true;
}

bool Form::doubleClick(const std::string& n, int index) {
    if (!pick(n, index)) return false;
    fire(at(n), "OnDblClick", DN_DBLCLICK, index);
    return true;
}

bool Form::pressEnter() {
    for (Component& c : components) {
        if (c.prop("Default") == "True") return click(c.name);
    }
    return false;
}

bool Form::pressEscape() {
    for (Component& c : components) {
        if (c.prop("Cancel") == "True") return click(c.name);
    }
    return false;
}

std::intptr_t Form::send(const std::string& itemName, std::intptr_t msg, std::intptr_t wParam, std::intptr_t lParam) {
    if (Host::current != nullptr) Host::current->messages.push_back(msg);
    if (msg < DM_FIRST || msg > DM_LAST_KNOWN_1_0_10) {
        ADD_FAILURE() << "message " << msg << " is unknown to DC 1.0.10 (item " << itemName << ")";
        return 0;
    }
    Component* c = find(itemName);
    if (c == nullptr) {
        if (!isFormMessage(msg)) ADD_FAILURE() << "no control named \"" << itemName << "\" for message " << msg;
        if (components.empty()) return 0;
        c = &components.back();  // as 1.0.10 does
    }
    const char* wText = reinterpret_cast<const char*>(wParam);
    switch (msg) {
        case DM_CLOSE:
            closed = true;
            modalResult = wParam != -1 ? static_cast<int>(wParam) : 2;
            return 0;
        case DM_ENABLE: {
            const std::intptr_t was = c->enabled ? 1 : 0;
            if (wParam != -1) c->enabled = wParam != 0;
            return was;
        }
        case DM_SHOWITEM: {
            const std::intptr_t was = c->visible ? 1 : 0;
            if (wParam != -1) c->visible = wParam != 0;
            return was;
        }
        case DM_GETDLGDATA:
            return tag;
        case DM_SETDLGDATA: {
            const long was = tag;
            tag = static_cast<long>(wParam);
            return was;
        }
        case DM_GETDLGBOUNDS:
            rect_[0] = left;
            rect_[1] = top;
            rect_[2] = left + width;
            rect_[3] = top + height;
            return reinterpret_cast<std::intptr_t>(rect_);
        case DM_SETDLGBOUNDS: {
            const auto* r = reinterpret_cast<const std::int32_t*>(wParam);
            left = r[0];
            top = r[1];
            width = r[2] - r[0];
            height = r[3] - r[1];
            return 0;
        }
        case DM_SETITEMBOUNDS: {
            const auto* r = reinterpret_cast<const std::int32_t*>(wParam);
            c->left = r[0];
            c->top = r[1];
            c->width = r[2] - r[0];
            c->height = r[3] - r[1];
            return 0;
        }
        case DM_GETTEXT:
            lastText_ = c->text;
            return reinterpret_cast<std::intptr_t>(lastText_.c_str());
        case DM_SETTEXT: {
            const std::string text = wText != nullptr ? wText : "";
            const bool changed = c->text != text;
            c->text = text;
            if (changed && c->cls == "TEdit")
                fire(*c, "OnChange", DN_CHANGE, reinterpret_cast<std::intptr_t>(c->text.c_str()));
            return 0;
        }
        case DM_GETCHECK:
            return c->cls == "TCheckBox" && c->checked ? 1 : 0;
        case DM_SETCHECK: {
            if (c->cls != "TCheckBox") return 0;
            const std::intptr_t was = c->checked ? 1 : 0;
            const bool on = wParam == 1;
            if (on != c->checked) {
                c->checked = on;
                fire(*c, "OnChange", DN_CHANGE, on ? 1 : 0);
                fire(*c, "OnClick", DN_CLICK, 0);
            }
            return was;
        }
        case DM_LISTADD:
        case DM_LISTADDSTR:
            if (c->cls != "TListBox" && c->cls != "TComboBox" && c->cls != "TMemo") return 0;
            c->items.push_back(wText != nullptr ? wText : "");
            return static_cast<std::intptr_t>(c->items.size()) - 1;
        case DM_LISTDELETE: {
            if (wParam < 0 || wParam >= static_cast<std::intptr_t>(c->items.size())) {
                ADD_FAILURE() << "list index " << wParam << " out of bounds (DC raises)";
                return 0;
            }
            c->items.erase(c->items.begin() + wParam);
            if (c->itemIndex == wParam)
                c->itemIndex = -1;
            else if (c->itemIndex > wParam)
                --c->itemIndex;
            return 0;
        }
        case DM_LISTGETCOUNT:
            return static_cast<std::intptr_t>(c->items.size());
        case DM_LISTGETITEMINDEX:
            return c->cls == "TListBox" || c->cls == "TComboBox" ? c->itemIndex : -1;
        case DM_LISTSETITEMINDEX: {
            if (c->cls != "TListBox" && c->cls != "TComboBox") return 0;
            const int index =
                wParam >= -1 && wParam < static_cast<std::intptr_t>(c->items.size()) ? static_cast<int>(wParam) : -1;
            if (wParam < -1 || wParam >= static_cast<std::intptr_t>(c->items.size()))
                ADD_FAILURE() << "list index " << wParam << " out of bounds";
            const bool changed = index != c->itemIndex;
            c->itemIndex = index;
            if (c->cls == "TComboBox") c->text = index >= 0 ? c->items[static_cast<std::size_t>(index)] : "";
            if (changed && c->cls == "TListBox") fire(*c, "OnSelectionChange", DN_CHANGE, index);
            return 0;
        }
        case DM_LISTGETITEM:
            if (wParam < 0 || wParam >= static_cast<std::intptr_t>(c->items.size())) return 0;
            lastText_ = c->items[static_cast<std::size_t>(wParam)];
            return reinterpret_cast<std::intptr_t>(lastText_.c_str());
        case DM_LISTINDEXOF: {
            const char* lText = reinterpret_cast<const char*>(lParam);
            for (std::size_t i = 0; i < c->items.size(); ++i) {
                if (lText != nullptr && c->items[i] == lText) return static_cast<std::intptr_t>(i);
            }
            return -1;
        }
        case DM_SETFOCUS:
            if (!c->visible) return 0;
            if (!c->enabled) ADD_FAILURE() << "focus to the disabled " << c->name << " (LCL raises)";
            return 0;
        default:
            return 0;
    }
}

namespace {

wfx::BOOL dialogBoxLFM(std::intptr_t data, unsigned long size, tDlgProc proc) {
    Host* host = Host::current;
    if (host == nullptr || data == 0 || size == 0) return 0;
    auto form = std::make_shared<Form>();
    std::string why;
    if (!parse(std::string(reinterpret_cast<const char*>(data), size), *form, why)) {
        ADD_FAILURE() << "DC cannot read the form: " << why;
        return 0;
    }
    form->proc = proc;
    liveForms().insert(form.get());
    host->shown.push_back(form);
    if (form->props["OnShow"] == "DialogBoxShow") {
        std::string name = form->name;
        proc(reinterpret_cast<std::uintptr_t>(form.get()), &name[0], DN_INITDIALOG, 0, 0);
    }
    if (!form->closed && !host->users.empty()) {
        Host::User user = host->users.front();
        host->users.pop_front();
        user(*form);
    }
    if (!form->closed) {
        // The window's close button: no event reaches the plug-in.
        form->closed = true;
        form->modalResult = 2;
    }
    liveForms().erase(form.get());
    return form->modalResult == 1 ? 1 : 0;
}

std::intptr_t sendDlgMsg(std::uintptr_t dialog, char* itemName, std::intptr_t msg, std::intptr_t wParam,
                         std::intptr_t lParam) {
    Form* form = reinterpret_cast<Form*>(dialog);
    if (liveForms().count(form) == 0) {
        ADD_FAILURE() << "message " << msg << " to a form that is gone";
        return 0;
    }
    return form->send(itemName != nullptr ? itemName : "", msg, wParam, lParam);
}

int messageBox(char* text, char* caption, long flags) {
    Host* host = Host::current;
    if (host == nullptr) return 0;
    host->boxes.push_back({text != nullptr ? text : "", caption != nullptr ? caption : "", flags});
    if (!host->boxAnswers.empty()) {
        const int a = host->boxAnswers.front();
        host->boxAnswers.pop_front();
        return a;
    }
    return (flags & 0x0F) == MB_YESNO ? ID_YES : ID_OK;
}

wfx::BOOL inputBox(char*, char*, wfx::BOOL, char*, int) {
    if (Host::current != nullptr) ++Host::current->inputBoxes;
    ADD_FAILURE() << "InputBox was called";
    return 0;
}

}  // namespace

Host::Host() { current = this; }
Host::~Host() {
    if (current == this) current = nullptr;
}

dcext::tExtensionStartupInfo Host::startupInfo() const {
    dcext::tExtensionStartupInfo info;
    std::memset(&info, 0, sizeof info);
    info.StructSize = sizeof info;
    std::strcpy(info.PluginDir, "/opt/keyhold/");
    std::strcpy(info.PluginConfDir, "/home/user/.config/doublecmd/");
    info.InputBox = &inputBox;
    info.MessageBox = &messageBox;
    info.DialogBoxLFM = &dialogBoxLFM;
    info.SendDlgMsg = &sendDlgMsg;
    return info;
}

}  // namespace dcmodel
