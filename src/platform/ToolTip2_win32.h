// CToolTip2: the small window a CTTListBox shows its item tool tips in. A
// pop-up tool window owned by the list, drawn by itself: the lines of its
// text (split at line feeds) in the tool-tip colours inside a one-pixel black
// frame. While the mouse is on it, it watches for the mouse to leave it and
// then tells its list (kToolTip2Left), which decides whether to hide it.
// While shown, its window text is the text, so that others can read it with
// WM_GETTEXT; hidden, the window text is empty.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {
namespace win32 {

// The window class of every CToolTip2 window. It is registered while a tool
// tip exists and unregistered when the last one is gone, so that no class of
// this library outlives the dialog that used it.
extern const char* const kToolTip2Class;
// Sent to the list when the mouse has left the tool tip (WM_APP + 0x2C1).
constexpr unsigned kToolTip2Left = 0x8000u + 0x2C1u;

class CToolTip2 {
public:
    CToolTip2() = default;
    ~CToolTip2();
    CToolTip2(const CToolTip2&) = delete;
    CToolTip2& operator=(const CToolTip2&) = delete;

    // Creates the window, owned by `parent` (an HWND), not shown. False when
    // it cannot be made.
    bool create(void* parent);
    // Trailing blanks, tabs and carriage returns are dropped; line feeds
    // stay, so that an empty last line is shown.
    void setText(const std::string& text);
    const std::string& text() const { return m_text; }
    // Shows the text one pixel right of and below the point (client
    // coordinates of the parent), on top of all windows, not activated.
    void showAt(int x, int y);
    void hide();
    bool shown() const { return m_shown; }
    void* window() const { return m_window; }

    // The text cut at line feeds; a line feed at the very end starts no line.
    static std::vector<std::string> lines(const std::string& text);

private:
    friend struct ToolTip2Access;
    // A message to the window (WPARAM, LPARAM and LRESULT in their own types).
    std::intptr_t handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    void paint();
    void destroy();
    void secureWipeText();

    void* m_window = nullptr;
    void* m_parent = nullptr;
    void* m_font = nullptr;
    std::string m_text;
    bool m_shown = false;
    bool m_tracking = false;  // a leave notification is asked for
    bool m_registered = false;
    int m_lineHeight = 0;
};

}  // namespace win32
}  // namespace platform
