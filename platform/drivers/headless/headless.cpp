// The headless driver: the state that stands in for the display, the clock and the user
// while tests and the replay runner drive the real game code, and its entries in the
// driver table (platform/drivers/driver.h), which user32 and winmm run on once it is
// chosen.
#include "platform/drivers/headless/headless.h"

#include <algorithm>
#include <string>
#include <vector>
#include "platform/drivers/driver.h"
#include "platform/user32/input_internal.h"
#include "platform/user32/message_box.h"
#include "platform/user32/window_internal.h"
#include "platform/user32/window_messages.h"
#include "platform/winmm/timer_internal.h"

// A headless window is only what the game may ask of it: its size and whether it was
// minimised.
struct NativeWindow {
  int width, height;
  bool minimised;
  bool destroyed;
};

namespace {

DWORD virtualClock;
bool foreground = true;
int messageBoxAnswer = IDNO;
std::string lastMessageBoxText;
std::string lastMessageBoxCaption;
int messageBoxCount;
void (*waitHook)();
std::vector<NativeWindow *> nativeWindows;  // made and not yet freed

bool StartVideo() { return true; }

NativeWindow *CreateNative(const NativeWindowRequest &request) {
  nativeWindows.push_back(new NativeWindow{request.width, request.height, false, false});
  return nativeWindows.back();
}

void DestroyNative(NativeWindow *window) { window->destroyed = true; }

void FreeNative(NativeWindow *window) {
  nativeWindows.erase(std::remove(nativeWindows.begin(), nativeWindows.end(), window), nativeWindows.end());
  delete window;
}

void ShowNative(NativeWindow *window, NativeShow show, bool) { window->minimised = show == NativeShow::Minimised; }

void NativeSize(NativeWindow *window, int *width, int *height) {
  *width = window->width;
  *height = window->height;
}

bool NativeHasFocus(NativeWindow *window) { return foreground && !window->minimised && !window->destroyed; }

void PumpEvents() {}

void WaitEvents() {
  if (waitHook) waitHook();
}

void GrabMouse(bool) {}

void ShowPointer(bool) {}

bool GetDesktopMode(DesktopMode *mode) {
  *mode = DesktopMode{FullScreenWidth, FullScreenHeight, 60, 32};
  return true;
}

int ShowMessageBox(const MessageBoxRequest &box) {
  lastMessageBoxText = box.textUtf8;
  lastMessageBoxCaption = box.captionUtf8;
  messageBoxCount += 1;
  return messageBoxAnswer;
}

DWORD ClockMilliseconds() { return virtualClock; }

// Sleep(0), a yield, moves on to the next millisecond, which is all a caller that yields
// while waiting for the clock can be waiting for.
void ClockSleep(DWORD milliseconds) { virtualClock += milliseconds == 0 ? 1 : milliseconds; }

const Driver headlessDriver = {
    .name = "headless",
    .StartVideo = StartVideo,
    .CreateWindow = CreateNative,
    .DestroyWindow = DestroyNative,
    .FreeWindow = FreeNative,
    .ShowWindow = ShowNative,
    .WindowSize = NativeSize,
    .HasFocus = NativeHasFocus,
    .PumpEvents = PumpEvents,
    .WaitEvents = WaitEvents,
    .GrabMouse = GrabMouse,
    .ShowCursor = ShowPointer,
    .DesktopMode = GetDesktopMode,
    .ShowMessageBox = ShowMessageBox,
    .ClockMilliseconds = ClockMilliseconds,
    .ClockSleep = ClockSleep,
};

}  // namespace

void HeadlessEnable() { UseDriver(&headlessDriver); }

bool HeadlessIsEnabled() { return &CurrentDriver() == &headlessDriver; }

bool IsHeadlessWindow(HWND window) { return NativeWindowOf(window, headlessDriver) != nullptr; }

void HeadlessReset() {
  ResetWindows();
  InputReset();
  ResetTimerPeriods();
  virtualClock = 0;
  foreground = true;
  messageBoxAnswer = IDNO;
  lastMessageBoxText.clear();
  lastMessageBoxCaption.clear();
  messageBoxCount = 0;
  waitHook = nullptr;
}

void HeadlessSetKey(int virtualKey, bool held) { InputSetKey(virtualKey, held); }

void HeadlessReleaseAllKeys() { InputReleaseAll(); }

void HeadlessMoveMouse(int dx, int dy) { InputMouseMotion(dx, dy); }

void HeadlessSetTime(DWORD milliseconds) { virtualClock = milliseconds; }

DWORD HeadlessTime() { return virtualClock; }

void HeadlessSetForeground(bool inForeground) {
  if (foreground == inForeground) return;
  foreground = inForeground;
  // A copy: the window procedure may make or free windows meanwhile.
  const std::vector<NativeWindow *> windows = nativeWindows;
  for (NativeWindow *window : windows) {
    const bool stillMade = std::find(nativeWindows.begin(), nativeWindows.end(), window) != nativeWindows.end();
    if (!stillMade || window->destroyed) continue;
    if (inForeground)
      DriverFocusGained(window);
    else
      DriverFocusLost(window);
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
