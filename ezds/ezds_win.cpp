// The sound-effect library for Windows: the same seven functions as the library over
// SDL_mixer, over winmm's waveOut with our own mixer (mixer.h). A mixing thread keeps
// a few short blocks queued on the wave output: whenever the output hands one back it
// mixes the next 20 ms of every voice into it and queues it again.
#include "ezds/ezds.h"

#include <mmsystem.h>

#include <cstdio>
#include <vector>

#include "ezds/mixer.h"
#include "ezds/wav_reader.h"

namespace {

constexpr int OutputRate = 44100;
constexpr int OutputChannels = 2;
// Four blocks of 882 frames (20 ms each): a sound starts within 80 ms at worst, and a
// late wake-up of the mixing thread has 60 ms before the output runs dry.
constexpr int BlockFrames = 882;
constexpr int BlockCount = 4;

char versionText[] = "ezds 1.0 (44100 Hz, 16-bit, stereo, 3 voices per effect, waveOut)";

bool outputOpen;
HWAVEOUT output;
HANDLE blockDone;  // signalled by the output whenever it hands a block back
HANDLE mixingThread;
volatile LONG stopping;
CRITICAL_SECTION lock;  // guards mixer between the game's calls and the mixing thread
Mixer mixer;
WAVEHDR headers[BlockCount];
std::vector<int16_t> blocks[BlockCount];

int LoadFailed(const char *file, const char *reason) {
  fprintf(stderr, "ezds: cannot load sound %s: %s\n", file ? file : "(null)", reason);
  return 0;
}

// Mixes and queues every block the output has handed back (or never had).
void RefillBlocks() {
  for (int b = 0; b < BlockCount; ++b) {
    WAVEHDR &header = headers[b];
    if ((header.dwFlags & WHDR_INQUEUE) && !(header.dwFlags & WHDR_DONE)) continue;
    EnterCriticalSection(&lock);
    MixerRender(mixer, blocks[b].data(), BlockFrames);
    LeaveCriticalSection(&lock);
    header.dwFlags &= ~WHDR_DONE;
    waveOutWrite(output, &header, sizeof header);
  }
}

DWORD WINAPI MixingLoop(LPVOID) {
  while (!InterlockedCompareExchange(&stopping, 0, 0)) {
    WaitForSingleObject(blockDone, 50);
    if (InterlockedCompareExchange(&stopping, 0, 0)) break;
    RefillBlocks();
  }
  return 0;
}

// Reads, checks and converts a WAV file to the output format.
bool LoadSound(const char *file, std::vector<int16_t> &into) {
  const char *reason = nullptr;
  if (!LoadEffectSamples(file, OutputRate, into, &reason)) return LoadFailed(file, reason);
  return true;
}

int Store(const char *file, int id) {
  if (!outputOpen) return LoadFailed(file, "audio output is not open");
  std::vector<int16_t> samples;
  const bool loaded = LoadSound(file, samples);
  // A failed load leaves the slot empty, as the library over SDL_mixer does.
  EnterCriticalSection(&lock);
  MixerSetSound(mixer, id, std::move(samples));
  LeaveCriticalSection(&lock);
  return loaded ? 1 : 0;
}

void CloseOutput() {
  if (mixingThread) {
    InterlockedExchange(&stopping, 1);
    SetEvent(blockDone);
    WaitForSingleObject(mixingThread, INFINITE);
    CloseHandle(mixingThread);
    mixingThread = nullptr;
  }
  if (output) {
    waveOutReset(output);
    for (WAVEHDR &header : headers) {
      if (header.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(output, &header, sizeof header);
    }
    waveOutClose(output);
    output = nullptr;
  }
  if (blockDone) {
    CloseHandle(blockDone);
    blockDone = nullptr;
  }
  DeleteCriticalSection(&lock);
}

}  // namespace

int DSinit(HWND) {
  if (outputOpen) return 1;
  if (waveOutGetNumDevs() == 0) {
    fprintf(stderr, "ezds: no audio output: no wave output device\n");
    return 0;
  }
  InitializeCriticalSection(&lock);
  stopping = 0;
  blockDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = OutputChannels;
  format.nSamplesPerSec = OutputRate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = OutputChannels * 2;
  format.nAvgBytesPerSec = OutputRate * format.nBlockAlign;
  MMRESULT result = blockDone ? waveOutOpen(&output, WAVE_MAPPER, &format, DWORD_PTR(blockDone), 0, CALLBACK_EVENT)
                              : MMSYSERR_NOMEM;
  if (result != MMSYSERR_NOERROR) {
    fprintf(stderr, "ezds: no audio output: waveOutOpen failed (%u)\n", unsigned(result));
    output = nullptr;
    CloseOutput();
    return 0;
  }
  for (int b = 0; b < BlockCount; ++b) {
    blocks[b].assign(size_t(BlockFrames) * OutputChannels, 0);
    headers[b] = WAVEHDR{};
    headers[b].lpData = reinterpret_cast<LPSTR>(blocks[b].data());
    headers[b].dwBufferLength = DWORD(blocks[b].size() * sizeof(int16_t));
    waveOutPrepareHeader(output, &headers[b], sizeof headers[b]);
  }
  mixer.playCount = 0;
  RefillBlocks();
  mixingThread = CreateThread(nullptr, 0, MixingLoop, nullptr, 0, nullptr);
  if (!mixingThread) {
    fprintf(stderr, "ezds: no audio output: cannot start the mixing thread\n");
    CloseOutput();
    return 0;
  }
  outputOpen = true;
  return 1;
}

void DSend() {
  if (!outputOpen) return;
  CloseOutput();
  MixerClear(mixer);
  outputOpen = false;
}

int DSload(char *file, char id) {
  if (id < 0 || id >= MixerEffectSlots) return LoadFailed(file, "effect id out of range");
  return Store(file, id);
}

int DSloadL(char *file) { return Store(file, -1); }

void DSplay(char id, char level) {
  if (!outputOpen) return;
  EnterCriticalSection(&lock);
  MixerPlay(mixer, id, level);
  LeaveCriticalSection(&lock);
}

void DSloopOPE(char play, char level) {
  if (!outputOpen) return;
  EnterCriticalSection(&lock);
  MixerLoop(mixer, play != 0, level);
  LeaveCriticalSection(&lock);
}

char *DSver() { return versionText; }
