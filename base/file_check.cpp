// Opening data files only when they are regular files (see file_check.h).
#include "base/file_check.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
// Windows has no named pipes or devices among the files a path names on a disk; a
// directory is what can stand in a data file's place there.
#include <io.h>

int OpenRegularFile(const char *path, const char **why) {
  const char *reason = nullptr;
  int file = -1;
  struct _stat64 info = {};
  if (path == nullptr || *path == '\0') {
    reason = "no file name";
  } else if (_stat64(path, &info) != 0) {
    reason = errno == ENOENT ? "cannot open: no such file" : "cannot open it";
  } else if ((info.st_mode & _S_IFMT) != _S_IFREG) {
    reason = (info.st_mode & _S_IFMT) == _S_IFDIR ? "not a regular file (a directory)" : "not a regular file";
  } else {
    file = _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (file < 0) reason = errno == EACCES ? "cannot open: permission denied" : "cannot open it";
  }
  if (why != nullptr) *why = reason;
  return file;
}

std::FILE *OpenRegularFileStream(const char *path, const char **why) {
  const int file = OpenRegularFile(path, why);
  if (file < 0) return nullptr;
  std::FILE *stream = _fdopen(file, "rb");
  if (stream == nullptr) {
    _close(file);
    if (why != nullptr) *why = "out of memory";
  }
  return stream;
}

#else
#include <unistd.h>

int OpenRegularFile(const char *path, const char **why) {
  const char *reason = nullptr;
  int file = -1;
  if (path == nullptr || *path == '\0') {
    reason = "no file name";
  } else {
    // O_NONBLOCK: opening a named pipe for reading would otherwise wait for a writer.
    // O_NOCTTY: a terminal device must not become the program's controlling terminal.
    file = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info = {};
    if (file < 0) {
      reason = errno == ENOENT ? "cannot open: no such file" : errno == EACCES ? "cannot open: permission denied"
                                                                               : "cannot open it";
    } else if (fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
      reason = S_ISDIR(info.st_mode) ? "not a regular file (a directory)" : "not a regular file";
    } else {
      const int flags = fcntl(file, F_GETFL);
      if (flags < 0 || fcntl(file, F_SETFL, flags & ~O_NONBLOCK) != 0) reason = "cannot set it to blocking reads";
    }
    if (reason != nullptr && file >= 0) {
      close(file);
      file = -1;
    }
  }
  if (why != nullptr) *why = reason;
  return file;
}

std::FILE *OpenRegularFileStream(const char *path, const char **why) {
  const int file = OpenRegularFile(path, why);
  if (file < 0) return nullptr;
  std::FILE *stream = fdopen(file, "rb");
  if (stream == nullptr) {
    close(file);
    if (why != nullptr) *why = "out of memory";
  }
  return stream;
}

#endif
