// The sound library as the game sees it: loaded with dlopen and called through its
// decorated names, playing into SDL's disk audio driver, whose output file holds every
// sample the library produced (16-bit stereo at 44.1 kHz). The file is read back after
// DSend, which closes it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ezds/ezds_names.h"
#include "ezds_test_wav.h"
#include "base/win32_types.h"

using namespace testwav;

namespace {

struct Library {
  void *handle;
  int (*init)(HWND);
  void (*end)();
  int (*load)(char *, char);
  int (*loadLoop)(char *);
  void (*play)(char, char);
  void (*loopOperation)(char, char);
  char *(*version)();
};

std::string LibraryPath() {
  const char *dir = getenv("QR_BUILD_DIR");
  return std::string(dir ? dir : ".") + "/libezds.so";
}

template <typename Function>
void Find(void *handle, Function &function, const char *name) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
}

const Library &Ezds() {
  static Library lib = [] {
    Library l{};
    l.handle = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!l.handle) return l;
    Find(l.handle, l.init, EZDS_NAME_DSINIT);
    Find(l.handle, l.end, EZDS_NAME_DSEND);
    Find(l.handle, l.load, EZDS_NAME_DSLOAD);
    Find(l.handle, l.loadLoop, EZDS_NAME_DSLOADL);
    Find(l.handle, l.play, EZDS_NAME_DSPLAY);
    Find(l.handle, l.loopOperation, EZDS_NAME_DSLOOPOPE);
    Find(l.handle, l.version, EZDS_NAME_DSVER);
    return l;
  }();
  return lib;
}

constexpr int BufferFrames = 512;

std::string TempPath(const std::string &name) {
  return testing::TempDir() + "ezds_" + std::to_string(getpid()) + "_" + name;
}

long FileFrames(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? long(st.st_size / 4) : 0;
}

// Waits until the output file holds at least frames frames. The driver writes in real
// time, so this is a wait for the audio thread, bounded so a stuck driver fails the
// test instead of hanging it.
bool WaitForFrames(const std::string &path, long frames) {
  auto start = std::chrono::steady_clock::now();
  while (FileFrames(path) < frames) {
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(30)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Lets the output run for at least frames more frames than are in the file now.
bool RunFor(const std::string &path, long frames) { return WaitForFrames(path, FileFrames(path) + frames); }

// A stretch of sound in the output: the frames from first to last non-silent one.
struct Burst {
  long first, last;
  int peakLeft, peakRight;
};

class EzdsOutput : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(Ezds().handle, nullptr) << dlerror();
    ASSERT_NE(Ezds().init, nullptr);
    ASSERT_NE(Ezds().end, nullptr);
  }
  void TearDown() override {
    Ezds().end();
    for (const std::string &path : files) remove(path.c_str());
  }

  // Opens the output into a fresh file; delay is SDL's pause after each buffer (ms).
  void Open(const char *name, const char *delay = nullptr) {
    output = TempPath(name) + ".raw";
    files.push_back(output);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    if (delay) setenv("SDL_DISKAUDIODELAY", delay, 1);
    else unsetenv("SDL_DISKAUDIODELAY");
    ASSERT_EQ(Ezds().init(nullptr), 1);
  }

  std::string Write(const char *name, const std::vector<uint8_t> &bytes) {
    std::string path = TempPath(name) + ".wav";
    files.push_back(path);
    EXPECT_TRUE(WriteFile(path, bytes));
    return path;
  }

  int Load(const std::string &path, int id) { return Ezds().load(const_cast<char *>(path.c_str()), char(id)); }

  // Ends the library, which closes the output file, and reads back every sample.
  std::vector<int16_t> CloseAndRead() {
    Ezds().end();
    std::vector<int16_t> samples;
    FILE *file = fopen(output.c_str(), "rb");
    if (!file) return samples;
    int16_t piece[4096];
    size_t got;
    while ((got = fread(piece, sizeof(int16_t), 4096, file)) > 0) samples.insert(samples.end(), piece, piece + got);
    fclose(file);
    return samples;
  }

  static std::vector<Burst> Bursts(const std::vector<int16_t> &out, long gap = 200) {
    std::vector<Burst> bursts;
    long frames = long(out.size() / 2);
    for (long f = 0; f < frames; ++f) {
      int l = out[2 * f], r = out[2 * f + 1];
      if (l == 0 && r == 0) continue;
      if (bursts.empty() || f - bursts.back().last > gap) bursts.push_back(Burst{f, f, 0, 0});
      Burst &b = bursts.back();
      b.last = f;
      b.peakLeft = std::max(b.peakLeft, std::abs(l));
      b.peakRight = std::max(b.peakRight, std::abs(r));
    }
    return bursts;
  }

  std::string output;
  std::vector<std::string> files;
};

