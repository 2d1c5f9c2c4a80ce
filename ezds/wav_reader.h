// Reads a RIFF/WAVE sound file held in memory: PCM, 8 or 16 bits, mono or stereo, any
// sample rate. Plain C++ with no audio library behind it, so the sound library, the
// data generator's checks and the tests can all share it.
//
// Every length in the file is checked against the bytes actually there before it is
// used: a truncated or hostile file is refused with a reason, never read past its end.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct WavFormat {
  int channels;        // 1 or 2
  int sampleRate;      // frames per second
  int bitsPerSample;   // 8 (unsigned) or 16 (signed little-endian)
};

struct WavData {
  WavFormat format;
  const uint8_t *samples;   // points into the caller's bytes: interleaved frames
  size_t sampleBytes;       // frameCount * channels * bitsPerSample / 8
  size_t frameCount;
};

// Parses a whole file held in bytes[0..size). Returns 1 and fills wav on success. On
// failure returns 0, leaves wav zeroed and points *error (when given) at a short
// reason such as "data chunk runs past the end of the file".
int ParseWav(const uint8_t *bytes, size_t size, WavData *wav, const char **error);

// Reads a whole regular file into bytes (a pipe, device or directory is refused before
// anything is read from it), refusing files larger than maxBytes. Returns 1 on
// success, 0 with a reason in *error.
int ReadFileBytes(const char *path, size_t maxBytes, std::vector<uint8_t> &bytes, const char **error);

// One sample of a parsed sound as a signed 16-bit value (8-bit samples are centred and
// scaled by 256). frame and channel must be in range.
int WavSample(const WavData &wav, size_t frame, int channel);

// Conversion to the mixer's format, 16-bit stereo at outputRate: mono goes to both
// sides, 8-bit samples are widened, and the rate is changed by linear interpolation
// between neighbouring frames (an identical rate copies the samples unchanged). The
// result spans the same time: frame i of the output sits at i * rate / outputRate in
// the input, up to and including the input's last frame.
size_t ConvertedFrameCount(const WavData &wav, int outputRate);
// Writes ConvertedFrameCount frames (left, right, left, ...) into out.
void ConvertToStereo16(const WavData &wav, int outputRate, int16_t *out);

// Effects are short: a file above 64 MiB or a sound above 30 seconds is refused rather
// than converted into an enormous buffer.
constexpr size_t MaxEffectFileBytes = 64u << 20;
constexpr double MaxEffectSeconds = 30.0;

// Reads, checks and converts an effect's WAV file to 16-bit stereo at outputRate, as
// every build of the library plays it. Returns 1 with the samples (left, right, ...),
// or 0 with a reason in *error: no name, an unreadable or malformed file, a long sound.
int LoadEffectSamples(const char *path, int outputRate, std::vector<int16_t> &samples, const char **error);
