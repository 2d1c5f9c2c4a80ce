// The DDS reader against files written by an independent tool (ImageMagick's convert)
// and by hand, and against truncated and hostile files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/d3dx/d3dx.h"
#include "platform/d3dx/dds.h"

namespace {

namespace fs = std::filesystem;

bool HaveConvert() { return std::system("command -v convert >/dev/null 2>&1") == 0; }

fs::path WorkDir() {
  fs::path dir = fs::temp_directory_path() / ("qr-dds-" + std::to_string(getpid()));
  fs::create_directories(dir);
  return dir;
}

// The working folder goes when the tests end.
struct RemoveWorkDir : ::testing::Environment {
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(WorkDir(), ignored);
  }
};
[[maybe_unused]] ::testing::Environment *const removeWorkDir =
    ::testing::AddGlobalTestEnvironment(new RemoveWorkDir);

std::vector<uint8_t> ReadAll(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// A smooth test picture of odd size (partial DXT blocks at the right and bottom), as
// 0xAARRGGBB; with alpha it runs from clear at the top-left to opaque at the bottom-right.
std::vector<uint32_t> TestPicture(uint32_t w, uint32_t h, bool alpha) {
  std::vector<uint32_t> pixels(size_t(w) * h);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      uint32_t r = x * 255 / (w - 1), g = y * 255 / (h - 1), b = 255 - (r + g) / 2;
      uint32_t a = alpha ? (x + y) * 255 / (w + h - 2) : 255;
      pixels[size_t(y) * w + x] = a << 24 | r << 16 | g << 8 | b;
    }
  }
  return pixels;
}

// Runs convert on the picture (as raw RGBA) with the given options; returns the DDS path.
fs::path ConvertToDds(const std::vector<uint32_t> &pixels, uint32_t w, uint32_t h, const std::string &name,
                      const std::string &options) {
  fs::path dir = WorkDir();
  std::vector<uint8_t> raw;
  for (uint32_t p : pixels) {
    raw.push_back(uint8_t(p >> 16));
    raw.push_back(uint8_t(p >> 8));
    raw.push_back(uint8_t(p));
    raw.push_back(uint8_t(p >> 24));
  }
  WriteAll(dir / (name + ".rgba"), raw);
  fs::path out = dir / (name + ".dds");
  std::string command = "convert -size " + std::to_string(w) + "x" + std::to_string(h) + " -depth 8 rgba:" +
                        (dir / (name + ".rgba")).string() + " " + options + " " + out.string();
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return out;
}

// convert's own reading of a DDS file, as 0xAARRGGBB.
std::vector<uint32_t> ConvertDecode(const fs::path &dds) {
  fs::path raw = dds;
  raw.replace_extension(".decoded");
  std::string command = "convert " + dds.string() + " -depth 8 rgba:" + raw.string();
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::vector<uint8_t> bytes = ReadAll(raw);
  std::vector<uint32_t> pixels(bytes.size() / 4);
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = uint32_t(bytes[4 * i + 3]) << 24 | uint32_t(bytes[4 * i]) << 16 | uint32_t(bytes[4 * i + 1]) << 8 |
                bytes[4 * i + 2];
  }
  return pixels;
}

int Channel(uint32_t p, int i) { return int((p >> (8 * i)) & 0xFF); }

// Largest difference of any channel, and the mean difference over all channels.
void Compare(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b, int &worst, double &mean) {
  worst = 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    for (int c = 0; c < 4; ++c) {
      int d = std::abs(Channel(a[i], c) - Channel(b[i], c));
      worst = std::max(worst, d);
      sum += d;
    }
  }
  mean = a.empty() ? 0 : sum / (4.0 * a.size());
}

// A DDS header written by hand: 124 bytes after the magic, little-endian.
struct Header {
  uint8_t bytes[128] = {};
  void Set(int offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = uint8_t(v >> (8 * i));
  }
};

