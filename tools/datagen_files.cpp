// The generator's outputs on disk: the mip chain and its DDS file (32-bit ARGB with
// the full chain stored), the 16-bit mono WAV files and the PNG contact sheet.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/datagen.h"
#include "png/png_writer.h"

namespace gen {

namespace {

void PutU16(std::vector<uint8_t> &out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void PutU32(std::vector<uint8_t> &out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

bool WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return (std::fclose(f) == 0) && ok;
}

uint8_t ToByte(float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

// Straight-alpha texels of one premultiplied level; clear texels near a drawing borrow
// its colour (never inside the band along a cell's border, which stays all zero).
std::vector<uint32_t> ToTexels(const std::vector<float> &level, int size, int passes) {
  std::vector<uint32_t> out(size_t(size) * size, 0);
  std::vector<float> colour(size_t(size) * size * 3, 0.0f);
  std::vector<uint8_t> known(size_t(size) * size, 0);
  for (size_t i = 0; i < out.size(); i++) {
    float a = level[i * 4 + 3];
    uint8_t alpha = ToByte(a);
    if (alpha == 0) continue;
    for (int c = 0; c < 3; c++) colour[i * 3 + c] = std::min(1.0f, level[i * 4 + c] / a);
    known[i] = 1;
    out[i] = uint32_t(alpha) << 24 | uint32_t(ToByte(colour[i * 3])) << 16 | uint32_t(ToByte(colour[i * 3 + 1])) << 8 |
             ToByte(colour[i * 3 + 2]);
  }
  const int cell = std::max(1, size / 4);
  const int band = cell >= 32 ? 5 * cell / 128 : 0;
  for (int pass = 0; pass < passes; pass++) {
    std::vector<uint8_t> nowKnown = known;
    for (int y = 0; y < size; y++) {
      for (int x = 0; x < size; x++) {
        size_t i = size_t(y) * size + x;
        if (known[i]) continue;
        int cx = x % cell, cy = y % cell;
        if (std::min(std::min(cx, cy), std::min(cell - 1 - cx, cell - 1 - cy)) < band) continue;
        float sum[3] = {0, 0, 0};
        int n = 0;
        for (int dy = -1; dy <= 1; dy++)
          for (int dx = -1; dx <= 1; dx++) {
            int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= size || ny >= size || nx / cell != x / cell || ny / cell != y / cell) continue;
            size_t j = size_t(ny) * size + nx;
            if (!known[j]) continue;
            for (int c = 0; c < 3; c++) sum[c] += colour[j * 3 + c];
            n++;
          }
        if (!n) continue;
        for (int c = 0; c < 3; c++) colour[i * 3 + c] = sum[c] / n;
        nowKnown[i] = 1;
        out[i] = uint32_t(ToByte(colour[i * 3])) << 16 | uint32_t(ToByte(colour[i * 3 + 1])) << 8 | ToByte(colour[i * 3 + 2]);
      }
    }
    known.swap(nowKnown);
  }
  return out;
}

}  // namespace

std::vector<std::vector<uint32_t>> BuildMipChain(const std::vector<float> &image) {
  std::vector<std::vector<uint32_t>> levels;
  std::vector<float> level = image;
  int size = kTextureSize;
  for (int l = 0; l < kMipLevels; l++) {
    levels.push_back(ToTexels(level, size, l == 0 ? 2 : 1));
    if (size == 1) break;
    int half = size / 2;
    std::vector<float> next(size_t(half) * half * 4);
    for (int y = 0; y < half; y++)
      for (int x = 0; x < half; x++)
        for (int c = 0; c < 4; c++) {
          auto at = [&](int sx, int sy) { return level[(size_t(sy) * size + sx) * 4 + c]; };
          next[(size_t(y) * half + x) * 4 + c] =
              (at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) + at(2 * x + 1, 2 * y + 1)) * 0.25f;
        }
    level.swap(next);
    size = half;
  }
  return levels;
}

bool WriteDds(const std::string &path, const std::vector<std::vector<uint32_t>> &levels) {
  std::vector<uint8_t> out;
  out.insert(out.end(), {'D', 'D', 'S', ' '});
  PutU32(out, 124);                                                  // header size
  PutU32(out, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000 | 0x20000);              // caps, height, width, pitch, pixel format, mip count
  PutU32(out, kTextureSize);                                         // height
  PutU32(out, kTextureSize);                                         // width
  PutU32(out, kTextureSize * 4);                                     // pitch
  PutU32(out, 0);                                                    // depth
  PutU32(out, uint32_t(levels.size()));                              // mip levels
  for (int i = 0; i < 11; i++) PutU32(out, 0);                       // reserved
  PutU32(out, 32);                                                   // pixel format size
  PutU32(out, 0x40 | 0x1);                                           // RGB with alpha
  PutU32(out, 0);                                                    // no FourCC
  PutU32(out, 32);                                                   // bits per pixel
  PutU32(out, 0x00FF0000);
  PutU32(out, 0x0000FF00);
  PutU32(out, 0x000000FF);
  PutU32(out, 0xFF000000);
  PutU32(out, 0x8 | 0x1000 | 0x400000);                              // complex, texture, mipmap
  for (int i = 0; i < 4; i++) PutU32(out, 0);                        // caps2..4, reserved
  for (const auto &level : levels)
    for (uint32_t texel : level) PutU32(out, texel);
  return WriteBytes(path, out);
}

bool WriteWav(const std::string &path, const std::vector<float> &samples) {
  std::vector<uint8_t> out;
  uint32_t dataBytes = uint32_t(samples.size() * 2);
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  PutU32(out, 36 + dataBytes);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutU32(out, 16);
  PutU16(out, 1);               // PCM
  PutU16(out, 1);               // mono
  PutU32(out, kSampleRate);
  PutU32(out, kSampleRate * 2);  // bytes per second
  PutU16(out, 2);               // block align
  PutU16(out, 16);              // bits per sample
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  PutU32(out, dataBytes);
  for (float s : samples) {
    long v = std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f);
    PutU16(out, uint32_t(uint16_t(int16_t(v))));
  }
  return WriteBytes(path, out);
}

}  // namespace gen
