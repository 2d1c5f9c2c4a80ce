// The C runtime's generator as the game's platform has it, replacing the host's: the
// same seed always gives the same game.
#include <stdlib.h>
#include "platform/crt.h"

static unsigned int randomState = 1;

// glibc declares the two as not throwing and the declarations must agree; musl (the
// browser build's C library) declares them plainly.
#ifdef __GLIBC__
#define QR_C_NOEXCEPT noexcept
#else
#define QR_C_NOEXCEPT
#endif

extern "C" void srand(unsigned int seed) QR_C_NOEXCEPT { randomState = seed; }

extern "C" int rand(void) QR_C_NOEXCEPT {
  randomState = randomState * 214013u + 2531011u;
  return static_cast<int>((randomState >> 16) & 0x7FFF);
}

unsigned int GetRandomState() { return randomState; }