Header MaskedHeader(uint32_t w, uint32_t h, uint32_t levels, uint32_t pixelFlags, uint32_t bits, uint32_t r,
                    uint32_t g, uint32_t b, uint32_t a) {
  Header header;
  header.Set(0, 0x20534444);
  header.Set(4, 124);
  header.Set(8, 0x1007 | (levels > 1 ? 0x20000 : 0));
  header.Set(12, h);
  header.Set(16, w);
  header.Set(28, levels);
  header.Set(76, 32);
  header.Set(80, pixelFlags);
  header.Set(88, bits);
  header.Set(92, r);
  header.Set(96, g);
  header.Set(100, b);
  header.Set(104, a);
  header.Set(108, 0x1000);
  return header;
}

std::vector<uint8_t> WithPixels(const Header &header, const std::vector<uint8_t> &pixels) {
  std::vector<uint8_t> file(header.bytes, header.bytes + 128);
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

bool Decode(const std::vector<uint8_t> &file, DdsImage &image, std::string &error) {
  return DdsDecode(file.data(), file.size(), image, error);
}

constexpr uint32_t W = 37, H = 21;

}  // namespace

TEST(DdsFromConvert, UncompressedFilesMatchTheirSourceExactly) {
  if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  for (bool alpha : {true, false}) {
    std::vector<uint32_t> source = TestPicture(W, H, alpha);
    fs::path file = ConvertToDds(source, W, H, alpha ? "argb" : "rgb",
                                 std::string(alpha ? "" : "-alpha off ") +
                                     "-define dds:compression=none -define dds:mipmaps=0");
    DdsImage image;
    std::string error;
    ASSERT_TRUE(DdsLoadFile(file.c_str(), image, error)) << error;
    EXPECT_EQ(image.width, W);
    EXPECT_EQ(image.height, H);
    EXPECT_EQ(image.format, alpha ? 21u : 20u);  // A8R8G8B8, R8G8B8
    ASSERT_EQ(image.levels.size(), 1u);
    EXPECT_EQ(image.levels[0], source) << (alpha ? "32-bit" : "24-bit");
  }
}

TEST(DdsFromConvert, BlockCompressedFilesMatchWithinTheFormatsError) {
  if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  struct Case {
    const char *compression;
    bool alpha;
    uint32_t format;
  } cases[] = {{"dxt1", false, 0x31545844}, {"dxt5", true, 0x35545844}};
  for (const Case &c : cases) {
    std::vector<uint32_t> source = TestPicture(W, H, c.alpha);
    fs::path file = ConvertToDds(source, W, H, c.compression,
                                 std::string("-define dds:compression=") + c.compression + " -define dds:mipmaps=0");
    DdsImage image;
    std::string error;
    ASSERT_TRUE(DdsLoadFile(file.c_str(), image, error)) << error;
    EXPECT_EQ(image.format, c.format);
    ASSERT_EQ(image.levels[0].size(), source.size());
    int worst;
    double mean;
    // Against the picture: 5:6:5 end points and 2-bit (colour) or 3-bit (alpha) steps.
    Compare(image.levels[0], source, worst, mean);
    EXPECT_LE(worst, 24) << c.compression;
    EXPECT_LE(mean, 4.0) << c.compression;
    // Against the writer's own reading of the same blocks: only rounding may differ.
    Compare(image.levels[0], ConvertDecode(file), worst, mean);
    EXPECT_LE(worst, 2) << c.compression;
  }
}

