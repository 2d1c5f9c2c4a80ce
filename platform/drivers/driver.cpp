// Which driver the stand-in runs on (driver.h): the display driver the program
// registered, or the one chosen at run time, or else one with no display at all.
#include "platform/drivers/driver.h"

#include <cstdio>

namespace {

// A program without a display driver: every window fails, said once.
class NoDisplay final : public Driver {
public:
  bool StartVideo() override {
    if (!said) std::fprintf(stderr, "quillrun: no display for the window (this program has no display driver)\n");
    said = true;
    return false;
  }
  NativeWindow *CreateWindow(const NativeWindowRequest &) override { return nullptr; }
  void DestroyWindow(NativeWindow *) override {}
  void ShowWindow(NativeWindow *, NativeShow, bool) override {}
  void WindowSize(NativeWindow *, int *width, int *height) override { *width = *height = 0; }
  bool HasFocus(NativeWindow *) override { return false; }
  bool Desktop(DesktopMode *) override { return false; }
  int ShowMessageBox(const MessageBoxRequest &) override { return 0; }

private:
  bool said = false;
};

NoDisplay noDisplay;
Driver *display;
Driver *chosen;

}  // namespace

void RegisterDisplayDriver(Driver *driver) { display = driver; }

void UseDriver(Driver *driver) { chosen = driver; }

Driver &CurrentDriver() {
  if (chosen) return *chosen;
  return display ? *display : noDisplay;
}
