// The sound-effect library in the browser: the same seven functions over OpenAL, which
// the browser build turns into Web Audio. Sixteen effect slots with three voices each,
// plus one looped slot. Effects are converted to 16-bit stereo at 44.1 kHz when they are
// loaded, so playing is only a voice pick and a source start. Browsers keep audio
// suspended until the player first clicks or presses a key; the context resumes then
// by itself, and effects played before that are simply not heard.
#include "ezds/ezds.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "ezds/wav_reader.h"

namespace {

constexpr int OutputRate = 44100;
constexpr int EffectSlots = 16;
// Three voices per effect, as on the desktop: a fast swing and the slow-motion beep
// keep at most three copies going.
constexpr int VoicesPerEffect = 3;
constexpr int VoiceCount = EffectSlots * VoicesPerEffect;

char versionText[] = "ezds 1.0 (44100 Hz, 16-bit, stereo, 3 voices per effect, OpenAL)";

ALCdevice *device;
ALCcontext *context;
ALuint voices[VoiceCount];
ALuint loopVoice;
ALuint effects[EffectSlots];  // buffer names, 0 for an empty slot
ALuint loop;
uint32_t voiceStarted[VoiceCount];
uint32_t playCount;

int LoadFailed(const char *file, const char *reason) {
  std::fprintf(stderr, "ezds: cannot load sound %s: %s\n", file ? file : "(null)", reason);
  return 0;
}

void FreeBuffer(ALuint &buffer) {
  if (buffer == 0) return;
  // A buffer still attached to a source cannot go: stop and detach every user first.
  for (ALuint voice : voices) {
    ALint attached = 0;
    alGetSourcei(voice, AL_BUFFER, &attached);
    if (ALuint(attached) == buffer) {
      alSourceStop(voice);
      alSourcei(voice, AL_BUFFER, 0);
    }
  }
  ALint attached = 0;
  alGetSourcei(loopVoice, AL_BUFFER, &attached);
  if (ALuint(attached) == buffer) {
    alSourceStop(loopVoice);
    alSourcei(loopVoice, AL_BUFFER, 0);
  }
  alDeleteBuffers(1, &buffer);
  buffer = 0;
}

int LoadSound(const char *file, ALuint &into) {
  if (!context) return LoadFailed(file, "audio output is not open");
  std::vector<int16_t> samples;
  const char *reason = nullptr;
  if (!LoadEffectSamples(file, OutputRate, samples, &reason)) return LoadFailed(file, reason);
  ALuint buffer = 0;
  alGenBuffers(1, &buffer);
  if (buffer == 0) return LoadFailed(file, "no buffer");
  alBufferData(buffer, AL_FORMAT_STEREO16, samples.data(), ALsizei(samples.size() * sizeof(int16_t)), OutputRate);
  if (alGetError() != AL_NO_ERROR) {
    alDeleteBuffers(1, &buffer);
    return LoadFailed(file, "the audio output refused it");
  }
  into = buffer;
  return 1;
}

// Level 100 plays at full volume and every step below takes 0.3 dB off; 0 and below are
// silent (the same curve as the desktop library).
float GainForLevel(int level) {
  if (level <= 0) return 0.0f;
  if (level >= 100) return 1.0f;
  return float(std::pow(10.0, -0.3 * (100 - level) / 20.0));
}

bool Playing(ALuint source) {
  ALint state = AL_STOPPED;
  alGetSourcei(source, AL_SOURCE_STATE, &state);
  return state == AL_PLAYING;
}

int PickVoice(int id) {
  int first = id * VoicesPerEffect;
  int oldest = first;
  for (int voice = first; voice < first + VoicesPerEffect; ++voice) {
    if (!Playing(voices[voice])) return voice;
    if (voiceStarted[voice] < voiceStarted[oldest]) oldest = voice;
  }
  return oldest;
}

}  // namespace

int DSinit(HWND) {
  if (context) return 1;
  device = alcOpenDevice(nullptr);
  if (!device) {
    std::fprintf(stderr, "ezds: no audio output: the browser has no Web Audio\n");
    return 0;
  }
  context = alcCreateContext(device, nullptr);
  if (!context) {
    std::fprintf(stderr, "ezds: no audio output: no audio context\n");
    alcCloseDevice(device);
    device = nullptr;
    return 0;
  }
  alcMakeContextCurrent(context);
  alGenSources(VoiceCount, voices);
  alGenSources(1, &loopVoice);
  // The effects are not placed in space: every voice plays as it was recorded.
  for (ALuint voice : voices) alSourcei(voice, AL_SOURCE_RELATIVE, AL_TRUE);
  alSourcei(loopVoice, AL_SOURCE_RELATIVE, AL_TRUE);
  alSourcei(loopVoice, AL_LOOPING, AL_TRUE);
  playCount = 0;
  for (uint32_t &started : voiceStarted) started = 0;
  return 1;
}

void DSend() {
  if (!context) return;
  for (ALuint voice : voices) alSourceStop(voice);
  alSourceStop(loopVoice);
  for (ALuint &buffer : effects) FreeBuffer(buffer);
  FreeBuffer(loop);
  alDeleteSources(VoiceCount, voices);
  alDeleteSources(1, &loopVoice);
  alcMakeContextCurrent(nullptr);
  alcDestroyContext(context);
  alcCloseDevice(device);
  context = nullptr;
  device = nullptr;
}

int DSload(char *file, char id) {
  if (id < 0 || id >= EffectSlots) return LoadFailed(file, "effect id out of range");
  if (!context) return LoadFailed(file, "audio output is not open");
  FreeBuffer(effects[int(id)]);
  return LoadSound(file, effects[int(id)]);
}

int DSloadL(char *file) {
  if (!context) return LoadFailed(file, "audio output is not open");
  FreeBuffer(loop);
  return LoadSound(file, loop);
}

void DSplay(char id, char level) {
  if (!context || id < 0 || id >= EffectSlots || effects[int(id)] == 0) return;
  float gain = GainForLevel(level);
  if (gain == 0.0f) return;
  int voice = PickVoice(id);
  voiceStarted[voice] = ++playCount;
  ALuint source = voices[voice];
  alSourceStop(source);
  alSourcei(source, AL_BUFFER, ALint(effects[int(id)]));
  alSourcef(source, AL_GAIN, gain);
  alSourcePlay(source);
}

void DSloopOPE(char play, char level) {
  if (!context || loop == 0) return;
  if (!play) {
    alSourceStop(loopVoice);
    return;
  }
  alSourcef(loopVoice, AL_GAIN, GainForLevel(level));
  if (!Playing(loopVoice)) {
    alSourcei(loopVoice, AL_BUFFER, ALint(loop));
    alSourcePlay(loopVoice);
  }
}

char *DSver() { return versionText; }
