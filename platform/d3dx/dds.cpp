// Our DirectDraw Surface reader: uncompressed RGB, luminance and alpha formats of 8 to
// 32 bits described by channel masks, and the DXT1, DXT3 and DXT5 block formats, each
// mip level converted to A8R8G8B8. Plus the box and bilinear filters of the texture
// loader.
#include "platform/d3dx/dds.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "base/file_check.h"

namespace {

constexpr uint32_t HeaderBytes = 128;   // magic and the 124-byte header
constexpr uint32_t Magic = 0x20534444;  // "DDS "

constexpr uint32_t FlagMipMapCount = 0x20000;
constexpr uint32_t FlagDepth = 0x800000;
constexpr uint32_t PixelAlphaPixels = 0x1;
constexpr uint32_t PixelAlpha = 0x2;
constexpr uint32_t PixelFourCC = 0x4;
constexpr uint32_t PixelPaletteIndexed8 = 0x20;
constexpr uint32_t PixelRgb = 0x40;
constexpr uint32_t PixelYuv = 0x200;
constexpr uint32_t PixelLuminance = 0x20000;
constexpr uint32_t Caps2Cubemap = 0x200;
constexpr uint32_t Caps2Volume = 0x200000;

constexpr uint32_t FourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
         uint32_t(uint8_t(d)) << 24;
}

uint32_t Read32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

enum class Kind { Masked, Dxt1, Dxt3, Dxt5 };

// One channel of a masked format: where it sits and how to widen it to 8 bits.
struct Channel {
  uint32_t mask = 0;
  uint32_t shift = 0;
  uint32_t max = 0;  // largest value of the field; 0 when the channel is absent
};

struct Layout {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t levelCount = 1;
  Kind kind = Kind::Masked;
  uint32_t bytesPerPixel = 0;  // masked formats
  bool luminance = false;
  Channel red, green, blue, alpha;
  uint32_t format = 0;
  uint64_t levelBytes[32] = {};
  uint64_t totalBytes = 0;
};

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", v);
  return text;
}

bool MakeChannel(uint32_t mask, uint32_t bits, Channel &channel, const char *name, std::string &error) {
  channel = Channel{};
  if (mask == 0) return true;
  if (bits < 32 && (mask >> bits) != 0) {
    error = std::string(name) + " mask " + Hex(mask) + " lies outside the " + std::to_string(bits) + "-bit pixel";
    return false;
  }
  uint32_t shift = uint32_t(std::countr_zero(mask));
  uint32_t field = mask >> shift;
  if ((field & (field + 1)) != 0) {
    error = std::string(name) + " mask " + Hex(mask) + " is not one run of bits";
    return false;
  }
  channel.mask = mask;
  channel.shift = shift;
  channel.max = field;
  return true;
}

// Widens a channel value to 8 bits with rounding; 8-bit fields come through unchanged.
inline uint32_t Widen(uint32_t pixel, const Channel &c) {
  uint32_t v = (pixel & c.mask) >> c.shift;
  if (c.max == 255) return v;
  return uint32_t((uint64_t(v) * 255 + c.max / 2) / c.max);
}

// The Direct3D format code that names the file's layout, for the loader's report.
uint32_t FormatCode(const Layout &l, uint32_t pixelFlags, uint32_t fourCC, uint32_t bitCount, const uint8_t *h) {
  if (l.kind != Kind::Masked) return fourCC;
  uint32_t r = Read32(h + 92), g = Read32(h + 96), b = Read32(h + 100), a = l.alpha.mask;
  if (pixelFlags & PixelLuminance) {
    if (bitCount == 8 && r == 0xFF) return 50;                          // L8
    if (bitCount == 16 && r == 0xFF && a == 0xFF00) return 51;          // A8L8
    if (bitCount == 8 && r == 0x0F && a == 0xF0) return 52;             // A4L4
    return 0;
  }
  if (!(pixelFlags & PixelRgb)) return bitCount == 8 && a == 0xFF ? 28 : 0;  // A8
  if (bitCount == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF) return a == 0xFF000000u ? 21 : 22;
  if (bitCount == 24 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF) return 20;
  if (bitCount == 16 && r == 0xF800 && g == 0x7E0 && b == 0x1F) return 23;
  if (bitCount == 16 && r == 0x7C00 && g == 0x3E0 && b == 0x1F) return a == 0x8000 ? 25 : 24;
  if (bitCount == 16 && r == 0xF00 && g == 0xF0 && b == 0xF) return a == 0xF000 ? 26 : 30;
  return 0;
}

