// Stand-in for the user32/gdi32 calls that make the game's one window and run its
// messages, over SDL2 video (or over no display at all with the headless backend).
// SDL events become Win32 messages in a small queue that PeekMessageA hands out; the
// window procedure sees WM_CLOSE through DispatchMessageA and WM_DESTROY from
// DestroyWindow, as on Windows. A window that is shown or uncovered (SDL's expose)
// needs its picture: it gets WM_PAINT from UpdateWindow, or from PeekMessageA once
// nothing else is queued, until it is validated. That matters where the display shows
// (and focuses) a window only once something has been presented in it. The window's client area is the outer size the game asks
// for less the frame and caption that GetSystemMetrics reports; a scaled window
// (window_scale.h) is that client area times the scale on the screen.
#include <SDL.h>
#include <cstdint>
#include <cstring>
#include "platform/drivers/headless/headless.h"
#include "platform/user32/input.h"
#include "platform/user32/input_internal.h"
#include "platform/kernel32/signals.h"
#include "platform/winmm/timer.h"
#include "platform/kernel32/unsupported.h"
#include "platform/user32/window_internal.h"
#include "platform/user32/window_messages.h"
#include "platform/user32/window_scale.h"

namespace {

struct WindowRecord {
  bool live;
  bool headless;
  bool fullScreen;
  bool visible;     // headless only; SDL keeps its own flags
  bool minimised;   // headless only
  WNDPROC procedure;
  SDL_Window *sdl;  // kept, hidden, after DestroyWindow until the slot is reused
  Uint32 sdlId;
  unsigned focusLosses;
  int clientWidth;
  int clientHeight;
  int scale;           // screen pixels per client pixel
  int motionLeftX;     // motion of less than one client pixel, kept for the next event
  int motionLeftY;
};

constexpr int WindowSlots = 8;

WindowRecord windows[WindowSlots];
bool videoReady;
bool videoFailed;
bool grabSuspended;
int windowScale = 1;

HWND HandleOf(WindowRecord *record) { return reinterpret_cast<HWND>(record); }

// The live window behind a handle, or null for anything else.
WindowRecord *RecordOf(HWND window) {
  const auto address = reinterpret_cast<uintptr_t>(window);
  const auto first = reinterpret_cast<uintptr_t>(&windows[0]);
  const auto end = reinterpret_cast<uintptr_t>(&windows[WindowSlots]);
  if (address < first || address >= end || (address - first) % sizeof(WindowRecord) != 0) return nullptr;
  WindowRecord *record = reinterpret_cast<WindowRecord *>(window);
  return record->live ? record : nullptr;
}

// A quit signal (SIGINT, SIGTERM, SIGHUP) closes every window once, as the close button
// would: the game's own handling of WM_CLOSE and WM_DESTROY then ends it the usual way.
void PostQuitSignalCloses() {
  static bool posted = false;
  if (posted || QuitSignal() == 0) return;
  posted = true;
  for (WindowRecord &record : windows)
    if (record.live) PostMessageA(HandleOf(&record), WM_CLOSE, 0, 0);
}

WindowRecord *RecordOfSdlId(Uint32 id) {
  for (WindowRecord &record : windows)
    if (record.live && !record.headless && record.sdlId == id) return &record;
  return nullptr;
}

// Messages a window procedure gets at once (sent), not through the queue.
LRESULT Send(WindowRecord *record, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!record->procedure) return 0;
  return record->procedure(HandleOf(record), message, wParam, lParam);
}

LPARAM PointParam(int x, int y) {
  return static_cast<LPARAM>((static_cast<uint32_t>(y & 0xFFFF) << 16) | static_cast<uint32_t>(x & 0xFFFF));
}

