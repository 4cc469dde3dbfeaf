// Dialogs on Linux. A host that offers Double Commander's extension API shows
// each dialog as one modal form (DialogBoxLFM) made from the dialog's
// template, and the dialog's logic works its controls through SendDlgMsg.
//
// Other hosts offer no windows to the plug-in: the dialog's logic runs on
// in-memory controls and the user fills them through the host's request
// callback. Each question is one request titled with the dialog's title: a
// field is asked for with its label (RT_Password for secret fields), a button
// or check box is a yes/no question that names its choice, and a cancelled
// request is Cancel. How a dialog puts its questions is its own logic's
// (CDialogLogic::runWithoutWindows).
#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <mutex>

#include "Log.h"
#include "WfxApi.h"
#include "platform/DialogControls_dc.h"
#include "platform/DialogControls_memory.h"
#include "platform/DialogForm_dc.h"
#include "platform/Dialogs.h"
#include "platform/HostExtension.h"
#include "platform/Threads.h"
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

    bool askChoice(int id, const std::string& question) override {
        const MemoryDialogControls::Control& c = m_controls.control(id);
        if (ended() || !c.visible || !c.enabled) return false;
        std::string none;
        bool yes = m_request(wfx::RT_MsgYesNo, m_controls.title(),
                             question.empty() ? withoutAccessKey(c.tpl.text) + "?" : question, none);
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

// The forms being shown, by the number each carries as its Tag. DC calls the
// dialog procedure with its own handle of the form; the number, read back
// with DM_GETDLGDATA, says which of ours it is (several may be open: one
// opened from another, or one from the hot key's thread).
class FormRegistry {
public:
    long add(DcDialogControls* controls) {
        std::lock_guard<std::mutex> guard(mutex_);
        const long tag = ++last_;
        forms_[tag] = controls;
        return tag;
    }
    void remove(long tag) {
        std::lock_guard<std::mutex> guard(mutex_);
        forms_.erase(tag);
    }
    DcDialogControls* find(long tag) {
        std::lock_guard<std::mutex> guard(mutex_);
        auto it = forms_.find(tag);
        return it != forms_.end() ? it->second : nullptr;
    }

private:
    std::mutex mutex_;
    long last_ = 0;
    std::map<long, DcDialogControls*> forms_;
};

FormRegistry& forms() {
    static FormRegistry instance;
    return instance;
}

// DC's calls into the plug-in for every event of one of our forms. Nothing
// may leave it by exception: DC is not C++.
std::intptr_t dialogProcedure(std::uintptr_t dialog, char* itemName, std::intptr_t message, std::intptr_t,
                              std::intptr_t) {
    DcDialogControls* controls = nullptr;
    try {
        const HostExtensionCalls calls = hostExtension().calls();
        if (calls.sendDlgMsg == nullptr) return 0;
        // The form's Tag: a message to the form itself, whatever item is named.
        const std::intptr_t tag =
            calls.sendDlgMsg(dialog, const_cast<char*>(dcform::kFormName), dcext::DM_GETDLGDATA, 0, 0);
        controls = forms().find(static_cast<long>(tag));
        if (controls == nullptr) return 0;
        controls->attach(dialog);
        controls->event(itemName, message);
    } catch (const std::exception&) {
        KH_LOG(eError, "A dialog stopped on an exception; it is cancelled");
        try {
            if (controls != nullptr) controls->endDialog(kDialogCancel);
        } catch (...) {
        }
    } catch (...) {
        try {
            if (controls != nullptr) controls->endDialog(kDialogCancel);
        } catch (...) {
        }
    }
    return 0;
}

// One modal form in DC. 0 when DC did not show it.
int runInHost(CDialogLogic& logic, const HostExtensionCalls& calls) {
    DcDialogControls controls(logic, calls.sendDlgMsg, true);
    struct tRegistered {
        long tag;
        ~tRegistered() { forms().remove(tag); }
    } registered{forms().add(&controls)};
    const std::string form = dcform::formText(logic.dialogTemplate(), logic.windowTitle(), registered.tag, true);
    calls.dialogBoxLFM(reinterpret_cast<std::intptr_t>(form.data()), static_cast<unsigned long>(form.size()),
                       &dialogProcedure);
    parkIfLetGo();  // given back by a host that is leaving
    if (!controls.initialized()) return 0;
    // Closed by the window's own close button or by DC: as Cancel. The form
    // is gone; the logic is not asked again.
    return controls.ended() ? controls.result() : kDialogCancel;
}

class LinuxDialogs : public Dialogs {
public:
    int runModal(CDialogLogic& logic, void*) override {
        const HostExtensionCalls calls = hostExtension().calls();
        if (calls.hasDialogs()) return runInHost(logic, calls);
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
