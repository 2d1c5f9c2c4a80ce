// Fuzzes the WAV reader: any bytes parse or are refused with a reason; a parsed sound's
// samples lie inside the input, and converting it to the mixer's format stays in bounds.
#include <cstdint>
#include <cstdlib>
#include <vector>
#include "ezds/wav_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  WavData wav;
  const char *error = nullptr;
  if (!ParseWav(data, size, &wav, &error)) {
    if (error == nullptr) std::abort();
    return 0;
  }
  if (wav.samples < data || wav.sampleBytes > size_t(data + size - wav.samples)) std::abort();
  const size_t frames = ConvertedFrameCount(wav, 44100);
  if (frames > 0 && frames <= (1u << 18)) {
    std::vector<int16_t> out(frames * 2);
    ConvertToStereo16(wav, 44100, out.data());
  }
  return 0;
}
