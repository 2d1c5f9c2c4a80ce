// The headless driver: the state that stands in for the display, the clock and the user
// while tests and the replay runner drive the real game code, and the driver itself
// (platform/drivers/driver.h), which user32 and winmm run on once it is chosen.
#include "platform/drivers/headless/headless.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include "platform/drivers/driver.h"
#include "platform/user32/input_internal.h"
#include "platform/user32/message_box.h"
#include "platform/user32/window_internal.h"
#include "platform/user32/window_messages.h"
#include "platform/winmm/timer_internal.h"

namespace {

// A headless window is only what the game may ask of it: its size and whether it was
// minimised.
struct HeadlessWindow {
  int width, height;
  bool minimised;
  bool destroyed;
};

HeadlessWindow *Of(NativeWindow *window) { return reinterpret_cast<HeadlessWindow *>(window); }
NativeWindow *NativeOf(HeadlessWindow *window) { return reinterpret_cast<NativeWindow *>(window); }

DWORD virtualClock;
// The simulated display: its refresh rate as the desktop's mode reports it (0: none
// reported), and how late, at most, a sleep wakes (a busy system's scheduler).
int displayRefreshRate = 60;
int wakeJitterMs;
uint32_t jitterSeed = 1;
void (*clockHook)(DWORD now);
DWORD WakeJitter() {
  if (wakeJitterMs <= 0) return 0;
  jitterSeed = jitterSeed * 1103515245u + 12345u;
  return static_cast<DWORD>((jitterSeed >> 16) % static_cast<uint32_t>(wakeJitterMs + 1));
}
bool foreground = true;
int messageBoxAnswer = IDNO;
std::string lastMessageBoxText;
std::string lastMessageBoxCaption;
int messageBoxCount;
void (*waitHook)();
std::vector<HeadlessWindow *> windowsMade;  // and not yet freed

class HeadlessDriver final : public Driver {
public:
  bool StartVideo() override { return true; }

  NativeWindow *CreateWindow(const NativeWindowRequest &request) override {
    windowsMade.push_back(new HeadlessWindow{request.width, request.height, false, false});
    return NativeOf(windowsMade.back());
  }

  void DestroyWindow(NativeWindow *window) override { Of(window)->destroyed = true; }

  void FreeWindow(NativeWindow *window) override {
    windowsMade.erase(std::remove(windowsMade.begin(), windowsMade.end(), Of(window)), windowsMade.end());
    delete Of(window);
  }

  void ShowWindow(NativeWindow *window, NativeShow show, bool) override {
    Of(window)->minimised = show == NativeShow::Minimised;
  }

  void WindowSize(NativeWindow *window, int *width, int *height) override {
    *width = Of(window)->width;
    *height = Of(window)->height;
  }

  // In the foreground, shown or not, unless minimised.
  bool HasFocus(NativeWindow *window) override {
    return foreground && !Of(window)->minimised && !Of(window)->destroyed;
  }

  bool Desktop(DesktopMode *mode) override {
    *mode = DesktopMode{FullScreenWidth, FullScreenHeight, displayRefreshRate, 32};
    return true;
  }

  // Only the caller's hook may change what the game waits for.
  void WaitEvents() override {
    if (waitHook) waitHook();
  }

  int ShowMessageBox(const MessageBoxRequest &box) override {
    lastMessageBoxText = box.textUtf8;
    lastMessageBoxCaption = box.captionUtf8;
    messageBoxCount += 1;
    return messageBoxAnswer;
  }

  bool OwnClock() override { return true; }
  DWORD ClockMilliseconds() override { return virtualClock; }
  // Sleep(0), a yield, moves on to the next millisecond, which is all a caller that
  // yields while waiting for the clock can be waiting for.
  void ClockSleep(DWORD milliseconds) override {
    virtualClock += (milliseconds == 0 ? 1 : milliseconds) + WakeJitter();
    if (clockHook != nullptr) clockHook(virtualClock);
  }

  // Nothing is shown, so there is no GL context: the reference device draws instead.
  GlSurface *CreateGlSurface(HWND) override {
    static bool said = false;
    if (!said) std::fprintf(stderr, "d3d8: hardware device unavailable: the window is headless\n");
    said = true;
    return nullptr;
  }
};

HeadlessDriver headlessDriver;

}  // namespace

void HeadlessEnable() { UseDriver(&headlessDriver); }

bool HeadlessIsEnabled() { return &CurrentDriver() == &headlessDriver; }

bool IsHeadlessWindow(HWND window) { return NativeWindowOf(window, headlessDriver) != nullptr; }

void HeadlessReset() {
  ResetWindows();
  InputReset();
  ResetTimerPeriods();
  virtualClock = 0;
  displayRefreshRate = 60;
  wakeJitterMs = 0;
  jitterSeed = 1;
  clockHook = nullptr;
  foreground = true;
  messageBoxAnswer = IDNO;
  lastMessageBoxText.clear();
  lastMessageBoxCaption.clear();
  messageBoxCount = 0;
  waitHook = nullptr;
}

void HeadlessSetDisplay(int refreshRate, int wakeJitter, uint32_t seed) {
  displayRefreshRate = refreshRate < 0 ? 0 : refreshRate;
  wakeJitterMs = wakeJitter < 0 ? 0 : wakeJitter;
  jitterSeed = seed;
}

void HeadlessSetClockHook(void (*hook)(DWORD now)) { clockHook = hook; }

void HeadlessSetKey(int virtualKey, bool held) { InputSetKey(virtualKey, held); }

void HeadlessReleaseAllKeys() { InputReleaseAll(); }

void HeadlessMoveMouse(int dx, int dy) { InputMouseMotion(dx, dy); }

void HeadlessSetTime(DWORD milliseconds) { virtualClock = milliseconds; }

DWORD HeadlessTime() { return virtualClock; }

void HeadlessSetForeground(bool inForeground) {
  if (foreground == inForeground) return;
  foreground = inForeground;
  // A copy: the window procedure may make or free windows meanwhile.
  const std::vector<HeadlessWindow *> windows = windowsMade;
  for (HeadlessWindow *window : windows) {
    const bool stillMade = std::find(windowsMade.begin(), windowsMade.end(), window) != windowsMade.end();
    if (!stillMade || window->destroyed) continue;
    if (inForeground)
      DriverFocusGained(NativeOf(window));
    else
      DriverFocusLost(NativeOf(window));
  }
}

void HeadlessCloseWindow(HWND window) { DriverCloseAsked(NativeWindowOf(window, headlessDriver)); }

void HeadlessSetWaitHook(void (*hook)()) { waitHook = hook; }

void HeadlessSetMessageBoxAnswer(int answer) { messageBoxAnswer = answer; }

const char *HeadlessLastMessageBoxText() { return lastMessageBoxText.c_str(); }

const char *HeadlessLastMessageBoxCaption() { return lastMessageBoxCaption.c_str(); }

int HeadlessMessageBoxCount() { return messageBoxCount; }

int HeadlessTimerPeriodCount() { return TimerPeriodCount(); }

int HeadlessCursorCount() { return InputCursorCount(); }
