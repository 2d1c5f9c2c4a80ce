// The WAV reader: every PCM layout the game's sounds may come in, the chunk walk, and
// hostile files (cut short anywhere, absurd or lying lengths) refused without reading
// outside the bytes given. Buffers are copied to exactly-sized heap blocks so the
// sanitizer build sees any read past their end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "ezds/wav_reader.h"
#include "ezds_test_wav.h"

using namespace testwav;

namespace {

struct Parsed {
  int ok;
  WavData wav;
  const char *error;
  std::unique_ptr<uint8_t[]> copy;   // keeps the samples the view points into alive
};

Parsed Parse(const std::vector<uint8_t> &bytes) {
  Parsed p{};
  p.copy.reset(new uint8_t[bytes.size() ? bytes.size() : 1]);
  if (!bytes.empty()) memcpy(p.copy.get(), bytes.data(), bytes.size());
  p.ok = ParseWav(p.copy.get(), bytes.size(), &p.wav, &p.error);
  return p;
}

void SetU32(std::vector<uint8_t> &bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (8 * i));
}

// A file with a chunk the reader must skip (odd length, so padded) before the format.
std::vector<uint8_t> WithListChunk() {
  std::vector<uint8_t> list = {'I', 'N', 'F', 'O', 'x'};
  return Riff({Chunk("LIST", list), Chunk("fmt ", FmtBody(2, 22050, 16)),
               Chunk("data", Samples(16, {100, -100, 200, -200, 300, -300}))});
}

}  // namespace

TEST(WavReader, ReadsEveryPcmLayout) {
  for (int bits : {8, 16}) {
    for (int channels : {1, 2}) {
      for (int rate : {8000, 11025, 22050, 44100, 48000}) {
        std::vector<int> values;
        for (int i = 0; i < 10 * channels; ++i) values.push_back(bits == 8 ? i * 6 - 60 : i * 1501 - 15000);
        Parsed p = Parse(Wav(channels, rate, bits, values));
        SCOPED_TRACE(testing::Message() << bits << " bits, " << channels << " channels, " << rate << " Hz");
        ASSERT_EQ(p.ok, 1) << p.error;
        EXPECT_EQ(p.wav.format.channels, channels);
        EXPECT_EQ(p.wav.format.sampleRate, rate);
        EXPECT_EQ(p.wav.format.bitsPerSample, bits);
        EXPECT_EQ(p.wav.frameCount, 10u);
        EXPECT_EQ(p.wav.sampleBytes, size_t(10 * channels * bits / 8));
        EXPECT_EQ(p.error, nullptr);
        for (int i = 0; i < 10 * channels; ++i) {
          int expected = bits == 8 ? values[i] * 256 : values[i];
          EXPECT_EQ(WavSample(p.wav, size_t(i / channels), i % channels), expected);
        }
      }
    }
  }
}

