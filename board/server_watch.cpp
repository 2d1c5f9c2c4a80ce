#include "board/server_watch.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>

#include "board/server_parts.h"

struct ConnectionWatch::Entry {
  int fd;
  std::string share;
  bool limited;
  enum { Header, Body, Answer } phase = Header;
  std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();  // of this phase
  size_t received = 0;     // of the body
  bool cut = false;
};

std::string AddressShare(const std::string &address) {
  in6_addr v6;
  if (inet_pton(AF_INET6, address.c_str(), &v6) != 1) return address;
  std::fill(v6.s6_addr + 8, v6.s6_addr + 16, 0);
  char out[INET6_ADDRSTRLEN];
  return inet_ntop(AF_INET6, &v6, out, sizeof out) ? std::string(out) + "/64" : address;
}

ConnectionWatch::ConnectionWatch(WatchLimits limits, std::vector<std::string> unlimited)
    : limits_(limits), unlimited_(std::move(unlimited)), thread_([this] { Watch(); }) {}

ConnectionWatch::~ConnectionWatch() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  thread_.join();
}

ConnectionWatch::Entry *ConnectionWatch::Opened(int fd, const std::string &address) {
  auto *entry = new Entry{fd, AddressShare(address),
                          std::find(unlimited_.begin(), unlimited_.end(), address) == unlimited_.end()};
  std::lock_guard<std::mutex> lock(mutex_);
  open_.insert(entry);
  if (entry->limited && ++shares_[entry->share] > limits_.perAddress && limits_.perAddress > 0) CutLocked(*entry);
  return entry;
}

void ConnectionWatch::Closed(Entry *entry) {
  if (!entry) return;
  {
    // Once out of the set the socket is never touched again: it is closed after this.
    std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(entry);
    if (entry->limited && --shares_[entry->share] <= 0) shares_.erase(entry->share);
  }
  delete entry;
}

void ConnectionWatch::HeadersIn(Entry *entry) {
  if (!entry) return;
  std::lock_guard<std::mutex> lock(mutex_);
  entry->phase = Entry::Body;
  entry->since = std::chrono::steady_clock::now();
  entry->received = 0;
}

bool ConnectionWatch::Body(Entry *entry, size_t bytes) {
  if (!entry) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  entry->received += bytes;
  return !TooSlow(*entry, std::chrono::steady_clock::now());
}

void ConnectionWatch::RequestIn(Entry *entry) {
  if (!entry) return;
  std::lock_guard<std::mutex> lock(mutex_);
  entry->phase = Entry::Answer;
}

void ConnectionWatch::Answered(Entry *entry) {
  if (!entry) return;
  std::lock_guard<std::mutex> lock(mutex_);
  entry->phase = Entry::Header;
  entry->since = std::chrono::steady_clock::now();
}

int ConnectionWatch::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(open_.size());
}

long ConnectionWatch::Cut() {
  std::lock_guard<std::mutex> lock(mutex_);
  return cut_;
}

bool ConnectionWatch::TooSlow(const Entry &entry, std::chrono::steady_clock::time_point now) const {
  const double seconds = std::chrono::duration<double>(now - entry.since).count();
  switch (entry.phase) {
    case Entry::Header: return seconds > limits_.headerSeconds;
    case Entry::Body:
      return seconds > limits_.headerSeconds &&
             static_cast<double>(entry.received) < static_cast<double>(limits_.bodyRate) * seconds;
    case Entry::Answer: return false;
  }
  return false;
}

void ConnectionWatch::CutLocked(Entry &entry) {
  if (entry.cut) return;
  entry.cut = true;
  ++cut_;
  shutdown(entry.fd, SHUT_RDWR);
}

void ConnectionWatch::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stopping_; })) {
    const auto now = std::chrono::steady_clock::now();
    for (Entry *entry : open_)
      if (TooSlow(*entry, now)) CutLocked(*entry);
  }
}
