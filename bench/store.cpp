// The kept games' cost: what handing a frame to the store's writer costs the game's
// thread, and how big an hour of play is once kept. The inputs are the built-in
// player's games back to back (20000 frames made once, then again and again).
//   1. An hour of frames (163636 at 22 ms) stepped about 100 times as fast, the store keeping
//      them: KeepFrame's time per frame (mean, 99.9th percentile, worst) against the
//      22 ms frame and against the world's own step measured in the same run, and the
//      size of the store afterwards against the same inputs in the record format.
//   2. Some seconds at the game's own pace (a 22 ms sleep a frame), so every commit of
//      the writer falls among frames: KeepFrame's worst frame there.
//   bench_store [frames] [paced-seconds]
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/store.h"
#include "bench/world_inputs.h"
#include "world/step.h"

namespace {

double Nanoseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

struct Figures {
  double mean = 0, p999 = 0, worst = 0;
};

Figures Summarise(std::vector<double> times) {
  Figures f;
  if (times.empty()) return f;
  for (const double t : times) f.mean += t;
  f.mean /= static_cast<double>(times.size());
  std::sort(times.begin(), times.end());
  f.p999 = times[static_cast<size_t>(0.999 * static_cast<double>(times.size() - 1))];
  f.worst = times.back();
  return f;
}

void Print(const char *what, const Figures &f, double step) {
  constexpr double Frame = 22e6;
  std::printf("%-34s mean %7.0f ns (%.5f%% of 22 ms, %.3f x the step)  99.9%% %7.0f ns  worst %8.0f ns (%.4f%% of 22 ms)\n",
              what, f.mean, 100.0 * f.mean / Frame, f.mean / step, f.p999, f.worst, 100.0 * f.worst / Frame);
}

}  // namespace

int main(int argc, char **argv) {
  const long frames = argc > 1 ? std::atol(argv[1]) : 163636;
  const int pacedSeconds = argc > 2 ? std::atoi(argv[2]) : 20;
  char pattern[] = "/tmp/qr-bench-store.XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string dir = pattern;
  setenv("XDG_DATA_HOME", dir.c_str(), 1);
  const std::vector<FrameInput> inputs = MakeGameInputs(1, false, 20000);

  // The baseline: the world's own step, the same frames, no keeping.
  std::vector<double> steps;
  steps.reserve(static_cast<size_t>(frames));
  World world;
  StartWorld(world, 1);
  FrameReport report;
  size_t recordBytes = 0;
  for (long i = 0; i < frames; ++i) {
    const FrameInput &input = inputs[static_cast<size_t>(i) % inputs.size()];
    const double start = Nanoseconds();
    StepWorld(world, input, report);
    steps.push_back(Nanoseconds() - start);
    char line[80];
    recordBytes += static_cast<size_t>(std::snprintf(line, sizeof line, "%d %d %d %d %d %d\n", input.dx, input.dy,
                                                     input.left, input.right, input.escape, input.enter));
  }
  const Figures step = Summarise(steps);

  // An hour of frames kept.
  std::vector<double> keeps;
  keeps.reserve(static_cast<size_t>(frames));
  StartWorld(world, 1);
  if (!StartKeeping(world.randomSeed)) return 1;
  for (long i = 0; i < frames; ++i) {
    const FrameInput &input = inputs[static_cast<size_t>(i) % inputs.size()];
    StepWorld(world, input, report);
    const double start = Nanoseconds();
    KeepFrame(input, world);
    keeps.push_back(Nanoseconds() - start);
    // A rest now and then, so the writer (which wakes ten times a second) keeps up: at
    // full speed the world steps far more frames a second than the ring holds.
    if (i % 1000 == 999) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  StopKeeping();
  uintmax_t size = 0;
  for (const auto &entry : std::filesystem::recursive_directory_iterator(dir))
    if (entry.is_regular_file()) size += entry.file_size();

  std::printf("%ld frames (%.1f minutes of play), the built-in player's games\n", frames,
              static_cast<double>(frames) * 22.0 / 60000.0);
  Print("the world's step (baseline)", step, step.mean);
  Print("KeepFrame, fast", Summarise(keeps), step.mean);
  std::printf("kept: %.1f KB (%.1f KB an hour); the same inputs in the record format %.1f KB (%.3f x)\n",
              static_cast<double>(size) / 1024.0,
              static_cast<double>(size) / 1024.0 * 163636.0 / static_cast<double>(frames),
              static_cast<double>(recordBytes) / 1024.0, static_cast<double>(size) / static_cast<double>(recordBytes));

  // At the game's pace: every commit among the frames.
  std::filesystem::remove_all(dir + "/quillrun");
  keeps.clear();
  StartWorld(world, 2);
  if (!StartKeeping(world.randomSeed)) return 1;
  const long paced = pacedSeconds * 1000L / 22;
  for (long i = 0; i < paced; ++i) {
    const FrameInput &input = inputs[static_cast<size_t>(i) % inputs.size()];
    StepWorld(world, input, report);
    const double start = Nanoseconds();
    KeepFrame(input, world);
    keeps.push_back(Nanoseconds() - start);
    std::this_thread::sleep_for(std::chrono::milliseconds(22));
  }
  StopKeeping();
  Print("KeepFrame, at 22 ms a frame", Summarise(keeps), step.mean);
  std::filesystem::remove_all(dir);
  return 0;
}
