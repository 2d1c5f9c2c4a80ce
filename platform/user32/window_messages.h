// What every window has, whichever driver shows it: the window classes, the stock
// handles, the message queue with the windows waiting for their WM_PAINT, the
// characters of key presses and the client area a window's style and size give. Not
// part of the Win32 surface the game sees.
#pragma once
#include "platform/user32/window.h"

// The frame of a fixed-size captioned window, as a classic Windows theme draws it.
inline constexpr int FixedFrame = 3;
inline constexpr int CaptionHeight = 19;
// A full-screen game asks for a captioned window of exactly the picture's size at (0, 0).
inline constexpr int FullScreenWidth = 800;
inline constexpr int FullScreenHeight = 600;

struct WindowClass {
  bool used;
  char name[64];
  WNDPROC procedure;
};

// The registered class of that name (or, on the desktop, that atom); null if none.
WindowClass *ClassNamed(LPCSTR name);
void ForgetWindowClasses();

// The client area CreateWindowExA makes of a style and outer size (CW_USEDEFAULT taken
// as 640 x 480 of client area), and whether it asks for the full screen.
struct ClientArea {
  bool fullScreen;
  int width, height;
};
ClientArea ClientAreaOf(DWORD style, int x, int y, int &width, int &height);

// The thread's message queue. Key and mouse messages leave a few entries free for
// WM_CLOSE and the like; when it is full the newest message is dropped (false).
bool QueueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The first queued message for the window (any window when null) within the filter.
bool TakeQueuedMessage(MSG *msg, HWND window, UINT filterMin, UINT filterMax, bool remove);
// Forgets the window's queued messages and its pending WM_PAINT.
void ForgetQueuedMessages(HWND window);
int QueuedMessageCount();

// The windows whose picture is out of date. InvalidateRect and ValidateRect (shared)
// set and clear it for a live window (IsWindow, each backend's own); a backend marks
// a window itself when it is shown or the display uncovers it.
void MarkForPaint(HWND window);
bool NeedsPaint(HWND window);
// A WM_PAINT, left pending, for the first window (of `window`, or any when null) that
// needs one, when the filter lets WM_PAINT through: PeekMessageA's answer once nothing
// is queued.
bool TakePaintMessage(MSG *msg, HWND window, UINT filterMin, UINT filterMax);
bool AnyPaintPending();

// The WM_CHAR a WM_KEYDOWN of the virtual key makes (0 for none): letters, digits,
// Enter, Escape, Backspace, Tab and Space.
int CharacterOfKey(int key, bool shift);
