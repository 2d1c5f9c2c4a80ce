// The message loop's side of user32: what a driver's events become (key and button
// state, mouse motion in the game's own pixels, posted key, button and close messages,
// sent focus messages) and the calls that hand messages out (PeekMessageA, WaitMessage,
// TranslateMessage, DispatchMessageA, DefWindowProcA), the same whichever driver runs.
#include <cstdint>
#include "base/picture_fit.h"
#include "platform/kernel32/signals.h"
#include "platform/kernel32/unsupported.h"
#include "platform/user32/input.h"
#include "platform/user32/input_internal.h"
#include "platform/user32/window_internal.h"
#include "platform/user32/window_messages.h"
#include "platform/user32/window_record.h"

namespace {

bool grabSuspended;

// Where the window shows the game's picture now, in its screen pixels.
PictureFit PictureOf(WindowRecord *record) {
  int width = 0, height = 0;
  record->driver->WindowSize(record->native, &width, &height);
  return FitPicture(width, height, record->pictureWidth, record->pictureHeight);
}

LPARAM PointParam(int x, int y) {
  return static_cast<LPARAM>((static_cast<uint32_t>(y & 0xFFFF) << 16) | static_cast<uint32_t>(x & 0xFFFF));
}

// A quit signal (SIGINT, SIGTERM, SIGHUP) closes every window once, as the close button
// would: the game's own handling of WM_CLOSE and WM_DESTROY then ends it the usual way.
// A window made after the signal is closed too: the start-up question's own box takes
// the signal as its close answer, and the game's window that follows must still end.
void PostQuitSignalCloses() {
  if (QuitSignal() == 0) return;
  for (WindowRecord &record : WindowRecords()) {
    if (!record.live || record.closedByQuitSignal) continue;
    record.closedByQuitSignal = true;
    PostMessageA(HandleOf(&record), WM_CLOSE, 0, 0);
  }
}

}  // namespace

void DriverKeyEvent(NativeWindow *window, int virtualKey, bool down, bool repeat) {
  if (virtualKey <= 0 || virtualKey > 0xFF) return;
  InputKeyEvent(virtualKey, down);
  WindowRecord *record = RecordOfNative(window);
  if (!record) return;
  // lParam: repeat count 1, bit 29 Alt held, bit 30 the previous state, bit 31 the
  // transition. A key with Alt held is a system key (WM_SYSKEYDOWN), as Alt itself is.
  const bool alt = InputKeyHeld(VK_MENU) || virtualKey == VK_LMENU || virtualKey == VK_RMENU;
  LPARAM lParam = down ? (1 | (repeat ? (1L << 30) : 0)) : static_cast<LPARAM>(0xC0000001u);
  if (alt) lParam |= 1L << 29;
  const UINT message = alt ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
  PostMessageA(HandleOf(record), message, static_cast<WPARAM>(virtualKey), lParam);
}

void DriverButtonEvent(NativeWindow *window, int virtualKey, bool down, int x, int y) {
  UINT message = 0;
  WPARAM wParam = 0;
  switch (virtualKey) {
    case VK_LBUTTON: message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
    case VK_RBUTTON: message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
    case VK_MBUTTON: message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
    case VK_XBUTTON1: message = down ? WM_XBUTTONDOWN : WM_XBUTTONUP; wParam = 1 << 16; break;
    case VK_XBUTTON2: message = down ? WM_XBUTTONDOWN : WM_XBUTTONUP; wParam = 2 << 16; break;
    default: return;
  }
  InputKeyEvent(virtualKey, down);
  WindowRecord *record = RecordOfNative(window);
  if (!record) return;
  // The point in the game's own pixels, counted from the picture's corner.
  const PictureFit fit = PictureOf(record);
  const auto client = [&](int at, int corner) {
    return fit.width > 0 ? static_cast<int>((static_cast<int64_t>(at) - corner) * record->pictureWidth / fit.width) : at;
  };
  PostMessageA(HandleOf(record), message, wParam, PointParam(client(x, fit.x), client(y, fit.y)));
}

namespace {

// Motion in the game's own pixels: the screen's pixels are added up (times the game's
// width, so any scale divides evenly) and handed on in whole pixels of the picture as
// it is shown, so slow motion on a large window is not lost.
void MoveHand(WindowRecord *record, int dx, int dy) {
  const PictureFit fit = record ? PictureOf(record) : PictureFit{};
  if (!record || fit.width <= 0 || fit.width == record->pictureWidth) {
    InputMouseMotion(dx, dy);
    return;
  }
  record->motionLeftX += dx * record->pictureWidth;
  record->motionLeftY += dy * record->pictureWidth;
  const int clientX = record->motionLeftX / fit.width, clientY = record->motionLeftY / fit.width;
  record->motionLeftX -= clientX * fit.width;
  record->motionLeftY -= clientY * fit.width;
  if (clientX != 0 || clientY != 0) InputMouseMotion(clientX, clientY);
}

// The absolute mouse starts again from wherever the pointer is next: what it did while
// the window was away (another window's, outside it, a message box's) is not the hand's.
void ForgetPointer(WindowRecord *record) {
  if (record) record->pointerKnown = false;
}

int HeldTo(int value, int size) { return value < 0 ? 0 : value >= size ? (size > 0 ? size - 1 : 0) : value; }

}  // namespace