TEST(WavReader, WalksOtherChunksPaddingAndOrder) {
  Parsed p = Parse(WithListChunk());
  ASSERT_EQ(p.ok, 1) << p.error;
  EXPECT_EQ(p.wav.frameCount, 3u);
  EXPECT_EQ(WavSample(p.wav, 2, 1), -300);

  // Data before the format; an odd-length 8-bit data chunk whose pad byte is missing
  // at the very end of the file; a trailing partial frame dropped.
  Parsed before = Parse(Riff({Chunk("data", Samples(8, {1, 2})), Chunk("fmt ", FmtBody(1, 8000, 8))}));
  ASSERT_EQ(before.ok, 1) << before.error;
  EXPECT_EQ(WavSample(before.wav, 1, 0), 2 * 256);

  std::vector<uint8_t> data = Chunk("data", Samples(8, {1, 2, 3}));
  data.pop_back();   // the pad byte
  Parsed q = Parse(Riff({Chunk("fmt ", FmtBody(1, 8000, 8)), data}));
  ASSERT_EQ(q.ok, 1) << q.error;
  EXPECT_EQ(q.wav.frameCount, 3u);
  EXPECT_EQ(WavSample(q.wav, 2, 0), 3 * 256);

  Parsed partial = Parse(Riff({Chunk("fmt ", FmtBody(2, 8000, 16)), Chunk("data", {1, 0, 2, 0, 3, 0})}));
  ASSERT_EQ(partial.ok, 1) << partial.error;
  EXPECT_EQ(partial.wav.frameCount, 1u);
  EXPECT_EQ(partial.wav.sampleBytes, 4u);

  // Bytes after the RIFF length are not part of the file.
  std::vector<uint8_t> trailing = Wav(1, 8000, 16, {5, 6});
  trailing.insert(trailing.end(), {'d', 'a', 't', 'a', 0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(Parse(trailing).ok, 1);
}

TEST(WavReader, ExtensibleFormatOnlyWithPcmInside) {
  auto extensible = [](int subTag) {
    std::vector<uint8_t> fmt = FmtBody(2, 44100, 16, 0xFFFE);
    Put16(fmt, 22);         // extra bytes
    Put16(fmt, 16);         // valid bits
    Put32(fmt, 3);          // front left and right
    Put16(fmt, uint32_t(subTag));
    for (int i = 0; i < 14; ++i) fmt.push_back(uint8_t(i));   // rest of the GUID
    return Riff({Chunk("fmt ", fmt), Chunk("data", Samples(16, {1, 2, 3, 4}))});
  };
  EXPECT_EQ(Parse(extensible(1)).ok, 1);
  EXPECT_EQ(Parse(extensible(3)).ok, 0);   // float inside

  std::vector<uint8_t> shortFmt = FmtBody(2, 44100, 16, 0xFFFE);   // no extension at all
  EXPECT_EQ(Parse(Riff({Chunk("fmt ", shortFmt), Chunk("data", Samples(16, {1, 2}))})).ok, 0);
}

TEST(WavReader, RefusesWhatItCannotPlay) {
  const std::vector<uint8_t> samples = Samples(16, {1, 2, 3, 4});
  std::vector<uint8_t> fmt14 = FmtBody(1, 8000, 16);
  fmt14.resize(14);
  std::vector<uint8_t> badAlign = FmtBody(2, 8000, 16);
  badAlign[12] = 2;
  struct Case {
    const char *what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"empty", {}},
      {"not RIFF", [] { auto b = Wav(1, 8000, 16, {1}); b[0] = 'X'; return b; }()},
      {"not WAVE", [] { auto b = Wav(1, 8000, 16, {1}); b[8] = 'X'; return b; }()},
      {"float", Riff({Chunk("fmt ", FmtBody(1, 8000, 32, 3)), Chunk("data", samples)})},
      {"24 bits", Riff({Chunk("fmt ", FmtBody(1, 8000, 24)), Chunk("data", {1, 2, 3, 4, 5, 6})})},
      {"3 channels", Riff({Chunk("fmt ", FmtBody(3, 8000, 16)), Chunk("data", Samples(16, {1, 2, 3}))})},
      {"0 channels", Riff({Chunk("fmt ", FmtBody(0, 8000, 16)), Chunk("data", samples)})},
      {"rate 0", Riff({Chunk("fmt ", FmtBody(1, 0, 16)), Chunk("data", samples)})},
      {"absurd rate", Riff({Chunk("fmt ", FmtBody(1, 0x7FFFFFFF, 16)), Chunk("data", samples)})},
      {"block alignment", Riff({Chunk("fmt ", badAlign), Chunk("data", samples)})},
      {"short fmt", Riff({Chunk("fmt ", fmt14), Chunk("data", samples)})},
      {"no fmt", Riff({Chunk("data", samples)})},
      {"no data", Riff({Chunk("fmt ", FmtBody(1, 8000, 16))})},
      {"two fmt", Riff({Chunk("fmt ", FmtBody(1, 8000, 16)), Chunk("fmt ", FmtBody(1, 8000, 16)), Chunk("data", samples)})},
      {"two data", Riff({Chunk("fmt ", FmtBody(1, 8000, 16)), Chunk("data", samples), Chunk("data", samples)})},
      {"empty data", Riff({Chunk("fmt ", FmtBody(1, 8000, 16)), Chunk("data", {})})},
      {"less than a frame", Riff({Chunk("fmt ", FmtBody(2, 8000, 16)), Chunk("data", {1, 2})})},
  };
  for (Case &c : cases) {
    Parsed p = Parse(c.bytes);
    EXPECT_EQ(p.ok, 0) << c.what;
    EXPECT_NE(p.error, nullptr) << c.what;
    EXPECT_EQ(p.wav.samples, nullptr) << c.what;
    EXPECT_EQ(p.wav.frameCount, 0u) << c.what;
  }
}

TEST(WavReader, RefusesLengthsThatRunPastTheEnd) {
  const std::vector<uint8_t> good = WithListChunk();
  // Offsets of the length fields: LIST at 12 (5 bytes + pad), fmt at 26, data at 50.
  const size_t listLength = 16, fmtLength = 30, dataLength = 54;
  for (uint32_t lie : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFF8u, uint32_t(good.size())}) {
    std::vector<uint8_t> riff = good, list = good, fmt = good, data = good;
    SetU32(riff, 4, lie);
    SetU32(list, listLength, lie);
    SetU32(fmt, fmtLength, lie);
    SetU32(data, dataLength, lie);
    for (auto *bytes : {&riff, &list, &fmt, &data}) {
      Parsed p = Parse(*bytes);
      EXPECT_EQ(p.ok, 0) << "length " << lie;
      EXPECT_NE(p.error, nullptr);
    }
  }
  // A data chunk one byte longer than what is left, and a RIFF length that ends the
  // file in the middle of the data chunk while bytes remain after it.
  std::vector<uint8_t> oneOver = good;
  SetU32(oneOver, dataLength, uint32_t(good.size() - dataLength - 4 + 1));
  EXPECT_EQ(Parse(oneOver).ok, 0);
  std::vector<uint8_t> riffShort = good;
  SetU32(riffShort, 4, uint32_t(good.size() - 8 - 4));
  EXPECT_EQ(Parse(riffShort).ok, 0);
  std::vector<uint8_t> riffTiny = good;
  SetU32(riffTiny, 4, 2);
  EXPECT_EQ(Parse(riffTiny).ok, 0);
}

