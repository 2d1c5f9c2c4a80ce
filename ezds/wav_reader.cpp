// The RIFF/WAVE reader: walks the chunks of a file held in memory and finds the format
// and the samples, checking every length against what is left of the file.
#include "ezds/wav_reader.h"

#include <cstdio>
#include <cstring>

#include "base/file_check.h"

namespace {

uint32_t ReadU32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t ReadU16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

int Fail(WavData *wav, const char **error, const char *reason) {
  *wav = WavData{};
  if (error) *error = reason;
  return 0;
}

// The tag of a plain PCM format chunk, and of the extensible one whose sub-format GUID
// starts with the same tag.
constexpr uint16_t FormatPcm = 1;
constexpr uint16_t FormatExtensible = 0xFFFE;

}  // namespace

int ParseWav(const uint8_t *bytes, size_t size, WavData *wav, const char **error) {
  *wav = WavData{};
  if (!bytes || size < 12) return Fail(wav, error, "too short for a RIFF header");
  if (memcmp(bytes, "RIFF", 4) != 0) return Fail(wav, error, "not a RIFF file");
  if (memcmp(bytes + 8, "WAVE", 4) != 0) return Fail(wav, error, "not a WAVE file");
  // The RIFF length covers everything after its own field; a file shorter than that
  // was cut off somewhere and is refused as a whole.
  uint64_t riffEnd = uint64_t(ReadU32(bytes + 4)) + 8;
  if (riffEnd < 12) return Fail(wav, error, "RIFF length too small");
  if (riffEnd > size) return Fail(wav, error, "file is shorter than its RIFF length (truncated)");
  size_t end = size_t(riffEnd);

  const uint8_t *fmt = nullptr;
  size_t fmtLength = 0;
  const uint8_t *data = nullptr;
  size_t dataLength = 0;
  size_t at = 12;
  while (at < end) {
    if (end - at < 8) return Fail(wav, error, "chunk header runs past the end of the file");
    const uint8_t *header = bytes + at;
    size_t length = ReadU32(header + 4);
    at += 8;
    if (length > end - at) {
      return Fail(wav, error, memcmp(header, "data", 4) == 0 ? "data chunk runs past the end of the file"
                                                              : "chunk runs past the end of the file");
    }
    if (memcmp(header, "fmt ", 4) == 0) {
      if (fmt) return Fail(wav, error, "more than one fmt chunk");
      fmt = bytes + at;
      fmtLength = length;
    } else if (memcmp(header, "data", 4) == 0) {
      if (data) return Fail(wav, error, "more than one data chunk");
      data = bytes + at;
      dataLength = length;
    }
    at += length;
    // Chunks start on even offsets; a final pad byte may be missing.
    if ((length & 1) && at < end) at += 1;
  }
  if (!fmt) return Fail(wav, error, "no fmt chunk");
  if (!data) return Fail(wav, error, "no data chunk");
  if (fmtLength < 16) return Fail(wav, error, "fmt chunk too short");

  uint16_t tag = ReadU16(fmt);
  if (tag == FormatExtensible) {
    // cbSize, valid bits, channel mask, then the sub-format GUID whose first two bytes
    // hold the real tag.
    if (fmtLength < 40) return Fail(wav, error, "extensible fmt chunk too short");
    tag = ReadU16(fmt + 24);
  }
  if (tag != FormatPcm) return Fail(wav, error, "not PCM");
  int channels = ReadU16(fmt + 2);
  uint32_t rate = ReadU32(fmt + 4);
  int blockAlign = ReadU16(fmt + 12);
  int bits = ReadU16(fmt + 14);
  if (channels != 1 && channels != 2) return Fail(wav, error, "only mono and stereo are supported");
  if (bits != 8 && bits != 16) return Fail(wav, error, "only 8- and 16-bit samples are supported");
  if (rate == 0 || rate > 1000000) return Fail(wav, error, "sample rate out of range");
  if (blockAlign != channels * bits / 8) return Fail(wav, error, "block alignment does not match the format");

  size_t frames = dataLength / size_t(blockAlign);
  if (frames == 0) return Fail(wav, error, "no samples");
  wav->format = WavFormat{channels, int(rate), bits};
  wav->samples = data;
  wav->frameCount = frames;
  wav->sampleBytes = frames * size_t(blockAlign);   // a trailing partial frame is dropped
  if (error) *error = nullptr;
  return 1;
}

