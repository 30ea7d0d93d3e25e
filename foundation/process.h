#pragma once
// Finding a running process by its command name in "/proc".

// The pid of a process whose command name equals name, or -1. A positive
// hint is tried first, before "/proc" is scanned.
int find_proc_by_name(const char* name, int hint);
