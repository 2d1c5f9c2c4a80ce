// Stand-in for the user32 message box, over SDL's message box. The game's texts are
// Shift-JIS (code page 932) byte strings, as on a Japanese Windows; they are turned into
// UTF-8 with iconv before SDL shows them. Enter picks the first button (Yes, OK, Retry),
// Escape the one that closing the box means (No, Cancel, OK). Without any display the
// box says on stderr what it would have asked and answers as if it had been closed.
#include <SDL.h>
#include <iconv.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include "platform/headless.h"
#include "platform/message_box.h"
#include "platform/unsupported.h"
#include "platform/window_internal.h"

namespace {

struct ButtonSet {
  int count;
  SDL_MessageBoxButtonData buttons[3];
  int closeAnswer;  // what Escape or the close button of the box means
};

constexpr Uint32 EnterKey = SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
constexpr Uint32 EscapeKey = SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;

ButtonSet ButtonsOf(UINT type) {
  switch (type & 0xF) {
    case MB_OK:
      return {1, {{EnterKey | EscapeKey, IDOK, "OK"}}, IDOK};
    case MB_OKCANCEL:
      return {2, {{EnterKey, IDOK, "OK"}, {EscapeKey, IDCANCEL, "Cancel"}}, IDCANCEL};
    case MB_YESNOCANCEL:
      return {3, {{EnterKey, IDYES, "Yes"}, {0, IDNO, "No"}, {EscapeKey, IDCANCEL, "Cancel"}}, IDCANCEL};
    case MB_YESNO:
      return {2, {{EnterKey, IDYES, "Yes"}, {EscapeKey, IDNO, "No"}}, IDNO};
    case MB_RETRYCANCEL:
      return {2, {{EnterKey, IDRETRY, "Retry"}, {EscapeKey, IDCANCEL, "Cancel"}}, IDCANCEL};
    default:
      QR_UNSUPPORTED_ONCE("MessageBoxA: button set %u is not supported; showing OK", type & 0xF);
      return {1, {{EnterKey | EscapeKey, IDOK, "OK"}}, IDOK};
  }
}

Uint32 IconFlagOf(UINT type) {
  switch (type & 0xF0) {
    case MB_ICONERROR: return SDL_MESSAGEBOX_ERROR;
    case MB_ICONWARNING: return SDL_MESSAGEBOX_WARNING;
    case 0:
    case MB_ICONQUESTION:  // SDL has no question mark; the information icon stands in
    case MB_ICONINFORMATION: return SDL_MESSAGEBOX_INFORMATION;
    default:
      QR_UNSUPPORTED_ONCE("MessageBoxA: icon 0x%x is not supported", type & 0xF0);
      return SDL_MESSAGEBOX_INFORMATION;
  }
}

bool IsButtonOf(const ButtonSet &set, int answer) {
  for (int i = 0; i < set.count; i++)
    if (set.buttons[i].buttonid == answer) return true;
  return false;
}

}  // namespace

std::string Cp932ToUtf8(const char *text) {
  if (!text) return std::string();
  std::string result;
  iconv_t converter = iconv_open("UTF-8", "CP932");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    QR_UNSUPPORTED_ONCE("no Shift-JIS converter on this system; non-ASCII text shows as '?'");
    for (const char *c = text; *c; c++) result += (static_cast<unsigned char>(*c) < 0x80) ? *c : '?';
    return result;
  }
  char *input = const_cast<char *>(text);
  size_t inputLeft = std::strlen(text);
  while (inputLeft > 0) {
    char buffer[256];
    char *output = buffer;
    size_t outputLeft = sizeof buffer;
    const size_t converted = iconv(converter, &input, &inputLeft, &output, &outputLeft);
    result.append(buffer, static_cast<size_t>(output - buffer));
    if (converted == static_cast<size_t>(-1) && errno != E2BIG) {
      // A byte that starts no Shift-JIS character, or a lead byte cut off at the end.
      result += '?';
      input += 1;
      inputLeft -= 1;
    }
  }
  iconv_close(converter);
  return result;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  const std::string message = Cp932ToUtf8(text);
  const std::string title = caption ? Cp932ToUtf8(caption) : std::string("Error");
  if (type & ~0xFFu) QR_UNSUPPORTED_ONCE("MessageBoxA: options 0x%x are not supported", type & ~0xFFu);
  const ButtonSet set = ButtonsOf(type);
  const Uint32 icon = IconFlagOf(type);

  if (HeadlessIsEnabled()) {
    HeadlessRecordMessageBox(message.c_str(), title.c_str());
    const int answer = HeadlessMessageBoxAnswer();
    return IsButtonOf(set, answer) ? answer : set.closeAnswer;
  }

  const SDL_MessageBoxData box = {icon | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT,
                                  SdlWindowOf(owner),
                                  title.c_str(),
                                  message.c_str(),
                                  set.count,
                                  set.buttons,
                                  nullptr};
  int pressed = -1;
  // The game's window holds the mouse while it has the focus; the box needs it.
  SuspendMouseGrab();
  int shown = SDL_ShowMessageBox(&box, &pressed);
  if (shown != 0 && SDL_getenv("DISPLAY")) {
    // SDL draws the box in a child process, which has been seen to fail once in a while
    // on a display that works; one more try before giving up on the display.
    SDL_Delay(200);
    shown = SDL_ShowMessageBox(&box, &pressed);
  }
  ResumeMouseGrab();
  if (shown != 0) {
    const bool anyDisplay = SDL_getenv("DISPLAY") || SDL_getenv("WAYLAND_DISPLAY");
    std::fprintf(stderr, "quillrun: no display for the message box \"%s: %s\" (%s); answered as if it was closed\n",
                 title.c_str(), message.c_str(), anyDisplay ? SDL_GetError() : "DISPLAY is not set");
    return set.closeAnswer;
  }
  return IsButtonOf(set, pressed) ? pressed : set.closeAnswer;
}
