// The binding to the sound-effect library: it is loaded by name at start-up, its seven
// functions are looked up by their decorated names, and the seven effects of the game
// are loaded into ids 0 to 6. Without the library the game runs silent.
#include "sound/sound.h"

#include <cstdio>
#include <string>

#include "datadir/data_path.h"

const char *const SoundId[SoundCount] = {"./data/bom.wav", "./data/dom.wav", "./data/pasi.wav", "./data/pisi.wav",
                                         "./data/vun.wav", "./data/pou.wav", "./data/pi.wav"};
void (*soundPlayObserver)(int, int);
int soundVolume = 100;

namespace {

HMODULE soundLibrary;
int (*libraryInit)(HWND);
void (*libraryEnd)();
int (*libraryLoad)(char *, char);
int (*libraryLoadLoop)(char *);
void (*libraryPlay)(char, char);
void (*libraryLoopOperation)(char, char);
char *(*libraryVersion)();

template <typename Function>
void Bind(Function &function, const char *decoratedName) {
  // Through the generic function pointer type, which converts to any other.
  FARPROC proc = GetProcAddress(soundLibrary, decoratedName);
  function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

void ForgetLibrary() {
  soundLibrary = nullptr;
  libraryInit = nullptr;
  libraryEnd = nullptr;
  libraryLoad = nullptr;
  libraryLoadLoop = nullptr;
  libraryPlay = nullptr;
  libraryLoopOperation = nullptr;
  libraryVersion = nullptr;
}

}  // namespace

int BindSoundLibrary(HWND window) {
  if (soundLibrary) UnbindSoundLibrary();
  soundLibrary = LoadLibraryA("ezds.dll");
  // LoadLibraryA has already said on stderr what could not be loaded.
  if (!soundLibrary) return 0;
  Bind(libraryInit, "?DSinit@@YAHPAUHWND__@@@Z");
  Bind(libraryEnd, "?DSend@@YAXXZ");
  Bind(libraryLoad, "?DSload@@YAHPADD@Z");
  Bind(libraryLoadLoop, "?DSloadL@@YAHPAD@Z");
  Bind(libraryPlay, "?DSplay@@YAXDD@Z");
  Bind(libraryLoopOperation, "?DSloopOPE@@YAXDD@Z");
  Bind(libraryVersion, "?DSver@@YAPADXZ");
  // A library without an entry point would otherwise be called through a null
  // pointer: every missing export is skipped, and without DSinit there is no sound.
  if (!libraryInit) {
    fprintf(stderr, "quillrun: the sound library ezds.dll has no DSinit; playing without sound\n");
    return 0;
  }
  return libraryInit(window) != 0 ? 1 : 0;
}

void LoadSounds() {
  if (!libraryLoad) return;
  for (int id = 0; id < SoundCount; ++id) {
    std::string path = DataFilePath(SoundId[id]);
    libraryLoad(path.data(), char(id));
  }
}

void UnbindSoundLibrary() {
  if (!soundLibrary) return;
  if (libraryEnd) libraryEnd();
  FreeLibrary(soundLibrary);
  ForgetLibrary();
}

bool VolumeLevel(int level, int volume, int *out) {
  if (volume >= 100) {
    *out = level;
    return true;
  }
  // Below full volume a level the library would not hear is not handed over at all, so
  // volume 0 plays nothing whatever the library does with levels at or below 0.
  const int scaled = level - (100 - volume);
  if (volume <= 0 || scaled <= 0) return false;
  *out = scaled;
  return true;
}

void DSplay(char id, char level) {
  if (soundPlayObserver) soundPlayObserver(id, level);
  int played = 0;
  if (libraryPlay && VolumeLevel(level, soundVolume, &played)) libraryPlay(id, static_cast<char>(played));
}

void DSend() {
  if (libraryEnd) libraryEnd();
}
