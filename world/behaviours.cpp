// Placeholder until behaviours land.
#include "world/world.h"
float AngleTo(float, float) { return 0; }
void WrapAngle(float &) {}
void RunBasicBehaviour(int) {}
