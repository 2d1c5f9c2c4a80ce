// Builds WAV files byte by byte for the sound library's tests: well-formed ones in
// every layout, and broken ones with whatever chunk lengths a test asks for.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace testwav {

inline void Put16(std::vector<uint8_t> &out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
inline void Put32(std::vector<uint8_t> &out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
inline void PutId(std::vector<uint8_t> &out, const char *id) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(id[i]));
}

// One chunk with its real length and a pad byte after an odd body.
inline std::vector<uint8_t> Chunk(const char *id, const std::vector<uint8_t> &body) {
  std::vector<uint8_t> out;
  PutId(out, id);
  Put32(out, uint32_t(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() & 1) out.push_back(0);
  return out;
}

inline std::vector<uint8_t> FmtBody(int channels, int rate, int bits, int tag = 1) {
  std::vector<uint8_t> out;
  Put16(out, uint32_t(tag));
  Put16(out, uint32_t(channels));
  Put32(out, uint32_t(rate));
  Put32(out, uint32_t(rate) * uint32_t(channels * bits / 8));
  Put16(out, uint32_t(channels * bits / 8));
  Put16(out, uint32_t(bits));
  return out;
}

// A RIFF/WAVE file around the given chunks, with the right RIFF length.
inline std::vector<uint8_t> Riff(const std::vector<std::vector<uint8_t>> &chunks) {
  std::vector<uint8_t> body;
  for (const auto &chunk : chunks) body.insert(body.end(), chunk.begin(), chunk.end());
  std::vector<uint8_t> out;
  PutId(out, "RIFF");
  Put32(out, uint32_t(body.size() + 4));
  PutId(out, "WAVE");
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// Samples as stored: 16-bit signed little-endian, or 8-bit unsigned (value + 128).
inline std::vector<uint8_t> Samples(int bits, const std::vector<int> &values) {
  std::vector<uint8_t> out;
  for (int v : values) {
    if (bits == 8) out.push_back(uint8_t(v + 128));
    else Put16(out, uint16_t(int16_t(v)));
  }
  return out;
}

// A plain file: fmt then data. values are interleaved, in the file's own range
// (-128..127 for 8 bits).
inline std::vector<uint8_t> Wav(int channels, int rate, int bits, const std::vector<int> &values) {
  return Riff({Chunk("fmt ", FmtBody(channels, rate, bits)), Chunk("data", Samples(bits, values))});
}

inline bool WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  FILE *file = fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

}  // namespace testwav
