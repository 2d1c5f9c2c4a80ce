// What an operator watches, in Prometheus's text format: games taken, submissions
// refused by reason, the time games take to play again, and the state of the queue and
// the connections. Safe to count from many threads at once.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "board/verify.h"

class BoardMetrics {
 public:
  void Taken() { taken_++; }
  void Refused(Refusal refusal) { refused_[static_cast<size_t>(refusal) % Reasons]++; }
  void Played(double seconds);

  // The page /metrics answers, with the gauges as they are now.
  std::string Text(int waiting, int playing, int connections, long cut) const;

  // The bounds of the play time's buckets, in seconds.
  static constexpr std::array<double, 10> Bounds = {0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30, 60};

 private:
  static constexpr size_t Reasons = static_cast<size_t>(Refusal::Copy) + 1;
  std::atomic<uint64_t> taken_{0};
  std::array<std::atomic<uint64_t>, Reasons> refused_{};
  std::array<std::atomic<uint64_t>, Bounds.size()> buckets_{};   // not cumulative
  std::atomic<uint64_t> played_{0};
  std::atomic<uint64_t> playedMicroseconds_{0};
};

// Whether `address` (as CanonicalAddress writes it) is inside `cidr` ("ADDR/BITS", or an
// address alone for itself); false for anything that is not one.
bool InCidr(const std::string &address, const std::string &cidr);
