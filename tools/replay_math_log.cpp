// Keeps the distinct calls (a run repeats the same headings many times) and counts all
// of them. The file has one call per line, "s|c|a ARG [ARG2]" in hexadecimal floating
// point so that every bit survives, after a header line "# calls N distinct M".
#include "tools/replay_math_log.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <tuple>

#include "world/world_math.h"

namespace {

std::set<std::tuple<char, double, double>> distinctCalls;
unsigned long long callCount = 0;

void Observe(char function, double a, double b) {
  ++callCount;
  distinctCalls.emplace(function, a, b);
}

}  // namespace

void StartMathLog() {
  distinctCalls.clear();
  callCount = 0;
  worldMathObserver = Observe;
}

bool WriteMathLog(const char *path) {
  worldMathObserver = nullptr;
  FILE *file = std::fopen(path, "w");
  if (file == nullptr) {
    std::fprintf(stderr, "quillrun-replay: cannot write %s: %s\n", path, std::strerror(errno));
    return false;
  }
  std::fprintf(file, "# calls %llu distinct %zu\n", callCount, distinctCalls.size());
  for (const auto &[function, a, b] : distinctCalls) {
    if (function == 'a') {
      std::fprintf(file, "a %a %a\n", a, b);
    } else {
      std::fprintf(file, "%c %a\n", function, a);
    }
  }
  return std::fclose(file) == 0;
}
