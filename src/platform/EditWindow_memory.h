// A single-line edit control in memory, doing what a real one does when the
// user types, deletes, moves the caret or selects with the mouse. A secure
// edit attached to it gets its hooks exactly where Windows calls them on a
// subclassed control: key and mouse messages get the edit's own processing
// first, then afterInput(); a change of the text raises EN_UPDATE, which the
// parent reflects to onUpdate(), then EN_CHANGE for the parent itself.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "security/SecureEditEx.h"

namespace platform {

class MemoryEditWindow : public IEditWindow {
public:
    // The subclassing secure edit, or null for a plain edit.
    void attach(CSecureEditEx* secureEdit) { m_secure = secureEdit; }
    // EN_CHANGE, as the parent receives it.
    std::function<void()> onChange;

    // The user's side.
    void focus();                              // clicked or tabbed into: EN_SETFOCUS
    void tabInto();                            // focus, then the dialog selects all
    void type(const std::string& text);        // key down, character, key up for each
    void keyDown(int virtualKey, bool shift = false);
    void keyUp(int virtualKey);
    void character(char c);                    // WM_CHAR; '\b' is Backspace
    void backspace();                          // key down, '\b', key up
    void paste(const std::string& text);       // Ctrl+V: the clipboard's text at the caret
    void pressKey(int virtualKey, bool shift = false);  // key down, key up
    void selectWithMouse(std::size_t from, std::size_t to);  // press, drag, release
    void doubleClick(std::size_t at);

    // What the window shows.
    const std::string& shown() const { return m_text; }
    std::size_t caret() const { return m_caret; }
    bool hasSelection() const { return m_anchor != m_caret; }
    int scrolls() const { return m_scrolls; }

    // IEditWindow
    std::size_t textLength() override { return m_text.size(); }
    char* text() override;
    void setText(const char* text) override;
    void selection(std::size_t& start, std::size_t& end) override;
    void setSelection(std::size_t start, std::size_t end) override;
    void scrollCaret() override { ++m_scrolls; }

private:
    void replaceSelection(const std::string& with);
    void eraseSelection();
    void changed();
    void afterInput();

    CSecureEditEx* m_secure = nullptr;
    std::string m_text;
    std::size_t m_anchor = 0, m_caret = 0;
    int m_scrolls = 0;
};

}  // namespace platform
