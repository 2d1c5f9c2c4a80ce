// What a player would see of the game's pacing on the headless driver's simulated
// display: the game runs its real frames on the virtual clock, every picture it draws
// is noted with the time it was drawn and where a tracked thing stood in it, and a
// display refreshing at a given rate shows at each retrace the last picture drawn
// before it. Shared by the pacing test and the smooth-pacing benchmark.
#pragma once
#include <cmath>
#include <cstring>
#include <vector>

#include "app/game.h"
#include "platform/drivers/headless/headless.h"
#include "render/between.h"
#include "render/device.h"
#include "world/step.h"

namespace pacing_probe {

struct Picture {
  double time;
  double x, y;   // the tracked thing as drawn
};

inline std::vector<Picture> pictures;
inline int trackedSlot = -1;   // an enemy slot, or -1 for the hand
// The hand's steady motion across, in pixels a second; whole pixels are counted from
// when the speed was set, so the mouse is where it is whenever the game looks.
inline int mouseSpeed;
inline DWORD speedSince;
inline long long movedSince;
inline DWORD motionAt;         // one motion at this time (0: none), for the latency
inline bool motionDone;

inline void Observe(const SceneMoment &m) {
  double x = m.hand.x, y = m.hand.y;
  if (trackedSlot >= 0) {
    const Enemy e = EnemyBetween(m.previous->EnemyTable[trackedSlot], m.newest->EnemyTable[trackedSlot], m.fraction);
    x = e.x;
    y = e.y;
  }
  pictures.push_back({static_cast<double>(timeGetTime()), x, y});
}

// The mouse moves on as the clock does: steadily, or once at motionAt.
inline void MoveMouseWithClock(DWORD now) {
  const long long due = static_cast<long long>(now - speedSince) * mouseSpeed / 1000;
  if (due != movedSince) HeadlessMoveMouse(static_cast<int>(due - movedSince), 0);
  movedSince = due;
  if (motionAt != 0 && !motionDone && now >= motionAt) {
    HeadlessMoveMouse(40, 0);
    motionDone = true;
  }
}

inline void SetMouseSpeed(int pixelsPerSecond) {
  mouseSpeed = pixelsPerSecond;
  speedSince = timeGetTime();
  movedSince = 0;
}

// A game under way with an empty field, the hand at the left, at clock time `now`.
inline void StartPlaying(DWORD now, bool smooth, int refresh, int jitter) {
  HeadlessReleaseAllKeys();
  HeadlessSetForeground(true);
  HeadlessSetWaitHook(nullptr);
  HeadlessSetTime(now);
  HeadlessSetDisplay(refresh, jitter, 7);
  HeadlessSetClockHook(MoveMouseWithClock);
  StartWorld(game, 1234);
  game.GameState = Playing;
  game.Player.x = 100.0f;
  SetCursorPos(400, 300);
  lastFrameTime = now;
  running = 1;
  smoothPacing = smooth ? 1 : 0;
  pictures.clear();
  SetMouseSpeed(0);
  motionAt = 0;
  motionDone = false;
  pictureObserver = Observe;
}

// A shot flying straight across the field in slot 0 (type 0 keeps its heading).
inline void LaunchStraightShot() {
  std::memset(game.EnemyTable, 0, sizeof game.EnemyTable);
  Enemy &e = game.EnemyTable[0];
  e.x = 790.0f;
  e.y = 520.0f;
  e.angle = 0.0f;
  e.hp = 1;
  e.type = 0;
  e.age = 1;
}

// The coefficient of variation of the step per refresh of what the display shows,
// from `from` to `to` ms, the retraces at k * period + phase.
inline double JudderIndex(double refresh, double from, double to, double phase) {
  const double period = 1000.0 / refresh;
  std::vector<double> steps;
  size_t shown = 0;
  bool have = false;
  double last = 0.0;
  for (double t = std::ceil((from - phase) / period) * period + phase; t < to; t += period) {
    while (shown + 1 < pictures.size() && pictures[shown + 1].time <= t) ++shown;
    if (pictures.empty() || pictures[shown].time > t) continue;
    const double x = pictures[shown].x;
    if (have) steps.push_back(x - last);
    last = x;
    have = true;
  }
  if (steps.size() < 2) return -1.0;
  double mean = 0.0;
  for (double s : steps) mean += s;
  mean /= steps.size();
  double var = 0.0;
  for (double s : steps) var += (s - mean) * (s - mean);
  var /= steps.size();
  return mean == 0.0 ? -1.0 : std::sqrt(var) / std::fabs(mean);
}

}  // namespace pacing_probe
