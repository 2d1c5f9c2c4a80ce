// Stand-in for the user32 calls that make the game's windows, show them and report their
// client areas, over whichever driver runs (driver.h): the SDL desktop, the page or
// headless. The window procedure sees WM_CREATE from CreateWindowExA and WM_DESTROY from
// DestroyWindow, as on Windows. The client area is the outer size the game asks for less
// the frame and caption that GetSystemMetrics reports; a scaled window (window_scale.h)
// is that client area times the scale on the screen, the scale lowered where the window
// would not fit the desktop.
#include <cstdint>
#include <cstdio>
#include <string>
#include "base/picture_fit.h"
#include "platform/kernel32/unsupported.h"
#include "platform/user32/window_internal.h"
#include "platform/user32/window_messages.h"
#include "platform/user32/window_record.h"
#include "platform/user32/mouse_mode.h"
#include "platform/user32/window_scale.h"

namespace {

constexpr int WindowSlots = 8;

WindowRecord windows[WindowSlots];
int windowScale = 1;
int openWidth, openHeight;  // a resizable window's size at opening; 0 for the scaled size
MouseMode mouseMode = MouseMode::Auto;

// Lets the driver forget a native window whose record is being reused or forgotten.
void FreeNative(WindowRecord &record) {
  if (record.native) record.driver->FreeWindow(record.native);
  record.native = nullptr;
}

// The asked scale, or the largest below it at which the window and the frame counted
// around it fit the part of the desktop a window may cover: a window larger than the
// screen shows only part of the picture, and where the mouse is put back in the
// window's centre that centre may lie where the pointer cannot go. Lowering is said on
// stderr once.
int ScaleThatFits(Driver &driver, int asked, int clientWidth, int clientHeight, int frameWidth, int frameHeight) {
  int usableWidth = 0, usableHeight = 0;
  if (asked <= 1 || !driver.UsableArea(&usableWidth, &usableHeight)) return asked;
  int scale = asked;
  while (scale > 1 &&
         (clientWidth * scale + frameWidth > usableWidth || clientHeight * scale + frameHeight > usableHeight))
    scale--;
  static bool said = false;
  if (scale < asked && !said) {
    said = true;
    std::fprintf(stderr,
                 "quillrun: the window at scale %d (%d x %d with its frame) does not fit the desktop's %d x %d; "
                 "scale %d instead\n",
                 asked, clientWidth * asked + frameWidth, clientHeight * asked + frameHeight, usableWidth,
                 usableHeight, scale);
  }
  return scale;
}

// The remembered opening size, held to the desktop a window may cover (less its frame)
// and to at least a quarter of the picture, so a window left tiny can still be grabbed.
void OpenSizeThatFits(Driver &driver, int pictureWidth, int pictureHeight, int frameWidth, int frameHeight,
                      int *width, int *height) {
  *width = openWidth;
  *height = openHeight;
  int usableWidth = 0, usableHeight = 0;
  if (driver.UsableArea(&usableWidth, &usableHeight)) {
    if (*width > usableWidth - frameWidth) *width = usableWidth - frameWidth;
    if (*height > usableHeight - frameHeight) *height = usableHeight - frameHeight;
  }
  if (*width < pictureWidth / 4) *width = pictureWidth / 4;
  if (*height < pictureHeight / 4) *height = pictureHeight / 4;
}

}  // namespace

std::span<WindowRecord> WindowRecords() { return windows; }

WindowRecord *RecordOf(HWND window) {
  const auto address = reinterpret_cast<uintptr_t>(window);
  const auto first = reinterpret_cast<uintptr_t>(&windows[0]);
  const auto end = reinterpret_cast<uintptr_t>(&windows[WindowSlots]);
  if (address < first || address >= end || (address - first) % sizeof(WindowRecord) != 0) return nullptr;
  WindowRecord *record = reinterpret_cast<WindowRecord *>(window);
  return record->live ? record : nullptr;
}

WindowRecord *RecordOfNative(NativeWindow *native) {
  if (!native) return nullptr;
  for (WindowRecord &record : windows)
    if (record.live && record.native == native) return &record;
  return nullptr;
}

NativeWindow *NativeWindowOf(HWND window, const Driver &driver) {
  WindowRecord *record = RecordOf(window);
  return record && record->driver == &driver ? record->native : nullptr;
}

