// Dialogs on Linux, where the host offers no windows to the plug-in: the
// dialog's logic runs on in-memory controls and the user fills them through
// the host's request callback. Each question is one request titled with the
// dialog's title: a field is asked for with its label (RT_Password for secret
// fields), a button or check box is a yes/no question with its text, and a
// cancelled request is Cancel. How a dialog puts its questions is its own
// logic's (CDialogLogic::runWithoutWindows).
#include <algorithm>
#include <cctype>
#include <mutex>

#include "WfxApi.h"
#include "platform/DialogControls_memory.h"
#include "platform/Dialogs.h"
#include "security/SecureString.h"

namespace platform {
namespace {

constexpr int kMaxListAttempts = 100;

// A button's text as a question: "&Modify" asks "Modify".
std::string withoutAccessKey(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            out += text[++i];
        } else if (text[i] != '&') {
            out += text[i];
        }
    }
    return out;
}

bool sameCaseless(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Wipes a plain text when it goes out of scope.
struct tWiped {
    std::string& text;
    ~tWiped() { secureWipe(text); }
};

class RequestUser : public IDialogUser {
public:
    RequestUser(MemoryDialogControls& controls, HostRequest& request) : m_controls(controls), m_request(request) {}

    IDialogControls& controls() override { return m_controls; }
    bool ended() const override { return m_controls.ended(); }
    bool click(int id) override { return m_controls.click(id); }

    bool askField(int id) override {
        const MemoryDialogControls::Control& c = m_controls.control(id);
        if (ended() || !c.visible || !c.enabled || c.readOnly) return true;
        const std::string& label = c.tpl.label.empty() ? c.tpl.text : c.tpl.label;
        if (c.tpl.kind == eControlKind::ComboBox || c.tpl.kind == eControlKind::ListBox) return askItem(id, label);
        if (c.tpl.kind == eControlKind::SecureEdit) {
            std::string answer;
            bool ok = m_request(wfx::RT_Password, m_controls.title(), label, answer);
            if (ok && (!answer.empty() || c.secret.isEmpty())) m_controls.replace(id, answer);
            secureWipe(answer);
            return ok;
        }
        std::string answer = c.text;
        bool ok = m_request(wfx::RT_Other, m_controls.title(), label, answer);
        if (ok) m_controls.replace(id, answer);
        secureWipe(answer);  // a field's value: a user name, notes, a URL
        return ok;
    }

    bool askChoice(int id) override {
        const MemoryDialogControls::Control& c = m_controls.control(id);
        if (ended() || !c.visible || !c.enabled) return false;
        std::string none;
        bool yes = m_request(wfx::RT_MsgYesNo, m_controls.title(), withoutAccessKey(c.tpl.text), none);
        if (c.tpl.kind == eControlKind::CheckBox) {
            if (yes != c.checked) m_controls.click(id);
        } else if (yes) {
            m_controls.click(id);
        }
        return yes;
    }

    bool inform(const std::string& text) override {
        std::string none;
        return m_request(wfx::RT_MsgOK, m_controls.title(), text, none);
    }

private:
    bool askItem(int id, const std::string& label) {
        for (int attempt = 0; attempt < kMaxListAttempts; ++attempt) {
            const MemoryDialogControls::Control& c = m_controls.control(id);
            std::string answer = m_controls.selectedItem(id);
            tWiped wiped{answer};  // the title of an encrypted entry is a secret too
            if (!m_request(wfx::RT_Other, m_controls.title(), label, answer)) return false;
            // The item written exactly as answered, else the first one that
            // differs in case only: a list may hold both "abc" and "ABC".
            for (const std::string& item : c.items) {
                if (item == answer) {
                    m_controls.select(id, item);
                    return true;
                }
            }
            for (const std::string& item : c.items) {
                if (sameCaseless(item, answer)) {
                    m_controls.select(id, item);
                    return true;
                }
            }
            std::string list;
            for (const std::string& item : c.items) list += "\n" + item;
            if (!inform("\"" + answer + "\" is not one of:" + (list.empty() ? std::string(" (none)") : list))) {
                return false;
            }
        }
        return false;
    }

    MemoryDialogControls& m_controls;
    HostRequest& m_request;
};

class LinuxDialogs : public Dialogs {
public:
    int runModal(CDialogLogic& logic, void*) override {
        HostRequest request;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            request = request_;
        }
        if (!request) return 0;
        MemoryDialogControls controls(logic);
        controls.start();
        RequestUser user(controls, request);
        logic.runWithoutWindows(user);
        if (!controls.ended()) controls.endDialog(kDialogCancel);
        return controls.result();
    }
    void setHostRequest(HostRequest request) override {
        std::lock_guard<std::mutex> guard(mutex_);
        request_ = std::move(request);
    }

private:
    std::mutex mutex_;
    HostRequest request_;
};

}  // namespace

Dialogs* nativeDialogs() {
    static LinuxDialogs instance;
    return &instance;
}

}  // namespace platform
