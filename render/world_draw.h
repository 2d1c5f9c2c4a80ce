// How the world's tables look: every live enemy, particle and spark, drawn with the
// three primitives from worlds that drawing never changes, each slot where it stands at
// the moment drawn (render/between.h): blended between the two updates, or as the
// newest world has it.
#pragma once

struct SceneMoment;

void DrawEnemies(const SceneMoment &moment);
void DrawParticles(const SceneMoment &moment);
void DrawEffects(const SceneMoment &moment);
