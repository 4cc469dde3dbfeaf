// Text from outside (UTF-8) in the form the store and the host use: the ANSI
// code page on Windows, UTF-8 elsewhere.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Sets `out` to `utf8` in the store's form. False when a character has no
// form there (no look-alike is ever put in its place); `out` then holds "?"
// where it stood. `utf8` must be valid UTF-8.
bool storeTextFromUtf8(const std::string& utf8, std::string& out);

// The largest length up to `limit` at which `text` (in the store's form) can
// be cut without splitting a character.
std::size_t characterBoundary(const std::string& text, std::size_t limit);

}  // namespace platform
