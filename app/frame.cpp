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
int enterTakenBySwitch;

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
  // Enter with Alt is the switch to full screen and back, none of the game's: neither
  // while Alt is held nor, once the switch has taken a press, until Enter is let go (Alt
  // may be let go first, or both before this frame looks).
  if (enterTakenBySwitch && !Held(keys, VK_RETURN)) enterTakenBySwitch = 0;
  input.enter = Held(keys, VK_RETURN) && !Held(keys, VK_MENU) && !enterTakenBySwitch;
  return input;
}

// ---- Smooth pacing ----------------------------------------------------------------
UpdatePair updates;            // the two updates the pictures are drawn between
double nextPicture;            // when the next picture is due on the picture clock
double averagePresentMs;       // how long Present has been taking (the retrace's wait)

int lastFrameDx, lastFrameDy;   // the motion the last world frame read

// The mouse motion the world has not taken yet by `ahead` ms from now: what its frames
// kept for the hand, what the cursor moved since the last frame read it (the cursor is
// not put back here: the next world frame still reads all of it), and for a picture
// shown `ahead` ms later the motion until then at the last frame's pace.
void MotionSinceUpdate(double ahead, double &mx, double &my) {
  mx = game.pendingDx;
  my = game.pendingDy;
  if (demoMode) return;
  POINT cursor = {400, 300};
  if (!GetCursorPos(&cursor)) return;
  mx += (cursor.x - 400) * mouseMotion.sensitivity;
  my += (cursor.y - 300) * mouseMotion.sensitivity;
  if (ahead <= 0.0) return;
  mx += ahead * lastFrameDx / FrameMilliseconds;
  my += ahead * lastFrameDy / FrameMilliseconds;
}

// One picture shown at `when` on the clock: the things a fraction of the way between
// the last two updates (22 ms apart, 66 in slow motion), the hand leading.
void DrawPicture(double when) {
  double mx = 0.0, my = 0.0;
  MotionSinceUpdate(when - timeGetTime(), mx, my);
  RenderMoment(MomentAt(updates, game, when, mx, my), fpsValue);
  // Present alone, not the drawing: a slow picture must not pass for a retrace's wait.
  averagePresentMs = averagePresentMs * 0.875 + static_cast<double>(lastPresentMilliseconds) * 0.125;
}

// How late the pacing's own sleeps wake: the latest of the last two spells of 128
// wake-ups, in whole ms of the clock. Pictures are drawn that much ahead of the refresh
// they are for, so a late wake-up still has them up by it.
struct WakeLateness {
  double spellLatest = 0.0, lastSpellLatest = 0.0;
  int spellWakes = 0;

  void Note(double late) {
    if (late > spellLatest) spellLatest = late;
    if (++spellWakes < 128) return;
    lastSpellLatest = spellLatest;
    spellLatest = 0.0;
    spellWakes = 0;
  }
  // At most half a refresh: wake-ups later than that are missed refreshes whatever is done.
  double Margin(double period) const {
    const double latest = spellLatest > lastSpellLatest ? spellLatest : lastSpellLatest;
    return latest < period * 0.5 ? latest : period * 0.5;
  }
};
WakeLateness wakeLateness;

// Sleeps until the clock reads `until` (a whole ms, later than `now`), noting how late it woke.
void SleepUntil(double until, double now) {
  Sleep(static_cast<DWORD>(until - now));
  wakeLateness.Note(static_cast<double>(timeGetTime()) - until);
}

// Pictures until the next world frame is due, on a picture clock at the display mode's
// rate that runs on across the world frames; each refresh of that clock is when a
// picture is shown, and the picture shows the things at that moment. A picture is drawn
// ahead of its refresh by as late as wake-ups have come, so it is up by then; one that
// is still late for its refresh (the wake-up later than ever, a slow picture) is shown
// at the next refresh instead and shows that moment, the clock keeping its beat. A world
// frame is stepped once its time is as near, after the pictures of the refreshes before
// it, so the picture of a refresh just after it can be up in time too; its time stays
// on the 22 ms grid. Where Present itself waits for the retrace (most of a refresh), the
// retrace paces the pictures: the next one is drawn at once instead of sleeping toward
// it, which could wake just too late for a retrace and miss it.
void DrawUntilNextFrame() {
  const uint32_t deadline = lastFrameTime + FrameMilliseconds;
  const double period = 1000.0 / DisplayRefreshRate();
  bool drawn = false;
  for (;;) {
    const double now = timeGetTime();
    const bool retracePaced = averagePresentMs >= period * 0.4;
    const double margin = retracePaced ? 0.0 : wakeLateness.Margin(period);
    // A clock gone astray (the first frame, a change of rate, a long stall) starts
    // again now, learning the wake-ups afresh; a refresh already gone is the next one
    // still to come, on the clock's beat.
    if (!(nextPicture <= now + period + margin + 1.0) || nextPicture < now - 1000.0) {
      nextPicture = now;
      wakeLateness = WakeLateness{};
    }
    if (nextPicture < now) nextPicture += std::ceil((now - nextPicture) / period) * period;
    if (nextPicture > deadline) {
      // The world frame comes first.
      const double wake = std::floor(deadline - margin);
      if (now >= wake) {
        // A late world frame still shows itself once, so a slow machine keeps a picture.
        if (!drawn && now >= deadline) DrawPicture(nextPicture);
        break;
      }
      SleepUntil(wake, now);
      continue;
    }
    const double wake = std::floor(nextPicture - margin);
    if (retracePaced || now >= wake) {
      DrawPicture(nextPicture);
      drawn = true;
      nextPicture += period;
      continue;
    }
    SleepUntil(wake, now);
  }
  // World frames stay on their 22 ms grid, also one stepped a little ahead of its time;
  // a late one loses its time, as in original.
  const uint32_t now = timeGetTime();
  lastFrameTime = (static_cast<int32_t>(now - deadline) < static_cast<int32_t>(FrameMilliseconds)) ? deadline : now;
}

// The world's part of a frame due at `due` on the clock: the input read, the world
// stepped, its sounds played; smooth pacing notes an update for the pictures drawn
// between them, made at the frame's due time.
void StepFrameDue(double due) {
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
  lastFrameDx = input.dx;
  lastFrameDy = input.dy;
  FrameReport report;
  static World before;
  if (smoothPacing) std::memcpy(&before, &game, sizeof game);   // the padding too, for NoteFrame
  StepWorld(game, input, report);
  KeepFrame(input, game);
  for (int i = 0; i < report.soundCount; ++i)
    DSplay(static_cast<char>(report.sounds[i].id), static_cast<char>(report.sounds[i].level));
  if (report.quit) running = 0;  // the frame is still drawn
  if (smoothPacing) NoteFrame(updates, before, game, due);
}

}  // namespace

void StepFrame() { StepFrameDue(timeGetTime()); }

void RunFrame() {
  // A kept game watched again runs on its own frames (watch.cpp).
  if (Watching()) return RunWatchFrame();
  // The frame is due at lastFrameTime, on the 22 ms grid, when it runs within a frame of
  // it (smooth pacing may step it a little ahead); otherwise now.
  const uint32_t now = timeGetTime();
  const int32_t since = static_cast<int32_t>(now - lastFrameTime);
  const int32_t frame = static_cast<int32_t>(FrameMilliseconds);
  StepFrameDue(since > -frame && since < frame ? lastFrameTime : now);
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
