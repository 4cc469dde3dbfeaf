// Splitting a command line into its words.
#pragma once

#include <string>
#include <vector>

namespace panel {

// Words are separated by blanks. A double-quoted part keeps its blanks, so
// `mv "New Entry" Old` gives three words, and `""` is an empty word. A quote
// that is never closed runs to the end of the line. Backslashes are ordinary
// characters: they separate folders in virtual paths.
std::vector<std::string> splitArguments(const std::string& line);

}  // namespace panel
