// The browser driver's window (platform/drivers/driver.h): the page's 800 x 600 canvas
// (scaled to the page by its style, the aspect kept), one window at a time, and the
// browser's mouse, keyboard and visibility events handed to user32. The mouse is the
// page's pointer lock, which the browser grants only inside a click. The driver is the
// browser build's display; the replay run inside the page chooses headless as on the
// desktop.
#include <emscripten.h>
#include <emscripten/html5.h>
#include <cmath>
#include "platform/drivers/driver.h"
#include "platform/drivers/web/web_driver.h"
#include "platform/drivers/web/web_page.h"
#include "platform/kernel32/unsupported.h"
#include "platform/user32/input.h"
#include "platform/user32/input_internal.h"
#include "platform/user32/window_messages.h"

namespace {

// The canvas as a window: whether the game shows or minimised it.
struct CanvasWindow {
  bool shown;
  bool minimised;
};

CanvasWindow canvasWindow;
bool canvasTaken;
bool eventsHooked;
bool pageHidden;
// Motion of an unlocked pointer, in canvas pixels, kept with its fraction so that a
// slow drag over a scaled canvas still adds up.
double pendingX, pendingY;
double lastTargetX, lastTargetY;
bool haveLastTarget;

// The window the canvas shows, if any.
NativeWindow *Canvas() { return canvasTaken ? reinterpret_cast<NativeWindow *>(&canvasWindow) : nullptr; }

// The browser's key codes are the Windows virtual-key codes for every key the game
// and the stand-in know (letters, digits, Enter, Escape, the arrows, F1 to F24...).
int VirtualKeyOf(const EmscriptenKeyboardEvent &event) {
  unsigned long code = event.keyCode ? event.keyCode : event.which;
  return code > 0 && code < 256 ? int(code) : 0;
}

// Asks for the pointer inside the click that wants it (browsers grant it only there).
// The motion the hand wants is the mouse's own, before the desktop's acceleration: the
// lock asks for that where the browser offers it (its request then returns a promise),
// and takes the plain lock when the browser refuses (no such option on this system) or
// throws. The refusal comes soon enough after the click that the plain request still
// counts as inside it.
// clang-format off
EM_JS(void, WebRequestPointerLockJs, (), {
  var canvas = document.querySelector('#canvas');
  if (!canvas || !canvas.requestPointerLock) return;
  var plain = function() {
    try {
      var again = canvas.requestPointerLock();
      if (again && again.catch) again.catch(function() {});
    } catch (e) {
    }
  };
  var asked;
  try {
    asked = canvas.requestPointerLock({unadjustedMovement: true});
  } catch (e) {
    plain();
    return;
  }
  if (asked && asked.catch) asked.catch(function() {
    if (document.pointerLockElement !== canvas) plain();
  });
});
// clang-format on

bool PointerLocked() {
  EmscriptenPointerlockChangeEvent status;
  return emscripten_get_pointerlock_status(&status) == EMSCRIPTEN_RESULT_SUCCESS && status.isActive;
}

// Picture pixels per CSS pixel: the picture has 800 x 600 pixels however large the page
// shows the canvas, and however many pixels the canvas has.
void CanvasScale(double *sx, double *sy) {
  double cssWidth = 0, cssHeight = 0;
  *sx = *sy = 1.0;
  if (emscripten_get_element_css_size(QR_CANVAS, &cssWidth, &cssHeight) != EMSCRIPTEN_RESULT_SUCCESS) return;
  if (cssWidth > 0) *sx = FullScreenWidth / cssWidth;
  if (cssHeight > 0) *sy = FullScreenHeight / cssHeight;
}

// Whatever the pointer did before now is not the hand's motion.
void ForgetMotion() {
  haveLastTarget = false;
  pendingX = pendingY = 0;
}

EM_BOOL OnMouseMove(int, const EmscriptenMouseEvent *event, void *) {
  if (!Canvas()) return EM_FALSE;
  if (PointerLocked()) {
    // Locked, the pointer has no place: its motion is the hand's, one to one.
    DriverMouseMotion(Canvas(), int(event->movementX), int(event->movementY));
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
    if (dx || dy) DriverMouseMotion(Canvas(), dx, dy);
  }
  lastTargetX = event->targetX;
  lastTargetY = event->targetY;
  haveLastTarget = true;
  return EM_TRUE;
}

EM_BOOL OnMouseButton(int type, const EmscriptenMouseEvent *event, void *) {
  if (!Canvas()) return EM_FALSE;
  const bool down = type == EMSCRIPTEN_EVENT_MOUSEDOWN;
  int key = 0;
  switch (event->button) {
    case 0: key = VK_LBUTTON; break;
    case 1: key = VK_MBUTTON; break;
    case 2: key = VK_RBUTTON; break;
    default: return EM_FALSE;
  }
  // The hand follows the mouse only while the page holds the pointer; a click asks for
  // it (browsers grant it only inside a click).
  if (down && !PointerLocked()) WebRequestPointerLockJs();
  DriverButtonEvent(Canvas(), key, down, int(event->targetX), int(event->targetY));
  return EM_TRUE;
}

EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent *event, void *) {
  if (!Canvas()) return EM_FALSE;
  const int key = VirtualKeyOf(*event);
  if (key == 0) return EM_FALSE;
  DriverKeyEvent(Canvas(), key, type == EMSCRIPTEN_EVENT_KEYDOWN, event->repeat);
  // The game's own keys do nothing else on the page (Enter would follow a focused link).
  return key == VK_ESCAPE || key == VK_RETURN ? EM_TRUE : EM_FALSE;
}

