// The browser build's files under /play/, and the addresses and numbers a request
// carries.
#include <algorithm>
#include <arpa/inet.h>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
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

std::string CanonicalAddress(const std::string &text) {
  char out[INET6_ADDRSTRLEN];
  in_addr v4;
  in6_addr v6;
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
    return inet_ntop(AF_INET, &v4, out, sizeof out) ? out : "";
  }
  if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
      memcpy(&v4, v6.s6_addr + 12, 4);
      return inet_ntop(AF_INET, &v4, out, sizeof out) ? out : "";
    }
    return inet_ntop(AF_INET6, &v6, out, sizeof out) ? out : "";
  }
  return "";
}

std::string SocketAddress(const sockaddr *address) {
  char out[INET6_ADDRSTRLEN];
  if (!address) return "";
  if (address->sa_family == AF_INET) {
    sockaddr_in v4;
    memcpy(&v4, address, sizeof v4);
    return inet_ntop(AF_INET, &v4.sin_addr, out, sizeof out) ? out : "";
  }
  if (address->sa_family == AF_INET6) {
    sockaddr_in6 v6;
    memcpy(&v6, address, sizeof v6);
    if (!inet_ntop(AF_INET6, &v6.sin6_addr, out, sizeof out)) return "";
    return CanonicalAddress(out);
  }
  return "";
}

std::string ForwardedClient(const std::string &peer, const std::vector<std::string> &forwardedFor,
                            const std::vector<std::string> &trusted) {
  bool trustedPeer = false;
  for (const std::string &address : trusted) trustedPeer = trustedPeer || address == peer;
  if (!trustedPeer || forwardedFor.empty()) return peer;
  const std::string &header = forwardedFor.back();
  size_t comma = header.rfind(',');
  std::string last = header.substr(comma == std::string::npos ? 0 : comma + 1);
  size_t first = last.find_first_not_of(" \t");
  size_t end = last.find_last_not_of(" \t");
  if (first == std::string::npos) return peer;
  last = last.substr(first, end - first + 1);
  std::string address = CanonicalAddress(last);
  if (address.empty() && last.size() > 2 && last[0] == '[') {
    // "[v6]:port"
    size_t close = last.find(']');
    if (close != std::string::npos) address = CanonicalAddress(last.substr(1, close - 1));
  } else if (address.empty() && std::count(last.begin(), last.end(), ':') == 1) {
    // "v4:port"
    address = CanonicalAddress(last.substr(0, last.find(':')));
  }
  return address.empty() ? peer : address;
}

bool ParseDecimal(const char *text, size_t length, int64_t max, int64_t &value) {
  if (!text || length == 0 || length > 18) return false;
  int64_t number = 0;
  for (size_t i = 0; i < length; i++) {
    if (text[i] < '0' || text[i] > '9') return false;
    number = number * 10 + (text[i] - '0');
  }
  if (number > max) return false;
  value = number;
  return true;
}
