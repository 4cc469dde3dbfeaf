// The key sender on real windows: a window with two edits is in front, and a
// second thread types into it the way the hot-key thread does, while the
// window's thread runs its own message loop (Tab moves between the edits,
// Enter presses OK). Checks what the edits hold, where the focus went, and
// that window activation by title brings another window's edit the keys.
// Prints "N passed, M failed" and exits non-zero when a check failed.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>

#include "SendKeys/SendKeys.h"
#include "platform/KeyInput.h"
#include "platform/Platform.h"

#include "Checks.h"
#include "SendKeysCheck.h"

namespace {

constexpr int kFirstEdit = 101, kSecondEdit = 102, kOtherEdit = 201;
constexpr UINT kReset = WM_APP + 1;     // empties the edits, brings the window in front, focus to the first
constexpr UINT kWaitMode = WM_APP + 2;  // types with wait on, on the window's own thread
const char kMainTitle[] = "Keyhold send keys check";
const char kOtherTitle[] = "Keyhold second window";

HWND g_main = nullptr, g_other = nullptr;
DWORD g_uiThread = 0;
std::atomic<int> g_okPresses{0};
std::string g_waitModeText;

HWND item(HWND window, int id) { return GetDlgItem(window, id); }

std::string textOf(HWND w) {
    char buffer[512] = {};
    SendMessageA(w, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

HWND focusOfUiThread() {
    GUITHREADINFO info;
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(g_uiThread, &info) ? info.hwndFocus : nullptr;
}

bool waitUntil(const std::function<bool()>& condition, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (condition()) return true;
        Sleep(20);
    }
    return condition();
}

// Waits until the edit holds the text, then lets a little more time pass so
// that a key sent too many would show; checks what it holds then.
void expectText(HWND window, int id, const std::string& text, const std::string& what) {
    waitUntil([&] { return textOf(item(window, id)) == text; });
    Sleep(150);
    const std::string got = textOf(item(window, id));
    check(got == text, what + ": expected \"" + text + "\", got \"" + got + "\"");
}

LRESULT CALLBACK windowProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) ++g_okPresses;
            return 0;
        case WM_SETFOCUS: {
            // Like a dialog: the window hands the focus to its first edit.
            HWND first = GetWindow(w, GW_CHILD);
            if (first) SetFocus(first);
            return 0;
        }
        case kReset:
            for (HWND child = GetWindow(w, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                SetWindowTextA(child, "");
            SetForegroundWindow(w);
            SetFocus(GetWindow(w, GW_CHILD));
            return 0;
        case kWaitMode: {
            // Nothing but the key sender takes messages off this thread's
            // queue here: the text is in the edit when sendKeys returns.
            const bool done = sendKeysEngine().sendKeys("wait", true);
            g_waitModeText = textOf(GetFocus());
            return done;
        }
        case WM_CLOSE: DestroyWindow(w); return 0;
        case WM_DESTROY:
            if (w == g_main) PostQuitMessage(0);
            return 0;
        default: return DefWindowProcA(w, message, wParam, lParam);
    }
}

HWND makeWindow(const char* title, int x, std::initializer_list<int> edits) {
    HWND w = CreateWindowExA(0, "KeyholdSendKeysCheck", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, 40, 320, 180,
                             nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    int y = 10;
    for (int id : edits) {
        CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 10, y,
                        280, 24, w, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                        nullptr);
        y += 34;
    }
    return w;
}

void reset(HWND window) {
    SendMessageA(window, kReset, 0, 0);
    waitUntil([&] { return GetForegroundWindow() == window; });
}

// The user of the windows, on a thread of its own as the hot-key thread is.
void typist() {
    CSendKeys& keys = sendKeysEngine();

    // Which of the characters that mean something in a sequence the layout
    // types through a dead key (a run under a European key map shows some).
    platform::KeyInput& input = *platform::nativeKeyInput();
    std::string dead;
    for (char c : std::string("^~`'\""))
        if (input.keyForCharacter(c) != platform::kNoKey && input.isDeadKey(input.keyForCharacter(c))) dead += c;
    std::printf("dead keys of the layout: %s\n", dead.empty() ? "none" : dead.c_str());

    reset(g_main);
    check(GetForegroundWindow() == g_main, "the check window is in front");
    check(focusOfUiThread() == item(g_main, kFirstEdit), "the first edit has the focus");

    // Layout characters with their shift states, and Tab to the next edit.
    check(keys.sendKeys("Ab+c{TAB}", false), "sendKeys(\"Ab+c{TAB}\") is done");
    expectText(g_main, kFirstEdit, "AbC", "\"Ab+c\" types AbC into the first edit");
    check(waitUntil([] { return focusOfUiThread() == item(g_main, kSecondEdit); }), "{TAB} moves to the second edit");
    keys.sendKeys("x{LEFTBRACE}{PLUS}{AT}{TILDE}{PERCENT}", false);
    expectText(g_main, kSecondEdit, "x{+@~%", "character names type their characters");
    check(textOf(item(g_main, kFirstEdit)) == "AbC", "the first edit got nothing more");

    // Named editing keys, some of them extended, with Shift held over them.
    reset(g_main);
    keys.sendKeys("hello{HOME}{DEL}{END}{BS}{LEFT}X", false);
    expectText(g_main, kFirstEdit, "elXl", "Home, Delete, End, Backspace and Left edit the text");
    keys.sendKeys("{END}+{HOME}{DEL}+(ab)", false);
    expectText(g_main, kFirstEdit, "AB", "Shift+Home selects, Delete removes, the group types AB");
    keys.sendKeys("{VKEY 323}{VKEY 68}", false);  // 0x143: Shift with C
    expectText(g_main, kFirstEdit, "ABCd", "VKEY sends the key with its shift state");

    // An entry typed the way the hot key types it: every character that means
    // something in a key sequence arrives as itself, also those the layout
    // has no key for (under Xvfb's default key map wine's layout has none
    // for "(" and ")"): they go out as Unicode characters.
    reset(g_main);
    const std::string userName = "u{ } % ( ) @ + ^ ~ ` ' \"", password = "P~^+@)(%}{z9(^~)^e~n`a'e\"o";
    const int presses = g_okPresses.load();
    check(keys.send(entrySequence(userName, password), false, g_main) == CSendKeys::Result::eDone,
          "the entry's sequence is done");
    expectText(g_main, kFirstEdit, userName, "the user name arrives exactly");
    expectText(g_main, kSecondEdit, password, "the password arrives exactly");
    check(waitUntil([&] { return g_okPresses.load() == presses + 1; }), "Enter at the end presses OK once");

    // Characters beyond ASCII, which no key of the layout types.
    reset(g_main);
    const std::string beyond = "a\xE9\xA7" "b";
    check(keys.send(beyond, false, g_main) == CSendKeys::Result::eDone, "a text beyond ASCII is typed");
    WCHAR wide[8] = {};
    MultiByteToWideChar(CP_ACP, 0, beyond.c_str(), -1, wide, 8);
    WCHAR got[16] = {};
    waitUntil([&] {
        GetWindowTextW(item(g_main, kFirstEdit), got, 16);
        return lstrcmpW(got, wide) == 0;
    });
    char shown[80] = {};
    for (int i = 0; got[i] != 0 && i < 12; ++i)
        std::snprintf(shown + std::strlen(shown), sizeof shown - std::strlen(shown), "%04X ", got[i]);
    check(lstrcmpW(got, wide) == 0, std::string("characters without a key arrive as themselves, got ") + shown);

    // Typed into a window that is not in front: nothing arrives anywhere.
    reset(g_main);
    check(keys.send("abc", false, g_other) == CSendKeys::Result::eWindowLeft,
          "a sequence for a window that is not in front stops");
    Sleep(300);
    check(textOf(item(g_main, kFirstEdit)).empty() && textOf(item(g_other, kOtherEdit)).empty(),
          "and types nothing");

    // Modifiers are up after every sequence, also one stopped by an over-long command.
    // (Alt is left out: pressed alone it would put the window in menu mode.)
    check(!keys.sendKeys("+^{" + std::string(300, 'x') + "}", false), "a 300-character command stops the sequence");
    Sleep(100);
    check((GetAsyncKeyState(VK_SHIFT) & 0x8000) == 0 && (GetAsyncKeyState(VK_CONTROL) & 0x8000) == 0,
          "no modifier is left down");

    // Activation by title.
    reset(g_main);
    check(keys.sendKeys("{APPACTIVATE Keyhold second}other", false), "a sequence with APPACTIVATE is done");
    check(waitUntil([] { return GetForegroundWindow() == g_other; }), "APPACTIVATE brings the second window in front");
    expectText(g_other, kOtherEdit, "other", "the keys after it go to the second window");
    check(textOf(item(g_main, kFirstEdit)).empty(), "the first window got none of them");
    check(keys.appActivate(kMainTitle, nullptr), "appActivate finds the check window by its whole title");
    check(waitUntil([] { return GetForegroundWindow() == g_main; }), "appActivate brings it back in front");
    check(!keys.appActivate("No such window anywhere", nullptr), "appActivate of a missing window is false");
    keys.sendKeys("{APPACTIVATE No such window anywhere}", false);
    Sleep(200);
    check(GetForegroundWindow() == g_main, "APPACTIVATE of a missing window changes nothing");
    check(keys.appActivate(nullptr, "KeyholdSendKeys"), "appActivate finds a window by part of its class");
    check(waitUntil([] { return GetForegroundWindow() == g_main || GetForegroundWindow() == g_other; }),
          "the window found by its class is one of ours");

    // Wait mode, on the thread that owns the edit.
    reset(g_main);
    check(SendMessageA(g_main, kWaitMode, 0, 0) != 0, "sendKeys with wait is done");
    check(g_waitModeText == "wait", "with wait on, the keys are in the edit when sendKeys returns, got " +
                                         g_waitModeText);

    SendMessageA(g_other, WM_CLOSE, 0, 0);
    PostMessageA(g_main, WM_CLOSE, 0, 0);
}

}  // namespace

int main() {
    startWatchdog(120000);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "KeyholdSendKeysCheck";
    RegisterClassA(&wc);
    g_uiThread = GetCurrentThreadId();
    g_other = makeWindow(kOtherTitle, 380, {kOtherEdit});
    g_main = makeWindow(kMainTitle, 20, {kFirstEdit, kSecondEdit});

    std::thread user([] { typist(); });
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        HWND top = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (top && IsDialogMessageA(top, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    user.join();

    std::printf("%d passed, %d failed\n", g_passed.load(), g_failed.load());
    return g_failed.load() == 0 ? 0 : 1;
}
