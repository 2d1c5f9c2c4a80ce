// Placeholder until effects land.
#include "world/world.h"
Effect EffectTable[EffectSlots];
void SpawnEffect(float, float, float, float, float, float, uint8_t, int8_t, uint8_t, uint8_t, uint8_t) {}
void UpdateEffects() {}
void DrawEffects() {}