// SDL's physical keys as Windows virtual-key codes (a US layout).
int VirtualKeyOf(SDL_Scancode code) {
  if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z) return 'A' + (code - SDL_SCANCODE_A);
  if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_9) return '1' + (code - SDL_SCANCODE_1);
  if (code >= SDL_SCANCODE_F1 && code <= SDL_SCANCODE_F12) return VK_F1 + (code - SDL_SCANCODE_F1);
  if (code >= SDL_SCANCODE_F13 && code <= SDL_SCANCODE_F24) return VK_F1 + 12 + (code - SDL_SCANCODE_F13);
  if (code >= SDL_SCANCODE_KP_1 && code <= SDL_SCANCODE_KP_9) return VK_NUMPAD0 + 1 + (code - SDL_SCANCODE_KP_1);
  switch (code) {
    case SDL_SCANCODE_0: return '0';
    case SDL_SCANCODE_KP_0: return VK_NUMPAD0;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return VK_RETURN;
    case SDL_SCANCODE_ESCAPE: return VK_ESCAPE;
    case SDL_SCANCODE_BACKSPACE: return VK_BACK;
    case SDL_SCANCODE_TAB: return VK_TAB;
    case SDL_SCANCODE_SPACE: return VK_SPACE;
    case SDL_SCANCODE_MINUS: return VK_OEM_MINUS;
    case SDL_SCANCODE_EQUALS: return VK_OEM_PLUS;
    case SDL_SCANCODE_LEFTBRACKET: return VK_OEM_4;
    case SDL_SCANCODE_RIGHTBRACKET: return VK_OEM_6;
    case SDL_SCANCODE_BACKSLASH:
    case SDL_SCANCODE_NONUSHASH: return VK_OEM_5;
    case SDL_SCANCODE_SEMICOLON: return VK_OEM_1;
    case SDL_SCANCODE_APOSTROPHE: return VK_OEM_7;
    case SDL_SCANCODE_GRAVE: return VK_OEM_3;
    case SDL_SCANCODE_COMMA: return VK_OEM_COMMA;
    case SDL_SCANCODE_PERIOD: return VK_OEM_PERIOD;
    case SDL_SCANCODE_SLASH: return VK_OEM_2;
    case SDL_SCANCODE_NONUSBACKSLASH: return VK_OEM_102;
    case SDL_SCANCODE_CAPSLOCK: return VK_CAPITAL;
    case SDL_SCANCODE_PRINTSCREEN: return VK_SNAPSHOT;
    case SDL_SCANCODE_SCROLLLOCK: return VK_SCROLL;
    case SDL_SCANCODE_PAUSE: return VK_PAUSE;
    case SDL_SCANCODE_INSERT: return VK_INSERT;
    case SDL_SCANCODE_HOME: return VK_HOME;
    case SDL_SCANCODE_PAGEUP: return VK_PRIOR;
    case SDL_SCANCODE_DELETE: return VK_DELETE;
    case SDL_SCANCODE_END: return VK_END;
    case SDL_SCANCODE_PAGEDOWN: return VK_NEXT;
    case SDL_SCANCODE_RIGHT: return VK_RIGHT;
    case SDL_SCANCODE_LEFT: return VK_LEFT;
    case SDL_SCANCODE_DOWN: return VK_DOWN;
    case SDL_SCANCODE_UP: return VK_UP;
    case SDL_SCANCODE_NUMLOCKCLEAR: return VK_NUMLOCK;
    case SDL_SCANCODE_KP_DIVIDE: return VK_DIVIDE;
    case SDL_SCANCODE_KP_MULTIPLY: return VK_MULTIPLY;
    case SDL_SCANCODE_KP_MINUS: return VK_SUBTRACT;
    case SDL_SCANCODE_KP_PLUS: return VK_ADD;
    case SDL_SCANCODE_KP_PERIOD: return VK_DECIMAL;
    case SDL_SCANCODE_APPLICATION: return VK_APPS;
    case SDL_SCANCODE_LCTRL: return VK_LCONTROL;
    case SDL_SCANCODE_LSHIFT: return VK_LSHIFT;
    case SDL_SCANCODE_LALT: return VK_LMENU;
    case SDL_SCANCODE_LGUI: return VK_LWIN;
    case SDL_SCANCODE_RCTRL: return VK_RCONTROL;
    case SDL_SCANCODE_RSHIFT: return VK_RSHIFT;
    case SDL_SCANCODE_RALT: return VK_RMENU;
    case SDL_SCANCODE_RGUI: return VK_RWIN;
    default: return 0;
  }
}

