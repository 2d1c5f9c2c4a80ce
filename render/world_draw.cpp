// How the world's tables look. An enemy is its type's sprite cell at its type's size,
// turned to its heading, fully opaque; a particle is its own cell, size, turn and
// opacity; a spark is two joined lines that fade from its head toward its tail, so a
// fast spark leaves a short trace. Free slots draw nothing.
#include "render/world_draw.h"

#include "platform/platform.h"
#include "render/between.h"
#include "render/primitives.h"
#include "world/world.h"

namespace {

D3DCOLOR SparkColour(int opacity, const Effect &e) {
  return (static_cast<D3DCOLOR>(opacity) << 24) | (static_cast<D3DCOLOR>(e.red) << 16) |
         (static_cast<D3DCOLOR>(e.green) << 8) | static_cast<D3DCOLOR>(e.blue);
}

}  // namespace

void DrawEnemies(const SceneMoment &moment) {
  for (int slot = 0; slot < EnemySlots; ++slot) {
    const Enemy e = EnemyBetween(moment.previous->EnemyTable[slot], moment.newest->EnemyTable[slot], moment.fraction);
    if (e.hp <= 0) continue;
    const EnemyTypeInfoRow &info = EnemyTypeInfo[e.type];
    DrawSprite(e.x, e.y, e.angle, static_cast<float>(info.size), info.cell, 255);
  }
}

void DrawParticles(const SceneMoment &moment) {
  for (int slot = 0; slot < ParticleSlots; ++slot) {
    const Particle p =
        ParticleBetween(moment.previous->ParticleTable[slot], moment.newest->ParticleTable[slot], moment.fraction);
    if (p.life == 0) continue;
    DrawSprite(p.x, p.y, p.angle, p.size, p.sprite, p.alpha);
  }
}

void DrawEffects(const SceneMoment &moment) {
  for (int slot = 0; slot < EffectSlots; ++slot) {
    const Effect e = EffectBetween(moment.previous->EffectTable[slot], moment.newest->EffectTable[slot], moment.fraction);
    if (e.alpha == 0) continue;
    // The middle and the tail take 0.7 and 0.4 of the head's opacity (the factors as
    // floats, the product truncated): 255 gives 178 and 102.
    D3DCOLOR head = SparkColour(e.alpha, e);
    D3DCOLOR middle = SparkColour(static_cast<int>(static_cast<double>(e.alpha) * static_cast<double>(0.7f)), e);
    D3DCOLOR tail = SparkColour(static_cast<int>(static_cast<double>(e.alpha) * static_cast<double>(0.4f)), e);
    DrawLine(e.x2, e.y2, e.x1, e.y1, tail, middle);
    DrawLine(e.x1, e.y1, e.x0, e.y0, middle, head);
  }
}
