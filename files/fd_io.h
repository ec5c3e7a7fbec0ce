#pragma once

// Small pieces of writing to file descriptors, shared by the file writers.

#include <signal.h>

#include <string_view>

namespace beatmarks {

// Writes all of the text, going on after interruptions and short writes.
bool WriteAll(int fd, std::string_view text);

// Opens for writing without waiting for a pipe's reader (no reader is an
// error, not a hang), then lets writes block as usual. -1 on failure.
int OpenForWriting(const char* name, int flags);

// Waits for an exclusive lock; false when the lock cannot be had.
bool LockExclusive(int fd);

// Whether the name leads to the file open at fd (same device and inode).
bool NameLeadsTo(const char* name, int fd);

// Opens the file for writing (OpenForWriting's flags). A regular file is also
// locked, as every writer of this program locks it, and when another program
// put a new file in its place while the lock was awaited, that file is
// opened instead. -1 on failure, a lock that cannot be had included.
int OpenLockedForWriting(const char* name, int flags);

// While it lives, a reader that goes away makes a write fail with EPIPE
// instead of ending the program, so that a data file's failure is reported.
class SigpipeIgnored {
 public:
  SigpipeIgnored();
  ~SigpipeIgnored();
  SigpipeIgnored(const SigpipeIgnored&) = delete;
  SigpipeIgnored& operator=(const SigpipeIgnored&) = delete;

 private:
  struct sigaction old_ {};
  bool restore_ = false;
};

}  // namespace beatmarks
