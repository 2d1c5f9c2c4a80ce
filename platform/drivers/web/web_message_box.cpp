// Stand-in for the user32 message box in the browser. A page cannot stop the program to
// wait for an answer, so the box's caption and text are shown on the page and the call
// returns at once with the answer of closing the box: OK for an OK box, No for a Yes/No
// box. (The start-up question is asked by the page itself before the game starts, with
// the same two answers.) The texts arrive in Shift-JIS and go to the page as UTF-8.
#include <cstdio>
#include <cstring>
#include <string>
#include "platform/drivers/headless/headless.h"
#include "platform/user32/message_box.h"
#include "platform/kernel32/unsupported.h"
#include "platform/drivers/web/web_page.h"
#include "platform/user32/window_internal.h"

namespace {

// The buttons of a box type, and the answer that closing the box gives.
int CloseAnswer(UINT type, bool *known) {
  *known = true;
  switch (type & 0xF) {
    case MB_OK: return IDOK;
    case MB_OKCANCEL: return IDCANCEL;
    case MB_YESNOCANCEL: return IDCANCEL;
    case MB_YESNO: return IDNO;
    case MB_RETRYCANCEL: return IDCANCEL;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: *known = false; return IDOK;
  }
}

bool IsButtonOf(UINT type, int answer) {
  switch (type & 0xF) {
    case MB_OK: return answer == IDOK;
    case MB_OKCANCEL: return answer == IDOK || answer == IDCANCEL;
    case MB_YESNOCANCEL: return answer == IDYES || answer == IDNO || answer == IDCANCEL;
    case MB_YESNO: return answer == IDYES || answer == IDNO;
    case MB_RETRYCANCEL: return answer == IDRETRY || answer == IDCANCEL;
    case MB_ABORTRETRYIGNORE: return answer == IDABORT || answer == IDRETRY || answer == IDIGNORE;
    default: return false;
  }
}

}  // namespace

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  const std::string message = Cp932ToUtf8(text);
  const std::string title = caption ? Cp932ToUtf8(caption) : std::string("Error");
  bool known = false;
  const int closeAnswer = CloseAnswer(type, &known);
  if (!known) QR_UNSUPPORTED_ONCE("MessageBoxA: button set %u is not supported; shown with OK", type & 0xF);
  if (HeadlessIsEnabled()) {
    HeadlessRecordMessageBox(message.c_str(), title.c_str());
    const int answer = HeadlessMessageBoxAnswer();
    return IsButtonOf(type, answer) ? answer : closeAnswer;
  }
  // The player may be holding the pointer: let it go so the page can be used.
  SuspendMouseGrab();
  std::fprintf(stderr, "%s: %s\n", title.c_str(), message.c_str());
  WebShowMessage(title.c_str(), message.c_str());
  return closeAnswer;
}
