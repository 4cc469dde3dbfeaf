// The main window on Windows. Plug-ins post the file manager's messages to it
// (a panel refresh request is WM_USER+51 with wParam 540); the window reports
// them as lines of the transcript.
#include "MainWindow.h"

#include <windows.h>

#include <cstdio>

#include <ostream>

namespace panel {
namespace mainwindow {

namespace {

constexpr UINT kPanelMessage = WM_USER + 51;
constexpr WPARAM kRefreshPanel = 540;
const char kClassName[] = "KeyholdPanelMain";

HWND window = nullptr;
std::ostream* output = nullptr;

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kPanelMessage:
            if (output) {
                if (wParam == kRefreshPanel)
                    *output << "panel refresh requested\n";
                else
                    *output << "panel message " << wParam << "\n";
            }
            return 0;
        case WM_CLOSE:
            // The panel ends with "quit", which unloads the plug-in first.
            if (output) *output << "(type quit to close the panel)\n";
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace

bool create(std::ostream& out) {
    output = &out;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassA(&windowClass)) return false;
    window = CreateWindowExA(0, kClassName, "keyhold-panel", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                             CW_USEDEFAULT, 480, 320, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window) return false;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    activate();
    pump();
    return true;
}

wfx::HWND handle() {
    return window;
}

void activate() {
    if (!window) return;
    SetForegroundWindow(window);
    SetActiveWindow(window);
}

void pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void destroy() {
    if (window) DestroyWindow(window);
    window = nullptr;
    pump();
    output = nullptr;
}

void destroyIcon(wfx::HICON icon) {
    DestroyIcon(static_cast<HICON>(icon));
}

}  // namespace mainwindow

void endProcess(int code) {
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
}

}  // namespace panel
