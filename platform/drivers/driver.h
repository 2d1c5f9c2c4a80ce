// What a display system does for the Win32 stand-in. user32 (windows and their messages,
// focus, message boxes) and winmm (the clock) are written once over this interface; each
// driver implements it: the SDL desktop (drivers/sdl), the page (drivers/web) and headless
// (drivers/headless), which tests and the replay runner choose at run time. A driver
// only does what the display system must: messages, window procedures and the meaning
// of window handles are user32's, and what happens goes to the few entry points at the
// end.
#pragma once
#include "base/win32_types.h"

// A driver's own window (an SDL window, the page's canvas, a headless stand-in); user32
// only keeps it and hands it back. Never defined: each driver casts its own to it.
struct NativeWindow;
// What the devices present through (platform/raster/window_surface.h and
// platform/raster/gl/gl_surface.h); a driver makes them for its own windows.
struct WindowSurface;
struct GlSurface;

// The window CreateWindowExA asks for, in screen pixels.
struct NativeWindowRequest {
  const char *titleUtf8;  // never null
  bool placed;            // at (x, y); otherwise wherever the display system likes
  int x, y;
  int width, height;      // the client area (a scaled window's is already scaled)
  bool framed;            // a caption and a frame
  bool fullScreen;        // covers the desktop, borderless, at the desktop's resolution
  bool resizable;         // the person may resize and maximise it (a sizing frame)
};

enum class NativeShow { Hidden, Normal, Minimised, Maximised };

// How the hand follows the mouse (the --mouse option). Relative: the display system's own
// motion of a pointer it keeps in the window (raw motion). Warp: the same, the pointer put
// back in the window's centre after each move, for X servers without raw motion. Absolute:
// the pointer is only kept inside the window and the hand follows its positions, for
// remote desktops, VNC and virtual machines, which ignore warps. Auto leaves the choice to
// the driver.
enum class MouseMode { Auto, Relative, Warp, Absolute };

struct DesktopMode {
  int width, height;
  int refreshRate;
  int bitsPerPixel;
};

// A message box as the driver shows it: the texts already in UTF-8, the buttons in
// order, Enter picking the one marked `enter` and Escape (or closing the box) the one
// marked `escape`.
enum class MessageBoxIcon { Information, Warning, Error };
struct MessageBoxButton {
  int answer;  // IDOK, IDYES...
  const char *label;
  bool enter, escape;
};
struct MessageBoxRequest {
  NativeWindow *owner;  // null when the owner is no window of this driver
  const char *captionUtf8;
  const char *textUtf8;
  MessageBoxIcon icon;
  int buttonCount;
  MessageBoxButton buttons[3];
};

// Each driver is one object of this interface. The entries with a body may be left
// alone by a driver that has nothing to do there.
class Driver {
public:
  virtual ~Driver() = default;

  // Brings up the display system (again a no-op once it is up); false, said once on
  // stderr, when there is none to bring up.
  virtual bool StartVideo() = 0;
  // A new window, hidden; null (said on stderr) when the display system refuses it.
  virtual NativeWindow *CreateWindow(const NativeWindowRequest &request) = 0;
  // The window is gone for the game: it no longer shows, holds the mouse or reports
  // events. It stays valid for FreeWindow (a device may still point at it) until the
  // record's slot is reused.
  virtual void DestroyWindow(NativeWindow *window) = 0;
  virtual void FreeWindow(NativeWindow *) {}
  // Hides, shows or minimises; `activate` also gives it the keyboard, as a newly shown
  // window of the active program gets it.
  virtual void ShowWindow(NativeWindow *window, NativeShow show, bool activate) = 0;
  // The client area now, in screen pixels.
  virtual void WindowSize(NativeWindow *window, int *width, int *height) = 0;
  // Makes a window cover the display it is on, borderless at the desktop's own mode, or
  // brings it back to a framed window of width x height (screen pixels) there.
  virtual void SetFullScreen(NativeWindow *, bool, int, int) {}
  // Whether the window has the input focus and is neither hidden nor minimised.
  virtual bool HasFocus(NativeWindow *window) = 0;
  // The desktop's mode; false when it cannot be known.
  virtual bool Desktop(DesktopMode *mode) = 0;
  // The width and height of the desktop a window may cover (the screen less its panels
  // and docks), in screen pixels; false where there is no such limit or it is unknown.
  virtual bool UsableArea(int *, int *) { return false; }

