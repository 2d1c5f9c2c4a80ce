// The window classes, stock handles, message queue with the pending paints and key
// characters of every window, whichever driver shows it (window_messages.h).
#include "platform/user32/window_messages.h"

#include <strings.h>

#include <cctype>
#include <cstdint>
#include <cstring>

#include "platform/user32/input.h"
#include "platform/user32/input_internal.h"
#include "platform/winmm/timer.h"
#include "platform/kernel32/unsupported.h"

namespace {

constexpr int ClassSlots = 8;
constexpr int QueueSize = 128;
constexpr int QueueReserve = 8;
constexpr int PaintSlots = 8;  // as many as there can be windows

WindowClass classes[ClassSlots];
MSG queue[QueueSize];
int queueCount;
// The windows whose picture is out of date; null slots are free.
HWND paintPending[PaintSlots];

bool IsInputMessage(UINT message) {
  return (message >= WM_KEYDOWN && message <= WM_CHAR) || (message >= WM_MOUSEMOVE && message <= WM_XBUTTONUP);
}

// A class may be named by its atom, a number below 0x10000 in the name's place. In
// WebAssembly the program's own strings lie at such low addresses, so there classes
// are found by name only.
#ifdef __EMSCRIPTEN__
constexpr bool AtomsAsNames = false;
#else
constexpr bool AtomsAsNames = true;
#endif

bool IsAtom(LPCSTR name) { return AtomsAsNames && reinterpret_cast<uintptr_t>(name) < 0x10000; }

}  // namespace

WindowClass *ClassNamed(LPCSTR name) {
  const auto atom = reinterpret_cast<uintptr_t>(name);
  for (int slot = 0; slot < ClassSlots; slot++) {
    if (!classes[slot].used) continue;
    if (IsAtom(name) ? atom == 0xC000u + slot : strcasecmp(classes[slot].name, name) == 0) return &classes[slot];
  }
  return nullptr;
}

void ForgetWindowClasses() {
  for (WindowClass &windowClass : classes) windowClass = WindowClass{};
  queueCount = 0;
  for (HWND &pending : paintPending) pending = nullptr;
}

ATOM RegisterClassExA(const WNDCLASSEXA *windowClass) {
  // 48 is the structure's size in the 32-bit layout the game was written against.
  if (!windowClass || (windowClass->cbSize != sizeof(WNDCLASSEXA) && windowClass->cbSize != 48)) return 0;
  if (!windowClass->lpfnWndProc || !windowClass->lpszClassName) return 0;
  if (IsAtom(windowClass->lpszClassName)) {
    QR_UNSUPPORTED_ONCE("RegisterClassExA: a class named by an atom is not supported");
    return 0;
  }
  if (std::strlen(windowClass->lpszClassName) >= sizeof(WindowClass::name)) {
    QR_UNSUPPORTED_ONCE("RegisterClassExA: class names of 64 characters or more are not supported");
    return 0;
  }
  if (ClassNamed(windowClass->lpszClassName)) return 0;  // already registered
  if (windowClass->style & ~(CS_VREDRAW | CS_HREDRAW | CS_OWNDC))
    QR_UNSUPPORTED_ONCE("RegisterClassExA: class style 0x%x is not supported", windowClass->style);
  if (windowClass->cbClsExtra || windowClass->cbWndExtra)
    QR_UNSUPPORTED_ONCE("RegisterClassExA: extra class or window bytes are not supported");
  for (int slot = 0; slot < ClassSlots; slot++) {
    if (classes[slot].used) continue;
    classes[slot].used = true;
    std::strcpy(classes[slot].name, windowClass->lpszClassName);
    classes[slot].procedure = windowClass->lpfnWndProc;
    return static_cast<ATOM>(0xC000 + slot);
  }
  QR_UNSUPPORTED_ONCE("RegisterClassExA: more than %d window classes are not supported", ClassSlots);
  return 0;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  if (!className || IsAtom(className)) return FALSE;
  WindowClass *windowClass = ClassNamed(className);
  if (!windowClass) return FALSE;
  *windowClass = WindowClass{};
  return TRUE;
}

ClientArea ClientAreaOf(DWORD style, int x, int y, int &width, int &height) {
  const bool framed = (style & WS_CAPTION) == WS_CAPTION;
  ClientArea area;
  area.fullScreen = framed && x == 0 && y == 0 && width == FullScreenWidth && height == FullScreenHeight;
  if (width == CW_USEDEFAULT) width = 640 + (framed ? 2 * FixedFrame : 0);
  if (height == CW_USEDEFAULT) height = 480 + (framed ? 2 * FixedFrame + CaptionHeight : 0);
  area.width = framed ? width - 2 * FixedFrame : width;
  area.height = framed ? height - 2 * FixedFrame - CaptionHeight : height;
  if (area.fullScreen) {
    area.width = FullScreenWidth;
    area.height = FullScreenHeight;
  }
  if (area.width < 1) area.width = 1;
  if (area.height < 1) area.height = 1;
  return area;
}

