// quillrun-soak: random games played by the built-in player, one after another from
// successive seeds, for a given number of world updates, with the world's invariants
// checked after every frame. Built with the sanitizers it is the long hunt for memory
// and logic faults that no single test reaches; the suite runs a short one.
//
// A world update here is one call to StepWorld on the game's own world while a game is
// being played (the frames of slow motion, which the world sits out, included; the
// title frame that starts a game not). The player's look-ahead steps copies of the
// world too; those are not counted, but every one of them runs under the same checks
// of the sanitizers.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include "app/player.h"
#include "world/step.h"
#include "world/world.h"
#include "world/world_check.h"

namespace {

const char Usage[] =
    "usage: quillrun-soak [--updates N] [--seed S] [--progress N]\n"
    "  --updates N   world updates to play in all (default 1000000)\n"
    "  --seed S      the first game's seed; each new game takes the next (default 1)\n"
    "  --progress N  a progress line every N updates (default 100000, 0 for none)\n";

bool ParseCount(const char *text, uint64_t &value) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char *end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0') return false;
  value = v;
  return true;
}

struct GameRecord {
  uint32_t seed;
  int score;
  uint64_t updates;   // survived
};

struct Figures {
  uint64_t updates = 0;
  uint64_t frames = 0;
  uint64_t checks = 0;
  std::vector<GameRecord> games;   // ended in GAME OVER
};

template <typename Key>
void PrintSpread(const char *what, std::vector<GameRecord> games, Key key) {
  if (games.empty()) return;
  std::sort(games.begin(), games.end(), [&](const GameRecord &a, const GameRecord &b) { return key(a) < key(b); });
  const GameRecord &worst = games.front(), &best = games.back(), &median = games[games.size() / 2];
  std::printf("%s: median %" PRIu64 ", worst %" PRIu64 " (seed %" PRIu32 "), best %" PRIu64 " (seed %" PRIu32 ")\n",
              what, static_cast<uint64_t>(key(median)), static_cast<uint64_t>(key(worst)), worst.seed,
              static_cast<uint64_t>(key(best)), best.seed);
}

void PrintFigures(const Figures &f, double seconds, uint32_t openSeed, uint64_t openUpdates, int openScore) {
  std::printf("world updates: %" PRIu64 " (%" PRIu64 " frames), invariant checks: %" PRIu64 "\n", f.updates, f.frames,
              f.checks);
  std::printf("time: %.1f s, %.0f updates/s\n", seconds, seconds > 0 ? f.updates / seconds : 0.0);
  std::printf("games: %zu ended in GAME OVER", f.games.size());
  if (openUpdates > 0)
    std::printf(", and seed %" PRIu32 " still playing after %" PRIu64 " updates, score %d", openSeed, openUpdates,
                openScore);
  std::printf("\n");
  PrintSpread("score", f.games, [](const GameRecord &g) { return static_cast<int64_t>(g.score); });
  PrintSpread("survival (updates)", f.games, [](const GameRecord &g) { return g.updates; });
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv) {
  uint64_t target = 1000000, firstSeed = 1, progress = 100000;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
    bool ok = true;
    if (arg == "--help") {
      std::fputs(Usage, stdout);
      return 0;
    } else if (arg == "--updates") {
      ok = ParseCount(value, target) && target > 0;
    } else if (arg == "--seed") {
      ok = ParseCount(value, firstSeed) && firstSeed <= UINT32_MAX;
    } else if (arg == "--progress") {
      ok = ParseCount(value, progress);
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "quillrun-soak: bad option %s %s\n%s", arg.c_str(), value ? value : "", Usage);
      return 2;
    }
    ++i;
  }

  // Three worlds and a player of two more: kept off the stack.
  struct State {
    World world, before;
    FrameReport report;
    BuiltInPlayer player{true};
  };
  auto state = std::make_unique<State>();
  World &world = state->world;
  World &before = state->before;
  Figures figures;
  const auto start = std::chrono::steady_clock::now();
  auto elapsed = [&start] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  std::printf("quillrun-soak: %" PRIu64 " world updates of random games, first seed %" PRIu64 "\n", target, firstSeed);
  std::fflush(stdout);

  uint32_t seed = static_cast<uint32_t>(firstSeed);
  uint64_t gameUpdates = 0;
  uint64_t frame = 0;   // frames of this game's world, from its start
  StartWorld(world, seed);
  while (figures.updates < target) {
    std::memcpy(static_cast<void *>(&before), &world, sizeof world);
    const FrameInput input = state->player.Decide(world);
    WorldFault fault;
    if (std::memcmp(&before, &world, sizeof world) != 0) fault = WorldFault{"player", -1, "wrote the world it reads"};
    const bool playing = world.GameState == Playing;
    StepWorld(world, input, state->report);
    ++frame;
    ++figures.frames;
    if (playing) {
      ++figures.updates;
      ++gameUpdates;
    }
    if (!fault) fault = CheckWorld(world);
    if (!fault) fault = CheckStep(before, world);
    if (!fault) fault = CheckReport(state->report);
    ++figures.checks;
    if (fault) {
      std::printf("FAILED: seed %" PRIu32 " frame %" PRIu64 " (update %" PRIu64 " of the game): %s", seed, frame,
                  gameUpdates, fault.table);
      if (fault.slot >= 0) std::printf(" slot %d", fault.slot);
      std::printf(": %s\n", fault.field);
      PrintFigures(figures, elapsed(), seed, gameUpdates, world.score);
      return 1;
    }
    if (world.GameState == GameOver) {
      figures.games.push_back(GameRecord{seed, world.score, gameUpdates});
      ++seed;
      gameUpdates = 0;
      frame = 0;
      StartWorld(world, seed);
    }
    if (progress > 0 && playing && figures.updates % progress == 0 && figures.updates < target) {
      const double s = elapsed();
      std::printf("... %" PRIu64 " updates, %zu games, %.0f s, %.0f updates/s; seed %" PRIu32 " at %" PRIu64
                  " updates, score %d\n",
                  figures.updates, figures.games.size(), s, figures.updates / s, seed, gameUpdates, world.score);
      std::fflush(stdout);
    }
  }
  PrintFigures(figures, elapsed(), seed, gameUpdates, world.score);
  std::printf("every invariant held\n");
  return 0;
}
