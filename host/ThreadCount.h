// How many threads the panel's process runs, so that the panel can tell
// whether a plug-in left any of its own behind when it was unloaded.
#pragma once

namespace panel {

// The number of threads of this process, or -1 when the system cannot tell.
int threadCount();

}  // namespace panel
