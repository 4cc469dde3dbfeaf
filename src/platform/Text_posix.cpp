#include "platform/Text.h"

namespace platform {

bool storeTextFromUtf8(const std::string& utf8, std::string& out) {
    out = utf8;
    return true;
}

std::size_t characterBoundary(const std::string& text, std::size_t limit) {
    if (limit >= text.size()) return text.size();
    // Back over continuation bytes to the start of the character cut into.
    while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80) --limit;
    return limit;
}

}  // namespace platform
