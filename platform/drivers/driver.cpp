// Which driver the stand-in runs on (driver.h): the display driver the program
// registered, or the one chosen at run time, or else one with no display at all.
#include "platform/drivers/driver.h"

#include <cstdio>

namespace {

bool NoVideo() {
  static bool said = false;
  if (!said) std::fprintf(stderr, "quillrun: no display for the window (this program has no display driver)\n");
  said = true;
  return false;
}
NativeWindow *NoWindow(const NativeWindowRequest &) { return nullptr; }
void NoWindowCall(NativeWindow *) {}
void NoShow(NativeWindow *, NativeShow, bool) {}
void NoSize(NativeWindow *, int *width, int *height) { *width = *height = 0; }
bool NoFocus(NativeWindow *) { return false; }
void Nothing() {}
void NoGrab(bool) {}
bool NoMode(DesktopMode *) { return false; }
int NoBox(const MessageBoxRequest &) { return 0; }

const Driver noDisplay = {"none", NoVideo,   NoWindow, NoWindowCall, NoWindowCall, NoShow, NoSize, NoFocus,
                          Nothing, Nothing,  NoGrab,   NoGrab,       NoMode,       NoBox,  nullptr, nullptr};

const Driver *display;
const Driver *chosen;

}  // namespace

void RegisterDisplayDriver(const Driver *driver) { display = driver; }

void UseDriver(const Driver *driver) { chosen = driver; }

const Driver &CurrentDriver() {
  if (chosen) return *chosen;
  return display ? *display : noDisplay;
}