  // Hands every pending event to the entry points below (nothing to do for a driver
  // whose events arrive by callback).
  virtual void PumpEvents() {}
  // WaitMessage with nothing queued: blocks until an event may have come (at most about
  // a tenth of a second, so a change that brings no event cannot freeze the game), or
  // returns at once where nothing may block.
  virtual void WaitEvents() {}
  // The relative mouse: the pointer kept in the focused window and only its motion
  // reported (whatever motion taking it makes is thrown away); or let go.
  virtual void GrabMouse(bool) {}
  // How the next grab reads the mouse. In the absolute mode the driver hands positions to
  // DriverMousePosition while it holds the mouse, instead of motion.
  virtual void SetMouseMode(MouseMode) {}
  virtual void ShowCursor(bool) {}

  // Shows the box and waits for a button: the answer of the button, or 0 when the box
  // could not be shown or cannot wait (user32 then asks it itself where the next entry
  // allows, and otherwise answers as if it was closed).
  virtual int ShowMessageBox(const MessageBoxRequest &box) = 0;
  // Whether user32 may ask a box this driver could not show in a window of its own
  // (platform/user32/question_box.h), drawn through the window's surface and waited for
  // in a message loop of its own: not where nothing may block (the page) nor where
  // nothing is shown (headless, which answers its boxes itself).
  virtual bool AllowsOwnMessageBox() { return false; }

  // The millisecond clock and the sleep, where they are not the host's: without a clock
  // of its own, winmm keeps its own over the monotonic clock. Headless has a virtual
  // clock that only its waits move.
  virtual bool OwnClock() { return false; }
  virtual DWORD ClockMilliseconds() { return 0; }
  virtual void ClockSleep(DWORD) {}

  // Presenting belongs to the driver: the reference device shows its pictures through
  // a window surface, the hardware device draws through a GL surface (its context).
  // Null where the driver has none for the window (headless has neither), said on
  // stderr by the driver where that is a failure.
  virtual WindowSurface *CreateWindowSurface(HWND) { return nullptr; }
  virtual GlSurface *CreateGlSurface(HWND) { return nullptr; }
};

// ---- Which driver runs -----------------------------------------------------------
// The display driver is registered by the program's platform library before main: the
// SDL driver in the desktop's programs, the page's in the browser. A program with none
// gets a driver that has no display. UseDriver switches every later window, event and
// clock reading to another (headless) until it is called with null.
void RegisterDisplayDriver(Driver *driver);
void UseDriver(Driver *driver);
Driver &CurrentDriver();

// ---- What user32 does for drivers ------------------------------------------------
// The driver's native window behind a live window handle made by that driver; null
// for anything else.
NativeWindow *NativeWindowOf(HWND window, const Driver &driver);
// The driver that made a live window; null for anything else.
Driver *DriverOf(HWND window);

// The entry points a driver hands its events to. `window` is the driver's own window,
// or null when the event belongs to none of them (the key and button state is still
// kept). Points and motion are in the window's screen pixels; user32 turns them into
// the game's own (window_scale.h).
void DriverKeyEvent(NativeWindow *window, int virtualKey, bool down, bool repeat);
void DriverButtonEvent(NativeWindow *window, int virtualKey, bool down, int x, int y);  // VK_LBUTTON...
void DriverMouseMotion(NativeWindow *window, int dx, int dy);
// Where the pointer is over the window (the absolute mouse): user32 holds it to the window
// and hands on its motion since the last position. The first position after the pointer
// came back (DriverMouseLeft) or the window changed focus only sets where it starts.
void DriverMousePosition(NativeWindow *window, int x, int y);
void DriverMouseLeft(NativeWindow *window);
void DriverFocusGained(NativeWindow *window);
void DriverFocusLost(NativeWindow *window);
void DriverCloseAsked(NativeWindow *window);
// The window's picture was spoiled (uncovered, shown): the device presents every frame,
// so nothing needs doing yet.
void DriverNeedsRepaint(NativeWindow *window);