bool ParseHeader(const uint8_t *h, uint64_t fileSize, Layout &layout, std::string &error) {
  if (fileSize < 4 || Read32(h) != Magic) {
    error = "not a DDS file (wrong magic)";
    return false;
  }
  if (fileSize < HeaderBytes) {
    error = "truncated header (" + std::to_string(fileSize) + " of 128 bytes)";
    return false;
  }
  if (Read32(h + 4) != 124) {
    error = "header size " + std::to_string(Read32(h + 4)) + " is not 124";
    return false;
  }
  if (Read32(h + 76) != 32) {
    error = "pixel format size " + std::to_string(Read32(h + 76)) + " is not 32";
    return false;
  }
  uint32_t flags = Read32(h + 8);
  layout.height = Read32(h + 12);
  layout.width = Read32(h + 16);
  uint32_t mipCount = Read32(h + 28);
  uint32_t pixelFlags = Read32(h + 80);
  uint32_t fourCC = Read32(h + 84);
  uint32_t bitCount = Read32(h + 88);
  uint32_t caps2 = Read32(h + 112);

  if (layout.width == 0 || layout.height == 0 || layout.width > DdsMaxDimension ||
      layout.height > DdsMaxDimension) {
    error = "size " + std::to_string(layout.width) + " x " + std::to_string(layout.height) +
            " is outside 1 to " + std::to_string(DdsMaxDimension);
    return false;
  }
  if ((caps2 & (Caps2Cubemap | Caps2Volume)) || ((flags & FlagDepth) && Read32(h + 24) > 1)) {
    error = "cube maps and volume textures are not supported";
    return false;
  }
  uint32_t fullChain = uint32_t(std::bit_width(layout.width > layout.height ? layout.width : layout.height));
  layout.levelCount = 1;
  if ((flags & FlagMipMapCount) && mipCount > 1) {
    if (mipCount > fullChain) {
      error = "mip count " + std::to_string(mipCount) + " is beyond the " + std::to_string(fullChain) +
              " levels of a " + std::to_string(layout.width) + " x " + std::to_string(layout.height) + " image";
      return false;
    }
    layout.levelCount = mipCount;
  }

  if (pixelFlags & PixelFourCC) {
    if (fourCC == FourCC('D', 'X', 'T', '1')) {
      layout.kind = Kind::Dxt1;
    } else if (fourCC == FourCC('D', 'X', 'T', '3')) {
      layout.kind = Kind::Dxt3;
    } else if (fourCC == FourCC('D', 'X', 'T', '5')) {
      layout.kind = Kind::Dxt5;
    } else {
      char code[5] = {};
      for (int i = 0; i < 4; ++i) {
        char ch = char((fourCC >> (8 * i)) & 0xFF);
        code[i] = (ch >= 32 && ch < 127) ? ch : '?';
      }
      error = std::string("compressed format '") + code + "' (" + Hex(fourCC) + ") is not supported";
      return false;
    }
  } else if (pixelFlags & (PixelRgb | PixelLuminance | PixelAlpha)) {
    if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) {
      error = "bit count " + std::to_string(bitCount) + " is not 8, 16, 24 or 32";
      return false;
    }
    layout.kind = Kind::Masked;
    layout.bytesPerPixel = bitCount / 8;
    layout.luminance = (pixelFlags & PixelLuminance) != 0;
    bool hasAlpha = (pixelFlags & (PixelAlphaPixels | PixelAlpha)) != 0;
    bool colour = (pixelFlags & (PixelRgb | PixelLuminance)) != 0;
    if (colour && !MakeChannel(Read32(h + 92), bitCount, layout.red, "red", error)) return false;
    if ((pixelFlags & PixelRgb) && !(pixelFlags & PixelLuminance)) {
      if (!MakeChannel(Read32(h + 96), bitCount, layout.green, "green", error)) return false;
      if (!MakeChannel(Read32(h + 100), bitCount, layout.blue, "blue", error)) return false;
    }
    if (hasAlpha && !MakeChannel(Read32(h + 104), bitCount, layout.alpha, "alpha", error)) return false;
    if (colour && layout.red.max == 0 && layout.green.max == 0 && layout.blue.max == 0) {
      error = "colour format without any colour mask";
      return false;
    }
    if (!colour && layout.alpha.max == 0) {
      error = "alpha format without an alpha mask";
      return false;
    }
  } else if (pixelFlags & PixelPaletteIndexed8) {
    error = "palette images are not supported";
    return false;
  } else if (pixelFlags & PixelYuv) {
    error = "YUV images are not supported";
    return false;
  } else {
    error = "pixel format flags " + Hex(pixelFlags) + " name no known format";
    return false;
  }

  layout.format = FormatCode(layout, pixelFlags, fourCC, bitCount, h);
  layout.totalBytes = 0;
  for (uint32_t level = 0; level < layout.levelCount; ++level) {
    uint64_t w = MipExtent(layout.width, level);
    uint64_t hgt = MipExtent(layout.height, level);
    uint64_t bytes;
    if (layout.kind == Kind::Masked) {
      bytes = w * hgt * layout.bytesPerPixel;
    } else {
      uint64_t blocks = ((w + 3) / 4) * ((hgt + 3) / 4);
      bytes = blocks * (layout.kind == Kind::Dxt1 ? 8 : 16);
    }
    layout.levelBytes[level] = bytes;
    layout.totalBytes += bytes;
  }
  if (fileSize - HeaderBytes < layout.totalBytes) {
    error = "truncated: the header promises " + std::to_string(layout.totalBytes + HeaderBytes) +
            " bytes, the file holds " + std::to_string(fileSize);
    return false;
  }
  return true;
}

