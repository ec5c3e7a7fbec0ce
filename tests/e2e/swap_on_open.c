/* Preloaded into the program by the tests: right after the first open of
 * the file named by SWAP_PATH succeeds, the file named by SWAP_WITH is
 * renamed over it, as another program saving that file at that moment
 * would. A second opening of the same name then finds the other file. */
#undef _FORTIFY_SOURCE /* the shim defines open itself */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

static int swapped;

/* Called after every successful open; swaps once, when it was SWAP_PATH. */
static void AfterOpen(int fd) {
  const char* path = getenv("SWAP_PATH");
  const char* with = getenv("SWAP_WITH");
  struct stat opened, named;
  if (swapped || fd < 0 || path == NULL || with == NULL) return;
  if (fstat(fd, &opened) != 0 || stat(path, &named) != 0) return;
  if (opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) return;
  swapped = 1;
  if (rename(with, path) != 0) abort(); /* the test must know it did not swap */
}

static int TakesMode(int flags) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

#define NEXT(name, type) ((type)dlsym(RTLD_NEXT, name))

typedef int (*OpenFunction)(const char*, int, ...);
typedef int (*OpenAtFunction)(int, const char*, int, ...);
typedef int (*FortifiedOpenFunction)(const char*, int);

// The mode argument that follows flags, where the flags say there is one.
#define TAKE_MODE(flags, mode)   \
  if (TakesMode(flags)) {        \
    va_list rest;                \
    va_start(rest, flags);       \
    mode = va_arg(rest, mode_t); \
    va_end(rest);                \
  }

#define DEFINE_OPEN(name)                                  \
  int name(const char* path, int flags, ...) {             \
    mode_t mode = 0;                                       \
    TAKE_MODE(flags, mode)                                 \
    int fd = NEXT(#name, OpenFunction)(path, flags, mode); \
    AfterOpen(fd);                                         \
    return fd;                                             \
  }

#define DEFINE_OPENAT(name)                                          \
  int name(int folder, const char* path, int flags, ...) {           \
    mode_t mode = 0;                                                 \
    TAKE_MODE(flags, mode)                                           \
    int fd = NEXT(#name, OpenAtFunction)(folder, path, flags, mode); \
    AfterOpen(fd);                                                   \
    return fd;                                                       \
  }

#define DEFINE_FORTIFIED_OPEN(name)                                 \
  int name(const char* path, int flags) {                           \
    int fd = NEXT(#name, FortifiedOpenFunction)(path, flags);       \
    AfterOpen(fd);                                                  \
    return fd;                                                      \
  }

DEFINE_OPEN(open)
DEFINE_OPEN(open64)
DEFINE_OPENAT(openat)
DEFINE_OPENAT(openat64)
DEFINE_FORTIFIED_OPEN(__open_2)
DEFINE_FORTIFIED_OPEN(__open64_2)

/* Streams too, so that a reading through stdio is seen as well. */
#define DEFINE_FOPEN(name)                                                    \
  FILE* name(const char* path, const char* how) {                             \
    FILE* file = NEXT(#name, FILE* (*)(const char*, const char*))(path, how); \
    if (file != NULL) AfterOpen(fileno(file));                                \
    return file;                                                              \
  }

DEFINE_FOPEN(fopen)
DEFINE_FOPEN(fopen64)
