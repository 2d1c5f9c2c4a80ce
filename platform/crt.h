// The C runtime's pseudo-random generator as the game's platform defines it:
// seed = seed * 214013 + 2531011, result = (seed >> 16) & 0x7FFF, whatever the host
// C library does. The definitions replace the host's srand and rand in this program.
#pragma once
#include <cstdlib>

#define RAND_MAX_WIN32 0x7FFF

// The generator's internal state, for the replay runner's state dump.
unsigned int GetRandomState();
