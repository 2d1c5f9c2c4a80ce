// qr-datagen <outdir> [--contact-sheet <png>] [--icons <dir>]
// Writes the game's two texture atlases (qrtex1.dds, qrtex2.dds) and its seven sound
// effects into outdir. Everything is computed from fixed seeds with our own arithmetic,
// so every build writes the same bytes. With --contact-sheet it also draws both
// atlases into a PNG for looking at the art; with --icons it writes the desktop icons.
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/datagen.h"

int main(int argc, char **argv) {
  const char *outDir = nullptr;
  const char *sheetPath = nullptr;
  const char *iconDir = nullptr;
  for (int i = 1; i < argc; i++) {
    if (std::strcmp(argv[i], "--contact-sheet") == 0 && i + 1 < argc)
      sheetPath = argv[++i];
    else if (std::strcmp(argv[i], "--icons") == 0 && i + 1 < argc)
      iconDir = argv[++i];
    else if (!outDir && argv[i][0] != '-')
      outDir = argv[i];
    else {
      std::fprintf(stderr, "usage: qr-datagen <outdir> [--contact-sheet <png>] [--icons <dir>]\n");
      return 2;
    }
  }
  if (!outDir) {
    std::fprintf(stderr, "usage: qr-datagen <outdir> [--contact-sheet <png>] [--icons <dir>]\n");
    return 2;
  }
  for (const char *folder : {outDir, iconDir}) {
    std::error_code ec;
    if (folder) std::filesystem::create_directories(folder, ec);
    if (ec) {
      std::fprintf(stderr, "qr-datagen: cannot create %s: %s\n", folder, ec.message().c_str());
      return 1;
    }
  }
  const std::string dir = std::string(outDir) + "/";
  bool ok = true;

  std::vector<float> image(size_t(gen::kTextureSize) * gen::kTextureSize * 4, 0.0f);
  gen::PaintHandAtlas(image);
  auto hand = gen::BuildMipChain(image);
  std::fill(image.begin(), image.end(), 0.0f);
  gen::PaintEnemyAtlas(image);
  auto enemy = gen::BuildMipChain(image);
  for (auto [name, levels] : {std::pair{"qrtex1.dds", &hand}, std::pair{"qrtex2.dds", &enemy}}) {
    if (!gen::WriteDds(dir + name, *levels)) {
      std::fprintf(stderr, "qr-datagen: cannot write %s%s\n", dir.c_str(), name);
      ok = false;
    }
  }

  for (int id = 0; id < 7; id++) {
    const char *name = gen::kSoundFiles[id].name;
    if (!gen::WriteWav(dir + name, gen::SynthesiseSound(id))) {
      std::fprintf(stderr, "qr-datagen: cannot write %s%s\n", dir.c_str(), name);
      ok = false;
    }
  }

  if (sheetPath && !gen::WriteContactSheet(sheetPath, hand[0], enemy[0])) {
    std::fprintf(stderr, "qr-datagen: cannot write %s\n", sheetPath);
    ok = false;
  }
  if (iconDir && !gen::WriteIcons(std::string(iconDir) + "/")) {
    std::fprintf(stderr, "qr-datagen: cannot write the icons into %s\n", iconDir);
    ok = false;
  }
  return ok ? 0 : 1;
}
