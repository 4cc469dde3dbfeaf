#include "platform/ToolTip2_win32.h"

#include <windows.h>

#include <algorithm>
#include <mutex>

#include "platform/Module.h"
#include "platform/Platform.h"

namespace platform {
namespace win32 {

const char* const kToolTip2Class = "Keyhold.ToolTip2";

namespace {

HWND hwnd(void* p) { return static_cast<HWND>(p); }
HINSTANCE instance() { return static_cast<HINSTANCE>(module().handle()); }

// Tool tips alive, and the class they share.
std::mutex g_classMutex;
int g_classUsers = 0;

}  // namespace

struct ToolTip2Access {
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            static_cast<CToolTip2*>(create->lpCreateParams)->m_window = window;
        }
        CToolTip2* self = reinterpret_cast<CToolTip2*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
        return self->handle(message, wParam, lParam);
    }

    static bool registerClass() {
        std::lock_guard<std::mutex> guard(g_classMutex);
        if (g_classUsers == 0) {
            WNDCLASSEXA wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = &windowProc;
            wc.hInstance = instance();
            wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
            wc.lpszClassName = kToolTip2Class;
            // Left behind by a tool tip whose window outlived it: still ours.
            if (RegisterClassExA(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
        }
        ++g_classUsers;
        return true;
    }

    static void unregisterClass() {
        std::lock_guard<std::mutex> guard(g_classMutex);
        if (g_classUsers > 0 && --g_classUsers == 0) UnregisterClassA(kToolTip2Class, instance());
    }
};

CToolTip2::~CToolTip2() { destroy(); }

void CToolTip2::destroy() {
    if (m_window != nullptr && IsWindow(hwnd(m_window))) DestroyWindow(hwnd(m_window));
    m_window = nullptr;
    m_shown = false;
    if (m_font != nullptr) {
        DeleteObject(static_cast<HFONT>(m_font));
        m_font = nullptr;
    }
    if (m_registered) {
        ToolTip2Access::unregisterClass();
        m_registered = false;
    }
    if (!m_text.empty()) secureWipeText();
}

bool CToolTip2::create(void* parent) {
    if (m_window != nullptr) return true;
    if (!m_registered) {
        if (!ToolTip2Access::registerClass()) return false;
        m_registered = true;
    }
    m_parent = parent;
    if (m_font == nullptr) {
        m_font = CreateFontA(15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
    }
    // A pop-up with a child as its "parent" is owned by the child's
    // top-level window: it goes with the dialog.
    CreateWindowExA(WS_EX_TOOLWINDOW, kToolTip2Class, "", WS_POPUP, 0, 0, 0, 0, hwnd(parent), nullptr, instance(),
                    this);
    return m_window != nullptr;
}

std::vector<std::string> CToolTip2::lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

void CToolTip2::setText(const std::string& text) {
    secureWipeText();
    m_text = text;
    std::size_t end = m_text.find_last_not_of(" \t\r\v\f");
    m_text.erase(end == std::string::npos ? 0 : end + 1);
}

void CToolTip2::secureWipeText() {
    std::fill(m_text.begin(), m_text.end(), '\0');
    m_text.clear();
}

void CToolTip2::showAt(int x, int y) {
    if (m_window == nullptr) return;
    hide();
    HWND window = hwnd(m_window);
    const std::vector<std::string> all = lines(m_text);
    HDC dc = GetDC(window);
    HGDIOBJ old = m_font != nullptr ? SelectObject(dc, static_cast<HFONT>(m_font)) : nullptr;
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    m_lineHeight = metrics.tmHeight;
    int widest = 0;
    for (const std::string& line : all) {
        if (line.empty()) continue;
        DWORD extent = GetTabbedTextExtentA(dc, line.c_str(), static_cast<int>(line.size()), 0, nullptr);
        widest = std::max(widest, static_cast<int>(LOWORD(extent)));
    }
    if (old != nullptr) SelectObject(dc, old);
    ReleaseDC(window, dc);

    POINT at{x + 1, y + 1};
    ClientToScreen(hwnd(m_parent), &at);
    SetWindowTextA(window, m_text.c_str());
    SetWindowPos(window, HWND_TOPMOST, at.x, at.y, widest + 7, static_cast<int>(all.size()) * m_lineHeight + 2,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(window, nullptr, TRUE);
    m_shown = true;
}

void CToolTip2::hide() {
    if (m_window != nullptr) {
        ShowWindow(hwnd(m_window), SW_HIDE);
        SetWindowTextA(hwnd(m_window), "");
    }
    m_shown = false;
}

void CToolTip2::paint() {
    HWND window = hwnd(m_window);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_INFOBK));
    FrameRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    HGDIOBJ old = m_font != nullptr ? SelectObject(dc, static_cast<HFONT>(m_font)) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    int y = 1;
    for (const std::string& line : lines(m_text)) {
        if (!line.empty()) TabbedTextOutA(dc, 3, y, line.c_str(), static_cast<int>(line.size()), 0, nullptr, 3);
        y += m_lineHeight;
    }
    if (old != nullptr) SelectObject(dc, old);
    EndPaint(window, &ps);
}

std::intptr_t CToolTip2::handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    HWND window = hwnd(m_window);
    switch (message) {
        case WM_PAINT:
            paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // WM_PAINT fills it all
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_MOUSEMOVE:
            if (!m_tracking) {
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
                m_tracking = TrackMouseEvent(&track) != FALSE;
            }
            return 0;
        case WM_MOUSELEAVE:
            m_tracking = false;
            if (m_parent != nullptr) SendMessageA(hwnd(m_parent), kToolTip2Left, 0, 0);
            return 0;
        case WM_NCDESTROY: {
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            m_window = nullptr;
            m_shown = false;
            m_tracking = false;
            return DefWindowProcA(window, message, wParam, lParam);
        }
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace win32
}  // namespace platform
