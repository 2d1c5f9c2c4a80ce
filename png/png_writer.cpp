// PNG encoding: the signature, IHDR, one IDAT holding the filtered rows deflated by
// zlib, IEND. Each row gets the filter (none, sub, up, average or Paeth) that leaves
// the smallest sum of absolute byte values, the usual cheap guess at what deflates best.
#include "png/png_writer.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void PutU32(std::vector<uint8_t> &out, uint32_t v) {
  out.push_back(uint8_t(v >> 24));
  out.push_back(uint8_t(v >> 16));
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}

void PutChunk(std::vector<uint8_t> &out, const char type[4], const uint8_t *data, size_t size) {
  PutU32(out, uint32_t(size));
  size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data, data + size);
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, out.data() + start, uInt(out.size() - start));
  PutU32(out, uint32_t(crc));
}

uint8_t Paeth(int a, int b, int c) {
  int p = a + b - c;
  int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return uint8_t(a);
  if (pb <= pc) return uint8_t(b);
  return uint8_t(c);
}

// Filters one row of RGBA bytes with the given filter type into out (without the type byte).
void FilterRow(int type, const uint8_t *row, const uint8_t *prev, size_t n, uint8_t *out) {
  for (size_t i = 0; i < n; i++) {
    int a = i >= 4 ? row[i - 4] : 0;
    int b = prev ? prev[i] : 0;
    int c = (i >= 4 && prev) ? prev[i - 4] : 0;
    int predicted = 0;
    switch (type) {
      case 1: predicted = a; break;
      case 2: predicted = b; break;
      case 3: predicted = (a + b) / 2; break;
      case 4: predicted = Paeth(a, b, c); break;
      default: break;
    }
    out[i] = uint8_t(row[i] - predicted);
  }
}

}  // namespace

bool WritePng(const char *path, int width, int height, const uint32_t *argbPixels) {
  if (!path || !argbPixels || width <= 0 || height <= 0 || width > (1 << 24) || height > (1 << 24))
    return false;
  const size_t rowBytes = size_t(width) * 4;
  std::vector<uint8_t> raw(rowBytes * size_t(height));
  for (size_t i = 0; i < size_t(width) * size_t(height); i++) {
    uint32_t p = argbPixels[i];
    raw[i * 4 + 0] = uint8_t(p >> 16);
    raw[i * 4 + 1] = uint8_t(p >> 8);
    raw[i * 4 + 2] = uint8_t(p);
    raw[i * 4 + 3] = uint8_t(p >> 24);
  }

  std::vector<uint8_t> filtered((rowBytes + 1) * size_t(height));
  std::vector<uint8_t> trial(rowBytes);
  for (int y = 0; y < height; y++) {
    const uint8_t *row = &raw[rowBytes * size_t(y)];
    const uint8_t *prev = y > 0 ? row - rowBytes : nullptr;
    uint8_t *dst = &filtered[(rowBytes + 1) * size_t(y)];
    uint64_t bestScore = UINT64_MAX;
    for (int type = 0; type <= 4; type++) {
      FilterRow(type, row, prev, rowBytes, trial.data());
      uint64_t score = 0;
      for (uint8_t v : trial) score += uint64_t(v < 128 ? v : 256 - v);
      if (score < bestScore) {
        bestScore = score;
        dst[0] = uint8_t(type);
        std::copy(trial.begin(), trial.end(), dst + 1);
      }
    }
  }

  uLongf packedSize = compressBound(uLong(filtered.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, filtered.data(), uLong(filtered.size()), 9) != Z_OK)
    return false;

  std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  uint8_t ihdr[13] = {};
  for (int i = 0; i < 4; i++) {
    ihdr[i] = uint8_t(uint32_t(width) >> (24 - 8 * i));
    ihdr[4 + i] = uint8_t(uint32_t(height) >> (24 - 8 * i));
  }
  ihdr[8] = 8;  // bits per channel
  ihdr[9] = 6;  // RGBA
  PutChunk(file, "IHDR", ihdr, sizeof ihdr);
  PutChunk(file, "IDAT", packed.data(), packedSize);
  PutChunk(file, "IEND", nullptr, 0);

  FILE *f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
  ok = (std::fclose(f) == 0) && ok;
  return ok;
}