void DecodeMasked(const Layout &l, const uint8_t *src, uint32_t w, uint32_t h, uint32_t *dst) {
  size_t count = size_t(w) * h;
  for (size_t i = 0; i < count; ++i, src += l.bytesPerPixel) {
    uint32_t pixel = 0;
    for (uint32_t b = 0; b < l.bytesPerPixel; ++b) pixel |= uint32_t(src[b]) << (8 * b);
    uint32_t r = l.red.max ? Widen(pixel, l.red) : 0;
    uint32_t g, b;
    if (l.luminance) {
      g = b = r;
    } else {
      g = l.green.max ? Widen(pixel, l.green) : 0;
      b = l.blue.max ? Widen(pixel, l.blue) : 0;
    }
    uint32_t a = l.alpha.max ? Widen(pixel, l.alpha) : 255;
    dst[i] = a << 24 | r << 16 | g << 8 | b;
  }
}

uint32_t Expand565(uint32_t c) {
  uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
  r = (r << 3) | (r >> 2);
  g = (g << 2) | (g >> 4);
  b = (b << 3) | (b >> 2);
  return r << 16 | g << 8 | b;
}

uint32_t Mix(uint32_t c0, uint32_t c1, uint32_t w0, uint32_t w1, uint32_t div) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    uint32_t a = (c0 >> shift) & 0xFF, b = (c1 >> shift) & 0xFF;
    out |= ((a * w0 + b * w1 + div / 2) / div) << shift;
  }
  return out;
}

