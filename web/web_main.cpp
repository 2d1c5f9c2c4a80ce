// The process in the browser. The page asks the start-up question with its own dialog
// (the same "FULL SCREEN ?" and the same two answers; Yes takes the browser's full
// screen), then the window, the start-up of every subsystem and the message loop run as
// on the desktop, except that the browser drives the loop: one pass per display frame
// (requestAnimationFrame), and a game frame in a pass only once the frame's 22 ms
// deadline has passed (frame_pacer.h). Nothing ever waits inside the page. With smooth
// pacing every pass draws a picture between the last two updates, so the page shows
// one at each of the display's refreshes; with the original, a game frame draws its own.
// A page opened with "?watch=URL" asks nothing: it plays the recording fetched from
// there as the desktop's --watch does (web_watch.cpp), one watched frame per game frame.
#include <emscripten.h>
#include <emscripten/html5.h>
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include "app/game.h"
#include "app/watch.h"
#include "platform/drivers/driver.h"
#include "platform/user32/input.h"
#include "web/frame_pacer.h"
#include "web/web_watch.h"
#include "world/world.h"

namespace {

FramePacer pacer;
uint32_t passCount;
uint32_t framesRun;
// For comparing pictures with the desktop's replay runner: the page's "?frames=N" stops
// the game after N frames (0: never).
uint32_t frameLimit;
double frameMicroseconds;  // time spent in the game's frames, for the page's figures
// The time of the last passes that ran the game (the world's update when one was due,
// and the picture drawn), in microseconds, for the page's figures: its median and 95th
// percentile on a slow phone.
constexpr uint32_t PassSamples = 1024;
uint32_t passMicroseconds[PassSamples];
uint32_t passesTimed;
// The page turned on its side (a phone held upright shows no picture): the game is
// frozen as when the page is hidden.
bool turnedAway;

// clang-format off
EM_JS(void, AskStartQuestion, (const char *text, const char *caption), {
  Module.askStart(UTF8ToString(text), UTF8ToString(caption));
});

EM_JS(void, TellPageEnded, (int started), {
  if (Module.gameEnded) Module.gameEnded(started);
});

EM_JS(void, ShowWatchStatus, (const char *line), {
  if (Module.watchStatus) Module.watchStatus(UTF8ToString(line));
});
// clang-format on

std::string watchStatus;

// The status line follows the watching; the page hears of it only when it changes.
void UpdateWatchStatus(bool stopped) {
  std::string line = WatchStatusLine(stopped);
  if (line == watchStatus) return;
  watchStatus = std::move(line);
  ShowWatchStatus(watchStatus.c_str());
}

void EndRun() {
  emscripten_cancel_main_loop();
  ShutdownGame();
  if (Watching()) UpdateWatchStatus(true);
  TellPageEnded(1);
}

// One pass of the message loop: at most three messages, then a frame when its deadline
// has come and the page is shown.
void Pass() {
  passCount += 1;
  for (int attempt = 0; attempt < 3; attempt++) {
    MSG msg;
    if (PeekMessageA(&msg, mainWindow, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  if (running && !turnedAway && GetForegroundWindow() == mainWindow && (frameLimit == 0 || framesRun < frameLimit)) {
    const double passStarted = emscripten_get_now();
    const uint32_t now = timeGetTime();
    if (pacer.Due(now)) {
      // The browser has done the waiting: the frame's own wait finds its deadline passed.
      lastFrameTime = now - FramePacer::FrameMilliseconds;
      const double started = emscripten_get_now();
      if (smoothPacing) {
        StepFrame();
        CountFps();
      } else {
        RunFrame();
      }
      frameMicroseconds += (emscripten_get_now() - started) * 1000.0;
      if (framesRun == 0) EM_ASM({ Module.firstFrameAt = performance.now(); });
      framesRun += 1;
      pacer.Ran(now, timeGetTime());
      if (Watching() && running) UpdateWatchStatus(false);
    }
    if (smoothPacing && running) DrawPictureNow();
    const double passed = (emscripten_get_now() - passStarted) * 1000.0;
    passMicroseconds[passesTimed++ % PassSamples] = static_cast<uint32_t>(passed);
  } else {
    // In the background the game is frozen; back in front, the next frame follows at
    // once, with no catch-up of the lost time.
    pacer.Pause();
  }
  if (!running) EndRun();
}

}  // namespace

namespace {

// The window, the start-up of every subsystem and the loop, full screen or not.
void StartGame(int yes) {
  fullScreen = yes ? 1 : 0;
  CreateMainWindow(nullptr, SW_SHOWDEFAULT);
  if (!mainWindow || !InitGame()) {
    TellPageEnded(0);
    return;
  }
  if (Watching()) {
    // Watching takes no mouse: the pointer stays shown over the canvas. Whole frames,
    // each drawn after its steps, as the desktop's watching draws them.
    ShowCursor(TRUE);
    smoothPacing = 0;
    running = 1;
    emscripten_set_main_loop(Pass, 0, 0);
    return;
  }
  // "?seed=N" replaces the clock's seconds, as the desktop replay runner's --seed does,
  // so the same frames can be drawn on both.
  if (EM_ASM_INT({ return Module.fixedSeed !== undefined ? 1 : 0; }))
    StartWorld(game, static_cast<uint32_t>(EM_ASM_DOUBLE({ return Module.fixedSeed; })));
  frameLimit = static_cast<uint32_t>(EM_ASM_INT({ return Module.frameLimit | 0; }));
  // Smooth unless the page asks for the original; a run stopped after a number of frames
  // is for comparing its last picture with the desktop's picture of that frame, so it
  // draws whole frames.
  smoothPacing = (frameLimit == 0 && EM_ASM_INT({ return Module.pacing === 'original' ? 0 : 1; })) ? 1 : 0;
  running = 1;
  emscripten_set_main_loop(Pass, 0, 0);
}

}  // namespace

// The page's answer to the start-up question: 1 for Yes (full screen), 0 for No.
extern "C" EMSCRIPTEN_KEEPALIVE void QrAnswerStart(int yes) {
  if (mainWindow) return;  // answered already
  StartGame(yes);
}

// The page has fetched the recording at `url` into the file `path`: the game starts
// in the window, without the start-up question, and plays it. Empty when it started;
// otherwise why the recording cannot be watched.
extern "C" EMSCRIPTEN_KEEPALIVE const char *QrWatch(const char *path, const char *url) {
  static std::string error;
  error.clear();
  if (mainWindow || Watching()) return error = "the page plays one recording", error.c_str();
  WatchedRun watched;
  if (!LoadPageRecording(path ? path : "", url ? url : "", watched, error)) return error.c_str();
  StartWatching(std::move(watched));
  StartGame(0);
  return error.c_str();
}

namespace {

// The canvas behind the game's window, to hand the page's touches to as the mouse's
// and the keyboard's events are handed; null before the window and after it.
NativeWindow *CanvasWindow() { return mainWindow ? NativeWindowOf(mainWindow, CurrentDriver()) : nullptr; }

}  // namespace

// The page's touches as the mouse: motion in the game's pixels (the page scales the
// finger's motion to the canvas), and the left (1) or right (2) button held or let go.
extern "C" EMSCRIPTEN_KEEPALIVE void QrTouchMotion(int dx, int dy) {
  if (NativeWindow *canvas = CanvasWindow(); canvas && !Watching()) DriverMouseMotion(canvas, dx, dy);
}

extern "C" EMSCRIPTEN_KEEPALIVE void QrTouchButton(int button, int down) {
  if (button != VK_LBUTTON && button != VK_RBUTTON) return;
  if (NativeWindow *canvas = CanvasWindow(); canvas && !Watching()) DriverButtonEvent(canvas, button, down != 0, 0, 0);
}

// The page's back control and the system's back gesture: one press of Escape.
extern "C" EMSCRIPTEN_KEEPALIVE void QrBack() {
  if (NativeWindow *canvas = CanvasWindow()) {
    DriverKeyEvent(canvas, VK_ESCAPE, true, false);
    DriverKeyEvent(canvas, VK_ESCAPE, false, false);
  }
}

// The page held upright (1) or turned back to its side (0): the window loses the
// foreground and gets it back, as when the page is hidden and shown.
extern "C" EMSCRIPTEN_KEEPALIVE void QrTurnedAway(int away) {
  if (turnedAway == (away != 0)) return;
  turnedAway = away != 0;
  NativeWindow *canvas = CanvasWindow();
  if (!canvas) return;
  if (turnedAway) DriverFocusLost(canvas);
  else DriverFocusGained(canvas);
}

// The time of one of the last 1024 passes that ran the game (QrProbe(17) counts them), in
// microseconds; -1 past them.
extern "C" EMSCRIPTEN_KEEPALIVE int QrPassMicroseconds(int back) {
  if (back < 0 || static_cast<uint32_t>(back) >= std::min(passesTimed, PassSamples)) return -1;
  return static_cast<int>(passMicroseconds[(passesTimed - 1 - back) % PassSamples]);
}

// What the page's tests look at: the game state, the frames run and the loop's passes,
// the hand's position in hundredths of a pixel, the score, the frame rate the game
// counts, whether it runs, the microseconds its frames have taken, whether sound is on,
// while watching the frames of the run stepped, the speed, paused and finished, and
// whether the world runs slowed, the random mode is on, the sword's power, and the
// passes timed.
extern "C" EMSCRIPTEN_KEEPALIVE int QrProbe(int what) {
  switch (what) {
    case 0: return game.GameState;
    case 1: return static_cast<int>(framesRun);
    case 2: return static_cast<int>(passCount);
    case 3: return static_cast<int>(game.Player.x * 100.0f);
    case 4: return static_cast<int>(game.Player.y * 100.0f);
    case 5: return game.score;
    case 6: return static_cast<int>(fpsValue);
    case 7: return running;
    case 8: return static_cast<int>(frameMicroseconds);
    case 9: return soundEnabled;
    case 10: return static_cast<int>(WatchState().stepped);
    case 11: return WatchState().speed;
    case 12: return WatchState().paused ? 1 : 0;
    case 13: return WatchState().finished ? 1 : 0;
    case 14: return game.slowMotion;
    case 15: return game.randomMode;
    case 16: return game.Player.power;
    case 17: return static_cast<int>(passesTimed);
    default: return -1;
  }
}

int main() {
  // A page opened for a replay run (see web_replay.cpp) starts no game.
  if (EM_ASM_INT({ return Module.replayOnly ? 1 : 0; })) return 0;
  // A page watching a recording starts once it has it (QrWatch).
  if (EM_ASM_INT({ return Module.watchUrl !== null && Module.watchUrl !== undefined ? 1 : 0; })) return 0;
  AskStartQuestion("FULL SCREEN ?", "disp mode");
  return 0;
}
