#include "board/server_metrics.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

#include "board/server_parts.h"

void BoardMetrics::Played(double seconds) {
  for (size_t i = 0; i < Bounds.size(); ++i) {
    if (seconds <= Bounds[i]) {
      buckets_[i]++;
      break;
    }
  }
  played_++;
  playedMicroseconds_ += static_cast<uint64_t>(seconds > 0 ? seconds * 1e6 : 0);
}

std::string BoardMetrics::Text(int waiting, int playing, int connections, long cut) const {
  std::string text;
  auto line = [&text](const char *format, auto... values) {
    char buffer[256];
    snprintf(buffer, sizeof buffer, format, values...);
    text += buffer;
  };
  auto head = [&text](const char *name, const char *type, const char *help) {
    text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  };
  head("quillrun_board_games_taken_total", "counter", "Games played again, proven and kept.");
  line("quillrun_board_games_taken_total %llu\n", static_cast<unsigned long long>(taken_.load()));
  head("quillrun_board_games_refused_total", "counter", "Submissions refused, by reason.");
  for (size_t i = 1; i < Reasons; ++i)
    line("quillrun_board_games_refused_total{reason=\"%s\"} %llu\n", RefusalName(static_cast<Refusal>(i)),
         static_cast<unsigned long long>(refused_[i].load()));
  head("quillrun_board_play_seconds", "histogram", "Time to play a submitted game again.");
  uint64_t below = 0;
  for (size_t i = 0; i < Bounds.size(); ++i) {
    below += buckets_[i].load();
    line("quillrun_board_play_seconds_bucket{le=\"%g\"} %llu\n", Bounds[i], static_cast<unsigned long long>(below));
  }
  const uint64_t count = played_.load();
  line("quillrun_board_play_seconds_bucket{le=\"+Inf\"} %llu\n", static_cast<unsigned long long>(count));
  line("quillrun_board_play_seconds_sum %.6f\n", static_cast<double>(playedMicroseconds_.load()) / 1e6);
  line("quillrun_board_play_seconds_count %llu\n", static_cast<unsigned long long>(count));
  head("quillrun_board_games_waiting", "gauge", "Games waiting for a worker.");
  line("quillrun_board_games_waiting %d\n", waiting);
  head("quillrun_board_games_playing", "gauge", "Games being played again now.");
  line("quillrun_board_games_playing %d\n", playing);
  head("quillrun_board_connections_open", "gauge", "Connections open.");
  line("quillrun_board_connections_open %d\n", connections);
  head("quillrun_board_connections_cut_total", "counter",
       "Connections cut: past their address's share, or too slow with a header or a body.");
  line("quillrun_board_connections_cut_total %ld\n", cut);
  return text;
}

bool InCidr(const std::string &address, const std::string &cidr) {
  const size_t slash = cidr.find('/');
  const std::string network = CanonicalAddress(cidr.substr(0, slash));
  if (network.empty() || address.empty()) return false;
  unsigned char want[16], have[16];
  const int family = network.find(':') == std::string::npos ? AF_INET : AF_INET6;
  if ((address.find(':') == std::string::npos ? AF_INET : AF_INET6) != family) return false;
  if (inet_pton(family, network.c_str(), want) != 1 || inet_pton(family, address.c_str(), have) != 1) return false;
  const int width = family == AF_INET ? 32 : 128;
  int64_t bits = width;
  if (slash != std::string::npos && !ParseDecimal(cidr.data() + slash + 1, cidr.size() - slash - 1, width, bits))
    return false;
  for (int i = 0; i < bits; ++i) {
    const int mask = 0x80 >> (i % 8);
    if ((want[i / 8] & mask) != (have[i / 8] & mask)) return false;
  }
  return true;
}
