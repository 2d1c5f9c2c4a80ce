// Placeholder until hits land.
#include "world/world.h"
int SwordHitTest(float, float) { return 0; }
void ResolveHits(int) {}
