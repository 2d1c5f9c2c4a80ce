// The C runtime's generator as the game's platform has it, replacing the host's: the
// same seed always gives the same game.
#include <stdlib.h>
#include "platform/crt.h"

static unsigned int randomState = 1;

extern "C" void srand(unsigned int seed) noexcept { randomState = seed; }

extern "C" int rand(void) noexcept {
  randomState = randomState * 214013u + 2531011u;
  return static_cast<int>((randomState >> 16) & 0x7FFF);
}

unsigned int GetRandomState() { return randomState; }
