// Finding a running process by its command name.
#pragma once

// The pid of a process whose command name (the name in /proc/<pid>/stat) equals
// name exactly; the hint pid is tried first. -1 when none is found.
int find_proc_by_name(const char* name, int hint);