void DriverMouseMotion(NativeWindow *window, int dx, int dy) { MoveHand(RecordOfNative(window), dx, dy); }

// The pointer's own motion is the hand's. Held to the picture, a pointer that goes on
// past an edge moves the hand no further, and comes back from that edge.
void DriverMousePosition(NativeWindow *window, int x, int y) {
  WindowRecord *record = RecordOfNative(window);
  if (!record) return;
  // Held to the picture, not the window: the bands beside it are no part of the field.
  const PictureFit fit = PictureOf(record);
  x = fit.x + HeldTo(x - fit.x, fit.width);
  y = fit.y + HeldTo(y - fit.y, fit.height);
  if (record->pointerKnown) MoveHand(record, x - record->pointerX, y - record->pointerY);
  record->pointerKnown = true;
  record->pointerX = x;
  record->pointerY = y;
}

void DriverMouseLeft(NativeWindow *window) { ForgetPointer(RecordOfNative(window)); }

void DriverFocusGained(NativeWindow *window) {
  WindowRecord *record = RecordOfNative(window);
  if (!record) return;
  ForgetPointer(record);
  if (!grabSuspended) record->driver->GrabMouse(true);
  SendToWindow(record, WM_ACTIVATE, WA_ACTIVE, 0);
  SendToWindow(record, WM_SETFOCUS, 0, 0);
}

void DriverFocusLost(NativeWindow *window) {
  WindowRecord *record = RecordOfNative(window);
  if (!record) return;
  // A full-screen device compares this count with the one it saw last to know it was lost.
  record->focusLosses += 1;
  ForgetPointer(record);
  record->driver->GrabMouse(false);
  // Keys released while another window has the focus never reach us.
  InputReleaseAll();
  SendToWindow(record, WM_ACTIVATE, WA_INACTIVE, 0);
  SendToWindow(record, WM_KILLFOCUS, 0, 0);
}

void DriverCloseAsked(NativeWindow *window) {
  if (WindowRecord *record = RecordOfNative(window)) PostMessageA(HandleOf(record), WM_CLOSE, 0, 0);
}

void DriverNeedsRepaint(NativeWindow *window) {
  if (WindowRecord *record = RecordOfNative(window)) MarkForPaint(HandleOf(record));
}

void PumpWindowEvents() { CurrentDriver().PumpEvents(); }

void SuspendMouseGrab() {
  grabSuspended = true;
  CurrentDriver().GrabMouse(false);
}

void ResumeMouseGrab() {
  grabSuspended = false;
  if (WindowRecord *focused = RecordOf(FocusedWindow())) {
    ForgetPointer(focused);
    focused->driver->GrabMouse(true);
  }
}

void ResetMouseGrab() { grabSuspended = false; }

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!window) {
    // Nobody would take it: the game peeks only at its own window's messages.
    QR_UNSUPPORTED_ONCE("PostMessageA: thread messages are not supported");
    return FALSE;
  }
  if (!RecordOf(window)) return FALSE;
  return QueueMessage(window, message, wParam, lParam) ? TRUE : FALSE;
}

BOOL PeekMessageA(MSG *msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (!msg) return FALSE;
  if (removeFlags & ~static_cast<UINT>(PM_REMOVE | PM_NOYIELD))
    QR_UNSUPPORTED_ONCE("PeekMessageA: flags 0x%x are not supported", removeFlags);
  if (window == reinterpret_cast<HWND>(-1)) {
    QR_UNSUPPORTED_ONCE("PeekMessageA: thread messages are not supported");
    return FALSE;
  }
  PumpWindowEvents();
  PostQuitSignalCloses();
  if (TakeQueuedMessage(msg, window, filterMin, filterMax, removeFlags & PM_REMOVE)) return TRUE;
  // A window whose picture is out of date hears of it once nothing else is queued.
  return TakePaintMessage(msg, window, filterMin, filterMax) ? TRUE : FALSE;
}

BOOL WaitMessage() {
  if (QueuedMessageCount() > 0 || AnyPaintPending() || QuitSignal() != 0) return TRUE;
  CurrentDriver().WaitEvents();
  return TRUE;
}

BOOL TranslateMessage(const MSG *msg) {
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  // Shifted by the keys held now, as the thread's key state has them.
  const int character = CharacterOfKey(static_cast<int>(msg->wParam), InputKeyHeld(VK_SHIFT));
  if (!character) return FALSE;
  return PostMessageA(msg->hwnd, WM_CHAR, static_cast<WPARAM>(character), msg->lParam);
}

LRESULT DispatchMessageA(const MSG *msg) {
  if (!msg) return 0;
  WindowRecord *record = RecordOf(msg->hwnd);
  if (!record || !record->procedure) return 0;
  return record->procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
  // The default handling of everything else is to do nothing.
  if (message == WM_CLOSE) DestroyWindow(window);
  // Nothing is painted through GDI: the window counts as painted.
  if (message == WM_PAINT) ValidateRect(window, nullptr);
  return 0;
}
