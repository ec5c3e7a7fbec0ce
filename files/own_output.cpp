#include "files/own_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <initializer_list>


namespace beatmarks {

int OwnOutputDescriptor(const char* name) {
  struct stat named;
  if (::stat(name, &named) != 0) return -1;
  for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat own;
    if (::fstat(fd, &own) == 0 && own.st_dev == named.st_dev && own.st_ino == named.st_ino) {
      // What was printed before comes first (the caller flushed its messages).
      std::fflush(stdout);
      std::fflush(stderr);
      return fd;
    }
  }
  return -1;
}

}  // namespace beatmarks
