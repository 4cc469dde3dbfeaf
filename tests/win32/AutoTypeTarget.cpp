// The other program of the auto-type tests: opens a window with the given
// title holding a focused edit, presses the hot key Ctrl+Shift+Q through
// SendInput, and prints what arrived in the edit once nothing more comes
// (or when the time is up):
//   autotype-target.exe TITLE SECONDS
// prints   typed: TEXT   with CR, LF and Tab written as \r, \n and \t.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

HWND g_edit = nullptr;

LRESULT CALLBACK windowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_SETFOCUS && g_edit != nullptr) {
        SetFocus(g_edit);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

void key(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, 0));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof in);
}

void pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

std::string text() {
    int n = GetWindowTextLengthA(g_edit);
    std::vector<char> b(static_cast<std::size_t>(n) + 1, '\0');
    GetWindowTextA(g_edit, b.data(), n + 1);
    return b.data();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const DWORD seconds = static_cast<DWORD>(std::atoi(argv[2]));
    WNDCLASSA wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KeyholdAutoTypeTarget";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, wc.lpszClassName, argv[1], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 400, 200,
                             nullptr, nullptr, wc.hInstance, nullptr);
    g_edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE | ES_WANTRETURN, 5, 5,
                             380, 150, w, nullptr, wc.hInstance, nullptr);
    ShowWindow(w, SW_SHOW);
    SetForegroundWindow(w);
    SetFocus(g_edit);
    pump(500);
    std::printf("window up: %s\n", GetForegroundWindow() == w ? "in front" : "not in front");
    std::fflush(stdout);
    key(VK_CONTROL, false);
    key(VK_SHIFT, false);
    key('Q', false);
    key('Q', true);
    key(VK_SHIFT, true);
    key(VK_CONTROL, true);
    // Wait for the text, then until it has stood still for a while.
    DWORD start = GetTickCount();
    std::string last;
    DWORD lastChange = GetTickCount();
    while (GetTickCount() - start < seconds * 1000) {
        pump(100);
        std::string now = text();
        if (now != last) {
            last = now;
            lastChange = GetTickCount();
        } else if (!last.empty() && GetTickCount() - lastChange > 1500) {
            break;
        }
    }
    std::string shown;
    for (char c : last) {
        if (c == '\r') shown += "\\r";
        else if (c == '\n') shown += "\\n";
        else if (c == '\t') shown += "\\t";
        else shown += c;
    }
    std::printf("typed: %s\n", shown.c_str());
    std::fflush(stdout);
    DestroyWindow(w);
    return 0;
}