// The relative mouse: SDL keeps the pointer in the window and reports motion only.
// Whatever motion the grab itself makes (the pointer pulled into the window, the warp
// to its centre) is thrown away.
void GrabMouse() {
  if (grabSuspended) return;
  SDL_SetRelativeMouseMode(SDL_TRUE);
  SDL_PumpEvents();
  SDL_FlushEvent(SDL_MOUSEMOTION);
}

void OnWindowEvent(const SDL_WindowEvent &event) {
  WindowRecord *record = RecordOfSdlId(event.windowID);
  if (!record) return;
  switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE:
      PostMessageA(HandleOf(record), WM_CLOSE, 0, 0);
      break;
    case SDL_WINDOWEVENT_EXPOSED:
      MarkForPaint(HandleOf(record));
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      GrabMouse();
      Send(record, WM_ACTIVATE, WA_ACTIVE, 0);
      Send(record, WM_SETFOCUS, 0, 0);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      record->focusLosses += 1;
      SDL_SetRelativeMouseMode(SDL_FALSE);
      // Keys released while another window has the focus never reach us.
      InputReleaseAll();
      Send(record, WM_ACTIVATE, WA_INACTIVE, 0);
      Send(record, WM_KILLFOCUS, 0, 0);
      break;
    default:
      break;
  }
}

void OnButton(const SDL_MouseButtonEvent &event, bool down) {
  int key = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  switch (event.button) {
    case SDL_BUTTON_LEFT: key = VK_LBUTTON; message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
    case SDL_BUTTON_RIGHT: key = VK_RBUTTON; message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
    case SDL_BUTTON_MIDDLE: key = VK_MBUTTON; message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
    case SDL_BUTTON_X1: key = VK_XBUTTON1; message = down ? WM_XBUTTONDOWN : WM_XBUTTONUP; wParam = 1 << 16; break;
    case SDL_BUTTON_X2: key = VK_XBUTTON2; message = down ? WM_XBUTTONDOWN : WM_XBUTTONUP; wParam = 2 << 16; break;
    default: return;
  }
  InputKeyEvent(key, down);
  if (WindowRecord *record = RecordOfSdlId(event.windowID))
    PostMessageA(HandleOf(record), message, wParam, PointParam(event.x / record->scale, event.y / record->scale));
}

void OnKey(const SDL_KeyboardEvent &event, bool down) {
  const int key = VirtualKeyOf(event.keysym.scancode);
  if (key == 0) return;
  InputKeyEvent(key, down);
  WindowRecord *record = RecordOfSdlId(event.windowID);
  if (!record) return;
  // lParam: repeat count 1, bit 30 the previous state, bit 31 the transition.
  const LPARAM lParam = down ? (1 | (event.repeat ? (1L << 30) : 0)) : static_cast<LPARAM>(0xC0000001u);
  PostMessageA(HandleOf(record), down ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(key), lParam);
}

// Motion in the game's own pixels: on a scaled window the screen's pixels are added up
// and handed on in whole client pixels, so slow motion is not lost.
void OnMotion(const SDL_MouseMotionEvent &event) {
  WindowRecord *record = RecordOfSdlId(event.windowID);
  if (!record || record->scale <= 1) {
    InputMouseMotion(event.xrel, event.yrel);
    return;
  }
  record->motionLeftX += event.xrel;
  record->motionLeftY += event.yrel;
  const int dx = record->motionLeftX / record->scale, dy = record->motionLeftY / record->scale;
  record->motionLeftX -= dx * record->scale;
  record->motionLeftY -= dy * record->scale;
  if (dx != 0 || dy != 0) InputMouseMotion(dx, dy);
}

