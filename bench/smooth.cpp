// Smooth pacing against the original, in figures.
//
//   bench_smooth          on the headless driver's simulated display: the judder index
//                         (the coefficient of variation of the on-screen step per
//                         refresh) of a shot flying straight and of the hand moved at a
//                         constant speed, at 60, 75, 120 and 144 Hz, both pacings, with
//                         wake-ups on time and up to 3 ms late (the display's retraces
//                         1.5 ms past the clock's refreshes, and the shot's also over
//                         twelve such phases); and the time from a mouse motion to the
//                         retrace that first shows it (median and worst) at 60 and
//                         144 Hz.
//   bench_smooth --cpu [seconds]
//                         in the real window (the hardware device where it can be made):
//                         the share of a core the process takes for the title and for a
//                         crowded game frame, drawn with each pacing in the same run, and
//                         the ratio smooth / original.
#include <time.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/smooth_pacing.h"

namespace {

using namespace pacing_probe;

constexpr DWORD Start = 500000;
constexpr double Phase = 1.5;   // where the simulated display's retraces fall, in ms past the clock's

double ShotJudder(bool smooth, int refresh, int jitter) {
  StartPlaying(Start, smooth, refresh, jitter);
  LaunchStraightShot();
  trackedSlot = 0;
  for (int frame = 0; frame < 40; ++frame) RunFrame();
  trackedSlot = -1;
  return JudderIndex(refresh, Start + 5 * 22, Start + 38 * 22, Phase);
}

// The same flight seen by displays whose retraces fall at each twelfth of a refresh past
// the clock's: the median and the worst judder over those phases.
void ShotJudderOverPhases(bool smooth, int refresh, int jitter, double *median, double *worst) {
  ShotJudder(smooth, refresh, jitter);
  std::vector<double> judders;
  for (int k = 0; k < 12; ++k)
    judders.push_back(JudderIndex(refresh, Start + 5 * 22, Start + 38 * 22, k * 1000.0 / refresh / 12.0));
  std::sort(judders.begin(), judders.end());
  *median = judders[judders.size() / 2];
  *worst = judders.back();
}

double HandJudder(bool smooth, int refresh, int jitter) {
  StartPlaying(Start, smooth, refresh, jitter);
  game.Player.x = 60.0f;
  std::memset(game.EnemyTable, 0, sizeof game.EnemyTable);
  SetMouseSpeed(1000);   // 22 pixels a world frame
  for (int frame = 0; frame < 30; ++frame) {
    RunFrame();
    for (Enemy &e : game.EnemyTable) e.hp = 0;
  }
  SetMouseSpeed(0);
  // From when the hand's velocity has settled to its steady 22 a frame.
  return JudderIndex(refresh, Start + 12 * 22, Start + 29 * 22, Phase);
}

// From a motion at each offset into a world frame to the retrace that shows it.
void Latency(bool smooth, int refresh, double *median, double *worst) {
  const double period = 1000.0 / refresh;
  std::vector<double> delays;
  for (int offset = 0; offset < 22; ++offset) {
    StartPlaying(Start, smooth, refresh, 0);
    for (int frame = 0; frame < 3; ++frame) RunFrame();
    const double before = pictures.back().x;
    motionAt = lastFrameTime + static_cast<DWORD>(offset);
    if (offset == 0) HeadlessMoveMouse(40, 0), motionDone = true;   // right at the frame's reading
    for (int frame = 0; frame < 4; ++frame) RunFrame();
    double drawn = -1.0;
    for (const Picture &p : pictures)
      if (p.time >= motionAt && p.x != before) {
        drawn = p.time;
        break;
      }
    if (drawn < 0.0) continue;
    const double shown = std::ceil((drawn - Phase) / period) * period + Phase;
    delays.push_back(shown - motionAt);
  }
  std::sort(delays.begin(), delays.end());
  *median = delays.empty() ? -1.0 : delays[delays.size() / 2];
  *worst = delays.empty() ? -1.0 : delays.back();
}

int Simulated() {
  HeadlessEnable();
  HeadlessReset();
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  CreateMainWindow(nullptr, SW_SHOWDEFAULT);
  if (!InitGame()) {
    std::fprintf(stderr, "bench_smooth: the game could not start\n");
    return 1;
  }
  std::printf("judder index on the simulated display (0 is perfectly even; theory for one picture a frame "
              "sqrt((1-p)/p), p = 45.45 / rate)\n");
  std::printf("wake-ups on time, and up to 3 ms late (the fallback clock of a display without a retrace)\n");
  std::printf("%6s %7s | %6s %6s %6s %6s | %6s %6s %6s %6s\n", "", "", "shot", "", "+3ms", "wake", "hand", "",
              "+3ms", "wake");
  std::printf("%6s %7s | %6s %6s %6s %6s | %6s %6s %6s %6s\n", "rate", "theory", "orig", "smooth", "orig", "smooth",
              "orig", "smooth", "orig", "smooth");
  for (int refresh : {60, 75, 120, 144}) {
    const double p = 1000.0 / 22.0 / refresh;
    std::printf("%4d Hz %7.3f | %6.3f %6.3f %6.3f %6.3f | %6.3f %6.3f %6.3f %6.3f\n", refresh, std::sqrt((1 - p) / p),
                ShotJudder(false, refresh, 0), ShotJudder(true, refresh, 0), ShotJudder(false, refresh, 3),
                ShotJudder(true, refresh, 3), HandJudder(false, refresh, 0), HandJudder(true, refresh, 0),
                HandJudder(false, refresh, 3), HandJudder(true, refresh, 3));
  }
  std::printf("\nthe shot with wake-ups up to 3 ms late, on displays whose retraces fall anywhere in a refresh "
              "(median and worst of 12 phases)\n");
  std::printf("%7s | %6s %6s | %6s %6s\n", "rate", "orig", "worst", "smooth", "worst");
  for (int refresh : {60, 75, 120, 144}) {
    double originalMedian, originalWorst, smoothMedian, smoothWorst;
    ShotJudderOverPhases(false, refresh, 3, &originalMedian, &originalWorst);
    ShotJudderOverPhases(true, refresh, 3, &smoothMedian, &smoothWorst);
    std::printf("%4d Hz | %6.3f %6.3f | %6.3f %6.3f\n", refresh, originalMedian, originalWorst, smoothMedian,
                smoothWorst);
  }
  std::printf("\nfrom a mouse motion to the retrace showing it (motions at every ms of a world frame)\n");
  for (int refresh : {60, 144}) {
    double smoothMedian, smoothWorst, originalMedian, originalWorst;
    Latency(true, refresh, &smoothMedian, &smoothWorst);
    Latency(false, refresh, &originalMedian, &originalWorst);
    std::printf("%4d Hz: smooth median %5.2f ms worst %5.2f ms (one refresh is %5.2f ms) | original median %5.2f ms "
                "worst %5.2f ms\n",
                refresh, smoothMedian, smoothWorst, 1000.0 / refresh, originalMedian, originalWorst);
  }
  pictureObserver = nullptr;
  ShutdownGame();
  return 0;
}

// ---- CPU in the real window --------------------------------------------------------
double Seconds(clockid_t clock) {
  timespec now;
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A crowded game: every enemy slot a ship or a shot, every particle and spark live.
World CrowdedWorld() {
  World w;
  StartWorld(w, 99);
  w.GameState = Playing;
  for (int i = 0; i < EnemySlots; ++i)
    SpawnEnemy(w, 100.0f + (i % 9) * 70.0f, 60.0f + (i / 9) * 100.0f, 0.3f * i, static_cast<int8_t>(i % 12), 0);
  for (int i = 0; i < ParticleSlots; ++i)
    SpawnParticle(w, 20.0f + i * 11.0f, 300.0f, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 40.0f, 0.0f, 200, 0, -1,
                  static_cast<int8_t>(i % 11));
  for (int i = 0; i < EffectSlots; ++i)
    SpawnEffect(w, 400.0f, 300.0f, (i % 10) - 5.0f, (i / 10) - 3.0f, 0.0f, 0.4f, 255, -1, 50, 200, 255);
  return w;
}

double CpuShare(bool smooth, const World *held, double seconds) {
  smoothPacing = smooth ? 1 : 0;
  presentParams.SwapEffect = (smooth && !fullScreen) ? D3DSWAPEFFECT_COPY_VSYNC : D3DSWAPEFFECT_COPY;
  device->Reset(&presentParams);
  if (held != nullptr) game = *held;
  else StartWorld(game, 5);
  lastFrameTime = timeGetTime();
  const double wallStart = Seconds(CLOCK_MONOTONIC), cpuStart = Seconds(CLOCK_PROCESS_CPUTIME_ID);
  while (Seconds(CLOCK_MONOTONIC) - wallStart < seconds) {
    if (held != nullptr) game = *held;   // the same crowded frame every time
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    RunFrame();
  }
  return (Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart) / (Seconds(CLOCK_MONOTONIC) - wallStart);
}

int Cpu(double seconds) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  displayModeChoice = IDNO;
  waitForRetrace = true;
  CreateMainWindow(nullptr, SW_SHOWDEFAULT);
  if (mainWindow == nullptr || !InitGame()) {
    std::fprintf(stderr, "bench_smooth: no window or device\n");
    return 1;
  }
  std::printf("display mode %d Hz; %.1f s each\n", DisplayRefreshRate(), seconds);
  static World crowded = CrowdedWorld();
  for (const World *held : {static_cast<const World *>(nullptr), static_cast<const World *>(&crowded)}) {
    const double original = CpuShare(false, held, seconds);
    const double smooth = CpuShare(true, held, seconds);
    std::printf("%-14s original %6.1f%% of a core, smooth %6.1f%%, ratio %.2f\n", held ? "crowded game" : "title",
                100.0 * original, 100.0 * smooth, smooth / original);
  }
  ShutdownGame();
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--cpu") == 0) return Cpu(argc >= 3 ? std::max(1.0, std::atof(argv[2])) : 5.0);
  return Simulated();
}