// DXT3 keeps colour blocks like DXT5's and an explicit 4-bit alpha per texel. convert
// does not write it, so we take its DXT5 colour blocks and set the alpha ourselves.
TEST(DdsFromConvert, Dxt3ExplicitAlphaIsExactAndColoursFollowTheBlocks) {
  if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  std::vector<uint32_t> source = TestPicture(W, H, true);
  fs::path dxt5 = ConvertToDds(source, W, H, "for-dxt3", "-define dds:compression=dxt5 -define dds:mipmaps=0");
  std::vector<uint8_t> file = ReadAll(dxt5);
  ASSERT_EQ(file.size(), 128u + ((W + 3) / 4) * ((H + 3) / 4) * 16);
  file[84 + 3] = '3';
  uint32_t blocksWide = (W + 3) / 4;
  for (size_t block = 0; (128 + block * 16) < file.size(); ++block) {
    uint8_t *alpha = &file[128 + block * 16];
    for (int i = 0; i < 16; ++i) {
      uint32_t x = uint32_t(block % blocksWide) * 4 + i % 4, y = uint32_t(block / blocksWide) * 4 + i / 4;
      uint32_t a4 = (x < W && y < H) ? (source[y * W + x] >> 28) : 0;
      if (i % 2 == 0) alpha[i / 2] = uint8_t(a4);
      else alpha[i / 2] |= uint8_t(a4 << 4);
    }
  }
  DdsImage image;
  std::string error;
  ASSERT_TRUE(Decode(file, image, error)) << error;
  DdsImage asDxt5;
  ASSERT_TRUE(DdsLoadFile(dxt5.c_str(), asDxt5, error)) << error;
  for (size_t i = 0; i < source.size(); ++i) {
    EXPECT_EQ(image.levels[0][i] >> 24, (source[i] >> 28) * 17) << i;
    EXPECT_EQ(image.levels[0][i] & 0xFFFFFF, asDxt5.levels[0][i] & 0xFFFFFF) << i;
  }
}

TEST(DdsFromConvert, MipLevelsOfTheFileAreAllRead) {
  if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  std::vector<uint32_t> source = TestPicture(32, 16, true);
  fs::path file = ConvertToDds(source, 32, 16, "mips", "-define dds:compression=none -define dds:mipmaps=3");
  DdsImage image;
  std::string error;
  ASSERT_TRUE(DdsLoadFile(file.c_str(), image, error)) << error;
  ASSERT_EQ(image.levels.size(), 4u);
  for (uint32_t level = 0; level < 4; ++level) {
    EXPECT_EQ(image.levels[level].size(), size_t(32 >> level) * (16 >> level));
  }
  EXPECT_EQ(image.levels[0], source);
  // The writer's smaller levels are the picture shrunk: the top-left stays dark red-free,
  // the bottom-right bright, as in the source.
  EXPECT_LT(Channel(image.levels[3][0], 2), 64);
  EXPECT_GT(Channel(image.levels[3].back(), 2), 160);
}

