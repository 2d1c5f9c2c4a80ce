// Fuzzes the DDS reader: any bytes decode or are refused with a reason, and a decoded
// image has every level the size its header promised; its levels then go through the
// mip filter as the texture loader would take them.
#include <cstdint>
#include <cstdlib>
#include <string>
#if __has_include("platform/d3dx/dds.h")
#include "platform/d3dx/dds.h"
#else
#include "render/dds.h"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  DdsImage image;
  std::string error;
  if (!DdsDecode(data, size, image, error)) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  if (image.levels.empty() || image.width == 0 || image.height == 0) std::abort();
  for (size_t level = 0; level < image.levels.size(); level++) {
    const size_t pixels = size_t(MipExtent(image.width, uint32_t(level))) * MipExtent(image.height, uint32_t(level));
    if (image.levels[level].size() != pixels) std::abort();
  }
  const uint32_t w = MipExtent(image.width, 0), h = MipExtent(image.height, 0);
  if (size_t(w) * h <= (1u << 16)) {
    std::vector<uint32_t> half(size_t(MipExtent(w, 1)) * MipExtent(h, 1));
    ImageHalve(image.levels[0].data(), w, h, half.data());
  }
  return 0;
}
