// A secure edit: an edit control whose window shows only asterisks while the
// real text sits in masked cells (see CSecureString). The control's window is
// reached through IEditWindow, so the same logic runs on a real Win32 EDIT
// control (platform/SecureEdit_win32.cpp) and on an in-memory model of one
// (platform/EditWindow_memory.h).
//
// How it follows the user: every time the control's text changes (EN_UPDATE,
// reflected from the parent) the window holds asterisks plus whatever the
// edit just inserted or lost at the caret. onUpdate() moves new characters
// into the cells, drops cells for lost ones and puts asterisks back. Selections
// would break that bookkeeping (a typed character replacing three asterisks
// is indistinguishable from other edits), so after every key and mouse message
// the selection is collapsed to its start.
#pragma once

#include <cstddef>

#include "security/SecureString.h"

// Virtual-key codes (the Win32 values) the secure edit and its models use.
namespace vkey {
constexpr int kBack = 0x08;
constexpr int kEnd = 0x23;
constexpr int kHome = 0x24;
constexpr int kLeft = 0x25;
constexpr int kRight = 0x27;
constexpr int kDelete = 0x2E;
}  // namespace vkey

// What the secure edit needs of its window.
class IEditWindow {
public:
    virtual ~IEditWindow() = default;
    virtual std::size_t textLength() = 0;
    // A new copy of the window text with a terminating zero; release it with
    // releasePlainCopy.
    virtual char* text() = 0;
    virtual void setText(const char* text) = 0;
    // The selection, start <= end; the caret is at start when nothing is selected.
    virtual void selection(std::size_t& start, std::size_t& end) = 0;
    virtual void setSelection(std::size_t start, std::size_t end) = 0;
    virtual void scrollCaret() = 0;
};

class CSecureEditEx {
public:
    explicit CSecureEditEx(IEditWindow& window);
    CSecureEditEx(const CSecureEditEx&) = delete;
    CSecureEditEx& operator=(const CSecureEditEx&) = delete;

    bool secureMode() const { return m_secure; }
    // Off: the control is a plain edit showing its text, the cells stay empty.
    void setSecureMode(bool on);

    // A new plain copy of the text (the cells in secure mode, the window text
    // otherwise); release it with releasePlainCopy.
    char* getText();
    // Null or "" empties the control.
    void setText(const char* text);
    // The masked cells (empty in plain mode).
    const CSecureString& secret() const { return m_cells; }
    // Cell edits; they do not touch the window and do nothing in plain mode.
    void insertCharacters(std::size_t position, const char* text, std::size_t count);
    void deleteCharacters(std::size_t position, std::size_t count);
    void clear();
    // How many characters the window is known to show.
    std::size_t shownLength() const { return m_shown; }

    // Hooks for the window.
    // EN_UPDATE: the control's text changed (before it is drawn).
    void onUpdate();
    // EN_SETFOCUS.
    void onSetFocus() { collapseSelection(); }
    // WM_KEYDOWN, before the edit's own processing; Shift+Home and Shift+End
    // empty the control (a selection up to either end is not allowed).
    void beforeKeyDown(int virtualKey, bool shiftDown);
    // After the edit's own processing of a key or mouse message.
    void afterInput() { collapseSelection(); }

private:
    void collapseSelection();
    // Window text := `text`, without taking the change for the user's.
    void showText(const char* text);
    void showAsterisks(std::size_t n);

    IEditWindow& m_window;
    bool m_secure = true;
    CSecureString m_cells;
    std::size_t m_shown = 0;
    bool m_rewriting = false;
};
