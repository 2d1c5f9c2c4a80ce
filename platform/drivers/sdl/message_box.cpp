// Stand-in for the user32 message box, over SDL's message box. The game's texts are
// Shift-JIS (code page 932) byte strings, as on a Japanese Windows; they are turned into
// UTF-8 (shift_jis.cpp) before SDL shows them. Enter picks the first button (Yes, OK, Retry),
// Escape the one that closing the box means (No, Cancel, OK). Without any display the
// box says on stderr what it would have asked and answers as if it had been closed. A
// quit signal while the start-up question is up ends the program and the box together.
#include <SDL.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include "platform/drivers/headless/headless.h"
#include "platform/user32/message_box.h"
#include "platform/kernel32/signals.h"
#include "platform/kernel32/unsupported.h"
#include "platform/user32/window_internal.h"

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

bool ShowBox(const SDL_MessageBoxData &box, int *pressed, std::string *error) {
  int shown = SDL_ShowMessageBox(&box, pressed);
  if (shown != 0 && SDL_getenv("DISPLAY")) {
    // SDL draws the box in a child process, which has been seen to fail once in a while
    // on a display that works; one more try before giving up on the display.
    SDL_Delay(200);
    shown = SDL_ShowMessageBox(&box, pressed);
  }
  if (shown != 0) *error = SDL_GetError();
  return shown == 0;
}

// What the box's child process sends back: whether it was shown, the button, and SDL's
// reason when it was not.
struct BoxAnswer {
  int shown;
  int pressed;
  char error[256];
};

// Ends the box's process group (the box's process and whatever it started) and reaps
// every one of them.
void EndBoxGroup(pid_t group) {
  kill(-group, SIGKILL);
  while (waitpid(-group, nullptr, 0) > 0 || errno == EINTR) {
  }
  prctl(PR_SET_CHILD_SUBREAPER, 0);
}

bool ShowBoxInChild(const SDL_MessageBoxData &box, int *pressed, std::string *error) {
  int channel[2];
  if (pipe2(channel, O_CLOEXEC) != 0) return ShowBox(box, pressed, error);
  std::fflush(nullptr);
  // Whatever process SDL starts for the box becomes ours to reap when the box's own
  // process ends before it, instead of being left to a process 1 that may never reap.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  const pid_t child = fork();
  if (child < 0) {
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    close(channel[0]);
    close(channel[1]);
    return ShowBox(box, pressed, error);
  }
  if (child == 0) {
    setpgid(0, 0);
    // The quit signals end the box at once; the parent's death takes it along too.
    for (int quit : {SIGINT, SIGTERM, SIGHUP}) signal(quit, SIG_DFL);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() == 1) _exit(1);
    BoxAnswer answer = {};
    std::string why;
    answer.shown = ShowBox(box, &answer.pressed, &why) ? 1 : 0;
    std::snprintf(answer.error, sizeof answer.error, "%s", why.c_str());
    const ssize_t written = write(channel[1], &answer, sizeof answer);
    _exit(written == static_cast<ssize_t>(sizeof answer) ? 0 : 1);
  }
  // Both sides set the group, so a signal sent right after the fork finds it.
  setpgid(child, child);
  close(channel[1]);
  BoxAnswer answer = {};
  ssize_t got = 0;
  for (;;) {
    if (QuitSignal() != 0) {
      EndBoxGroup(child);
      close(channel[0]);
      // Nothing has been set up yet: the program ends by the signal right here.
      EndByQuitSignal();
    }
    pollfd wait = {channel[0], POLLIN, 0};
    if (poll(&wait, 1, 20) > 0) {
      got = read(channel[0], &answer, sizeof answer);
      break;
    }
  }
  close(channel[0]);
  EndBoxGroup(child);
  if (got != static_cast<ssize_t>(sizeof answer)) {
    *error = "the message box's process ended without an answer";
    return false;
  }
  answer.error[sizeof answer.error - 1] = '\0';
  *pressed = answer.pressed;
  if (!answer.shown) *error = answer.error;
  return answer.shown != 0;
}

}  // namespace

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
  std::string error;
  // The game's window holds the mouse while it has the focus; the box needs it.
  SuspendMouseGrab();
  // Before any window exists (the start-up question) the box is shown from a child
  // process in a process group of its own, so that a quit signal can take it and the
  // process SDL draws it from along. Once SDL's video runs in this process the child
  // would share its display connection, so later boxes are shown from here.
  const bool shown = SDL_WasInit(SDL_INIT_VIDEO) ? ShowBox(box, &pressed, &error) : ShowBoxInChild(box, &pressed, &error);
  ResumeMouseGrab();
  if (!shown) {
    const bool anyDisplay = SDL_getenv("DISPLAY") || SDL_getenv("WAYLAND_DISPLAY");
    std::fprintf(stderr, "quillrun: no display for the message box \"%s: %s\" (%s); answered as if it was closed\n",
                 title.c_str(), message.c_str(), anyDisplay ? error.c_str() : "DISPLAY is not set");
    return set.closeAnswer;
  }
  return IsButtonOf(set, pressed) ? pressed : set.closeAnswer;
}