// A constant level in both channels: voices that overlap add up exactly.
std::vector<uint8_t> Constant(int value, int frames) {
  return Wav(2, 44100, 16, std::vector<int>(size_t(frames) * 2, value));
}

// A pattern no two neighbouring frames share, opposite in the two channels.
std::vector<int> Pattern(int frames) {
  std::vector<int> values;
  for (int i = 0; i < frames; ++i) {
    values.push_back(1000 + i * 37 % 2000);
    values.push_back(-(1000 + i * 37 % 2000));
  }
  return values;
}

}  // namespace

TEST(EzdsLibrary, ExportsOnlyTheDecoratedNames) {
  const Library &lib = Ezds();
  ASSERT_NE(lib.handle, nullptr) << dlerror();
  EXPECT_NE(lib.init, nullptr);
  EXPECT_NE(lib.end, nullptr);
  EXPECT_NE(lib.load, nullptr);
  EXPECT_NE(lib.loadLoop, nullptr);
  EXPECT_NE(lib.play, nullptr);
  EXPECT_NE(lib.loopOperation, nullptr);
  ASSERT_NE(lib.version, nullptr);
  EXPECT_EQ(std::string(lib.version()).rfind("ezds ", 0), 0u);
  for (const char *hidden : {"DSinit", "DSplay", "_Z6DSinitP6HWND__", "_Z6DSplaycc", "?DSinit@@YAHPAUHWND__@@@Z",
                             "ParseWav", "_Z8ParseWavPKhmP7WavDataPPKc", "_Z12ReadFileBytesPKcmRSt6vectorIhSaIhEEPS0_"}) {
    EXPECT_EQ(dlsym(lib.handle, hidden), nullptr) << hidden;
  }
}

TEST_F(EzdsOutput, EveryCallIsHarmlessWithoutAnOutput) {
  const Library &lib = Ezds();
  std::string wav = Write("harmless", Constant(1000, 100));
  auto everything = [&] {
    EXPECT_EQ(Load(wav, 0), 0);
    EXPECT_EQ(lib.loadLoop(const_cast<char *>(wav.c_str())), 0);
    lib.play(0, 100);
    lib.play(-1, 100);
    lib.play(127, 100);
    lib.loopOperation(1, 100);
    lib.loopOperation(0, 0);
    lib.end();
    lib.end();
    EXPECT_NE(lib.version(), nullptr);
  };
  everything();   // DSinit never called
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  EXPECT_EQ(lib.init(nullptr), 0);
  everything();   // DSinit failed
}

TEST_F(EzdsOutput, PlaysTheEffectWithinOneBuffer) {
  // A slow device (150 ms pause after each 512-frame buffer) so the test never races
  // the audio thread: right after the file grows, the thread sleeps.
  Open("within", "150");
  const int frames = 3000;
  ASSERT_EQ(Load(Write("pattern", Wav(2, 44100, 16, Pattern(frames))), 0), 1);
  ASSERT_TRUE(WaitForFrames(output, 1));
  long seen = FileFrames(output);
  // The writer flushes two buffers at a time: the first step shows the buffer size.
  EXPECT_LE(seen, 2 * 1024) << "buffers longer than 1024 frames (23 ms)";
  Ezds().play(0, 100);
  ASSERT_TRUE(WaitForFrames(output, seen + frames + 4 * BufferFrames));
  std::vector<int16_t> out = CloseAndRead();
  std::vector<Burst> bursts = Bursts(out);
  ASSERT_EQ(bursts.size(), 1u);
  // The file lags the device by the one buffer its writer holds back; the sound must
  // start in the buffer mixed right after the call.
  EXPECT_GE(bursts[0].first, seen);
  EXPECT_LE(bursts[0].first, seen + 2 * BufferFrames);
  EXPECT_EQ(bursts[0].last - bursts[0].first + 1, frames);
  std::vector<int> pattern = Pattern(frames);
  for (int i = 0; i < 2 * frames; ++i) {
    ASSERT_EQ(out[size_t(2 * bursts[0].first + i)], pattern[size_t(i)]) << "sample " << i;
  }
}

