// Frame pacing on the real clock: the title screen at its 22 ms pace with the game's
// wait (it sleeps up to the deadline's millisecond tick) against two baselines in the
// same run: a wait that sleeps until a millisecond is left and yields through it, and
// a wait that only spins on the millisecond timer. Prints, for each, the CPU time per
// second of wall time (in % of one core) of the whole process and of the game's own
// thread alone (the frame and its wait, without the sound library's mixing thread,
// which wakes for every output buffer), and the frame interval over the run (median,
// 99th percentile, largest). With a display the frames are drawn into the real window
// (windowed, or full screen presenting on the vertical retrace); the same waits also
// run without drawing, to show the wait's own cost.
//   bench_pacing [frames] [--fullscreen]   (default 500 frames, windowed)
#include <time.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "app/game.h"
#include "render/device.h"
#include "world/step.h"
#include "world/world.h"

namespace {

// Sleeping until one millisecond is left, then yielding until the deadline's tick.
void YieldingWaitFrame() {
  for (;;) {
    const uint32_t now = timeGetTime();
    if (now >= lastFrameTime + 22) break;
    const uint32_t left = lastFrameTime + 22 - now;
    Sleep(left > 1 ? left - 1 : 0);
  }
  lastFrameTime = timeGetTime();
}

// The wait as a plain busy loop: what the frames cost when nothing ever sleeps.
void SpinningWaitFrame() {
  while (timeGetTime() < lastFrameTime + 22) {
  }
  lastFrameTime = timeGetTime();
}

// The title screen's frame, step for step as RunFrame runs it there.
void TitleFrame(void (*wait)(), bool draw) {
  static FrameReport report;
  StepWorld(game, FrameInput{}, report);
  if (draw) RenderFrame(game, fpsValue);
  wait();
  CountFps();
}

double Seconds(clockid_t clock) {
  timespec now;
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[index];
}

struct Result {
  double cpuPercent;
  double threadPercent;   // the game's own thread: the frame and the wait, without the sound mixer's
  double median;
  double p99;
  double largest;
  int ticks22;
  int ticks23;
  int ticksOther;
};

Result Run(void (*wait)(), bool draw, int frames) {
  std::vector<double> intervals;
  intervals.reserve(static_cast<size_t>(frames));
  Result result = {};
  // One frame to line the pace up, then the measured ones.
  TitleFrame(wait, draw);
  double last = Seconds(CLOCK_MONOTONIC);
  uint32_t lastTick = lastFrameTime;
  const double cpuStart = Seconds(CLOCK_PROCESS_CPUTIME_ID);
  const double threadStart = Seconds(CLOCK_THREAD_CPUTIME_ID);
  const double wallStart = last;
  for (int i = 0; i < frames; i++) {
    TitleFrame(wait, draw);
    const double now = Seconds(CLOCK_MONOTONIC);
    intervals.push_back((now - last) * 1000.0);
    last = now;
    const uint32_t ticks = lastFrameTime - lastTick;
    lastTick = lastFrameTime;
    if (ticks == 22) result.ticks22 += 1;
    else if (ticks == 23) result.ticks23 += 1;
    else result.ticksOther += 1;
  }
  result.cpuPercent = 100.0 * (Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart) / (last - wallStart);
  result.threadPercent = 100.0 * (Seconds(CLOCK_THREAD_CPUTIME_ID) - threadStart) / (last - wallStart);
  result.median = Percentile(intervals, 0.5);
  result.p99 = Percentile(intervals, 0.99);
  result.largest = Percentile(intervals, 1.0);
  return result;
}

void Print(const char *name, const Result &result) {
  std::printf("%-28s cpu %6.2f%% of a core (game thread %5.2f%%)   interval median %6.2f ms  p99 %6.2f ms  "
              "max %6.2f ms   timer ticks 22:%d 23:%d other:%d\n",
              name, result.cpuPercent, result.threadPercent, result.median, result.p99, result.largest,
              result.ticks22, result.ticks23, result.ticksOther);
}

void RunAll(const char *mode, bool draw, int frames) {
  const Result sleeping = Run(WaitFrame, draw, frames);
  const Result yielding = Run(YieldingWaitFrame, draw, frames);
  const Result spinning = Run(SpinningWaitFrame, draw, frames);
  char name[64];
  std::snprintf(name, sizeof name, "%s, game's wait", mode);
  Print(name, sleeping);
  std::snprintf(name, sizeof name, "%s, yielding wait", mode);
  Print(name, yielding);
  std::snprintf(name, sizeof name, "%s, spinning wait", mode);
  Print(name, spinning);
  std::printf("%-28s cpu ratio to the yielding wait %.3f, to the spinning wait %.3f\n", mode,
              sleeping.cpuPercent / yielding.cpuPercent, sleeping.cpuPercent / spinning.cpuPercent);
}

}  // namespace

int main(int argc, char **argv) {
  int frames = 500;
  bool wantFullScreen = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fullscreen") == 0) wantFullScreen = true;
    else frames = std::max(10, std::atoi(argv[i]));
  }
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  fullScreen = wantFullScreen ? 1 : 0;
  CreateMainWindow(nullptr, SW_SHOWDEFAULT);
  const bool draw = mainWindow && InitGame();
  // The game asks for the 1 ms timer period at start; without a device, so does this.
  if (!draw) timeBeginPeriod(1);
  game.GameState = Title;
  std::printf("%d title-screen frames each, %s\n", frames,
              draw ? (fullScreen ? "drawn full screen (presenting on the vertical retrace)" : "drawn into a window")
                   : "not drawn (no window or device)");
  if (draw) RunAll(fullScreen ? "drawn, full screen" : "drawn", true, frames);
  RunAll("not drawn", false, frames);
  if (draw) ShutdownGame();
  else timeEndPeriod(1);
  return 0;
}
