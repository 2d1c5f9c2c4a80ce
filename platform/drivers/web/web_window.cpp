// Stand-in for the user32/gdi32 calls that make the game's one window and run its
// messages, in the browser: the window is the page's 800 x 600 canvas (scaled to the
// page by its style, the aspect kept), and the browser's mouse and keyboard events
// become Win32 messages, key state and relative mouse motion. The headless backend
// works here as it does on the desktop, for the replay run inside the page.
#include <emscripten.h>
#include <emscripten/html5.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include "platform/drivers/headless/headless.h"
#include "platform/user32/input.h"
#include "platform/user32/input_internal.h"
#include "platform/winmm/timer.h"
#include "platform/kernel32/unsupported.h"
#include "platform/drivers/web/web_page.h"
#include "platform/user32/window_internal.h"
#include "platform/user32/window_messages.h"

namespace {

struct WindowRecord {
  bool live;
  bool headless;
  bool fullScreen;
  bool visible;
  bool minimised;
  WNDPROC procedure;
  unsigned focusLosses;
  int clientWidth;
  int clientHeight;
};

constexpr int WindowSlots = 8;

WindowRecord windows[WindowSlots];
bool eventsHooked;
bool pageHidden;
// Motion of an unlocked pointer, in canvas pixels, kept with its fraction so that a
// slow drag over a scaled canvas still adds up.
double pendingX, pendingY;
double lastTargetX, lastTargetY;
bool haveLastTarget;

HWND HandleOf(WindowRecord *record) { return reinterpret_cast<HWND>(record); }

WindowRecord *RecordOf(HWND window) {
  const auto address = reinterpret_cast<uintptr_t>(window);
  const auto first = reinterpret_cast<uintptr_t>(&windows[0]);
  const auto end = reinterpret_cast<uintptr_t>(&windows[WindowSlots]);
  if (address < first || address >= end || (address - first) % sizeof(WindowRecord) != 0) return nullptr;
  WindowRecord *record = reinterpret_cast<WindowRecord *>(window);
  return record->live ? record : nullptr;
}

// The canvas window: the one live window that is not headless.
WindowRecord *CanvasWindow() {
  for (WindowRecord &record : windows)
    if (record.live && !record.headless) return &record;
  return nullptr;
}

LRESULT Send(WindowRecord *record, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!record->procedure) return 0;
  return record->procedure(HandleOf(record), message, wParam, lParam);
}

LPARAM PointParam(int x, int y) {
  return static_cast<LPARAM>((static_cast<uint32_t>(y & 0xFFFF) << 16) | static_cast<uint32_t>(x & 0xFFFF));
}

// The browser's key codes are the Windows virtual-key codes for every key the game
// and the stand-in know (letters, digits, Enter, Escape, the arrows, F1 to F24...).
int VirtualKeyOf(const EmscriptenKeyboardEvent &event) {
  unsigned long code = event.keyCode ? event.keyCode : event.which;
  return code > 0 && code < 256 ? int(code) : 0;
}

bool PointerLocked() {
  EmscriptenPointerlockChangeEvent status;
  return emscripten_get_pointerlock_status(&status) == EMSCRIPTEN_RESULT_SUCCESS && status.isActive;
}

// Canvas pixels per CSS pixel: the canvas keeps 800 x 600 pixels however large the page
// shows it.
void CanvasScale(double *sx, double *sy) {
  double cssWidth = 0, cssHeight = 0;
  *sx = *sy = 1.0;
  if (emscripten_get_element_css_size(QR_CANVAS, &cssWidth, &cssHeight) != EMSCRIPTEN_RESULT_SUCCESS) return;
  if (cssWidth > 0) *sx = FullScreenWidth / cssWidth;
  if (cssHeight > 0) *sy = FullScreenHeight / cssHeight;
}

void ReleaseEverything() {
  InputReleaseAll();
  haveLastTarget = false;
  pendingX = pendingY = 0;
}

EM_BOOL OnMouseMove(int, const EmscriptenMouseEvent *event, void *) {
  if (!CanvasWindow()) return EM_FALSE;
  if (PointerLocked()) {
    // Locked, the pointer has no place: its motion is the hand's, one to one.
    InputMouseMotion(int(event->movementX), int(event->movementY));
    haveLastTarget = false;
    return EM_TRUE;
  }
  // Not locked (before the first click, or where the browser refuses the lock): the
  // pointer's own moves over the canvas, in canvas pixels.
  if (haveLastTarget) {
    double sx, sy;
    CanvasScale(&sx, &sy);
    pendingX += (event->targetX - lastTargetX) * sx;
    pendingY += (event->targetY - lastTargetY) * sy;
    const int dx = int(std::trunc(pendingX)), dy = int(std::trunc(pendingY));
    pendingX -= dx;
    pendingY -= dy;
    if (dx || dy) InputMouseMotion(dx, dy);
  }
  lastTargetX = event->targetX;
  lastTargetY = event->targetY;
  haveLastTarget = true;
  return EM_TRUE;
}

