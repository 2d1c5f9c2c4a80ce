// Our reader for DirectDraw Surface image files, and the two image operations the
// texture loader needs (halving for the mip chain, linear resizing). Pure code with no
// device, so the tests and the data generator can use it directly.
//
// Every header field is checked before it is used, and the file must hold every byte
// its header promises before anything is allocated: a missing, truncated, oversized or
// hostile file gives false and a one-line reason, never a read out of bounds.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Largest width or height we accept from a file.
constexpr uint32_t DdsMaxDimension = 8192;

// One decoded image: its mip levels as they stand in the file, each converted to
// A8R8G8B8 (0xAARRGGBB per pixel, rows top-down, no padding). Level i measures
// max(1, width >> i) x max(1, height >> i).
struct DdsImage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t format = 0;  // the file's pixel format as a Direct3D format code (0 when it has none)
  std::vector<std::vector<uint32_t>> levels;
};

// Decodes a whole file held in memory.
bool DdsDecode(const uint8_t *data, size_t size, DdsImage &image, std::string &error);

// Reads and decodes a file; only as many bytes as the checked header promises are read.
bool DdsLoadFile(const char *path, DdsImage &image, std::string &error);

// Size of mip level `level` of a width x height image.
inline uint32_t MipExtent(uint32_t size, uint32_t level) {
  uint32_t s = level < 32 ? size >> level : 0;
  return s ? s : 1;
}

// Halves an image with a box filter (2 x 2 texels to one, 2 x 1 where a side is
// already 1 wide): the linear filter for building the next mip level.
// dst holds MipExtent(w, 1) x MipExtent(h, 1) pixels.
void ImageHalve(const uint32_t *src, uint32_t w, uint32_t h, uint32_t *dst);

// Resizes with bilinear filtering (texel centres mapped onto texel centres), for an
// image whose size the device cannot take as it is.
void ImageResizeLinear(const uint32_t *src, uint32_t sw, uint32_t sh, uint32_t *dst, uint32_t dw,
                       uint32_t dh);
