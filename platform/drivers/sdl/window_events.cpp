// The SDL driver's events: SDL's key, button, motion and window events handed to user32's
// entry points (platform/drivers/driver.h), keys as Windows virtual-key codes.
#include "platform/drivers/sdl/sdl_driver.h"
#include "platform/kernel32/signals.h"
#include "platform/user32/input.h"

namespace {

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

// Where a key the layout names sits on a US keyboard (SDL's own lookup answers with the
// current keymap's places instead); unknown for what a US keyboard lacks.
SDL_Scancode UsPlaceOf(SDL_Keycode key) {
  if (key & SDLK_SCANCODE_MASK) return static_cast<SDL_Scancode>(key & ~SDLK_SCANCODE_MASK);
  if (key >= 'a' && key <= 'z') return static_cast<SDL_Scancode>(SDL_SCANCODE_A + (key - 'a'));
  if (key >= '1' && key <= '9') return static_cast<SDL_Scancode>(SDL_SCANCODE_1 + (key - '1'));
  static const struct {
    SDL_Keycode key;
    SDL_Scancode place;
  } named[] = {{'0', SDL_SCANCODE_0},          {SDLK_RETURN, SDL_SCANCODE_RETURN},  {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE},
               {SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE}, {SDLK_TAB, SDL_SCANCODE_TAB}, {SDLK_SPACE, SDL_SCANCODE_SPACE},
               {'-', SDL_SCANCODE_MINUS},      {'=', SDL_SCANCODE_EQUALS},          {'[', SDL_SCANCODE_LEFTBRACKET},
               {']', SDL_SCANCODE_RIGHTBRACKET}, {'\\', SDL_SCANCODE_BACKSLASH},  {';', SDL_SCANCODE_SEMICOLON},
               {'\'', SDL_SCANCODE_APOSTROPHE}, {'`', SDL_SCANCODE_GRAVE},         {',', SDL_SCANCODE_COMMA},
               {'.', SDL_SCANCODE_PERIOD},     {'/', SDL_SCANCODE_SLASH},           {SDLK_DELETE, SDL_SCANCODE_DELETE}};
  for (const auto &entry : named)
    if (entry.key == key) return entry.place;
  return SDL_SCANCODE_UNKNOWN;
}

NativeWindow *WindowOfId(Uint32 id) { return NativeOf(SDL_GetWindowFromID(id)); }

void OnWindowEvent(const SDL_WindowEvent &event) {
  NativeWindow *window = WindowOfId(event.windowID);
  switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE: DriverCloseAsked(window); break;
    case SDL_WINDOWEVENT_FOCUS_GAINED: DriverFocusGained(window); break;
    case SDL_WINDOWEVENT_FOCUS_LOST: DriverFocusLost(window); break;
    case SDL_WINDOWEVENT_EXPOSED: DriverNeedsRepaint(window); break;
    case SDL_WINDOWEVENT_LEAVE: DriverMouseLeft(window); break;
    default: break;
  }
}

void OnButton(const SDL_MouseButtonEvent &event, bool down) {
  int key = 0;
  switch (event.button) {
    case SDL_BUTTON_LEFT: key = VK_LBUTTON; break;
    case SDL_BUTTON_RIGHT: key = VK_RBUTTON; break;
    case SDL_BUTTON_MIDDLE: key = VK_MBUTTON; break;
    case SDL_BUTTON_X1: key = VK_XBUTTON1; break;
    case SDL_BUTTON_X2: key = VK_XBUTTON2; break;
    default: return;
  }
  DriverButtonEvent(WindowOfId(event.windowID), key, down, event.x, event.y);
}

// Relative and warp: the motion SDL reports while it holds the pointer. Absolute: the
// pointer's positions over the window it is kept in; user32 turns them into motion.
void OnMotion(const SDL_MouseMotionEvent &event) {
  if (SDL_GetRelativeMouseMode()) {
    DriverMouseMotion(WindowOfId(event.windowID), event.xrel, event.yrel);
    return;
  }
  SDL_Window *window = SDL_GetWindowFromID(event.windowID);
  if (window && window == SdlConfinedWindow()) DriverMousePosition(NativeOf(window), event.x, event.y);
}

// A key is known by what the keyboard's layout says it is, as Windows' virtual keys are:
// SDL's scancodes are places on a US keyboard, guessed once from the keymap SDL saw at
// start (through XWayland a keymap loaded later, as a virtual keyboard loads its own,
// moves keys away from them). Keys the layout names nothing SDL knows keep their place.
void OnKey(const SDL_KeyboardEvent &event, bool down) {
  SDL_Scancode code = UsPlaceOf(event.keysym.sym);
  if (code == SDL_SCANCODE_UNKNOWN) code = event.keysym.scancode;
  DriverKeyEvent(WindowOfId(event.windowID), VirtualKeyOf(code), down, event.repeat != 0);
}

}  // namespace

// Once a quit signal has come, what the display has sent is still taken from it (so its
// own requests are answered: a compositor left waiting on a window being closed has been
// seen to crash), but no more than a queue's worth and none handed on: the message loop
// closes the windows even if the display keeps sending events.
void SdlPumpEvents() {
  SDL_Event event;
  int afterQuit = 0;
  while (SDL_PollEvent(&event)) {
    if (QuitSignal() != 0) {
      if (++afterQuit > 256) break;
      continue;
    }
    switch (event.type) {
      case SDL_WINDOWEVENT: OnWindowEvent(event.window); break;
      case SDL_KEYDOWN: OnKey(event.key, true); break;
      case SDL_KEYUP: OnKey(event.key, false); break;
      case SDL_MOUSEBUTTONDOWN: OnButton(event.button, true); break;
      case SDL_MOUSEBUTTONUP: OnButton(event.button, false); break;
      case SDL_MOUSEMOTION: OnMotion(event.motion); break;
      default: break;
    }
  }
}
