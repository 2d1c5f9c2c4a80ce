// Placeholder until behaviours of types 12 to 17 land.
#include "world/world.h"
void RunBossBehaviour(int) {}
