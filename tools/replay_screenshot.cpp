// The replay runner's screenshot: the picture the reference device presented last.
#include "tools/replay_screenshot.h"

#include <cstdio>
#include <vector>

#include "platform/d3d8/d3d8_readback.h"
#include "render/device.h"
#include "png/png_writer.h"

bool WriteScreenshot(const char *path) {
  std::vector<DWORD> pixels(800 * 600);
  if (device == nullptr || !ReadBackPresented(device, pixels.data(), 800, 600)) {
    std::fprintf(stderr, "quillrun-replay: no picture has been presented yet\n");
    return false;
  }
  if (!WritePng(path, 800, 600, pixels.data())) {
    std::fprintf(stderr, "quillrun-replay: cannot write %s\n", path);
    return false;
  }
  return true;
}
