// Playing a kept game or a record file again (see watch.h).
#include "app/watch.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/game.h"
#include "render/device.h"
#include "sound/sound.h"
#include "world/step.h"

namespace {

WatchedRun watched;
bool watching;
bool started;
bool paused;
bool finished;
int speed = 1;
uint32_t next;
BYTE previousKeys[256];
std::string endLine;

}  // namespace

void StartWatching(WatchedRun run) {
  watched = std::move(run);
  watching = true;
  started = paused = finished = false;
  speed = 1;
  next = 0;
  endLine.clear();
  std::memset(previousKeys, 0, sizeof previousKeys);
}

bool Watching() { return watching; }

void RunWatchFrame() {
  if (!started) {
    // The run's own world, and everything it played before the game, unseen and unheard.
    StartWorld(game, watched.run.seed);
    FrameReport report;
    for (; next < watched.began; ++next) StepWorld(game, watched.run.inputs[next], report);
    started = true;
  }
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  auto pressed = [&keys](int key) { return (keys[key] & 0x80) != 0 && (previousKeys[key] & 0x80) == 0; };
  if (pressed(VK_ESCAPE)) running = 0;
  if (pressed(VK_SPACE)) paused = !paused;
  for (int n = 0; n < 4; ++n)
    if (pressed('1' + n)) speed = 1 << n;
  int steps = paused ? (pressed(VK_RIGHT) ? 1 : 0) : speed;
  std::memcpy(previousKeys, keys, sizeof keys);
  for (; steps > 0 && next <= watched.ended; --steps, ++next) {
    FrameReport report;
    StepWorld(game, watched.run.inputs[next], report);
    for (int i = 0; i < report.soundCount; ++i)
      DSplay(static_cast<char>(report.sounds[i].id), static_cast<char>(report.sounds[i].level));
  }
  if (next > watched.ended && !finished) {
    // The last picture stays until Escape; the line says where the game stood.
    static const char *const states[] = {"title", "playing", "game over", "all clear"};
    char line[128];
    std::snprintf(line, sizeof line, "watched to frame %u: %s, score %d, shield %d", watched.ended,
                  game.GameState >= 0 && game.GameState <= 3 ? states[game.GameState] : "?", game.score,
                  game.Player.shield);
    endLine = line;
    std::printf("quillrun: %s\n", line);
    std::fflush(stdout);
    finished = true;
  }
  RenderFrame(game, fpsValue);
  WaitFrame();
  CountFps();
}

WatchProgress WatchState() {
  WatchProgress progress;
  progress.stepped = next;
  progress.ended = watched.ended;
  progress.speed = speed;
  progress.paused = paused;
  progress.finished = finished;
  return progress;
}

const std::string &WatchedEndLine() { return endLine; }
