// The browser build's files under /play/: only regular files inside the folder, found
// by their real path.
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "board/server_parts.h"

namespace {

bool EndsWith(const std::string &text, const char *ending) {
  size_t length = strlen(ending);
  return text.size() >= length && text.compare(text.size() - length, length, ending) == 0;
}

// The real path of `path` when it is `root` itself or inside it; empty otherwise.
std::string RealInside(const std::string &root, const std::string &path) {
  char *real = realpath(path.c_str(), nullptr);
  if (!real) return "";
  std::string resolved = real;
  free(real);
  if (resolved == root) return resolved;
  if (resolved.size() > root.size() && resolved.compare(0, root.size(), root) == 0 &&
      (root.back() == '/' || resolved[root.size()] == '/')) {
    return resolved;
  }
  return "";
}

}  // namespace

const char *WebContentType(const std::string &name) {
  if (EndsWith(name, ".html") || EndsWith(name, ".htm")) return "text/html; charset=utf-8";
  if (EndsWith(name, ".js") || EndsWith(name, ".mjs")) return "text/javascript; charset=utf-8";
  if (EndsWith(name, ".wasm")) return "application/wasm";
  if (EndsWith(name, ".css")) return "text/css; charset=utf-8";
  if (EndsWith(name, ".json")) return "application/json; charset=utf-8";
  if (EndsWith(name, ".png")) return "image/png";
  if (EndsWith(name, ".ttf")) return "font/ttf";
  if (EndsWith(name, ".txt")) return "text/plain; charset=utf-8";
  if (EndsWith(name, ".ico")) return "image/x-icon";
  return "application/octet-stream";  // .data and anything else
}

int OpenWebFile(const std::string &root, const std::string &path, uint64_t &size, std::string &name) {
  if (root.empty() || (!path.empty() && path[0] == '/') || path.find('\\') != std::string::npos ||
      path.find('\0') != std::string::npos) {
    return -1;
  }
  // No step up, whatever the links would make of it.
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (path.compare(start, end - start, "..") == 0) return -1;
    start = end + 1;
  }
  std::string resolved = RealInside(root, root + "/" + path);
  if (resolved.empty()) return -1;
  struct stat info;
  if (stat(resolved.c_str(), &info) != 0) return -1;
  if (S_ISDIR(info.st_mode)) {
    resolved = RealInside(root, resolved + "/index.html");
    if (resolved.empty() || stat(resolved.c_str(), &info) != 0) return -1;
  }
  if (!S_ISREG(info.st_mode)) return -1;
  // The real path has no links left; O_NOFOLLOW refuses one put in its place since.
  int file = open(resolved.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (file < 0) return -1;
  if (fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(file);
    return -1;
  }
  size = static_cast<uint64_t>(info.st_size);
  name = resolved;
  return file;
}
