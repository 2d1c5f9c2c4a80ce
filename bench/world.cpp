// Whole games of the world alone, without drawing: frames per second on one core for a
// normal game and the random mode, from inputs made beforehand, and the heap
// allocations made by the frames after the first (counted by replacing operator new in
// this program; a frame must allocate nothing).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "bench/world_inputs.h"

namespace {

std::atomic<long> allocations{0};

constexpr uint32_t Seed = 20261207;
constexpr int Frames = 20000;

void WholeGames(benchmark::State &state, bool randomGame) {
  const std::vector<FrameInput> inputs = MakeGameInputs(Seed, randomGame, Frames);
  static World start, world;
  StartWorld(start, Seed);
  FrameReport report;
  long allocatedInFrames = 0;
  long updates = 0;
  int score = 0;
  for (auto _ : state) {
    world = start;
    StepWorld(world, inputs[0], report);
    const long before = allocations.load(std::memory_order_relaxed);
    for (size_t i = 1; i < inputs.size(); ++i) {
      StepWorld(world, inputs[i], report);
      updates += world.GameState == Playing;
      if (world.score > score) score = world.score;
    }
    allocatedInFrames += allocations.load(std::memory_order_relaxed) - before;
    benchmark::DoNotOptimize(world);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(inputs.size()));
  state.counters["frames_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(inputs.size()),
                         benchmark::Counter::kIsRate);
  state.counters["allocations_after_first_frame"] = static_cast<double>(allocatedInFrames);
  state.counters["playing_frames"] = static_cast<double>(updates) / static_cast<double>(state.iterations());
  state.counters["best_score"] = score;
}

void NormalGames(benchmark::State &state) { WholeGames(state, false); }
void RandomModeGames(benchmark::State &state) { WholeGames(state, true); }

BENCHMARK(NormalGames)->Unit(benchmark::kMillisecond);
BENCHMARK(RandomModeGames)->Unit(benchmark::kMillisecond);

}  // namespace

// Every allocation of the program goes through these, so the frames' allocations count.
void *operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void *p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void *operator new[](std::size_t size) { return operator new(size); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { operator delete(p); }
void operator delete(void *p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void *p, std::size_t) noexcept { operator delete(p); }

BENCHMARK_MAIN();
