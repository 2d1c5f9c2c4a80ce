// What a display system does for the Win32 stand-in. user32 (windows and their messages,
// focus, message boxes) and winmm (the clock) are written once over this table; each
// driver fills it: the SDL desktop (drivers/sdl), the page (drivers/web) and headless
// (drivers/headless), which tests and the replay runner choose at run time. A driver
// only does what the display system must: it never sees a window handle, a message or a
// window procedure, and hands what happens to the few entry points at the end.
#pragma once
#include "base/win32_types.h"

// A driver's own window (an SDL window, the page's canvas, a headless stand-in); user32
// only keeps it and hands it back.
struct NativeWindow;

// The window CreateWindowExA asks for, in screen pixels.
struct NativeWindowRequest {
  const char *titleUtf8;  // never null
  bool placed;            // at (x, y); otherwise wherever the display system likes
  int x, y;
  int width, height;      // the client area (a scaled window's is already scaled)
  bool framed;            // a caption and a frame
  bool fullScreen;        // covers the desktop, borderless, at the desktop's resolution
};

enum class NativeShow { Hidden, Normal, Minimised };

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

struct Driver {
  const char *name;

  // Brings up the display system (again a no-op once it is up); false, said once on
  // stderr, when there is none to bring up.
  bool (*StartVideo)();
  // A new window, hidden; null (said on stderr) when the display system refuses it.
  NativeWindow *(*CreateWindow)(const NativeWindowRequest &request);
  // The window is gone for the game: it no longer shows, holds the mouse or reports
  // events. It stays valid for FreeWindow (a device may still point at it) until the
  // record's slot is reused.
  void (*DestroyWindow)(NativeWindow *window);
  void (*FreeWindow)(NativeWindow *window);
  // Hides, shows or minimises; `activate` also gives it the keyboard, as a newly shown
  // window of the active program gets it.
  void (*ShowWindow)(NativeWindow *window, NativeShow show, bool activate);
  // The client area now, in screen pixels.
  void (*WindowSize)(NativeWindow *window, int *width, int *height);
  // Whether the window has the input focus and is neither hidden nor minimised.
  bool (*HasFocus)(NativeWindow *window);
  // Hands every pending event to the entry points below (a driver whose events arrive
  // by callback has nothing to do).
  void (*PumpEvents)();
  // WaitMessage with nothing queued: blocks until an event may have come (at most about
  // a tenth of a second, so a change that brings no event cannot freeze the game), or
  // returns at once where nothing may block.
  void (*WaitEvents)();
  // The relative mouse: the pointer kept in the focused window and only its motion
  // reported (whatever motion taking it makes is thrown away); or let go.
  void (*GrabMouse)(bool grab);
  void (*ShowCursor)(bool show);
  // The desktop's mode; false when it cannot be known.
  bool (*DesktopMode)(DesktopMode *mode);
  // Shows the box and waits for a button: the answer of the button, or 0 when the box
  // could not be shown or cannot wait (user32 then answers as if it was closed).
  int (*ShowMessageBox)(const MessageBoxRequest &box);
  // The millisecond clock and the sleep, where they are not the host's (null: winmm's
  // own over the monotonic clock). Headless has a virtual clock only its waits move.
  DWORD (*ClockMilliseconds)();
  void (*ClockSleep)(DWORD milliseconds);
};

// ---- Which driver runs -----------------------------------------------------------
// The display driver is registered by the program's platform library before main: the
// SDL driver in the desktop's programs, the page's in the browser. A program with none
// gets a driver that has no display. UseDriver switches every later window, event and
// clock reading to another (headless) until it is called with null.
void RegisterDisplayDriver(const Driver *driver);
void UseDriver(const Driver *driver);
const Driver &CurrentDriver();

// ---- What user32 does for drivers ------------------------------------------------
// The driver's native window behind a live window handle made by that driver; null
// for anything else.
NativeWindow *NativeWindowOf(HWND window, const Driver &driver);

// The entry points a driver hands its events to. `window` is the driver's own window,
// or null when the event belongs to none of them (the key and button state is still
// kept). Points and motion are in the window's screen pixels; user32 turns them into
// the game's own (window_scale.h).
void DriverKeyEvent(NativeWindow *window, int virtualKey, bool down, bool repeat);
void DriverButtonEvent(NativeWindow *window, int virtualKey, bool down, int x, int y);  // VK_LBUTTON...
void DriverMouseMotion(NativeWindow *window, int dx, int dy);
void DriverFocusGained(NativeWindow *window);
void DriverFocusLost(NativeWindow *window);
void DriverCloseAsked(NativeWindow *window);
// The window's picture was spoiled (uncovered, shown): the device presents every frame,
// so nothing needs doing yet.
void DriverNeedsRepaint(NativeWindow *window);
