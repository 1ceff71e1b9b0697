#include "core/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/fd.h"

namespace {

bool ProcessIsNamed(int pid, const char* name) {
    char path[32];
    std::snprintf(path, sizeof(path), "/proc/%d/stat", pid);
    Fd file;
    if (!file.open(path, O_RDONLY)) return false;
    char stat[256];
    long n = read(file, stat, 255);
    if (n <= 0) return false;
    stat[n] = '\0';
    const char* open = std::strchr(stat, '(');
    const char* close = std::strrchr(stat, ')');
    if (!open || !close || close < open) return false;
    std::size_t length = static_cast<std::size_t>(close - open - 1);
    return std::strlen(name) == length && std::strncmp(open + 1, name, length) == 0;
}

}  // namespace

int find_proc_by_name(const char* name, int hint) {
    if (!name) return -1;
    if (hint > 0 && ProcessIsNamed(hint, name)) return hint;
    DIR* proc = ::opendir("/proc");
    if (!proc) return -1;
    int found = -1;
    while (const dirent* entry = ::readdir(proc)) {
        int pid = std::atoi(entry->d_name);
        if (pid > 0 && ProcessIsNamed(pid, name)) {
            found = pid;
            break;
        }
    }
    ::closedir(proc);
    return found;
}
