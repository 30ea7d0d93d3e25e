#pragma once
// Opening one of the daemon's own files by its path (configuration, version
// and status files, monitoring files, pid and log files, prompts). Others
// may put anything at such a path: whatever is not a regular file there (a
// FIFO, a socket, a device, a directory) is refused as a failure to open,
// and opening never blocks (a plain open of a FIFO waits for its other end).
#include <string>
#include <sys/types.h>

#include "foundation/fd.h"

// Opens path with flags (O_RDONLY; O_WRONLY | O_CREAT | O_TRUNC; ...) and
// O_NONBLOCK, O_NOCTTY and O_CLOEXEC. An invalid Fd when the open fails
// (errno from open) or the path names no regular file: errno is then EISDIR
// for a directory and ENXIO for any other kind, as open itself answers for
// a socket or for a FIFO without a reader. The descriptor stays
// non-blocking, which changes nothing for a regular file.
Fd OpenRegularFile(const std::string& path, int flags, mode_t mode = 0666);