TEST(WavReader, RefusesAFileCutAtEveryOffset) {
  for (const std::vector<uint8_t> &whole : {WithListChunk(), Wav(1, 8000, 8, {1, 2, 3, 4, 5})}) {
    ASSERT_EQ(Parse(whole).ok, 1);
    for (size_t length = 0; length < whole.size(); ++length) {
      Parsed p = Parse(std::vector<uint8_t>(whole.begin(), whole.begin() + long(length)));
      EXPECT_EQ(p.ok, 0) << "cut at " << length;
      EXPECT_NE(p.error, nullptr) << "cut at " << length;
    }
  }
}

TEST(WavReader, ScrambledFilesStayInsideTheirBytes) {
  // Random bytes and random extreme lengths written over a valid file: whatever the
  // reader makes of it, a success must describe samples inside the given bytes.
  const std::vector<uint8_t> good = WithListChunk();
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  const uint32_t extremes[] = {0, 1, 2, 3, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFEu, 16, 40};
  int accepted = 0;
  for (int round = 0; round < 4000; ++round) {
    std::vector<uint8_t> bytes = good;
    int edits = 1 + int(next() % 4);
    for (int e = 0; e < edits; ++e) {
      size_t at = next() % bytes.size();
      if (next() % 2 && at + 4 <= bytes.size()) SetU32(bytes, at, extremes[next() % 10]);
      else bytes[at] = uint8_t(next());
    }
    if (next() % 4 == 0) bytes.resize(next() % bytes.size());
    Parsed p = Parse(bytes);
    if (!p.ok) {
      EXPECT_NE(p.error, nullptr);
      continue;
    }
    ++accepted;
    const WavFormat &f = p.wav.format;
    ASSERT_TRUE(f.channels == 1 || f.channels == 2);
    ASSERT_TRUE(f.bitsPerSample == 8 || f.bitsPerSample == 16);
    ASSERT_EQ(p.wav.sampleBytes, p.wav.frameCount * size_t(f.channels * f.bitsPerSample / 8));
    ASSERT_GE(p.wav.samples, p.copy.get());
    ASSERT_LE(p.wav.samples + p.wav.sampleBytes, p.copy.get() + bytes.size());
    WavSample(p.wav, p.wav.frameCount - 1, f.channels - 1);   // the last sample is readable
  }
  EXPECT_GT(accepted, 0);   // edits inside the samples or the list keep the file valid
}