HGDIOBJ GetStockObject(int object) {
  // Stock objects are handles only: nothing is painted with them.
  static char stockObjects[DC_PEN + 1];
  if (object < 0 || object > DC_PEN || object == 9) {
    QR_UNSUPPORTED_ONCE("GetStockObject: object %d is not supported", object);
    return nullptr;
  }
  return &stockObjects[object];
}

namespace {

// A system icon or cursor (a MAKEINTRESOURCE id from 32512 on) as a handle only: one
// slot of `table` per id. Anything else is said once for each table.
template <size_t N>
HICON SystemHandle(char (&table)[N], HINSTANCE instance, LPCSTR name, const char *complaint) {
  const auto id = reinterpret_cast<uintptr_t>(name);
  if (instance || id < 32512 || id >= 32512 + N) {
    QR_UNSUPPORTED_ONCE("%s", complaint);
    return nullptr;
  }
  return reinterpret_cast<HICON>(&table[id - 32512]);
}

}  // namespace

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  // The system icons (32512 to 32518): the window shows no icon of ours.
  static char systemIcons[7];
  return SystemHandle(systemIcons, instance, name, "LoadIconA: only the system icons are supported");
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  // The system cursors (32512 to 32651): the game hides the cursor.
  static char systemCursors[140];
  return SystemHandle(systemCursors, instance, name, "LoadCursorA: only the system cursors are supported");
}

bool QueueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const int room = IsInputMessage(message) ? QueueSize - QueueReserve : QueueSize;
  if (queueCount >= room) return false;  // a flood of input: the newest is dropped
  queue[queueCount++] = MSG{window, message, wParam, lParam, timeGetTime(), InputCursor()};
  return true;
}

bool TakeQueuedMessage(MSG *msg, HWND window, UINT filterMin, UINT filterMax, bool remove) {
  for (int i = 0; i < queueCount; i++) {
    const MSG &queued = queue[i];
    if (window && queued.hwnd != window) continue;
    if ((filterMin || filterMax) && (queued.message < filterMin || queued.message > filterMax)) continue;
    *msg = queued;
    if (remove) {
      for (int j = i + 1; j < queueCount; j++) queue[j - 1] = queue[j];
      queueCount -= 1;
    }
    return true;
  }
  return false;
}

void ForgetQueuedMessages(HWND window) {
  int kept = 0;
  for (int i = 0; i < queueCount; i++)
    if (queue[i].hwnd != window) queue[kept++] = queue[i];
  queueCount = kept;
  for (HWND &pending : paintPending)
    if (pending == window) pending = nullptr;
}

int QueuedMessageCount() { return queueCount; }

void MarkForPaint(HWND window) {
  if (!window || NeedsPaint(window)) return;
  for (HWND &pending : paintPending) {
    if (!pending) {
      pending = window;
      return;
    }
  }
}

bool NeedsPaint(HWND window) {
  for (HWND pending : paintPending)
    if (window && pending == window) return true;
  return false;
}

bool AnyPaintPending() {
  for (HWND pending : paintPending)
    if (pending) return true;
  return false;
}

bool TakePaintMessage(MSG *msg, HWND window, UINT filterMin, UINT filterMax) {
  if ((filterMin || filterMax) && (WM_PAINT < filterMin || WM_PAINT > filterMax)) return false;
  for (HWND pending : paintPending) {
    if (!pending || (window && pending != window)) continue;
    *msg = MSG{pending, WM_PAINT, 0, 0, timeGetTime(), InputCursor()};
    return true;
  }
  return false;
}

BOOL InvalidateRect(HWND window, LPCRECT, BOOL) {
  if (!IsWindow(window)) return FALSE;
  MarkForPaint(window);
  return TRUE;
}

BOOL ValidateRect(HWND window, LPCRECT) {
  if (!IsWindow(window)) return FALSE;
  for (HWND &pending : paintPending)
    if (pending == window) pending = nullptr;
  return TRUE;
}

BOOL UpdateWindow(HWND window) {
  if (!IsWindow(window)) return FALSE;
  if (NeedsPaint(window)) {
    // Sent, not queued: the window procedure paints before UpdateWindow returns.
    const MSG paint = {window, WM_PAINT, 0, 0, timeGetTime(), InputCursor()};
    DispatchMessageA(&paint);
  }
  return TRUE;
}

int CharacterOfKey(int key, bool shift) {
  if (key >= 'A' && key <= 'Z') return shift ? key : std::tolower(key);
  if (key >= '0' && key <= '9') return key;
  if (key == VK_RETURN) return '\r';
  if (key == VK_ESCAPE || key == VK_BACK || key == VK_TAB || key == VK_SPACE) return key;
  return 0;
}
