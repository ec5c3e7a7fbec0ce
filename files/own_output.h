#pragma once

namespace beatmarks {

// The program's own standard output (1) or standard error (2) when the name
// leads to it (/dev/stdout, /dev/fd/1, /proc/self/fd/2, or a path to the same
// file), else -1. Pending messages are flushed first, so they come before.
// Such a name is written through that descriptor: it is never
// renamed over or truncated, so what was printed before stays in place.
int OwnOutputDescriptor(const char* name);

}  // namespace beatmarks
