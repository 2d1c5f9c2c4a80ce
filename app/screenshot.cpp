// F12's screenshots (see screenshot.h).
#include "app/screenshot.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/user_dirs.h"
#ifdef QR_SCREENSHOTS
#include "platform/d3d8/d3d8_readback.h"
#include "png/png_writer.h"
#include "render/device.h"
#endif

std::string ScreenshotName(std::time_t when, int sequence) {
  std::tm local{};
#ifdef _WIN32
  if (const std::tm *now = std::localtime(&when)) local = *now;
#else
  localtime_r(&when, &local);
#endif
  char stamp[32];
  if (std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local) == 0) stamp[0] = '\0';
  char name[64];
  if (sequence > 1)
    std::snprintf(name, sizeof name, "quillrun-%s-%d.png", stamp, sequence);
  else
    std::snprintf(name, sizeof name, "quillrun-%s.png", stamp);
  return name;
}

#ifdef QR_SCREENSHOTS

namespace {

// Frames left to read a picture asked for before one could be: a frame that draws
// nothing (a late one, or one with the device lost) leaves it owed to the next.
int owedFrames;
constexpr int OwedFrameLimit = 100;

// The back buffer is the game's 800 x 600 whatever the window's scale.
bool ReadPicture(std::vector<DWORD> &pixels) {
  pixels.resize(800 * 600);
  return device != nullptr && ReadBackPresented(device, pixels.data(), 800, 600);
}

void Save(const std::vector<DWORD> &pixels) {
  std::string why;
  std::string folder = UserFolderPath(UserFolder::Data, [](const char *name) -> const char * {
    return std::getenv(name);
  }, &why);
  if (folder.empty()) {
    std::fprintf(stderr, "quillrun: no screenshot: %s\n", why.c_str());
    return;
  }
  folder += "/screenshots";
  if (!MakeFolders(folder, &why)) {
    std::fprintf(stderr, "quillrun: no screenshot: cannot make %s: %s\n", folder.c_str(), why.c_str());
    return;
  }
  const std::time_t now = std::time(nullptr);
  std::string path;
  std::error_code error;
  for (int sequence = 1; sequence < 1000; sequence++) {
    path = folder + "/" + ScreenshotName(now, sequence);
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, error))) break;
  }
  if (!WritePng(path.c_str(), 800, 600, pixels.data())) {
    std::remove(path.c_str());
    std::fprintf(stderr, "quillrun: no screenshot: cannot write %s\n", path.c_str());
    return;
  }
  std::fprintf(stderr, "quillrun: screenshot saved to %s\n", path.c_str());
}

}  // namespace

void RequestScreenshot() {
  std::vector<DWORD> pixels;
  if (ReadPicture(pixels))
    Save(pixels);
  else if (device != nullptr)
    owedFrames = OwedFrameLimit;
  else
    std::fprintf(stderr, "quillrun: no screenshot: nothing has been shown yet\n");
}

void TakeOwedScreenshot() {
  if (owedFrames == 0) return;
  owedFrames -= 1;
  std::vector<DWORD> pixels;
  if (ReadPicture(pixels)) {
    owedFrames = 0;
    Save(pixels);
  } else if (owedFrames == 0) {
    std::fprintf(stderr, "quillrun: no screenshot: the picture could not be read back\n");
  }
}

#else

void RequestScreenshot() { std::fprintf(stderr, "quillrun: this build keeps no screenshots\n"); }
void TakeOwedScreenshot() {}

#endif
