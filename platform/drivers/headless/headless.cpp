// The headless backend: the state that stands in for the display, the clock and the
// user while tests and the replay runner drive the real game code. The window, input,
// timer and message-box stand-ins consult it when it is enabled.
#include <string>
#include "platform/drivers/headless/headless.h"
#include "platform/user32/input_internal.h"
#include "platform/user32/message_box.h"
#include "platform/user32/window.h"
#include "platform/user32/window_internal.h"

namespace {

bool enabled;
DWORD virtualClock;
bool foreground = true;
int messageBoxAnswer = IDNO;
std::string lastMessageBoxText;
std::string lastMessageBoxCaption;
int messageBoxCount;
void (*waitHook)();

}  // namespace

void HeadlessEnable() { enabled = true; }

bool HeadlessIsEnabled() { return enabled; }

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

void HeadlessAdvanceTime(DWORD milliseconds) { virtualClock += milliseconds; }

void HeadlessSetForeground(bool inForeground) {
  if (foreground && !inForeground) CountHeadlessFocusLoss();
  foreground = inForeground;
}

bool HeadlessForeground() { return foreground; }

void HeadlessCloseWindow(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

void HeadlessSetWaitHook(void (*hook)()) { waitHook = hook; }

void HeadlessRunWaitHook() {
  if (waitHook) waitHook();
}

void HeadlessSetMessageBoxAnswer(int answer) { messageBoxAnswer = answer; }

int HeadlessMessageBoxAnswer() { return messageBoxAnswer; }

void HeadlessRecordMessageBox(const char *utf8Text, const char *utf8Caption) {
  lastMessageBoxText = utf8Text;
  lastMessageBoxCaption = utf8Caption;
  messageBoxCount += 1;
}

const char *HeadlessLastMessageBoxText() { return lastMessageBoxText.c_str(); }

const char *HeadlessLastMessageBoxCaption() { return lastMessageBoxCaption.c_str(); }

int HeadlessMessageBoxCount() { return messageBoxCount; }

int HeadlessCursorCount() { return InputCursorCount(); }
