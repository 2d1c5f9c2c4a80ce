// The addresses and numbers a request carries.
#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>

#include "board/server_parts.h"

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

bool PathHasControl(const char *target) {
  auto hex = [](char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
  };
  for (const char *c = target; *c && *c != '?'; ++c) {
    int byte = static_cast<unsigned char>(*c);
    if (byte == '%' && hex(c[1]) >= 0 && hex(c[2]) >= 0) {
      byte = hex(c[1]) * 16 + hex(c[2]);
      c += 2;
    }
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}