EM_BOOL OnMouseButton(int type, const EmscriptenMouseEvent *event, void *) {
  WindowRecord *record = CanvasWindow();
  if (!record) return EM_FALSE;
  const bool down = type == EMSCRIPTEN_EVENT_MOUSEDOWN;
  int key = 0;
  UINT message = 0;
  switch (event->button) {
    case 0: key = VK_LBUTTON; message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
    case 1: key = VK_MBUTTON; message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
    case 2: key = VK_RBUTTON; message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
    default: return EM_FALSE;
  }
  // The hand follows the mouse only while the page holds the pointer; a click asks for
  // it (browsers grant it only inside a click).
  if (down && !PointerLocked()) emscripten_request_pointerlock(QR_CANVAS, EM_TRUE);
  InputKeyEvent(key, down);
  PostMessageA(HandleOf(record), message, 0, PointParam(int(event->targetX), int(event->targetY)));
  return EM_TRUE;
}

EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent *event, void *) {
  WindowRecord *record = CanvasWindow();
  if (!record) return EM_FALSE;
  const int key = VirtualKeyOf(*event);
  if (key == 0) return EM_FALSE;
  const bool down = type == EMSCRIPTEN_EVENT_KEYDOWN;
  InputKeyEvent(key, down);
  const LPARAM lParam = down ? (1 | (event->repeat ? (1L << 30) : 0)) : static_cast<LPARAM>(0xC0000001u);
  PostMessageA(HandleOf(record), down ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(key), lParam);
  // The game's own keys do nothing else on the page (Enter would follow a focused link).
  return key == VK_ESCAPE || key == VK_RETURN ? EM_TRUE : EM_FALSE;
}

void LoseFocus(WindowRecord *record) {
  record->focusLosses += 1;
  // Keys released while the page is away never reach it.
  ReleaseEverything();
  Send(record, WM_ACTIVATE, WA_INACTIVE, 0);
  Send(record, WM_KILLFOCUS, 0, 0);
}

EM_BOOL OnVisibility(int, const EmscriptenVisibilityChangeEvent *event, void *) {
  WindowRecord *record = CanvasWindow();
  pageHidden = event->hidden;
  if (!record) return EM_FALSE;
  if (event->hidden) {
    LoseFocus(record);
  } else {
    Send(record, WM_ACTIVATE, WA_ACTIVE, 0);
    Send(record, WM_SETFOCUS, 0, 0);
  }
  return EM_FALSE;
}

EM_BOOL OnBlur(int, const EmscriptenFocusEvent *, void *) {
  ReleaseEverything();
  return EM_FALSE;
}

EM_BOOL OnPointerLock(int, const EmscriptenPointerlockChangeEvent *, void *) {
  // Whatever the pointer did while the lock changed hands is not the hand's motion.
  haveLastTarget = false;
  pendingX = pendingY = 0;
  return EM_FALSE;
}

void HookEvents() {
  if (eventsHooked) return;
  eventsHooked = true;
  emscripten_set_mousemove_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, OnMouseMove);
  emscripten_set_mousedown_callback(QR_CANVAS, nullptr, EM_TRUE, OnMouseButton);
  emscripten_set_mouseup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, OnMouseButton);
  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, OnKey);
  emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, OnKey);
  emscripten_set_visibilitychange_callback(nullptr, EM_TRUE, OnVisibility);
  emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, OnBlur);
  emscripten_set_pointerlockchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, OnPointerLock);
  pageHidden = !WebPageVisible();
}

}  // namespace

bool EnsureVideo() { return true; }

SDL_Window *SdlWindowOf(HWND) { return nullptr; }

bool IsHeadlessWindow(HWND window) {
  WindowRecord *record = RecordOf(window);
  return record && record->headless;
}

unsigned int WindowFocusLossCount(HWND window) {
  WindowRecord *record = RecordOf(window);
  return record ? record->focusLosses : 0;
}

bool IsFullScreenWindow(HWND window) {
  WindowRecord *record = RecordOf(window);
  return record && record->fullScreen;
}

HWND FocusedWindow() {
  for (WindowRecord &record : windows) {
    if (!record.live || !record.visible || record.minimised) continue;
    if (record.headless ? HeadlessForeground() : !pageHidden) return HandleOf(&record);
  }
  return nullptr;
}

// Browser events arrive through their callbacks between two frames: nothing to pump.
void PumpWindowEvents() {}

void SuspendMouseGrab() {
  if (PointerLocked()) emscripten_exit_pointerlock();
}

void ResumeMouseGrab() {}

