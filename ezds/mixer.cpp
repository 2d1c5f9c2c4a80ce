// The sound library's own mixer: voice picking, levels and the summing of voices into
// one 16-bit stereo stream.
#include "ezds/mixer.h"

#include <cmath>

int EffectVolume(int level) {
  if (level <= 0) return 0;
  if (level >= 100) return MixerMaxVolume;
  double gain = std::pow(10.0, -0.3 * (100 - level) / 20.0);
  return int(std::lround(MixerMaxVolume * gain));
}

namespace {

void Stop(MixerVoice &voice) { voice = MixerVoice{}; }

}  // namespace

bool MixerSetSound(Mixer &mixer, int id, std::vector<int16_t> &&stereoSamples) {
  if (id < -1 || id >= MixerEffectSlots) return false;
  std::vector<int16_t> &slot = id < 0 ? mixer.loop : mixer.effects[id];
  for (MixerVoice &voice : mixer.voices) {
    if (voice.sound == &slot) Stop(voice);
  }
  slot = std::move(stereoSamples);
  if (slot.size() % 2) slot.pop_back();  // whole frames only
  return true;
}

int MixerPlay(Mixer &mixer, int id, int level) {
  if (id < 0 || id >= MixerEffectSlots || mixer.effects[id].empty()) return -1;
  int volume = EffectVolume(level);
  if (volume == 0) return -1;
  int first = id * MixerVoicesPerEffect;
  int chosen = -1;
  int oldest = first;
  for (int v = first; v < first + MixerVoicesPerEffect; ++v) {
    if (!mixer.voices[v].sound) {
      chosen = v;
      break;
    }
    if (mixer.voices[v].started < mixer.voices[oldest].started) oldest = v;
  }
  if (chosen < 0) chosen = oldest;
  MixerVoice &voice = mixer.voices[chosen];
  voice.sound = &mixer.effects[id];
  voice.frame = 0;
  voice.volume = volume;
  voice.started = ++mixer.playCount;
  voice.looping = false;
  return chosen;
}

void MixerLoop(Mixer &mixer, bool play, int level) {
  MixerVoice &voice = mixer.voices[MixerLoopVoice];
  if (!play) {
    Stop(voice);
    return;
  }
  if (mixer.loop.empty()) return;
  voice.volume = EffectVolume(level);
  if (voice.sound) return;
  voice.sound = &mixer.loop;
  voice.frame = 0;
  voice.looping = true;
}

void MixerClear(Mixer &mixer) {
  for (MixerVoice &voice : mixer.voices) Stop(voice);
  for (std::vector<int16_t> &effect : mixer.effects) effect.clear();
  mixer.loop.clear();
}

void MixerRender(Mixer &mixer, int16_t *out, size_t frames) {
  std::vector<int32_t> sum(frames * 2, 0);
  for (MixerVoice &voice : mixer.voices) {
    if (!voice.sound) continue;
    const std::vector<int16_t> &samples = *voice.sound;
    const size_t length = samples.size() / 2;
    for (size_t i = 0; i < frames && voice.sound; ++i) {
      if (voice.frame >= length) {
        if (!voice.looping || length == 0) {
          Stop(voice);
          break;
        }
        voice.frame = 0;
      }
      sum[2 * i] += samples[2 * voice.frame] * voice.volume / MixerMaxVolume;
      sum[2 * i + 1] += samples[2 * voice.frame + 1] * voice.volume / MixerMaxVolume;
      ++voice.frame;
    }
    // A one-shot voice that has just played its last frame is free for the next play.
    if (voice.sound && !voice.looping && voice.frame >= length) Stop(voice);
  }
  for (size_t i = 0; i < frames * 2; ++i) {
    int32_t s = sum[i];
    out[i] = int16_t(s > 32767 ? 32767 : s < -32768 ? -32768 : s);
  }
}
