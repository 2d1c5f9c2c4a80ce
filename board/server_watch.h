// Fair to every client: the connections open, watched so that no one address holds
// more than its share of them, a request's whole header comes within a deadline (a byte
// now and then is no longer enough to keep a connection, as it is for a timeout that
// counts only silence) and its body at no less than a lowest rate. A connection past
// any of them is cut by shutting its socket: the thread reading it sees the end and
// libmicrohttpd closes it.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct WatchLimits {
  int perAddress = 32;             // connections an address may hold (0: any number)
  double headerSeconds = 10;       // for a request's header, and before its body's rate counts
  size_t bodyRate = 1024;          // bytes a second a body must average after that
};

// The share an address is counted in: itself for IPv4, its /64 for IPv6 (what one
// household or server is usually given).
std::string AddressShare(const std::string &address);

class ConnectionWatch {
 public:
  // Addresses in `unlimited` (trusted proxies, which carry many clients) have no share.
  ConnectionWatch(WatchLimits limits, std::vector<std::string> unlimited);
  ~ConnectionWatch();
  ConnectionWatch(const ConnectionWatch &) = delete;
  ConnectionWatch &operator=(const ConnectionWatch &) = delete;

  struct Entry;
  // A connection opened on socket `fd` from `address`; cut at once when over its share.
  Entry *Opened(int fd, const std::string &address);
  void Closed(Entry *entry);
  // A request's header is in; its body (if any) is arriving.
  void HeadersIn(Entry *entry);
  // More of the body; false when it is arriving below the lowest rate (cut it).
  bool Body(Entry *entry, size_t bytes);
  // The request is all in: it is being answered.
  void RequestIn(Entry *entry);
  // Answered: the connection waits for the next request's header.
  void Answered(Entry *entry);

  int Open();               // connections open now
  long Cut();               // connections cut since the start

 private:
  void Watch();
  bool TooSlow(const Entry &entry, std::chrono::steady_clock::time_point now) const;
  void CutLocked(Entry &entry);

  const WatchLimits limits_;
  const std::vector<std::string> unlimited_;
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::set<Entry *> open_;
  std::map<std::string, int> shares_;
  long cut_ = 0;
  std::thread thread_;
};