TEST_F(EzdsOutput, LowerLevelsAreQuieter) {
  Open("levels");
  ASSERT_EQ(Load(Write("level", Constant(8000, 2000)), 3), 1);
  for (int level : {100, 85, 65, 0}) {
    Ezds().play(3, char(level));
    ASSERT_TRUE(RunFor(output, 2000 + 3 * 1024));
  }
  std::vector<Burst> bursts = Bursts(CloseAndRead());
  ASSERT_EQ(bursts.size(), 3u);   // level 0 is silent
  EXPECT_EQ(bursts[0].peakLeft, 8000);
  EXPECT_LT(bursts[1].peakLeft, bursts[0].peakLeft);
  EXPECT_LT(bursts[2].peakLeft, bursts[1].peakLeft);
  // 0.3 dB a step: 65 is 10.5 dB down, about 30 % of the amplitude.
  EXPECT_NEAR(bursts[2].peakLeft / 8000.0, 0.30, 0.02);
  EXPECT_NEAR(bursts[1].peakLeft / 8000.0, 0.60, 0.02);
}

TEST_F(EzdsOutput, QuickRepeatsKeepToThreeVoices) {
  Open("voices");
  ASSERT_EQ(Load(Write("swing", Constant(2000, 8820)), 4), 1);
  ASSERT_EQ(Load(Write("hum", Constant(300, 8820)), 6), 1);
  Ezds().play(6, 100);
  for (int i = 0; i < 10; ++i) Ezds().play(4, 100);
  ASSERT_TRUE(RunFor(output, 8820 + 4 * 1024));
  std::vector<Burst> bursts = Bursts(CloseAndRead());
  ASSERT_EQ(bursts.size(), 1u);
  // Ten overlapping copies would reach 20300; three voices of the swing plus the other
  // effect's own voice give exactly 6300.
  EXPECT_EQ(bursts[0].peakLeft, 3 * 2000 + 300);
  EXPECT_EQ(bursts[0].peakRight, 3 * 2000 + 300);
}

TEST_F(EzdsOutput, LoopRepeatsUntilStopped) {
  Open("loop");
  const int frames = 1000;
  std::string wav = Write("loop", Wav(2, 44100, 16, Pattern(frames)));
  ASSERT_EQ(Ezds().loadLoop(const_cast<char *>(wav.c_str())), 1);
  Ezds().loopOperation(1, 100);
  Ezds().loopOperation(1, 100);   // already running: keeps going, no second copy
  ASSERT_TRUE(RunFor(output, 6 * frames));
  Ezds().loopOperation(0, 0);
  ASSERT_TRUE(RunFor(output, 8 * BufferFrames));
  std::vector<int16_t> out = CloseAndRead();
  std::vector<Burst> bursts = Bursts(out);
  ASSERT_EQ(bursts.size(), 1u);
  EXPECT_GE(bursts[0].last - bursts[0].first, 4 * frames);
  EXPECT_LT(bursts[0].last, long(out.size() / 2) - 4 * BufferFrames);   // stopped
  std::vector<int> pattern = Pattern(frames);
  for (int round = 0; round < 4; ++round) {
    for (int i = 0; i < 2 * frames; ++i) {
      ASSERT_EQ(out[size_t(2 * (bursts[0].first + round * frames) + i)], pattern[size_t(i)]) << round << " " << i;
    }
  }
}

TEST_F(EzdsOutput, EndStopsAndFreesEverything) {
  Open("end-before");
  std::string wav = Write("long", Constant(1500, 88200));
  ASSERT_EQ(Load(wav, 0), 1);
  ASSERT_EQ(Ezds().loadLoop(const_cast<char *>(wav.c_str())), 1);
  Ezds().play(0, 100);
  Ezds().loopOperation(1, 100);
  ASSERT_TRUE(RunFor(output, 4 * 1024));
  std::vector<int16_t> before = CloseAndRead();   // DSend while both still sound
  Ezds().end();
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(before[before.size() - 2], 3000);   // cut off mid-sound

  Open("end-after");
  Ezds().play(0, 100);            // the slots were freed with the output
  Ezds().loopOperation(1, 100);
  ASSERT_TRUE(RunFor(output, 4 * 1024));
  long silentUpTo = FileFrames(output);
  ASSERT_EQ(Load(wav, 0), 1);     // and the reopened output plays again
  Ezds().play(0, 100);
  ASSERT_TRUE(RunFor(output, 4 * 1024));
  std::vector<Burst> bursts = Bursts(CloseAndRead());
  ASSERT_EQ(bursts.size(), 1u);
  EXPECT_GE(bursts[0].first, silentUpTo);
  EXPECT_EQ(bursts[0].peakLeft, 1500);
}