Driver *DriverOf(HWND window) {
  WindowRecord *record = RecordOf(window);
  return record ? record->driver : nullptr;
}

LRESULT SendToWindow(WindowRecord *record, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!record->procedure) return 0;
  return record->procedure(HandleOf(record), message, wParam, lParam);
}

void SetWindowScale(int scale) { windowScale = scale < 1 ? 1 : scale > 4 ? 4 : scale; }

int WindowScale() { return windowScale; }

void SetWindowOpenSize(int width, int height) {
  const bool given = width > 0 && height > 0;
  openWidth = given ? width : 0;
  openHeight = given ? height : 0;
}

bool WindowedSize(HWND window, int *width, int *height) {
  WindowRecord *record = RecordOf(window);
  if (!record || !width || !height) return false;
  if (record->fullScreen) {
    *width = record->windowedWidth;
    *height = record->windowedHeight;
  } else {
    record->driver->WindowSize(record->native, width, height);
  }
  return true;
}

void SetWindowFullScreen(HWND window, bool fullScreen) {
  WindowRecord *record = RecordOf(window);
  if (!record || record->fullScreen == fullScreen) return;
  if (fullScreen) record->driver->WindowSize(record->native, &record->windowedWidth, &record->windowedHeight);
  record->fullScreen = fullScreen;
  // Motion left over belongs to the old size's pixels; the absolute mouse starts afresh.
  record->motionLeftX = record->motionLeftY = 0;
  record->pointerKnown = false;
  record->driver->SetFullScreen(record->native, fullScreen, record->windowedWidth, record->windowedHeight);
}

void SetMouseMode(MouseMode mode) { mouseMode = mode; }

MouseMode CurrentMouseMode() { return mouseMode; }

bool MouseModeNamed(const char *name, MouseMode *mode) {
  static const struct {
    const char *name;
    MouseMode mode;
  } names[] = {{"auto", MouseMode::Auto},
               {"relative", MouseMode::Relative},
               {"warp", MouseMode::Warp},
               {"absolute", MouseMode::Absolute}};
  if (!name) return false;
  for (const auto &known : names) {
    if (std::string(name) != known.name) continue;
    *mode = known.mode;
    return true;
  }
  return false;
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
  for (WindowRecord &record : windows)
    if (record.live && record.driver->HasFocus(record.native)) return HandleOf(&record);
  return nullptr;
}

void FreeDestroyedWindow(HWND window) {
  for (WindowRecord &record : windows)
    if (HandleOf(&record) == window && !record.live) FreeNative(record);
}

