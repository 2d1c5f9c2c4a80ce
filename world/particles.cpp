// Placeholder until particles land.
#include "world/world.h"
Particle ParticleTable[ParticleSlots];
void SpawnParticle(float, float, float, float, float, float, float, float, float, uint8_t, int8_t, int16_t, int8_t) {}
void UpdateParticles() {}
void DrawParticles() {}
