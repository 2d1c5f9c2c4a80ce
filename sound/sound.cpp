// Placeholder until the sound binding lands.
#include "sound/sound.h"
const char *const SoundId[SoundCount] = {"./data/bom.wav", "./data/dom.wav", "./data/pasi.wav", "./data/pisi.wav",
                                         "./data/vun.wav", "./data/pou.wav", "./data/pi.wav"};
void (*soundPlayObserver)(int, int);
int BindSoundLibrary() { return 0; }
void LoadSounds() {}
void UnbindSoundLibrary() {}
void DSplay(char id, char level) {
  if (soundPlayObserver) soundPlayObserver(id, level);
}
void DSend() {}