// A hidden page is a window that lost the focus; shown again, it has it back.
EM_BOOL OnVisibility(int, const EmscriptenVisibilityChangeEvent *event, void *) {
  pageHidden = event->hidden;
  if (!Canvas()) return EM_FALSE;
  if (event->hidden) {
    ForgetMotion();
    DriverFocusLost(Canvas());
  } else {
    DriverFocusGained(Canvas());
  }
  return EM_FALSE;
}

// Keys released while the page is away never reach it.
EM_BOOL OnBlur(int, const EmscriptenFocusEvent *, void *) {
  InputReleaseAll();
  ForgetMotion();
  return EM_FALSE;
}

EM_BOOL OnPointerLock(int, const EmscriptenPointerlockChangeEvent *, void *) {
  // Whatever the pointer did while the lock changed hands is not the hand's motion.
  ForgetMotion();
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

class WebDriver final : public Driver {
public:
  bool StartVideo() override { return true; }

  NativeWindow *CreateWindow(const NativeWindowRequest &request) override {
    // The page has one canvas: one window shows in it at a time.
    if (canvasTaken) {
      QR_UNSUPPORTED_ONCE("CreateWindowExA: the page shows one window at a time");
      return nullptr;
    }
    canvasTaken = true;
    canvasWindow = CanvasWindow{};
    // Whatever the game asks for, the picture is 800 x 600; the page gives the canvas as
    // many pixels as the screen has under it (its fitCanvas), and the devices scale the
    // picture into them. A page without that keeps the picture's size and lets the
    // browser scale it.
    emscripten_set_canvas_element_size(QR_CANVAS, FullScreenWidth, FullScreenHeight);
    EM_ASM({ if (Module.fitCanvas) Module.fitCanvas(); });
    if (request.titleUtf8[0]) emscripten_set_window_title(request.titleUtf8);
    HookEvents();
    return Canvas();
  }

  void DestroyWindow(NativeWindow *) override {
    if (PointerLocked()) emscripten_exit_pointerlock();
    canvasTaken = false;
  }

  void ShowWindow(NativeWindow *, NativeShow show, bool) override {
    canvasWindow.shown = show != NativeShow::Hidden;
    canvasWindow.minimised = show == NativeShow::Minimised;
  }

  void WindowSize(NativeWindow *, int *width, int *height) override {
    *width = FullScreenWidth;
    *height = FullScreenHeight;
  }

  bool HasFocus(NativeWindow *) override { return canvasWindow.shown && !canvasWindow.minimised && !pageHidden; }

  // The page is an 800 x 600 desktop, whatever the screen behind it.
  bool Desktop(DesktopMode *mode) override {
    *mode = DesktopMode{FullScreenWidth, FullScreenHeight, 60, 32};
    return true;
  }

  // Browser events arrive through their callbacks between two frames, and the browser's
  // frame callback is the only loop: nothing to pump, and nothing may block (the entries
  // PumpEvents and WaitEvents do nothing).

  // The lock is the browser's to grant, inside a click (OnMouseButton); it can only be
  // let go here.
  void GrabMouse(bool grab) override {
    if (!grab && PointerLocked()) emscripten_exit_pointerlock();
  }

  void ShowCursor(bool show) override { WebShowCursor(show); }

  int ShowMessageBox(const MessageBoxRequest &box) override { return WebShowMessageBox(box); }
  WindowSurface *CreateWindowSurface(HWND window) override { return CreateCanvasSurface(window); }
  GlSurface *CreateGlSurface(HWND window) override { return CreateWebGlSurface(window); }
};

WebDriver webDriver;

// Every file of this folder goes into the page's program, so the canvas is its display
// before main starts.
[[maybe_unused]] const bool registered = (RegisterDisplayDriver(&webDriver), true);

}  // namespace
