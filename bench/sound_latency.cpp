// How long after DSplay the effect is heard, in milliseconds of audio. The sound
// library plays into SDL's disk audio driver, which writes each mixed buffer to a file
// in real time; a watcher thread notes when the file grows, which ties the wall clock
// to the audio clock (the position a device without a queue of its own would play). Each trial plays a click
// at a random moment; its latency is the distance from where the device stood at the
// call to the click's first non-silent frame. The baseline is one output buffer, as
// measured from the driver's pace in the same run.
//
// Run from anywhere: the library is taken from beside this program.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ezds/ezds_names.h"
#include "ezds/wav_reader.h"
#include "base/win32_types.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Rate = 44100;
constexpr int BufferFrames = 512;   // the library's output buffer
constexpr int Trials = 60;

struct Growth {
  double ms;     // wall time since start
  long frames;   // frames in the file
};

double Since(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

long FileFrames(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? long(st.st_size / 4) : 0;
}

void Put16(std::vector<uint8_t> &out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t> &out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A 10 ms click at a constant level: its very first frame is non-silent.
std::vector<uint8_t> Click() {
  std::vector<uint8_t> data;
  for (int i = 0; i < Rate / 100; ++i) Put16(data, 12000);
  std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
  Put32(out, uint32_t(36 + data.size()));
  for (char c : std::string("WAVEfmt ")) out.push_back(uint8_t(c));
  Put32(out, 16);
  Put16(out, 1);
  Put16(out, 1);
  Put32(out, Rate);
  Put32(out, Rate * 2);
  Put16(out, 2);
  Put16(out, 16);
  for (char c : std::string("data")) out.push_back(uint8_t(c));
  Put32(out, uint32_t(data.size()));
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::string ProgramDirectory() {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  std::string exe(path, size_t(length));
  return exe.substr(0, exe.rfind('/'));
}

}  // namespace

int main() {
  std::string library = ProgramDirectory() + "/libezds.so";
  void *handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    fprintf(stderr, "sound_latency: cannot load %s: %s\n", library.c_str(), dlerror());
    return 1;
  }
  auto init = reinterpret_cast<int (*)(HWND)>(dlsym(handle, EZDS_NAME_DSINIT));
  auto end = reinterpret_cast<void (*)()>(dlsym(handle, EZDS_NAME_DSEND));
  auto load = reinterpret_cast<int (*)(char *, char)>(dlsym(handle, EZDS_NAME_DSLOAD));
  auto play = reinterpret_cast<void (*)(char, char)>(dlsym(handle, EZDS_NAME_DSPLAY));
  if (!init || !end || !load || !play) {
    fprintf(stderr, "sound_latency: %s lacks an export\n", library.c_str());
    return 1;
  }

  std::string base = "/tmp/quillrun_latency_" + std::to_string(getpid());
  std::string output = base + ".raw", click = base + ".wav";
  std::vector<uint8_t> clickBytes = Click();
  FILE *file = fopen(click.c_str(), "wb");
  if (!file || fwrite(clickBytes.data(), 1, clickBytes.size(), file) != clickBytes.size()) return 1;
  fclose(file);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
  unsetenv("SDL_DISKAUDIODELAY");
  if (!init(nullptr) || !load(const_cast<char *>(click.c_str()), 0)) return 1;

  Clock::time_point start = Clock::now();
  std::vector<Growth> growth;
  growth.reserve(100000);
  std::atomic<bool> watching{true};
  std::thread watcher([&] {
    long last = -1;
    while (watching) {
      long frames = FileFrames(output);
      if (frames != last) growth.push_back(Growth{Since(start), last = frames});
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });

  std::mt19937 random(12345);
  std::vector<double> calls;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  for (int trial = 0; trial < Trials; ++trial) {
    std::this_thread::sleep_for(std::chrono::microseconds(30000 + random() % 30000));
    calls.push_back(Since(start));
    play(0, 100);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  watching = false;
  watcher.join();
  end();   // closes the output file

  std::vector<int16_t> samples(size_t(FileFrames(output)) * 2);
  file = fopen(output.c_str(), "rb");
  if (!file || fread(samples.data(), sizeof(int16_t), samples.size(), file) != samples.size()) return 1;
  fclose(file);
  remove(output.c_str());
  remove(click.c_str());

  std::vector<long> firsts;
  for (long f = 0, last = -1000; f < long(samples.size() / 2); ++f) {
    if (samples[size_t(2 * f)] == 0) continue;
    if (f - last > 200) firsts.push_back(f);
    last = f;
  }
  if (firsts.size() != calls.size()) {
    fprintf(stderr, "sound_latency: %zu clicks heard for %zu calls\n", firsts.size(), calls.size());
    return 1;
  }

  // The writer flushes two buffers at a time, as the next buffer comes in: when the
  // file grows, it ends where the buffer just mixed begins, which is what a device
  // with no queue of its own starts to play at that moment. From there the play
  // position runs on at the audio rate: it is interpolated between two growths.
  std::vector<double> latencies;
  for (size_t i = 0; i < calls.size(); ++i) {
    auto after = std::upper_bound(growth.begin(), growth.end(), calls[i],
                                  [](double t, const Growth &g) { return t < g.ms; });
    if (after == growth.begin() || after == growth.end()) continue;
    const Growth &a = *(after - 1), &b = *after;
    double head = a.frames + (calls[i] - a.ms) / (b.ms - a.ms) * double(b.frames - a.frames);
    latencies.push_back((double(firsts[i]) - head) * 1000.0 / Rate);
  }
  std::sort(latencies.begin(), latencies.end());
  double sum = 0;
  for (double l : latencies) sum += l;
  double mean = sum / double(latencies.size());
  double bufferMs = BufferFrames * 1000.0 / Rate;
  // The driver's measured pace: wall milliseconds per buffer.
  double wallPerBuffer = (growth.back().ms - growth[1].ms) / double(growth.back().frames - growth[1].frames) * BufferFrames;

  printf("sound latency, DSplay to first non-silent output frame (%zu clicks, disk driver)\n", latencies.size());
  printf("  buffer: %d frames = %.2f ms of audio (written every %.2f wall ms)\n", BufferFrames, bufferMs, wallPerBuffer);
  printf("  latency ms of audio: min %.2f  median %.2f  mean %.2f  p95 %.2f  max %.2f\n", latencies.front(),
         latencies[latencies.size() / 2], mean, latencies[latencies.size() * 95 / 100], latencies.back());
  printf("  as a share of one buffer: mean %.2f  max %.2f\n", mean / bufferMs, latencies.back() / bufferMs);
  return 0;
}
