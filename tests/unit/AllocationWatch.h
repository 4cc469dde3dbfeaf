// Watches the heap of the test program. It replaces the global operator new
// and delete: every block gets guard bytes behind it, checked when it is
// freed, so a write past the end of a block is seen also without a sanitiser.
// While a watch is on, every block freed is searched for the texts watched
// for, so a copy of a secret that is freed without being wiped is seen too.
// Blocks allocated with malloc or an aligned operator new are not watched.
#pragma once

#include <string>
#include <vector>

namespace allocwatch {

// How many blocks were freed with their guard bytes overwritten, since the
// program started.
long overwrittenGuards();

// Starts searching freed blocks for these texts (at most 8, each at most 255
// bytes).
void watchFor(const std::vector<std::string>& texts);

// Ends the watch; the texts that were found in a freed block, each once.
std::vector<std::string> stop();

}  // namespace allocwatch
