#include "security/SecureEditEx.h"

#include <cstring>
#include <string>

CSecureEditEx::CSecureEditEx(IEditWindow& window) : m_window(window) {}

char* CSecureEditEx::getText() { return m_secure ? m_cells.getText() : m_window.text(); }

void CSecureEditEx::clear() {
    m_cells.clear();
    m_shown = 0;
}

void CSecureEditEx::insertCharacters(std::size_t position, const char* text, std::size_t count) {
    if (m_secure) m_cells.insertCharacters(position, text, count);
}

void CSecureEditEx::deleteCharacters(std::size_t position, std::size_t count) {
    if (m_secure) m_cells.deleteCharacters(position, count);
}

void CSecureEditEx::showText(const char* text) {
    // Setting the text raises EN_UPDATE again; that change is ours, not the user's.
    m_rewriting = true;
    m_window.setText(text);
    m_rewriting = false;
}

void CSecureEditEx::showAsterisks(std::size_t n) {
    std::string stars(n, '*');
    showText(stars.c_str());
}

void CSecureEditEx::setText(const char* text) {
    clear();
    const std::size_t n = text != nullptr ? std::strlen(text) : 0;
    if (!m_secure) {
        m_shown = n;
        showText(text != nullptr ? text : "");
        return;
    }
    insertCharacters(0, text, n);
    m_shown = m_cells.length();
    showAsterisks(m_shown);
}

void CSecureEditEx::setSecureMode(bool on) {
    if (on == m_secure) return;
    char* copy = getText();
    clear();
    m_secure = on;
    const std::size_t n = std::strlen(copy);
    if (on && n > 0) {
        insertCharacters(0, copy, n);
        std::memset(copy, '*', n);
    }
    m_shown = n;
    showText(copy);
    releasePlainCopy(copy);
}

void CSecureEditEx::onUpdate() {
    if (m_rewriting) return;
    const std::size_t n = m_window.textLength();
    if (!m_secure) {
        m_shown = n;
        return;
    }
    if (n == m_shown) return;

    char* shown = m_window.text();
    const std::size_t length = std::strlen(shown);
    std::size_t start = 0, end = 0;
    m_window.selection(start, end);
    std::size_t k = start;
    if (length > m_shown) {
        // The edit inserted d characters just before the caret.
        const std::size_t d = length - m_shown;
        if (k < d) k = d;            // the caret is not behind them (the text was set anew)
        if (k > length) k = length;
        insertCharacters(k - d, shown + (k - d), d);
    } else {
        // The edit removed characters at the caret.
        deleteCharacters(k, m_shown - length);
    }
    m_shown = m_cells.length();
    if (k > m_shown) k = m_shown;
    showAsterisks(m_shown);
    m_window.setSelection(k, k);
    m_window.scrollCaret();
    releasePlainCopy(shown);
}

void CSecureEditEx::beforeKeyDown(int virtualKey, bool shiftDown) {
    if (!m_secure || !shiftDown || (virtualKey != vkey::kHome && virtualKey != vkey::kEnd)) return;
    clear();
    showText("");
    m_window.setSelection(0, 0);
    m_window.scrollCaret();
}

void CSecureEditEx::collapseSelection() {
    if (!m_secure) return;
    std::size_t start = 0, end = 0;
    m_window.selection(start, end);
    if (start != end) {
        m_window.setSelection(start, start);
        m_window.scrollCaret();
    }
}
