// qr-mathcheck: compares the world's own sine, cosine and arctangent with the host's C
// library, which is what every replay recorded so far was played with.
//
//   qr-mathcheck floats LO HI     every float x in [LO, HI]: sin and cos
//   qr-mathcheck atan2 N          N pseudo-random (y, x) pairs of float coordinates
//   qr-mathcheck calls FILE...    every call logged by quillrun-replay --math-log
//
// For each function it prints how many results differ from the library's as doubles and
// how many after rounding to float, and the largest error of both against the x87 long
// double functions (64-bit significands, so errors are known to about 1/1000 of a unit
// in the last place of a double). Exit status 1 when any result differs as a float: the
// library is not always the nearest double, so doubles may differ by one unit.
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "world/world_math.h"

namespace {

// Error of v against the reference, in units in the last place of v.
double UlpError(double v, long double reference) {
  if (v == 0.0) return reference == 0.0L ? 0.0 : INFINITY;
  const double ulp = std::ldexp(1.0, std::ilogb(v) - 52);
  return static_cast<double>(std::fabs(static_cast<long double>(v) - reference) / ulp);
}

struct Tally {
  uint64_t count = 0;
  uint64_t doubleDiffs = 0;
  uint64_t floatDiffs = 0;
  double oursMaxUlp = 0.0;
  double libraryMaxUlp = 0.0;
  uint64_t referenced = 0;   // results measured against the long double reference

