// The SDL driver's message box: the box user32 makes of MessageBoxA (its texts already
// UTF-8, its buttons chosen) shown with SDL's message box. A box SDL cannot show (no
// display, or no zenity on Wayland; a zenity that cannot open the display is no box
// either) is said on stderr and left to user32, which asks it in a window of its own
// where the display works, or else answers as if it was closed. A quit signal while the
// start-up question is up ends the program and the box together.
#include <SDL.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include "platform/drivers/sdl/sdl_driver.h"
#include "platform/kernel32/signals.h"

namespace {

Uint32 IconFlagOf(MessageBoxIcon icon) {
  switch (icon) {
    case MessageBoxIcon::Error: return SDL_MESSAGEBOX_ERROR;
    case MessageBoxIcon::Warning: return SDL_MESSAGEBOX_WARNING;
    default: return SDL_MESSAGEBOX_INFORMATION;
  }
}

// Whether there is a display for a box asked before SDL's video runs. SDL hands such a
// box to a helper program first (zenity) when one is installed, and a helper that cannot
// open the display answers as if its box was closed: without this look the question
// would count as asked and answered. The look is at the display servers' sockets, not
// by starting SDL's video: started and ended again in the box's process, SDL's Wayland
// video left the game unable to open its own box and window. A driver named in
// SDL_VIDEODRIVER, or an X display on another host, is taken at its word.
bool SocketThere(const std::string &path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

bool DisplayForBox(std::string *error) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  const char *named = SDL_getenv("SDL_VIDEODRIVER");
  if (named && *named) return true;
  // Wayland's own default when none is named, as its library takes it.
  const char *wayland = SDL_getenv("WAYLAND_DISPLAY");
  if (!wayland || !*wayland) wayland = "wayland-0";
  const char *runtime = SDL_getenv("XDG_RUNTIME_DIR");
  if (wayland[0] == '/' ? SocketThere(wayland) : runtime && SocketThere(std::string(runtime) + "/" + wayland))
    return true;
  const char *x = SDL_getenv("DISPLAY");
  if (x && *x) {
    if (x[0] != ':') return true;
    std::string number;
    for (const char *at = x + 1; *at >= '0' && *at <= '9'; ++at) number += *at;
    if (!number.empty() && SocketThere("/tmp/.X11-unix/X" + number)) return true;
  }
  *error = "no display could be opened";
  return false;
}

bool ShowBox(const SDL_MessageBoxData &box, int *pressed, std::string *error) {
  if (!DisplayForBox(error)) return false;
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

int SdlShowMessageBox(const MessageBoxRequest &request) {
  SDL_MessageBoxButtonData buttons[3] = {};
  for (int i = 0; i < request.buttonCount && i < 3; i++) {
    const MessageBoxButton &button = request.buttons[i];
    buttons[i].flags = (button.enter ? SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT : 0) |
                       (button.escape ? SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT : 0);
    buttons[i].buttonid = button.answer;
    buttons[i].text = button.label;
  }
  const SDL_MessageBoxData box = {IconFlagOf(request.icon) | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT,
                                  SdlOf(request.owner),
                                  request.captionUtf8,
                                  request.textUtf8,
                                  request.buttonCount,
                                  buttons,
                                  nullptr};
  int pressed = 0;
  std::string error;
  // Before any window exists (the start-up question) the box is shown from a child
  // process in a process group of its own, so that a quit signal can take it and the
  // process SDL draws it from along. Once SDL's video runs in this process the child
  // would share its display connection, so later boxes are shown from here.
  const bool shown = SDL_WasInit(SDL_INIT_VIDEO) ? ShowBox(box, &pressed, &error) : ShowBoxInChild(box, &pressed, &error);
  if (!shown) {
    const bool anyDisplay = SDL_getenv("DISPLAY") || SDL_getenv("WAYLAND_DISPLAY");
    std::fprintf(stderr, "quillrun: no display for the message box \"%s: %s\" (%s)\n", request.captionUtf8,
                 request.textUtf8, anyDisplay ? error.c_str() : "DISPLAY is not set");
    return 0;
  }
  return pressed;
}
