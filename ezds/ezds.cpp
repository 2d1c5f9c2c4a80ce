// The sound-effect library: plays short WAV effects through SDL2_mixer. Sixteen effect
// slots with three voices each, plus one looped slot. Everything is converted to the
// output format when it is loaded, so playing is only a voice pick and a mixer call;
// the library adds nothing to the audio callback.
#include "ezds/ezds.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <cmath>
#include <dlfcn.h>
#include <cstdio>
#include <utility>
#include <vector>

#include "ezds/mixer.h"
#include "ezds/wav_reader.h"

namespace {

constexpr int OutputRate = 44100;
constexpr int OutputChannels = 2;
// 512 frames is 11.6 ms at 44.1 kHz: a sound starts within one such buffer.
constexpr int OutputBufferFrames = 512;

// The same slots and voices as the library's own mixer (mixer.h).
constexpr int EffectSlots = MixerEffectSlots;
constexpr int VoicesPerEffect = MixerVoicesPerEffect;
constexpr int LoopChannel = EffectSlots * VoicesPerEffect;
constexpr int ChannelCount = LoopChannel + 1;

char versionText[] = "ezds 1.0 (44100 Hz, 16-bit, stereo, 3 voices per effect)";

struct Sound {
  Mix_Chunk *chunk;
  std::vector<int16_t> samples;  // the converted samples the chunk plays; owned here
};

bool outputOpen;
Sound effects[EffectSlots];
Sound loop;
// Start order of every voice, to find the oldest one when all of an effect's are busy.
uint32_t voiceStarted[LoopChannel];
uint32_t playCount;

void FreeSound(Sound &sound) {
  // Freeing a chunk halts every channel still playing it first.
  if (sound.chunk) Mix_FreeChunk(sound.chunk);
  sound = Sound{};
}

int LoadFailed(const char *file, const char *reason) {
  fprintf(stderr, "ezds: cannot load sound %s: %s\n", file ? file : "(null)", reason);
  return 0;
}

// Reads, checks and converts a WAV file to the output format.
int LoadSound(const char *file, Sound &into) {
  if (!outputOpen) return LoadFailed(file, "audio output is not open");
  // The output was opened without allowing format changes, so it is exactly
  // 16-bit stereo at OutputRate, the format the effect is converted to.
  std::vector<int16_t> samples;
  const char *reason = nullptr;
  if (!LoadEffectSamples(file, OutputRate, samples, &reason)) return LoadFailed(file, reason);
  Mix_Chunk *chunk =
      Mix_QuickLoad_RAW(reinterpret_cast<Uint8 *>(samples.data()), Uint32(samples.size() * sizeof(int16_t)));
  if (!chunk) return LoadFailed(file, Mix_GetError());
  into.chunk = chunk;
  into.samples = std::move(samples);  // the chunk's samples stay where they are
  return 1;
}

// The level curve is the mixer's (mixer.h): 0.3 dB per step below 100.
int VolumeForLevel(int level) { return EffectVolume(level) * MIX_MAX_VOLUME / MixerMaxVolume; }

// A free voice of the effect, else the one that started longest ago.
int PickVoice(int id) {
  int first = id * VoicesPerEffect;
  int oldest = first;
  for (int channel = first; channel < first + VoicesPerEffect; ++channel) {
    if (!Mix_Playing(channel)) return channel;
    if (voiceStarted[channel] < voiceStarted[oldest]) oldest = channel;
  }
  return oldest;
}

// ALSA prints its own lines on stderr for every device it fails to open (a machine
// with no sound card gets a dozen); the one line that counts is ours below. Its
// messages go through a handler that the library lets us replace.
void QuietAlsaMessages(const char *, int, const char *, int, const char *, ...) {}

void SilenceAlsa() {
  void *alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
  if (alsa == nullptr) return;
  using ErrorHandler = void (*)(const char *, int, const char *, int, const char *, ...);
  using SetErrorHandler = int (*)(ErrorHandler);
  auto setHandler = reinterpret_cast<SetErrorHandler>(dlsym(alsa, "snd_lib_error_set_handler"));
  if (setHandler != nullptr) setHandler(QuietAlsaMessages);
  // Kept loaded: the handler must stay in place while SDL uses the library.
}

}  // namespace

int DSinit(HWND) {
  if (outputOpen) return 1;
  SilenceAlsa();
  // The program decides what SIGINT and SIGTERM do; SDL's own handlers would turn them
  // into quit events that nobody reads.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    fprintf(stderr, "ezds: no audio output: %s\n", SDL_GetError());
    return 0;
  }
  // No format changes allowed: whatever the device wants, SDL converts to it, and the
  // effects are converted once to exactly this format.
  if (Mix_OpenAudioDevice(OutputRate, AUDIO_S16SYS, OutputChannels, OutputBufferFrames, nullptr, 0) != 0) {
    fprintf(stderr, "ezds: no audio output: %s\n", Mix_GetError());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 0;
  }
  Mix_AllocateChannels(ChannelCount);
  Mix_ReserveChannels(ChannelCount);
  for (int channel = 0; channel < ChannelCount; ++channel) Mix_Volume(channel, MIX_MAX_VOLUME);
  playCount = 0;
  for (uint32_t &started : voiceStarted) started = 0;
  outputOpen = true;
  return 1;
}

void DSend() {
  if (!outputOpen) return;
  Mix_HaltChannel(-1);
  for (Sound &sound : effects) FreeSound(sound);
  FreeSound(loop);
  Mix_CloseAudio();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  outputOpen = false;
}

int DSload(char *file, char id) {
  if (id < 0 || id >= EffectSlots) return LoadFailed(file, "effect id out of range");
  if (!outputOpen) return LoadFailed(file, "audio output is not open");
  FreeSound(effects[int(id)]);
  return LoadSound(file, effects[int(id)]);
}

int DSloadL(char *file) {
  if (!outputOpen) return LoadFailed(file, "audio output is not open");
  FreeSound(loop);
  return LoadSound(file, loop);
}

void DSplay(char id, char level) {
  if (!outputOpen || id < 0 || id >= EffectSlots || !effects[int(id)].chunk) return;
  int volume = VolumeForLevel(level);
  if (volume == 0) return;
  int channel = PickVoice(id);
  voiceStarted[channel] = ++playCount;
  Mix_Volume(channel, volume);
  Mix_PlayChannel(channel, effects[int(id)].chunk, 0);
}

void DSloopOPE(char play, char level) {
  if (!outputOpen || !loop.chunk) return;
  if (!play) {
    Mix_HaltChannel(LoopChannel);
    return;
  }
  Mix_Volume(LoopChannel, VolumeForLevel(level));
  if (!Mix_Playing(LoopChannel)) Mix_PlayChannel(LoopChannel, loop.chunk, -1);
}

char *DSver() { return versionText; }