TEST_F(EzdsOutput, ConvertsEveryLayoutToTheOutput) {
  // A 441 Hz tone of 0.2 s at a quarter of full scale; the right channel of the stereo
  // files at half the left's amplitude.
  struct Layout {
    int bits, channels, rate;
  } layouts[] = {{8, 1, 22050}, {16, 1, 11025}, {16, 2, 48000}, {8, 2, 8000}, {16, 1, 44100}};
  Open("convert");
  for (int i = 0; i < 5; ++i) {
    const Layout &l = layouts[i];
    int frames = l.rate / 5;
    double amplitude = l.bits == 8 ? 32 : 8192;
    std::vector<int> values;
    for (int f = 0; f < frames; ++f) {
      double v = amplitude * std::cos(2 * M_PI * 441 * f / l.rate);
      values.push_back(int(std::lround(v)));
      if (l.channels == 2) values.push_back(int(std::lround(v / 2)));
    }
    ASSERT_EQ(Load(Write(("tone" + std::to_string(i)).c_str(), Wav(l.channels, l.rate, l.bits, values)), i), 1);
  }
  for (int i = 0; i < 5; ++i) {
    Ezds().play(char(i), 100);
    ASSERT_TRUE(RunFor(output, 8820 + 3 * 1024));
  }
  std::vector<int16_t> out = CloseAndRead();
  std::vector<Burst> bursts = Bursts(out);
  ASSERT_EQ(bursts.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    const Burst &b = bursts[size_t(i)];
    SCOPED_TRACE(testing::Message() << layouts[i].bits << " bits, " << layouts[i].channels << " channels, "
                                    << layouts[i].rate << " Hz");
    EXPECT_NEAR(double(b.last - b.first + 1), 8820, 8820 * 0.02);   // 0.2 s at 44.1 kHz
    EXPECT_NEAR(b.peakLeft, 8192, 8192 * 0.08);
    EXPECT_NEAR(b.peakRight, layouts[i].channels == 2 ? 4096 : 8192, 8192 * 0.08);
    int crossings = 0;
    for (long f = b.first + 1; f <= b.last; ++f) crossings += (out[size_t(2 * f)] < 0) != (out[size_t(2 * f - 2)] < 0);
    EXPECT_NEAR(crossings, 2 * 441 / 5, 4);   // the pitch survives the rate change
  }
}

TEST_F(EzdsOutput, HostileFilesFailCleanlyAndLeaveTheSlotEmpty) {
  Open("hostile");
  const std::vector<uint8_t> good = Wav(1, 22050, 16, std::vector<int>(16, 4000));
  std::string goodPath = Write("good", good);
  ASSERT_EQ(Load(goodPath, 2), 1);

  std::vector<std::vector<uint8_t>> hostile;
  for (size_t length = 0; length < good.size(); ++length) hostile.emplace_back(good.begin(), good.begin() + long(length));
  for (size_t at : {size_t(4), size_t(16), size_t(40)}) {   // the RIFF, fmt and data lengths
    for (uint32_t lie : {0xFFFFFFFFu, 0x7FFFFFFFu, 0u}) {
      std::vector<uint8_t> bytes = good;
      for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(lie >> (8 * i));
      hostile.push_back(bytes);
    }
  }
  hostile.push_back(Wav(1, 1, 8, std::vector<int>(100, 10)));   // 100 seconds of sound
  // Every file is written before stderr is captured, so that only the library's lines
  // land in the capture.
  std::vector<std::string> paths;
  for (size_t i = 0; i < hostile.size(); ++i) paths.push_back(Write(("hostile" + std::to_string(i)).c_str(), hostile[i]));

  testing::internal::CaptureStderr();
  int failures = 0;
  for (const std::string &path : paths) {
    EXPECT_EQ(Load(path, 2), 0) << path;
    ++failures;
  }
  std::string missing = TempPath("missing") + ".wav";
  EXPECT_EQ(Load(missing, 2), 0);
  EXPECT_EQ(Load(testing::TempDir(), 2), 0);   // a directory
  EXPECT_EQ(Load(goodPath, 16), 0);      // no such slot
  EXPECT_EQ(Load(goodPath, -1), 0);
  failures += 4;
  std::string errors = testing::internal::GetCapturedStderr();

  int lines = 0;
  for (char c : errors) lines += c == '\n';
  EXPECT_EQ(lines, failures) << errors;
  for (const std::string &path : paths) EXPECT_NE(errors.find(path + ":"), std::string::npos) << path;
  EXPECT_NE(errors.find(missing), std::string::npos);

  Ezds().play(2, 100);   // the failed loads left slot 2 empty
  ASSERT_TRUE(RunFor(output, 4 * 1024));
  EXPECT_TRUE(Bursts(CloseAndRead()).empty());
}
