// The binding to the sound-effect library and the table of the seven effects.
#pragma once
#include "platform/platform.h"

constexpr int SoundCount = 7;
extern const char *const SoundId[SoundCount];   // the wave file of each effect id

// Loads the library and starts it for the window; 0 when the game is to run silent.
int BindSoundLibrary(HWND window);
void LoadSounds();
void UnbindSoundLibrary();

// The game's calls: safe whether or not the library is bound.
void DSplay(char id, char level);
void DSend();

// The player's volume, 0 to 100 (`--volume`, the volume setting); 100 plays every effect
// at the level the game gives it.
extern int soundVolume;
// The level handed to the library for the game's `level` at `volume`, false when
// nothing is to be played. The library takes 0.3 dB off per level below 100, and the
// ear hears equal steps of decibels as equal steps of loudness, so each point of volume
// below 100 takes one level (0.3 dB) off: 50 is 15 dB down, 1 is 29.7 dB down and 0 is
// silent. At 100 the level is passed exactly as the game gives it.
bool VolumeLevel(int level, int volume, int *out);

// Sees every DSplay call the game makes, with the game's own level (for the replay
// runner and tests); null by default.
extern void (*soundPlayObserver)(int id, int level);