void Translate(const SDL_Event &event) {
  switch (event.type) {
    case SDL_WINDOWEVENT: OnWindowEvent(event.window); break;
    case SDL_KEYDOWN: OnKey(event.key, true); break;
    case SDL_KEYUP: OnKey(event.key, false); break;
    case SDL_MOUSEBUTTONDOWN: OnButton(event.button, true); break;
    case SDL_MOUSEBUTTONUP: OnButton(event.button, false); break;
    case SDL_MOUSEMOTION:
      if (SDL_GetRelativeMouseMode()) OnMotion(event.motion);
      break;
    default:
      break;
  }
}

SDL_Window *CreateSdlWindow(const char *title, int x, int y, int width, int height, Uint32 flags) {
  SDL_Window *window = SDL_CreateWindow(title, x, y, width, height, flags | SDL_WINDOW_OPENGL);
  if (window) return window;
  // An X server without GLX: the reference device still presents through the window's
  // own surface.
  const std::string reason = SDL_GetError();
  window = SDL_CreateWindow(title, x, y, width, height, flags);
  if (window) std::fprintf(stderr, "quillrun: no OpenGL for the window (%s); drawing without it\n", reason.c_str());
  return window;
}

}  // namespace

void SetWindowScale(int scale) { windowScale = scale < 1 ? 1 : scale > 4 ? 4 : scale; }

int WindowScale() { return windowScale; }

bool EnsureVideo() {
  if (videoReady) return true;
  if (videoFailed) return false;
  // Warping keeps relative motion working where XInput2 raw motion does not (Xvfb).
  SDL_SetHint(SDL_HINT_MOUSE_RELATIVE_MODE_WARP, "1");
  // Ctrl+C in the terminal ends the program as usual instead of posting a quit event.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // A click that brings the window to the front also counts as a click, as on Windows.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    videoFailed = true;
    std::fprintf(stderr, "quillrun: no display for the window (%s)\n", SDL_GetError());
    return false;
  }
  // Without a display SDL falls back to drawing nowhere, which would leave a game that
  // nobody can see or stop; that is only wanted when asked for by name.
  const char *driver = SDL_GetCurrentVideoDriver();
  if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")) && !SDL_getenv("SDL_VIDEODRIVER")) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoFailed = true;
    std::fprintf(stderr, "quillrun: no display for the window\n");
    return false;
  }
  // On X11 a window's surface (the reference device's picture) goes to the display as
  // an image of its own, in shared memory, not through a texture of SDL's OpenGL
  // renderer: that detour costs more than drawing the frame in software. (Other display
  // systems may have no such image, so they keep SDL's choice.)
  if (driver && !std::strcmp(driver, "x11")) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  SDL_StopTextInput();
  videoReady = true;
  return true;
}

SDL_Window *SdlWindowOf(HWND window) {
  WindowRecord *record = RecordOf(window);
  return record && !record->headless ? record->sdl : nullptr;
}

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
    if (!record.live) continue;
    if (record.headless) {
      if (HeadlessForeground() && !record.minimised) return HandleOf(&record);
      continue;
    }
    const Uint32 flags = SDL_GetWindowFlags(record.sdl);
    if ((flags & SDL_WINDOW_INPUT_FOCUS) && !(flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)))
      return HandleOf(&record);
  }
  return nullptr;
}

void PumpWindowEvents() {
  if (!videoReady) return;
  SDL_Event event;
  while (SDL_PollEvent(&event)) Translate(event);
}

void SuspendMouseGrab() {
  grabSuspended = true;
  if (videoReady) SDL_SetRelativeMouseMode(SDL_FALSE);
}

