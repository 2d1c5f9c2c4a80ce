// The frame driver: one game frame per call from the message loop. It reads the held
// keys and the mouse's motion since the last frame (the cursor goes back to the middle
// every frame), advances the world by that frame, plays the sounds the frame asked
// for, draws the world, waits out the 22 ms pacing and counts the frame rate. In the
// demo the built-in player makes each frame's input instead, until the person presses
// Escape.
//
// Two pacings draw it. Original: one picture per world frame, drawn right after the
// frame. Smooth: the world frames stay exactly the same, but between them pictures are
// drawn at the display's rate, each a moment between the last two world updates
// (render/between.h) with the hand led by the motion made since, so constant motion
// moves evenly on every display. Presenting waits for the retrace where the device
// does; where it does not, a clock at the display mode's rate paces the pictures.
#include "app/game.h"
#include "app/mouse_motion.h"
#include "app/player.h"
#include "app/record.h"
#include "app/store.h"
#include "app/watch.h"
#include "render/between.h"
#include "render/device.h"
#include "sound/sound.h"
#include "world/step.h"

#include <cmath>
#include <cstring>

World game;
uint32_t lastFrameTime;
uint32_t fpsFrameCount;
uint32_t fpsWindowStart;
uint32_t fpsValue;
int demoMode;
int smoothPacing;

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

// ---- Smooth pacing ----------------------------------------------------------------
UpdatePair updates;            // the two updates the pictures are drawn between
double nextPicture;            // when the next picture is due on the picture clock
double averagePresentMs;       // how long Present has been taking (the retrace's wait)

// The mouse motion the world has not taken yet: what its frames kept for the hand and
// what the cursor moved since the last frame read it (the cursor is not put back here:
// the next world frame still reads all of it).
void MotionSinceUpdate(double &mx, double &my) {
  mx = game.pendingDx;
  my = game.pendingDy;
  if (demoMode) return;
  POINT cursor = {400, 300};
  if (!GetCursorPos(&cursor)) return;
  mx += (cursor.x - 400) * mouseMotion.sensitivity;
  my += (cursor.y - 300) * mouseMotion.sensitivity;
}

// One picture at `when` on the clock: the things a fraction of the way between the
// last two updates (22 ms apart, 66 in slow motion), the hand leading.
void DrawPicture(double when) {
  double mx = 0.0, my = 0.0;
  MotionSinceUpdate(mx, my);
  RenderMoment(MomentAt(updates, game, when, mx, my), fpsValue);
  // Present alone, not the drawing: a slow picture must not pass for a retrace's wait.
  averagePresentMs = averagePresentMs * 0.875 + static_cast<double>(lastPresentMilliseconds) * 0.125;
}

// Pictures until the next world frame is due, on a picture clock at the display mode's
// rate that runs on across the world frames. Each picture stands for its time on that
// clock, so the things it shows are evenly spaced however the wake-ups fall. Where
// Present itself waits for the retrace (most of a refresh), the retrace paces the
// pictures: the next one is drawn at once instead of sleeping toward it, which could
// wake just too late for a retrace and miss it.
void DrawUntilNextFrame() {
  const uint32_t deadline = lastFrameTime + FrameMilliseconds;
  const double period = 1000.0 / DisplayRefreshRate();
  bool drawn = false;
  for (;;) {
    const double now = timeGetTime();
    if (now >= deadline) {
      // A late world frame still shows itself once, so a slow machine keeps a picture.
      if (!drawn) DrawPicture(now);
      break;
    }
    // A clock gone astray (the first frame, a stall, a change of rate) starts again now.
    if (nextPicture > now + period + 1.0 || nextPicture < now - period) nextPicture = now;
    const bool retracePaced = averagePresentMs >= period * 0.4;
    if (retracePaced || now >= std::floor(nextPicture)) {
      DrawPicture(nextPicture);
      drawn = true;
      nextPicture += period;
      continue;
    }
    const double until = nextPicture < deadline ? std::floor(nextPicture) : static_cast<double>(deadline);
    Sleep(static_cast<DWORD>(until - now));
  }
  // World frames stay on their 22 ms grid; a late one loses its time, as in original.
  const uint32_t now = timeGetTime();
  lastFrameTime = (now - deadline < FrameMilliseconds) ? deadline : now;
}

}  // namespace

// The world's part of a frame: the input read, the world stepped, its sounds played;
// smooth pacing notes an update for the pictures drawn between them.
void StepFrame() {
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
  static World before;
  if (smoothPacing) std::memcpy(&before, &game, sizeof game);   // the padding too, for NoteFrame
  StepWorld(game, input, report);
  KeepFrame(input, game);
  for (int i = 0; i < report.soundCount; ++i)
    DSplay(static_cast<char>(report.sounds[i].id), static_cast<char>(report.sounds[i].level));
  if (report.quit) running = 0;  // the frame is still drawn
  if (smoothPacing) NoteFrame(updates, before, game, timeGetTime());
}

void RunFrame() {
  // A kept game watched again runs on its own frames (watch.cpp).
  if (Watching()) return RunWatchFrame();
  StepFrame();
  if (smoothPacing) {
    DrawUntilNextFrame();
  } else {
    RenderFrame(game, fpsValue);
    WaitFrame();
  }
  CountFps();
}

void DrawPictureNow() { DrawPicture(timeGetTime()); }

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
