// The sound library's own mixer, for outputs that take a plain stream of samples (the
// Windows library writes its blocks to waveOut). Sixteen effect slots with three voices
// each plus one looped slot, mixed into 16-bit stereo: the same voices, levels and
// retrigger rule as the library over SDL_mixer. Plain code with no output behind it,
// so the tests can mix and listen to the result directly. Not thread-safe: the caller
// holds its own lock around every call.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int MixerEffectSlots = 16;
// Three voices per effect: the swing sound, played on every update of a fast swing, and
// the slow-motion beep, every other frame, keep at most three copies going, so they
// overlap a little and never build up into a roar.
constexpr int MixerVoicesPerEffect = 3;
constexpr int MixerLoopVoice = MixerEffectSlots * MixerVoicesPerEffect;
constexpr int MixerVoiceCount = MixerLoopVoice + 1;
constexpr int MixerMaxVolume = 128;

// Level 100 plays at full volume and every step below takes 0.3 dB off: the game's
// levels 65 to 100 span 10.5 dB, so the slow-motion beep (65) sounds at 30 % of the
// amplitude of a boss explosion (100) and a hit (90) at 71 %. 0 and below are silent.
// The result is a volume from 0 to MixerMaxVolume (sample x volume / 128).
int EffectVolume(int level);

struct MixerVoice {
  const std::vector<int16_t> *sound = nullptr;  // interleaved stereo; null when idle
  size_t frame = 0;                             // next frame to play
  int volume = 0;
  uint32_t started = 0;                         // play order, to find the oldest voice
  bool looping = false;
};

struct Mixer {
  std::vector<int16_t> effects[MixerEffectSlots];  // interleaved 16-bit stereo
  std::vector<int16_t> loop;
  MixerVoice voices[MixerVoiceCount];
  uint32_t playCount = 0;
};

// Puts a converted sound into effect slot id (or the looped slot with id -1), stopping
// whatever voice still plays the old one. False for an id out of range.
bool MixerSetSound(Mixer &mixer, int id, std::vector<int16_t> &&stereoSamples);
// Starts effect id at level: a free voice of the effect, else the one that started
// longest ago starts over. Returns the voice, or -1 when nothing plays (empty slot,
// id out of range, silent level).
int MixerPlay(Mixer &mixer, int id, int level);
// Starts the looped slot (or, while it runs, only changes its level); play false stops it.
void MixerLoop(Mixer &mixer, bool play, int level);
// Stops every voice and empties every slot.
void MixerClear(Mixer &mixer);
// Mixes the next frames of every voice into out (frames x 2 samples), clipped to 16 bits.
void MixerRender(Mixer &mixer, int16_t *out, size_t frames);