void ResumeMouseGrab() {
  grabSuspended = false;
  HWND focused = FocusedWindow();
  if (videoReady && focused && !IsHeadlessWindow(focused)) GrabMouse();
}

void CountHeadlessFocusLoss() {
  for (WindowRecord &record : windows)
    if (record.live && record.headless) record.focusLosses += 1;
}

void ResetWindows() {
  for (WindowRecord &record : windows) {
    if (record.sdl) SDL_DestroyWindow(record.sdl);
    record = WindowRecord{};
  }
  ForgetWindowClasses();
  grabSuspended = false;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  if (exStyle) QR_UNSUPPORTED_ONCE("CreateWindowExA: extended style 0x%x is not supported", exStyle);
  if (parent || menu) QR_UNSUPPORTED_ONCE("CreateWindowExA: child windows and menus are not supported");
  const DWORD known = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_POPUP | WS_VISIBLE;
  if (style & ~known) QR_UNSUPPORTED_ONCE("CreateWindowExA: window style 0x%x is not supported", style & ~known);
  WindowClass *windowClass = className ? ClassNamed(className) : nullptr;
  if (!windowClass) return nullptr;

  const bool framed = (style & WS_CAPTION) == WS_CAPTION;
  const ClientArea area = ClientAreaOf(style, x, y, width, height);
  const bool fullScreen = area.fullScreen;
  const int clientWidth = area.width, clientHeight = area.height;

  int slot = 0;
  while (slot < WindowSlots && windows[slot].live) slot++;
  if (slot == WindowSlots) {
    QR_UNSUPPORTED_ONCE("CreateWindowExA: more than %d windows are not supported", WindowSlots);
    return nullptr;
  }
  WindowRecord &record = windows[slot];
  if (record.sdl) SDL_DestroyWindow(record.sdl);
  record = WindowRecord{};
  record.headless = HeadlessIsEnabled();
  record.fullScreen = fullScreen;
  record.procedure = windowClass->procedure;
  record.clientWidth = clientWidth;
  record.clientHeight = clientHeight;
  record.scale = fullScreen || record.headless ? 1 : windowScale;
  if (!record.headless) {
    if (!EnsureVideo()) return nullptr;
    Uint32 flags = SDL_WINDOW_HIDDEN;
    int sdlX = x == CW_USEDEFAULT ? SDL_WINDOWPOS_UNDEFINED : x;
    int sdlY = x == CW_USEDEFAULT ? SDL_WINDOWPOS_UNDEFINED : y;
    int sdlWidth = clientWidth * record.scale, sdlHeight = clientHeight * record.scale;
    if (!framed) flags |= SDL_WINDOW_BORDERLESS;
    SDL_DisplayMode desktop;
    if (fullScreen && SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
      // Desktop-sized and borderless from the start, so it covers the screen even where
      // no window manager acts on the full-screen request.
      flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
      sdlX = 0;
      sdlY = 0;
      sdlWidth = desktop.w;
      sdlHeight = desktop.h;
    } else if (fullScreen) {
      flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    }
    const std::string title = Cp932ToUtf8(windowName);
    record.sdl = CreateSdlWindow(title.c_str(), sdlX, sdlY, sdlWidth, sdlHeight, flags);
    if (!record.sdl) {
      std::fprintf(stderr, "quillrun: cannot create the window (%s)\n", SDL_GetError());
      return nullptr;
    }
    record.sdlId = SDL_GetWindowID(record.sdl);
  }
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
  const bool wasVisible =
      record->headless ? record->visible : !(SDL_GetWindowFlags(record->sdl) & SDL_WINDOW_HIDDEN);
  bool show = true, minimise = false, activate = true;
  switch (showCommand) {
    case SW_HIDE: show = false; break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE: minimise = true; activate = false; break;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA: activate = false; break;
    case SW_SHOWNORMAL:
    case SW_SHOW:
    case SW_RESTORE:
    case SW_SHOWDEFAULT: break;
    case SW_SHOWMAXIMIZED:
      QR_UNSUPPORTED_ONCE("ShowWindow: a fixed-size window cannot be maximised; shown as it is");
      break;
    default:
      QR_UNSUPPORTED_ONCE("ShowWindow: show command %d is not supported; shown as it is", showCommand);
      break;
  }
  // A window coming into view needs its picture; a minimised or hidden one shows none.
  if (show && !minimise)
    MarkForPaint(window);
  else
    ValidateRect(window, nullptr);
  if (record->headless) {
    record->visible = show;
    record->minimised = minimise;
    return wasVisible ? TRUE : FALSE;
  }
  if (!show) {
    SDL_HideWindow(record->sdl);
  } else {
    SDL_ShowWindow(record->sdl);
    if (minimise) {
      SDL_MinimizeWindow(record->sdl);
    } else {
      SDL_RestoreWindow(record->sdl);
      // A newly shown window of the active program takes the keyboard, as on Windows;
      // without a window manager nobody else would give it.
      if (activate) {
        SDL_RaiseWindow(record->sdl);
        SDL_SetWindowInputFocus(record->sdl);
      }
    }
  }
  return wasVisible ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND window) {
  WindowRecord *record = RecordOf(window);
  if (!record) return FALSE;
  Send(record, WM_DESTROY, 0, 0);
  record->live = false;
  ForgetQueuedMessages(window);
  if (record->sdl) {
    if (SDL_GetKeyboardFocus() == record->sdl) SDL_SetRelativeMouseMode(SDL_FALSE);
    SDL_HideWindow(record->sdl);
  }
  return TRUE;
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
      if (HeadlessIsEnabled()) return index == SM_CXSCREEN ? FullScreenWidth : FullScreenHeight;
      SDL_DisplayMode mode;
      if (!EnsureVideo() || SDL_GetDesktopDisplayMode(0, &mode) != 0) return 0;
      return index == SM_CXSCREEN ? mode.w : mode.h;
    }
    case SM_CYCAPTION: return CaptionHeight;
    case SM_CXFIXEDFRAME:
    case SM_CYFIXEDFRAME: return FixedFrame;
    default:
      QR_UNSUPPORTED_ONCE("GetSystemMetrics: index %d is not supported", index);
      return 0;
  }
}

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
  return TakePaintMessage(msg, window, filterMin, filterMax) ? TRUE : FALSE;
}