// The colour half of a block: two 5:6:5 end points and sixteen 2-bit indices.
void DecodeColourBlock(const uint8_t *block, bool dxt1, uint32_t colours[16]) {
  uint32_t c0 = uint32_t(block[0]) | uint32_t(block[1]) << 8;
  uint32_t c1 = uint32_t(block[2]) | uint32_t(block[3]) << 8;
  uint32_t palette[4];
  palette[0] = 0xFF000000u | Expand565(c0);
  palette[1] = 0xFF000000u | Expand565(c1);
  if (!dxt1 || c0 > c1) {
    palette[2] = 0xFF000000u | Mix(palette[0], palette[1], 2, 1, 3);
    palette[3] = 0xFF000000u | Mix(palette[0], palette[1], 1, 2, 3);
  } else {
    palette[2] = 0xFF000000u | Mix(palette[0], palette[1], 1, 1, 2);
    palette[3] = 0;  // transparent black
  }
  uint32_t indices = Read32(block + 4);
  for (int i = 0; i < 16; ++i) colours[i] = palette[(indices >> (2 * i)) & 3];
}

void DecodeBlocks(const Layout &l, const uint8_t *src, uint32_t w, uint32_t h, uint32_t *dst) {
  uint32_t blocksWide = (w + 3) / 4, blocksHigh = (h + 3) / 4;
  uint32_t blockBytes = l.kind == Kind::Dxt1 ? 8 : 16;
  uint32_t texels[16];
  for (uint32_t by = 0; by < blocksHigh; ++by) {
    for (uint32_t bx = 0; bx < blocksWide; ++bx, src += blockBytes) {
      if (l.kind == Kind::Dxt1) {
        DecodeColourBlock(src, true, texels);
      } else {
        DecodeColourBlock(src + 8, false, texels);
        if (l.kind == Kind::Dxt3) {
          for (int i = 0; i < 16; ++i) {
            uint32_t a = (src[i / 2] >> (4 * (i & 1))) & 15;
            texels[i] = (texels[i] & 0xFFFFFF) | (a * 17) << 24;
          }
        } else {
          uint32_t a0 = src[0], a1 = src[1], alphas[8] = {a0, a1};
          if (a0 > a1) {
            for (uint32_t k = 1; k < 7; ++k) alphas[k + 1] = ((7 - k) * a0 + k * a1 + 3) / 7;
          } else {
            for (uint32_t k = 1; k < 5; ++k) alphas[k + 1] = ((5 - k) * a0 + k * a1 + 2) / 5;
            alphas[6] = 0;
            alphas[7] = 255;
          }
          uint64_t bits = 0;
          for (int b = 0; b < 6; ++b) bits |= uint64_t(src[2 + b]) << (8 * b);
          for (int i = 0; i < 16; ++i) {
            texels[i] = (texels[i] & 0xFFFFFF) | alphas[(bits >> (3 * i)) & 7] << 24;
          }
        }
      }
      for (uint32_t y = 0; y < 4 && by * 4 + y < h; ++y) {
        for (uint32_t x = 0; x < 4 && bx * 4 + x < w; ++x) {
          dst[size_t(by * 4 + y) * w + bx * 4 + x] = texels[y * 4 + x];
        }
      }
    }
  }
}

bool DecodeLevels(const Layout &layout, const uint8_t *pixels, DdsImage &image) {
  image.width = layout.width;
  image.height = layout.height;
  image.format = layout.format;
  image.levels.clear();
  image.levels.resize(layout.levelCount);
  for (uint32_t level = 0; level < layout.levelCount; ++level) {
    uint32_t w = MipExtent(layout.width, level), h = MipExtent(layout.height, level);
    std::vector<uint32_t> &out = image.levels[level];
    out.resize(size_t(w) * h);
    if (layout.kind == Kind::Masked) {
      DecodeMasked(layout, pixels, w, h, out.data());
    } else {
      DecodeBlocks(layout, pixels, w, h, out.data());
    }
    pixels += layout.levelBytes[level];
  }
  return true;
}

}  // namespace

bool DdsDecode(const uint8_t *data, size_t size, DdsImage &image, std::string &error) {
  Layout layout;
  if (data == nullptr) size = 0;
  if (!ParseHeader(data, size, layout, error)) return false;
  return DecodeLevels(layout, data + HeaderBytes, image);
}

