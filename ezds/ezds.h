// The sound-effect library's seven functions, as the game binds them at run time.
// Nothing else in the library is visible from outside.
#pragma once
#ifdef _WIN32
// Plain C names inside the library; ezds.def exports them under the decorated names.
#include <windows.h>
#define EZDS_API extern "C"
#define EZDS_LABEL(name)
#else
#include "ezds/ezds_names.h"
#include "base/win32_types.h"
#define EZDS_API __attribute__((visibility("default")))
#define EZDS_LABEL(name) __asm__("\"" name "\"")
#endif

// Opens the audio output (44.1 kHz, 16-bit, stereo). Returns 1 when
// the output is open, 0 when no audio device can be opened. The window is not needed.
EZDS_API int DSinit(HWND window) EZDS_LABEL(EZDS_NAME_DSINIT);

// Stops every sound, frees every slot and closes the output. Safe to call twice.
EZDS_API void DSend() EZDS_LABEL(EZDS_NAME_DSEND);

// Loads a WAV file into effect slot id (0 to 15). Returns 1 on success; on failure the
// slot is left empty, one line on stderr names the file, and 0 is returned.
EZDS_API int DSload(char *file, char id) EZDS_LABEL(EZDS_NAME_DSLOAD);

// Loads a WAV file into the one looped slot. Returns 1 on success, 0 on failure.
EZDS_API int DSloadL(char *file) EZDS_LABEL(EZDS_NAME_DSLOADL);

// Starts effect id at once, without waiting. Level 100 is full volume; every step below
// takes 0.3 dB off, and 0 or less is silent. Each effect has three voices: a fourth
// play while all three still sound restarts the oldest one.
EZDS_API void DSplay(char id, char level) EZDS_LABEL(EZDS_NAME_DSPLAY);

// The looped slot's operation: play non-zero starts the loop (or, while it runs, only
// changes its level), 0 stops it.
EZDS_API void DSloopOPE(char play, char level) EZDS_LABEL(EZDS_NAME_DSLOOPOPE);

// The library's version string.
EZDS_API char *DSver() EZDS_LABEL(EZDS_NAME_DSVER);