void CountHeadlessFocusLoss() {
  for (WindowRecord &record : windows)
    if (record.live && record.headless) record.focusLosses += 1;
}

void ResetWindows() {
  for (WindowRecord &record : windows) record = WindowRecord{};
  ForgetWindowClasses();
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  WindowClass *windowClass = className ? ClassNamed(className) : nullptr;
  if (!windowClass) return nullptr;
  const ClientArea area = ClientAreaOf(style, x, y, width, height);
  const bool fullScreen = area.fullScreen;
  int clientWidth = area.width, clientHeight = area.height;
  const bool headless = HeadlessIsEnabled();
  if (!headless) {
    // The page has one canvas: one window shows in it at a time.
    if (CanvasWindow()) {
      QR_UNSUPPORTED_ONCE("CreateWindowExA: the page shows one window at a time");
      return nullptr;
    }
    // Whatever the game asks for, the canvas keeps its 800 x 600 pixels; the page
    // scales it.
    clientWidth = FullScreenWidth;
    clientHeight = FullScreenHeight;
    emscripten_set_canvas_element_size(QR_CANVAS, clientWidth, clientHeight);
    if (windowName) emscripten_set_window_title(Cp932ToUtf8(windowName).c_str());
    HookEvents();
  }
  int slot = 0;
  while (slot < WindowSlots && windows[slot].live) slot++;
  if (slot == WindowSlots) return nullptr;
  WindowRecord &record = windows[slot];
  record = WindowRecord{};
  record.headless = headless;
  record.fullScreen = fullScreen;
  record.procedure = windowClass->procedure;
  record.clientWidth = clientWidth;
  record.clientHeight = clientHeight;
  record.live = true;

  HWND window = HandleOf(&record);
  CREATESTRUCTA create = {param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                          windowName, className, exStyle};
  if (Send(&record, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(window);
    return nullptr;
  }
  if (style & WS_VISIBLE) ShowWindow(window, SW_SHOW);
  return window;
}

BOOL ShowWindow(HWND window, int showCommand) {
  WindowRecord *record = RecordOf(window);
  if (!record) return FALSE;
  const bool wasVisible = record->visible;
  record->visible = showCommand != SW_HIDE;
  record->minimised =
      showCommand == SW_SHOWMINIMIZED || showCommand == SW_MINIMIZE || showCommand == SW_SHOWMINNOACTIVE;
  // A window coming into view needs its picture; a minimised or hidden one shows none.
  if (record->visible && !record->minimised)
    MarkForPaint(window);
  else
    ValidateRect(window, nullptr);
  return wasVisible ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND window) {
  WindowRecord *record = RecordOf(window);
  if (!record) return FALSE;
  Send(record, WM_DESTROY, 0, 0);
  record->live = false;
  ForgetQueuedMessages(window);
  if (!record->headless && PointerLocked()) emscripten_exit_pointerlock();
  return TRUE;
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: return FullScreenWidth;
    case SM_CYSCREEN: return FullScreenHeight;
    case SM_CYCAPTION: return CaptionHeight;
    case SM_CXFIXEDFRAME:
    case SM_CYFIXEDFRAME: return FixedFrame;
    default:
      QR_UNSUPPORTED_ONCE("GetSystemMetrics: index %d is not supported", index);
      return 0;
  }
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!window || !RecordOf(window)) return FALSE;
  return QueueMessage(window, message, wParam, lParam) ? TRUE : FALSE;
}

BOOL PeekMessageA(MSG *msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (!msg || window == reinterpret_cast<HWND>(-1)) return FALSE;
  if (TakeQueuedMessage(msg, window, filterMin, filterMax, removeFlags & PM_REMOVE)) return TRUE;
  return TakePaintMessage(msg, window, filterMin, filterMax) ? TRUE : FALSE;
}

// The browser's frame callback is the only loop: nothing ever blocks waiting here.
BOOL WaitMessage() {
  if (QueuedMessageCount() == 0 && !AnyPaintPending() && HeadlessIsEnabled()) HeadlessRunWaitHook();
  return TRUE;
}

BOOL TranslateMessage(const MSG *msg) {
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  const int character = CharacterOfKey(static_cast<int>(msg->wParam), false);
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
  if (message == WM_CLOSE) DestroyWindow(window);
  // Nothing is painted through GDI: the window counts as painted.
  if (message == WM_PAINT) ValidateRect(window, nullptr);
  return 0;
}

BOOL IsWindow(HWND window) { return RecordOf(window) ? TRUE : FALSE; }

BOOL GetClientRect(HWND window, LPRECT rect) {
  WindowRecord *record = RecordOf(window);
  if (!record || !rect) return FALSE;
  *rect = RECT{0, 0, record->clientWidth, record->clientHeight};
  return TRUE;
}