bool DdsLoadFile(const char *path, DdsImage &image, std::string &error) {
  if (path == nullptr) {
    error = "no file name";
    return false;
  }
  const char *why = nullptr;
  std::FILE *file = OpenRegularFileStream(path, &why);
  if (file == nullptr) {
    error = why;
    return false;
  }
  struct stat info;
  if (fstat(fileno(file), &info) != 0) {
    std::fclose(file);
    error = "cannot read its size";
    return false;
  }
  uint64_t fileSize = uint64_t(info.st_size);
  uint8_t header[HeaderBytes] = {};
  size_t got = std::fread(header, 1, HeaderBytes, file);
  if (got < HeaderBytes) fileSize = got;  // a short file, or one that shrank under us
  Layout layout;
  if (!ParseHeader(header, fileSize, layout, error)) {
    std::fclose(file);
    return false;
  }
  // The header is checked and the file is long enough: now the pixel bytes may be read.
  std::vector<uint8_t> pixels;
  pixels.resize(size_t(layout.totalBytes));
  size_t read = std::fread(pixels.data(), 1, pixels.size(), file);
  std::fclose(file);
  if (read != pixels.size()) {
    error = "truncated while reading: " + std::to_string(read) + " of " + std::to_string(pixels.size()) +
            " pixel bytes";
    return false;
  }
  return DecodeLevels(layout, pixels.data(), image);
}

void ImageHalve(const uint32_t *src, uint32_t w, uint32_t h, uint32_t *dst) {
  uint32_t dw = MipExtent(w, 1), dh = MipExtent(h, 1);
  uint32_t stepX = w > 1 ? 2 : 1, stepY = h > 1 ? 2 : 1;
  for (uint32_t y = 0; y < dh; ++y) {
    for (uint32_t x = 0; x < dw; ++x) {
      uint32_t sums[4] = {};
      uint32_t count = 0;
      for (uint32_t j = 0; j < stepY; ++j) {
        for (uint32_t i = 0; i < stepX; ++i) {
          uint32_t sx = x * stepX + i, sy = y * stepY + j;
          if (sx >= w) sx = w - 1;
          if (sy >= h) sy = h - 1;
          uint32_t p = src[size_t(sy) * w + sx];
          for (int c = 0; c < 4; ++c) sums[c] += (p >> (8 * c)) & 0xFF;
          ++count;
        }
      }
      uint32_t out = 0;
      for (int c = 0; c < 4; ++c) out |= ((sums[c] + count / 2) / count) << (8 * c);
      dst[size_t(y) * dw + x] = out;
    }
  }
}

void ImageResizeLinear(const uint32_t *src, uint32_t sw, uint32_t sh, uint32_t *dst, uint32_t dw,
                       uint32_t dh) {
  for (uint32_t y = 0; y < dh; ++y) {
    double fy = (y + 0.5) * sh / dh - 0.5;
    if (fy < 0) fy = 0;
    uint32_t y0 = uint32_t(fy);
    if (y0 >= sh) y0 = sh - 1;
    uint32_t y1 = y0 + 1 < sh ? y0 + 1 : y0;
    double ty = fy - y0;
    for (uint32_t x = 0; x < dw; ++x) {
      double fx = (x + 0.5) * sw / dw - 0.5;
      if (fx < 0) fx = 0;
      uint32_t x0 = uint32_t(fx);
      if (x0 >= sw) x0 = sw - 1;
      uint32_t x1 = x0 + 1 < sw ? x0 + 1 : x0;
      double tx = fx - x0;
      uint32_t p00 = src[size_t(y0) * sw + x0], p10 = src[size_t(y0) * sw + x1];
      uint32_t p01 = src[size_t(y1) * sw + x0], p11 = src[size_t(y1) * sw + x1];
      uint32_t out = 0;
      for (int c = 0; c < 32; c += 8) {
        double top = ((p00 >> c) & 0xFF) * (1 - tx) + ((p10 >> c) & 0xFF) * tx;
        double bottom = ((p01 >> c) & 0xFF) * (1 - tx) + ((p11 >> c) & 0xFF) * tx;
        uint32_t v = uint32_t(top * (1 - ty) + bottom * ty + 0.5);
        out |= (v > 255 ? 255 : v) << c;
      }
      dst[size_t(y) * dw + x] = out;
    }
  }
}