// Formats convert does not write, made by hand from the quantised picture.
TEST(DdsByHand, SixteenBitLuminanceAndAlphaFormatsWidenToEightBits) {
  struct Case {
    const char *name;
    uint32_t flags, bits, r, g, b, a;
  } cases[] = {
      {"R5G6B5", 0x40, 16, 0xF800, 0x07E0, 0x001F, 0},
      {"A1R5G5B5", 0x41, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},
      {"A4R4G4B4", 0x41, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},
      {"X8R8G8B8", 0x40, 32, 0xFF0000, 0xFF00, 0xFF, 0},
      {"A8B8G8R8", 0x41, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
      {"L8", 0x20000, 8, 0xFF, 0, 0, 0},
      {"A8L8", 0x20001, 16, 0xFF, 0, 0, 0xFF00},
      {"A8", 0x2, 8, 0, 0, 0, 0xFF},
  };
  std::vector<uint32_t> source = TestPicture(W, H, true);
  for (const Case &c : cases) {
    auto field = [](uint32_t value8, uint32_t mask) -> uint32_t {
      if (!mask) return 0;
      int shift = __builtin_ctz(mask);
      uint32_t max = mask >> shift;
      return ((value8 * max + 127) / 255) << shift;
    };
    auto widen = [](uint32_t pixel, uint32_t mask) -> int {
      int shift = __builtin_ctz(mask);
      uint32_t max = mask >> shift;
      return int(((pixel & mask) >> shift) * 255.0 / max + 0.5);
    };
    bool luminance = c.flags & 0x20000;
    std::vector<uint8_t> pixels;
    std::vector<uint32_t> stored;
    for (uint32_t p : source) {
      uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF, a = p >> 24;
      uint32_t v = luminance ? field(g, c.r) : field(r, c.r) | field(g, c.g) | field(b, c.b);
      v |= field(a, c.a);
      stored.push_back(v);
      for (uint32_t i = 0; i < c.bits / 8; ++i) pixels.push_back(uint8_t(v >> (8 * i)));
    }
    DdsImage image;
    std::string error;
    ASSERT_TRUE(Decode(WithPixels(MaskedHeader(W, H, 1, c.flags, c.bits, c.r, c.g, c.b, c.a), pixels), image, error))
        << c.name << ": " << error;
    for (size_t i = 0; i < source.size(); ++i) {
      uint32_t got = image.levels[0][i];
      int r = c.r ? widen(stored[i], c.r) : 0;
      int g = luminance ? r : (c.g ? widen(stored[i], c.g) : 0);
      int b = luminance ? r : (c.b ? widen(stored[i], c.b) : 0);
      int a = c.a ? widen(stored[i], c.a) : 255;
      ASSERT_EQ(got, uint32_t(a << 24 | r << 16 | g << 8 | b)) << c.name << " pixel " << i;
    }
  }
}

TEST(DdsByHand, OwnMipLevelsAreKeptAsTheyStand) {
  // Level 0 grey, level 1 red, level 2 green: nothing like each other, so a reader that
  // recomputed the chain would be caught.
  const uint32_t colours[3] = {0xFF808080, 0xFFFF0000, 0xFF00FF00};
  std::vector<uint8_t> pixels;
  for (uint32_t level = 0; level < 3; ++level) {
    for (uint32_t i = 0; i < (8u >> level) * (4u >> level); ++i) {
      for (int b = 0; b < 4; ++b) pixels.push_back(uint8_t(colours[level] >> (8 * b)));
    }
  }
  DdsImage image;
  std::string error;
  ASSERT_TRUE(Decode(WithPixels(MaskedHeader(8, 4, 3, 0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), pixels),
                     image, error))
      << error;
  ASSERT_EQ(image.levels.size(), 3u);
  for (uint32_t level = 0; level < 3; ++level) {
    EXPECT_EQ(image.levels[level], std::vector<uint32_t>((8u >> level) * (4u >> level), colours[level]));
  }
}

TEST(DdsHostile, EveryTruncationOfAValidFileFailsCleanly) {
  // An uncompressed file with three levels and a DXT5 file with partial blocks.
  std::vector<std::vector<uint8_t>> files;
  files.push_back(WithPixels(MaskedHeader(8, 4, 3, 0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
                             std::vector<uint8_t>((32 + 8 + 2) * 4, 0x5A)));
  Header dxt = MaskedHeader(6, 5, 1, 0x4, 0, 0, 0, 0, 0);
  dxt.Set(84, 0x35545844);
  files.push_back(WithPixels(dxt, std::vector<uint8_t>(4 * 16, 0xA5)));
  fs::path path = WorkDir() / "truncated.dds";
  for (const std::vector<uint8_t> &file : files) {
    DdsImage image;
    std::string error;
    ASSERT_TRUE(Decode(file, image, error)) << error;
    for (size_t n = 0; n < file.size(); ++n) {
      // The buffer is exactly n bytes long, so the sanitizer sees any read past it.
      std::vector<uint8_t> cut(file.begin(), file.begin() + long(n));
      error.clear();
      EXPECT_FALSE(DdsDecode(cut.empty() ? nullptr : cut.data(), cut.size(), image, error)) << n;
      EXPECT_FALSE(error.empty()) << n;
      if (n % 7 == 0) {
        WriteAll(path, cut);
        EXPECT_FALSE(DdsLoadFile(path.c_str(), image, error)) << n;
      }
    }
  }
}

TEST(DdsHostile, BadHeadersAreRefusedWithAReason) {
  auto valid = [] { return MaskedHeader(8, 4, 1, 0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000); };
  struct Case {
    const char *what;
    int offset;
    uint32_t value;
    const char *reason;
  } cases[] = {
      {"wrong magic", 0, 0x20534443, "magic"},
      {"header size", 4, 100, "header size"},
      {"pixel format size", 76, 0, "pixel format size"},
      {"zero width", 16, 0, "outside"},
      {"huge height", 12, 100000, "outside"},
      {"all-ones width", 16, 0xFFFFFFFF, "outside"},
      {"mip count beyond the size", 28, 5, "beyond"},
      {"absurd mip count", 28, 0xFFFFFFFF, "beyond"},
      {"bit count 0", 88, 0, "bit count"},
      {"bit count 7", 88, 7, "bit count"},
      {"bit count 64", 88, 64, "bit count"},
      {"split mask", 92, 0xF0F000, "one run"},
      {"no format at all", 80, 0, "no known format"},
      {"palette", 80, 0x20, "palette"},
      {"cube map", 112, 0x200 | 0xFC00, "cube"},
  };
  for (const Case &c : cases) {
    Header header = valid();
    header.Set(8, 0x21007);  // mip count honoured
    header.Set(c.offset, c.value);
    std::vector<uint8_t> file = WithPixels(header, std::vector<uint8_t>(8 * 4 * 4 * 2, 0));
    DdsImage image;
    std::string error;
    EXPECT_FALSE(Decode(file, image, error)) << c.what;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
  }
  // A 16-bit pixel whose alpha mask points past its two bytes.
  Header wide = MaskedHeader(8, 4, 1, 0x41, 16, 0xF800, 0x7E0, 0x1F, 0x10000);
  DdsImage image;
  std::string error;
  EXPECT_FALSE(Decode(WithPixels(wide, std::vector<uint8_t>(64, 0)), image, error));
  EXPECT_NE(error.find("outside"), std::string::npos) << error;

  Header unknown = valid();
  unknown.Set(80, 0x4);
  unknown.Set(84, 0x30315844);  // "DX10"
  EXPECT_FALSE(Decode(WithPixels(unknown, std::vector<uint8_t>(512, 0)), image, error));
  EXPECT_NE(error.find("DX10"), std::string::npos) << error;
}

TEST(DdsHostile, ALargeClaimInASmallFileAllocatesNothing) {
  // 8192 x 8192 at 32 bits would be 256 MiB: the reader must see the file is short first.
  Header header = MaskedHeader(8192, 8192, 14, 0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
  fs::path path = WorkDir() / "claims-much.dds";
  WriteAll(path, WithPixels(header, std::vector<uint8_t>(64, 0)));
  DdsImage image;
  std::string error;
  EXPECT_FALSE(DdsLoadFile(path.c_str(), image, error));
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;
  EXPECT_TRUE(image.levels.empty());
  EXPECT_FALSE(DdsLoadFile((WorkDir() / "absent.dds").c_str(), image, error));
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
  EXPECT_FALSE(DdsLoadFile(WorkDir().c_str(), image, error));  // a directory
}

TEST(DdsHostile, RandomHeaderDamageNeverReadsOutOfBounds) {
  std::vector<uint8_t> good = WithPixels(MaskedHeader(8, 4, 3, 0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
                                         std::vector<uint8_t>((32 + 8 + 2) * 4, 0x77));
  std::mt19937 random(12345);
  for (int round = 0; round < 4000; ++round) {
    std::vector<uint8_t> file = good;
    int changes = 1 + int(random() % 4);
    for (int i = 0; i < changes; ++i) file[4 + random() % 124] = uint8_t(random());
    if (random() % 3 == 0) file.resize(random() % file.size());
    DdsImage image;
    std::string error;
    if (Decode(file, image, error)) {
      ASSERT_FALSE(image.levels.empty());
      for (size_t level = 0; level < image.levels.size(); ++level) {
        ASSERT_EQ(image.levels[level].size(),
                  size_t(MipExtent(image.width, uint32_t(level))) * MipExtent(image.height, uint32_t(level)));
      }
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}

TEST(ImageFilters, HalvingAveragesAndResizingKeepsTheEnds) {
  const uint32_t square[4] = {0xFF000000, 0xFFFFFFFF, 0x00000000, 0x80FF0000};
  uint32_t out[1];
  ImageHalve(square, 2, 2, out);
  EXPECT_EQ(out[0], 0xA0804040u);  // alpha (255+255+0+128)/4 and red (0+255+0+255)/4 round up
  const uint32_t column[4] = {0xFF000000, 0xFF101010, 0xFF202020, 0xFF303030};
  uint32_t halved[2];
  ImageHalve(column, 1, 4, halved);  // a 1-wide image halves only in height
  EXPECT_EQ(halved[0], 0xFF080808u);
  EXPECT_EQ(halved[1], 0xFF282828u);

  // Scaling 3 texels up to 4 keeps the outer texels at the ends and stays monotonic.
  const uint32_t ramp[3] = {0xFF000000, 0xFF808080, 0xFFFFFFFF};
  uint32_t wide[4];
  ImageResizeLinear(ramp, 3, 1, wide, 4, 1);
  EXPECT_EQ(wide[0], 0xFF000000u);
  EXPECT_EQ(wide[3], 0xFFFFFFFFu);
  EXPECT_LT(wide[1] & 0xFF, wide[2] & 0xFF);
}

// The loader on the reference device, which takes only power-of-two textures.
namespace {

IDirect3DDevice8 *ReferenceDevice() {
  static IDirect3DDevice8 *device;
  if (device) return device;
  IDirect3D8 *direct3D = Direct3DCreate8(220);
  if (direct3D == nullptr) return nullptr;
  D3DPRESENT_PARAMETERS params = {};
  params.BackBufferWidth = 64;
  params.BackBufferHeight = 64;
  params.BackBufferFormat = D3DFMT_X8R8G8B8;
  params.BackBufferCount = 1;
  params.SwapEffect = D3DSWAPEFFECT_COPY;
  params.Windowed = TRUE;
  direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params,
                         &device);
  return device;
}

std::vector<uint32_t> ReadLevel(IDirect3DTexture8 *texture, UINT level, UINT &w, UINT &h) {
  D3DSURFACE_DESC desc = {};
  texture->GetLevelDesc(level, &desc);
  w = desc.Width;
  h = desc.Height;
  std::vector<uint32_t> pixels(size_t(w) * h);
  D3DLOCKED_RECT locked = {};
  if (FAILED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY))) return {};
  for (UINT y = 0; y < h; ++y) {
    std::memcpy(&pixels[size_t(y) * w], static_cast<uint8_t *>(locked.pBits) + size_t(locked.Pitch) * y, w * 4);
  }
  texture->UnlockRect(level);
  return pixels;
}

HRESULT LoadTexture(IDirect3DDevice8 *device, const fs::path &file, IDirect3DTexture8 **texture,
                    D3DXIMAGE_INFO *info = nullptr) {
  return D3DXCreateTextureFromFileExA(device, file.c_str(), 0, 0, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                      D3DX_FILTER_LINEAR, D3DX_FILTER_LINEAR, 0, info, nullptr, texture);
}

}  // namespace

TEST(TextureFromFile, AnOddSizedImageIsScaledIntoAPowerOfTwoTextureWithAFullChain) {
  IDirect3DDevice8 *device = ReferenceDevice();
  ASSERT_NE(device, nullptr);
  // Four flat quadrants, so the scaled picture can be checked at its corners.
  const uint32_t w = 37, h = 21, quadrant[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0x80FFFFFF};
  std::vector<uint8_t> pixels;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      uint32_t c = quadrant[(y * 2 / h) * 2 + x * 2 / w];
      for (int b = 0; b < 4; ++b) pixels.push_back(uint8_t(c >> (8 * b)));
    }
  }
  fs::path file = WorkDir() / "odd.dds";
  WriteAll(file, WithPixels(MaskedHeader(w, h, 1, 0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), pixels));
  IDirect3DTexture8 *texture = nullptr;
  D3DXIMAGE_INFO info = {};
  ASSERT_EQ(LoadTexture(device, file, &texture, &info), D3D_OK);
  EXPECT_EQ(info.Width, w);
  EXPECT_EQ(info.Height, h);
  EXPECT_EQ(info.MipLevels, 1u);
  EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
  ASSERT_EQ(texture->GetLevelCount(), 7u);  // 64 x 32 down to 1 x 1
  UINT tw, th;
  std::vector<uint32_t> top = ReadLevel(texture, 0, tw, th);
  EXPECT_EQ(tw, 64u);
  EXPECT_EQ(th, 32u);
  EXPECT_EQ(top[0], quadrant[0]);
  EXPECT_EQ(top[63], quadrant[1]);
  EXPECT_EQ(top[31 * 64], quadrant[2]);
  EXPECT_EQ(top[31 * 64 + 63], quadrant[3]);
  // The last level is the average of the whole picture.
  std::vector<uint32_t> last = ReadLevel(texture, 6, tw, th);
  ASSERT_EQ(last.size(), 1u);
  EXPECT_NEAR(int(last[0] >> 24), (255 * 3 + 128) / 4, 6);
  EXPECT_NEAR(int((last[0] >> 16) & 0xFF), (255 + 255) / 4, 6);
  texture->Release();
}

TEST(TextureFromFile, TheFilesOwnLevelsAreKeptAndTheRestComputed) {
  IDirect3DDevice8 *device = ReferenceDevice();
  ASSERT_NE(device, nullptr);
  const uint32_t colours[3] = {0xFF808080, 0xFFFF0000, 0xFF00FF00};
  std::vector<uint8_t> pixels;
  for (uint32_t level = 0; level < 3; ++level) {
    for (uint32_t i = 0; i < (8u >> level) * (4u >> level); ++i) {
      for (int b = 0; b < 4; ++b) pixels.push_back(uint8_t(colours[level] >> (8 * b)));
    }
  }
  fs::path file = WorkDir() / "own-levels.dds";
  WriteAll(file, WithPixels(MaskedHeader(8, 4, 3, 0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), pixels));
  IDirect3DTexture8 *texture = nullptr;
  ASSERT_EQ(LoadTexture(device, file, &texture), D3D_OK);
  ASSERT_EQ(texture->GetLevelCount(), 4u);
  for (UINT level = 0; level < 4; ++level) {
    UINT w, h;
    std::vector<uint32_t> got = ReadLevel(texture, level, w, h);
    EXPECT_EQ(got, std::vector<uint32_t>(size_t(w) * h, colours[level < 3 ? level : 2])) << level;
  }
  texture->Release();
}

TEST(TextureFromFile, AFileThatCannotBeReadLeavesTheSlotEmpty) {
  IDirect3DDevice8 *device = ReferenceDevice();
  ASSERT_NE(device, nullptr);
  IDirect3DTexture8 *slot = nullptr;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(FAILED(LoadTexture(device, WorkDir() / "no-such-file.dds", &slot)));
  WriteAll(WorkDir() / "short.dds", std::vector<uint8_t>{'D', 'D', 'S', ' ', 124, 0});
  EXPECT_TRUE(FAILED(LoadTexture(device, WorkDir() / "short.dds", &slot)));
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(slot, nullptr);
  EXPECT_NE(said.find("no-such-file.dds: cannot open"), std::string::npos) << said;
  EXPECT_NE(said.find("short.dds: truncated header"), std::string::npos) << said;
  EXPECT_EQ(D3DXCreateTextureFromFileExA(device, nullptr, 0, 0, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 3, 3, 0,
                                         nullptr, nullptr, &slot),
            D3DERR_INVALIDCALL);
}
