// How long the built-in player takes to decide a frame: whole normal games and a stretch
// of a random game played by it, every decision timed on the thread's own CPU clock (the
// machine may be busy with other work; the wall clock is printed beside it). Prints the
// median, the 99th percentile and the worst, each as a share of the game's 22 ms frame,
// the same for the frames with a boss on the field (its bullet storms are the heaviest
// look-ahead), and, as the baseline measured in the same run, one plain world step.
//   bench_player [normal seeds] [random frames]   (default 3 and 20000)
#include <time.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include "app/player.h"
#include "world/step.h"
#include "world/world.h"

namespace {

double Now(clockid_t clock) {
  timespec t;
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

bool BossOnField(const World &w) {
  for (const Enemy &e : w.EnemyTable)
    if (e.hp > 0 && (e.type == 11 || e.type == 12 || e.type == 13 || e.type == 17)) return true;
  return false;
}

struct Times {
  std::vector<double> cpu, wall;
};

void Print(const char *what, Times &t) {
  if (t.cpu.empty()) return;
  auto line = [&](const char *clock, std::vector<double> &v) {
    std::sort(v.begin(), v.end());
    const double median = v[v.size() / 2], p99 = v[v.size() * 99 / 100], worst = v.back();
    std::printf("  %-5s median %6.3f ms (%5.1f%% of 22 ms)  p99 %6.3f ms (%5.1f%%)  worst %6.3f ms (%5.1f%%)\n",
                clock, median, median / 22 * 100, p99, p99 / 22 * 100, worst, worst / 22 * 100);
  };
  std::printf("%s: %zu decisions\n", what, t.cpu.size());
  line("cpu", t.cpu);
  line("wall", t.wall);
}

// Plays one game to its end (or the frame limit), timing every decision.
void PlayGame(uint32_t seed, bool randomGame, long frameLimit, Times &all, Times &boss) {
  static World world;
  static FrameReport report;
  static BuiltInPlayer player;
  player = BuiltInPlayer(randomGame);
  StartWorld(world, seed);
  for (long frame = 0; frame < frameLimit; ++frame) {
    const bool playing = world.GameState == Playing;
    const bool bossFight = playing && BossOnField(world);
    const double c0 = Now(CLOCK_THREAD_CPUTIME_ID), w0 = Now(CLOCK_MONOTONIC);
    const FrameInput input = player.Decide(world);
    const double c1 = Now(CLOCK_THREAD_CPUTIME_ID), w1 = Now(CLOCK_MONOTONIC);
    if (playing) {
      all.cpu.push_back(c1 - c0);
      all.wall.push_back(w1 - w0);
      if (bossFight) {
        boss.cpu.push_back(c1 - c0);
        boss.wall.push_back(w1 - w0);
      }
    }
    StepWorld(world, input, report);
    if (world.GameState == GameOver || world.GameState == AllClear) break;
  }
}

}  // namespace

int main(int argc, char **argv) {
  const int seeds = argc > 1 ? std::atoi(argv[1]) : 3;
  const long randomFrames = argc > 2 ? std::atol(argv[2]) : 20000;
  Times all, boss;
  all.cpu.reserve(200000);
  all.wall.reserve(200000);
  boss.cpu.reserve(100000);
  boss.wall.reserve(100000);
  for (int seed = 1; seed <= seeds; ++seed) PlayGame(static_cast<uint32_t>(seed), false, 60000, all, boss);
  if (randomFrames > 0) PlayGame(1, true, randomFrames, all, boss);

  // The baseline: one world step of a game in progress, on the same clock.
  static World world, copy;
  static FrameReport report;
  StartWorld(world, 7);
  BuiltInPlayer player;
  for (int i = 0; i < 3000; ++i) StepWorld(world, player.Decide(world), report);
  const int steps = 20000;
  const double c0 = Now(CLOCK_THREAD_CPUTIME_ID);
  for (int i = 0; i < steps; ++i) {
    copy = world;
    StepWorld(copy, FrameInput{}, report);
  }
  const double step = (Now(CLOCK_THREAD_CPUTIME_ID) - c0) / steps;

  std::printf("baseline: one world step (copy included) %.4f ms\n", step);
  Print("every frame of play", all);
  Print("frames with a boss", boss);
  std::sort(all.cpu.begin(), all.cpu.end());
  std::printf("median decision = %.0f world steps\n", all.cpu[all.cpu.size() / 2] / step);
  return 0;
}