  void Merge(const Tally &o) {
    count += o.count;
    doubleDiffs += o.doubleDiffs;
    floatDiffs += o.floatDiffs;
    oursMaxUlp = std::fmax(oursMaxUlp, o.oursMaxUlp);
    libraryMaxUlp = std::fmax(libraryMaxUlp, o.libraryMaxUlp);
    referenced += o.referenced;
  }
};

std::mutex printLock;
int printed = 0;

// One comparison; the reference is computed for every difference and for a sample.
template <typename Reference>
void Compare(Tally &t, const char *name, double a, double b, double ours, double library, bool measure,
             Reference reference) {
  ++t.count;
  const bool same = std::memcmp(&ours, &library, sizeof ours) == 0 || (std::isnan(ours) && std::isnan(library));
  if (!same) {
    ++t.doubleDiffs;
    if (static_cast<float>(ours) != static_cast<float>(library)) ++t.floatDiffs;
  }
  if ((measure || !same) && std::isfinite(ours)) {
    const long double ref = reference();
    ++t.referenced;
    const double eo = UlpError(ours, ref);
    const double el = UlpError(library, ref);
    t.oursMaxUlp = std::fmax(t.oursMaxUlp, eo);
    t.libraryMaxUlp = std::fmax(t.libraryMaxUlp, el);
    if (!same) {
      std::lock_guard<std::mutex> lock(printLock);
      if (printed++ < 20)
        std::printf("  differs: %s(%a, %a) ours %a (%.4f ulp) library %a (%.4f ulp)\n", name, a, b, ours, eo, library,
                    el);
    }
  }
}

void Report(const char *name, const Tally &t) {
  std::printf("%-6s %12" PRIu64 " inputs, %" PRIu64 " differ as doubles, %" PRIu64
              " as floats; max error ours %.4f ulp, library %.4f ulp (over %" PRIu64 " measured)\n",
              name, t.count, t.doubleDiffs, t.floatDiffs, t.oursMaxUlp, t.libraryMaxUlp, t.referenced);
}

uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

float FromBits(uint32_t u) {
  float f;
  std::memcpy(&f, &u, sizeof f);
  return f;
}

// Every float in [lo, hi], in sign-magnitude bit order, split over the threads.
int CheckFloats(float lo, float hi) {
  std::vector<std::pair<uint32_t, uint32_t>> ranges;   // bit patterns, inclusive
  if (hi >= 0.0f) ranges.emplace_back(Bits(std::fmax(lo, 0.0f)), Bits(hi));
  if (lo < 0.0f) ranges.emplace_back(Bits(-0.0f), Bits(lo));   // negatives count up in magnitude
  if (lo < 0.0f && hi < 0.0f) ranges.back().first = Bits(hi);
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  Tally sinTotal, cosTotal;
  std::mutex merge;
  const auto start = std::chrono::steady_clock::now();
  for (auto [first, last] : ranges) {
    std::atomic<uint64_t> next{first};
    const uint64_t chunk = 1 << 16;
    std::vector<std::thread> pool;
    for (unsigned k = 0; k < threads; ++k) {
      pool.emplace_back([&, last = last] {
        Tally ts, tc;
        for (;;) {
          const uint64_t begin = next.fetch_add(chunk);
          if (begin > last) break;
          const uint64_t end = std::min<uint64_t>(last, begin + chunk - 1);
          for (uint64_t u = begin; u <= end; ++u) {
            const double x = FromBits(static_cast<uint32_t>(u));
            const bool measure = (u & 1023) == 0;
            const long double lx = x;
            Compare(ts, "sin", x, 0.0, WorldSin(x), std::sin(x), measure, [lx] { return sinl(lx); });
            Compare(tc, "cos", x, 0.0, WorldCos(x), std::cos(x), measure, [lx] { return cosl(lx); });
          }
        }
        std::lock_guard<std::mutex> lock(merge);
        sinTotal.Merge(ts);
        cosTotal.Merge(tc);
      });
    }
    for (auto &t : pool) t.join();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("every float in [%g, %g] on %u threads, %.1f s\n", lo, hi, threads, seconds);
  Report("sin", sinTotal);
  Report("cos", cosTotal);
  return sinTotal.floatDiffs + cosTotal.floatDiffs == 0 ? 0 : 1;
}

uint64_t Mix(uint64_t z) {   // splitmix64: the i-th sample depends on i alone
  z += 0x9e3779b97f4a7c15ull;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

// A coordinate difference as the world makes them: a quarter of the samples uniform over
// the playfield's range, a quarter whole and half pixels, half spread evenly over the
// exponents from 2^-24 to 2^11 (down to the smallest steps between nearby objects).
float SampleCoordinate(uint64_t r) {
  const float sign = (r & 1) ? -1.0f : 1.0f;
  const uint32_t kind = (r >> 1) & 3;
  const uint64_t v = r >> 3;
  if (kind == 0) return sign * static_cast<float>(static_cast<double>(v & 0xffffffffull) * (1100.0 / 4294967296.0));
  if (kind == 1) return sign * static_cast<float>(v % 2200) * 0.5f;
  const uint32_t exponent = 127 - 24 + static_cast<uint32_t>((v >> 23) % 35);
  return sign * FromBits((exponent << 23) | static_cast<uint32_t>(v & 0x7fffff));
}

int CheckAtan2(uint64_t n) {
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  Tally total;
  std::mutex merge;
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> pool;
  for (unsigned k = 0; k < threads; ++k) {
    pool.emplace_back([&, k] {
      Tally t;
      for (uint64_t i = k; i < n; i += threads) {
        const double y = SampleCoordinate(Mix(2 * i));
        const double x = SampleCoordinate(Mix(2 * i + 1));
        const long double ly = y, lx = x;
        Compare(t, "atan2", y, x, WorldAtan2(y, x), std::atan2(y, x), (i & 255) == 0,
                [ly, lx] { return atan2l(ly, lx); });
      }
      std::lock_guard<std::mutex> lock(merge);
      total.Merge(t);
    });
  }
  for (auto &t : pool) t.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%" PRIu64 " random coordinate pairs on %u threads, %.1f s\n", n, threads, seconds);
  Report("atan2", total);
  return total.floatDiffs == 0 ? 0 : 1;
}

int CheckCalls(int count, char **paths) {
  Tally sinT, cosT, atanT;
  unsigned long long calls = 0;
  double lowest = INFINITY, highest = -INFINITY;   // sine and cosine arguments
  for (int i = 0; i < count; ++i) {
    FILE *file = std::fopen(paths[i], "r");
    if (file == nullptr) {
      std::fprintf(stderr, "qr-mathcheck: cannot open %s\n", paths[i]);
      return 2;
    }
    char line[256];
    while (std::fgets(line, sizeof line, file) != nullptr) {
      unsigned long long n = 0;
      char function = 0;
      double a = 0.0, b = 0.0;
      if (std::sscanf(line, "# calls %llu", &n) == 1) {
        calls += n;
      } else if (std::sscanf(line, "%c %la %la", &function, &a, &b) >= 2) {
        const long double la = a, lb = b;
        if (function == 's' || function == 'c') {
          lowest = std::fmin(lowest, a);
          highest = std::fmax(highest, a);
        }
        if (function == 's') Compare(sinT, "sin", a, 0.0, WorldSin(a), std::sin(a), true, [la] { return sinl(la); });
        if (function == 'c') Compare(cosT, "cos", a, 0.0, WorldCos(a), std::cos(a), true, [la] { return cosl(la); });
        if (function == 'a')
          Compare(atanT, "atan2", a, b, WorldAtan2(a, b), std::atan2(a, b), true, [la, lb] { return atan2l(la, lb); });
      } else {
        std::fprintf(stderr, "qr-mathcheck: %s: malformed line: %s", paths[i], line);
        std::fclose(file);
        return 2;
      }
    }
    std::fclose(file);
  }
  std::printf("%llu calls logged in %d runs (distinct per run below); sine and cosine arguments in [%g, %g]\n", calls,
              count, lowest, highest);
  Report("sin", sinT);
  Report("cos", cosT);
  Report("atan2", atanT);
  return sinT.floatDiffs + cosT.floatDiffs + atanT.floatDiffs == 0 ? 0 : 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: qr-mathcheck floats LO HI | atan2 N | calls FILE...\n"
               "  floats: every float in [LO, HI] through sin and cos\n"
               "  atan2:  N random coordinate pairs through atan2\n"
               "  calls:  the calls logged by quillrun-replay --math-log\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 4 && std::strcmp(argv[1], "floats") == 0) {
    const float lo = std::strtof(argv[2], nullptr);
    const float hi = std::strtof(argv[3], nullptr);
    if (!(lo <= hi)) return Usage();
    return CheckFloats(lo, hi);
  }
  if (argc == 3 && std::strcmp(argv[1], "atan2") == 0) return CheckAtan2(std::strtoull(argv[2], nullptr, 10));
  if (argc >= 3 && std::strcmp(argv[1], "calls") == 0) return CheckCalls(argc - 2, argv + 2);
  return Usage();
}
