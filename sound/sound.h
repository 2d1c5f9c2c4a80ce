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

// Sees every DSplay call the game makes (for the replay runner and tests); null by default.
extern void (*soundPlayObserver)(int id, int level);
