// Placeholder until the sword lands.
#include "world/world.h"
PlayerRecord Player;
void UpdateSword() {}
