// The generated art and sounds, read back through the game's own DDS reader and the
// sound library's WAV reader: format and mip chain, cells kept clear of their borders,
// straight alpha without dark fringes, sound lengths, loudness and clean ends, and the
// same bytes from every run of the generator.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ezds/wav_reader.h"
#include "platform/d3dx/dds.h"
#include "tools/datagen_math.h"

namespace {

namespace fs = std::filesystem;

// The tests run in the build directory; QR_BUILD_DIR names it when set.
fs::path BuildDir() {
  const char *build = std::getenv("QR_BUILD_DIR");
  return build && *build ? fs::path(build) : fs::current_path();
}
fs::path DataDir() { return BuildDir() / "data"; }

// A path in double quotes for a shell command. Built by appending, so every command
// below grows from the left.
std::string Quoted(const fs::path &path) {
  std::string quoted(1, '"');
  quoted += path.string();
  quoted += '"';
  return quoted;
}

std::vector<uint8_t> ReadAll(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t U32At(const std::vector<uint8_t> &b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

int Alpha(uint32_t t) { return int(t >> 24); }
int Channel(uint32_t t, int shift) { return int((t >> shift) & 0xFF); }

struct Atlas {
  const char *file;
  std::vector<int> usedCells;
};
const Atlas kAtlases[] = {
    {"qrtex1.dds", {0, 1, 3, 5, 6, 8, 9, 10}},
    {"qrtex2.dds", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
};

DdsImage LoadAtlas(const char *file) {
  DdsImage image;
  std::string error;
  EXPECT_TRUE(DdsLoadFile((DataDir() / file).string().c_str(), image, error)) << file << ": " << error;
  return image;
}

TEST(Textures, AreA8R8G8B8WithTheFullMipChainDeclared) {
  for (const Atlas &atlas : kAtlases) {
    SCOPED_TRACE(atlas.file);
    std::vector<uint8_t> bytes = ReadAll(DataDir() / atlas.file);
    ASSERT_GE(bytes.size(), 128u);
    EXPECT_EQ(0, std::memcmp(bytes.data(), "DDS ", 4));
    EXPECT_NE(0u, U32At(bytes, 8) & 0x20000) << "DDSD_MIPMAPCOUNT";
    EXPECT_EQ(10u, U32At(bytes, 28));
    EXPECT_EQ(0x41u, U32At(bytes, 80)) << "RGB with alpha pixels";
    EXPECT_EQ(0xFF000000u, U32At(bytes, 104)) << "alpha mask";
    EXPECT_EQ(0x401008u, U32At(bytes, 108)) << "complex, mipmap, texture";

    DdsImage image = LoadAtlas(atlas.file);
    EXPECT_EQ(512u, image.width);
    EXPECT_EQ(512u, image.height);
    EXPECT_EQ(21u, image.format);  // D3DFMT_A8R8G8B8
    ASSERT_EQ(10u, image.levels.size());
    for (uint32_t l = 0; l < 10; l++) EXPECT_EQ(size_t(MipExtent(512, l)) * MipExtent(512, l), image.levels[l].size());
  }
}

// Used cells show something solid; every cell's outer four texels are clear, so
// filtering never pulls a neighbour in; unused cells are clear throughout.
TEST(Textures, CellsHoldTheirDrawingsAwayFromTheBorders) {
  for (const Atlas &atlas : kAtlases) {
    DdsImage image = LoadAtlas(atlas.file);
    ASSERT_EQ(10u, image.levels.size());
    const std::vector<uint32_t> &top = image.levels[0];
    for (int cell = 0; cell < 16; cell++) {
      SCOPED_TRACE(std::string(atlas.file) + " cell " + std::to_string(cell));
      bool used = std::count(atlas.usedCells.begin(), atlas.usedCells.end(), cell) > 0;
      int solid = 0, visible = 0, inBorder = 0;
      for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
          uint32_t t = top[size_t((cell / 4) * 128 + y) * 512 + size_t((cell % 4) * 128 + x)];
          if (Alpha(t) >= 128) solid++;
          if (Alpha(t) > 0) visible++;
          bool border = std::min(std::min(x, y), std::min(127 - x, 127 - y)) < 4;
          if (border && t != 0) inBorder++;
        }
      EXPECT_EQ(0, inBorder);
      if (used) {
        EXPECT_GE(solid, 20);
      } else {
        EXPECT_EQ(0, visible);
      }
    }
  }
}

// Each level is the box average of the one above with colours weighted by alpha: clear
// texels add no black to the mix, and nothing is premultiplied.
TEST(Textures, MipLevelsAverageColourByAlpha) {
  for (const Atlas &atlas : kAtlases) {
    SCOPED_TRACE(atlas.file);
    DdsImage image = LoadAtlas(atlas.file);
    ASSERT_EQ(10u, image.levels.size());
    for (uint32_t l = 1; l < 10; l++) {
      uint32_t size = MipExtent(512, l), above = size * 2;
      const std::vector<uint32_t> &src = image.levels[l - 1], &dst = image.levels[l];
      int alphaErrors = 0, colourErrors = 0;
      for (uint32_t y = 0; y < size; y++)
        for (uint32_t x = 0; x < size; x++) {
          double a = 0, rgb[3] = {0, 0, 0};
          for (uint32_t k = 0; k < 4; k++) {
            uint32_t t = src[size_t(2 * y + k / 2) * above + 2 * x + k % 2];
            a += Alpha(t);
            for (int c = 0; c < 3; c++) rgb[c] += Alpha(t) * Channel(t, 16 - 8 * c);
          }
          uint32_t t = dst[size_t(y) * size + x];
          // Rounding at every level lets small errors pile up a little.
          if (std::fabs(a / 4 - Alpha(t)) > 2 + l) alphaErrors++;
          if (a / 4 >= 32)
            for (int c = 0; c < 3; c++)
              if (std::fabs(rgb[c] / a - Channel(t, 16 - 8 * c)) > 6 + l) colourErrors++;
        }
      EXPECT_EQ(0, alphaErrors) << "level " << l;
      EXPECT_EQ(0, colourErrors) << "level " << l;
    }
  }
}

// The soft glow (hand atlas cell 6) stays white as it fades: straight alpha.
TEST(Textures, GlowKeepsItsColourWhereItFades) {
  DdsImage image = LoadAtlas("qrtex1.dds");
  ASSERT_EQ(10u, image.levels.size());
  int faint = 0;
  for (int y = 0; y < 128; y++)
    for (int x = 0; x < 128; x++) {
      uint32_t t = image.levels[0][size_t(128 + y) * 512 + size_t(256 + x)];
      if (Alpha(t) < 8 || Alpha(t) > 100) continue;
      faint++;
      EXPECT_GE(std::min({Channel(t, 16), Channel(t, 8), Channel(t, 0)}), 240);
    }
  EXPECT_GT(faint, 100);
}

struct Sound {
  const char *file;
  double seconds;
};
const Sound kSounds[] = {{"bom.wav", 0.7},  {"dom.wav", 1.5}, {"pasi.wav", 0.15}, {"pisi.wav", 0.12},
                         {"vun.wav", 0.3},  {"pou.wav", 0.6}, {"pi.wav", 0.07}};

TEST(Sounds, AreMono16BitAtTheirLengthsAndNormalised) {
  for (const Sound &sound : kSounds) {
    SCOPED_TRACE(sound.file);
    std::vector<uint8_t> bytes;
    const char *error = nullptr;
    ASSERT_TRUE(ReadFileBytes((DataDir() / sound.file).string().c_str(), 16u << 20, bytes, &error)) << error;
    WavData wav;
    ASSERT_TRUE(ParseWav(bytes.data(), bytes.size(), &wav, &error)) << error;
    EXPECT_EQ(1, wav.format.channels);
    EXPECT_EQ(16, wav.format.bitsPerSample);
    EXPECT_EQ(44100, wav.format.sampleRate);
    double seconds = double(wav.frameCount) / wav.format.sampleRate;
    EXPECT_NEAR(sound.seconds, seconds, sound.seconds * 0.2);
    ASSERT_GT(wav.frameCount, 100u);
    int peak = 0;
    for (size_t i = 0; i < wav.frameCount; i++) peak = std::max(peak, std::abs(WavSample(wav, i, 0)));
    EXPECT_GE(20 * std::log10(peak / 32767.0), -1.0) << "peak " << peak;
    // Faded in and out: the mixer may start or cut a voice without a click.
    EXPECT_LE(std::abs(WavSample(wav, 0, 0)), 300);
    EXPECT_LE(std::abs(WavSample(wav, wav.frameCount - 1, 0)), 300);
  }
}

// Loads a sound's samples as -1..1 values.
std::vector<double> LoadSamples(const char *file) {
  std::vector<uint8_t> bytes;
  const char *error = nullptr;
  std::vector<double> out;
  if (!ReadFileBytes((DataDir() / file).string().c_str(), 16u << 20, bytes, &error)) return out;
  WavData wav;
  if (!ParseWav(bytes.data(), bytes.size(), &wav, &error)) return out;
  for (size_t i = 0; i < wav.frameCount; i++) out.push_back(WavSample(wav, i, 0) / 32768.0);
  return out;
}

// Sign changes per second over [from, to) of a sound: a rough pitch.
double CrossingRate(const std::vector<double> &s, size_t from, size_t to) {
  int crossings = 0;
  for (size_t i = from + 1; i < to; i++)
    if ((s[i - 1] < 0) != (s[i] < 0)) crossings++;
  return crossings * 44100.0 / double(to - from);
}

// Each effect sounds like what it stands for: the charge-up climbs, the final boss's
// boom sits far below the ordinary explosion, the whoosh swells and dies away.
TEST(Sounds, HaveTheirCharacter) {
  std::vector<double> charge = LoadSamples("pou.wav"), boom = LoadSamples("dom.wav"), bang = LoadSamples("bom.wav"),
                      whoosh = LoadSamples("vun.wav");
  ASSERT_GT(charge.size(), 1000u);
  ASSERT_GT(boom.size(), 1000u);
  ASSERT_GT(bang.size(), 1000u);
  ASSERT_GT(whoosh.size(), 1000u);
  size_t q = charge.size() / 4;
  EXPECT_GT(CrossingRate(charge, 3 * q, 4 * q), 2 * CrossingRate(charge, 0, q));
  EXPECT_LT(CrossingRate(boom, 0, boom.size() / 2), CrossingRate(bang, 0, bang.size() / 2) / 2);
  auto energy = [&](size_t from, size_t to) {
    double e = 0;
    for (size_t i = from; i < to; i++) e += whoosh[i] * whoosh[i];
    return e;
  };
  size_t third = whoosh.size() / 3;
  EXPECT_GT(energy(third, 2 * third), energy(0, third / 4) * 4);
  EXPECT_GT(energy(third, 2 * third), energy(whoosh.size() - third / 4, whoosh.size()) * 4);
}

// The contact sheet, read back by an independent decoder, shows both atlases as they
// are in the texture files, laid over black.
TEST(Generator, ContactSheetShowsBothAtlasesOverBlack) {
  if (std::system("command -v convert >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick convert not installed";
  fs::path out = fs::temp_directory_path() / ("qr-sheet-" + std::to_string(getpid()));
  fs::create_directories(out);
  const std::string sheet = Quoted(out / "sheet.png");
  std::string command = Quoted(BuildDir() / "qr-datagen") + " " + Quoted(out) + " --contact-sheet " + sheet +
                        " && convert " + sheet + " -depth 8 rgba:" + Quoted(out / "sheet.raw") +
                        " && convert " + sheet + " -format %w info: > " + Quoted(out / "width");
  ASSERT_EQ(0, std::system(command.c_str()));
  std::vector<uint8_t> raw = ReadAll(out / "sheet.raw"), widthText = ReadAll(out / "width");
  int width = std::atoi(std::string(widthText.begin(), widthText.end()).c_str());
  ASSERT_GE(width, 2 * 512);
  ASSERT_EQ(0u, raw.size() % (size_t(width) * 4));
  int height = int(raw.size() / (size_t(width) * 4));
  ASSERT_GE(height, 28 + 512);
  const int left[2] = {16, 16 * 2 + 512};
  int mismatches = 0, opaque = 0;
  for (int a = 0; a < 2; a++) {
    DdsImage image = LoadAtlas(kAtlases[a].file);
    ASSERT_EQ(10u, image.levels.size());
    for (int y = 0; y < 512; y++)
      for (int x = 0; x < 512; x++) {
        if (x % 128 < 16 || y % 128 < 16 || x % 128 >= 112 || y % 128 >= 112) continue;  // grid, numbers
        uint32_t t = image.levels[0][size_t(y) * 512 + x];
        const uint8_t *p = &raw[(size_t(28 + y) * width + size_t(left[a] + x)) * 4];
        if (p[3] == 255) opaque++;
        for (int c = 0; c < 3; c++) {
          double expected = Channel(t, 16 - 8 * c) * Alpha(t) / 255.0;
          if (std::fabs(p[c] - expected) > 1.5) mismatches++;
        }
      }
  }
  EXPECT_EQ(0, mismatches);
  EXPECT_EQ(2 * 96 * 96 * 16, opaque);
  std::error_code ignored;
  fs::remove_all(out, ignored);
}

// The generator's own transcendental functions, which keep its output independent of
// the host's maths library, agree with that library over the ranges the art and the
// sounds use, in every quadrant and across the reduction boundaries.
TEST(Generator, OwnArithmeticMatchesTheHostLibrary) {
  double worst = 0;
  for (double x = -50; x < 50; x += 0.0173) {
    worst = std::max(worst, std::fabs(gen::Sin(x) - std::sin(x)));
    worst = std::max(worst, std::fabs(gen::Cos(x) - std::cos(x)));
  }
  EXPECT_LT(worst, 1e-9);
  for (double x = -40; x < 40; x += 0.0371) EXPECT_NEAR(1.0, gen::Exp(x) / std::exp(x), 1e-12) << x;
  for (double x = 1e-6; x < 1e6; x *= 1.07) EXPECT_NEAR(std::log(x), gen::Log(x), 1e-12) << x;
  for (double b = 10; b < 30000; b *= 1.3) EXPECT_NEAR(1.0, gen::Pow(b, 0.37) / std::pow(b, 0.37), 1e-12) << b;
  for (double y = -3; y <= 3; y += 0.25)
    for (double x = -3; x <= 3; x += 0.25) EXPECT_NEAR(std::atan2(y, x), gen::Atan2(y, x), 1e-12) << y << ", " << x;
  // Noise stays in its range and is smooth: neighbouring points differ little.
  for (float y = -5; y < 5; y += 0.37f)
    for (float x = -5; x < 5; x += 0.41f) {
      float v = gen::Fbm(x, y, 7);
      EXPECT_GE(v, 0.0f);
      EXPECT_LE(v, 1.0f);
      EXPECT_LT(std::fabs(v - gen::Fbm(x + 0.01f, y, 7)), 0.05f);
    }
}

// Two runs of the generator write the same bytes as the build did.
TEST(Generator, WritesTheSameBytesEveryRun) {
  fs::path out = fs::temp_directory_path() / ("qr-datagen-" + std::to_string(getpid()));
  std::string command = Quoted(BuildDir() / "qr-datagen") + " " + Quoted(out);
  ASSERT_EQ(0, std::system(command.c_str()));
  for (const char *file : {"qrtex1.dds", "qrtex2.dds", "bom.wav", "dom.wav", "pasi.wav", "pisi.wav", "vun.wav",
                           "pou.wav", "pi.wav"}) {
    std::vector<uint8_t> fresh = ReadAll(out / file), built = ReadAll(DataDir() / file);
    EXPECT_FALSE(fresh.empty()) << file;
    EXPECT_TRUE(fresh == built) << file;
  }
  std::error_code ignored;
  fs::remove_all(out, ignored);
}

}  // namespace
