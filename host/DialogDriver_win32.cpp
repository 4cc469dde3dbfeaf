#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <ostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "DialogDriver.h"
#include "Format.h"
#include "Requests.h"
#include "ScriptLines.h"

namespace panel {
namespace dialogs {

namespace {

std::thread g_watcher;
std::atomic<bool> g_stopping{false};
std::atomic<bool> g_stopped{false};

std::string classOf(HWND w) {
    char name[64] = {};
    GetClassNameA(w, name, sizeof name);
    return name;
}

std::string textOf(HWND w) {
    int n = GetWindowTextLengthA(w);
    if (n <= 0) return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(n) + 1);
    GetWindowTextA(w, buffer.data(), n + 1);
    return buffer.data();
}

BOOL CALLBACK collectDialog(HWND w, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(w) && classOf(w) == "#32770") {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(w);
    }
    return TRUE;
}

BOOL CALLBACK collectStatic(HWND w, LPARAM param) {
    if (classOf(w) == "Static" && IsWindowVisible(w)) {
        std::string t = textOf(w);
        if (!t.empty()) reinterpret_cast<std::vector<std::string>*>(param)->push_back(t);
    }
    return TRUE;
}

void press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void typeInto(HWND dialog, int id, const std::string& text) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return;
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    for (unsigned char c : text) SendMessageA(control, WM_CHAR, c, 1);
}

// Splits "verb id rest" of an answer text.
bool parseControlAnswer(const std::string& text, const char* verb, int& id, std::string& rest) {
    std::string v = verb;
    if (text.compare(0, v.size() + 1, v + " ") != 0) return false;
    const char* p = text.c_str() + v.size() + 1;
    char* end = nullptr;
    long n = std::strtol(p, &end, 10);
    if (end == p) return false;
    id = static_cast<int>(n);
    rest = *end == ' ' ? std::string(end + 1) : std::string(end);
    return true;
}

void answer(HWND dialog, ScriptLines& script, std::ostream& out) {
    std::vector<std::string> texts;
    EnumChildWindows(dialog, collectStatic, reinterpret_cast<LPARAM>(&texts));
    std::string joined;
    for (const std::string& t : texts) joined += (joined.empty() ? "" : "\n") + t;
    out << "dialog title=\"" << escapeText(textOf(dialog)) << "\" text=\"" << escapeText(joined) << "\"\n";

    for (;;) {
        std::string line;
        bool isAnswer = script.nextIf(
            [](const std::string& l) { return parseAnswerLine(l).kind != ScriptAnswer::None; }, line);
        if (!isAnswer) {
            out << "dialog unanswered\n";
            press(dialog, IDCANCEL);
            PostMessageA(dialog, WM_CLOSE, 0, 0);
            return;
        }
        ScriptAnswer a = parseAnswerLine(line);
        if (a.kind == ScriptAnswer::Cancel) {
            out << "cancelled\n";
            press(dialog, IDCANCEL);
            return;
        }
        int id = 0;
        std::string rest;
        if (a.text == "ok" || a.text == "yes" || a.text == "no") {
            out << "answered " << a.text << "\n";
            press(dialog, a.text == "ok" ? IDOK : a.text == "yes" ? IDYES : IDNO);
            return;
        }
        if (parseControlAnswer(a.text, "click", id, rest)) {
            out << "clicked " << id << "\n";
            press(dialog, id);
            return;
        }
        if (parseControlAnswer(a.text, "set", id, rest)) {
            SetDlgItemTextA(dialog, id, rest.c_str());
            out << "set " << id << "\n";
            continue;
        }
        if (parseControlAnswer(a.text, "select", id, rest)) {
            HWND list = GetDlgItem(dialog, id);
            const bool combo = classOf(list) == "ComboBox";
            LRESULT at = SendMessageA(list, combo ? CB_FINDSTRINGEXACT : LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(rest.c_str()));
            if (at >= 0) {
                SendMessageA(list, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(at), 0);
                SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, combo ? CBN_SELCHANGE : LBN_SELCHANGE),
                             reinterpret_cast<LPARAM>(list));
                out << "selected " << id << "\n";
            } else {
                out << "no item \"" << escapeText(rest) << "\" in " << id << "\n";
            }
            continue;
        }
        if (parseControlAnswer(a.text, "type", id, rest)) {
            typeInto(dialog, id, rest);
            out << "typed into " << id << "\n";
            continue;
        }
        out << "unknown dialog answer: " << a.text << "\n";
    }
}

// A dialog that is still open and usable this long after it was answered
// stayed open on purpose (a wrong password, say) and is answered again.
constexpr DWORD kStillOpenMs = 400;

void watchDialogs(ScriptLines* script, std::ostream* out);

void watch(ScriptLines* script, std::ostream* out) {
    watchDialogs(script, out);
    g_stopped = true;
}

void watchDialogs(ScriptLines* script, std::ostream* out) {
    std::map<HWND, DWORD> answeredAt;
    while (!g_stopping) {
        Sleep(30);
        std::vector<HWND> found;
        EnumWindows(collectDialog, reinterpret_cast<LPARAM>(&found));
        // Forget dialogs that are gone; handles get reused.
        for (auto it = answeredAt.begin(); it != answeredAt.end();) {
            it = IsWindow(it->first) ? std::next(it) : answeredAt.erase(it);
        }
        for (HWND d : found) {
            // A dialog under a message box of its own waits for that box.
            if (!IsWindowEnabled(d)) {
                if (answeredAt.count(d)) answeredAt[d] = GetTickCount();
                continue;
            }
            auto it = answeredAt.find(d);
            if (it != answeredAt.end() && GetTickCount() - it->second < kStillOpenMs) continue;
            answer(d, *script, *out);
            answeredAt[d] = GetTickCount();
        }
    }
}

}  // namespace

void start(ScriptLines& script, std::ostream& out) {
    g_stopping = false;
    g_watcher = std::thread(watch, &script, &out);
}

void stop() {
    g_stopping = true;
    if (!g_watcher.joinable()) return;
    // A watcher still waiting for an answer line at the end of the script is
    // left behind rather than waited for.
    for (int i = 0; i < 100 && !g_stopped; ++i) Sleep(20);
    if (g_stopped) {
        g_watcher.join();
    } else {
        g_watcher.detach();
    }
}

}  // namespace dialogs
}  // namespace panel