int ReadFileBytes(const char *path, size_t maxBytes, std::vector<uint8_t> &bytes, const char **error) {
  bytes.clear();
  FILE *file = OpenRegularFileStream(path, error);
  if (!file) return 0;
  // Read in pieces rather than trusting a size reported up front: the file may change
  // under us.
  uint8_t piece[16384];
  size_t got;
  int ok = 1;
  while ((got = fread(piece, 1, sizeof piece, file)) > 0) {
    if (bytes.size() + got > maxBytes) {
      if (error) *error = "file is too large";
      ok = 0;
      break;
    }
    bytes.insert(bytes.end(), piece, piece + got);
  }
  if (ok && ferror(file)) {
    if (error) *error = "read error";
    ok = 0;
  }
  fclose(file);
  if (!ok) bytes.clear();
  return ok;
}

int WavSample(const WavData &wav, size_t frame, int channel) {
  size_t index = frame * size_t(wav.format.channels) + size_t(channel);
  if (wav.format.bitsPerSample == 8) return (int(wav.samples[index]) - 128) * 256;
  return int16_t(ReadU16(wav.samples + index * 2));
}

size_t ConvertedFrameCount(const WavData &wav, int outputRate) {
  if (wav.frameCount == 0 || wav.format.sampleRate <= 0 || outputRate <= 0) return 0;
  return size_t((uint64_t(wav.frameCount) - 1) * uint64_t(outputRate) / uint64_t(wav.format.sampleRate)) + 1;
}

void ConvertToStereo16(const WavData &wav, int outputRate, int16_t *out) {
  size_t frames = ConvertedFrameCount(wav, outputRate);
  const uint64_t rate = uint64_t(wav.format.sampleRate), target = uint64_t(outputRate);
  const int right = wav.format.channels == 2 ? 1 : 0;
  for (size_t i = 0; i < frames; ++i) {
    // Position in the input as a whole frame and a fraction in 1/outputRate steps.
    uint64_t position = uint64_t(i) * rate;
    size_t frame = size_t(position / target);
    int64_t fraction = int64_t(position % target);
    size_t next = frame + 1 < wav.frameCount ? frame + 1 : frame;
    for (int side = 0; side < 2; ++side) {
      int channel = side ? right : 0;
      int64_t a = WavSample(wav, frame, channel), b = WavSample(wav, next, channel);
      int64_t mixed = a * (int64_t(target) - fraction) + b * fraction;
      // Round to nearest, halves away from zero.
      int64_t value = mixed >= 0 ? (mixed + int64_t(target) / 2) / int64_t(target)
                                 : -((-mixed + int64_t(target) / 2) / int64_t(target));
      out[2 * i + size_t(side)] = int16_t(value);
    }
  }
}

int LoadEffectSamples(const char *path, int outputRate, std::vector<int16_t> &samples, const char **error) {
  samples.clear();
  if (!path) {
    if (error) *error = "no file name";
    return 0;
  }
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, MaxEffectFileBytes, bytes, error)) return 0;
  WavData wav;
  if (!ParseWav(bytes.data(), bytes.size(), &wav, error)) return 0;
  if (double(wav.frameCount) / wav.format.sampleRate > MaxEffectSeconds) {
    if (error) *error = "sound is too long";
    return 0;
  }
  samples.assign(ConvertedFrameCount(wav, outputRate) * 2, 0);
  ConvertToStereo16(wav, outputRate, samples.data());
  return 1;
}
