// The replay runner's checked outputs (see replay_output.h).
#include "tools/replay_output.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool CheckedOutput::Failed() {
  if (!failed) {
    std::fprintf(stderr, "quillrun-replay: cannot write %s: %s\n", name.c_str(),
                 errno != 0 ? std::strerror(errno) : "write error");
  }
  failed = true;
  return false;
}

bool CheckedOutput::Write(const char *data, size_t size) {
  if (failed || file == nullptr) return false;
  errno = 0;
  if (std::fwrite(data, 1, size, file) != size || std::ferror(file)) return Failed();
  return true;
}

bool CheckedOutput::Printf(const char *format, ...) {
  if (failed || file == nullptr) return false;
  errno = 0;
  va_list arguments;
  va_start(arguments, format);
  const int written = std::vfprintf(file, format, arguments);
  va_end(arguments);
  if (written < 0 || std::ferror(file)) return Failed();
  return true;
}

bool CheckedOutput::Finish() {
  if (file == nullptr) return !failed;
  errno = 0;
  bool ok = !failed && std::fflush(file) == 0 && !std::ferror(file);
  if (!ok && !failed) Failed();
  if (file != stdout) {
    errno = 0;
    if (std::fclose(file) != 0 && !failed) ok = Failed();
  }
  file = nullptr;
  return ok && !failed;
}

bool HoldStandardDescriptors() {
  const bool outputOpen = fcntl(1, F_GETFD) >= 0;
  for (int descriptor = 0; descriptor <= 2; descriptor++) {
    if (fcntl(descriptor, F_GETFD) >= 0) continue;
    const int placeholder = open("/dev/null", O_RDWR);
    if (placeholder >= 0 && placeholder != descriptor) {
      dup2(placeholder, descriptor);
      close(placeholder);
    }
  }
  return outputOpen;
}

bool OpenStandardOutput(bool wasOpen, CheckedOutput *out) {
  out->name = "standard output";
  if (!wasOpen) {
    std::fprintf(stderr, "quillrun-replay: cannot write standard output: it is closed\n");
    return false;
  }
  out->file = stdout;
  return true;
}

bool OpenOutputFile(const char *path, CheckedOutput *out) {
  out->name = path;
  out->file = std::fopen(path, "w");
  if (out->file == nullptr) {
    std::fprintf(stderr, "quillrun-replay: cannot write %s: %s\n", path, std::strerror(errno));
    return false;
  }
  return true;
}

std::string WhyNotWritable(const char *path) {
  struct stat info;
  if (stat(path, &info) == 0) {
    if (S_ISDIR(info.st_mode)) return "it is a directory";
    if (access(path, W_OK) != 0) return std::strerror(errno);
    return std::string();
  }
  const int file = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (file < 0) return std::strerror(errno);
  close(file);
  unlink(path);
  return std::string();
}
