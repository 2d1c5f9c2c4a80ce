// What the pieces of the data generator share: the two texture atlases, the seven
// sounds, and the writers for DDS, WAV and the PNG contact sheet.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace gen {

constexpr int kTextureSize = 512;
constexpr int kMipLevels = 10;  // 512 down to 1
constexpr int kSampleRate = 44100;

// Paints an atlas as premultiplied RGBA floats, kTextureSize squared.
void PaintHandAtlas(std::vector<float> &image);   // qrtex1: the hand and the particles
void PaintEnemyAtlas(std::vector<float> &image);  // qrtex2: ships, bosses and shots

// The cells of each atlas that hold a drawing.
bool HandCellUsed(int cell);
bool EnemyCellUsed(int cell);

// Turns a premultiplied float image into its mip chain of straight-alpha 0xAARRGGBB
// texels, level 0 first. Colours are averaged weighted by alpha, and fully clear
// texels next to a drawing take its colour, so filtering shows no dark fringe.
std::vector<std::vector<uint32_t>> BuildMipChain(const std::vector<float> &image);

bool WriteDds(const std::string &path, const std::vector<std::vector<uint32_t>> &levels);

struct SoundFile {
  const char *name;    // file name in the data directory
  double seconds;      // intended length
};
extern const SoundFile kSoundFiles[7];
// Synthesises sound id 0..6 as mono samples in -1..1, peak-normalised and faded.
std::vector<float> SynthesiseSound(int id);
bool WriteWav(const std::string &path, const std::vector<float> &samples);

// Both atlases side by side on black with their cell numbers, and beneath them every
// drawing at the size the game shows it.
bool WriteContactSheet(const std::string &path, const std::vector<uint32_t> &handAtlas,
                       const std::vector<uint32_t> &enemyAtlas);

// The desktop icon, size x size straight-alpha 0xAARRGGBB pixels, and the PNGs of every
// size an install needs, written as <dir>quillrun-<size>.png.
constexpr int kIconSizes[3] = {48, 128, 256};
std::vector<uint32_t> RenderIcon(int size);
bool WriteIcons(const std::string &dir);

}  // namespace gen
