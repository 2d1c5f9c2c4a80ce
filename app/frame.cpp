// The frame driver: one game frame per call from the message loop. It reads the held
// keys and the mouse's motion since the last frame (the cursor goes back to the middle
// every frame), advances the world by that frame, plays the sounds the frame asked
// for, draws the world, waits out the 22 ms pacing and counts the frame rate. In the
// demo the built-in player makes each frame's input instead, until the person presses
// Escape.
#include "app/game.h"
#include "app/mouse_motion.h"
#include "app/player.h"
#include "app/record.h"
#include "app/store.h"
#include "app/watch.h"
#include "render/device.h"
#include "sound/sound.h"
#include "world/step.h"

World game;
uint32_t lastFrameTime;
uint32_t fpsFrameCount;
uint32_t fpsWindowStart;
uint32_t fpsValue;
int demoMode;

namespace {

constexpr uint32_t FrameMilliseconds = 22;

bool Held(const BYTE *keys, int key) { return (keys[key] & 0x80) != 0; }

FrameInput ReadInput() {
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  POINT cursor = {400, 300};
  GetCursorPos(&cursor);
  SetCursorPos(400, 300);
  FrameInput input;
  input.dx = cursor.x - 400;
  input.dy = cursor.y - 300;
  mouseMotion.Apply(input.dx, input.dy);
  input.left = Held(keys, VK_LBUTTON);
  input.right = Held(keys, VK_RBUTTON);
  input.escape = Held(keys, VK_ESCAPE);
  input.enter = Held(keys, VK_RETURN);
  return input;
}

}  // namespace

void RunFrame() {
  if (Watching()) return RunWatchFrame();
  FrameInput input = ReadInput();
  if (demoMode) {
    // The cursor was still read and put back, so the person's motion during the demo
    // is dropped. Escape hands the game over: this frame is the person's own, with none
    // of the player's held buttons, so the title it returns to starts nothing by itself.
    static BuiltInPlayer player;
    if (input.escape)
      demoMode = 0;
    else
      input = player.Decide(game);
  }
  RecordFrame(input);
  FrameReport report;
  StepWorld(game, input, report);
  KeepFrame(input, game);
  for (int i = 0; i < report.soundCount; ++i)
    DSplay(static_cast<char>(report.sounds[i].id), static_cast<char>(report.sounds[i].level));
  if (report.quit) running = 0;  // the frame is still drawn
  RenderFrame(game, fpsValue);
  WaitFrame();
  CountFps();
}

void WaitFrame() {
  // A frame starts on the first millisecond tick at or after 22 ms from the end of the
  // last wait. A late frame does not wait and the lost time is not made up. Sleep wakes
  // on the tick edges of timeGetTime's clock, so the whole wait is slept, up to the
  // deadline's own tick; the loop only covers a wake-up that came early.
  const uint32_t deadline = lastFrameTime + FrameMilliseconds;
  for (;;) {
    const uint32_t now = timeGetTime();
    if (now >= deadline) break;
    Sleep(deadline - now);
  }
  lastFrameTime = timeGetTime();
}

void CountFps() {
  fpsFrameCount += 1;
  if (timeGetTime() >= fpsWindowStart + 1000) {
    fpsValue = fpsFrameCount;
    fpsFrameCount = 0;
    fpsWindowStart = timeGetTime();
  }
}
