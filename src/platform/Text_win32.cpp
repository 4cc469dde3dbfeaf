#include "platform/Text.h"

#include <windows.h>

#include <vector>

namespace platform {

bool storeTextFromUtf8(const std::string& utf8, std::string& out) {
    out.clear();
    if (utf8.empty()) return true;
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                         nullptr, 0);
    if (wide <= 0) {
        out.assign(utf8.size(), '?');
        return false;
    }
    std::vector<wchar_t> units(static_cast<std::size_t>(wide));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), units.data(),
                        wide);
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units.data(), wide, nullptr, 0, "?",
                                          &usedDefault);
    bool exact = bytes > 0;
    if (exact) {
        out.assign(static_cast<std::size_t>(bytes), '\0');
        usedDefault = FALSE;
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units.data(), wide, &out[0], bytes, "?", &usedDefault);
        exact = !usedDefault;
    }
    SecureZeroMemory(units.data(), units.size() * sizeof(wchar_t));
    return exact;
}

std::size_t characterBoundary(const std::string& text, std::size_t limit) {
    if (limit >= text.size()) return text.size();
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t step = IsDBCSLeadByte(static_cast<BYTE>(text[at])) ? 2 : 1;
        if (at + step > limit) break;
        at += step;
    }
    return at;
}

}  // namespace platform
