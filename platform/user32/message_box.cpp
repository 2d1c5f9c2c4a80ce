// Stand-in for the user32 message box, whatever shows it. The game's texts are Shift-JIS
// (code page 932) byte strings, as on a Japanese Windows; they go to the driver as UTF-8
// with the box's buttons, Enter picking the first (Yes, OK, Retry, Abort) and Escape the
// one that closing the box means (No, Cancel, OK). The answer is always one of the box's
// buttons: a box the driver cannot show is asked in a window of user32's own where the
// driver allows that (question_box.h); otherwise, or when the driver cannot wait for
// it, it is answered as if closed.
#include "platform/user32/message_box.h"

#include <string>
#include "platform/drivers/driver.h"
#include "platform/kernel32/unsupported.h"
#include "platform/user32/question_box.h"
#include "platform/user32/window_internal.h"

namespace {

struct ButtonSet {
  int count;
  MessageBoxButton buttons[3];
  int closeAnswer;  // what Escape or the close button of the box means
};

ButtonSet ButtonsOf(UINT type) {
  switch (type & 0xF) {
    case MB_OK:
      return {1, {{IDOK, "OK", true, true}}, IDOK};
    case MB_OKCANCEL:
      return {2, {{IDOK, "OK", true, false}, {IDCANCEL, "Cancel", false, true}}, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
      // Windows offers no way to close this one: Escape aborts.
      return {3, {{IDABORT, "Abort", true, true}, {IDRETRY, "Retry", false, false}, {IDIGNORE, "Ignore", false, false}},
              IDABORT};
    case MB_YESNOCANCEL:
      return {3, {{IDYES, "Yes", true, false}, {IDNO, "No", false, false}, {IDCANCEL, "Cancel", false, true}}, IDCANCEL};
    case MB_YESNO:
      return {2, {{IDYES, "Yes", true, false}, {IDNO, "No", false, true}}, IDNO};
    case MB_RETRYCANCEL:
      return {2, {{IDRETRY, "Retry", true, false}, {IDCANCEL, "Cancel", false, true}}, IDCANCEL};
    default:
      QR_UNSUPPORTED_ONCE("MessageBoxA: button set %u is not supported; showing OK", type & 0xF);
      return {1, {{IDOK, "OK", true, true}}, IDOK};
  }
}

MessageBoxIcon IconOf(UINT type) {
  switch (type & 0xF0) {
    case MB_ICONERROR: return MessageBoxIcon::Error;
    case MB_ICONWARNING: return MessageBoxIcon::Warning;
    case 0:
    case MB_ICONQUESTION:  // no question mark everywhere; the information icon stands in
    case MB_ICONINFORMATION: return MessageBoxIcon::Information;
    default:
      QR_UNSUPPORTED_ONCE("MessageBoxA: icon 0x%x is not supported", type & 0xF0);
      return MessageBoxIcon::Information;
  }
}

bool IsButtonOf(const ButtonSet &set, int answer) {
  for (int i = 0; i < set.count; i++)
    if (set.buttons[i].answer == answer) return true;
  return false;
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  const std::string message = Cp932ToUtf8(text);
  const std::string title = caption ? Cp932ToUtf8(caption) : std::string("Error");
  if (type & ~0xFFu) QR_UNSUPPORTED_ONCE("MessageBoxA: options 0x%x are not supported", type & ~0xFFu);
  const ButtonSet set = ButtonsOf(type);
  Driver &driver = CurrentDriver();
  MessageBoxRequest box = {NativeWindowOf(owner, driver), title.c_str(), message.c_str(), IconOf(type), set.count, {}};
  for (int i = 0; i < set.count; i++) box.buttons[i] = set.buttons[i];
  // The game's window holds the mouse while it has the focus; the box needs it.
  SuspendMouseGrab();
  int pressed = driver.ShowMessageBox(box);
  // A box the driver could not show is asked in a window of our own where the driver
  // allows one (SDL on a Wayland desktop without zenity), rather than left unasked.
  if (pressed == 0 && driver.AllowsOwnMessageBox())
    pressed = ShowQuestionBox(text, caption ? caption : "Error", set.buttons, set.count, set.closeAnswer);
  ResumeMouseGrab();
  return IsButtonOf(set, pressed) ? pressed : set.closeAnswer;
}