void ResetWindows() {
  for (WindowRecord &record : windows) {
    if (record.live) record.driver->DestroyWindow(record.native);
    FreeNative(record);
    record = WindowRecord{};
  }
  ForgetWindowClasses();
  ResetMouseGrab();
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  if (exStyle) QR_UNSUPPORTED_ONCE("CreateWindowExA: extended style 0x%x is not supported", exStyle);
  if (parent || menu) QR_UNSUPPORTED_ONCE("CreateWindowExA: child windows and menus are not supported");
  const DWORD known = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_POPUP | WS_VISIBLE;
  if (style & ~known) QR_UNSUPPORTED_ONCE("CreateWindowExA: window style 0x%x is not supported", style & ~known);
  WindowClass *windowClass = className ? ClassNamed(className) : nullptr;
  if (!windowClass) return nullptr;
  const ClientArea area = ClientAreaOf(style, x, y, width, height);

  int slot = 0;
  while (slot < WindowSlots && windows[slot].live) slot++;
  if (slot == WindowSlots) {
    QR_UNSUPPORTED_ONCE("CreateWindowExA: more than %d windows are not supported", WindowSlots);
    return nullptr;
  }
  WindowRecord &record = windows[slot];
  FreeNative(record);
  record = WindowRecord{};
  record.driver = &CurrentDriver();
  record.fullScreen = area.fullScreen;
  record.procedure = windowClass->procedure;
  if (!record.driver->StartVideo()) return nullptr;
  record.resizable = (style & WS_THICKFRAME) != 0;
  record.pictureWidth = area.width;
  record.pictureHeight = area.height;
  // The size it opens at, or comes back to from full screen: a remembered size for a
  // resizable window, otherwise the client area times the scale that fits.
  const int frameWidth = width - area.width, frameHeight = height - area.height;
  if (record.resizable && openWidth > 0) {
    record.scale = 1;
    OpenSizeThatFits(*record.driver, area.width, area.height, frameWidth, frameHeight, &record.windowedWidth,
                     &record.windowedHeight);
  } else {
    record.scale = ScaleThatFits(*record.driver, windowScale, area.width, area.height, frameWidth, frameHeight);
    record.windowedWidth = area.width * record.scale;
    record.windowedHeight = area.height * record.scale;
  }
  record.driver->SetMouseMode(mouseMode);
  const std::string title = Cp932ToUtf8(windowName);
  const NativeWindowRequest request = {title.c_str(),
                                       x != CW_USEDEFAULT,
                                       x,
                                       y,
                                       area.fullScreen ? area.width : record.windowedWidth,
                                       area.fullScreen ? area.height : record.windowedHeight,
                                       (style & WS_CAPTION) == WS_CAPTION,
                                       area.fullScreen,
                                       record.resizable};
  record.native = record.driver->CreateWindow(request);
  if (!record.native) return nullptr;
  record.live = true;

  HWND window = HandleOf(&record);
  CREATESTRUCTA create = {param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                          windowName, className, exStyle};
  if (SendToWindow(&record, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
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
  NativeShow show = NativeShow::Normal;
  bool activate = true;
  switch (showCommand) {
    case SW_HIDE: show = NativeShow::Hidden; activate = false; break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE: show = NativeShow::Minimised; activate = false; break;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA: activate = false; break;
    case SW_SHOWNORMAL:
    case SW_SHOW:
    case SW_RESTORE:
    case SW_SHOWDEFAULT: break;
    case SW_SHOWMAXIMIZED:
      if (record->resizable && !record->fullScreen)
        show = NativeShow::Maximised;
      else
        QR_UNSUPPORTED_ONCE("ShowWindow: a fixed-size window cannot be maximised; shown as it is");
      break;
    default:
      QR_UNSUPPORTED_ONCE("ShowWindow: show command %d is not supported; shown as it is", showCommand);
      break;
  }
  record->visible = show != NativeShow::Hidden;
  // A window coming into view needs its picture; a minimised or hidden one shows none.
  // That matters where the display shows (and focuses) a window only once something
  // has been presented in it.
  if (show == NativeShow::Normal || show == NativeShow::Maximised)
    MarkForPaint(window);
  else
    ValidateRect(window, nullptr);
  record->driver->ShowWindow(record->native, show, activate);
  return wasVisible ? TRUE : FALSE;
}

BOOL IsWindow(HWND window) { return RecordOf(window) ? TRUE : FALSE; }

BOOL DestroyWindow(HWND window) {
  WindowRecord *record = RecordOf(window);
  if (!record) return FALSE;
  SendToWindow(record, WM_DESTROY, 0, 0);
  record->live = false;
  ForgetQueuedMessages(window);
  record->driver->DestroyWindow(record->native);
  return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
  WindowRecord *record = RecordOf(window);
  if (!record || !rect) return FALSE;
  int width = 0, height = 0;
  record->driver->WindowSize(record->native, &width, &height);
  // In the game's own pixels: the window's size at the scale its picture is shown at.
  const PictureFit fit = FitPicture(width, height, record->pictureWidth, record->pictureHeight);
  if (fit.width <= 0) {
    *rect = RECT{0, 0, 0, 0};
    return TRUE;
  }
  *rect = RECT{0, 0, static_cast<LONG>(static_cast<int64_t>(width) * record->pictureWidth / fit.width),
               static_cast<LONG>(static_cast<int64_t>(height) * record->pictureWidth / fit.width)};
  return TRUE;
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
      Driver &driver = CurrentDriver();
      DesktopMode mode;
      if (!driver.StartVideo() || !driver.Desktop(&mode)) return 0;
      return index == SM_CXSCREEN ? mode.width : mode.height;
    }
    case SM_CYCAPTION: return CaptionHeight;
    case SM_CXFIXEDFRAME:
    case SM_CYFIXEDFRAME:
    case SM_CXSIZEFRAME:
    case SM_CYSIZEFRAME: return FixedFrame;
    default:
      QR_UNSUPPORTED_ONCE("GetSystemMetrics: index %d is not supported", index);
      return 0;
  }
}
