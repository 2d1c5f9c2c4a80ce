// How the world's tables look: every live enemy, particle and spark, drawn with the
// three primitives from a world that drawing never changes.
#pragma once

struct World;

void DrawEnemies(const World &world);
void DrawParticles(const World &world);
void DrawEffects(const World &world);
