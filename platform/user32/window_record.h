// The record user32 keeps for each window (window.cpp), shared by the calls that make
// windows and those that run their messages (window_events.cpp). A window handle is the
// address of its record.
#pragma once
#include <span>
#include "platform/drivers/driver.h"
#include "platform/user32/window.h"

struct WindowRecord {
  bool live;
  bool fullScreen;
  bool visible;           // as ShowWindow last left it
  Driver *driver;         // the driver that made the native window
  NativeWindow *native;   // kept after DestroyWindow until the slot is reused
  WNDPROC procedure;
  unsigned focusLosses;
  bool closedByQuitSignal;  // the quit signal's WM_CLOSE has been posted to it
  bool resizable;         // a sizing frame: the person may resize and maximise it
  int scale;              // screen pixels per client pixel it was opened at
  int pictureWidth;       // the client area the game asked for: what it draws, scaled
  int pictureHeight;      // to fit the window whatever size the window is now
  int windowedWidth;      // the size to come back to from full screen, in screen pixels
  int windowedHeight;
  int motionLeftX;        // motion of less than one client pixel (times the picture's
  int motionLeftY;        // width on the screen), kept for the next event
  bool pointerKnown;      // the absolute mouse: where the pointer was last, held to the window
  int pointerX, pointerY;
};

inline HWND HandleOf(WindowRecord *record) { return reinterpret_cast<HWND>(record); }

// The live window behind a handle, or null for anything else.
WindowRecord *RecordOf(HWND window);
// The live window a driver's native window belongs to, or null.
WindowRecord *RecordOfNative(NativeWindow *native);
// Every slot, live or not, in order.
std::span<WindowRecord> WindowRecords();

// A message the window procedure gets at once (sent), not through the queue.
LRESULT SendToWindow(WindowRecord *record, UINT message, WPARAM wParam, LPARAM lParam);
