#include "platform/EditWindow_memory.h"

#include <algorithm>
#include <cstring>

namespace platform {

char* MemoryEditWindow::text() {
    char* copy = new char[m_text.size() + 1];
    std::memcpy(copy, m_text.c_str(), m_text.size() + 1);
    return copy;
}

void MemoryEditWindow::setText(const char* text) {
    // WM_SETTEXT: new text, caret at the start, then the notifications.
    m_text = text != nullptr ? text : "";
    m_anchor = m_caret = 0;
    changed();
}

void MemoryEditWindow::selection(std::size_t& start, std::size_t& end) {
    start = std::min(m_anchor, m_caret);
    end = std::max(m_anchor, m_caret);
}

void MemoryEditWindow::setSelection(std::size_t start, std::size_t end) {
    m_anchor = std::min(start, m_text.size());
    m_caret = std::min(end, m_text.size());
}

void MemoryEditWindow::changed() {
    if (m_secure != nullptr) m_secure->onUpdate();  // EN_UPDATE, reflected by the parent
    if (onChange) onChange();                       // EN_CHANGE
}

void MemoryEditWindow::afterInput() {
    if (m_secure != nullptr) m_secure->afterInput();
}

void MemoryEditWindow::eraseSelection() {
    std::size_t start = 0, end = 0;
    selection(start, end);
    m_text.erase(start, end - start);
    m_anchor = m_caret = start;
}

void MemoryEditWindow::replaceSelection(const std::string& with) {
    eraseSelection();
    m_text.insert(m_caret, with);
    m_caret += with.size();
    m_anchor = m_caret;
}

void MemoryEditWindow::focus() {
    if (m_secure != nullptr) m_secure->onSetFocus();
}

void MemoryEditWindow::tabInto() {
    focus();
    setSelection(0, m_text.size());  // the dialog manager's EM_SETSEL 0,-1
}

void MemoryEditWindow::keyDown(int virtualKey, bool shift) {
    if (m_secure != nullptr) m_secure->beforeKeyDown(virtualKey, shift);
    switch (virtualKey) {
        case vkey::kLeft:
        case vkey::kRight:
        case vkey::kHome:
        case vkey::kEnd: {
            std::size_t to = m_caret;
            if (virtualKey == vkey::kLeft) to = m_caret > 0 ? m_caret - 1 : 0;
            if (virtualKey == vkey::kRight) to = std::min(m_caret + 1, m_text.size());
            if (virtualKey == vkey::kHome) to = 0;
            if (virtualKey == vkey::kEnd) to = m_text.size();
            m_caret = to;
            if (!shift) m_anchor = to;
            break;
        }
        case vkey::kDelete:
            if (hasSelection()) {
                eraseSelection();
                changed();
            } else if (m_caret < m_text.size()) {
                m_text.erase(m_caret, 1);
                changed();
            }
            break;
        default:
            break;
    }
    afterInput();
}

void MemoryEditWindow::keyUp(int) { afterInput(); }

void MemoryEditWindow::character(char c) {
    if (c == '\b') {
        if (hasSelection()) {
            eraseSelection();
            changed();
        } else if (m_caret > 0) {
            m_text.erase(--m_caret, 1);
            m_anchor = m_caret;
            changed();
        }
    } else if (static_cast<unsigned char>(c) >= 0x20) {
        replaceSelection(std::string(1, c));
        changed();
    }
    afterInput();
}

void MemoryEditWindow::type(const std::string& text) {
    for (char c : text) {
        // Letters and digits have their own key codes; for anything else a key
        // the edit itself does not act on will do.
        int key = 0xDF;  // VK_OEM_8
        if (c >= 'a' && c <= 'z') key = c - 'a' + 'A';
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) key = c;
        keyDown(key);
        character(c);
        keyUp(key);
    }
}

void MemoryEditWindow::backspace() {
    keyDown(vkey::kBack);
    character('\b');
    keyUp(vkey::kBack);
}

void MemoryEditWindow::paste(const std::string& text) {
    keyDown('V');
    replaceSelection(text);  // WM_CHAR 0x16 makes the edit paste
    changed();
    afterInput();
    keyUp('V');
}

void MemoryEditWindow::pressKey(int virtualKey, bool shift) {
    keyDown(virtualKey, shift);
    keyUp(virtualKey);
}

void MemoryEditWindow::selectWithMouse(std::size_t from, std::size_t to) {
    // WM_LBUTTONDOWN (not hooked) puts the caret; each WM_MOUSEMOVE drags the
    // selection's end; WM_LBUTTONUP ends it.
    m_anchor = m_caret = std::min(from, m_text.size());
    m_caret = std::min(to, m_text.size());
    afterInput();
    afterInput();
}

void MemoryEditWindow::doubleClick(std::size_t at) {
    m_anchor = m_caret = std::min(at, m_text.size());  // WM_LBUTTONDOWN
    afterInput();                                     // WM_LBUTTONUP
    // WM_LBUTTONDBLCLK selects the word under the pointer; here the whole
    // text (asterisks make one word).
    m_anchor = 0;
    m_caret = m_text.size();
    afterInput();
    afterInput();                                     // WM_LBUTTONUP
}

}  // namespace platform