TEST(WavReader, ReadsFilesWithinALimit) {
  std::string path = testing::TempDir() + "ezds_wav_read.wav";
  std::vector<uint8_t> bytes(40000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7);
  ASSERT_TRUE(WriteFile(path, bytes));
  std::vector<uint8_t> read;
  const char *error = nullptr;
  ASSERT_EQ(ReadFileBytes(path.c_str(), 40000, read, &error), 1);
  EXPECT_EQ(read, bytes);
  EXPECT_EQ(ReadFileBytes(path.c_str(), 39999, read, &error), 0);
  EXPECT_TRUE(read.empty());
  EXPECT_NE(error, nullptr);
  EXPECT_EQ(ReadFileBytes((path + ".missing").c_str(), 1 << 20, read, &error), 0);
  remove(path.c_str());
}

TEST(WavReader, ConvertsToStereo16AtTheOutputRate) {
  // Same rate, stereo 16-bit: copied unchanged.
  Parsed same = Parse(Wav(2, 44100, 16, {1, -1, 2, -2, 3, -3}));
  ASSERT_EQ(same.ok, 1);
  ASSERT_EQ(ConvertedFrameCount(same.wav, 44100), 3u);
  int16_t copy[6];
  ConvertToStereo16(same.wav, 44100, copy);
  EXPECT_EQ(std::vector<int16_t>(copy, copy + 6), (std::vector<int16_t>{1, -1, 2, -2, 3, -3}));

  // Half the rate, mono 8-bit: widened, on both sides, with midpoints between frames
  // and the last input frame as the last output frame.
  Parsed half = Parse(Wav(1, 22050, 8, {0, 10, -10}));
  ASSERT_EQ(half.ok, 1);
  ASSERT_EQ(ConvertedFrameCount(half.wav, 44100), 5u);
  int16_t up[10];
  ConvertToStereo16(half.wav, 44100, up);
  EXPECT_EQ(std::vector<int16_t>(up, up + 10),
            (std::vector<int16_t>{0, 0, 1280, 1280, 2560, 2560, 0, 0, -2560, -2560}));

  // A higher rate keeps the duration: 48000 frames of a second become 44100.
  Parsed high = Parse(Wav(1, 48000, 16, std::vector<int>(48000, 7)));
  ASSERT_EQ(high.ok, 1);
  EXPECT_EQ(ConvertedFrameCount(high.wav, 44100), 44100u);
  std::vector<int16_t> down(2 * 44100);
  ConvertToStereo16(high.wav, 44100, down.data());
  EXPECT_EQ(down.front(), 7);
  EXPECT_EQ(down.back(), 7);

  // Between the extremes the interpolation never wraps around.
  Parsed extremes = Parse(Wav(2, 8000, 16, {32767, -32768, -32768, 32767}));
  ASSERT_EQ(extremes.ok, 1);
  std::vector<int16_t> wide(2 * ConvertedFrameCount(extremes.wav, 44100));
  ConvertToStereo16(extremes.wav, 44100, wide.data());
  EXPECT_EQ(wide[0], 32767);
  EXPECT_EQ(wide[1], -32768);
  for (size_t i = 2; i < wide.size(); i += 2) {   // no wrap-around on the way down and up
    EXPECT_LT(wide[i], wide[i - 2]);
    EXPECT_GT(wide[i + 1], wide[i - 1]);
  }
}
