#include "ThreadCount.h"

#include <dirent.h>

namespace panel {

int threadCount() {
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return -1;
    int n = 0;
    while (dirent* e = readdir(tasks)) {
        if (e->d_name[0] != '.') ++n;
    }
    closedir(tasks);
    return n;
}

}  // namespace panel