BOOL WaitMessage() {
  if (QueuedMessageCount() > 0 || AnyPaintPending() || QuitSignal() != 0) return TRUE;
  if (HeadlessIsEnabled()) {
    HeadlessRunWaitHook();
    return TRUE;
  }
  bool anyWindow = false;
  for (const WindowRecord &record : windows) anyWindow = anyWindow || (record.live && !record.headless);
  if (!videoReady || !anyWindow) {
    // No window whose events could wake us: a short nap instead of a spin.
    Sleep(10);
    return TRUE;
  }
  // Wakes on the next event, and now and then regardless, so a change of state that
  // brings no event (none is known) cannot freeze the game for good.
  SDL_WaitEventTimeout(nullptr, 100);
  return TRUE;
}

BOOL TranslateMessage(const MSG *msg) {
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  const bool shift = videoReady && (SDL_GetModState() & KMOD_SHIFT);
  const int character = CharacterOfKey(static_cast<int>(msg->wParam), shift);
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

BOOL IsWindow(HWND window) { return RecordOf(window) ? TRUE : FALSE; }

BOOL GetClientRect(HWND window, LPRECT rect) {
  WindowRecord *record = RecordOf(window);
  if (!record || !rect) return FALSE;
  int width = record->clientWidth, height = record->clientHeight;
  if (record->sdl) {
    SDL_GetWindowSize(record->sdl, &width, &height);
    width /= record->scale;
    height /= record->scale;
  }
  *rect = RECT{0, 0, width, height};
  return TRUE;
}
